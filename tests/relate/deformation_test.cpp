#include "relate/deformation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include "tests/relate/location_fixture.h"

namespace cagewarp {
namespace {

using testing::addCell;
using testing::controlMesh;
using testing::interiorPoint;
using testing::locationTables;
using testing::modelOf;
using testing::Point;
using testing::referenceCell;

// The control mesh as loaded: positions only, no weight rows.
Mesh unrefined(const std::vector<Point>& points) {
  Mesh mesh(3);
  mesh.vertices = Matrix(3, static_cast<int>(points.size()));
  for (size_t j = 0; j < points.size(); ++j)
    for (int d = 0; d < 3; ++d) mesh.vertices(d, static_cast<int>(j)) = points[j][d];
  return mesh;
}

Mesh modelMesh(const Matrix& vertices) {
  Mesh mesh(vertices.rows());
  mesh.vertices = vertices;
  return mesh;
}

TEST(RelateModel, OneTetrahedronGivesBarycentricCoordinates) {
  const std::vector<Point> corners = referenceCell(tetrahedronType);
  Mesh control = controlMesh(corners);
  addCell(control, tetrahedronType, {0, 1, 2, 3});
  Mesh model = modelMesh(modelOf({{0.1f, 0.2f, 0.3f}}));
  Warnings warnings;
  const Relation relation =
      relateModel(model, unrefined(corners), control, locationTables(), warnings);
  EXPECT_EQ(relation.enclosedIndices, IntArray::fromValues({0}));
  ASSERT_EQ(deformationMatrix(relation).rows(), 4);
  ASSERT_EQ(deformationMatrix(relation).cols(), 1);
  const float expected[4] = {0.4f, 0.1f, 0.2f, 0.3f};
  for (int i = 0; i < 4; ++i) EXPECT_NEAR(deformationMatrix(relation)[i], expected[i], 1e-6);
  EXPECT_EQ(enclosedCountLine(relation.enclosedIndices.count(), model.vertexColumns()),
            " 1 of 1 model vertices enclosed by subdiv. volume mesh\n");
  EXPECT_TRUE(warnings.empty());
}

TEST(RelateModel, ListsEnclosedVerticesAscendingAndMovesOnlyThem) {
  const std::vector<Point> corners = referenceCell(hexahedronType);
  Mesh control = controlMesh(corners);
  addCell(control, hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7});
  // Six rows: located by rows 3..5, placed into rows 0..2.
  Matrix vertices(6, 3);
  const float located[3][3] = {{0.25f, 0.5f, 0.75f}, {2, 2, 2}, {0.9f, 0.1f, 0.6f}};
  for (int j = 0; j < 3; ++j)
    for (int d = 0; d < 3; ++d) {
      vertices(d, j) = -7.0f;
      vertices(3 + d, j) = located[j][d];
    }
  Mesh model = modelMesh(vertices);
  Warnings warnings;
  const Relation relation =
      relateModel(model, unrefined(corners), control, locationTables(), warnings);
  EXPECT_EQ(relation.enclosedIndices, IntArray::fromValues({0, 2}));
  ASSERT_EQ(deformationMatrix(relation).cols(), 2);
  // Trilinear coordinates of (0.9, 0.1, 0.6): vertex 1 is (1, 0, 0).
  EXPECT_NEAR(deformationMatrix(relation)(1, 1), 0.9f * 0.9f * 0.4f, 1e-6);
  for (int j : {0, 2})
    for (int d = 0; d < 3; ++d) {
      EXPECT_NEAR(model.vertices(d, j), located[j][d], 1e-6);
      EXPECT_EQ(model.vertices(3 + d, j), located[j][d]);
    }
  for (int d = 0; d < 3; ++d) EXPECT_EQ(model.vertices(d, 1), -7.0f);
}

TEST(RelateModel, NothingEnclosedGivesAnEmptyRelation) {
  const std::vector<Point> corners = referenceCell(tetrahedronType);
  Mesh control = controlMesh(corners);
  addCell(control, tetrahedronType, {0, 1, 2, 3});
  Mesh model = modelMesh(modelOf({{2, 2, 2}, {-1, 0.1f, 0.1f}}));
  Warnings warnings;
  const Relation relation =
      relateModel(model, unrefined(corners), control, locationTables(), warnings);
  EXPECT_EQ(relation.enclosedIndices.count(), 0);
  EXPECT_EQ(deformationMatrix(relation).rows(), 4);
  EXPECT_EQ(deformationMatrix(relation).cols(), 0);
  EXPECT_EQ(relation.deformation.entries.size(), 0u);
  EXPECT_EQ(enclosedCountLine(0, 2), " 0 of 2 model vertices enclosed by subdiv. volume mesh\n");
  EXPECT_EQ(model.vertices(0, 0), 2.0f);
}

// The tetrahedron cut into four corner tetrahedra and a middle octahedron, each edge midpoint
// carrying the mean of its ends' weight rows, as a linear refinement makes it.
Mesh splitTetrahedron(const std::vector<Point>& corners) {
  const int edges[6][2] = {{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}};
  Mesh mesh = controlMesh(corners);
  Matrix midpoints(mesh.vertexRows(), 6);
  for (int e = 0; e < 6; ++e)
    for (int r = 0; r < mesh.vertexRows(); ++r)
      midpoints(r, e) = 0.5f * (mesh.vertices(r, edges[e][0]) + mesh.vertices(r, edges[e][1]));
  mesh.vertices.appendCols(midpoints);
  const int m01 = 4, m02 = 5, m03 = 6, m12 = 7, m13 = 8, m23 = 9;
  addCell(mesh, tetrahedronType, {0, m01, m02, m03});
  addCell(mesh, tetrahedronType, {m01, 1, m12, m13});
  addCell(mesh, tetrahedronType, {m02, m12, 2, m23});
  addCell(mesh, tetrahedronType, {m03, m13, m23, 3});
  // Apexes m01 and m23; the equator counter-clockwise seen from m01.
  std::vector<int> equator = {m02, m12, m13, m03};
  auto at = [&](int v, int d) { return double(mesh.vertices(d, v)); };
  double u[3], w[3], apex[3];
  for (int d = 0; d < 3; ++d) {
    u[d] = at(equator[1], d) - at(equator[0], d);
    w[d] = at(equator[2], d) - at(equator[0], d);
    apex[d] = at(m01, d) - at(equator[0], d);
  }
  const double turn = (u[1] * w[2] - u[2] * w[1]) * apex[0] +
                      (u[2] * w[0] - u[0] * w[2]) * apex[1] + (u[0] * w[1] - u[1] * w[0]) * apex[2];
  if (turn < 0) std::swap(equator[1], equator[3]);
  addCell(mesh, octahedronType, {m01, equator[0], equator[1], equator[2], equator[3], m23});
  return mesh;
}

TEST(RelateModel, LinearRefinementGivesAffineColumns) {
  const std::vector<Point> corners = testing::distorted(referenceCell(tetrahedronType));
  const Mesh control = splitTetrahedron(corners);
  std::mt19937 random(3);
  std::vector<Point> points;
  for (int j = 0; j < 400; ++j) points.push_back(interiorPoint(corners, random));
  Mesh model = modelMesh(modelOf(points));
  Warnings warnings;
  const Relation relation =
      relateModel(model, unrefined(corners), control, locationTables(), warnings);
  ASSERT_GT(relation.enclosedIndices.count(), 390);
  // D's listed entries hold every non-zero of the dense D, in its order.
  const SparseColumns fromDense = sparseForm(deformationMatrix(relation));
  EXPECT_EQ(relation.deformation.rows, 4);
  ASSERT_EQ(relation.deformation.cols(), fromDense.cols());
  for (int j = 0; j < fromDense.cols(); ++j) {
    std::vector<std::pair<int, float>> listed, expected;
    for (const SparseEntry* e = relation.deformation.begin(j); e != relation.deformation.end(j);
         ++e)
      if (e->value != 0.0f) listed.emplace_back(e->row, e->value);
    for (const SparseEntry* e = fromDense.begin(j); e != fromDense.end(j); ++e)
      expected.emplace_back(e->row, e->value);
    EXPECT_EQ(listed, expected) << j;
  }
  const Matrix& d = deformationMatrix(relation);
  ASSERT_EQ(d.rows(), 4);
  for (int j = 0; j < d.cols(); ++j) {
    double sum = 0;
    double position[3] = {0, 0, 0};
    for (int i = 0; i < 4; ++i) {
      sum += d(i, j);
      for (int k = 0; k < 3; ++k) position[k] += d(i, j) * corners[i][k];
    }
    EXPECT_NEAR(sum, 1.0, 1e-5);
    const Point& p = points[relation.enclosedIndices[j]];
    for (int k = 0; k < 3; ++k) EXPECT_NEAR(position[k], p[k], 3e-5);
  }
}

TEST(ApplyRelation, MatchesTheDenseProductAndSkipsZeros) {
  std::mt19937 random(2);
  std::uniform_real_distribution<float> value(-1.0f, 1.0f);
  Matrix d(7, 5);
  for (int i = 0; i < d.count(); ++i) d[i] = i % 3 == 0 ? 0.0f : value(random);
  Matrix p(3, 7);
  for (int i = 0; i < p.count(); ++i) p[i] = value(random);
  const Matrix x = applyRelation(sparseForm(d), p);
  ASSERT_EQ(x.rows(), 3);
  ASSERT_EQ(x.cols(), 5);
  for (int j = 0; j < 5; ++j)
    for (int k = 0; k < 3; ++k) {
      float sum = 0.0f;
      for (int i = 0; i < 7; ++i) sum = sum + p(k, i) * d(i, j);
      EXPECT_EQ(x(k, j), sum);
    }
  // An infinite control position behind a zero entry does not reach the result.
  p(1, 0) = std::numeric_limits<float>::infinity();
  const Matrix y = applyRelation(sparseForm(d), p);
  EXPECT_TRUE(std::isfinite(y(1, 0)));
  EXPECT_EQ(y(1, 0), x(1, 0));
}

}  // namespace
}  // namespace cagewarp
