#pragma once

#include <string>

#include "array/nd_array.h"
#include "array/status.h"
#include "mesh/sparse_columns.h"

namespace cagewarp {

// Writes D as a Matrix Market coordinate file (real, general) of n x modelVertices: D's column c
// expresses model vertex enclosed[c] and stands in the file's column enclosed[c] + 1, so the
// columns of vertices outside every cell are empty. Entries go by
// column, then row, 1-based; exact zeros (+0 and -0) are left out; each value is the shortest
// text that reads back as the same float ("nan", "inf" and "-inf" for the non-finite). The file
// appears under its name only when complete. Formats on `threads` threads (0: one per core).
Status writeMatrixMarket(const SparseColumns& d, const IntArray& enclosed, int modelVertices,
                         const std::string& fileName, int threads = 0);

}  // namespace cagewarp
