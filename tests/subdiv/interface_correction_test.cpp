#include "subdiv/interface_correction.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "mesh/cell_type.h"
#include "tests/subdiv/face_tables.h"
#include "tests/support/committed_tables.h"
#include "tests/support/renumbering.h"

namespace cagewarp {
namespace {

using detail::FaceTuple;
using detail::matchFaces;
using detail::prismQuadMark;
using testing::faces::cellColumns;
using testing::faces::matrixColumns;

constexpr int tetClass = 4;
constexpr int prismClass = 6;
constexpr int hexClass = 7;

FaceTuple tuple(std::initializer_list<int> vertices) {
  FaceTuple t;
  for (int v : vertices) t.v[t.length++] = v;
  return t;
}

std::vector<int> elements(const FaceTuple& t) {
  return {t.v.begin(), t.v.begin() + t.length};
}

// Column i is (1 + i, 10 (1 + i), -i / 2): small dyadic values, so sums and halves are exact.
Mesh meshWithVertices(int n) {
  Mesh mesh(3);
  mesh.vertices = Matrix(3, n);
  for (int i = 0; i < n; ++i) {
    mesh.vertices(0, i) = 1.0f + i;
    mesh.vertices(1, i) = 10.0f * (1 + i);
    mesh.vertices(2, i) = -0.5f * i;
  }
  return mesh;
}

// Every corner's column under its cell class, as a subdivision step starts out.
VertexValueMap seededValues(const Mesh& mesh) {
  VertexValueMap values(mesh.vertices.cols() + 1, firstElementHash);
  for (int t = 0; t < cellTypeCount; ++t) {
    for (int i = 0; i < mesh.cells[t].count(); ++i) {
      const int v = mesh.cells[t][i];
      VertexValue value{DenseColumn(mesh.vertices.column(v), mesh.vertices.rows()), {}};
      values.insertIfAbsent(IntArray::fromValues({v, cellClass[t]}), value);
    }
  }
  return values;
}

// The meshes here have no weight rows, so no value keeps memory of the arena.
void correct(const Mesh& mesh, const LookupTables& tables, VertexValueMap& values,
             Warnings& warnings) {
  Arena weightMemory;
  correctInterfaces(mesh, tables, values, weightMemory, warnings);
}

std::vector<float> valueOf(VertexValueMap& values, int v, int cls) {
  VertexValue value;
  if (!values.lookup(IntArray::fromValues({v, cls}), value)) return {};
  return {value.dense.data(), value.dense.data() + value.dense.count()};
}

std::vector<float> column(const Mesh& mesh, int v) {
  return {mesh.vertices.column(v), mesh.vertices.column(v) + mesh.vertices.rows()};
}

// a + sign * b, element by element.
std::vector<float> combine(std::vector<float> a, const std::vector<float>& b, float sign) {
  for (size_t i = 0; i < a.size(); ++i) a[i] = sign > 0 ? a[i] + b[i] : a[i] - b[i];
  return a;
}

std::vector<float> mean(const std::vector<float>& a, const std::vector<float>& b) {
  std::vector<float> m(a.size());
  for (size_t i = 0; i < a.size(); ++i) m[i] = (a[i] + b[i]) * 0.5f;
  return m;
}

IntMatrix rules(std::initializer_list<std::pair<int, int>> kindPairs) {
  IntMatrix proc(2, static_cast<int>(kindPairs.size()));
  int r = 0;
  for (auto [a, b] : kindPairs) {
    proc.at(0, r) = a;
    proc.at(1, r) = b;
    ++r;
  }
  return proc;
}

// Column q of the product takes column q + 1 (cyclically) of the tuple: the result shows which
// tuple vertex fed which.
Matrix cyclicMatrix() {
  return matrixColumns(3, {0, 1, 0, 0, 0, 1, 1, 0, 0});
}

Matrix identity(int n) {
  return Matrix(n, n, "eye");
}

TEST(MatchFaces, EdgesAndTriangles) {
  FaceTuple t;
  EXPECT_TRUE(matchFaces(tuple({3, 7}), tuple({3, 7}), false, t));
  EXPECT_EQ(elements(t), (std::vector<int>{3, 7}));
  EXPECT_FALSE(matchFaces(tuple({3, 7}), tuple({3, 8}), false, t));

  EXPECT_TRUE(matchFaces(tuple({1, 4, 6}), tuple({1, 6, 4}), false, t));
  EXPECT_EQ(elements(t), (std::vector<int>{1, 4, 6}));
  // The same orientation is not the other side of the face.
  EXPECT_FALSE(matchFaces(tuple({1, 4, 6}), tuple({1, 4, 6}), false, t));
  // A prism quad taken by a triangle rule side: the first three corners of the quad.
  EXPECT_TRUE(matchFaces(tuple({1, 4, 6, 9}), tuple({1, 6, 4}), false, t));
  EXPECT_EQ(elements(t), (std::vector<int>{1, 4, 6}));
}

TEST(MatchFaces, TriangleOnQuadStartsAfterTheLeftOutCorner) {
  FaceTuple t;
  // Triangle (0, 1, 2) leaves out corner 3 of quad (0, 3, 2, 1): T[1] = 1 is opposite it.
  ASSERT_TRUE(matchFaces(tuple({0, 1, 2}), tuple({0, 3, 2, 1}), false, t));
  EXPECT_EQ(elements(t), (std::vector<int>{2, 1, 0}));
  ASSERT_TRUE(matchFaces(tuple({0, 2, 3}), tuple({0, 3, 2, 1}), false, t));
  EXPECT_EQ(elements(t), (std::vector<int>{0, 3, 2}));
  // A triangle with a vertex off the quad does not lie on it.
  EXPECT_FALSE(matchFaces(tuple({0, 1, 5}), tuple({0, 3, 2, 1}), false, t));
}

TEST(MatchFaces, PrismQuadOrderFollowsItsMark) {
  FaceTuple t;
  const FaceTuple marked = tuple({0, 1, 2, 3 | prismQuadMark});
  const FaceTuple unmarked = tuple({0, 1, 2, 3});
  ASSERT_TRUE(matchFaces(tuple({0, 1, 2}), marked, true, t));
  EXPECT_EQ(elements(t), (std::vector<int>{0, 1, 2}));
  ASSERT_TRUE(matchFaces(tuple({0, 1, 2}), unmarked, true, t));
  EXPECT_EQ(elements(t), (std::vector<int>{2, 1, 0}));
  ASSERT_TRUE(matchFaces(tuple({0, 2, 3}), marked, true, t));
  EXPECT_EQ(elements(t), (std::vector<int>{2, 3, 0}));
  ASSERT_TRUE(matchFaces(tuple({0, 2, 3}), unmarked, true, t));
  EXPECT_EQ(elements(t), (std::vector<int>{0, 3, 2}));
  // Without the prism flag the quad is taken as it stands.
  ASSERT_TRUE(matchFaces(tuple({0, 1, 2}), unmarked, false, t));
  EXPECT_EQ(elements(t), (std::vector<int>{0, 1, 2}));
}

TEST(MatchFaces, TwoQuads) {
  FaceTuple t;
  ASSERT_TRUE(matchFaces(tuple({0, 1, 2, 3}), tuple({0, 3, 2, 1}), false, t));
  EXPECT_EQ(elements(t), (std::vector<int>{0, 1, 2, 3}));
  // A prism quad on the second side: its mark tells which of its edges are triangle edges.
  ASSERT_TRUE(matchFaces(tuple({0, 1, 2, 3}), tuple({0, 3, 2 | prismQuadMark, 1}), true, t));
  EXPECT_EQ(elements(t), (std::vector<int>{0, 1, 2, 3}));
  // Only a quad's own entry, at its smallest vertex, stands on the first side.
  EXPECT_FALSE(matchFaces(tuple({1, 0, 3, 2}), tuple({1, 2, 3, 0}), false, t));
  EXPECT_FALSE(matchFaces(tuple({0, 1, 2, 3}), tuple({0, 4, 5, 1}), false, t));
}

// A hexahedron on the unit cube, corner c at (c & 1, c >> 1 & 1, c >> 2 & 1), and a prism on its
// face x = 1 whose triangle edges there run along y. Under every numbering (each order of the
// shared corners' indices, each of the 48 symmetries of the cube, each rotation of the prism) a
// hexahedron/prism rule must get the quad with T[0]-T[1] and T[2]-T[3] on the prism's triangle
// edges: with a mul that swaps those pairs, each shared corner is fed by its partner along y.
TEST(InterfaceCorrection, HexPrismQuadTupleStartsWithATriangleEdgeUnderEveryNumbering) {
  LookupTables tables = testing::faces::faceListTables();
  tables.procTable = rules({{5, 4}});
  tables.mulTables[0] = matrixColumns(4, {0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0});
  checkTables(tables);
  const int hexCorner[8] = {0, 1, 3, 2, 4, 5, 7, 6};  // local corner -> cube corner
  const int shared[4] = {1, 3, 5, 7};
  std::array<int, 4> order = {0, 1, 2, 3};
  int runs = 0, wrong = 0;
  std::string firstWrong;
  do {
    // Indices of the cube corners (the shared ones take 0..3 in `order`), then of the prism's
    // corners at (2, 1/2, 0) and (2, 1/2, 1).
    const std::array<int, 10> index = {4, order[0], 5, order[1], 6, order[2], 7, order[3], 8, 9};
    const std::array<int, 6> prism = {index[1], index[8], index[3], index[5], index[9], index[7]};
    for (const testing::HexahedronNumbering& h : testing::hexahedronSymmetries(false)) {
      for (const testing::PrismNumbering& p : testing::prismSymmetries()) {
        Mesh mesh = meshWithVertices(10);
        mesh.cells[7] = IntArray({8, 1}, 0);
        for (int i = 0; i < 8; ++i) mesh.cells[7][i] = index[hexCorner[h[i]]];
        mesh.cells[6] = IntArray({6, 1}, 0);
        for (int i = 0; i < 6; ++i) mesh.cells[6][i] = prism[p[i]];
        VertexValueMap values = seededValues(mesh);
        Warnings warnings;
        correct(mesh, tables, values, warnings);
        ++runs;
        bool right = true;
        for (int c : shared) {
          const int v = index[c], partner = index[c ^ 2];
          right =
              right &&
              valueOf(values, v, hexClass) == combine(column(mesh, v), column(mesh, partner), 1) &&
              valueOf(values, v, prismClass) == combine(column(mesh, v), column(mesh, partner), -1);
        }
        if (!right && wrong++ == 0) {
          for (int i = 0; i < 8; ++i)
            firstWrong.append(std::to_string(mesh.cells[7][i])).append(" ");
          firstWrong.append("and prism");
          for (int i = 0; i < 6; ++i)
            firstWrong.append(" ").append(std::to_string(mesh.cells[6][i]));
        }
      }
    }
  } while (std::next_permutation(order.begin(), order.end()));
  EXPECT_EQ(runs, 24 * 48 * 6);
  EXPECT_EQ(wrong, 0) << "numberings of " << runs << "; the first: hexahedron " << firstWrong;
}

// Tetrahedron (0, 1, 2, 3) with a prism on its face (0, 2, 1), the two listing it oppositely.
struct PrismOnTet {
  Mesh mesh = meshWithVertices(7);
  LookupTables tables = testing::faces::faceListTables();
  PrismOnTet() {
    mesh.cells[4] = cellColumns(4, {0, 1, 2, 3});
    mesh.cells[6] = cellColumns(6, {0, 2, 1, 4, 5, 6});
    tables.procTable = rules({{2, 3}});
    tables.mulTables[0] = cyclicMatrix();
    checkTables(tables);
  }
};

TEST(InterfaceCorrection, PrismTriangleOnTetFaceShiftsBothClasses) {
  PrismOnTet s;
  VertexValueMap values = seededValues(s.mesh);
  Warnings warnings;
  correct(s.mesh, s.tables, values, warnings);
  EXPECT_TRUE(warnings.empty());
  // The face's tuple is (0, 2, 1); each vertex receives the column of the one after it.
  const std::vector<std::pair<int, int>> fedBy = {{0, 2}, {2, 1}, {1, 0}};
  for (auto [v, source] : fedBy) {
    EXPECT_EQ(valueOf(values, v, tetClass), combine(column(s.mesh, v), column(s.mesh, source), 1))
        << v;
    EXPECT_EQ(valueOf(values, v, prismClass),
              combine(column(s.mesh, v), column(s.mesh, source), -1))
        << v;
  }
  // Vertices with no face on the interface keep their values.
  EXPECT_EQ(valueOf(values, 3, tetClass), column(s.mesh, 3));
  for (int v = 4; v < 7; ++v) EXPECT_EQ(valueOf(values, v, prismClass), column(s.mesh, v));
}

TEST(InterfaceCorrection, FaceSharedByTwoTetsTakesNoPart) {
  PrismOnTet s;
  Mesh mesh = meshWithVertices(8);
  mesh.cells = s.mesh.cells;
  s.mesh = mesh;
  // The second tetrahedron lies on the same face as the prism and cancels it for the tets.
  s.mesh.cells[4] = cellColumns(4, {0, 1, 2, 3, 0, 2, 1, 7});
  VertexValueMap values = seededValues(s.mesh);
  Warnings warnings;
  correct(s.mesh, s.tables, values, warnings);
  for (int v : {0, 1, 2, 3, 7}) EXPECT_EQ(valueOf(values, v, tetClass), column(s.mesh, v)) << v;
  for (int v : {0, 1, 2, 4, 5, 6})
    EXPECT_EQ(valueOf(values, v, prismClass), column(s.mesh, v)) << v;
}

TEST(InterfaceCorrection, CorrectionSkipsClassWithoutValue) {
  PrismOnTet s;
  VertexValueMap values = seededValues(s.mesh);
  values.erase(IntArray::fromValues({0, prismClass}));
  Warnings warnings;
  correct(s.mesh, s.tables, values, warnings);
  EXPECT_TRUE(valueOf(values, 0, prismClass).empty());
  EXPECT_EQ(valueOf(values, 0, tetClass), combine(column(s.mesh, 0), column(s.mesh, 2), 1));
}

// A hexahedron whose bottom (0, 3, 2, 1) is covered by tetrahedra on (0, 1, 2) and (0, 2, 3).
struct TetsUnderHex {
  Mesh mesh = meshWithVertices(10);
  LookupTables tables = testing::faces::faceListTables();
  TetsUnderHex() {
    mesh.cells[7] = cellColumns(8, {0, 1, 2, 3, 4, 5, 6, 7});
    mesh.cells[4] = cellColumns(4, {0, 2, 1, 8, 0, 3, 2, 9});
    tables.procTable = rules({{2, 5}});
    tables.mulTables[0] = cyclicMatrix();
    checkTables(tables);
  }
  void expectBottomCorrected(VertexValueMap& values) const {
    // Tuples (2, 1, 0) and (0, 3, 2): the middle is the corner opposite the one left out.
    const std::vector<std::vector<float>> means = {
        mean(column(mesh, 2), column(mesh, 3)), column(mesh, 0),
        mean(column(mesh, 1), column(mesh, 0)), column(mesh, 2)};
    for (int v = 0; v < 4; ++v) {
      EXPECT_EQ(valueOf(values, v, tetClass), combine(column(mesh, v), means[v], 1)) << v;
      EXPECT_EQ(valueOf(values, v, hexClass), combine(column(mesh, v), means[v], -1)) << v;
    }
    for (int v = 4; v < 8; ++v) EXPECT_EQ(valueOf(values, v, hexClass), column(mesh, v)) << v;
    for (int v = 8; v < 10; ++v) EXPECT_EQ(valueOf(values, v, tetClass), column(mesh, v)) << v;
  }
};

TEST(InterfaceCorrection, TwoTetFacesCoveringHexFaceAverageTheirCorrections) {
  TetsUnderHex s;
  VertexValueMap values = seededValues(s.mesh);
  Warnings warnings;
  correct(s.mesh, s.tables, values, warnings);
  EXPECT_TRUE(warnings.empty());
  s.expectBottomCorrected(values);
}

TEST(InterfaceCorrection, FacesWithRepeatedVertexTakeNoPart) {
  TetsUnderHex s;
  Mesh mesh = meshWithVertices(13);
  mesh.cells = s.mesh.cells;
  // A collapsed hexahedron on top: its faces (10, 11, 12, 10) and (7, 4, 10, 10) are degenerate.
  mesh.cells[7] = cellColumns(8, {0, 1, 2, 3, 4, 5, 6, 7, 4, 5, 6, 7, 10, 11, 12, 10});
  s.mesh = mesh;
  VertexValueMap values = seededValues(s.mesh);
  Warnings warnings;
  correct(s.mesh, s.tables, values, warnings);
  s.expectBottomCorrected(values);
}

TEST(InterfaceCorrection, VertexIndicesOutsideTheMeshAreIgnored) {
  TetsUnderHex s;
  s.mesh.cells[4] = cellColumns(4, {0, 2, 1, 8, 0, 3, 2, 9, 8, 99, 9, -5});
  VertexValueMap values = seededValues(TetsUnderHex().mesh);
  Warnings warnings;
  correct(s.mesh, s.tables, values, warnings);
  s.expectBottomCorrected(values);
}

TEST(InterfaceCorrection, OneCellClassOnlyKeepsValues) {
  Mesh tets = meshWithVertices(5);
  tets.cells[4] = cellColumns(4, {0, 1, 2, 3, 0, 2, 1, 4});
  LookupTables tables = testing::faces::faceListTables();
  tables.mulTables[0] = identity(3);
  tables.procTable = rules({{2, 2}});
  checkTables(tables);
  VertexValueMap values = seededValues(tets);
  Warnings warnings;
  correct(tets, tables, values, warnings);
  for (int v = 0; v < 5; ++v) EXPECT_EQ(valueOf(values, v, tetClass), column(tets, v));

  // Hexahedron faces pair with themselves: the same mean goes up and down in one class.
  Mesh hex = meshWithVertices(8);
  hex.cells[7] = cellColumns(8, {0, 1, 2, 3, 4, 5, 6, 7});
  tables.mulTables[0] = identity(4);
  tables.procTable = rules({{5, 5}});
  checkTables(tables);
  values = seededValues(hex);
  correct(hex, tables, values, warnings);
  EXPECT_TRUE(warnings.empty());
  for (int v = 0; v < 8; ++v) {
    const std::vector<float> value = valueOf(values, v, hexClass);
    ASSERT_EQ(value.size(), 3u);
    for (int r = 0; r < 3; ++r) EXPECT_FLOAT_EQ(value[r], hex.vertices(r, v));
  }
}

TEST(InterfaceCorrection, ManyFacesOfOneKindAtAVertexAllCount) {
  // 45 tetrahedra around vertex 0, each with a prism on one of its faces.
  constexpr int fan = 45;
  Mesh mesh = meshWithVertices(1 + 6 * fan);
  mesh.cells[4] = IntArray({4, fan}, 0);
  mesh.cells[6] = IntArray({6, fan}, 0);
  for (int k = 0; k < fan; ++k) {
    const int a = 1 + 6 * k;
    const int b = a + 1;
    const int tet[4] = {0, a, b, a + 2};
    const int prism[6] = {0, b, a, a + 3, a + 4, a + 5};
    for (int i = 0; i < 4; ++i) mesh.cells[4].at(i, k) = tet[i];
    for (int i = 0; i < 6; ++i) mesh.cells[6].at(i, k) = prism[i];
  }
  LookupTables tables = testing::faces::faceListTables();
  tables.mulTables[0] = identity(3);
  tables.procTable = rules({{2, 3}});
  checkTables(tables);
  VertexValueMap values = seededValues(mesh);
  Warnings warnings;
  correct(mesh, tables, values, warnings);
  for (int k = 0; k < fan; ++k) {
    for (int v : {1 + 6 * k, 2 + 6 * k}) {
      EXPECT_EQ(valueOf(values, v, tetClass), combine(column(mesh, v), column(mesh, v), 1)) << v;
      EXPECT_EQ(valueOf(values, v, prismClass), combine(column(mesh, v), column(mesh, v), -1)) << v;
    }
  }
}

TEST(InterfaceCorrection, UnusableRulesAreSkippedWithWarning) {
  struct Case {
    std::pair<int, int> kinds;
    Matrix mul;
    std::string prefix;
  };
  const std::vector<Case> cases = {
      {{2, 3}, Matrix(), testing::tableFile("mesh_mul40.tab") + ": "},
      {{2, 3}, identity(4), testing::tableFile("mesh_mul40.tab") + ": "},
      {{2, 3}, Matrix(3, 4), testing::tableFile("mesh_mul40.tab") + ": "},
      {{2, 6}, identity(3), testing::tableFile("mesh_proc.tab") + ": "},
      {{-1, 3}, identity(3), testing::tableFile("mesh_proc.tab") + ": "},
      {{0, 3}, identity(2), testing::tableFile("mesh_proc.tab") + ": "},
  };
  for (const Case& c : cases) {
    PrismOnTet s;
    s.tables.procTable = rules({c.kinds});
    s.tables.mulTables[0] = c.mul;
    checkTables(s.tables);
    VertexValueMap values = seededValues(s.mesh);
    Warnings warnings;
    correct(s.mesh, s.tables, values, warnings);
    ASSERT_EQ(warnings.size(), 1u) << c.prefix;
    EXPECT_EQ(warnings[0].rfind(c.prefix, 0), 0u) << warnings[0];
    for (int v = 0; v < 3; ++v) EXPECT_EQ(valueOf(values, v, tetClass), column(s.mesh, v));
  }
}

TEST(InterfaceCorrection, UnusableRuleLeavesOthersWorking) {
  PrismOnTet s;
  // Rule 0 is broken, rule 1 is the working one; a seventh rule has no interface matrix.
  s.tables.procTable = rules({{2, 3}, {2, 3}, {2, 3}, {2, 3}, {2, 3}, {2, 3}, {2, 3}});
  for (int r = 0; r < 6; ++r) s.tables.mulTables[r] = Matrix();
  s.tables.mulTables[1] = cyclicMatrix();
  checkTables(s.tables);
  VertexValueMap values = seededValues(s.mesh);
  Warnings warnings;
  correct(s.mesh, s.tables, values, warnings);
  EXPECT_EQ(warnings.size(), 6u);
  EXPECT_EQ(valueOf(values, 0, tetClass), combine(column(s.mesh, 0), column(s.mesh, 2), 1));
}

TEST(InterfaceCorrection, BadFaceListSkipsItsFamilyOnly) {
  TetsUnderHex s;
  s.tables.zipTables[5][7] = 8;                                     // not a corner of a hexahedron
  s.tables.zipTables[6] = IntMatrix(IntArray::fromValues({0, 1}));  // no octahedra: unused
  checkTables(s.tables);
  VertexValueMap values = seededValues(s.mesh);
  Warnings warnings;
  correct(s.mesh, s.tables, values, warnings);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].rfind(testing::tableFile("mesh_zip5.tab") + ": ", 0), 0u) << warnings[0];
  for (int v = 0; v < 8; ++v) EXPECT_EQ(valueOf(values, v, hexClass), column(s.mesh, v));

  s.tables.zipTables[6] = testing::faces::faceListTables().zipTables[6];
  s.tables.zipTables[5] = IntMatrix(IntArray::fromValues({0, 3, 2, 1}));
  checkTables(s.tables);
  warnings.clear();
  correct(s.mesh, s.tables, values, warnings);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].rfind(testing::tableFile("mesh_zip5.tab") + ": ", 0), 0u) << warnings[0];
}

}  // namespace
}  // namespace cagewarp
