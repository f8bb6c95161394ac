#pragma once

#include <array>
#include <vector>

#include "mesh/cell_type.h"

namespace cagewarp::testing {

// A reference cell of type t in the local vertex numbering, as points of any 3-element type;
// every one is convex and positively oriented.
template <typename P = std::array<double, 3>>
std::vector<P> referenceCell(int t) {
  switch (t) {
    case pointType:
      return {{0.3, 0.2, 0.1}};
    case lineType:
      return {{0, 0, 0}, {1, 0, 0}};
    case triangleType:
      return {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    case quadType:
      return {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    case tetrahedronType:
      return {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    case octahedronType:
      return {{0, 0, 1}, {1, 0, 0}, {0, 1, 0}, {-1, 0, 0}, {0, -1, 0}, {0, 0, -1}};
    case prismType:
      return {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {0, 1, 1}};
    default:
      return {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
              {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};
  }
}

}  // namespace cagewarp::testing
