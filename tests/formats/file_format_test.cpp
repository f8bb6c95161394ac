#include "formats/file_format.h"

#include <gtest/gtest.h>

namespace cagewarp {
namespace {

// Roles as letters: c cage input, w cage output, m model.
std::string rolesOf(const FormatEntry& entry) {
  std::string roles;
  if (entry.serves(FormatRole::cageInput)) roles += 'c';
  if (entry.serves(FormatRole::cageOutput)) roles += 'w';
  if (entry.serves(FormatRole::model)) roles += 'm';
  return roles;
}

TEST(FileFormat, ExtensionNamesTheFormatAndItsRolesWhateverItsCase) {
  const struct {
    const char* path;
    FileFormat format;
    const char* roles;
  } cases[] = {
      {"model.obj", FileFormat::obj, "m"},
      {"dir.v2/MODEL.OBJ", FileFormat::obj, "m"},
      {"a.Off", FileFormat::off, "m"},
      {"b.ply", FileFormat::ply, "m"},
      {"c.STL", FileFormat::stl, "m"},
      {"cage.msh", FileFormat::gmsh, "cw"},
      {"cage.VTK", FileFormat::vtk, "cw"},
      {"box.1.ele", FileFormat::tetgen, "c"},
      {"cage.Mesh", FileFormat::medit, "cw"},
      {"points.XYZ", FileFormat::xyz, "m"},
      {"points.csv", FileFormat::csv, "m"},
      {"cage.txt", FileFormat::meshText, "c"},
      {"noextension", FileFormat::meshText, "c"},
      {"dir.obj/cage", FileFormat::meshText, "c"},
      {".obj", FileFormat::meshText, "c"},
      {"cage.obj.txt", FileFormat::meshText, "c"},
      {"cage.node", FileFormat::meshText, "c"},
  };
  for (const auto& c : cases) {
    const FormatEntry& entry = formatEntryOf(c.path);
    EXPECT_EQ(entry.format, c.format) << c.path;
    EXPECT_EQ(formatOfPath(c.path), c.format) << c.path;
    EXPECT_EQ(rolesOf(entry), c.roles) << c.path;
    // Every format is found again by its own row.
    EXPECT_EQ(&formatEntry(c.format), &entry) << c.path;
  }
}

}  // namespace
}  // namespace cagewarp
