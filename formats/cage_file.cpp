#include "formats/cage_file.h"

#include "formats/file_format.h"
#include "formats/gmsh_file.h"
#include "formats/medit_file.h"
#include "formats/mesh_text.h"
#include "formats/tetgen_file.h"
#include "formats/vtk_file.h"

namespace cagewarp {

Status readCage(const std::string& path, Mesh& mesh, Warnings& warnings) {
  switch (formatOfPath(path)) {
    case FileFormat::gmsh:
      return readGmsh(path, mesh, warnings);
    case FileFormat::vtk:
      return readVtk(path, mesh, warnings);
    case FileFormat::tetgen:
      return readTetgen(path, mesh, warnings);
    case FileFormat::medit:
      // Files named .mesh before Medit's format was read are in our text format.
      if (isMeditFile(path)) return readMedit(path, mesh, warnings);
      [[fallthrough]];
    case FileFormat::meshText: {
      Mesh text;
      const Status status = readText(text, path);
      if (!status.ok) return status;
      mesh.cells = std::move(text.cells);
      mesh.vertices = std::move(text.vertices);
      mesh.xyzRow = 0;
      return status;
    }
    default:
      return Status::failure(path + ": not a cage format");
  }
}

Status writeCage(const Mesh& mesh, const std::string& path) {
  switch (formatOfPath(path)) {
    case FileFormat::gmsh:
      return writeGmsh(mesh, path);
    case FileFormat::vtk:
      return writeVtk(mesh, path);
    case FileFormat::medit:
      return writeMedit(mesh, path);
    default:
      return Status::failure(path + ": not a cage format to write (.vtk, .msh or .mesh)");
  }
}

}  // namespace cagewarp
