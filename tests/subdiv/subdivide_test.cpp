#include "subdiv/subdivide.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <set>
#include <vector>

#include "formats/array_file.h"
#include "mesh/cell_type.h"
#include "mesh/lookup_tables.h"
#include "tests/support/committed_tables.h"

namespace cagewarp {
namespace {

// Corner coordinates are doubled so that every node of a refined cell has integer coordinates.
using Point = std::array<int, 3>;
using NodeGroups = std::array<std::vector<std::vector<int>>, 4>;

struct CellShape {
  std::vector<Point> corners;
  NodeGroups groups;                      // by tuple size k = 1..4, local node indices
  std::vector<std::vector<Point>> extra;  // children besides the one at each corner
  std::vector<std::vector<Point>> other;  // children of the other type (bas tables)
};

Point mean(const std::vector<Point>& points) {
  Point sum{};
  for (const Point& p : points)
    for (int a = 0; a < 3; ++a) sum[a] += p[a];
  for (int a = 0; a < 3; ++a) {
    EXPECT_EQ(sum[a] % static_cast<int>(points.size()), 0);
    sum[a] /= static_cast<int>(points.size());
  }
  return sum;
}

// The cell of type t with its node groups besides the edges.
CellShape shapeBesidesEdges(int t) {
  const Point o{0, 0, 0}, x{2, 0, 0}, y{0, 2, 0}, z{0, 0, 2}, xy{2, 2, 0};
  switch (t) {
    case pointType:
      return {{o}, {}, {}, {}};
    case lineType:
      return {{o, x}, {}, {}, {}};
    case triangleType:
      return {{o, x, y}, {}, {{{1, 0, 0}, {1, 1, 0}, {0, 1, 0}}}, {}};
    case quadType:
      return {{o, x, xy, y}, {{{}, {{0, 1, 2, 3}}}}, {}, {}};
    case tetrahedronType:
      return {{o, x, y, z},
              {},
              {},
              {{{1, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 1}, {0, 0, 1}, {0, 1, 1}}}};
    case octahedronType: {
      CellShape s{{{0, 0, 2}, {2, 0, 0}, {0, 2, 0}, {-2, 0, 0}, {0, -2, 0}, {0, 0, -2}},
                  {{{}, {}, {{0, 1, 2, 3, 4, 5}}}},
                  {},
                  {}};
      const int faces[8][3] = {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 1},
                               {5, 2, 1}, {5, 3, 2}, {5, 4, 3}, {5, 1, 4}};
      for (const auto& f : faces) {
        const auto& c = s.corners;
        s.other.push_back({mean({c[f[0]], c[f[1]]}), mean({c[f[1]], c[f[2]]}),
                           mean({c[f[2]], c[f[0]]}), Point{0, 0, 0}});
      }
      return s;
    }
    case prismType:
      return {{o, x, y, z, {2, 0, 2}, {0, 2, 2}},
              {{{}, {{0, 1, 4, 3}, {1, 2, 5, 4}, {2, 0, 3, 5}}}},
              {{{1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}},
               {{1, 0, 1}, {1, 1, 1}, {0, 1, 1}, {1, 0, 2}, {1, 1, 2}, {0, 1, 2}}},
              {}};
    default:
      return {
          {o, x, xy, y, z, {2, 0, 2}, {2, 2, 2}, {0, 2, 2}},
          {{{},
            {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}},
            {},
            {{0, 1, 2, 3, 4, 5, 6, 7}}}},
          {},
          {}};
  }
}

// The cell of type t; its edges, whose middles are the first new nodes, in the program's order.
CellShape shapeOf(int t) {
  CellShape shape = shapeBesidesEdges(t);
  for (const auto& [a, b] : edgesOf(t)) shape.groups[0].push_back({a, b});
  return shape;
}

// Coordinates of the refined nodes of a cell: corners, then each group's mean in table order.
std::vector<Point> refinedNodes(const CellShape& s) {
  std::vector<Point> nodes = s.corners;
  for (const auto& groups : s.groups) {
    for (const auto& g : groups) {
      std::vector<Point> members;
      for (int i : g) members.push_back(nodes[i]);
      nodes.push_back(mean(members));
    }
  }
  return nodes;
}

