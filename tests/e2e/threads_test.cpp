#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/e2e/program_runner.h"
#include "tests/support/mixed_scene.h"

namespace cagewarp::testing {
namespace {

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
