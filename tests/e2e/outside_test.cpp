#include <gtest/gtest.h>

#include <string>

#include "formats/mesh_text.h"
#include "tests/e2e/program_runner.h"
#include "tests/support/outside_scenes.h"

namespace cagewarp {
namespace {

using testing::ProgramRunner;
using testing::RunResult;

// The box model at +-0.95, 12 points along an edge (728 in all), as OBJ vertices, and its
// 2 x 2 x 2 cage at +-1 as mesh text.
void writeBoxInBox(const ProgramRunner& runner) {
  const Mesh model = testing::cubeSurfacePoints(12, 0.95f);
  std::string obj;
  char line[96];
  for (int v = 0; v < model.vertexColumns(); ++v) {
    std::snprintf(line, sizeof line, "v %.9g %.9g %.9g\n", model.vertices(0, v),
                  model.vertices(1, v), model.vertices(2, v));
    obj += line;
  }
  runner.write("m.obj", obj);
  ASSERT_TRUE(writeText(testing::hexahedralCube(2, 1.0f), runner.file("c.txt")).ok);
}

TEST(Outside, NearestBindsWhatRefinementLeftOutAndTheReportSaysSo) {
  ProgramRunner runner;
  writeBoxInBox(runner);
  const RunResult keep = runner.run({"c.txt", "m.obj", "b", "s", "s"});
  ASSERT_EQ(keep.exitStatus, 0) << keep.err;
  const std::string lost = " of 728 model vertices are outside every cell, up to ";
  EXPECT_NE(keep.err.find(lost), std::string::npos) << keep.err;
  EXPECT_NE(keep.err.find(" from the refined cage's surface; they will not move\ncagewarp: "),
            std::string::npos)
      << keep.err;
  EXPECT_NE(keep.err.find(" of them are inside the control mesh as given: refinement pulled its "
                          "surface in by up to "),
            std::string::npos)
      << keep.err;

  const RunResult nearest = runner.run({"c.txt", "m.obj", "b", "s", "s", "--outside", "nearest"});
  ASSERT_EQ(nearest.exitStatus, 0) << nearest.err;
  EXPECT_EQ(nearest.err.find(lost), std::string::npos) << nearest.err;
  EXPECT_NE(nearest.err.find(" of 728 model vertices are outside every cell and bound to the "
                             "nearest one, up to "),
            std::string::npos)
      << nearest.err;
  EXPECT_NE(nearest.err.find("(reach 1)\n"), std::string::npos) << nearest.err;
  // The enclosed count is the same in both runs; the index list holds every vertex.
  const auto enclosedLine = [](const std::string& out) {
    const size_t end = out.find(" model vertices enclosed");
    return out.substr(out.rfind('\n', end) + 1, end - out.rfind('\n', end) - 1);
  };
  EXPECT_EQ(enclosedLine(nearest.out), enclosedLine(keep.out));
  EXPECT_NE(enclosedLine(keep.out), " 728 of 728");
  const std::string ind = runner.read("c.txt.ind");
  EXPECT_NE(ind.find("\n1\n728 \n0 1 2 3 "), std::string::npos) << ind.substr(0, 300);
  EXPECT_NE(ind.find(" 726 727 \n"), std::string::npos) << ind.substr(ind.size() - 100);
}

TEST(Outside, FittedCagesEncloseTheModel) {
  for (const char* shape : {"box", "fit"}) {
    ProgramRunner runner;
    writeBoxInBox(runner);
    runner.useBinary(CAGEWARP_CAGE_BINARY);
    const RunResult made = runner.run({shape, "3", "m.obj", "cage.vtk"});
    ASSERT_EQ(made.exitStatus, 0) << made.err;
    EXPECT_EQ(made.err.rfind(std::string("cagewarp-cage: ") + shape + ": ", 0), 0u) << made.err;
    EXPECT_NE(made.err.find("encloses the model after b s s"), std::string::npos) << made.err;
    runner.useBinary(CAGEWARP_BINARY);
    const RunResult bound = runner.run({"cage.vtk", "m.obj", "b", "s", "s"});
    ASSERT_EQ(bound.exitStatus, 0) << bound.err;
    EXPECT_EQ(bound.err, "");
    EXPECT_NE(bound.out.find(" 728 of 728 model vertices enclosed"), std::string::npos);
  }
  ProgramRunner runner;
  runner.useBinary(CAGEWARP_CAGE_BINARY);
  EXPECT_EQ(runner.run({"cube", "3", "m.obj", "cage.vtk"}).exitStatus, 2);
  EXPECT_EQ(runner.run({"box", "3", "missing.obj", "cage.vtk"}).exitStatus, 1);
}

}  // namespace
}  // namespace cagewarp
