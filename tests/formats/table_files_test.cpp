#include "formats/table_files.h"

#include <gtest/gtest.h>

#include "tests/support/table_writer.h"
#include "tests/support/temp_dir.h"

namespace cagewarp {
namespace {

class TableLoader : public ::testing::Test {
 protected:
  testing::TempDir dir;
};

TEST_F(TableLoader, MissingDirectoryGivesAnEmptySetSilently) {
  Warnings warnings;
  ::testing::internal::CaptureStdout();
  const LookupTables tables = loadLookupTables(dir.file("absent"), warnings);
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
  EXPECT_TRUE(warnings.empty());
  EXPECT_TRUE(tables.procTable.isEmpty());
  for (int t = 0; t < 8; ++t) {
    for (int k = 1; k <= 4; ++k) EXPECT_EQ(tables.nodeTable(t, k), nullptr);
    EXPECT_TRUE(tables.uniTables[t].isEmpty());
    EXPECT_TRUE(tables.avgTables[t].isEmpty());
  }
  EXPECT_TRUE(tables.nrmTables[9].isEmpty());
}

TEST_F(TableLoader, NodeTablesWithoutElementsAreAbsent) {
  testing::writeBinaryArray(IntMatrix(2, 0), dir.file("mesh_edg0.tab"));
  IntMatrix edges(2, 3);
  edges[5] = 1;
  testing::writeBinaryArray(edges, dir.file("mesh_edg4.tab"));
  Warnings warnings;
  const LookupTables tables = loadLookupTables(dir.path().string(), warnings);
  EXPECT_EQ(tables.nodeTable(0, 1), nullptr);
  ASSERT_NE(tables.nodeTable(4, 1), nullptr);
  EXPECT_EQ(tables.nodeTable(4, 1)->cols(), 3);
  EXPECT_EQ(tables.nodeTable(4, 2), nullptr);
}

TEST_F(TableLoader, EachTableComesFromItsOwnFile) {
  testing::writeBinaryArray(IntArray::fromValues({0, 1}), dir.file("mesh_proc.tab"));
  testing::writeBinaryArray(IntArray::fromValues({9}), dir.file("mesh_nrm9.tab"));
  testing::writeBinaryArray(IntArray::fromValues({8}), dir.file("mesh_zip8.tab"));
  testing::writeBinaryArray(FloatArray::fromValues({0.5f}), dir.file("mesh_avg47.tab"));
  testing::writeBinaryArray(FloatArray::fromValues({2.5f}), dir.file("mesh_cor43.tab"));
  testing::writeBinaryArray(FloatArray::fromValues({-1.0f}), dir.file("mesh_mul45.tab"));
  Warnings warnings;
  const LookupTables tables = loadLookupTables(dir.path().string(), warnings);
  EXPECT_EQ(tables.procTable.count(), 2);
  EXPECT_EQ(tables.nrmTables[9][0], 9);
  EXPECT_EQ(tables.zipTables[8][0], 8);
  EXPECT_TRUE(tables.nrmTables[7].isEmpty());
  EXPECT_EQ(tables.avgTables[7][0], 0.5f);
  EXPECT_TRUE(tables.avgTables[6].isEmpty());
  EXPECT_EQ(tables.corTables[3][0], 2.5f);
  EXPECT_EQ(tables.mulTables[5][0], -1.0f);
  EXPECT_TRUE(warnings.empty());
}

TEST_F(TableLoader, MalformedTableIsEmptyWithAWarningNamingIt) {
  testing::writeFile(dir.file("mesh_uni7.tab"), std::string("\x02\x00\x00\x00\x08\x00", 6));
  Warnings warnings;
  const LookupTables tables = loadLookupTables(dir.path().string(), warnings);
  EXPECT_TRUE(tables.uniTables[7].isEmpty());
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_EQ(warnings[0].find(dir.file("mesh_uni7.tab") + ": "), 0u) << warnings[0];
  EXPECT_EQ(tables.fileName("uni", 7), dir.file("mesh_uni7.tab"));
  EXPECT_EQ(tables.fileName("proc"), dir.file("mesh_proc.tab"));
}

}  // namespace
}  // namespace cagewarp
