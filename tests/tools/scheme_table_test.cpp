#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "mesh/cell_type.h"
#include "tests/tools/table_fixtures.h"

namespace cagewarp {
namespace {

namespace fx = tablefixture;

Matrix averagingTable(int t) {
  return fx::committedFloatTable("mesh_avg4" + std::to_string(t) + ".tab");
}

// Each averaged point is an affine combination of the cell's corners.
TEST(SchemeTables, AveragingColumnsAreAffineCombinations) {
  const int columns[] = {1, 1, 3, 1, 4, 6, 6, 1};
  for (int t = 0; t < cellTypeCount; ++t) {
    const Matrix avg = averagingTable(t);
    ASSERT_EQ(avg.n(), 2) << t;
    ASSERT_EQ(avg.rows(), verticesPerCell[t]) << t;
    ASSERT_EQ(avg.cols(), columns[t]) << t;
    for (int j = 0; j < avg.cols(); ++j) {
      double sum = 0;
      for (int i = 0; i < avg.rows(); ++i) sum += avg.at(i, j);
      EXPECT_NEAR(sum, 1.0, 1e-6) << "type " << t << " column " << j;
    }
  }
}

TEST(SchemeTables, BlendFactorsAtTheStatedValences) {
  const Matrix triangles = fx::committedFloatTable("mesh_cor42.tab");
  const Matrix quads = fx::committedFloatTable("mesh_cor43.tab");
  ASSERT_EQ(triangles.n(), 1);
  ASSERT_EQ(quads.n(), 1);
  ASSERT_EQ(triangles.count(), 128);
  ASSERT_EQ(quads.count(), 128);
  for (int n = 0; n < 3; ++n) {
    EXPECT_EQ(triangles[n], 1.0f) << n;
    EXPECT_EQ(quads[n], 1.0f) << n;
  }
  EXPECT_EQ(triangles[3], 1.5f);
  EXPECT_EQ(triangles[4], 31.0f / 24.0f);
  EXPECT_EQ(triangles[6], 1.0f);
  EXPECT_FLOAT_EQ(triangles[12], 0.73365396f);
  // Falling towards 5/8 as the valence grows.
  for (int n = 4; n < 128; ++n) {
    EXPECT_LT(triangles[n], triangles[n - 1]) << n;
    EXPECT_GT(triangles[n], 0.625f) << n;
  }
  EXPECT_NEAR(triangles[127], 0.625f, 2e-3);
  for (int n = 3; n < 128; ++n) EXPECT_EQ(quads[n], 4.0f / static_cast<float>(n)) << n;
}

// A vertex of valence n in a regular triangle region, after the linear split: its n triangles
// each average it (own column weight) with two edge middles (v + u) / 2; the blend must then
// give Loop's vertex rule, beta_n on each old neighbour u.
TEST(SchemeTables, TriangleAverageAndBlendGiveLoopsVertexRule) {
  const Matrix avg = averagingTable(triangleType);
  const Matrix cor = fx::committedFloatTable("mesh_cor42.tab");
  for (int j = 0; j < 3; ++j) {
    const double other = avg.at((j + 1) % 3, j);
    EXPECT_EQ(avg.at((j + 2) % 3, j), other) << j;
    for (int n = 3; n <= 12; ++n) {
      // Each middle lies in two of the n triangles and carries half of u.
      const double onNeighbour = cor[n] * (2.0 * other / n) * 0.5;
      const double a = 3.0 / 8.0 + std::cos(2.0 * std::numbers::pi / n) / 4.0;
      EXPECT_NEAR(onNeighbour, (5.0 / 8.0 - a * a) / n, 1e-7) << "valence " << n;
    }
  }
}

// The same for quads: corner, edge middle, quad middle, edge middle around each child quad;
// the blend must give Catmull-Clark: (n - 3) / n on the vertex, 2 / n^2 on each edge middle,
// 1 / n^2 on each quad middle.
TEST(SchemeTables, QuadAverageAndBlendGiveTheCatmullClarkVertexRule) {
  const Matrix avg = averagingTable(quadType);
  const Matrix cor = fx::committedFloatTable("mesh_cor43.tab");
  for (int n = 3; n <= 12; ++n) {
    const double f = cor[n];
    for (int j = 0; j < 4; ++j) {
      const int c = j % avg.cols();
      const double own = avg.at(j, c), edge = avg.at((j + 1) % 4, c) + avg.at((j + 3) % 4, c),
                   middle = avg.at((j + 2) % 4, c);
      EXPECT_NEAR(f * own + (1.0 - f), (n - 3.0) / n, 1e-6) << n;
      EXPECT_NEAR(f * edge / n, 2.0 / (n * n), 1e-7) << n;
      EXPECT_NEAR(f * middle / n, 1.0 / (n * n), 1e-7) << n;
    }
  }
}

// Each interface rule shifts values between two regions; a constant field must not move.
TEST(SchemeTables, InterfaceRulesLeaveConstantsAlone) {
  const IntMatrix proc = fx::committedIntTable("mesh_proc.tab");
  ASSERT_EQ(proc.rows(), 2);
  ASSERT_EQ(proc.cols(), 3);
  // Triangle edges against quad edges; tetrahedron and octahedron faces against prism ends;
  // hexahedron quads against prism quads.
  const int kinds[3][2] = {{0, 1}, {2, 3}, {5, 4}};
  const int sizes[3] = {2, 3, 4};
  for (int r = 0; r < 3; ++r) {
    EXPECT_EQ(proc.at(0, r), kinds[r][0]) << r;
    EXPECT_EQ(proc.at(1, r), kinds[r][1]) << r;
    const Matrix mul = fx::committedFloatTable("mesh_mul4" + std::to_string(r) + ".tab");
    ASSERT_EQ(mul.rows(), sizes[r]) << r;
    ASSERT_EQ(mul.cols(), sizes[r]) << r;
    for (int j = 0; j < mul.cols(); ++j) {
      double sum = 0;
      for (int i = 0; i < mul.rows(); ++i) sum += mul.at(i, j);
      EXPECT_NEAR(sum, 0.0, 1e-9) << "rule " << r << " column " << j;
      EXPECT_NE(mul.at(j, j), 0.0f) << r;
    }
  }
}

}  // namespace
}  // namespace cagewarp
