#pragma once

#include <array>

namespace cagewarp {

// Cell types: 0 point, 1 line, 2 triangle, 3 quad, 4 tetrahedron, 5 octahedron, 6 prism,
// 7 hexahedron. Every per-type constant of the program lives here.
inline constexpr int cellTypeCount = 8;
enum CellType : int {
  pointType = 0,
  lineType = 1,
  triangleType = 2,
  quadType = 3,
  tetrahedronType = 4,
  octahedronType = 5,
  prismType = 6,
  hexahedronType = 7,
};

// Rows of the type's cell array.
inline constexpr std::array<int, 8> verticesPerCell = {1, 2, 3, 4, 4, 6, 6, 8};
inline constexpr std::array<int, 8> cellDimension = {0, 1, 2, 2, 3, 3, 3, 3};
// Tetrahedra and octahedra share their vertex values during a subdivision step.
inline constexpr std::array<int, 8> cellClass = {0, 1, 2, 3, 4, 4, 6, 7};
// Contribution of one cell to the bucket count of a subdivision step's vertex value map.
inline constexpr std::array<int, 8> capacityWeight = {0, 0, 1, 2, 2, 3, 4, 7};
inline constexpr std::array<int, 8> sameTypeChildCount = {1, 2, 4, 4, 4, 6, 8, 8};
// Nodes of one cell after a split, its own corners included.
inline constexpr std::array<int, 8> refinedNodeCount = {1, 3, 6, 9, 10, 19, 18, 27};
inline constexpr std::array<int, 8> typeBit = {1, 2, 4, 8, 16, 32, 64, 128};
// One over the number of cells of the type around a regular vertex.
inline constexpr std::array<double, 8> typeWeight = {1.0,        1.0 / 2.0,  1.0 / 6.0,  1.0 / 4.0,
                                                     1.0 / 14.0, 1.0 / 14.0, 1.0 / 12.0, 1.0 / 8.0};

inline bool isVolumeType(int t) {
  return t >= tetrahedronType && t <= hexahedronType;
}

}  // namespace cagewarp
