#pragma once

#include <string>

namespace cagewarp::testing {

// Tetrahedra, an octahedron, a prism and a hexahedron sharing faces, with surface cells, a line
// and a point cell beside them; corners slightly moved off the unit grid.
inline const std::string mixedCage =
    "% mixed cage\n"
    "f 7 1\n0 1 2 3 4 5 6 7\n"
    "f 6 1\n1 8 2 5 9 6\n"
    "f 4 2\n4 5 7 10\n5 11 10 7\n"
    "f 5 1\n13 5 6 7 11 12\n"
    "f 3 3\n0 3 2 1\n8 16 17 9\n18 0 3 19\n"
    "f 2 3\n1 8 2\n1 2 3\n0 1 3\n"
    "f 1 2\n6 14\n4 6\n"
    "f 0 1\n15\n"
    "v 3 21\n"
    "-0.03 0.015 -0.01\n1.0075 -0.0075 0.005\n1.03 0.985 0.01\n0 1 0\n-0.015 0.0075 0.995\n"
    "1.015 -0.0075 1.005\n1.0075 0.985 1.01\n-0.03 1.015 0.99\n2.0075 -0.0075 0.0025\n"
    "2.03 0.985 0.01\n0 0 2\n1.015 -0.0075 2.005\n-0.03 1.015 1.99\n1 1 2\n2.015 1.9925 2.005\n"
    "-1.03 -0.985 -1.01\n3 0 0\n3.0075 -0.0075 0.0025\n-1.015 0.0075 -0.005\n-1.0075 1.0075 0\n"
    "5 5 5\n";
inline constexpr int mixedCageVertices = 21;

// Points a quarter apart around the mixed cage: many lie on faces shared by two cells or on the
// boundary, where a vertex takes the mean over several cells; many lie outside every cell.
inline std::string latticeModel() {
  std::string text = "v 3 2197\n";
  for (int i = -2; i <= 10; ++i)
    for (int j = -2; j <= 10; ++j)
      for (int k = -2; k <= 10; ++k)
        text += std::to_string(0.25 * i) + " " + std::to_string(0.25 * j) + " " +
                std::to_string(0.25 * k) + "\n";
  return text;
}
inline constexpr int latticeModelVertices = 2197;

}  // namespace cagewarp::testing
