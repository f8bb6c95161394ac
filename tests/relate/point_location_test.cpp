#include "relate/point_location.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "tests/relate/location_fixture.h"
#include "tests/support/committed_tables.h"

namespace cagewarp {
namespace {

using testing::addCell;
using testing::centroid;
using testing::controlMesh;
using testing::distorted;
using testing::expectLinearPrecision;
using testing::facesOf;
using testing::interiorPoint;
using testing::locationTables;
using testing::modelOf;
using testing::Point;
using testing::referenceCell;
using testing::singleCell;

// A column of W as the mean of the cell results, written with the matrix operations.
void addReference(Matrix& weights, IntArray& count, int j, const Matrix& block,
                  const Matrix& lambda) {
  const int n = weights.rows();
  Matrix column(n, 1);
  std::copy_n(weights.column(j), n, column.data());
  column *= static_cast<float>(count[j]);
  column += block * lambda;
  column *= 1.0f / static_cast<float>(count[j] + 1);
  std::copy_n(column.data(), n, weights.column(j));
  ++count[j];
}

struct DenseLocation {
  Matrix weights;
  IntArray enclosureCount;
};

// Every cell against every model vertex, in the order the sweep meets them for one vertex.
DenseLocation directLocation(const Mesh& control, const Matrix& model, int weightRow,
                             const LookupTables& tables) {
  const int n = control.vertexRows() - weightRow;
  DenseLocation result{Matrix(n, model.cols()), IntArray({model.cols()}, 0)};
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    const CheckedCellFaceTables faces = cellFaceTables(tables, t);
    const int cellCount = control.cellCount(t);
    if (!faces.status.ok || cellCount == 0) continue;
    const int k = verticesPerCell[t];
    FloatArray ymin({cellCount}, 0.0f);
    for (int c = 0; c < cellCount; ++c) {
      ymin[c] = std::numeric_limits<float>::infinity();
      for (int h = 0; h < k; ++h)
        ymin[c] = std::min(ymin[c], control.vertices(1, control.cells[t].at(h, c)));
    }
    const IntArray order = ymin.sortWithIndex();
    for (int m = 0; m < cellCount; ++m) {
      const int c = order[m];
      float lo[3], hi[3];
      Matrix block(n, k);
      for (int d = 0; d < 3; ++d) lo[d] = hi[d] = control.vertices(d, control.cells[t].at(0, c));
      for (int h = 0; h < k; ++h) {
        const float* v = control.vertices.column(control.cells[t].at(h, c));
        for (int d = 0; d < 3; ++d) {
          lo[d] = std::min(lo[d], v[d]);
          hi[d] = std::max(hi[d], v[d]);
        }
        std::copy_n(v + weightRow, n, block.column(h));
      }
      for (int j = 0; j < model.cols(); ++j) {
        const float* p = model.column(j);
        if (!(lo[0] <= p[0] && p[0] <= hi[0] && lo[1] <= p[1] && p[1] <= hi[1] && lo[2] <= p[2] &&
              p[2] <= hi[2]))
          continue;
        const CellCoordinates cc = cellCoordinates(control, faces.faces, c, p);
        if (cc.inside) addReference(result.weights, result.enclosureCount, j, block, cc.lambda);
      }
    }
  }
  return result;
}

// A jittered grid of hexahedra with tetrahedra and prisms laid over it, whose weight rows are
// dense and partly zero as after refinement.
Mesh overlappingRefinedLikeMesh(int weightRows) {
  std::mt19937 random(11);
  std::uniform_real_distribution<float> jitter(-0.12f, 0.12f);
  std::vector<Point> points;
  const int g = 4;
  for (int z = 0; z < g; ++z)
    for (int y = 0; y < g; ++y)
      for (int x = 0; x < g; ++x)
        points.push_back({x + jitter(random), y + jitter(random), z + jitter(random)});
  Mesh mesh = controlMesh(points);
  const int count = static_cast<int>(points.size());
  Matrix vertices(3 + weightRows, count);
  std::uniform_real_distribution<float> weight(-0.2f, 1.0f);
  for (int j = 0; j < count; ++j) {
    for (int d = 0; d < 3; ++d) vertices(d, j) = points[j][d];
    for (int r = 0; r < weightRows; ++r) {
      const float w = weight(random);
      vertices(3 + r, j) = w < 0.0f ? (r % 3 == 0 ? -0.0f : 0.0f) : w;
    }
  }
  mesh.vertices = vertices;
  auto id = [&](int x, int y, int z) { return x + g * (y + g * z); };
  for (int z = 0; z + 1 < g; ++z)
    for (int y = 0; y + 1 < g; ++y)
      for (int x = 0; x + 1 < g; ++x)
        addCell(
            mesh, hexahedronType,
            {id(x, y, z), id(x + 1, y, z), id(x + 1, y + 1, z), id(x, y + 1, z), id(x, y, z + 1),
             id(x + 1, y, z + 1), id(x + 1, y + 1, z + 1), id(x, y + 1, z + 1)});
  for (int i = 0; i + 1 < g; ++i) {
    addCell(mesh, tetrahedronType, {id(0, 0, 0), id(3, 0, 0), id(i, 3, 0), id(1, 1, 3)});
    addCell(mesh, prismType,
            {id(0, i, 0), id(3, i, 0), id(0, i + 1, 0), id(0, i, 3), id(3, i, 3), id(0, i + 1, 3)});
  }
  return mesh;
}

TEST(LocateModelVertices, SweepMatchesDirectEvaluationBitForBit) {
  const LookupTables tables = locationTables();
  const Mesh control = overlappingRefinedLikeMesh(40);
  std::mt19937 random(5);
  std::uniform_real_distribution<float> coordinate(-0.3f, 3.3f);
  std::vector<Point> points;
  // Enough points that they are visited in several windows, the last one partly filled.
  for (int j = 0; j < 70000; ++j)
    points.push_back({coordinate(random), coordinate(random), coordinate(random)});
  for (int j = 0; j < 100; ++j)
    points.push_back({coordinate(random), points[j][1], coordinate(random)});
  const Matrix model = modelOf(points);

  Warnings warnings;
  const ModelLocation swept = locateModelVertices(control, model, 3, tables, warnings);
  const DenseLocation direct = directLocation(control, model, 3, tables);
  EXPECT_TRUE(warnings.empty());
  const Matrix weights = denseForm(swept.weights);
  ASSERT_EQ(weights.rows(), 40);
  ASSERT_EQ(weights.cols(), model.cols());
  EXPECT_EQ(swept.enclosureCount, direct.enclosureCount);
  EXPECT_EQ(std::memcmp(weights.data(), direct.weights.data(), sizeof(float) * weights.count()), 0);
  // Selected columns are the same columns of W.
  const IntArray enclosed = swept.enclosureCount.find();
  EXPECT_EQ(denseColumns(swept.weights, enclosed), Matrix(weights.selectColumns(enclosed)));
  int once = 0, several = 0;
  for (int j = 0; j < swept.enclosureCount.count(); ++j) {
    once += swept.enclosureCount[j] == 1;
    several += swept.enclosureCount[j] >= 2;
  }
  EXPECT_GT(once, 500);
  EXPECT_GT(several, 100);
}

TEST(LocateModelVertices, TetrahedronColumnHoldsBarycentricCoordinates) {
  const LookupTables tables = locationTables();
  Mesh control = controlMesh({{9, 9, 9}, {0, 0, 0}, {5, 5, 5}, {2, 0, 0}, {0, 2, 0}, {0, 0, 2}});
  addCell(control, tetrahedronType, {1, 3, 4, 5});
  const Matrix model = modelOf({{0.2f, 0.3f, 0.5f}, {3, 3, 3}});
  Warnings warnings;
  const ModelLocation location = locateModelVertices(control, model, 3, tables, warnings);
  EXPECT_EQ(location.enclosureCount, IntArray::fromValues({1, 0}));
  const Matrix weights = denseForm(location.weights);
  const float expected[6] = {0, 0.5f, 0, 0.1f, 0.15f, 0.25f};
  for (int r = 0; r < 6; ++r) {
    EXPECT_NEAR(weights(r, 0), expected[r], 1e-6) << r;
    EXPECT_EQ(weights(r, 1), 0.0f);
  }
  EXPECT_EQ(weights(0, 0), 0.0f);
  EXPECT_EQ(weights(2, 0), 0.0f);
}

// Three unit cubes in an L; points on their faces, edges and corners are in every cube that
// touches them, with the mean of the cubes' results, which all reproduce the point.
TEST(LocateModelVertices, PointsOnTheBoundaryAreInEveryCellTouchingThem) {
  const LookupTables tables = locationTables();
  std::vector<Point> points;
  for (int z = 0; z < 2; ++z)
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 3; ++x) points.push_back({float(x), float(y), float(z)});
  Mesh control = controlMesh(points);
  auto id = [](int x, int y, int z) { return x + 3 * (y + 3 * z); };
  for (auto [x, y] : {std::pair{0, 0}, {1, 0}, {0, 1}})
    addCell(control, hexahedronType,
            {id(x, y, 0), id(x + 1, y, 0), id(x + 1, y + 1, 0), id(x, y + 1, 0), id(x, y, 1),
             id(x + 1, y, 1), id(x + 1, y + 1, 1), id(x, y + 1, 1)});
  const std::vector<std::pair<Point, int>> cases = {
      {{1.0f, 0.5f, 0.5f}, 2},   // shared face x = 1
      {{0.5f, 1.0f, 0.25f}, 2},  // shared face y = 1
      {{0.5f, 0.5f, 0.5f}, 1},   // inside the first cube
      {{0.5f, 0.75f, 1.0f}, 1},  // on the top face
      {{0.0f, 0.5f, 0.5f}, 1},   // on the side face x = 0
      {{1.5f, 0.0f, 0.0f}, 1},   // on an outer edge
      {{1.0f, 1.0f, 0.5f}, 3},   // on the edge shared by all three
      {{1.0f, 1.0f, 1.0f}, 3},   // at the corner shared by all three
      {{0.0f, 0.0f, 0.0f}, 1},   // at an outer corner
      {{1.5f, 1.5f, 0.5f}, 0},   // in no cube
      {{1.5f, 1.0f, 1.0f}, 1}};  // on the boundary edge of the L's notch
  std::vector<Point> model;
  for (const auto& c : cases) model.push_back(c.first);
  Warnings warnings;
  const ModelLocation location = locateModelVertices(control, modelOf(model), 3, tables, warnings);
  const Matrix weights = denseForm(location.weights);
  for (size_t j = 0; j < cases.size(); ++j) {
    const int J = static_cast<int>(j);
    EXPECT_EQ(location.enclosureCount[J], cases[j].second) << j;
    double sum = 0;
    Point reproduced{};
    for (int r = 0; r < weights.rows(); ++r) {
      sum += weights(r, J);
      for (int d = 0; d < 3; ++d) reproduced[d] += weights(r, J) * points[r][d];
    }
    if (cases[j].second == 0) continue;
    EXPECT_NEAR(sum, 1.0, 1e-6) << j;
    for (int d = 0; d < 3; ++d) EXPECT_NEAR(reproduced[d], model[j][d], 1e-6) << j;
  }
  // The point on the face x = 1: exactly the mean of both cubes' columns.
  const CellFaceTables faces = facesOf(tables, hexahedronType);
  const CellCoordinates a = cellCoordinates(control, faces, 0, model[0].data());
  const CellCoordinates b = cellCoordinates(control, faces, 1, model[0].data());
  ASSERT_TRUE(a.inside && b.inside);
  Matrix expected(weights.rows(), 1);
  for (int h = 0; h < 8; ++h) {
    expected[control.cells[hexahedronType].at(h, 0)] += a.lambda[h];
    expected[control.cells[hexahedronType].at(h, 1)] += b.lambda[h];
  }
  for (int r = 0; r < weights.rows(); ++r) EXPECT_EQ(weights(r, 0), expected[r] * 0.5f) << r;
}

