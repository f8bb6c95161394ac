#include "formats/cage_file.h"

#include <algorithm>

#include "formats/file_format.h"
#include "formats/mesh_text.h"

namespace cagewarp {

Status readCage(const std::string& path, Mesh& mesh, Warnings& warnings, int threads) {
  const FormatEntry& format = formatEntryOf(path);
  if (!format.serves(FormatRole::cageInput)) return Status::failure(path + ": not a cage format");
  return format.readCage(path, mesh, warnings, threads);
}

Status writeCage(const Mesh& mesh, const std::string& path) {
  const FormatEntry& format = formatEntryOf(path);
  if (!format.serves(FormatRole::cageOutput))
    return Status::failure(path + ": not a cage format to write (.vtk, .msh or .mesh)");
  return format.writeCage(mesh, path);
}

Status cagePositionsWritable(const std::string& path) {
  const FormatEntry& format = formatEntryOf(path);
  // Text under the name of a cage format would be taken for that format when read back.
  if (!format.serves(FormatRole::cageOutput) && format.serves(FormatRole::cageInput) &&
      format.format != FileFormat::meshText)
    return Status::failure(path + ": cannot write " + std::string(format.name) +
                           " files; use .vtk, .msh, .mesh or text");
  return Status::success();
}

Status writeCagePositions(const Mesh& mesh, const std::string& path) {
  const FormatEntry& format = formatEntryOf(path);
  if (format.serves(FormatRole::cageOutput)) return format.writeCage(mesh, path);
  if (Status writable = cagePositionsWritable(path); !writable.ok) return writable;
  // The weight rows below the positions mean nothing to a viewer.
  Mesh positions(3);
  positions.vertices = Matrix(3, mesh.vertexColumns());
  for (int v = 0; v < mesh.vertexColumns(); ++v)
    std::copy_n(mesh.vertices.column(v) + mesh.xyzRow, 3, positions.vertices.column(v));
  positions.cells = mesh.cells;
  return writeText(positions, path);
}

}  // namespace cagewarp
