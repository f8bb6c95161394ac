#include "formats/matrix_market.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "driver/pipeline.h"
#include "tests/support/matrix_market_text.h"
#include "tests/support/mixed_cage.h"
#include "tests/support/temp_dir.h"
#include "tests/support/weight_samples.h"

namespace cagewarp {
namespace {

using testing::MatrixMarketEntry;

// The same float: equal bits, or both NaN of the same sign (the text keeps no payload).
bool sameFloat(float a, float b) {
  if (std::isnan(a) || std::isnan(b))
    return std::isnan(a) && std::isnan(b) && std::signbit(a) == std::signbit(b);
  return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

// The file read back holds exactly the entries of the dense D that are not zero, column by
// column and rows ascending, at the column of the model vertex each one expresses.
void expectDenseEntries(const std::string& text, const Relation& relation, int modelVertices) {
  const testing::MatrixMarketText file = testing::parseMatrixMarket(text);
  EXPECT_EQ(file.banner, "%%MatrixMarket matrix coordinate real general");
  EXPECT_TRUE(file.wellFormed);
  EXPECT_EQ(file.rows, relation.deformation.rows);
  EXPECT_EQ(file.columns, modelVertices);
  EXPECT_EQ(file.entries, static_cast<int64_t>(file.lines.size()));
  const Matrix d = deformationMatrix(relation);
  std::vector<MatrixMarketEntry> expected;
  for (int c = 0; c < relation.enclosedIndices.count(); ++c)
    for (int i = 0; i < relation.deformation.rows; ++i)
      if (d(i, c) != 0.0f) expected.push_back({i + 1, relation.enclosedIndices[c] + 1, d(i, c)});
  ASSERT_EQ(file.lines.size(), expected.size());
  int mismatches = 0;
  for (size_t k = 0; k < expected.size() && mismatches < 5; ++k) {
    const MatrixMarketEntry& got = file.lines[k];
    if (got.row == expected[k].row && got.column == expected[k].column &&
        sameFloat(got.value, expected[k].value))
      continue;
    ++mismatches;
    ADD_FAILURE() << "line " << k << ": " << got.row << " " << got.column << " " << got.value
                  << ", expected " << expected[k].row << " " << expected[k].column << " "
                  << expected[k].value;
  }
}

// D of the mixed cage refined `b s s` with the lattice model around it.
Relation mixedRelation(const testing::TempDir& dir) {
  testing::writeFile(dir.file("c.txt"), testing::mixedCage);
  testing::writeFile(dir.file("m.txt"), testing::latticeModel());
  Job job;
  job.controlFile = dir.file("c.txt");
  job.modelFile = dir.file("m.txt");
  job.tableDirectory = CAGEWARP_TAB_DIR;
  job.binding.operations = {'b', 's', 's'};
  RunObserver quiet;
  RunOutcome run = runJob(job, quiet);
  EXPECT_TRUE(run.status.ok) << run.status.message;
  EXPECT_GT(run.relation.enclosedIndices.count(), 40);
  return std::move(run.relation);
}

// Refined D of a mixed cage, and sampled ones carrying listed zeros of both signs, NaN and the
// infinities, one of them spanning many pieces: the same text on any number of threads.
TEST(MatrixMarket, ReadsBackAsTheDenseMatrixOnAnyThreads) {
  testing::TempDir dir;
  struct Case {
    const char* name;
    Relation relation;
    int modelVertices;
  };
  Case cases[] = {
      {"mixed cage b s s", mixedRelation(dir), testing::latticeModelVertices},
      {"specials", testing::sampleRelation(6, 50, 3, 11), 101},
      {"many pieces", testing::sampleRelation(400, 9000, 40, 12), 18001},
      {"nothing enclosed", testing::sampleRelation(5, 0, 0, 13), 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string first;
    for (int threads : {1, 2, 7}) {
      ASSERT_TRUE(writeMatrixMarket(c.relation.deformation, c.relation.enclosedIndices,
                                    c.modelVertices, dir.file("d.mtx"), threads)
                      .ok);
      const std::string text = testing::readFile(dir.file("d.mtx"));
      if (first.empty()) {
        first = text;
        expectDenseEntries(text, c.relation, c.modelVertices);
      } else {
        EXPECT_TRUE(text == first) << threads << " threads";
      }
    }
  }
}

TEST(MatrixMarket, WritesNonFiniteValuesAsScipyReadsThem) {
  Relation relation;
  relation.enclosedIndices = IntArray({1}, 4);
  relation.deformation.rows = 6;
  const SparseEntry column[] = {{0, -0.0f},
                                {1, 0.1f},
                                {2, std::numeric_limits<float>::infinity()},
                                {3, -std::numeric_limits<float>::infinity()},
                                {4, std::numeric_limits<float>::quiet_NaN()},
                                {5, 0.0f}};
  relation.deformation.appendColumn(std::begin(column), std::end(column));
  testing::TempDir dir;
  ASSERT_TRUE(
      writeMatrixMarket(relation.deformation, relation.enclosedIndices, 7, dir.file("d.mtx")).ok);
  EXPECT_EQ(testing::readFile(dir.file("d.mtx")),
            "%%MatrixMarket matrix coordinate real general\n"
            "6 7 4\n2 5 0.1\n3 5 inf\n4 5 -inf\n5 5 nan\n");
}

TEST(MatrixMarket, AFileThatCannotBeCreatedFailsAndLeavesNothing) {
  testing::TempDir dir;
  const Relation relation = testing::sampleRelation(3, 3, 2, 1);
  const Status status = writeMatrixMarket(relation.deformation, relation.enclosedIndices, 3,
                                          dir.file("missing/d.mtx"));
  EXPECT_FALSE(status.ok);
  EXPECT_FALSE(std::filesystem::exists(dir.file("missing")));
}

}  // namespace
}  // namespace cagewarp
