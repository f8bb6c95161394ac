#include "formats/file_format.h"

#include <gtest/gtest.h>

namespace cagewarp {
namespace {

TEST(FileFormat, ExtensionNamesTheFormatWhateverItsCase) {
  const struct {
    const char* path;
    FileFormat format;
  } cases[] = {
      {"model.obj", FileFormat::obj},
      {"dir.v2/MODEL.OBJ", FileFormat::obj},
      {"a.Off", FileFormat::off},
      {"b.ply", FileFormat::ply},
      {"c.STL", FileFormat::stl},
      {"cage.msh", FileFormat::gmsh},
      {"cage.vtk", FileFormat::vtk},
      {"box.1.ele", FileFormat::tetgen},
      {"cage.mesh", FileFormat::medit},
      {"cage.txt", FileFormat::meshText},
      {"noextension", FileFormat::meshText},
      {"dir.obj/cage", FileFormat::meshText},
      {".obj", FileFormat::meshText},
      {"cage.obj.txt", FileFormat::meshText},
  };
  for (const auto& c : cases) EXPECT_EQ(formatOfPath(c.path), c.format) << c.path;
}

}  // namespace
}  // namespace cagewarp
