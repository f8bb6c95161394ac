#include "driver/table_search.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "driver/messages.h"
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

// The table files every working table set holds: the children and face lists of every type, the
// face tables of point location, the averaging tables and the interface rules. The node, blend,
// interface and mixed-children tables exist only for some types, so they are not asked for.
std::vector<std::string> essentialTableFiles() {
  std::vector<std::string> names = {tableFileName("proc")};
  for (int t = 0; t < 8; ++t) names.push_back(tableFileName("uni", t));
  for (int q = 0; q < 7; ++q) names.push_back(tableFileName("zip", q));
  for (int t = 4; t < 10; ++t) names.push_back(tableFileName("nrm", t));
  for (const char* stem : {"bar", "brn"})
    for (int t = 4; t < 8; ++t) names.push_back(tableFileName(stem, t));
  for (int t = 0; t < 8; ++t) names.push_back(tableFileName("avg4", t));
  return names;
}

// The essential table files missing from `directory`.
std::vector<std::string> missingTableFiles(const fs::path& directory) {
  std::vector<std::string> missing;
  for (const std::string& name : essentialTableFiles()) {
    std::error_code error;
    if (!fs::is_regular_file(directory / name, error)) missing.push_back(name);
  }
  return missing;
}

bool sameDirectory(const fs::path& a, const fs::path& b) {
  std::error_code error;
  return fs::equivalent(a, b, error) && !error;
}

}  // namespace

Status findTableDirectory(const std::string& given, std::string& found, Warnings& notes) {
  const TablePlaces program = {executableDirectory().string(), installedTables, CAGEWARP_BUILD_DIR,
                               "name one with --tables DIR"};
  return findTableDirectory(given, program, found, notes);
}

Status findTableDirectory(const std::string& given, const TablePlaces& places, std::string& found,
                          Warnings& notes) {
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
  const size_t essential = essentialTableFiles().size();
  for (const fs::path& candidate : candidates) {
    if (!isDirectory(candidate)) continue;
    const std::string name = candidate.lexically_normal().string();
    const std::vector<std::string> missing = missingTableFiles(candidate);
    if (missing.size() == essential) {
      notes.push_back(messages::formatted(messages::tablesPassedOver, name));
      continue;
    }
    if (!missing.empty()) {
      std::string list;
      for (const std::string& file : missing) list += (list.empty() ? "" : ", ") + file;
      return Status::failure(messages::formatted(messages::tablesIncomplete, name,
                                                 std::to_string(missing.size()), list));
    }
    found = name;
    return Status::success();
  }
  std::string looked;
  for (const fs::path& candidate : candidates)
    looked += (looked.empty() ? "" : ", ") + candidate.lexically_normal().string();
  return Status::failure("no table directory found (looked in " + looked + "); " + places.nameOne);
}

}  // namespace cagewarp
