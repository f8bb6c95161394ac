#pragma once

#include <string>
#include <string_view>

#include "array/status.h"
#include "mesh/mesh.h"

namespace cagewarp {

struct ModelFile;
struct ModelGeometry;

// The file formats cagewarp reads and writes. A file's format is named by its extension alone,
// in the one table of file_format.cpp, so every reader and writer agrees on it.
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
  xyz,       // .xyz points: x y z and further columns per line
  csv,       // .csv points: comma-separated columns with a header naming x, y and z
};

// What a file of some format can be used for.
enum class FormatRole {
  cageInput,    // read as a control mesh, a moved control mesh or a model in a cage format
  cageOutput,   // written as a refined control mesh with its cells
  model,        // read as a model and written back byte for byte with moved vertices
  modelOutput,  // written fresh from a model of another format
};

// One format: its extension and name, and the functions that read and write it. A null function
// means the format does not serve in that role; adding a format is adding a row to the table.
struct FormatEntry {
  FileFormat format;
  std::string_view extension;  // lower case, without the dot; empty for mesh text
  std::string_view name;       // as messages name it ("OBJ", "mesh text")
  // Replaces the cells and vertices of `mesh` (tables kept); on failure `mesh` is unchanged.
  // Readers that can share their work out take up to `threads` threads.
  Status (*readCage)(const std::string& path, Mesh& mesh, Warnings& warnings, int threads);
  // Writes the positions (rows xyzRow..xyzRow+2) and cells of `mesh`.
  Status (*writeCage)(const Mesh& mesh, const std::string& path);
  // Parses the bytes already in `model.bytes` into the rest of `model`.
  Status (*readModel)(const std::string& path, ModelFile& model);
  // Writes a model fresh: positions, faces and what else the format holds.
  Status (*writeModel)(const ModelGeometry& model, const std::string& path);

  bool serves(FormatRole role) const;
};

// The table row for the extension of `path`, compared without regard to case; the mesh text
// row for any extension the table does not list.
const FormatEntry& formatEntryOf(std::string_view path);

// The table row of `format`.
const FormatEntry& formatEntry(FileFormat format);

// The extensions of the formats that serve `role`, as ".obj .off ..." in table order.
std::string extensionsServing(FormatRole role);

// The format `path` names by its extension, compared without regard to case.
FileFormat formatOfPath(std::string_view path);

// The lower-case extension of `path` without the dot; empty when it has none.
std::string extensionOf(std::string_view path);

}  // namespace cagewarp
