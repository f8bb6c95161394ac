#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "tests/e2e/program_runner.h"
#include "tools/scene.h"

namespace cagewarp::testing {
namespace {

// A run long enough for the progress display, with standard error in a file: the display stays
// off, and standard error holds only the run's messages, line by line. The model grows until the
// run outlasts the display's delay with a margin, however fast the build and the machine.
TEST(Progress, NothingWhenStandardErrorIsNotATerminal) {
  ProgramRunner runner;
  scene::writeScene(scene::warpedHexCage(7), runner.file("c.txt"), "cage");
  RunResult r;
  std::chrono::duration<double> took{};
  for (int points = 30'000; points <= 30'000 * 64; points *= 4) {
    scene::writeScene(scene::scatteredPoints(points, 1), runner.file("m.txt"), "points");
    const auto start = std::chrono::steady_clock::now();
    r = runner.run({"c.txt", "m.txt", "b", "s", "s", "s", "--threads", "1"});
    took = std::chrono::steady_clock::now() - start;
    if (r.exitStatus != 0 || took.count() > 1.5) break;
  }
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  ASSERT_GT(took.count(), 1.0) << "too short a run to show that the display stays off";
  EXPECT_EQ(r.err.find('\r'), std::string::npos);
  ASSERT_FALSE(r.err.empty());
  ASSERT_EQ(r.err.back(), '\n');
  for (size_t line = 0; line < r.err.size(); line = r.err.find('\n', line) + 1)
    EXPECT_EQ(r.err.compare(line, 10, "cagewarp: "), 0) << r.err;
}

}  // namespace
}  // namespace cagewarp::testing
