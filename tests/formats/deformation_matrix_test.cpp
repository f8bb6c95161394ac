#include "formats/deformation_matrix.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "relate/deformation.h"
#include "tests/support/temp_dir.h"
#include "tests/support/weight_samples.h"

namespace cagewarp {
namespace {

// A D of more entries than an int counts (50,000 control vertices, 50,000 enclosed model
// vertices) cannot be an array file: writing it fails with a message and leaves no file.
TEST(SaveDeformationMatrix, ADeformationMatrixTooLargeForAnArrayFileIsRefused) {
  SparseColumns d;
  d.rows = 50000;
  const SparseEntry one{0, 1.0f};
  for (int j = 0; j < 50000; ++j) d.appendColumn(&one, &one + 1);
  testing::TempDir dir;
  const Status status = saveDeformationMatrix(d, dir.file("c.mat"));
  EXPECT_FALSE(status.ok);
  EXPECT_NE(status.message.find("2500000000 entries"), std::string::npos) << status.message;
  EXPECT_FALSE(std::filesystem::exists(dir.file("c.mat")));
}

// Written from the columns in pieces on any number of threads, D's text is byte for byte what
// saveArray writes for the dense matrix: small shapes (listed in the echo), empty ones, and one
// spanning many pieces and rounds of pieces.
TEST(SaveDeformationMatrix, TextEqualsTheDenseMatrixTextOnAnyThreads) {
  struct Case {
    int rows, columns, perColumn;
  };
  const Case cases[] = {{3, 4, 2}, {4, 0, 0}, {7, 90, 0}, {300, 12000, 20}, {2, 700000, 1}};
  testing::TempDir dir;
  for (const Case& c : cases) {
    const Relation relation = testing::sampleRelation(c.rows, c.columns, c.perColumn, 7);
    ASSERT_TRUE(saveArray(deformationMatrix(relation), dir.file("dense.mat")).ok);
    const std::string dense = testing::readFile(dir.file("dense.mat"));
    for (int threads : {1, 2, 7}) {
      ASSERT_TRUE(
          saveDeformationMatrix(relation.deformation, dir.file("d.mat"), Echo::off, threads).ok);
      EXPECT_TRUE(testing::readFile(dir.file("d.mat")) == dense)
          << c.rows << " x " << c.columns << " on " << threads << " threads";
    }
  }
}

}  // namespace
}  // namespace cagewarp