TEST(LocateModelVertices, OverlappingCellsGiveTheMeanAndTheCountIsNotAByte) {
  const LookupTables tables = locationTables();
  Mesh control = controlMesh({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 2}, {0.4f, 0.4f, -1}});
  addCell(control, tetrahedronType, {0, 1, 2, 3});
  addCell(control, tetrahedronType, {4, 1, 2, 3});
  const Point p{0.3f, 0.35f, 0.25f};
  const Matrix model = modelOf({p});
  Warnings warnings;
  ModelLocation location = locateModelVertices(control, model, 3, tables, warnings);
  ASSERT_EQ(location.enclosureCount[0], 2);
  const CellFaceTables faces = facesOf(tables, tetrahedronType);
  const CellCoordinates a = cellCoordinates(control, faces, 0, p.data());
  const CellCoordinates b = cellCoordinates(control, faces, 1, p.data());
  ASSERT_TRUE(a.inside && b.inside);
  const float expected[5] = {(a.lambda[0] + 0.0f) * 0.5f, (a.lambda[1] + b.lambda[1]) * 0.5f,
                             (a.lambda[2] + b.lambda[2]) * 0.5f, (a.lambda[3] + b.lambda[3]) * 0.5f,
                             (0.0f + b.lambda[0]) * 0.5f};
  for (int r = 0; r < 5; ++r) EXPECT_EQ(denseForm(location.weights)(r, 0), expected[r]) << r;

  // 130 copies of one cell: the count goes past what a byte holds.
  Mesh stacked = controlMesh({{0, 0, 0}, {2, 0, 0}, {0, 2, 0}, {0, 0, 2}});
  for (int i = 0; i < 130; ++i) addCell(stacked, tetrahedronType, {0, 1, 2, 3});
  location = locateModelVertices(stacked, model, 3, tables, warnings);
  EXPECT_EQ(location.enclosureCount[0], 130);
  for (int r = 0; r < 4; ++r) EXPECT_NEAR(denseForm(location.weights)(r, 0), a.lambda[r], 1e-5);
}

