#include "driver/table_search.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "mesh/lookup_tables.h"

namespace cagewarp {
namespace {

namespace fs = std::filesystem;

// Where `cmake --install` puts the tables, relative to the executable's directory.
constexpr const char* installedTables = "../share/cagewarp/tab";

fs::path executableDirectory() {
  std::error_code error;
  const fs::path self = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : self.parent_path();
}

bool isDirectory(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

bool sameDirectory(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error) && !error;
}

}  // namespace

Status findTableDirectory(const std::string& given, std::string& found) {
  const TablePlaces program = {executableDirectory().string(), installedTables, CAGEWARP_BUILD_DIR,
                               "name one with --tables DIR"};
  return findTableDirectory(given, program, found);
}

Status findTableDirectory(const std::string& given, const TablePlaces& places, std::string& found) {
  if (!given.empty()) {
    if (!isDirectory(given)) return Status::failure(given + ": no such table directory");
    found = given;
    return Status::success();
  }
  std::vector<fs::path> candidates = {defaultTableDirectory};
  const fs::path home = places.home;
  if (!home.empty()) {
    candidates.push_back(home / places.installed);
    if (!places.buildHome.empty() && sameDirectory(home, places.buildHome))
      candidates.push_back(CAGEWARP_SOURCE_TABLES);
  }
  for (const fs::path& candidate : candidates) {
    if (isDirectory(candidate)) {
      found = candidate.lexically_normal().string();
      return Status::success();
    }
  }
  std::string looked;
  for (const fs::path& candidate : candidates)
    looked += (looked.empty() ? "" : ", ") + candidate.lexically_normal().string();
  return Status::failure("no table directory found (looked in " + looked + "); " + places.nameOne);
}

}  // namespace cagewarp
