#pragma once

// Cages built in code for the tests of the shipped smoothing scheme: points are entered by
// position and shared by position, cells by the positions of their corners. Refined vertices are
// found again by where a linear split puts them, which does not depend on the smoothing.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "formats/array_file.h"
#include "mesh/cell_type.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"
#include "subdiv/subdivide.h"
#include "tests/support/committed_tables.h"

namespace cagewarp::testing {

using Vec3 = std::array<double, 3>;

// Positions used as map keys: every test position is a multiple of 1/1024 or far from others.
inline std::array<int64_t, 3> positionKey(const Vec3& p) {
  return {std::llround(p[0] * 1024), std::llround(p[1] * 1024), std::llround(p[2] * 1024)};
}

// Signed volume spanned by three edges from a common corner.
inline double spannedVolume(const Vec3& o, const Vec3& a, const Vec3& b, const Vec3& c) {
  const double u[3] = {a[0] - o[0], a[1] - o[1], a[2] - o[2]};
  const double v[3] = {b[0] - o[0], b[1] - o[1], b[2] - o[2]};
  const double w[3] = {c[0] - o[0], c[1] - o[1], c[2] - o[2]};
  return u[0] * (v[1] * w[2] - v[2] * w[1]) - u[1] * (v[0] * w[2] - v[2] * w[0]) +
         u[2] * (v[0] * w[1] - v[1] * w[0]);
}

// Whether a volume cell's corners follow the local numbering (positive orientation).
inline bool positivelyOriented(int t, const std::vector<Vec3>& c) {
  switch (t) {
    case tetrahedronType:
    case prismType:
      return spannedVolume(c[0], c[1], c[2], c[3]) > 0;
    case octahedronType:  // the equator turns counter-clockwise seen from apex 0
      return spannedVolume(c[1], c[2], c[3], c[0]) > 0;
    case hexahedronType:
      return spannedVolume(c[0], c[1], c[3], c[4]) > 0;
    default:
      return true;
  }
}

// The tetrahedral-octahedral lattice (integer points with an even coordinate sum): each unit
// cube holds one tetrahedron on its even corners, each point with an odd sum is the centre of an
// octahedron on its six axis neighbours. Every vertex lies in 8 tetrahedra and 6 octahedra; a
// linear split gives the same lattice at half the spacing.
using GridPoint = std::array<int, 3>;

inline bool evenSum(const GridPoint& p) {
  return (p[0] + p[1] + p[2]) % 2 == 0;
}

inline GridPoint plus(GridPoint p, int axis, int step) {
  p[axis] += step;
  return p;
}

inline Vec3 scaled(const GridPoint& p, double s) {
  return {p[0] * s, p[1] * s, p[2] * s};
}

inline std::vector<GridPoint> cubeTetrahedron(const GridPoint& low) {
  std::vector<GridPoint> corners;
  for (int d = 0; d < 8; ++d) {
    const GridPoint c{low[0] + (d & 1), low[1] + (d >> 1 & 1), low[2] + (d >> 2 & 1)};
    if (evenSum(c)) corners.push_back(c);
  }
  return corners;
}

// The cube's tetrahedron as cell corners in the local numbering.
inline std::vector<Vec3> cubeTetrahedronCorners(const GridPoint& low) {
  std::vector<Vec3> corners;
  for (const GridPoint& c : cubeTetrahedron(low)) corners.push_back(scaled(c, 1));
  if (!positivelyOriented(tetrahedronType, corners)) std::swap(corners[2], corners[3]);
  return corners;
}

// Apex +z, equator +x, +y, -x, -y, apex -z: the octahedron's local numbering.
inline std::vector<GridPoint> octahedronAround(const GridPoint& c) {
  return {plus(c, 2, 1),  plus(c, 0, 1),  plus(c, 1, 1),
          plus(c, 0, -1), plus(c, 1, -1), plus(c, 2, -1)};
}

inline std::vector<Vec3> octahedronCorners(const GridPoint& c) {
  std::vector<Vec3> corners;
  for (const GridPoint& p : octahedronAround(c)) corners.push_back(scaled(p, 1));
  return corners;
}

class CageBuilder {
 public:
  int vertex(const Vec3& p) {
    auto [it, inserted] = index_.try_emplace(positionKey(p), static_cast<int>(points.size()));
    if (inserted) points.push_back(p);
    return it->second;
  }

