#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "relate/deformation.h"
#include "relate/point_location.h"
#include "tests/relate/location_fixture.h"

namespace cagewarp {
namespace {

using testing::addCell;
using testing::controlMesh;
using testing::locationTables;
using testing::Point;

// The y sweep step by step with a dense W and the matrix operations, including the cell and
// vertex pointers, so that odd input (NaN coordinates, ties, NaN or infinite weights) takes the
// same path through the sweep as it would in the plain form.
struct LiteralLocation {
  Matrix weights;
  IntArray count;
};

LiteralLocation literalSweep(const Mesh& control, const Matrix& model, int a,
                             const LookupTables& tables) {
  const int n = control.vertexRows() - a;
  const int M = model.cols();
  LiteralLocation out{Matrix(n, M), IntArray({M}, 0)};
  const int s = modelPositionRow(model.rows());
  // Vertices whose y is not a number take no part in the sweep (they would stall it).
  std::vector<int> swept;
  for (int j = 0; j < M; ++j)
    if (!std::isnan(model(s + 1, j))) swept.push_back(j);
  FloatArray y({static_cast<int>(swept.size())}, 0.0f);
  for (size_t u = 0; u < swept.size(); ++u) y[u] = model(s + 1, swept[u]);
  IntArray sigma = y.sortWithIndex();
  for (int u = 0; u < sigma.count(); ++u) sigma[u] = swept[sigma[u]];
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    const int C = control.cellCount(t);
    const CheckedCellFaceTables faces = cellFaceTables(tables, t);
    if (C == 0 || !faces.status.ok) continue;
    const int k = verticesPerCell[t];
    Matrix box(6, C);
    FloatArray ymin({C}, 0.0f);
    for (int c = 0; c < C; ++c) {
      const float* p0 = control.vertices.column(control.cells[t].at(0, c));
      for (int d = 0; d < 3; ++d) box(2 * d, c) = box(2 * d + 1, c) = p0[d];
      for (int h = 1; h < k; ++h) {
        const float* p = control.vertices.column(control.cells[t].at(h, c));
        for (int d = 0; d < 3; ++d) {
          box(2 * d, c) = smallerOf(p[d], box(2 * d, c));
          box(2 * d + 1, c) = largerOf(p[d], box(2 * d + 1, c));
        }
      }
      ymin[c] = box(2, c);
    }
    const IntArray order = ymin.sortWithIndex();
    int m = 0, o = 0;
    while (m < C && o < M) {
      const int e = order[m];
      if (box(3, e) < y[o]) {
        ++m;
        continue;
      }
      if (box(2, e) > y[o]) {
        ++o;
        continue;
      }
      Matrix b(n, k);
      for (int h = 0; h < k; ++h)
        std::copy_n(control.vertices.column(control.cells[t].at(h, e)) + a, n, b.column(h));
      for (int u = o; u < M && y[u] <= box(3, e); ++u) {
        const int J = sigma[u];
        const float* p = model.column(J) + s;
        if (!(box(0, e) <= p[0] && p[0] <= box(1, e) && box(4, e) <= p[2] && p[2] <= box(5, e)))
          continue;
        const CellCoordinates cc = cellCoordinates(control, faces.faces, e, p);
        if (!cc.inside) continue;
        Matrix column(n, 1);
        std::copy_n(out.weights.column(J), n, column.data());
        column *= static_cast<float>(out.count[J]);
        column += b * cc.lambda;
        column *= 1.0f / static_cast<float>(out.count[J] + 1);
        std::copy_n(column.data(), n, out.weights.column(J));
        ++out.count[J];
      }
      ++m;
    }
  }
  return out;
}

// Unit cubes on a lattice, overlapped by tetrahedra with tied lowest corners, with weight rows
// that hold zeros of both signs, and NaN and infinity in rows that are otherwise zero, as a
// degenerate refinement can leave them.
Mesh oddControl() {
  std::vector<Point> points;
  for (int z = 0; z < 3; ++z)
    for (int y = 0; y < 3; ++y)
      for (int x = 0; x < 3; ++x) points.push_back({float(x), float(y), float(z)});
  const int count = static_cast<int>(points.size());
  const int rows = 12;
  Mesh mesh = controlMesh(points);
  Matrix vertices(3 + rows, count);
  for (int j = 0; j < count; ++j) {
    for (int d = 0; d < 3; ++d) vertices(d, j) = points[j][d];
    for (int r = 0; r < rows; ++r)
      vertices(3 + r, j) = r < 9 && (r + j) % 4 == 0 ? 0.5f : (j % 2 ? -0.0f : 0.0f);
  }
  vertices(3 + 9, 4) = std::numeric_limits<float>::quiet_NaN();
  vertices(3 + 10, 13) = std::numeric_limits<float>::infinity();
  mesh.vertices = vertices;
  auto id = [](int x, int y, int z) { return x + 3 * (y + 3 * z); };
  for (int z = 0; z < 2; ++z)
    for (int y = 0; y < 2; ++y)
      for (int x = 0; x < 2; ++x)
        addCell(
            mesh, hexahedronType,
            {id(x, y, z), id(x + 1, y, z), id(x + 1, y + 1, z), id(x, y + 1, z), id(x, y, z + 1),
             id(x + 1, y, z + 1), id(x + 1, y + 1, z + 1), id(x, y + 1, z + 1)});
  for (int i = 0; i < 3; ++i)
    addCell(mesh, tetrahedronType, {id(0, 0, 0), id(2, 0, 0), id(i, 2, 0), id(1, 1, 2)});
  return mesh;
}

// Compares the sweep with the literal form bit for bit and returns the literal result.
LiteralLocation expectSweepMatches(const Mesh& control, const Matrix& model,
                                   const LookupTables& tables) {
  Warnings warnings;
  const ModelLocation swept = locateModelVertices(control, model, 3, tables, warnings);
  LiteralLocation literal = literalSweep(control, model, 3, tables);
  const Matrix weights = denseForm(swept.weights);
  EXPECT_EQ(swept.enclosureCount, literal.count);
  EXPECT_EQ(weights.count(), literal.weights.count());
  if (weights.count() == literal.weights.count()) {
    EXPECT_EQ(std::memcmp(weights.data(), literal.weights.data(), sizeof(float) * weights.count()),
              0);
  }
  return literal;
}

TEST(LocateModelVertices, FollowsTheSweepOnOddInput) {
  const LookupTables tables = locationTables();
  const Mesh control = oddControl();
  std::mt19937 random(17);
  std::uniform_int_distribution<int> quarter(-1, 9);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const int M = 600;
  // Quarter steps: many points on cell faces and bounding box planes, many equal y.
  Matrix model(3, M);
  for (int j = 0; j < M; ++j)
    for (int d = 0; d < 3; ++d) model(d, j) = 0.25f * static_cast<float>(quarter(random));
  model(0, 40) = nan;
  model(2, 41) = -0.0f;
  const LiteralLocation literal = expectSweepMatches(control, model, tables);
  int several = 0, nans = 0;
  for (int j = 0; j < M; ++j) several += literal.count[j] >= 2;
  for (int i = 0; i < literal.weights.count(); ++i) nans += std::isnan(literal.weights[i]);
  EXPECT_GT(several, 10);
  EXPECT_GT(nans, 0);
  // D as built, listed zeros and NaN included, moves the model as its stored form (no NaN, no
  // zeros) does, even where a control position is infinite.
  Mesh unrefined(3);
  unrefined.vertices = Matrix(3, 12);
  Mesh modelMesh(3);
  modelMesh.vertices = model;
  Warnings warnings;
  const Relation relation = buildRelation(modelMesh, unrefined, control, tables, warnings);
  const SparseColumns fromDense = sparseForm(deformationMatrix(relation));
  EXPECT_EQ(relation.deformation.rows, 12);
  EXPECT_GT(fromDense.entries.size(), 0u);
  Matrix positions(3, 12);
  for (int i = 0; i < positions.count(); ++i) positions[i] = static_cast<float>(i % 7) - 2.5f;
  positions(1, 4) = std::numeric_limits<float>::infinity();
  const Matrix moved = applyRelation(relation.deformation, positions);
  const Matrix expected = applyRelation(fromDense, positions);
  ASSERT_EQ(moved.count(), expected.count());
  EXPECT_EQ(std::memcmp(moved.data(), expected.data(), sizeof(float) * moved.count()), 0);

  // A NaN y leaves that vertex outside and every other vertex as it was.
  model(1, 17) = nan;
  const LiteralLocation withNan = expectSweepMatches(control, model, tables);
  EXPECT_EQ(withNan.count[17], 0);
  for (int j = 0; j < M; ++j) {
    if (j == 17) continue;
    EXPECT_EQ(withNan.count[j], literal.count[j]) << j;
  }
}

}  // namespace
}  // namespace cagewarp
