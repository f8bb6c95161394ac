#pragma once

#include <string>

#include "array/status.h"
#include "mesh/mesh.h"

namespace cagewarp {

// The .node file that goes with a TetGen .ele file: the same name with .node for .ele.
std::string tetgenNodePath(const std::string& elePath);

// Reads a TetGen tetrahedralisation, `elePath` (.ele) with the .node file beside it, into the
// tetrahedra and 3-row vertices of `mesh` (xyzRow 0). Points count from the first point's number
// (0 or 1); attributes and boundary markers are ignored; 10-node tetrahedra come in by their
// corners. On failure `mesh` is unchanged.
Status readTetgen(const std::string& elePath, Mesh& mesh, Warnings& warnings);

}  // namespace cagewarp
