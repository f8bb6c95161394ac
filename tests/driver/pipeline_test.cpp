#include "driver/pipeline.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/temp_dir.h"

namespace cagewarp::testing {
namespace {

const char* const tetrahedron = "v 3 4\n0 0 0\n1 0 0\n0 1 0\n0 0 1\nf 4 1\n0 1 2 3\n";

// Every phase the run begins, in order.
class PhaseLog : public RunObserver {
 public:
  void started(Phase phase, const std::string&) override { phases.push_back(phase); }
  std::vector<Phase> phases;
};

// A job binding the model text `model` to the tetrahedron, both written into `dir`.
Job tetrahedronJob(const TempDir& dir, const std::string& model) {
  writeFile(dir.file("c.txt"), tetrahedron);
  writeFile(dir.file("m.txt"), model);
  Job job;
  job.controlFile = dir.file("c.txt");
  job.modelFile = dir.file("m.txt");
  return job;
}

// A table directory that is not there stops the run before it reads or writes anything.
TEST(RunJob, WithoutItsTableDirectoryReadsAndWritesNothing) {
  TempDir dir;
  Job job = tetrahedronJob(dir, "v 3 1\n0.1 0.1 0.1\n");
  job.tableDirectory = dir.file("absent");
  job.outputs.matrixFile = dir.file("c.txt.mat");
  job.outputs.indexFile = dir.file("c.txt.ind");
  job.outputs.cageOutFile = dir.file("cage.txt");
  PhaseLog log;
  const RunOutcome run = runJob(job, log);
  EXPECT_FALSE(run.status.ok);
  EXPECT_EQ(run.status.message, dir.file("absent") + ": no such table directory");
  EXPECT_TRUE(log.phases.empty());
  for (const char* name : {"c.txt.mat", "c.txt.ind", "cage.txt"})
    EXPECT_FALSE(std::filesystem::exists(dir.file(name))) << name;
}

// The control mesh moved to where it was loaded leaves the bound model as it is; moved
// positions of another shape are refused.
TEST(DeformModel, TheRestPoseGivesTheBoundModel) {
  TempDir dir;
  Job job = tetrahedronJob(dir, "v 3 3\n0.1 0.2 0.3\n5 5 5\n0.25 0.25 0.25\n");
  job.tableDirectory = CAGEWARP_TAB_DIR;
  job.binding.operations = {'l'};
  RunObserver quiet;
  const RunOutcome run = runJob(job, quiet);
  ASSERT_TRUE(run.status.ok) << run.status.message;
  EXPECT_EQ(run.relation.enclosedIndices, IntArray::fromValues({0, 2}));
  Matrix rest(3, 4);
  for (int v = 1; v < 4; ++v) rest(v - 1, v) = 1.0f;
  Mesh deformed;
  ASSERT_TRUE(deformModel(run, rest, deformed).ok);
  EXPECT_EQ(deformed.vertices, run.model.vertices);
  EXPECT_EQ(deformed.vertices(0, 1), 5.0f);
  EXPECT_FALSE(deformModel(run, Matrix(3, 3), deformed).ok);
}

}  // namespace
}  // namespace cagewarp::testing
