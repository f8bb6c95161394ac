#pragma once

#include <string>

#include "array/status.h"
#include "mesh/mesh.h"

namespace cagewarp {

// True when the file's first word is Medit's MeshVersionFormatted; other files named .mesh are
// in our own mesh text format.
bool isMeditFile(const std::string& path);

// Reads an ASCII Medit .mesh file (Vertices, Corners, Edges, Triangles, Quadrilaterals,
// Tetrahedra, Prisms, Hexahedra, Pyramids; references ignored) into the cells and 3-row vertices
// of `mesh` (xyzRow 0). On failure `mesh` is unchanged.
Status readMedit(const std::string& path, Mesh& mesh, Warnings& warnings);

// Writes the positions and cells of `mesh` as an ASCII Medit file, points as Corners and
// octahedra as four tetrahedra each; the file appears only when complete.
Status writeMedit(const Mesh& mesh, const std::string& path);

}  // namespace cagewarp
