// Cages written by the mesh generators themselves, generated during the test run where they are
// installed.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "driver/pipeline.h"
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

// The box's corners and one point inside it; TetGen numbers points from 1 here.
const std::string tetgenBox =
    "# box\n9 3 0 0\n1 0 0 0\n2 2 0 0\n3 2 1 0\n4 0 1 0\n"
    "5 0 0 1.5\n6 2 0 1.5\n7 2 1 1.5\n8 0 1 1.5\n9 1 0.5 0.75\n";

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
  testing::writeFile(dir.file("box.node"), tetgenBox);
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

// Our text format from a gmsh 2.2 ASCII file, by hand: gmsh's local orders of the point, line,
// triangle, quad, tetrahedron, hexahedron and prism are ours, so only the types map.
std::string textFromGmsh22(const std::string& bytes) {
  const std::map<int, int> ourType = {{15, pointType}, {1, lineType},        {2, triangleType},
                                      {3, quadType},   {4, tetrahedronType}, {5, hexahedronType},
                                      {6, prismType}};
  std::istringstream in(bytes.substr(bytes.find("$Nodes")));
  std::string word;
  int count = 0;
  in >> word >> count;
  std::map<long, int> column;
  std::string text = "v 3 " + std::to_string(count) + "\n";
  for (int v = 0; v < count; ++v) {
    long tag = 0;
    std::string x, y, z;
    in >> tag >> x >> y >> z;
    column[tag] = v;
    text += x + " " + y + " " + z + "\n";
  }
  in >> word >> word >> count;
  for (int e = 0; e < count; ++e) {
    int number = 0, type = 0, tags = 0;
    in >> number >> type >> tags;
    for (int k = 0; k < tags; ++k) in >> word;
    const int t = ourType.at(type);
    text += "f " + std::to_string(t) + " 1\n";
    for (int k = 0; k < verticesPerCell[t]; ++k) {
      long tag = 0;
      in >> tag;
      text += std::to_string(column.at(tag)) + " ";
    }
    text += "\n";
  }
  return text;
}

// Our text format from TetGen's .node and .ele, by hand: TetGen's tetrahedra are in our order.
std::string textFromTetgen(const std::string& node, const std::string& ele) {
  std::istringstream nodes(node), cells(ele);
  int count = 0, first = 0;
  std::string word;
  nodes >> count >> word >> word >> word;
  std::string text = "v 3 " + std::to_string(count) + "\n";
  for (int v = 0; v < count; ++v) {
    std::string x, y, z;
    nodes >> first >> x >> y >> z;
    text += x + " " + y + " " + z + "\n";
  }
  first -= count - 1;  // the first index, read off the last node's number
  cells >> count >> word >> word;
  text += "f 4 " + std::to_string(count) + "\n";
  for (int j = 0; j < count; ++j) {
    int index = 0;
    cells >> word;
    for (int k = 0; k < 4; ++k) {
      cells >> index;
      text += std::to_string(index - first) + " ";
    }
    text += "\n";
  }
  return text;
}

// D as weights over control positions, per model vertex: equal for two runs that relate the
// model alike, however the control vertices are numbered.
using PositionWeights = std::vector<std::map<std::array<float, 3>, float>>;
struct Related {
  IntArray enclosed;
  PositionWeights weights;
  Warnings warnings;
};

class WarningList : public RunObserver {
 public:
  explicit WarningList(Warnings& list) : list_(list) {}
  void warning(const std::string& message) override { list_.push_back(message); }

 private:
  Warnings& list_;
};

Related relateToBox(const std::string& control, const std::string& model) {
  Related related;
  Job job;
  job.controlFile = control;
  job.modelFile = model;
  job.tableDirectory = CAGEWARP_TAB_DIR;
  WarningList observer(related.warnings);
  const RunOutcome run = runJob(job, observer);
  EXPECT_TRUE(run.status.ok) << run.status.message;
  const Matrix d = deformationMatrix(run.relation);
  related.enclosed = run.relation.enclosedIndices;
  related.weights.resize(static_cast<size_t>(d.cols()));
  for (int j = 0; j < d.cols(); ++j)
    for (int i = 0; i < d.rows(); ++i) {
      const float* p = run.control.vertices.column(i) + run.control.xyzRow;
      related.weights[static_cast<size_t>(j)][{p[0], p[1], p[2]}] += d(i, j);
    }
  return related;
}

