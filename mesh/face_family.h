#pragma once

#include <array>

namespace cagewarp {

// The seven face families, visited in this order wherever all faces of a mesh are enumerated:
// triangle edges, quad edges, tetrahedron triangles, prism triangles, prism quads, hexahedron
// quads, octahedron triangles. Family q lists its faces in zipTables[q].
inline constexpr int faceFamilyCount = 7;
inline constexpr std::array<int, 7> faceFamilyCellType = {2, 3, 4, 6, 6, 7, 5};
inline constexpr std::array<int, 7> faceFamilySize = {2, 2, 3, 3, 4, 4, 3};
inline constexpr std::array<int, 7> faceFamilyFaceCount = {3, 4, 4, 2, 3, 6, 8};
inline constexpr int prismQuadFamily = 4;

// Face kinds: faces pair only with faces of their own kind. Each family is its own kind, except
// that octahedron triangles share the kind of tetrahedron triangles (one cell class, one region),
// so kind k is family k for k < 6.
inline constexpr int faceKindCount = 6;
inline constexpr std::array<int, 7> faceFamilyKind = {0, 1, 2, 3, 4, 5, 2};

}  // namespace cagewarp
