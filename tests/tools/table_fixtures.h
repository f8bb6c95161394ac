#pragma once

#include <array>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "formats/array_file.h"
#include "tests/support/reference_cells.h"

namespace cagewarp::tablefixture {

// Loads a committed table; `problem` (if given) receives what was wrong with it.
inline IntMatrix committedIntTable(const std::string& name, std::string* problem = nullptr) {
  LoadedArray<int32_t> loaded = loadArray<int32_t>(std::string(CAGEWARP_TAB_DIR) + "/" + name);
  if (problem) *problem = loaded.status.message;
  return IntMatrix(std::move(loaded.array));
}

inline Matrix committedFloatTable(const std::string& name, std::string* problem = nullptr) {
  LoadedArray<float> loaded = loadArray<float>(std::string(CAGEWARP_TAB_DIR) + "/" + name);
  if (problem) *problem = loaded.status.message;
  return Matrix(std::move(loaded.array));
}

// The columns of a 2-D index table, or the runs of `run` entries of any table.
inline std::vector<std::vector<int>> tableRuns(const IntArray& table, int run) {
  std::vector<std::vector<int>> runs;
  for (int start = 0; start + run <= table.count(); start += run)
    runs.emplace_back(table.data() + start, table.data() + start + run);
  return runs;
}
inline std::vector<std::vector<int>> tableColumns(const IntArray& table) {
  return tableRuns(table, table.rows());
}

// Double-precision geometry for checking tables (own namespace: other suites have fixtures of
// the same names); the program's own arithmetic is not under test.
struct Vec3 : std::array<double, 3> {};

inline Vec3 operator-(const Vec3& a, const Vec3& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
inline Vec3 operator+(const Vec3& a, const Vec3& b) {
  return {a[0] + b[0], a[1] + b[1], a[2] + b[2]};
}
inline Vec3 operator*(double k, const Vec3& a) {
  return {k * a[0], k * a[1], k * a[2]};
}
inline double dot(const Vec3& a, const Vec3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
inline Vec3 cross(const Vec3& a, const Vec3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
inline Vec3 unit(const Vec3& a) {
  return (1.0 / std::sqrt(dot(a, a))) * a;
}

inline Vec3 centroid(const std::vector<Vec3>& points, const std::vector<int>& which) {
  Vec3 sum{0, 0, 0};
  for (int i : which) sum = sum + points[i];
  return (1.0 / static_cast<double>(which.size())) * sum;
}
inline Vec3 centroid(const std::vector<Vec3>& points) {
  std::vector<int> all;
  for (int i = 0; i < static_cast<int>(points.size()); ++i) all.push_back(i);
  return centroid(points, all);
}

// Twice the vector area of a polygon (Newell): its direction is the polygon's right-hand normal,
// also for a non-planar quad.
inline Vec3 polygonNormal(const std::vector<Vec3>& p, const std::vector<int>& face) {
  Vec3 sum{0, 0, 0};
  const Vec3 c = centroid(p, face);
  for (size_t j = 0; j < face.size(); ++j)
    sum = sum + cross(p[face[j]] - c, p[face[(j + 1) % face.size()]] - c);
  return sum;
}

// Reference cells in the local vertex numbering; every one is convex.
inline std::vector<Vec3> referenceCell(int t) {
  return testing::referenceCell<Vec3>(t);
}

// A convex hexahedron none of whose six faces is planar.
inline std::vector<Vec3> warpedHexahedron() {
  return {{-0.1, 0.05, -0.2}, {1.1, -0.05, 0.1}, {0.95, 1.2, -0.1}, {0.05, 0.9, 0.15},
          {0.1, -0.1, 1.05},  {1.05, 0.1, 0.9},  {1.2, 1.1, 1.3},   {-0.15, 1.05, 0.95}};
}

// An affine image with positive determinant, so orientation and volume ratios are kept.
inline std::vector<Vec3> skewed(std::vector<Vec3> points) {
  for (Vec3& p : points)
    p = Vec3{1.3 * p[0] + 0.4 * p[1] - 0.2 * p[2] + 2.0,
             -0.3 * p[0] + 0.9 * p[1] + 0.25 * p[2] - 1.0,
             0.1 * p[0] - 0.2 * p[1] + 1.1 * p[2] + 0.5};
  return points;
}

}  // namespace cagewarp::tablefixture