void expectSameRelation(const Related& file, const Related& reference) {
  EXPECT_TRUE(file.warnings.empty()) << file.warnings.front();
  ASSERT_EQ(file.enclosed.count(), reference.enclosed.count());
  for (int j = 0; j < file.enclosed.count(); ++j) {
    ASSERT_EQ(file.enclosed[j], reference.enclosed[j]);
    std::map<std::array<float, 3>, float> difference = file.weights[static_cast<size_t>(j)];
    for (const auto& [position, weight] : reference.weights[static_cast<size_t>(j)])
      difference[position] -= weight;
    for (const auto& [position, weight] : difference)
      EXPECT_NEAR(weight, 0.0f, 1e-6f) << "model vertex " << j << " control vertex at "
                                       << position[0] << " " << position[1] << " " << position[2];
  }
}

// D from each tool's file equals D from the same mesh in our text format, mapped by hand from
// gmsh's 2.2 ASCII file or TetGen's .node/.ele.
TEST(CageTools, FilesRelateTheModelAsTheirHandMappedText) {
  const bool gmsh = testing::toolOnPath("gmsh");
  const bool tetgen = testing::toolOnPath("tetgen");
  if (!gmsh && !tetgen) GTEST_SKIP() << "neither gmsh nor tetgen is on PATH";
  TempDir dir;
  // Points strewn through the box, off every plane of the grids, and one outside it.
  std::string model = "v 3 46\n";
  for (float x : {0.13f, 0.61f, 1.07f, 1.53f, 1.91f})
    for (float y : {0.17f, 0.52f, 0.83f})
      for (float z : {0.11f, 0.67f, 1.29f})
        model += std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(z) + "\n";
  model += "2.5 0.5 0.5\n";
  testing::writeFile(dir.file("model.txt"), model);

  // Each file with the text file that must relate the model as it does.
  std::vector<std::pair<std::string, std::string>> cases;
  if (gmsh) {
    for (const GmshGrid& grid : gmshGrids) {
      const std::string geo = dir.file(std::string(grid.name) + ".geo");
      testing::writeFile(geo, grid.geometry);
      std::string reference;
      for (const auto& [suffix, options] : gmshVariants) {
        if (grid.volumeType == prismType && std::string(suffix) == "m.mesh") continue;
        const std::string file = dir.file(std::string(grid.name) + "-" + suffix);
        ASSERT_TRUE(
            testing::runQuietly("gmsh -3 " + std::string(options) + " " + geo + " -o " + file));
        if (reference.empty()) {
          reference = file + ".txt";
          testing::writeFile(reference, textFromGmsh22(testing::readFile(file)));
        }
        cases.emplace_back(file, reference);
      }
    }
  }
  if (tetgen) {
    testing::writeFile(dir.file("box.node"), tetgenBox);
    ASSERT_TRUE(testing::runQuietly("tetgen -Qg " + dir.file("box.node")));
    const std::string reference = dir.file("box.1.txt");
    testing::writeFile(reference, textFromTetgen(testing::readFile(dir.file("box.1.node")),
                                                 testing::readFile(dir.file("box.1.ele"))));
    cases.emplace_back(dir.file("box.1.ele"), reference);
    cases.emplace_back(dir.file("box.1.mesh"), reference);
  }
  for (const auto& [file, reference] : cases) {
    SCOPED_TRACE(file);
    const Related expected = relateToBox(reference, dir.file("model.txt"));
    ASSERT_EQ(expected.enclosed.count(), 45);
    expectSameRelation(relateToBox(file, dir.file("model.txt")), expected);
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
