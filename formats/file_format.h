#pragma once

#include <string>
#include <string_view>

namespace cagewarp {

// The file formats cagewarp reads and writes. A file's format is named by its extension alone,
// in this one place, so every reader and writer agrees on it.
enum class FileFormat {
  meshText,  // our own mesh text format: any extension not listed below
  obj,       // Wavefront .obj
  off,       // .off (OFF, COFF, NOFF)
  ply,       // .ply, ASCII or binary
  stl,       // .stl, ASCII or binary
  gmsh,      // gmsh .msh, versions 2.2 and 4.1
  vtk,       // legacy VTK .vtk unstructured grid
  tetgen,    // TetGen .ele (with the .node beside it)
  medit,     // Medit .mesh
};

// The format `path` names by its extension, compared without regard to case.
FileFormat formatOfPath(std::string_view path);

// The lower-case extension of `path` without the dot; empty when it has none.
std::string extensionOf(std::string_view path);

}  // namespace cagewarp