  bool has(const Vec3& p) const { return index_.count(positionKey(p)) > 0; }
  int indexOf(const Vec3& p) const {
    auto it = index_.find(positionKey(p));
    return it == index_.end() ? -1 : it->second;
  }

  void cell(int t, const std::vector<Vec3>& corners) {
    EXPECT_EQ(static_cast<int>(corners.size()), verticesPerCell[t]);
    EXPECT_TRUE(positivelyOriented(t, corners)) << "cell of type " << t << " is inverted";
    for (const Vec3& p : corners) cells[t].push_back(vertex(p));
  }

  // The axis-aligned unit hexahedron whose lowest corner is (x, y, z).
  void unitCube(double x, double y, double z) {
    cell(hexahedronType, {{x, y, z},
                          {x + 1, y, z},
                          {x + 1, y + 1, z},
                          {x, y + 1, z},
                          {x, y, z + 1},
                          {x + 1, y, z + 1},
                          {x + 1, y + 1, z + 1},
                          {x, y + 1, z + 1}});
  }

  // The cage with `extraRows` zero rows below x, y, z (identity rows: see withIdentity).
  Mesh mesh(int extraRows = 0) const {
    Mesh m(3 + extraRows);
    m.vertices = Matrix(3 + extraRows, static_cast<int>(points.size()));
    for (size_t j = 0; j < points.size(); ++j)
      for (int a = 0; a < 3; ++a)
        m.vertices(a, static_cast<int>(j)) = static_cast<float>(points[j][a]);
    for (int t = 0; t < cellTypeCount; ++t) {
      if (cells[t].empty()) continue;
      IntArray more({verticesPerCell[t], static_cast<int>(cells[t].size()) / verticesPerCell[t]},
                    0);
      std::copy(cells[t].begin(), cells[t].end(), more.data());
      appendCells(m, t, more);
    }
    return m;
  }

  // The cage with the n x n identity below the coordinates: after refinement rows 3.. of a
  // vertex are its weights over the cage vertices.
  Mesh withIdentity() const {
    Mesh m = mesh();
    m.vertices.appendRows(Matrix(vertexCount(), vertexCount(), "eye"));
    return m;
  }

  int vertexCount() const { return static_cast<int>(points.size()); }

  std::vector<Vec3> points;
  std::array<std::vector<int>, 8> cells;

 private:
  std::map<std::array<int64_t, 3>, int> index_;
};

inline Mesh refined(Mesh mesh, int flags, const LookupTables& tables = committedLookupTables()) {
  Warnings warnings;
  const Status s = subdivide(mesh, tables, flags, warnings);
  EXPECT_TRUE(s.ok) << s.message;
  return mesh;
}

// Refined vertex index by position after one linear split of `cage` (the same indices a normal
// subdivision gives, since both run the same split).
class RefinedIndex {
 public:
  explicit RefinedIndex(const CageBuilder& cage) {
    const Mesh split = refined(cage.mesh(), linearSubdivision);
    for (int j = 0; j < split.vertices.cols(); ++j) {
      const Vec3 p{split.vertices(0, j), split.vertices(1, j), split.vertices(2, j)};
      index_.emplace(positionKey(p), j);
    }
  }
  int at(const Vec3& p) const {
    auto it = index_.find(positionKey(p));
    EXPECT_NE(it, index_.end()) << "no refined vertex at " << p[0] << " " << p[1] << " " << p[2];
    return it == index_.end() ? -1 : it->second;
  }

 private:
  std::map<std::array<int64_t, 3>, int> index_;
};

// Weights over the cage vertices, by cage vertex index.
using Mask = std::map<int, double>;

// Compares refined column `column` (weights from row 3 on) with `expected`, entry by entry.
inline void expectMask(const Mesh& refinedMesh, int column, const Mask& expected, double tolerance,
                       const std::string& what) {
  ASSERT_GE(column, 0) << what;
  const int n = refinedMesh.vertices.rows() - 3;
  double worst = 0;
  int worstVertex = -1;
  for (int i = 0; i < n; ++i) {
    auto it = expected.find(i);
    const double want = it == expected.end() ? 0.0 : it->second;
    const double error = std::fabs(refinedMesh.vertices(3 + i, column) - want);
    if (error > worst) {
      worst = error;
      worstVertex = i;
    }
  }
  EXPECT_LE(worst, tolerance) << what << ": weight of cage vertex " << worstVertex;
}

}  // namespace cagewarp::testing
