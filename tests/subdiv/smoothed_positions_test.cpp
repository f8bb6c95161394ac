#include "subdiv/smoothed_positions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "mesh/cell_type.h"
#include "tests/support/committed_tables.h"

namespace cagewarp {
namespace {

// Cells, per-class vertex values and tables for one call; every value starts as the vertex's
// own column in `points`.
struct Scene {
  std::array<IntArray, 8> cells;
  Matrix points;
  LookupTables tables;

  explicit Scene(const std::vector<std::array<float, 3>>& xyz) : points(3, int(xyz.size())) {
    for (int t = 0; t < cellTypeCount; ++t) cells[t] = IntArray({verticesPerCell[t], 0}, 0);
    for (int j = 0; j < points.cols(); ++j)
      for (int a = 0; a < 3; ++a) points(a, j) = xyz[j][a];
  }

  void add(int t, const std::vector<int>& corners) {
    IntArray more({verticesPerCell[t], int(corners.size()) / verticesPerCell[t]}, 0);
    std::copy(corners.begin(), corners.end(), more.data());
    cells[t].appendCols(more);
  }

  Status run(Matrix& out) {
    VertexValueMap values(points.cols() + 1, firstElementHash);
    IntArray key({2}, 0);
    VertexValue column{DenseColumn(3), {}};
    for (int t = 0; t < cellTypeCount; ++t) {
      key[1] = cellClass[t];
      for (int i = 0; i < cells[t].count(); ++i) {
        key[0] = cells[t][i];
        std::copy(points.column(key[0]), points.column(key[0]) + 3, column.dense.data());
        values.insertIfAbsent(key, column);
      }
    }
    out = Matrix(3, points.cols());
    // The tests edit the tables freely before each run.
    checkTables(tables);
    SparseColumns noWeights;
    ArenaPool noWeightMemory;
    return computeSmoothedPositions(cells, tables, values, noWeightMemory, out, noWeights);
  }
};

// Weights for the centroid of a cell, one column.
Matrix centroidTable(int t) {
  Matrix m(verticesPerCell[t], 1);
  for (int j = 0; j < verticesPerCell[t]; ++j) m[j] = 1.0f / static_cast<float>(verticesPerCell[t]);
  return m;
}

std::array<double, 3> centroid(const Scene& s, const std::vector<int>& corners) {
  std::array<double, 3> c{};
  for (int v : corners)
    for (int a = 0; a < 3; ++a) c[a] += s.points(a, v) / static_cast<double>(corners.size());
  return c;
}

void expectColumn(const Matrix& m, int j, const std::array<double, 3>& expected) {
  for (int a = 0; a < 3; ++a) EXPECT_NEAR(m(a, j), expected[a], 1e-6) << "vertex " << j;
}

Scene twoCubes() {
  Scene s({{0, 0, 0},
           {1, 0, 0},
           {1, 1, 0},
           {0, 1, 0},
           {0, 0, 1},
           {1, 0, 1},
           {1, 1, 1},
           {0, 1, 1},
           {2, 0, 0},
           {2, 1, 0},
           {2, 0, 1},
           {2, 1, 1}});
  s.add(hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7, 1, 8, 9, 2, 5, 10, 11, 6});
  return s;
}

TEST(SmoothedPositions, HexahedraWithCentroidTableGiveThePlainMeanOfCentroids) {
  Scene s = twoCubes();
  s.tables.avgTables[hexahedronType] = centroidTable(hexahedronType);
  Matrix out;
  ASSERT_TRUE(s.run(out).ok);
  const auto left = centroid(s, {0, 1, 2, 3, 4, 5, 6, 7});
  const auto right = centroid(s, {1, 8, 9, 2, 5, 10, 11, 6});
  for (int v : {0, 3, 4, 7}) expectColumn(out, v, left);
  for (int v : {8, 9, 10, 11}) expectColumn(out, v, right);
  for (int v : {1, 2, 5, 6}) expectColumn(out, v, {1.0, 0.5, 0.5});
}

// Corner j takes column j mod c of the cell's averaged values.
TEST(SmoothedPositions, AverageTableColumnsCycleOverTheCorners) {
  Scene s = twoCubes();
  Matrix table(8, 2);
  for (int j = 0; j < 8; ++j) table(j, 0) = 0.125f;
  table(7, 1) = 1.0f;  // second column: the cell's corner 7 itself
  s.tables.avgTables[hexahedronType] = table;
  s.cells[hexahedronType] = IntArray({8, 0}, 0);
  s.add(hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7});
  Matrix out;
  ASSERT_TRUE(s.run(out).ok);
  for (int v : {0, 2, 4, 6}) expectColumn(out, v, centroid(s, {0, 1, 2, 3, 4, 5, 6, 7}));
  for (int v : {1, 3, 5, 7}) expectColumn(out, v, {0, 1, 1});
  for (int v : {8, 9, 10, 11}) EXPECT_EQ(out(0, v), 0.0f) << "vertex in no cell";
}

