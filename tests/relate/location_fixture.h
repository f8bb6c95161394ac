#pragma once

#include <array>
#include <initializer_list>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "array/matrix.h"
#include "mesh/cell_type.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"
#include "relate/point_location.h"
#include "tests/support/reference_cells.h"

namespace cagewarp::testing {

using Point = std::array<float, 3>;

inline IntMatrix intColumns(int rows, std::initializer_list<int> values) {
  IntMatrix m(rows, static_cast<int>(values.size()) / rows);
  std::copy(values.begin(), values.end(), m.data());
  return m;
}

// Face tables of the volume types in the shared local numbering, built in code so that these
// tests do not depend on the table files.
inline LookupTables locationTables() {
  LookupTables tables;
  tables.nrmTables[4] = intColumns(3, {1, 2, 3, 0, 3, 2, 0, 1, 3, 0, 2, 1});
  tables.nrmTables[5] = intColumns(3, {0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 1,  //
                                       5, 2, 1, 5, 3, 2, 5, 4, 3, 5, 1, 4});
  tables.nrmTables[6] = intColumns(3, {0, 2, 1, 3, 4, 5});
  tables.nrmTables[7] = IntMatrix(3, 0);
  tables.nrmTables[quadFaceTable(prismType)] = intColumns(4, {0, 1, 4, 3, 1, 2, 5, 4, 2, 0, 3, 5});
  tables.nrmTables[quadFaceTable(hexahedronType)] =
      intColumns(4, {0, 3, 2, 1, 4, 5, 6, 7, 0, 1, 5, 4,  //
                     1, 2, 6, 5, 2, 3, 7, 6, 3, 0, 4, 7});
  tables.barTables[4] = intColumns(3, {1, 3, 2, 0, 2, 3, 0, 3, 1, 0, 1, 2});
  tables.barTables[5] = intColumns(4, {0, 1, 2, 3, 0, 3, 7, 4, 0, 4, 5, 1,  //
                                       1, 5, 6, 2, 2, 6, 7, 3, 4, 7, 6, 5});
  tables.barTables[6] = intColumns(3, {0, 2, 11, 0, 6, 3, 0, 10, 7, 1, 12, 5, 1, 4, 9, 1, 8, 13});
  tables.barTables[7] = intColumns(
      3, {0, 8, 21, 3, 12, 9, 2, 16, 13, 1, 20, 17, 4, 22, 11, 5, 10, 15, 6, 14, 19, 7, 18, 23});
  tables.brnTables[4] = IntMatrix(IntArray::fromValues({0, 1, 2, 3}));
  tables.brnTables[5] = IntMatrix(IntArray::fromValues({0, 1, 2, 3, 4, 5, 6, 7}));
  IntArray prismSlots({14}, -1);
  prismSlots[0] = 0;
  prismSlots[1] = 1;
  tables.brnTables[6] = IntMatrix(prismSlots);
  tables.brnTables[7] = IntMatrix(IntArray({24}, -1));
  checkTables(tables);
  return tables;
}

// Reference cells in the local numbering.
inline std::vector<Point> referenceCell(int t) {
  return referenceCell<Point>(t);
}

// An orientation-preserving affine map (positive determinant) that shears and stretches.
inline Point distort(const Point& p) {
  return {1.2f * p[0] + 0.3f * p[1] - 0.1f * p[2] + 0.5f,
          0.2f * p[0] + 0.9f * p[1] + 0.4f * p[2] - 0.25f,
          -0.3f * p[0] + 0.1f * p[1] + 1.1f * p[2] + 2.0f};
}

inline std::vector<Point> distorted(std::vector<Point> corners) {
  for (Point& p : corners) p = distort(p);
  return corners;
}

// A control mesh whose vertices carry the identity as weight rows below x, y, z, as a loaded
// control mesh does.
inline Mesh controlMesh(const std::vector<Point>& points) {
  const int n = static_cast<int>(points.size());
  Mesh mesh(3);
  mesh.vertices = Matrix(3 + n, n);
  for (int j = 0; j < n; ++j) {
    for (int d = 0; d < 3; ++d) mesh.vertices(d, j) = points[j][d];
    mesh.vertices(3 + j, j) = 1.0f;
  }
  return mesh;
}

inline void addCell(Mesh& mesh, int t, std::vector<int> vertices) {
  IntArray cell({verticesPerCell[t], 1}, 0);
  std::copy(vertices.begin(), vertices.end(), cell.data());
  appendCells(mesh, t, cell);
}

// A mesh of the single cell of type t with the given corners.
inline Mesh singleCell(int t, const std::vector<Point>& corners) {
  Mesh mesh = controlMesh(corners);
  std::vector<int> ids(corners.size());
  for (size_t i = 0; i < ids.size(); ++i) ids[i] = static_cast<int>(i);
  addCell(mesh, t, ids);
  return mesh;
}

// A point strictly inside the convex hull of `corners`: a combination with weights in [1, 3].
inline Point interiorPoint(const std::vector<Point>& corners, std::mt19937& random) {
  std::uniform_real_distribution<double> weight(1.0, 3.0);
  std::array<double, 3> sum{};
  double total = 0;
  for (const Point& c : corners) {
    const double w = weight(random);
    total += w;
    for (int d = 0; d < 3; ++d) sum[d] += w * c[d];
  }
  return {static_cast<float>(sum[0] / total), static_cast<float>(sum[1] / total),
          static_cast<float>(sum[2] / total)};
}

// A model vertex matrix of 3 rows holding the points.
inline Matrix modelOf(const std::vector<Point>& points) {
  Matrix model(3, static_cast<int>(points.size()));
  for (size_t j = 0; j < points.size(); ++j)
    for (int d = 0; d < 3; ++d) model(d, static_cast<int>(j)) = points[j][d];
  return model;
}

inline CellFaceTables facesOf(const LookupTables& tables, int t) {
  const CheckedCellFaceTables faces = cellFaceTables(tables, t);
  EXPECT_TRUE(faces.status.ok) << faces.status.message;
  return faces.faces;
}

// The faces of a cell type as cyclic corner lists, in slot order: triangles, then quads.
inline std::vector<std::vector<int>> faceList(const CellFaceTables& faces) {
  std::vector<std::vector<int>> list;
  for (int f = 0; f < faces.triangleCount; ++f) {
    const int* v = faces.triangles->column(f);
    list.push_back({v[0], v[1], v[2]});
  }
  for (int q = 0; q < faces.quadCount; ++q) {
    const int* v = faces.quads->column(q);
    list.push_back({v[0], v[1], v[2], v[3]});
  }
  return list;
}

inline Point centroid(const std::vector<Point>& corners) {
  Point c{};
  for (const Point& p : corners)
    for (int d = 0; d < 3; ++d) c[d] += p[d] / static_cast<float>(corners.size());
  return c;
}

// Checks partition of unity and linear precision at random interior points.
inline void expectLinearPrecision(int t, const std::vector<Point>& corners,
                                  const LookupTables& tables, double tolerance = 2e-5) {
  const Mesh mesh = singleCell(t, corners);
  const CellFaceTables faces = facesOf(tables, t);
  std::mt19937 random(t);
  for (int trial = 0; trial < 200; ++trial) {
    const Point p = interiorPoint(corners, random);
    const CellCoordinates result = cellCoordinates(mesh, faces, 0, p.data());
    ASSERT_TRUE(result.inside) << "type " << t << " trial " << trial;
    double sum = 0;
    Point reproduced{};
    for (size_t i = 0; i < corners.size(); ++i) {
      sum += result.lambda[static_cast<int>(i)];
      for (int d = 0; d < 3; ++d)
        reproduced[d] += result.lambda[static_cast<int>(i)] * corners[i][d];
    }
    EXPECT_NEAR(sum, 1.0, 1e-5);
    for (int d = 0; d < 3; ++d) EXPECT_NEAR(reproduced[d], p[d], tolerance) << "type " << t;
  }
}

}  // namespace cagewarp::testing
