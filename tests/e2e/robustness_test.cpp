#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/e2e/program_runner.h"

namespace cagewarp::testing {
namespace {

const std::string threePoints = "v 3 3\n0.25 0.25 0.25\n5 5 5\n0.1 0.2 0.3\n";

// One tetrahedron on its first four vertices; the others lie at the origin, in no cell.
std::string cageOfManyVertices(int count) {
  std::string text = "v 3 " + std::to_string(count) + "\n0 0 0\n1 0 0\n0 1 0\n0 0 1\n";
  for (int i = 4; i < count; ++i) text += "0 0 0\n";
  return text + "f 4 1\n0 1 2 3\n";
}

// Files the run left beside its results, such as an unfinished temporary.
std::vector<std::string> leftovers(const ProgramRunner& runner) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(runner.file(".")))
    if (entry.path().filename().string().find(".tmp") != std::string::npos)
      names.push_back(entry.path().filename().string());
  return names;
}

// Inputs that once crashed the program: each now ends with one clear message and status 1.
TEST(Robustness, HostileControlMeshesEndWithAMessage) {
  struct Case {
    std::string control;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"v 0 99999999",
       "cagewarp: c.txt:1: a vertex record needs at least 3 rows (x, y, z), not 0\n"},
      {"v 0 4 f 4 1 1 0 2 3",
       "cagewarp: c.txt:1: a vertex record needs at least 3 rows (x, y, z), not 0\n"},
      {"v 2 4 0 0 1 0 0 1 0 0 f 4 1 1 0 2 3",
       "cagewarp: c.txt:1: a vertex record needs at least 3 rows (x, y, z), not 2\n"},
  };
  ProgramRunner runner;
  runner.write("m.txt", threePoints);
  for (const Case& c : cases) {
    runner.write("c.txt", c.control);
    const RunResult r = runner.run({"c.txt", "m.txt", "b", "s"});
    EXPECT_EQ(r.exitStatus, 1) << c.message;
    EXPECT_EQ(r.err, c.message);
    EXPECT_FALSE(runner.exists("c.txt.mat")) << c.message;
  }
}

// Dense weight rows for this cage would have 2.5e9 elements, more than an int counts; the sparse
// ones hold one entry per vertex.
TEST(Robustness, ACageOfFiftyThousandVerticesRuns) {
  ProgramRunner runner;
  runner.write("c.txt", cageOfManyVertices(50000));
  runner.write("m.txt", "v 3 2\n0.25 0.25 0.25\n2 2 2\n");
  const RunResult r = runner.run({"c.txt", "m.txt", "b", "s"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.out.find(" 1 of 2 model vertices enclosed"), std::string::npos) << r.out;
}

// A table file whose dimensions overflow when multiplied is refused with a warning naming it,
// and the refinement that needs it stops the run with a message.
TEST(Robustness, ATableWithOverflowingDimensionsStopsTheRunWithAMessage) {
  ProgramRunner runner(false);
  std::filesystem::copy(CAGEWARP_TAB_DIR, runner.file("tab"));
  std::filesystem::copy_file(
      CAGEWARP_SOURCE_DIR "/tests/fuzz/corpus/array_file/overflowing_dimensions.tab",
      runner.file("tab/mesh_uni4.tab"), std::filesystem::copy_options::overwrite_existing);
  runner.write("c.txt", "v 3 4\n0 0 0  1 0 0  0 1 0  0 0 1\nf 4 1\n0 1 2 3\n");
  runner.write("m.txt", threePoints);
  const RunResult r = runner.run({"c.txt", "m.txt", "l"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("cagewarp: warning: tab/mesh_uni4.tab: "), std::string::npos) << r.err;
  EXPECT_FALSE(runner.exists("c.txt.mat"));
}

// With the disk as good as full (a file-size limit), no result can be completed: every one the
// earlier run wrote stays byte for byte, the run fails naming each, and no temporary is left.
TEST(Robustness, ResultsThatCannotBeCompletedLeaveTheEarlierOnes) {
  ProgramRunner runner;
  std::filesystem::copy_file(CAGEWARP_SOURCE_DIR "/examples/cage.txt", runner.file("c.txt"));
  std::filesystem::copy_file(CAGEWARP_SOURCE_DIR "/examples/model.txt", runner.file("m.txt"));
  const RunResult first = runner.run({"c.txt", "m.txt", "s", "o"});
  ASSERT_EQ(first.exitStatus, 0) << first.err;
  const std::vector<std::string> results = {"c.txt.out", "c.txt.mat", "c.txt.ind"};
  std::vector<std::string> earlier;
  for (const std::string& name : results) {
    earlier.push_back(runner.read(name));
    ASSERT_GT(earlier.back().size(), 8192u) << name;
  }

  const RunResult full = runner.run({"c.txt", "m.txt", "l", "o"}, "", {.fileBytes = 8192});
  EXPECT_EQ(full.exitStatus, 1);
  for (size_t k = 0; k < results.size(); ++k) {
    EXPECT_EQ(runner.read(results[k]), earlier[k]) << results[k];
    EXPECT_NE(full.err.find("cagewarp: " + results[k]), std::string::npos) << full.err;
  }
  EXPECT_EQ(leftovers(runner), std::vector<std::string>{});
  // Without the limit the same run completes, so it was the limit that stopped it.
  EXPECT_EQ(runner.run({"c.txt", "m.txt", "l", "o"}).exitStatus, 0);
  EXPECT_NE(runner.read("c.txt.mat"), earlier[1]);
}

}  // namespace
}  // namespace cagewarp::testing
