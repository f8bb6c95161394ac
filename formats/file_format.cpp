#include "formats/file_format.h"

#include <array>
#include <cctype>
#include <utility>

#include "formats/csv_file.h"
#include "formats/gmsh_file.h"
#include "formats/medit_file.h"
#include "formats/mesh_text.h"
#include "formats/model_geometry.h"
#include "formats/obj_file.h"
#include "formats/off_file.h"
#include "formats/ply_file.h"
#include "formats/stl_file.h"
#include "formats/tetgen_file.h"
#include "formats/vtk_file.h"
#include "formats/xyz_file.h"

namespace cagewarp {
namespace {

Status readTextAsCage(const std::string& path, Mesh& mesh, Warnings& /*warnings*/, int threads) {
  return readTextCage(path, mesh, threads);
}

// Files named .mesh before Medit's format was read are in our text format.
Status readMeditOrText(const std::string& path, Mesh& mesh, Warnings& warnings, int threads) {
  if (isMeditFile(path)) return readMedit(path, mesh, warnings);
  return readTextCage(path, mesh, threads);
}

// A cage reader that reads on one thread.
template <Status (*read)(const std::string&, Mesh&, Warnings&)>
Status readOnOneThread(const std::string& path, Mesh& mesh, Warnings& warnings, int /*threads*/) {
  return read(path, mesh, warnings);
}

// A model written by the writer of a cell format: its points, lines and faces are cells.
template <Status (*write)(const Mesh&, const std::string&)>
Status writeModelCells(const ModelGeometry& model, const std::string& path) {
  return write(model.mesh, path);
}

// The one place that names the formats; the mesh text row comes first and serves every
// extension not listed.
constexpr std::array<FormatEntry, 11> formats{{
    {FileFormat::meshText, "", "mesh text", readTextAsCage, nullptr, nullptr, nullptr},
    {FileFormat::obj, "obj", "OBJ", nullptr, nullptr, readObj, writeObj},
    {FileFormat::off, "off", "OFF", nullptr, nullptr, readOff, writeOff},
    {FileFormat::ply, "ply", "PLY", nullptr, nullptr, readPly, writePly},
    {FileFormat::stl, "stl", "STL", nullptr, nullptr, readStl, writeStl},
    {FileFormat::gmsh, "msh", "gmsh", readOnOneThread<readGmsh>, writeGmsh, nullptr,
     writeModelCells<writeGmsh>},
    {FileFormat::vtk, "vtk", "VTK", readOnOneThread<readVtk>, writeVtk, nullptr,
     writeModelCells<writeVtk>},
    {FileFormat::tetgen, "ele", "TetGen", readOnOneThread<readTetgen>, nullptr, nullptr, nullptr},
    {FileFormat::medit, "mesh", "Medit", readMeditOrText, writeMedit, nullptr,
     writeModelCells<writeMedit>},
    {FileFormat::xyz, "xyz", "XYZ", nullptr, nullptr, readXyz, writeXyz},
    {FileFormat::csv, "csv", "CSV", nullptr, nullptr, readCsv, writeCsv},
}};

}  // namespace

bool FormatEntry::serves(FormatRole role) const {
  switch (role) {
    case FormatRole::cageInput:
      return readCage != nullptr;
    case FormatRole::cageOutput:
      return writeCage != nullptr;
    case FormatRole::model:
      return readModel != nullptr;
    case FormatRole::modelOutput:
      return writeModel != nullptr;
  }
  return false;
}

std::string extensionOf(std::string_view path) {
  const size_t slash = path.find_last_of('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  // A leading dot names a hidden file, not an extension.
  if (dot == std::string_view::npos || dot == 0) return {};
  std::string extension(name.substr(dot + 1));
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

const FormatEntry& formatEntryOf(std::string_view path) {
  const std::string extension = extensionOf(path);
  for (const FormatEntry& entry : formats)
    if (!entry.extension.empty() && entry.extension == extension) return entry;
  return formats.front();
}

const FormatEntry& formatEntry(FileFormat format) {
  for (const FormatEntry& entry : formats)
    if (entry.format == format) return entry;
  return formats.front();
}

std::string extensionsServing(FormatRole role) {
  std::string list;
  for (const FormatEntry& entry : formats) {
    if (entry.extension.empty() || !entry.serves(role)) continue;
    if (!list.empty()) list += ' ';
    list += '.';
    list += entry.extension;
  }
  return list;
}

FileFormat formatOfPath(std::string_view path) {
  return formatEntryOf(path).format;
}

}  // namespace cagewarp
