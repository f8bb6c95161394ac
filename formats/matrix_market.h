#pragma once

#include <string>

#include "array/status.h"
#include "relate/deformation.h"

namespace cagewarp {

// Writes D as a Matrix Market coordinate file (real, general) of n x modelVertices: column j is
// model vertex j - 1, so the columns of vertices outside every cell are empty. Entries go by
// column, then row, 1-based; exact zeros (+0 and -0) are left out; each value is the shortest
// text that reads back as the same float ("nan", "inf" and "-inf" for the non-finite). The file
// appears under its name only when complete. Formats on `threads` threads (0: one per core).
Status writeMatrixMarket(const Relation& relation, int modelVertices, const std::string& fileName,
                         int threads = 0);

}  // namespace cagewarp
