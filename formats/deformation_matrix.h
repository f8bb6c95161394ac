#pragma once

#include <string>

#include "array/status.h"
#include "formats/array_file.h"
#include "mesh/sparse_columns.h"

namespace cagewarp {

// Writes D as an array text file straight from its columns, never holding it dense; the text
// and the echo are those saveArray gives for the dense matrix, on any number of `threads` (0: one
// per core).
Status saveDeformationMatrix(const SparseColumns& d, const std::string& fileName,
                             Echo echo = Echo::off, int threads = 0);

// D's console form, as saveDeformationMatrix echoes it, for writers of other formats.
std::string deformationConsoleForm(const SparseColumns& d);

}  // namespace cagewarp
