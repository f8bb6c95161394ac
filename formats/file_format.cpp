#include "formats/file_format.h"

#include <array>
#include <cctype>
#include <utility>

namespace cagewarp {

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

FileFormat formatOfPath(std::string_view path) {
  static constexpr std::array<std::pair<std::string_view, FileFormat>, 8> byExtension{{
      {"obj", FileFormat::obj},
      {"off", FileFormat::off},
      {"ply", FileFormat::ply},
      {"stl", FileFormat::stl},
      {"msh", FileFormat::gmsh},
      {"vtk", FileFormat::vtk},
      {"ele", FileFormat::tetgen},
      {"mesh", FileFormat::medit},
  }};
  const std::string extension = extensionOf(path);
  for (const auto& [name, format] : byExtension)
    if (extension == name) return format;
  return FileFormat::meshText;
}

}  // namespace cagewarp
