// Cages written by the mesh generators themselves, generated during the test run where they are
// installed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/cage_file.h"
#include "tests/support/cage_checks.h"
#include "tests/support/temp_dir.h"

namespace cagewarp {
namespace {

using testing::cellPositions;
using testing::TempDir;
using testing::volumeSummary;

constexpr double boxVolume = 2.0 * 1.0 * 1.5;

// A 2 x 1 x 1.5 box: meshed freely, then as a transfinite hexahedral grid, then as prisms
// extruded from a triangulated base.
const std::string boxBase =
    "Point(1)={0,0,0,0.6}; Point(2)={2,0,0,0.6}; Point(3)={2,1,0,0.6}; Point(4)={0,1,0,0.6};\n"
    "Line(1)={1,2}; Line(2)={2,3}; Line(3)={3,4}; Line(4)={4,1};\n"
    "Curve Loop(1)={1,2,3,4}; Plane Surface(1)={1};\n";
struct GmshGrid {
  const char* name;
  std::string geometry;
  int volumeType;
  int expectedCount;  // 0: any positive number
};
const GmshGrid gmshGrids[] = {
    {"tetrahedra", boxBase + "Extrude {0,0,1.5} { Surface{1}; }\n", tetrahedronType, 0},
    {"hexahedra",
     boxBase + "Transfinite Curve{1,3}=3; Transfinite Curve{2,4}=2; Transfinite Surface{1};\n"
               "Recombine Surface{1};\nExtrude {0,0,1.5} { Surface{1}; Layers{2}; Recombine; }\n",
     hexahedronType, 4},
    {"prisms", boxBase + "Extrude {0,0,1.5} { Surface{1}; Layers{2}; Recombine; }\n", prismType, 0},
};
// Every variant gmsh writes the mesh in: file name and gmsh options.
const std::pair<const char*, const char*> gmshVariants[] = {
    {"a22.msh", "-format msh22"}, {"b22.msh", "-format msh22 -bin"},
    {"a41.msh", "-format msh41"}, {"b41.msh", "-format msh41 -bin"},
    {"a.vtk", "-format vtk"},     {"b.vtk", "-format vtk -bin"},
    {"m.mesh", "-format mesh"},
};

// What every box read from a tool must hold.
void expectSoundBox(const Mesh& mesh, const Warnings& warnings, int volumeType, int expectedCount,
                    const std::string& file) {
  SCOPED_TRACE(file);
  EXPECT_TRUE(warnings.empty()) << warnings.front();
  const testing::VolumeSummary volumes = volumeSummary(mesh);
  EXPECT_EQ(volumes.nonPositive, 0);
  EXPECT_NEAR(volumes.total, boxVolume, 1e-5);
  for (int t = tetrahedronType; t <= hexahedronType; ++t)
    if (t != volumeType) {
      EXPECT_EQ(mesh.cellCount(t), 0) << "type " << t;
    }
  if (expectedCount > 0) {
    EXPECT_EQ(mesh.cellCount(volumeType), expectedCount);
  } else {
    EXPECT_GT(mesh.cellCount(volumeType), 0);
  }
}

TEST(CageTools, GmshGridsReadAlikeInEveryFormatAndVersion) {
  if (!testing::toolOnPath("gmsh")) GTEST_SKIP() << "gmsh is not on PATH";
  TempDir dir;
  for (const GmshGrid& grid : gmshGrids) {
    SCOPED_TRACE(grid.name);
    const std::string geo = dir.file(std::string(grid.name) + ".geo");
    testing::writeFile(geo, grid.geometry);
    std::vector<std::vector<float>> reference[cellTypeCount];
    for (const auto& [suffix, options] : gmshVariants) {
      // gmsh's Medit writer leaves prisms out.
      if (grid.volumeType == prismType && std::string(suffix) == "m.mesh") continue;
      const std::string file = dir.file(std::string(grid.name) + "-" + suffix);
      ASSERT_TRUE(
          testing::runQuietly("gmsh -3 " + std::string(options) + " " + geo + " -o " + file));
      Mesh mesh(3);
      Warnings warnings;
      const Status status = readCage(file, mesh, warnings);
      ASSERT_TRUE(status.ok) << status.message;
      expectSoundBox(mesh, warnings, grid.volumeType, grid.expectedCount, file);
      // The same cells in the same local orders, and the same boundary cells, whatever the
      // format. Medit has no point cells.
      for (int t = lineType; t < cellTypeCount; ++t) {
        if (reference[t].empty()) reference[t] = cellPositions(mesh, t);
        EXPECT_EQ(cellPositions(mesh, t), reference[t]) << file << " type " << t;
      }
    }
  }
}

TEST(CageTools, TetgenBoxReadAlikeFromEleAndMedit) {
  if (!testing::toolOnPath("tetgen")) GTEST_SKIP() << "tetgen is not on PATH";
  TempDir dir;
  // The box's corners and one point inside it; TetGen numbers points from 1 here.
  testing::writeFile(dir.file("box.node"),
                     "# box\n9 3 0 0\n1 0 0 0\n2 2 0 0\n3 2 1 0\n4 0 1 0\n"
                     "5 0 0 1.5\n6 2 0 1.5\n7 2 1 1.5\n8 0 1 1.5\n9 1 0.5 0.75\n");
  ASSERT_TRUE(testing::runQuietly("tetgen -Qg " + dir.file("box.node")));
  std::vector<std::vector<float>> reference;
  for (const char* name : {"box.1.ele", "box.1.mesh"}) {
    Mesh mesh(3);
    Warnings warnings;
    const Status status = readCage(dir.file(name), mesh, warnings);
    ASSERT_TRUE(status.ok) << status.message;
    expectSoundBox(mesh, warnings, tetrahedronType, 12, name);
    if (reference.empty()) reference = cellPositions(mesh, tetrahedronType);
    EXPECT_EQ(cellPositions(mesh, tetrahedronType), reference) << name;
  }
}

// Prefixes of a tool's binary files (every fifth length) either read or fail with a message
// naming the file: a cut file never crashes a reader or passes as a longer one.
TEST(CageTools, CutFilesFailCleanly) {
  if (!testing::toolOnPath("gmsh")) GTEST_SKIP() << "gmsh is not on PATH";
  TempDir dir;
  const std::string geo = dir.file("hexahedra.geo");
  testing::writeFile(geo, gmshGrids[1].geometry);
  for (const auto& [suffix, options] : gmshVariants) {
    if (std::string(options).find("-bin") == std::string::npos) continue;
    SCOPED_TRACE(suffix);
    const std::string file = dir.file(std::string("full-") + suffix);
    ASSERT_TRUE(testing::runQuietly("gmsh -3 " + std::string(options) + " " + geo + " -o " + file));
    const std::string bytes = testing::readFile(file);
    const std::string cut = dir.file(std::string("cut-") + suffix);
    for (size_t size = 0; size < bytes.size(); size += 5) {
      testing::writeFile(cut, bytes.substr(0, size));
      Mesh mesh(3);
      Warnings warnings;
      const Status status = readCage(cut, mesh, warnings);
      if (!status.ok) {
        ASSERT_EQ(status.message.rfind(cut, 0), 0u) << status.message;
      } else {
        ASSERT_LE(mesh.cellCount(hexahedronType), 4) << size;
      }
    }
  }
}

// What writeCage writes, gmsh reads back as the same cells (converted to .msh 2.2).
TEST(CageTools, GmshReadsTheWrittenCage) {
  if (!testing::toolOnPath("gmsh")) GTEST_SKIP() << "gmsh is not on PATH";
  TempDir dir;
  const Mesh cage = testing::meshOf(
      {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 0,
       1, 1, 1, 1, 0, 1, 1, 0, 0, 2, 1, 0, 2, 0, 1, 2},
      {{hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7}}, {prismType, {4, 5, 7, 8, 9, 10}}});
  for (const char* name : {"cage.vtk", "cage.msh", "cage.mesh"}) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(writeCage(cage, dir.file(name)).ok);
    const std::string converted = dir.file(std::string(name) + ".msh");
    ASSERT_TRUE(
        testing::runQuietly("gmsh " + dir.file(name) + " -0 -format msh22 -o " + converted));
    Mesh mesh(3);
    Warnings warnings;
    ASSERT_TRUE(readCage(converted, mesh, warnings).ok);
    for (int t = tetrahedronType; t < cellTypeCount; ++t) {
      // gmsh's Medit reader leaves prisms out.
      if (t == prismType && std::string(name) == "cage.mesh") continue;
      EXPECT_EQ(cellPositions(mesh, t), cellPositions(cage, t)) << "type " << t;
    }
  }
}

}  // namespace
}  // namespace cagewarp