IntMatrix nodeIndicesOf(const std::vector<Point>& nodes,
                        const std::vector<std::vector<Point>>& cells) {
  std::vector<int> indices;
  for (const auto& cell : cells) {
    for (const Point& p : cell) {
      int found = -1;
      for (int i = 0; i < static_cast<int>(nodes.size()); ++i)
        if (nodes[i] == p) found = i;
      EXPECT_GE(found, 0);
      indices.push_back(found);
    }
  }
  IntMatrix m(static_cast<int>(cells.empty() ? 0 : cells[0].size()),
              static_cast<int>(cells.size()));
  std::copy(indices.begin(), indices.end(), m.data());
  return m;
}

// Split tables for every type, built from the cells' geometry: node groups of corners, the
// children at the corners (half-size copies), the middle children and the tetrahedron/octahedron
// children.
LookupTables splitTables(const CellShape* hexahedron = nullptr) {
  LookupTables tables;
  for (int t = 0; t < cellTypeCount; ++t) {
    const CellShape s = t == hexahedronType && hexahedron ? *hexahedron : shapeOf(t);
    for (int k = 1; k <= 4; ++k) {
      std::vector<int> flat;
      for (const auto& g : s.groups[k - 1]) flat.insert(flat.end(), g.begin(), g.end());
      if (flat.empty()) continue;
      IntMatrix m(2 * k, static_cast<int>(flat.size()) / (2 * k));
      std::copy(flat.begin(), flat.end(), m.data());
      tables.nodeTables[t][k - 1] = m;
    }
    std::vector<std::vector<Point>> children;
    for (const Point& c : s.corners) {
      std::vector<Point> child;
      for (const Point& p : s.corners) child.push_back(mean({c, p}));
      children.push_back(child);
    }
    children.insert(children.end(), s.extra.begin(), s.extra.end());
    const std::vector<Point> nodes = refinedNodes(s);
    EXPECT_EQ(static_cast<int>(nodes.size()), refinedNodeCount[t]);
    EXPECT_EQ(static_cast<int>(children.size()), sameTypeChildCount[t]);
    tables.uniTables[t] = nodeIndicesOf(nodes, children);
    if (!s.other.empty()) tables.basTables[t] = nodeIndicesOf(nodes, s.other);
  }
  checkTables(tables);
  return tables;
}

const LookupTables& sharedTables() {
  static const LookupTables tables = splitTables();
  return tables;
}

// A mesh whose vertex columns are x, y, z followed by the weight rows of an identity.
Mesh meshOf(const std::vector<std::array<float, 3>>& points) {
  const int n = static_cast<int>(points.size());
  Mesh mesh(3 + n);
  mesh.vertices = Matrix(3 + n, n);
  for (int j = 0; j < n; ++j) {
    for (int a = 0; a < 3; ++a) mesh.vertices(a, j) = points[j][a];
    mesh.vertices(3 + j, j) = 1.0f;
  }
  return mesh;
}

void addCells(Mesh& mesh, int t, std::initializer_list<int> corners) {
  IntArray cells({verticesPerCell[t], static_cast<int>(corners.size()) / verticesPerCell[t]}, 0);
  std::copy(corners.begin(), corners.end(), cells.data());
  appendCells(mesh, t, cells);
}

Mesh unitCube() {
  return meshOf(
      {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}});
}

std::vector<float> columnOf(const Matrix& m, int j) {
  return std::vector<float>(m.column(j), m.column(j) + m.rows());
}

std::vector<float> meanOfColumns(const Matrix& m, const std::vector<int>& columns) {
  std::vector<float> sum(m.rows(), 0.0f);
  for (int j : columns)
    for (int k = 0; k < m.rows(); ++k) sum[k] += m(k, j);
  for (float& v : sum) v /= static_cast<float>(columns.size());
  return sum;
}

Status run(Mesh& mesh, int flags, const LookupTables& tables = sharedTables()) {
  Warnings warnings;
  return subdivide(mesh, tables, flags, warnings);
}

