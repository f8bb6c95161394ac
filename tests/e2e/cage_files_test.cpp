// Cage files through the pipeline and the program: read as control and model, written with
// --cage-out and read back.
#include <gtest/gtest.h>

#include <cmath>

#include "driver/pipeline.h"
#include "formats/cage_file.h"
#include "formats/mesh_text.h"
#include "tests/e2e/program_runner.h"
#include "tests/support/cage_checks.h"

namespace cagewarp::testing {
namespace {

// A hexahedron, a prism on top of it and a tetrahedron on the prism: after `b s` it holds
// octahedra, which the cage formats lack, besides every other volume type.
const std::string mixedCage =
    "v 3 12\n0 0 0  1 0 0  1 1 0  0 1 0  0 0 1  1 0 1  1 1 1  0 1 1  0 0 2  1 0 2  0 1 2  "
    "0.3 0.3 2.6\n"
    "f 7 1\n0 1 2 3 4 5 6 7\nf 6 1\n4 5 7 8 9 10\nf 4 1\n8 9 10 11\n";
const std::string twoPoints = "v 3 2\n0.5 0.5 0.5\n0.2 0.2 2.1\n";

// The refined cage of `b s`, written in every format, reads back as the same positions and
// cells: octahedra as their four tetrahedra after the others, except in our text format, which
// has them; its positions have the six digits of the text format.
TEST(CageOut, RefinedMixedCageReadsBackInEveryFormat) {
  TempDir dir;
  writeFile(dir.file("cage.txt"), mixedCage);
  writeFile(dir.file("model.txt"), twoPoints);
  for (const char* name : {"refined.vtk", "refined.msh", "refined.mesh", "refined.txt"}) {
    SCOPED_TRACE(name);
    Job job;
    job.controlFile = dir.file("cage.txt");
    job.modelFile = dir.file("model.txt");
    job.binding.operations = {'b', 's'};
    job.tableDirectory = CAGEWARP_TAB_DIR;
    job.outputs.cageOutFile = dir.file(name);
    RunObserver quiet;
    const RunOutcome run = runJob(job, quiet);
    ASSERT_TRUE(run.status.ok) << run.status.message;
    ASSERT_TRUE(run.cageOut.ok) << run.cageOut.message;
    const Mesh& refined = run.control;
    ASSERT_GT(refined.cellCount(octahedronType), 0);

    Mesh mesh(3);
    Warnings warnings;
    const Status read = readCage(job.outputs.cageOutFile, mesh, warnings);
    ASSERT_TRUE(read.ok) << read.message;
    EXPECT_TRUE(warnings.empty()) << warnings.front();
    ASSERT_EQ(mesh.vertexRows(), 3);
    ASSERT_EQ(mesh.vertexColumns(), refined.vertexColumns());
    const bool text = std::string(name) == "refined.txt";
    for (int v = 0; v < refined.vertexColumns(); ++v)
      for (int r = 0; r < 3; ++r) {
        const float expected = refined.vertices(refined.xyzRow + r, v);
        const float tolerance = text ? 5e-6f * std::max(1.0f, std::fabs(expected)) : 0.0f;
        ASSERT_NEAR(mesh.vertices(r, v), expected, tolerance) << "vertex " << v;
      }
    for (int t : {0, 1, 2, 3, 6, 7}) EXPECT_EQ(mesh.cells[t], refined.cells[t]) << t;
    if (text) {
      EXPECT_EQ(mesh.cells[octahedronType], refined.cells[octahedronType]);
      EXPECT_EQ(mesh.cells[tetrahedronType], refined.cells[tetrahedronType]);
      continue;
    }
    const IntArray& octahedra = refined.cells[octahedronType];
    const IntArray& tetrahedra = refined.cells[tetrahedronType];
    IntArray expected({4, tetrahedra.cols() + 4 * octahedra.cols()}, 0);
    std::copy(tetrahedra.data(), tetrahedra.data() + tetrahedra.count(), expected.data());
    for (int j = 0; j < octahedra.cols(); ++j)
      octahedronTetrahedra(octahedra.column(j), expected.column(tetrahedra.cols() + 4 * j));
    EXPECT_EQ(mesh.cellCount(octahedronType), 0);
    EXPECT_EQ(mesh.cells[tetrahedronType], expected);
    EXPECT_EQ(volumeSummary(mesh).nonPositive, 0);
  }
}

// The cage file is a result like the others, without a line of its own on standard output: a
// failure to write it is reported and fails the run, and D is still written. Unrefined, the
// written cage relates the model as the text cage does.
TEST(CageOut, ProgramWritesTheCageBesideTheResults) {
  ProgramRunner runner;
  runner.write("c.txt", mixedCage);
  runner.write("m.txt", twoPoints);
  const RunResult plain = runner.run({"c.txt", "m.txt", "b", "s"});
  ASSERT_EQ(plain.exitStatus, 0) << plain.err;
  const std::string matrix = runner.read("c.txt.mat");

  RunResult r = runner.run({"c.txt", "m.txt", "b", "--cage-out", "cage.msh", "s"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(r.err, plain.err);
  EXPECT_EQ(withoutAddresses(r.out), withoutAddresses(plain.out));
  EXPECT_EQ(runner.read("c.txt.mat"), matrix);
  EXPECT_EQ(runner.read("cage.msh").rfind("$MeshFormat\n2.2 0 8\n", 0), 0u);

  r = runner.run({"c.txt", "m.txt", "b", "s", "--cage-out", "absent/cage.vtk"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_EQ(r.err.rfind(plain.err + "cagewarp: absent/cage.vtk: cannot create", 0), 0u) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'),
            std::count(plain.err.begin(), plain.err.end(), '\n') + 1)
      << r.err;
  EXPECT_EQ(withoutAddresses(r.out), withoutAddresses(plain.out));
  EXPECT_EQ(runner.read("c.txt.mat"), matrix);

  // Unrefined, the written cage is the control mesh itself, down to D's bytes.
  r = runner.run({"c.txt", "m.txt", "--cage-out", "plain.msh"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  r = runner.run({"plain.msh", "m.txt"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(runner.read("plain.msh.mat"), runner.read("c.txt.mat"));

  r = runner.run({"c.txt", "m.txt", "--cage-out"});
  EXPECT_EQ(r.exitStatus, 2);
  EXPECT_EQ(r.err.rfind("cagewarp: --cage-out needs a file name\nusage: ", 0), 0u) << r.err;
}

// Cage files as control and model, through the program: their warnings on standard error, their
// failures as one message, standard output as for a text cage.
TEST(CageIn, ProgramReadsCageFilesAsControlAndModel) {
  const std::string vtkHead =
      "# vtk DataFile Version 2.0\nc\nASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS 5 float\n"
      "0 0 0 1 0 0 1 1 0 0 1 0 0.5 0.5 1\n";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    int exitStatus;
    std::string err;  // standard error
    std::string out;  // what standard output contains
  };
  const Case cases[] = {
      {"pyramid",
       {"p.vtk", "m.txt"},
       0,
       "cagewarp: warning: p.vtk: 1 pyramids read as two tetrahedra each\n"
       "cagewarp: 1 of 2 model vertices are outside every cell, up to 1.17898 from the cage's "
       "surface; they will not move\n",
       "load control mesh: p.vtk\ncontrol mesh: [0,0|2D:0,0|3D:2,0,0,0]::3x5:xyz@0\n"},
      {"model from a cage file",
       {"p.vtk", "p.vtk"},
       0,
       "cagewarp: warning: p.vtk: 1 pyramids read as two tetrahedra each\n"
       "cagewarp: warning: p.vtk: 1 pyramids read as two tetrahedra each\n",
       "load model mesh: p.vtk\nmodel mesh: [0,0|2D:0,0|3D:2,0,0,0]::3x5:xyz@0\n"},
      {"unknown cell type",
       {"u.vtk", "m.txt"},
       1,
       "cagewarp: u.vtk: cell type 42 is not supported\n",
       "load control mesh: u.vtk\n"},
      {"malformed model",
       {"c.txt", "cut.msh"},
       1,
       "cagewarp: cut.msh:5: node count 4 is larger than the file can hold\n",
       "load model mesh: cut.msh\n"},
  };
  {
    ProgramRunner runner;
    runner.write("p.vtk", vtkHead + "CELLS 1 6\n5 0 1 2 3 4\nCELL_TYPES 1\n14\n");
    runner.write("u.vtk", vtkHead + "CELLS 1 6\n5 0 1 2 3 4\nCELL_TYPES 1\n42\n");
    runner.write("cut.msh", "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n4\n1 0 0 0\n");
    runner.write("m.txt", twoPoints);
    runner.write("c.txt", mixedCage);
    for (const Case& c : cases) {
      SCOPED_TRACE(c.name);
      const RunResult r = runner.run(c.args);
      EXPECT_EQ(r.exitStatus, c.exitStatus);
      EXPECT_EQ(r.err, c.err);
      EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
      EXPECT_EQ(runner.exists(c.args[0] + ".mat"), c.exitStatus == 0);
    }
  }
}

}  // namespace
}  // namespace cagewarp::testing