TEST(LocateModelVertices, ModelRowCountChoosesThePositionRows) {
  const LookupTables tables = locationTables();
  const Mesh control = singleCell(tetrahedronType, referenceCell(tetrahedronType));
  const Point inside{0.2f, 0.25f, 0.3f};
  for (auto [rows, start] : {std::pair{3, 0}, {4, 0}, {6, 3}, {7, 0}, {8, 5}, {10, 7}, {12, 0}}) {
    Matrix model(rows, 2);
    for (int r = 0; r < rows; ++r) model(r, 0) = model(r, 1) = 40.0f;  // outside everywhere
    for (int d = 0; d < 3; ++d) model(start + d, 1) = inside[d];
    Warnings warnings;
    const ModelLocation location = locateModelVertices(control, model, 3, tables, warnings);
    EXPECT_EQ(location.enclosureCount, IntArray::fromValues({0, 1})) << rows << " rows";
    EXPECT_NEAR(denseForm(location.weights)(0, 1), 0.25f, 1e-6) << rows << " rows";
  }
  Warnings warnings;
  const ModelLocation flat = locateModelVertices(control, Matrix(2, 3), 3, tables, warnings);
  EXPECT_EQ(flat.enclosureCount, IntArray({3}, 0));
  const ModelLocation none = locateModelVertices(control, Matrix(3, 0), 3, tables, warnings);
  EXPECT_EQ(none.enclosureCount.count(), 0);
}

