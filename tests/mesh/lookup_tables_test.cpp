#include "mesh/lookup_tables.h"

#include <gtest/gtest.h>

#include "formats/table_files.h"
#include "mesh/cell_type.h"
#include "tests/support/committed_tables.h"
#include "tests/support/table_writer.h"
#include "tests/support/temp_dir.h"

namespace cagewarp {
namespace {

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
TEST(TableChecks, ChecksNameTheFilesOfTheDirectoryRead) {
  testing::TempDir dir;
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
