#include <gtest/gtest.h>

#include "tests/e2e/program_runner.h"
#include "tools/scene.h"

namespace cagewarp::testing {
namespace {

// One tetrahedron with its triangle 0,1,2 turning towards vertex 3, and one with its corners
// shifted by 2 along x, so a point can lie in the first, the second or neither.
const std::string oneTetrahedron =
    "% one tetrahedron\n"
    "v 3 4\n0 0 0  1 0 0  0 1 0  0 0 1\n"
    "f 4 1\n0 1 2 3\n";
const std::string threePoints =
    "v 3 3\n"
    "0.25 0.25 0.25\n"
    "5 5 5\n"
    "0.1 0.2 0.3\n";

TEST(Program, WithoutArgumentsShowsUsageAndWaitsForEnter) {
  ProgramRunner runner;
  const RunResult r = runner.run({}, "\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "3D mesh<=>model relator for deformation. available at https://cagewarp.org\n"
            "\n"
            "usage: cagewarp filename1 filename2 [options]\n"
            "\n"
            "filename1 is mesh file of volumetric control mesh\n"
            "filename2 is mesh file of model that is to be deformed\n"
            "options: arbitrary sequence of the characters \n"
            "         b - add boundary\n"
            "         l - linear subdivision\n"
            "         s - normal subdivision\n"
            "to described how to yield the subdivided control mesh (not model mesh).\n"
            "Operations b,l,s are performed in order of appearance.\n"
            " Note: Use multiple s for smooth deformation!\n"
            "Matrix D for deformation is stored in filename1.mat.\n"
            "Not all model vertices have to be enclosed in which case make sure\n"
            "you read the involved model vertex indices from filename1.ind.\n"
            "\n"
            "Example: cagewarp control.txt model.txt b s s s\n"
            "hit ENTER to continue...\n");
}

TEST(Program, OneArgumentIsAUsageError) {
  ProgramRunner runner;
  runner.write("c.txt", oneTetrahedron);
  const RunResult r = runner.run({"c.txt"});
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err,
            "cagewarp: no model mesh file given\n"
            "usage: cagewarp CONTROL MODEL [b|l|s|o ...] [--deform MOVED OUT ...] [--tables DIR] "
            "[--threads N] [--cage-out FILE] [--coordinates NAME] [--outside MODE] [--mtx] "
            "[--no-matrix] [--keep-normals] [--help] [--version]\n");
  EXPECT_FALSE(runner.exists("c.txt.mat"));
}

TEST(Program, RunWithoutOptionsWritesDAndTheIndexList) {
  ProgramRunner runner;
  runner.write("c.txt", oneTetrahedron);
  runner.write("m.txt", threePoints);
  const RunResult r = runner.run({"c.txt", "m.txt"});
  EXPECT_EQ(r.exitStatus, 0);
  // (5, 5, 5) is 14 / sqrt(3) from the tetrahedron's face x + y + z = 1.
  EXPECT_EQ(r.err,
            "cagewarp: 1 of 3 model vertices are outside every cell, up to 8.0829 from the cage's "
            "surface; they will not move\n");
  EXPECT_EQ(withoutAddresses(r.out),
            "load control mesh: c.txt\n"
            "control mesh: [0,0|2D:0,0|3D:1,0,0,0]::3x4:xyz@0\n"
            "load model mesh: m.txt\n"
            "model mesh: [0,0|2D:0,0|3D:0,0,0,0]::3x3:xyz@0\n"
            " 2 of 3 model vertices enclosed by subdiv. volume mesh\n"
            "matrix D output to:\n"
            "c.txt.mat <-T\t [4x2]=8\tdata:@\n"
            "0.25\t0.4\t\n"
            "0.25\t0.1\t\n"
            "0.25\t0.2\t\n"
            "0.25\t0.3\t\n"
            "model vertex indices affected by multiplication are in:\n"
            "c.txt.ind <-T\t [2]=2\tdata:@\n"
            "0\t2\t\n");
  EXPECT_EQ(runner.read("c.txt.mat"),
            arrayHeader + "2\n4 2 \n0.25 0.25 0.25 0.25 0.4 0.1 0.2 0.3 \n");
  EXPECT_EQ(runner.read("c.txt.ind"), arrayHeader + "1\n2 \n0 2 \n");
  EXPECT_FALSE(runner.exists("c.txt.out"));
}

TEST(Program, IgnoredOptionsAndRefinedOutputWrittenAfterAllOperations) {
  ProgramRunner runner;
  runner.write("c.txt", oneTetrahedron);
  runner.write("m.txt", threePoints);
  const RunResult r = runner.run({"c.txt", "m.txt", "o", "x", "B", "-s", "", "lin"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  const std::string out = withoutAddresses(r.out);
  EXPECT_NE(out.find("model mesh: [0,0|2D:0,0|3D:0,0,0,0]::3x3:xyz@0\n"
                     "linear subdivision\n"
                     "subdivided control mesh stored in: c.txt.out\n"
                     "subdivided control mesh: [0,0|2D:0,0|3D:4,1,0,0]::7x10:xyz@0\n"
                     " 2 of 3 model vertices enclosed by subdiv. volume mesh\n"),
            std::string::npos)
      << out;
  EXPECT_TRUE(runner.exists("c.txt.out"));
  EXPECT_EQ(runner.read("c.txt.ind"), arrayHeader + "1\n2 \n0 2 \n");
}

TEST(Program, OperationsPrintTheirLinesInOrder) {
  ProgramRunner runner;
  runner.write("c.txt", oneTetrahedron);
  runner.write("m.txt", threePoints);
  const RunResult r = runner.run({"c.txt", "m.txt", "b", "s", "l", "s"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(
      r.out.find("add boundary\nnormal subdivision\nlinear subdivision\nnormal subdivision\n"),
      std::string::npos);
}

TEST(Program, UnreadableInputsStopWithAMessageAndNoResults) {
  ProgramRunner runner;
  runner.write("m.txt", threePoints);
  RunResult r = runner.run({"absent.txt", "m.txt"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.out, "load control mesh: absent.txt\n");
  EXPECT_NE(r.err.find("cagewarp: absent.txt"), std::string::npos) << r.err;
  EXPECT_FALSE(runner.exists("absent.txt.mat"));

  runner.write("c.txt", oneTetrahedron);
  runner.write("bad.txt", "v 3 2\n0 0 0\n1 1 zz\n");
  r = runner.run({"c.txt", "bad.txt"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("cagewarp: bad.txt:3:"), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1);
  EXPECT_FALSE(runner.exists("c.txt.mat"));
  EXPECT_FALSE(runner.exists("c.txt.ind"));
}

// A directory where D goes would be replaced by the rename that completes D: refused before
// anything is read or written.
TEST(Program, AnOutputThatIsADirectoryStopsTheRunBeforeAnythingIsWritten) {
  ProgramRunner runner;
  runner.write("c.txt", oneTetrahedron);
  runner.write("m.txt", threePoints);
  std::filesystem::create_directory(runner.file("c.txt.mat"));
  const RunResult r = runner.run({"c.txt", "m.txt"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("cagewarp: c.txt.mat"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_TRUE(std::filesystem::is_directory(runner.file("c.txt.mat")));
  EXPECT_FALSE(runner.exists("c.txt.ind"));
}

TEST(Program, TablesMissingFromTheNamedDirectoryStopTheRefinement) {
  ProgramRunner runner;
  runner.write("c.txt", oneTetrahedron);
  runner.write("m.txt", threePoints);
  std::filesystem::create_directory(runner.file("empty"));
  const RunResult r = runner.run({"c.txt", "m.txt", "l", "--tables", "empty"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("cagewarp: empty/mesh_"), std::string::npos) << r.err;
  EXPECT_FALSE(runner.exists("c.txt.mat"));
}

// A broken table is reported once as it loads, then by each step that needs it, when it needs it.
// The directory is named: one found by the search must hold every table file.
TEST(Program, BrokenTablesAreReportedByTheStepsThatNeedThem) {
  ProgramRunner runner(false);
  std::filesystem::copy(CAGEWARP_TAB_DIR, runner.file("tab"));
  runner.write("tab/mesh_mul40.tab", std::string("\x02\x00\x00\x00\x03\x00", 6));
  std::filesystem::remove(runner.file("tab/mesh_nrm4.tab"));
  runner.write("c.txt", oneTetrahedron);
  runner.write("m.txt", threePoints);
  const RunResult r = runner.run({"c.txt", "m.txt", "s", "s", "--tables", "tab"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.err,
            "cagewarp: warning: tab/mesh_mul40.tab: too short to hold its 2 sizes; the table is "
            "left empty\n"
            "cagewarp: warning: tab/mesh_mul40.tab: missing; rule 0 skipped\n"
            "cagewarp: warning: tab/mesh_mul40.tab: missing; rule 0 skipped\n"
            "cagewarp: warning: tab/mesh_nrm4.tab: missing or unreadable; tetrahedra enclose no "
            "model vertex\n"
            "cagewarp: 3 of 3 model vertices are outside every cell, up to 6.9282 from the control "
            "mesh's bounding box; they will not move\n");
  EXPECT_NE(r.out.find(" 0 of 3 model vertices enclosed"), std::string::npos) << r.out;
}

TEST(Program, RunningOutOfMemoryEndsWithAMessage) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
  GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#endif
  ProgramRunner runner;
  scene::writeScene(scene::warpedHexCage(6), runner.file("c.txt"), "cage");
  runner.write("m.txt", threePoints);
  for (const char* result : {"c.txt.mat", "c.txt.ind", "c.txt.out"})
    runner.write(result, "earlier");
  // Four smooth steps on 216 hexahedra need far more than 150 MB.
  const RunResult r =
      runner.run({"c.txt", "m.txt", "s", "s", "s", "s", "o"}, "", {.memoryKiB = 150000});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.err, "cagewarp: out of memory while subdividing\n");
  EXPECT_NE(r.out.find("normal subdivision\n"), std::string::npos);
  for (const char* result : {"c.txt.mat", "c.txt.ind", "c.txt.out"})
    EXPECT_EQ(runner.read(result), "earlier") << result;
}

TEST(Program, BundledExampleRuns) {
  ProgramRunner runner;
  std::filesystem::copy_file(CAGEWARP_SOURCE_DIR "/examples/cage.txt", runner.file("cage.txt"));
  std::filesystem::copy_file(CAGEWARP_SOURCE_DIR "/examples/model.txt", runner.file("model.txt"));
  const RunResult r = runner.run({"cage.txt", "model.txt", "--deform",
                                  CAGEWARP_SOURCE_DIR "/examples/cage_bent.txt", "bent.txt"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.out.find(" 3122 of 3122 model vertices enclosed"), std::string::npos) << r.out;
  EXPECT_TRUE(runner.exists("bent.txt"));
}

}  // namespace
}  // namespace cagewarp::testing
