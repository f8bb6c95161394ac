#pragma once

#include <array>
#include <string>

#include "array/matrix.h"
#include "mesh/cell_type.h"
#include "mesh/sparse_columns.h"

namespace cagewarp {

// A mixed mesh of up to eight cell types and one matrix of per-vertex values (one column per
// vertex; rows xyzRow..xyzRow+2 are x, y, z, rows below them travel with the vertex). The values
// may end in a sparse part: then column j is that of `vertices` followed by column j of
// `weights`, and the two have the same column count.
struct Mesh {
  // An empty mesh: every cell array (vertices per cell) x 0, the vertex matrix rows x 0.
  explicit Mesh(int rows = 0);

  int cellCount(int t) const { return cells[t].cols(); }
  int vertexColumns() const { return vertices.cols(); }
  // Rows of the whole value matrix: the dense rows and the sparse ones below them.
  int vertexRows() const { return vertices.rows() + weights.rows; }
  bool hasSparseWeights() const { return weights.rows > 0; }

  // "[%i,%i|2D:%i,%i|3D:%i,%i,%i,%i]::%ix%i:xyz@%i": cells per type, rows, vertices, xyzRow.
  std::string summary() const;

  std::array<IntArray, 8> cells;
  Matrix vertices;
  SparseColumns weights;  // no rows: the values are all dense
  int xyzRow = 0;
};

// Appends the columns of `newCells` (as many rows as cells[t]) to the cells of type t.
void appendCells(Mesh& mesh, int t, const IntArray& newCells);

}  // namespace cagewarp
