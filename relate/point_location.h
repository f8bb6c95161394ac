#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "array/matrix.h"
#include "array/status.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"
#include "mesh/sparse_columns.h"
#include "relate/cell_coordinates.h"
#include "relate/trilinear_coordinates.h"

namespace cagewarp {

// The local coordinates a model vertex gets in a cell. Wachspress coordinates cut each non-planar
// quad face along the diagonal that keeps the cell convex, so two cells sharing such a face may
// disagree on it; trilinear (isoparametric) coordinates agree on every shared face, and where a
// cell cannot give them (inverted, or Newton's method not converging) it gives its Wachspress
// coordinates, with a warning naming it.
enum class Coordinates { wachspress, trilinear };

// Weights of every model vertex over the unrefined control vertices: the weight matrix W
// (n x M), sparse because a dense W touches a memory page per model vertex, which dominates the
// run time. Column J lists, rows ascending, every row that a cell containing model vertex J could
// make non-zero; a vertex no cell contains has an empty column.
struct ModelLocation {
  SparseColumns weights;    // column J is the mean of B * lambda over J's cells
  IntArray enclosureCount;  // M: number of cells found to contain each model vertex
};

// Locates the columns of `model` in the volume cells of `control`, whose vertex matrix carries
// the weight rows from row `weightRow` on. A cell's bounding box includes its boundary, so a
// vertex on a face shared by two cells is located in both and gets the mean of their results. The
// model's position rows are chosen by its row count. A type whose face tables are unusable encloses
// nothing and adds one warning. The vertices are shared out among `threads` threads (0: one per
// core); the result does not depend on their number. `coordinates` chooses the cell coordinates.
// `located`, when given, counts the vertices done so far, for a progress display.
ModelLocation locateModelVertices(const Mesh& control, const Matrix& model, int weightRow,
                                  const LookupTables& tables, Warnings& warnings, int threads = 0,
                                  Coordinates coordinates = Coordinates::wachspress,
                                  std::atomic<int64_t>* located = nullptr);

// The weight column of a point with local coordinates lambda (one per cell vertex) in cell c of
// type t alone, rounded as an enclosed vertex's column is: the cell's weight rows times lambda,
// accumulated over the cell's vertices in order.
std::vector<SparseEntry> cellWeightColumn(const Mesh& control, int t, int c, int weightRow,
                                          const float* lambda);

// First position row of a model vertex matrix with `rows` rows.
int modelPositionRow(int rows);

}  // namespace cagewarp