// A checked table set without a single table.
LookupTables noTables() {
  LookupTables tables;
  checkTables(tables);
  return tables;
}

TEST(LocateModelVertices, SurfaceCellsEncloseNothing) {
  Mesh control = controlMesh({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}});
  addCell(control, triangleType, {0, 1, 4});
  addCell(control, quadType, {0, 1, 2, 3});
  Warnings warnings;
  const ModelLocation location = locateModelVertices(
      control, modelOf({{0.2f, 0.1f, 0.1f}, {0.5f, 0.5f, 0.0f}}), 3, noTables(), warnings);
  EXPECT_EQ(location.enclosureCount, IntArray({2}, 0));
  EXPECT_EQ(denseForm(location.weights).find().count(), 0);
  EXPECT_TRUE(warnings.empty());
}

TEST(LocateModelVertices, UnusableTablesWarnOncePerTypeThatHasCells) {
  LookupTables tables = locationTables();
  tables.barTables[7][3] = 99;
  tables.brnTables[5] = IntMatrix();  // no octahedra in the mesh: no warning
  checkTables(tables);
  std::vector<Point> points = referenceCell(hexahedronType);
  for (Point p : referenceCell(tetrahedronType)) points.push_back({p[0] + 3, p[1], p[2]});
  Mesh control = controlMesh(points);
  addCell(control, hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7});
  addCell(control, hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7});
  addCell(control, tetrahedronType, {8, 9, 10, 11});
  const Matrix model = modelOf({{0.5f, 0.5f, 0.5f}, {3.2f, 0.2f, 0.2f}});
  Warnings warnings;
  const ModelLocation location = locateModelVertices(control, model, 3, tables, warnings);
  EXPECT_EQ(location.enclosureCount, IntArray::fromValues({0, 1}));
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].rfind(testing::tableFile("mesh_bar7.tab") + ": ", 0), 0u) << warnings[0];

  warnings.clear();
  locateModelVertices(control, model, 3, noTables(), warnings);
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_EQ(warnings[0].rfind(testing::tableFile("mesh_nrm4.tab") + ": ", 0), 0u) << warnings[0];
  EXPECT_EQ(warnings[1].rfind(testing::tableFile("mesh_nrm7.tab") + ": ", 0), 0u) << warnings[1];
}

}  // namespace
}  // namespace cagewarp
