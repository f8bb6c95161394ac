#include <gtest/gtest.h>

#include <filesystem>
#include <limits>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "driver/pipeline.h"
#include "formats/array_file.h"
#include "formats/deformation_matrix.h"
#include "formats/mesh_text.h"
#include "tests/support/mixed_cage.h"
#include "tests/support/table_writer.h"
#include "tests/support/temp_dir.h"
#include "tools/scene.h"

namespace cagewarp::testing {
namespace {

struct Results {
  std::string mat, ind, out;
};

// Runs the job with the weights forced into `form` and returns the bytes of the deformation
// matrix, the enclosed list and the refined control mesh.
Results runWith(Job job, WeightForm form, const TempDir& dir) {
  job.binding.weightForm = form;
  // Different thread counts as well (the smoothing sums of the sparse columns shared out among
  // three threads): neither may change a byte.
  job.binding.threads = form == WeightForm::sparse ? 3 : 1;
  RunObserver quiet;
  const RunOutcome run = runJob(job, quiet);
  EXPECT_TRUE(run.status.ok) << run.status.message;
  EXPECT_EQ(run.control.hasSparseWeights(), form == WeightForm::sparse);
  EXPECT_TRUE(writeText(run.control, dir.file("c.out")).ok);
  EXPECT_TRUE(saveDeformationMatrix(run.relation.deformation, dir.file("c.mat")).ok);
  EXPECT_TRUE(saveArray(run.relation.enclosedIndices, dir.file("c.ind")).ok);
  return {readFile(dir.file("c.mat")), readFile(dir.file("c.ind")), readFile(dir.file("c.out"))};
}

// The weight entries (rows from `firstWeightRow` on) of a refined mesh file written as "-0".
int negativeZeroWeights(const std::string& meshText, int firstWeightRow) {
  std::istringstream in(meshText.substr(meshText.find("\nv ") + 1));
  std::string letter;
  int rows = 0;
  int cols = 0;
  in >> letter >> rows >> cols;
  int count = 0;
  std::string word;
  for (int i = 0; i < rows * cols && in >> word; ++i)
    count += i % rows >= firstWeightRow && word == "-0";
  return count;
}

// A copy of the committed tables with the hexahedra's average table scaled by `factor`.
void writeScaledTables(const std::string& dir, float factor) {
  std::filesystem::copy(CAGEWARP_TAB_DIR, dir);
  const std::string avg = dir + "/mesh_avg47.tab";
  LoadedArray<float> table = loadArray<float>(avg);
  ASSERT_TRUE(table.status.ok) << table.status.message;
  table.array *= factor;
  writeBinaryArray(table.array, avg);
}

std::string hexCage(int k) {
  TempDir dir;
  scene::writeScene(scene::warpedHexCage(k), dir.file("c.txt"), "cage");
  return readFile(dir.file("c.txt"));
}

// The grid with two more rows per vertex (after x, y, z), which travel densely above the weights.
std::string hexCageWithExtraRows(int k) {
  const std::string cage = hexCage(k);
  const size_t header = cage.find("\nv 3 ") + 1;
  std::istringstream vertices(cage.substr(cage.find('\n', header) + 1));
  std::string text = cage.substr(0, header) + "v 5" +
                     cage.substr(header + 3, cage.find('\n', header) + 1 - header - 3);
  for (std::string line; std::getline(vertices, line);) text += line + " 0.25 -2\n";
  return text;
}

// The sparse weight columns give the dense path's bytes in every result: on the mixed cage
// (every volume type, with surface, line and point cells), on a hexahedral grid, and with a table
// set whose underflows leave -0 weights in the refined mesh.
TEST(WeightForms, SparseColumnsWriteTheDenseBytes) {
  struct Case {
    std::string name;
    std::string cage;
    std::vector<char> operations;
    float avgScale;  // of the hexahedra's average table; 1: the committed tables
    bool negativeZeros;
  };
  const std::vector<Case> cases = {
      {"mixed b s s", mixedCage, {'b', 's', 's'}, 1.0f, false},
      {"mixed l s", mixedCage, {'l', 's'}, 1.0f, false},
      {"mixed s", mixedCage, {'s'}, 1.0f, false},
      {"mixed b", mixedCage, {'b'}, 1.0f, false},
      {"grid b s s", hexCage(3), {'b', 's', 's'}, 1.0f, false},
      {"grid with extra rows, l s", hexCageWithExtraRows(3), {'l', 's'}, 1.0f, false},
      {"grid s, underflowing table", hexCage(2), {'s'}, -1e-44f, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    writeFile(dir.file("c.txt"), c.cage);
    writeFile(dir.file("m.txt"), latticeModel());
    Job job;
    job.controlFile = dir.file("c.txt");
    job.modelFile = dir.file("m.txt");
    job.binding.operations = c.operations;
    job.tableDirectory = CAGEWARP_TAB_DIR;
    if (c.avgScale != 1.0f) {
      job.tableDirectory = dir.file("tab");
      writeScaledTables(job.tableDirectory, c.avgScale);
    }
    const Results dense = runWith(job, WeightForm::dense, dir);
    const Results sparse = runWith(job, WeightForm::sparse, dir);
    EXPECT_TRUE(sparse.mat == dense.mat);
    EXPECT_TRUE(sparse.ind == dense.ind);
    EXPECT_TRUE(sparse.out == dense.out);
    EXPECT_EQ(negativeZeroWeights(dense.out, 3) > 0, c.negativeZeros);
    if (!c.negativeZeros) {
      EXPECT_GT(dense.ind.size(), 200u) << "too few vertices enclosed";
    }
  }
}

// The automatic choice: dense for small cages, sparse for larger ones unless a table that
// multiplies absent weights holds a value that is not finite.
TEST(WeightForms, SparseOnlyWhereItIsExactAndPays) {
  struct Case {
    int k;  // k^3 hexahedra
    float avgScale;
    bool sparse;
  };
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (const Case& c : {Case{4, 1.0f, false}, Case{5, 1.0f, true}, Case{5, nan, false}}) {
    TempDir dir;
    writeFile(dir.file("c.txt"), hexCage(c.k));
    writeFile(dir.file("m.txt"), "v 3 1\n0.5 0.5 0.5\n");
    Job job;
    job.controlFile = dir.file("c.txt");
    job.modelFile = dir.file("m.txt");
    job.tableDirectory = CAGEWARP_TAB_DIR;
    if (c.avgScale != 1.0f) {
      job.tableDirectory = dir.file("tab");
      writeScaledTables(job.tableDirectory, c.avgScale);
    }
    RunObserver quiet;
    const RunOutcome run = runJob(job, quiet);
    ASSERT_TRUE(run.status.ok) << run.status.message;
    EXPECT_EQ(run.control.hasSparseWeights(), c.sparse) << c.k << " " << c.avgScale;
  }
}

// Dense weight rows for 50,000 control vertices would count more elements than an int holds:
// the run ends as out of memory, which the front end reports, rather than aborting.
TEST(WeightForms, DenseRowsTooLargeToCountAreOutOfMemory) {
  TempDir dir;
  std::string cage = "v 3 50000\n";
  for (int i = 0; i < 50000; ++i) cage += "0 0 0\n";
  writeFile(dir.file("c.txt"), cage + "f 4 1\n0 1 2 3\n");
  writeFile(dir.file("m.txt"), "v 3 1\n0.1 0.1 0.1\n");
  Job job;
  job.controlFile = dir.file("c.txt");
  job.modelFile = dir.file("m.txt");
  job.tableDirectory = CAGEWARP_TAB_DIR;
  job.binding.weightForm = WeightForm::dense;
  RunObserver quiet;
  EXPECT_THROW(runJob(job, quiet), std::bad_alloc);
}

}  // namespace
}  // namespace cagewarp::testing
