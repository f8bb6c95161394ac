#pragma once

#include <string>

#include "array/status.h"
#include "mesh/mesh.h"

namespace cagewarp {

// Reads a gmsh .msh file, versions 2.2 and 4.1, ASCII or binary (either byte order), into the
// cells and 3-row vertices of `mesh` (xyzRow 0). Node tags may have gaps. On failure `mesh` is
// unchanged and the status names the file and the line or byte offset.
Status readGmsh(const std::string& path, Mesh& mesh, Warnings& warnings);

// Writes the positions and cells of `mesh` as an ASCII .msh 2.2 file, octahedra as four
// tetrahedra each; the file appears only when complete.
Status writeGmsh(const Mesh& mesh, const std::string& path);

}  // namespace cagewarp
