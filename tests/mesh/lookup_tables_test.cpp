#include "mesh/lookup_tables.h"

#include <gtest/gtest.h>

#include "formats/array_file.h"
#include "mesh/cell_type.h"
#include "tests/support/committed_tables.h"
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

TEST(TableChecks, CommittedTablesServeEveryUser) {
  const LookupTables& tables = testing::committedLookupTables();
  const TableChecks& checks = tables.checked();
  for (int t = 0; t < cellTypeCount; ++t) {
    EXPECT_TRUE(checks.split[t].ok) << checks.split[t].message;
    EXPECT_TRUE(checks.averages[t].ok) << checks.averages[t].message;
    if (isVolumeType(t)) {
      EXPECT_TRUE(checks.cellFaces[t].ok) << checks.cellFaces[t].message;
    }
  }
  for (int t : {tetrahedronType, octahedronType})
    EXPECT_TRUE(checks.otherChildren[t].ok) << checks.otherChildren[t].message;
  for (int t : {triangleType, quadType}) EXPECT_TRUE(checks.blendFactors[t]) << t;
  for (const Status& face : checks.faceLists) EXPECT_TRUE(face.ok) << face.message;
  EXPECT_TRUE(checks.interfaceRules.ok);
  ASSERT_EQ(static_cast<int>(checks.rules.size()), tables.procTable.cols());
  for (const Status& rule : checks.rules) EXPECT_TRUE(rule.ok) << rule.message;
}

// Every check names the file in the directory actually read, and an edit takes effect once the
// tables are checked again.
TEST_F(TableLoader, ChecksNameTheFilesOfTheDirectoryRead) {
  testing::writeBinaryArray(IntMatrix(3, 1), dir.file("mesh_proc.tab"));
  Warnings warnings;
  LookupTables tables = loadLookupTables(dir.path().string(), warnings);
  const TableChecks& checks = tables.checked();
  EXPECT_EQ(checks.split[hexahedronType].message,
            dir.file("mesh_edg7.tab") + ", " + dir.file("mesh_qua7.tab") + ", " +
                dir.file("mesh_hex7.tab") + ", " + dir.file("mesh_cub7.tab") +
                ": expected 19 node groups in all, found 0");
  EXPECT_EQ(checks.otherChildren[octahedronType].message,
            dir.file("mesh_bas5.tab") + ": expected 32 entries, found 0");
  EXPECT_EQ(checks.faceLists[5].message,
            dir.file("mesh_zip5.tab") + ": holds 0 face indices, expected 24");
  EXPECT_EQ(checks.averages[quadType].message,
            dir.file("mesh_avg43.tab") + ": expected 4 rows and 1 to 4 columns, found 0 x 0");
  EXPECT_FALSE(checks.blendFactors[triangleType]);
  EXPECT_EQ(checks.cellFaces[prismType].message,
            dir.file("mesh_nrm6.tab") + ": missing or unreadable");
  EXPECT_EQ(checks.interfaceRules.message,
            dir.file("mesh_proc.tab") +
                ": expected 2 rows of face kinds, found 3; no interface is corrected");

  tables.procTable = IntMatrix(IntArray({2, 7}, 2));
  tables.mulTables[0] = Matrix(3, 3);
  checkTables(tables);
  ASSERT_EQ(tables.checked().rules.size(), 7u);
  EXPECT_TRUE(tables.checked().rules[0].ok);
  EXPECT_EQ(tables.checked().rules[1].message,
            dir.file("mesh_mul41.tab") + ": missing; rule 1 skipped");
  EXPECT_EQ(tables.checked().rules[6].message,
            dir.file("mesh_proc.tab") + ": rule 6 has no interface matrix; skipped");
}

}  // namespace
}  // namespace cagewarp
