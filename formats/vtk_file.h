#pragma once

#include <string>

#include "array/status.h"
#include "mesh/mesh.h"

namespace cagewarp {

// Reads a legacy VTK unstructured grid (.vtk), ASCII or BINARY (big-endian), with the classic
// CELLS/CELL_TYPES layout or the OFFSETS/CONNECTIVITY layout of version 5.1, into the cells and
// 3-row vertices of `mesh` (xyzRow 0). On failure `mesh` is unchanged.
Status readVtk(const std::string& path, Mesh& mesh, Warnings& warnings);

// Writes the positions and cells of `mesh` as an ASCII legacy VTK unstructured grid, octahedra
// as four tetrahedra each; the file appears only when complete.
Status writeVtk(const Mesh& mesh, const std::string& path);

}  // namespace cagewarp
