#pragma once

#include <array>
#include <cstddef>
#include <span>

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

// A cell's edge as two of its local vertex indices.
using CellEdge = std::array<int, 2>;
inline constexpr int maxCellEdges = 12;
inline constexpr std::array<int, 8> edgeCount = {0, 1, 3, 4, 6, 12, 9, 12};
// The edges of each type in the order a split numbers their middle nodes after the corners, as
// the edge node tables list them; read them through edgesOf.
inline constexpr std::array<std::array<CellEdge, maxCellEdges>, 8> cellEdges = {{
    {},
    {{{0, 1}}},
    {{{0, 1}, {1, 2}, {2, 0}}},
    {{{0, 1}, {1, 2}, {2, 3}, {3, 0}}},
    {{{0, 1}, {0, 2}, {0, 3}, {1, 2}, {1, 3}, {2, 3}}},
    // The edges at apex 0, the equator, the edges at apex 5.
    {{{0, 1},
      {0, 2},
      {0, 3},
      {0, 4},
      {1, 2},
      {2, 3},
      {3, 4},
      {4, 1},
      {5, 1},
      {5, 2},
      {5, 3},
      {5, 4}}},
    // Bottom, top, then the axis edges.
    {{{0, 1}, {1, 2}, {2, 0}, {3, 4}, {4, 5}, {5, 3}, {0, 3}, {1, 4}, {2, 5}}},
    {{{0, 1},
      {1, 2},
      {2, 3},
      {3, 0},
      {4, 5},
      {5, 6},
      {6, 7},
      {7, 4},
      {0, 4},
      {1, 5},
      {2, 6},
      {3, 7}}},
}};

inline std::span<const CellEdge> edgesOf(int t) {
  return {cellEdges[t].data(), static_cast<size_t>(edgeCount[t])};
}

// Prisms and hexahedra have quad faces besides their triangles. The face tables of a volume
// type hold its triangles under the type's own number and its quads two numbers above it (the
// prism's under 8, the hexahedron's under 9).
inline bool hasQuadFaces(int t) {
  return t == prismType || t == hexahedronType;
}
inline int quadFaceTable(int t) {
  return t + 2;
}

}  // namespace cagewarp
