#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "tests/support/temp_dir.h"
#include "tests/tools/table_fixtures.h"

namespace cagewarp {
namespace {

namespace fx = tablefixture;

namespace fs = std::filesystem;

std::map<std::string, std::string> tableFiles(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".tab") continue;
    std::ifstream in(entry.path(), std::ios::binary);
    files[entry.path().filename().string()] = {std::istreambuf_iterator<char>(in),
                                               std::istreambuf_iterator<char>()};
  }
  return files;
}

// Runs the generator with one argument, or none when `directory` is empty.
int runGenerator(const std::string& directory = "") {
  std::string command = CAGEWARP_GENERATOR;
  if (!directory.empty()) {
    command += ' ';
    command += directory;
  }
  command += " 2>/dev/null";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(GenerateTables, RegeneratesTheCommittedTablesByteForByte) {
  testing::TempDir scratch;
  ASSERT_EQ(runGenerator((scratch.path() / "tab").string()), 0);
  const auto generated = tableFiles(scratch.path() / "tab");
  const auto committed = tableFiles(CAGEWARP_TAB_DIR);
  ASSERT_FALSE(generated.empty());
  std::vector<std::string> generatedNames, committedNames;
  for (const auto& [name, bytes] : generated) generatedNames.push_back(name);
  for (const auto& [name, bytes] : committed) committedNames.push_back(name);
  EXPECT_EQ(generatedNames, committedNames);
  for (const auto& [name, bytes] : generated) {
    const auto other = committed.find(name);
    if (other != committed.end()) {
      EXPECT_TRUE(other->second == bytes) << name << " differs";
    }
  }
}

TEST(GenerateTables, RefusesAMissingOrUnusableOutputDirectory) {
  EXPECT_NE(runGenerator(), 0);
  testing::TempDir scratch;
  const fs::path blocker = scratch.path() / "file";
  std::ofstream(blocker) << "x";
  EXPECT_NE(runGenerator(blocker.string()), 0);
}

struct TableShape {
  const char* name;
  std::vector<int> sizes;
};

TEST(GenerateTables, PointLocationTablesHaveTheirShapes) {
  const std::vector<TableShape> shapes = {
      {"mesh_nrm4.tab", {3, 4}}, {"mesh_nrm5.tab", {3, 8}}, {"mesh_nrm6.tab", {3, 2}},
      {"mesh_nrm7.tab", {3, 0}}, {"mesh_nrm8.tab", {4, 3}}, {"mesh_nrm9.tab", {4, 6}},
      {"mesh_bar4.tab", {3, 4}}, {"mesh_bar5.tab", {4, 6}}, {"mesh_bar6.tab", {3, 6}},
      {"mesh_bar7.tab", {3, 8}}, {"mesh_brn4.tab", {4}},    {"mesh_brn5.tab", {8}},
      {"mesh_brn6.tab", {14}},   {"mesh_brn7.tab", {24}}};
  for (const TableShape& shape : shapes) {
    std::string problem;
    const IntMatrix table = fx::committedIntTable(shape.name, &problem);
    ASSERT_FALSE(table.isEmpty()) << shape.name << " " << problem;
    EXPECT_EQ(problem, "") << shape.name;
    std::vector<int> sizes(table.sizes(), table.sizes() + table.n());
    EXPECT_EQ(sizes, shape.sizes) << shape.name;
  }
}

}  // namespace
}  // namespace cagewarp
