#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "array/matrix.h"
#include "mesh/mesh.h"

namespace cagewarp {

// A model as the writers of a fresh file in some model format take it: positions, the faces as
// polygons, points and lines, and perhaps a normal per vertex.
struct ModelGeometry {
  // x, y, z per vertex (3 x M, xyzRow 0) and every cell; larger polygons fanned from their first
  // corner. The writers of cell formats (VTK, gmsh, Medit) write these cells.
  Mesh mesh{3};
  // Polygon k has the corners faceCorners[faceStarts[k]] .. faceCorners[faceStarts[k + 1] - 1];
  // faceStarts is {0} for none.
  std::vector<int32_t> faceStarts{0};
  std::vector<int32_t> faceCorners;
  // A unit normal per vertex (3 x M), or no columns when the model has no normals to write.
  Matrix normals;
  // Texture coordinates u, v per vertex (2 x M), or no columns when the model has none.
  Matrix textures;

  int faceCount() const { return static_cast<int>(faceStarts.size()) - 1; }
  bool hasNormals() const { return normals.cols() > 0; }
  bool hasTextures() const { return textures.cols() > 0; }
};

// The polygons of the triangles and quads of `mesh`, for a model read without its polygons.
void facesOfCells(const Mesh& mesh, std::vector<int32_t>& starts, std::vector<int32_t>& corners);

// Unit normals (3 x keyCount) of polygons given by their corners' vertices: normal k is the sum,
// over the corners c with keys[c] == k, of the corner's angle times its polygon's area vector,
// normalised; zero where that sum is zero, and for a key no corner has. Weighting by angle keeps
// a vertex's normal independent of how its polygons are cut into triangles, and by area lets
// large faces count more than slivers. keys[c] < 0 leaves corner c out.
Matrix cornerNormals(const Matrix& positions, const std::vector<int32_t>& starts,
                     const std::vector<int32_t>& corners, const std::vector<int32_t>& keys,
                     int keyCount);

namespace detail {

// Writes `value` as the shortest decimal text that reads back to it.
void putFloat(std::FILE* out, float value);

}  // namespace detail

}  // namespace cagewarp
