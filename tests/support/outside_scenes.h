#pragma once

#include <array>
#include <cmath>
#include <vector>

#include "array/matrix.h"
#include "mesh/cell_type.h"
#include "mesh/mesh.h"

// Cages and models for binding vertices outside a cage and for cages made to fit a model.
namespace cagewarp::testing {

// A lattice of k x k x k hexahedra over the cube [-half, half]^3.
inline Mesh hexahedralCube(int k, float half) {
  const int m = k + 1;
  Mesh cage(3);
  cage.vertices = Matrix(3, m * m * m);
  const auto id = [m](int x, int y, int z) { return x + m * (y + m * z); };
  for (int z = 0; z < m; ++z)
    for (int y = 0; y < m; ++y)
      for (int x = 0; x < m; ++x) {
        const int v = id(x, y, z);
        const int c[3] = {x, y, z};
        for (int a = 0; a < 3; ++a)
          cage.vertices(a, v) = static_cast<float>(-half + 2.0 * half * c[a] / k);
      }
  IntArray cells({8, k * k * k}, 0);
  int n = 0;
  for (int z = 0; z < k; ++z)
    for (int y = 0; y < k; ++y)
      for (int x = 0; x < k; ++x)
        for (int v :
             {id(x, y, z), id(x + 1, y, z), id(x + 1, y + 1, z), id(x, y + 1, z), id(x, y, z + 1),
              id(x + 1, y, z + 1), id(x + 1, y + 1, z + 1), id(x, y + 1, z + 1)})
          cells[n++] = v;
  cage.cells[hexahedronType] = std::move(cells);
  return cage;
}

// A model of points: the given positions, 3 per vertex.
inline Mesh pointModel(const std::vector<std::array<float, 3>>& points) {
  Mesh model(3);
  model.vertices = Matrix(3, static_cast<int>(points.size()));
  for (size_t j = 0; j < points.size(); ++j)
    for (int a = 0; a < 3; ++a) model.vertices(a, static_cast<int>(j)) = points[j][a];
  return model;
}

// The points of an n x n x n grid over [-half, half]^3 that lie on the cube's surface
// (6 n^2 - 12 n + 8 of them).
inline Mesh cubeSurfacePoints(int n, float half) {
  std::vector<std::array<float, 3>> points;
  for (int z = 0; z < n; ++z)
    for (int y = 0; y < n; ++y)
      for (int x = 0; x < n; ++x) {
        if (x != 0 && x != n - 1 && y != 0 && y != n - 1 && z != 0 && z != n - 1) continue;
        const auto at = [&](int i) { return static_cast<float>(-half + 2.0 * half * i / (n - 1)); };
        points.push_back({at(x), at(y), at(z)});
      }
  return pointModel(points);
}

// A fixed affine map: a rotation, an anisotropic scaling, a shear and a translation.
struct AffineMap {
  double m[3][3];
  double t[3];
  std::array<double, 3> operator()(const float* p) const {
    std::array<double, 3> q{};
    for (int r = 0; r < 3; ++r) q[r] = m[r][0] * p[0] + m[r][1] * p[1] + m[r][2] * p[2] + t[r];
    return q;
  }
};
inline constexpr AffineMap sampleAffineMap = {
    {{0.8, -0.5, 0.3}, {0.55, 0.9, -0.2}, {-0.1, 0.35, 1.3}}, {0.4, -1.2, 2.5}};

// The positions of mesh (rows 0..2) moved by the map, as a 3 x n matrix.
inline Matrix movedPositions(const Mesh& mesh, const AffineMap& map) {
  Matrix moved(3, mesh.vertexColumns());
  for (int v = 0; v < mesh.vertexColumns(); ++v) {
    const std::array<double, 3> q = map(mesh.vertices.column(v) + mesh.xyzRow);
    for (int a = 0; a < 3; ++a) moved(a, v) = static_cast<float>(q[a]);
  }
  return moved;
}

}  // namespace cagewarp::testing
