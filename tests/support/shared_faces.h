#pragma once

#include <array>
#include <random>
#include <vector>

#include "mesh/cell_type.h"
#include "tests/support/reference_cells.h"

namespace cagewarp::testing {

// Two volume cells sharing a bent face, one case per kind of interface that trilinear
// coordinates must keep closed. Vertices (sharedFaceVertices): a grid of 3 x 2 x 2 bent points
// over x = 0..2, y and z = 0..1, point (i, j, l) being 6 l + 3 j + i; then a bent octahedron
// (12 to 17) and a point beyond its face 0 1 2 (18).
struct SharedFaceCase {
  const char* name;
  int firstType;
  std::vector<int> first;
  int secondType;
  std::vector<int> second;
  std::vector<int> face;  // the shared face's corners in cyclic order
};

inline const std::vector<SharedFaceCase>& sharedFaceCases() {
  // The second hexahedron lists its corners from another corner and axis, as a mesh may.
  static const std::vector<SharedFaceCase> cases = {
      {"hexahedron/hexahedron",
       hexahedronType,
       {0, 1, 4, 3, 6, 7, 10, 9},
       hexahedronType,
       {1, 4, 10, 7, 2, 5, 11, 8},
       {1, 4, 10, 7}},
      {"hexahedron/prism",
       hexahedronType,
       {0, 1, 4, 3, 6, 7, 10, 9},
       prismType,
       {1, 2, 4, 7, 8, 10},
       {1, 4, 10, 7}},
      {"prism/prism (the diagonal quad)",
       prismType,
       {0, 1, 4, 6, 7, 10},
       prismType,
       {0, 4, 3, 6, 10, 9},
       {0, 4, 10, 6}},
      {"octahedron/tetrahedron",
       octahedronType,
       {12, 13, 14, 15, 16, 17},
       tetrahedronType,
       {12, 13, 14, 18},
       {12, 13, 14}},
  };
  return cases;
}

// The reference cell of type t, sheared, with every corner moved by up to `amount` along each
// axis (a fixed pseudo-random choice per type): every quad face bends, the Jacobian stays positive.
template <typename P>
std::vector<P> bentCell(int t, float amount = 0.12f) {
  std::vector<P> corners = referenceCell<P>(t);
  std::mt19937 random(17 * t);
  std::uniform_real_distribution<float> offset(-amount, amount);
  for (P& p : corners) {
    const P q = p;
    p[0] = 1.2f * q[0] + 0.3f * q[1] - 0.1f * q[2] + offset(random);
    p[1] = 0.2f * q[0] + 0.9f * q[1] + 0.4f * q[2] + offset(random);
    p[2] = -0.3f * q[0] + 0.1f * q[1] + 1.1f * q[2] + offset(random);
  }
  return corners;
}

template <typename P>
std::vector<P> sharedFaceVertices() {
  std::vector<P> points;
  std::mt19937 random(5);
  std::uniform_real_distribution<float> offset(-0.15f, 0.15f);
  for (int l = 0; l < 2; ++l)
    for (int j = 0; j < 2; ++j)
      for (int i = 0; i < 3; ++i)
        points.push_back({i + offset(random), j + offset(random), l + offset(random)});
  const std::vector<P> octahedron = bentCell<P>(octahedronType);
  points.insert(points.end(), octahedron.begin(), octahedron.end());
  P beyond{};
  for (int d = 0; d < 3; ++d)
    beyond[d] = 0.5f * (octahedron[0][d] + octahedron[1][d] + octahedron[2][d]) -
                0.25f * (octahedron[0][d] + octahedron[5][d]);
  points.push_back(beyond);
  return points;
}

// Weights of a point on a face with 3 or 4 corners, from parameters s and r in [0, 1]: bilinear on
// a quad, barycentric on a triangle.
inline std::vector<double> faceBlend(size_t corners, double s, double r) {
  if (corners == 3) return {1 - s - r * (1 - s), s, r * (1 - s)};
  return {(1 - s) * (1 - r), s * (1 - r), s * r, (1 - s) * r};
}

}  // namespace cagewarp::testing