TEST(SmoothedPositions, LowestDimensionWins) {
  Scene s = twoCubes();
  s.add(pointType, {0});
  s.add(lineType, {1, 6});
  s.tables.avgTables[pointType] = centroidTable(pointType);
  s.tables.avgTables[lineType] = centroidTable(lineType);
  s.tables.avgTables[hexahedronType] = centroidTable(hexahedronType);
  Matrix out;
  ASSERT_TRUE(s.run(out).ok);
  // The point cell's vertex keeps its own position; the line through the block pulls both of
  // its ends to its middle, whatever the hexahedra around them say.
  expectColumn(out, 0, {0, 0, 0});
  expectColumn(out, 1, {1, 0.5, 0.5});
  expectColumn(out, 6, {1, 0.5, 0.5});
  expectColumn(out, 2, {1.0, 0.5, 0.5});
  expectColumn(out, 3, centroid(s, {0, 1, 2, 3, 4, 5, 6, 7}));
}

// A triangle and a quad sharing the edge 1-2 (z = 1 at vertex 0 only).
Scene triangleBesideQuad() {
  Scene s({{0, 0, 1}, {1, 0, 0}, {1, 1, 0}, {2, 0, 0}, {2, 1, 0}});
  s.add(triangleType, {0, 1, 2});
  s.add(quadType, {1, 3, 4, 2});
  s.tables.avgTables[triangleType] = centroidTable(triangleType);
  s.tables.avgTables[quadType] = centroidTable(quadType);
  s.tables.corTables[triangleType] = FloatArray::fromValues({0.0f, 0.25f, 0.5f});
  s.tables.corTables[quadType] = FloatArray::fromValues({0.0f, 0.75f, 0.5f});
  return s;
}

TEST(SmoothedPositions, SurfaceVerticesOfOneTypeAreBlendedMixedOnesAreNot) {
  Scene s = triangleBesideQuad();
  Matrix out;
  ASSERT_TRUE(s.run(out).ok);
  const auto tri = centroid(s, {0, 1, 2});
  const auto quad = centroid(s, {1, 3, 4, 2});
  // Vertex 1: weights 1/6 and 1/4, mask 12, no blend.
  const double wt = 1.0 / 6, wq = 1.0 / 4;
  expectColumn(out, 1,
               {(wt * tri[0] + wq * quad[0]) / (wt + wq), (wt * tri[1] + wq * quad[1]) / (wt + wq),
                (wt * tri[2] + wq * quad[2]) / (wt + wq)});
  // Vertex 0: one triangle, factor cor[1] = 0.25 on the average, 0.75 on its own value.
  expectColumn(out, 0,
               {0.25 * tri[0] + 0.75 * 0, 0.25 * tri[1] + 0.75 * 0, 0.25 * tri[2] + 0.75 * 1});
  // Vertex 3: one quad, factor 0.75.
  expectColumn(out, 3, {0.75 * quad[0] + 0.25 * 2, 0.75 * quad[1], 0.75 * quad[2]});
}

// A fan of 130 triangles around an apex: a count past the signed-byte range, then past the end
// of a short blend table.
TEST(SmoothedPositions, LargeCountsUseTheirOwnOrTheLastBlendFactor) {
  const int fan = 130;
  std::vector<std::array<float, 3>> xyz = {{0, 0, 1}};
  for (int i = 0; i <= fan; ++i) {
    const double angle = 2 * M_PI * i / fan;
    xyz.push_back({static_cast<float>(std::cos(angle)), static_cast<float>(std::sin(angle)), 0});
  }
  Scene s(xyz);
  std::vector<int> corners;
  for (int i = 1; i <= fan; ++i) corners.insert(corners.end(), {0, i, i + 1});
  s.add(triangleType, corners);
  s.tables.avgTables[triangleType] = centroidTable(triangleType);
  // The averaged apex has z = 1/3 and its own z is 1, so z = 1 - 2f/3 reveals the factor f.
  FloatArray cor({200}, 0.0f);
  for (int i = 0; i < 200; ++i) cor[i] = static_cast<float>(i) / 1000;
  s.tables.corTables[triangleType] = cor;
  Matrix out;
  ASSERT_TRUE(s.run(out).ok);
  EXPECT_NEAR(out(2, 0), 1 - 2 * 0.130 / 3, 1e-6);

  s.tables.corTables[triangleType] = FloatArray::fromValues({0.1f, 0.2f, 0.3f});
  ASSERT_TRUE(s.run(out).ok);
  EXPECT_NEAR(out(2, 0), 1 - 2 * 0.3 / 3, 1e-6);
}

TEST(SmoothedPositions, MissingTablesAreNamed) {
  Scene s = triangleBesideQuad();
  s.tables.corTables[triangleType] = FloatArray();
  Matrix out;
  Status status = s.run(out);
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(status.message, testing::tableFile("mesh_cor42.tab") +
                                ": vertex 0 needs a blend factor, but the table is empty");

  // No vertex lies on quads alone once a triangle covers the quad's other corners.
  Scene mixed = triangleBesideQuad();
  mixed.add(triangleType, {1, 3, 4});
  mixed.tables.corTables[quadType] = FloatArray();
  EXPECT_TRUE(mixed.run(out).ok);

  Scene wrong = triangleBesideQuad();
  wrong.tables.avgTables[quadType] = Matrix(3, 1);
  status = wrong.run(out);
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(status.message, testing::tableFile("mesh_avg43.tab") +
                                ": expected 4 rows and 1 to 4 columns, found 3 x 1");
}

}  // namespace
}  // namespace cagewarp