TEST(Subdivide, HexahedronGainsEdgeFaceAndCentreMeansInTableOrder) {
  Mesh mesh = unitCube();
  addCells(mesh, hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7});
  const Matrix before = mesh.vertices;
  ASSERT_TRUE(run(mesh, linearSubdivision).ok);

  ASSERT_EQ(mesh.vertexColumns(), 27);
  ASSERT_EQ(mesh.cellCount(hexahedronType), 8);
  for (int j = 0; j < 8; ++j) EXPECT_EQ(columnOf(mesh.vertices, j), columnOf(before, j));
  // Dyadic means of 0/1 values are exact, so the columns compare equal.
  int next = 8;
  for (int k = 1; k <= 4; ++k) {
    const IntMatrix* table = sharedTables().nodeTable(hexahedronType, k);
    if (!table) continue;
    for (int g = 0; g < table->cols(); ++g, ++next) {
      std::vector<int> corners(table->column(g), table->column(g) + table->rows());
      EXPECT_EQ(columnOf(mesh.vertices, next), meanOfColumns(before, corners)) << "node " << next;
    }
  }
  // Child c is the half-size cube at corner c, its corners in the parent's vertex order.
  for (int c = 0; c < 8; ++c) {
    const int* child = mesh.cells[hexahedronType].column(c);
    for (int j = 0; j < 8; ++j) {
      for (int a = 0; a < 3; ++a) {
        EXPECT_EQ(mesh.vertices(a, child[j]), (before(a, c) + before(a, j)) / 2)
            << "child " << c << " corner " << j;
      }
    }
  }
}

// The hexahedron's centre named as the middle of the middles of two opposite edges, a tuple of
// nodes of the same split, which the tables allow: its mean needs theirs first.
TEST(Subdivide, TuplesNamingNewNodesSeeTheirValues) {
  CellShape hexahedron = shapeOf(hexahedronType);
  const auto edges = edgesOf(hexahedronType);
  auto middle = [&](int a, int b) {
    for (int e = 0; e < static_cast<int>(edges.size()); ++e)
      if ((edges[e][0] == a && edges[e][1] == b) || (edges[e][0] == b && edges[e][1] == a))
        return verticesPerCell[hexahedronType] + e;
    ADD_FAILURE() << "no edge " << a << "-" << b;
    return 0;
  };
  hexahedron.groups[3].clear();
  hexahedron.groups[0].push_back({middle(0, 1), middle(6, 7)});
  const LookupTables tables = splitTables(&hexahedron);
  for (int t = 0; t < cellTypeCount; ++t) {
    EXPECT_EQ(tables.checked().nodesNameNewNodes[t], t == hexahedronType) << t;
    EXPECT_FALSE(sharedTables().checked().nodesNameNewNodes[t]) << t;
  }
  for (int threads : {1, 3}) {
    Mesh mesh = unitCube();
    addCells(mesh, hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7, 4, 5, 6, 7, 0, 1, 2, 3});
    const Matrix before = mesh.vertices;
    Warnings warnings;
    ASSERT_TRUE(subdivide(mesh, tables, linearSubdivision, warnings, threads).ok);
    ASSERT_EQ(mesh.vertexColumns(), 27 + 1) << threads;
    // Both cells share every edge; their centres come from edge pairs 0-1, 6-7 and 4-5, 2-3.
    const int centre = 8 + static_cast<int>(edges.size());
    EXPECT_EQ(columnOf(mesh.vertices, centre), meanOfColumns(before, {0, 1, 6, 7})) << threads;
    EXPECT_EQ(columnOf(mesh.vertices, centre + 1), meanOfColumns(before, {4, 5, 2, 3})) << threads;
  }
}

TEST(Subdivide, SharedEdgeGetsOneVertexAndIndicesFollowGroupThenCell) {
  Mesh mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
  addCells(mesh, triangleType, {0, 1, 2, 2, 1, 3});
  const Matrix before = mesh.vertices;
  ASSERT_TRUE(run(mesh, linearSubdivision).ok);

  ASSERT_EQ(mesh.vertexColumns(), 9);
  ASSERT_EQ(mesh.cellCount(triangleType), 8);
  // Edge groups (0,1), (1,2), (2,0), each over both cells: 01, 12, 13, 02, 23.
  const std::vector<std::vector<int>> edges = {{0, 1}, {1, 2}, {1, 3}, {0, 2}, {2, 3}};
  for (int e = 0; e < 5; ++e)
    EXPECT_EQ(columnOf(mesh.vertices, 4 + e), meanOfColumns(before, edges[e])) << "edge " << e;
  // The middle of the shared edge is a corner of children of both triangles.
  std::set<int> first(mesh.cells[triangleType].column(0), mesh.cells[triangleType].column(4));
  std::set<int> second(mesh.cells[triangleType].column(4), mesh.cells[triangleType].column(8));
  EXPECT_TRUE(first.count(5) && second.count(5));
}

