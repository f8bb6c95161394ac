#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/e2e/program_runner.h"
#include "tools/scene.h"

namespace cagewarp::testing {
namespace {

// A run long enough for the progress display, with standard error in a file: the display stays
// off, and standard error holds only the run's messages, line by line.
TEST(Progress, NothingWhenStandardErrorIsNotATerminal) {
  ProgramRunner runner;
  scene::writeScene(scene::warpedHexCage(7), runner.file("c.txt"), "cage");
  scene::writeScene(scene::scatteredPoints(30'000, 1), runner.file("m.txt"), "points");
  const auto start = std::chrono::steady_clock::now();
  const RunResult r = runner.run({"c.txt", "m.txt", "b", "s", "s", "s", "--threads", "1"});
  const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_GT(took.count(), 1.0) << "too short a run to show that the display stays off";
  EXPECT_EQ(r.err.find('\r'), std::string::npos);
  ASSERT_FALSE(r.err.empty());
  ASSERT_EQ(r.err.back(), '\n');
  for (size_t line = 0; line < r.err.size(); line = r.err.find('\n', line) + 1)
    EXPECT_EQ(r.err.compare(line, 10, "cagewarp: "), 0) << r.err;
}

}  // namespace
}  // namespace cagewarp::testing
