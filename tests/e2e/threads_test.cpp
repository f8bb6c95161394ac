#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/e2e/program_runner.h"

namespace cagewarp::testing {
namespace {

// Tetrahedra, an octahedron, a prism and a hexahedron sharing faces, with surface cells, a line
// and a point cell beside them; corners slightly moved off the unit grid.
const std::string mixedCage =
    "% mixed cage\n"
    "f 7 1\n0 1 2 3 4 5 6 7\n"
    "f 6 1\n1 8 2 5 9 6\n"
    "f 4 2\n4 5 7 10\n5 11 10 7\n"
    "f 5 1\n13 5 6 7 11 12\n"
    "f 3 3\n0 3 2 1\n8 16 17 9\n18 0 3 19\n"
    "f 2 3\n1 8 2\n1 2 3\n0 1 3\n"
    "f 1 2\n6 14\n4 6\n"
    "f 0 1\n15\n"
    "v 3 21\n"
    "-0.03 0.015 -0.01\n1.0075 -0.0075 0.005\n1.03 0.985 0.01\n0 1 0\n-0.015 0.0075 0.995\n"
    "1.015 -0.0075 1.005\n1.0075 0.985 1.01\n-0.03 1.015 0.99\n2.0075 -0.0075 0.0025\n"
    "2.03 0.985 0.01\n0 0 2\n1.015 -0.0075 2.005\n-0.03 1.015 1.99\n1 1 2\n2.015 1.9925 2.005\n"
    "-1.03 -0.985 -1.01\n3 0 0\n3.0075 -0.0075 0.0025\n-1.015 0.0075 -0.005\n-1.0075 1.0075 0\n"
    "5 5 5\n";

// Points a quarter apart around the cage: many lie on faces shared by two cells or on the
// boundary, where a vertex takes the mean over several cells.
std::string latticeModel() {
  std::string text = "v 3 2197\n";
  for (int i = -2; i <= 10; ++i)
    for (int j = -2; j <= 10; ++j)
      for (int k = -2; k <= 10; ++k)
        text += std::to_string(0.25 * i) + " " + std::to_string(0.25 * j) + " " +
                std::to_string(0.25 * k) + "\n";
  return text;
}

TEST(Threads, ResultsDoNotDependOnTheThreadCount) {
  ProgramRunner runner;
  runner.write("c.txt", mixedCage);
  runner.write("m.txt", latticeModel());
  std::string expected[4];
  for (const char* threads : {"1", "2", "7"}) {
    const RunResult r = runner.run({"c.txt", "m.txt", "b", "s", "s", "o", "--threads", threads});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    const std::string got[4] = {runner.read("c.txt.mat"), runner.read("c.txt.ind"),
                                runner.read("c.txt.out"), withoutAddresses(r.out)};
    if (expected[0].empty()) {
      std::copy(got, got + 4, expected);
      // The run must have enclosed points, some of them in more than one cell.
      EXPECT_GT(got[1].size(), arrayHeader.size() + 100);
      continue;
    }
    for (int f = 0; f < 4; ++f)
      EXPECT_TRUE(got[f] == expected[f]) << threads << " threads, output " << f;
  }
}

TEST(Threads, AThreadCountMustBePositive) {
  ProgramRunner runner;
  runner.write("c.txt", mixedCage);
  runner.write("m.txt", latticeModel());
  for (const char* bad : {"0", "-1", "x", "2x"}) {
    const RunResult r = runner.run({"c.txt", "m.txt", "--threads", bad});
    EXPECT_EQ(r.exitStatus, 2) << bad;
    EXPECT_NE(r.err.find("--threads"), std::string::npos) << bad;
    EXPECT_FALSE(runner.exists("c.txt.mat")) << bad;
  }
  EXPECT_EQ(runner.run({"c.txt", "m.txt", "--threads"}).exitStatus, 2);
}

}  // namespace
}  // namespace cagewarp::testing