TEST(Subdivide, QuadMiddleIsTheMiddleOfATriangleDiagonal) {
  Mesh mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
  addCells(mesh, triangleType, {0, 1, 2, 0, 2, 3});
  addCells(mesh, quadType, {0, 1, 2, 3});
  const Matrix before = mesh.vertices;
  ASSERT_TRUE(run(mesh, linearSubdivision).ok);

  // Triangle edges 01, 02, 12, 23, 03 are all the new vertices; the quad adds none.
  ASSERT_EQ(mesh.vertexColumns(), 9);
  ASSERT_EQ(mesh.cellCount(quadType), 4);
  const int diagonalMiddle = 5;
  EXPECT_EQ(columnOf(mesh.vertices, diagonalMiddle), meanOfColumns(before, {0, 2}));
  for (int c = 0; c < 4; ++c) {
    const int* child = mesh.cells[quadType].column(c);
    EXPECT_NE(std::find(child, child + 4, diagonalMiddle), child + 4) << "quad child " << c;
  }
}

double tetVolume(const Matrix& v, const int* c) {
  double e[3][3];
  for (int i = 0; i < 3; ++i)
    for (int a = 0; a < 3; ++a) e[i][a] = v(a, c[i + 1]) - v(a, c[0]);
  return (e[0][0] * (e[1][1] * e[2][2] - e[1][2] * e[2][1]) -
          e[0][1] * (e[1][0] * e[2][2] - e[1][2] * e[2][0]) +
          e[0][2] * (e[1][0] * e[2][1] - e[1][1] * e[2][0])) /
         6;
}

TEST(Subdivide, TetrahedronMakesFourTetrahedraAndOneOctahedron) {
  Mesh mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
  addCells(mesh, tetrahedronType, {0, 1, 2, 3});
  ASSERT_TRUE(run(mesh, linearSubdivision).ok);

  ASSERT_EQ(mesh.vertexColumns(), 10);
  ASSERT_EQ(mesh.cellCount(tetrahedronType), 4);
  ASSERT_EQ(mesh.cellCount(octahedronType), 1);
  const int* octahedron = mesh.cells[octahedronType].column(0);
  EXPECT_EQ(std::set<int>(octahedron, octahedron + 6), (std::set<int>{4, 5, 6, 7, 8, 9}));
  for (int c = 0; c < 4; ++c) {
    const int* child = mesh.cells[tetrahedronType].column(c);
    EXPECT_EQ(child[c], c);
    EXPECT_DOUBLE_EQ(tetVolume(mesh.vertices, child), 1.0 / 48) << "child " << c;
  }
}

TEST(Subdivide, OctahedronMakesSixOctahedraAndEightTetrahedraAfterOwnTetrahedra) {
  Mesh mesh = meshOf({{0, 0, 1},
                      {1, 0, 0},
                      {0, 1, 0},
                      {-1, 0, 0},
                      {0, -1, 0},
                      {0, 0, -1},
                      {5, 5, 5},
                      {6, 5, 5},
                      {5, 6, 5},
                      {5, 5, 6}});
  addCells(mesh, octahedronType, {0, 1, 2, 3, 4, 5});
  addCells(mesh, tetrahedronType, {6, 7, 8, 9});
  const Matrix before = mesh.vertices;
  ASSERT_TRUE(run(mesh, linearSubdivision).ok);

  // Tetrahedron edges come first (type 4), then octahedron edges and its centre.
  ASSERT_EQ(mesh.vertexColumns(), 10 + 6 + 13);
  ASSERT_EQ(mesh.cellCount(octahedronType), 6 + 1);
  ASSERT_EQ(mesh.cellCount(tetrahedronType), 4 + 8);
  const int centre = 28;
  EXPECT_EQ(columnOf(mesh.vertices, centre), meanOfColumns(before, {0, 1, 2, 3, 4, 5}));
  for (int c = 0; c < 4; ++c) EXPECT_GE(mesh.cells[tetrahedronType].at(0, c), 6);
  double volume = 0;
  for (int c = 4; c < 12; ++c) {
    const int* child = mesh.cells[tetrahedronType].column(c);
    EXPECT_NE(std::find(child, child + 4, centre), child + 4);
    volume += std::fabs(tetVolume(mesh.vertices, child));
  }
  // Each sits on the middle quarter of a face of the octahedron (volume 4/3), so together they
  // fill a quarter of it.
  EXPECT_NEAR(volume, 4.0 / 3 / 4, 1e-6);
  // The tetrahedron's octahedron child comes after the octahedron's own six children.
  const int* last = mesh.cells[octahedronType].column(6);
  for (int j = 0; j < 6; ++j) EXPECT_TRUE(last[j] >= 10 && last[j] < 16);
}

