#include "mesh/mesh.h"

#include <cstdio>

namespace cagewarp {

Mesh::Mesh(int rows) : vertices(rows, 0) {
  for (int t = 0; t < cellTypeCount; ++t) cells[t] = IntArray({verticesPerCell[t], 0}, 0);
}

std::string Mesh::summary() const {
  char text[256];
  std::snprintf(text, sizeof text, "[%i,%i|2D:%i,%i|3D:%i,%i,%i,%i]::%ix%i:xyz@%i", cellCount(0),
                cellCount(1), cellCount(2), cellCount(3), cellCount(4), cellCount(5), cellCount(6),
                cellCount(7), vertexRows(), vertexColumns(), xyzRow);
  return text;
}

void appendCells(Mesh& mesh, int t, const IntArray& newCells) {
  if (newCells.count() == 0) return;
  CAGEWARP_CHECK(newCells.rows() == mesh.cells[t].rows());
  mesh.cells[t].appendCols(newCells);
}

}  // namespace cagewarp
