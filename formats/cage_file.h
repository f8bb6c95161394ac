#pragma once

#include <string>

#include "array/status.h"
#include "mesh/mesh.h"

namespace cagewarp {

// Reads a cage in the format its extension names: gmsh .msh, legacy VTK .vtk, TetGen .ele (with
// its .node), Medit .mesh; our own mesh text format for any other extension and for a .mesh file
// that does not start with Medit's MeshVersionFormatted. Cells and vertices of `mesh` are
// replaced (its tables kept); on failure `mesh` is unchanged. Vertex orders are mapped to ours,
// inverted volume cells reoriented, and what was changed is reported in `warnings`. Mesh text
// reads large vertex records on `threads` threads (0: one per core).
Status readCage(const std::string& path, Mesh& mesh, Warnings& warnings, int threads = 1);

// Writes the positions (rows xyzRow..xyzRow+2) and cells of `mesh` as .vtk, .msh or .mesh, by
// the extension of `path`; octahedra, which these formats lack, as four tetrahedra around their
// 0-5 axis. Fails for any other extension.
Status writeCage(const Mesh& mesh, const std::string& path);

// Writes the positions and cells of `mesh` for viewing: as writeCage for a cage format it can
// write, as mesh text of the positions alone (no weight rows) for any extension that names no
// cage format. Fails for a cage format that cannot be written (TetGen).
Status writeCagePositions(const Mesh& mesh, const std::string& path);

// Whether writeCagePositions can write a file named `path`, known from its extension alone:
// fails, with the message writeCagePositions gives, for a cage format it cannot write.
Status cagePositionsWritable(const std::string& path);

}  // namespace cagewarp