TEST(Subdivide, UnusedVerticesAndEmptyMeshesKeepZeroColumns) {
  Mesh mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {7, 7, 7}});
  addCells(mesh, triangleType, {0, 1, 2});
  ASSERT_TRUE(run(mesh, linearSubdivision).ok);
  ASSERT_EQ(mesh.vertexColumns(), 7);
  EXPECT_EQ(columnOf(mesh.vertices, 3), std::vector<float>(mesh.vertexRows(), 0.0f));

  Mesh empty = meshOf({{1, 2, 3}, {4, 5, 6}});
  ASSERT_TRUE(run(empty, linearSubdivision).ok);
  EXPECT_EQ(empty.vertexColumns(), 2);
  EXPECT_EQ(empty.vertices, Matrix(5, 2));
  for (int t = 0; t < cellTypeCount; ++t) EXPECT_EQ(empty.cells[t].rows(), verticesPerCell[t]);
}

TEST(Subdivide, RepeatedStepsKeepEarlierVertices) {
  Mesh mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {1, 1, 0}});
  addCells(mesh, triangleType, {0, 1, 2, 2, 1, 3});
  ASSERT_TRUE(run(mesh, linearSubdivision).ok);
  const Matrix once = mesh.vertices;
  ASSERT_TRUE(run(mesh, linearSubdivision).ok);
  EXPECT_EQ(mesh.cellCount(triangleType), 32);
  EXPECT_EQ(mesh.vertexColumns(), 25);
  for (int j = 0; j < once.cols(); ++j) EXPECT_EQ(columnOf(mesh.vertices, j), columnOf(once, j));
}

// Every refined vertex is an affine combination of the loaded ones: its weights sum to 1 and
// reproduce its coordinates.
TEST(Subdivide, LinearStepsKeepPartitionOfUnityAndLinearPrecision) {
  Mesh mesh = meshOf({{0, 0, 0},
                      {1.3f, 0.1f, 0},
                      {1.1f, 0.9f, 0.2f},
                      {0, 1.2f, 0},
                      {0.1f, 0, 1},
                      {1, 0.2f, 1.4f},
                      {1.2f, 1, 1.1f},
                      {0, 1, 0.9f},
                      {2, 0, 0},
                      {2.5f, 1, 0.3f},
                      {0.5f, 0.5f, 2.5f},
                      {3, 3, 3},
                      {3.7f, 3, 3.1f},
                      {3, 4, 3},
                      {2.6f, 3.4f, 3.5f},
                      {3.5f, 3.3f, 1.9f}});
  addCells(mesh, hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7});
  addCells(mesh, prismType, {1, 8, 2, 5, 9, 6});
  addCells(mesh, tetrahedronType, {4, 5, 6, 10});
  addCells(mesh, octahedronType, {11, 12, 13, 14, 15, 9});
  addCells(mesh, quadType, {0, 1, 2, 3});
  addCells(mesh, triangleType, {4, 5, 10});
  addCells(mesh, lineType, {0, 6});
  addCells(mesh, pointType, {7});
  const Matrix loaded = mesh.vertices;
  ASSERT_TRUE(run(mesh, linearSubdivision).ok);
  ASSERT_TRUE(run(mesh, linearSubdivision).ok);

  const int n = loaded.cols();
  for (int i = 0; i < mesh.vertexColumns(); ++i) {
    double sum = 0;
    double xyz[3] = {0, 0, 0};
    for (int j = 0; j < n; ++j) {
      const double w = mesh.vertices(3 + j, i);
      sum += w;
      for (int a = 0; a < 3; ++a) xyz[a] += w * loaded(a, j);
    }
    ASSERT_NEAR(sum, 1.0, 1e-6) << "vertex " << i;
    for (int a = 0; a < 3; ++a) ASSERT_NEAR(mesh.vertices(a, i), xyz[a], 1e-5) << "vertex " << i;
  }
  EXPECT_EQ(mesh.cellCount(hexahedronType), 64);
  EXPECT_EQ(mesh.cellCount(prismType), 64);
  // After one step 4 + 8 tetrahedra and 6 + 1 octahedra.
  EXPECT_EQ(mesh.cellCount(tetrahedronType), 12 * 4 + 7 * 8);
  EXPECT_EQ(mesh.cellCount(octahedronType), 7 * 6 + 12);
}

