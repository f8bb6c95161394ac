#pragma once

#include <array>
#include <string>

#include "array/matrix.h"
#include "mesh/cell_type.h"

namespace cagewarp {

// A mixed mesh of up to eight cell types and one matrix of per-vertex values (one column per
// vertex; rows xyzRow..xyzRow+2 are x, y, z, rows below them travel with the vertex).
struct Mesh {
  // An empty mesh: every cell array (vertices per cell) x 0, the vertex matrix rows x 0.
  explicit Mesh(int rows = 0);

  int cellCount(int t) const { return cells[t].cols(); }
  int vertexColumns() const { return vertices.cols(); }
  int vertexRows() const { return vertices.rows(); }

  // "[%i,%i|2D:%i,%i|3D:%i,%i,%i,%i]::%ix%i:xyz@%i": cells per type, rows, vertices, xyzRow.
  std::string summary() const;

  std::array<IntArray, 8> cells;
  Matrix vertices;
  int xyzRow = 0;
};

// Appends the columns of `newCells` (as many rows as cells[t]) to the cells of type t.
void appendCells(Mesh& mesh, int t, const IntArray& newCells);

}  // namespace cagewarp
