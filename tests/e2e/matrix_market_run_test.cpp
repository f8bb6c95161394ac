#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/e2e/program_runner.h"
#include "tests/support/cage_checks.h"
#include "tests/support/matrix_market_text.h"
#include "tests/support/mixed_cage.h"

namespace cagewarp::testing {
namespace {

// The console text of a run that wrote D as .mat, as the same run with --mtx shows it.
std::string withMatrixMarketName(std::string out) {
  const std::string from = "c.txt.mat <-T", to = "c.txt.mtx <-T";
  const size_t at = out.find(from);
  if (at != std::string::npos) out.replace(at, from.size(), to);
  return withoutAddresses(out);
}

class MatrixMarketRun : public ::testing::Test {
 protected:
  void SetUp() override {
    runner.write("c.txt", mixedCage);
    runner.write("m.txt", latticeModel());
  }
  // A `b s s` run with a pose (the cage itself) and any further arguments.
  RunResult run(std::vector<std::string> extra = {}, const Limits& limits = {}) {
    std::vector<std::string> args{"c.txt", "m.txt", "b", "s", "s", "--deform", "c.txt", "p.txt"};
    args.insert(args.end(), extra.begin(), extra.end());
    return runner.run(args, "", limits);
  }
  ProgramRunner runner;
};

// Everything but D's file stays as without --mtx: the console lines, the index list, the poses.
TEST_F(MatrixMarketRun, ChangesOnlyTheFileDGoesTo) {
  const RunResult plain = run();
  ASSERT_EQ(plain.exitStatus, 0) << plain.err;
  const std::string index = runner.read("c.txt.ind"), pose = runner.read("p.txt");
  std::filesystem::remove(runner.file("c.txt.mat"));
  std::filesystem::remove(runner.file("p.txt"));

  const RunResult sparse = run({"--mtx"});
  ASSERT_EQ(sparse.exitStatus, 0) << sparse.err;
  EXPECT_EQ(withoutAddresses(sparse.out), withMatrixMarketName(plain.out));
  EXPECT_EQ(sparse.err, plain.err);
  EXPECT_FALSE(runner.exists("c.txt.mat"));
  EXPECT_TRUE(runner.read("c.txt.ind") == index);
  EXPECT_TRUE(runner.read("p.txt") == pose);
  const MatrixMarketText file = parseMatrixMarket(runner.read("c.txt.mtx"));
  EXPECT_EQ(file.rows, mixedCageVertices);
  EXPECT_EQ(file.columns, latticeModelVertices);
  EXPECT_GT(file.entries, 40);
  EXPECT_EQ(file.entries, static_cast<int64_t>(file.lines.size()));
}

// A .mtx that cannot be completed leaves the earlier one, fails the run naming it, and the
// index list is written all the same.
TEST_F(MatrixMarketRun, AWriteFailureKeepsTheEarlierFile) {
  ASSERT_EQ(run({"--mtx"}).exitStatus, 0);
  const std::string earlier = runner.read("c.txt.mtx");
  ASSERT_GT(earlier.size(), 8192u);
  std::filesystem::remove(runner.file("c.txt.ind"));
  const RunResult full = run({"--mtx", "--threads", "2"}, {.fileBytes = 8192});
  EXPECT_EQ(full.exitStatus, 1);
  EXPECT_TRUE(runner.read("c.txt.mtx") == earlier);
  EXPECT_NE(full.err.find("cagewarp: c.txt.mtx: cannot write the deformation matrix"),
            std::string::npos)
      << full.err;
  EXPECT_TRUE(runner.exists("c.txt.ind"));
}

// scipy reads the file to the matrix the .mat holds at the enclosed vertices' columns.
TEST_F(MatrixMarketRun, ScipyReadsItAsTheTextMatrix) {
  // A python3 first on the path (say, a user's own build) may lack the system's scipy.
  std::string python;
  for (const char* candidate : {"python3", "/usr/bin/python3"})
    if (python.empty() && runQuietly(std::string(candidate) + " -c 'import scipy.io, numpy'"))
      python = candidate;
  if (python.empty()) GTEST_SKIP() << "python3 with scipy is not installed";
  ASSERT_EQ(run().exitStatus, 0);
  ASSERT_EQ(run({"--mtx"}).exitStatus, 0);
  runner.write("check.py",
               "import numpy, scipy.io\n"
               "def array(name):\n"
               "    words = [w for l in open(name) if not l.startswith('%') for w in l.split()]\n"
               "    n = int(words[0]); sizes = [int(w) for w in words[1:1 + n]]\n"
               "    return numpy.array(words[1 + n:], dtype=float).reshape(sizes, order='F')\n"
               "d = scipy.io.mmread('c.txt.mtx').tocsc()\n"
               "dense = array('c.txt.mat'); enclosed = array('c.txt.ind').astype(int)\n"
               "assert d.shape == (dense.shape[0], 2197), d.shape\n"
               "assert abs(d[:, enclosed].toarray() - dense).max() < 1e-5\n"
               "assert d.nnz == (dense != 0).sum()\n");
  EXPECT_TRUE(runQuietly("cd " + runner.path().string() + " && " + python + " check.py"));
}

}  // namespace
}  // namespace cagewarp::testing