TEST(Subdivide, NormalStepAveragesChildCentroids) {
  Mesh mesh = unitCube();
  addCells(mesh, hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7});
  Matrix centroid(8, 1);
  for (int j = 0; j < 8; ++j) centroid[j] = 0.125f;
  LookupTables tables = sharedTables();
  tables.avgTables[hexahedronType] = centroid;
  checkTables(tables);
  ASSERT_TRUE(run(mesh, normalSubdivision, tables).ok);

  ASSERT_EQ(mesh.vertexColumns(), 27);
  // Corner 0 lies in child 0 alone; the centre in all eight, symmetric about it.
  for (int a = 0; a < 3; ++a) {
    EXPECT_FLOAT_EQ(mesh.vertices(a, 0), 0.25f);
    EXPECT_FLOAT_EQ(mesh.vertices(a, 26), 0.5f);
  }
  double sum = 0;
  for (int j = 0; j < 8; ++j) sum += mesh.vertices(3 + j, 26);
  EXPECT_NEAR(sum, 1.0, 1e-6);
}

void expectRefusedAndUnchanged(const LookupTables& tables, Mesh mesh, int flags,
                               const std::string& message) {
  const Matrix vertices = mesh.vertices;
  const std::string summary = mesh.summary();
  const Status status = run(mesh, flags, tables);
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(status.message, message);
  EXPECT_EQ(mesh.vertices, vertices);
  EXPECT_EQ(mesh.summary(), summary);
}

TEST(Subdivide, TablesThatDoNotFitTheCellsAreRefused) {
  Mesh hex = unitCube();
  addCells(hex, hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7});

  LookupTables shortUni = sharedTables();
  shortUni.uniTables[hexahedronType] = IntMatrix(8, 7);
  checkTables(shortUni);
  expectRefusedAndUnchanged(
      shortUni, hex, linearSubdivision,
      testing::tableFile("mesh_uni7.tab") + ": expected 64 entries, found 56");

  LookupTables badUni = sharedTables();
  badUni.uniTables[hexahedronType][5] = 27;
  checkTables(badUni);
  expectRefusedAndUnchanged(
      badUni, hex, linearSubdivision,
      testing::tableFile("mesh_uni7.tab") + ": entry 5 is 27, must be below 27");

  LookupTables noCentre = sharedTables();
  noCentre.nodeTables[hexahedronType][3].reset();
  checkTables(noCentre);
  expectRefusedAndUnchanged(
      noCentre, hex, linearSubdivision,
      testing::tableFile("mesh_edg7.tab") + ", " + testing::tableFile("mesh_qua7.tab") + ", " +
          testing::tableFile("mesh_hex7.tab") + ", " + testing::tableFile("mesh_cub7.tab") +
          ": expected 19 node groups in all, found 18");

  // A face middle may not use the centre node, which is made after it.
  LookupTables early = sharedTables();
  (*early.nodeTables[hexahedronType][1])[4] = 26;
  checkTables(early);
  expectRefusedAndUnchanged(
      early, hex, linearSubdivision,
      testing::tableFile("mesh_qua7.tab") + ": group 1 names node 26, must be below 21");

  LookupTables ragged = sharedTables();
  ragged.nodeTables[hexahedronType][0] = IntMatrix(IntArray::fromValues({0, 1, 1}));
  checkTables(ragged);
  expectRefusedAndUnchanged(
      ragged, hex, linearSubdivision,
      testing::tableFile("mesh_edg7.tab") + ": 3 entries do not make whole groups of 2");

  Mesh tet = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
  addCells(tet, tetrahedronType, {0, 1, 2, 3});
  LookupTables noBas = sharedTables();
  noBas.basTables[tetrahedronType] = IntMatrix();
  checkTables(noBas);
  expectRefusedAndUnchanged(noBas, tet, linearSubdivision,
                            testing::tableFile("mesh_bas4.tab") + ": expected 6 entries, found 0");

  expectRefusedAndUnchanged(
      sharedTables(), hex, normalSubdivision,
      testing::tableFile("mesh_avg47.tab") + ": expected 8 rows and 1 to 8 columns, found 0 x 0");
}

