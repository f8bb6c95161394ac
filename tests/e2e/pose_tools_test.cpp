// The helper tools read a cage in any format the program reads, as the program does.
#include <gtest/gtest.h>

#include <string>

#include "formats/cage_file.h"
#include "tests/e2e/program_runner.h"
#include "tests/support/cage_checks.h"

namespace cagewarp::testing {
namespace {

TEST(PoseTools, ReadEveryCageFormat) {
  ProgramRunner runner;
  const Mesh cage = meshOf({0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1}, {{tetrahedronType, {0, 1, 2, 3}}});
  ASSERT_TRUE(writeCage(cage, runner.file("c.vtk")).ok);
  ASSERT_TRUE(writeCage(cage, runner.file("c.msh")).ok);
  ASSERT_TRUE(writeCage(cage, runner.file("c.mesh")).ok);
  runner.write("c.node", "4 3 0 0\n1 0 0 0\n2 1 0 0\n3 0 1 0\n4 0 0 1\n");
  runner.write("c.ele", "1 4 0\n1 1 2 3 4\n");
  runner.write("m.txt", "v 3 2\n0.25 0.25 0.25\n0.1 0.2 0.3\n");
  ASSERT_EQ(runner.run({"c.vtk", "m.txt"}).exitStatus, 0);

  ProgramRunner tools;
  for (const char* format : {"c.vtk", "c.msh", "c.mesh", "c.ele"}) {
    SCOPED_TRACE(format);
    tools.useBinary(CAGEWARP_POSE_CAGE);
    RunResult r = tools.run({"twist", "90", runner.file(format), runner.file("twisted.vtk")});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    Mesh twisted;
    Warnings warnings;
    ASSERT_TRUE(readCage(runner.file("twisted.vtk"), twisted, warnings).ok);
    ASSERT_EQ(twisted.vertexColumns(), 4);
    // The top corner turns a quarter about the box's vertical axis; the bottom stays.
    const float* top = twisted.vertices.column(3) + twisted.xyzRow;
    EXPECT_NEAR(top[0], 1.0f, 1e-6f);
    EXPECT_NEAR(top[1], 0.0f, 1e-6f);
    EXPECT_EQ(twisted.vertices(twisted.xyzRow, 1), 1.0f);

    tools.useBinary(CAGEWARP_REST_POSE_ERROR);
    r = tools.run({runner.file(format), runner.file("m.txt"), runner.file("c.vtk.mat"),
                   runner.file("c.vtk.ind")});
    EXPECT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.out.rfind("enclosed 2 of 2; cage size 1;", 0), 0U) << r.out;
  }
  tools.useBinary(CAGEWARP_POSE_CAGE);
  const RunResult r = tools.run({"bend", "30", runner.file("c.msh"), runner.file("bent.ele")});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("bent.ele: cannot write TetGen files"), std::string::npos) << r.err;
}

}  // namespace
}  // namespace cagewarp::testing