TEST(Subdivide, OnlyTypesWithCellsNeedTables) {
  LookupTables hexOnly;
  hexOnly.nodeTables[hexahedronType] = sharedTables().nodeTables[hexahedronType];
  hexOnly.uniTables[hexahedronType] = sharedTables().uniTables[hexahedronType];
  checkTables(hexOnly);
  Mesh hex = unitCube();
  addCells(hex, hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7});
  EXPECT_TRUE(run(hex, linearSubdivision, hexOnly).ok);
  EXPECT_EQ(hex.cellCount(hexahedronType), 8);
}

TEST(Subdivide, CellNamingAMissingVertexIsRefused) {
  Mesh mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}});
  addCells(mesh, triangleType, {0, 1, 3});
  expectRefusedAndUnchanged(sharedTables(), mesh, linearSubdivision,
                            "cell 0 of type 2 names vertex 3, but the mesh has 3 vertices");
}

// The committed tables must serve every cell type, and both kinds of step keep every refined
// vertex an affine combination of the loaded ones.
TEST(Subdivide, CommittedTablesRefineEveryCellType) {
  const LookupTables& tables = testing::committedLookupTables();
  for (int flags : {linearSubdivision, normalSubdivision}) {
    Mesh mesh = meshOf({{0, 0, 0},
                        {1, 0, 0},
                        {1, 1, 0},
                        {0, 1, 0},
                        {0, 0, 1},
                        {1, 0, 1},
                        {1, 1, 1},
                        {0, 1, 1},
                        {2, 0, 0},
                        {2, 1, 0},
                        {0, 0, 2},
                        {1, 0, 2},
                        {0, 1, 2},
                        {1, 1, 2},
                        {2, 2, 2},
                        {-1, -1, -1}});
    addCells(mesh, hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7});
    addCells(mesh, prismType, {1, 8, 2, 5, 9, 6});
    addCells(mesh, tetrahedronType, {4, 5, 7, 10});
    addCells(mesh, octahedronType, {13, 5, 6, 7, 11, 12});
    addCells(mesh, quadType, {0, 3, 2, 1});
    addCells(mesh, triangleType, {1, 8, 2});
    addCells(mesh, lineType, {6, 14});
    addCells(mesh, pointType, {15});
    const Matrix loaded = mesh.vertices;
    for (int step = 0; step < 2; ++step) {
      const Status status = run(mesh, flags, tables);
      ASSERT_TRUE(status.ok) << status.message;
    }
    for (int i = 0; i < mesh.vertexColumns(); ++i) {
      double sum = 0;
      double xyz[3] = {0, 0, 0};
      for (int j = 0; j < loaded.cols(); ++j) {
        sum += mesh.vertices(3 + j, i);
        for (int a = 0; a < 3; ++a) xyz[a] += mesh.vertices(3 + j, i) * loaded(a, j);
      }
      ASSERT_NEAR(sum, 1.0, 1e-5) << "flags " << flags << " vertex " << i;
      for (int a = 0; a < 3; ++a) ASSERT_NEAR(mesh.vertices(a, i), xyz[a], 1e-4) << "vertex " << i;
    }
  }
}

}  // namespace
}  // namespace cagewarp
