#include "formats/cage_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "formats/file_format.h"
#include "formats/medit_file.h"
#include "formats/mesh_text.h"
#include "formats/model_file.h"
#include "tests/support/cage_checks.h"
#include "tests/support/model_samples.h"
#include "tests/support/temp_dir.h"

namespace cagewarp {
namespace {

using testing::TempDir;

// A hexahedron, a prism on top of it and a pyramid below it (apex 11), and a triangle, in our
// orders: what every file below must read as. The pyramid's base runs 0 3 2 1 (counter-clockwise
// seen from its apex), so it comes in as tetrahedra 0 3 2 11 and 0 2 1 11.
const std::string expectedText =
    "v 3 12\n0 0 0  1 0 0  1 1 0  0 1 0  0 0 1  1 0 1  1 1 1  0 1 1  0 0 2  1 0 2  0 1 2  "
    "0.5 0.5 -1\n"
    "f 7 1\n0 1 2 3 4 5 6 7\nf 6 1\n4 5 7 8 9 10\nf 4 2\n0 3 2 11 0 2 1 11\nf 2 1\n8 9 10\n";
const std::string vtkPoints =
    "POINTS 12 float\n0 0 0 1 0 0 1 1 0 0 1 0 0 0 1 1 0 1 1 1 1 0 1 1 0 0 2 1 0 2 0 1 2 0.5 0.5 "
    "-1\n";
const std::string vtkField =
    "FIELD FieldData 3\nTIME 1 1 double\n0.5\nMETADATA\nINFORMATION 0\n\nids 2 3 int\n"
    "1 2 3 4 5 6\nempty 0 9 float\n";
const std::string vtkOffsets =
    "# vtk DataFile Version 5.1\ncells\nASCII\nDATASET UNSTRUCTURED_GRID\n" + vtkPoints +
    "METADATA\nINFORMATION 0\n\nCELLS 5 22\nOFFSETS vtktypeint64\n0 8 14 19 22\n"
    "CONNECTIVITY vtktypeint64\n0 1 2 3 4 5 6 7 4 7 5 8 10 9 0 3 2 1 11 8 9 10\n"
    "CELL_TYPES 4\n12 13 14 5\n";
const std::string meditVertices =
    "Vertices\n12\n0 0 0 1\n1 0 0 1\n1 1 0 1\n0 1 0 1\n0 0 1 1\n1 0 1 1\n1 1 1 1\n0 1 1 1\n"
    "0 0 2 1\n1 0 2 1\n0 1 2 1\n0.5 0.5 -1 1\n";
const std::string meditCage =
    "MeshVersionFormatted 2\n# comment\nDimension\n3\n" + meditVertices +
    "Hexahedra\n1\n1 2 3 4 5 6 7 8 0\nPrisms\n1\n5 6 8 9 10 11 0\nPyramids 1\n1 4 3 2 12 0\n"
    "Triangles\n1\n9 10 11 3\nRidges\n1\n1\nEnd\n";
const std::string gmshNodes22 =
    "$Nodes\n12\n10 0 0 0\n20 1 0 0\n30 1 1 0\n40 0 1 0\n50 0 0 1\n60 1 0 1\n70 1 1 1\n"
    "80 0 1 1\n90 0 0 2\n100 1 0 2\n110 0 1 2\n120 0.5 0.5 -1\n$EndNodes\n";

// The same cells in each format's own vertex order, by hand. gmsh and VTK node tags and
// indices differ; VTK's wedge lists its base away from the top.
struct HandFile {
  const char* name;
  std::string text;
  int warningCount;
  std::string warning = "";  // one of them, after the file's path
};
const HandFile handFiles[] = {
    {"tags.msh",
     "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$PhysicalNames\n1\n3 1 \"v\"\n$EndPhysicalNames\n" +
         gmshNodes22 +
         "$Elements\n4\n1 5 2 0 1 10 20 30 40 50 60 70 80\n2 6 2 0 1 50 60 80 90 100 110\n"
         "3 7 2 0 1 10 40 30 20 120\n4 2 3 0 1 7 90 100 110\n$EndElements\n",
     1},
    {"blocks.msh",
     "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n$Entities\n0 0 0 1\n1 0 0 0 1 1 1 0 0\n"
     "$EndEntities\n$Nodes\n2 12 10 120\n3 1 0 11\n10\n20\n30\n40\n50\n60\n70\n80\n90\n100\n110\n"
     "0 0 0\n1 0 0\n1 1 0\n0 1 0\n0 0 1\n1 0 1\n1 1 1\n0 1 1\n0 0 2\n1 0 2\n0 1 2\n"
     "3 1 1 1\n120\n0.5 0.5 -1 0.1 0.2 0.3\n$EndNodes\n"
     "$Elements\n4 4 1 4\n3 1 5 1\n1 10 20 30 40 50 60 70 80\n3 1 13 1\n"
     "2 50 60 80 90 100 110 10 10 10 10 10 10 10 10 10 10 10 10\n3 1 14 1\n"
     "3 10 40 30 20 120 10 10 10 10 10 10 10 10 10\n"
     "2 1 2 1\n4 90 100 110\n$EndElements\n",
     2},
    {"classic.vtk",
     "# vtk DataFile Version 2.0\ncells\nASCII\nDATASET UNSTRUCTURED_GRID\n" + vtkPoints +
         "CELLS 4 26\n8 0 1 2 3 4 5 6 7\n6 4 7 5 8 10 9\n5 0 3 2 1 11\n3 8 9 10\n"
         "CELL_TYPES 4\n12 13 14 7\nPOINT_DATA 12\nSCALARS s float\nLOOKUP_TABLE default\n",
     2, "point and cell data skipped (a cage is read as points and cells)"},
    {"offsets.vtk", vtkOffsets, 1},
    // Field data before the points is skipped and counted, also with CRLF line ends.
    {"crlf.vtk",
     std::regex_replace(std::regex_replace(vtkOffsets, std::regex("POINTS"), vtkField + "POINTS"),
                        std::regex("\n"), "\r\n"),
     2, "3 field data arrays skipped"},
    {"field.vtk",
     "# vtk DataFile Version 4.2\ncells\nASCII\nDATASET UNSTRUCTURED_GRID\n"
     "FIELD FieldData 2\nNULL_ARRAY\nTIME 1 1 double\n0.5\n" +
         vtkPoints +
         "CELLS 4 26\n8 0 1 2 3 4 5 6 7\n6 4 7 5 8 10 9\n5 0 3 2 1 11\n3 8 9 10\n"
         "CELL_TYPES 4\n12 13 14 7\n",
     2, "2 field data arrays skipped"},
    // A converter that copied gmsh's prism order into a VTK wedge: reoriented, with a warning.
    {"copied.vtk",
     "# vtk DataFile Version 2.0\ncells\nASCII\nDATASET UNSTRUCTURED_GRID\n" + vtkPoints +
         "CELLS 4 26\n8 0 1 2 3 4 5 6 7\n6 4 5 7 8 9 10\n5 0 3 2 1 11\n3 8 9 10\n"
         "CELL_TYPES 4\n12 13 14 5\n",
     2},
    {"medit.mesh", meditCage, 1},
    // What the first word is decides between Medit and our text, past any comment.
    {"comment.mesh", "# " + std::string(200, '-') + "\n#\n\n" + meditCage, 1},
    {"old.mesh", expectedText, 0},
};

TEST(CageFile, EachFormatsVertexOrderMapsToOurs) {
  TempDir dir;
  testing::writeFile(dir.file("expected.txt"), expectedText);
  Mesh expected;
  ASSERT_TRUE(readText(expected, dir.file("expected.txt")).ok);
  for (const HandFile& file : handFiles) {
    SCOPED_TRACE(file.name);
    testing::writeFile(dir.file(file.name), file.text);
    Mesh mesh(3);
    Warnings warnings;
    const Status status = readCage(dir.file(file.name), mesh, warnings);
    ASSERT_TRUE(status.ok) << status.message;
    EXPECT_EQ(static_cast<int>(warnings.size()), file.warningCount);
    if (!file.warning.empty()) {
      const std::string warning = dir.file(file.name) + ": " + file.warning;
      EXPECT_NE(std::find(warnings.begin(), warnings.end(), warning), warnings.end()) << warning;
    }
    for (int t = 0; t < cellTypeCount; ++t) EXPECT_EQ(mesh.cells[t], expected.cells[t]) << t;
    EXPECT_EQ(mesh.vertices, expected.vertices);
  }
}

TEST(CageFile, TetgenPointsCountFromTheFirstNumber) {
  TempDir dir;
  for (const int first : {0, 1}) {
    SCOPED_TRACE(first);
    // Attributes and markers in both files; a 10-node tetrahedron lists its corners first.
    std::string node = "# points\n5 3 1 1\n";
    const char* xyz[] = {"0 0 0", "1 0 0", "0 1 0", "0 0 1", "0 0 -1"};
    for (int i = 0; i < 5; ++i)
      node += std::to_string(first + i) + " " + xyz[i] + " 7.5 " + std::to_string(i % 2) + "\n";
    const auto number = [&](int i) { return std::to_string(first + i); };
    std::string ele = "2 10 1\n" + number(0) + " ";
    for (int i : {0, 1, 2, 3, 0, 0, 0, 0, 0, 0}) ele += number(i) + " ";
    ele += "3\n" + number(1) + " ";
    for (int i : {0, 2, 1, 4, 0, 0, 0, 0, 0, 0}) ele += number(i) + " ";
    ele += "3\n";
    testing::writeFile(dir.file("t.node"), node);
    testing::writeFile(dir.file("t.ele"), ele);
    Mesh mesh(3);
    Warnings warnings;
    const Status status = readCage(dir.file("t.ele"), mesh, warnings);
    ASSERT_TRUE(status.ok) << status.message;
    const IntArray& tetrahedra = mesh.cells[tetrahedronType];
    EXPECT_EQ(std::vector<int32_t>(tetrahedra.data(), tetrahedra.data() + tetrahedra.count()),
              (std::vector<int32_t>{0, 1, 2, 3, 0, 2, 1, 4}));
    EXPECT_EQ(mesh.vertices.cols(), 5);
    EXPECT_EQ(mesh.vertices(2, 4), -1.0f);
    EXPECT_EQ(warnings.size(), 1u);  // higher-order only: both tetrahedra are positive
  }
}

// TetGen point numbers anywhere in int64_t: read when the file's numbers fit, otherwise one
// failure naming the number, never an index that wrapped around.
TEST(CageFile, TetgenPointNumbersAcrossTheWholeRange) {
  const std::string low = "-9223372036854775808";
  const std::string high = "9223372036854775807";
  const auto nodes = [](const std::string& first, const std::string& second,
                        const std::string& third, const std::string& fourth) {
    return "4 3 0 0\n" + first + " 0 0 0\n" + second + " 1 0 0\n" + third + " 0 1 0\n" + fourth +
           " 0 0 1\n";
  };
  const std::string lowest =
      nodes(low, "-9223372036854775807", "-9223372036854775806", "-9223372036854775805");
  const std::string highest =
      nodes("9223372036854775804", "9223372036854775805", "9223372036854775806", high);
  const struct {
    const char* name;
    std::string node;
    std::string ele;
    std::string message;  // after the path of the .ele file; empty when it reads
  } cases[] = {
      {"lowest", lowest,
       "1 4 0\n1 " + low + " -9223372036854775807 -9223372036854775806 -9223372036854775805\n", ""},
      {"highest", highest,
       "1 4 0\n1 9223372036854775804 9223372036854775805 9223372036854775806 " + high + "\n", ""},
      {"wrapped", lowest,
       "1 4 0\n1 " + low + " -9223372036854775807 -9223372036854775806 99999999\n",
       ".ele:2: point 99999999 is not in "},
      {"below", nodes("1", "2", "3", "4"), "1 4 0\n1 1 2 3 " + low + "\n",
       ".ele:2: point " + low + " is not in "},
      {"above", highest,
       "1 4 0\n1 9223372036854775804 9223372036854775805 " + high + " 9223372036854775808\n",
       ".ele:2: expected a point number, found '9223372036854775808'"},
      {"overflowing", nodes(high, low, "1", "2"), "1 4 0\n1 1 2 3 4\n",
       ".node:2: first point number " + high + " leaves no room for 4 points"},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string base = dir.file(c.name);
    testing::writeFile(base + ".node", c.node);
    testing::writeFile(base + ".ele", c.ele);
    Mesh mesh(3);
    Warnings warnings;
    const Status status = readCage(base + ".ele", mesh, warnings);
    if (!c.message.empty()) {
      const bool namesNodes = c.message.ends_with("is not in ");
      EXPECT_EQ(status.message, base + c.message + (namesNodes ? base + ".node" : ""));
      continue;
    }
    ASSERT_TRUE(status.ok) << status.message;
    const IntArray& tetrahedra = mesh.cells[tetrahedronType];
    EXPECT_EQ(std::vector<int32_t>(tetrahedra.data(), tetrahedra.data() + tetrahedra.count()),
              (std::vector<int32_t>{0, 1, 2, 3}));
    EXPECT_EQ(mesh.vertices(1, 2), 1.0f);
  }
}

// A .mesh file is Medit's when its first word, past a byte order mark, blank lines and comments
// of any length, is exactly Medit's version keyword.
TEST(CageFile, MeditIsToldByItsFirstWord) {
  const std::string keyword = "MeshVersionFormatted";
  const struct {
    std::string text;
    bool medit;
  } cases[] = {
      {keyword + " 2\n", true},
      {"\xEF\xBB\xBF" + keyword + " 2\n", true},
      {"# " + std::string(5000, 'x') + "\r\n\r\n# two\n\t" + keyword + "\r\n2\r\n", true},
      {keyword, true},
      {"\xEF\xBB" + keyword + " 2\n", false},
      {keyword + "s 2\n", false},
      {"v 3 1\n0 0 0\n# " + keyword + "\n", false},
      {"", false},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 30));
    testing::writeFile(dir.file("a.mesh"), c.text);
    EXPECT_EQ(isMeditFile(dir.file("a.mesh")), c.medit);
  }
}

// Every volume cell inverted by a reflection is put back in its mirror order; a flat cell stays.
TEST(CageFile, InvertedCellsTakeTheirMirrorOrder) {
  Mesh mesh = testing::meshOf({0, 0, 0, 1, 0, 0, 1, 1, 0, 0,    1,    0, 0,    0,    1,
                               1, 0, 1, 1, 1, 1, 0, 1, 1, 0.5f, 0.5f, 2, 0.5f, 0.5f, -1},
                              {{tetrahedronType, {0, 1, 3, 4, 0, 1, 2, 2}},
                               {octahedronType, {8, 4, 5, 6, 7, 9}},
                               {prismType, {0, 1, 3, 4, 5, 7}},
                               {hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7}}});
  Mesh flipped = mesh;
  for (int v = 0; v < flipped.vertexColumns(); ++v) flipped.vertices(0, v) *= -1.0f;
  EXPECT_EQ(reorientInvertedCells(mesh), 0);
  EXPECT_EQ(reorientInvertedCells(flipped), 4);
  EXPECT_EQ(testing::volumeSummary(flipped).nonPositive, 1);  // the flat tetrahedron
  EXPECT_NEAR(testing::volumeSummary(flipped).total, testing::volumeSummary(mesh).total, 1e-6);
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    for (int j = 0; j < mesh.cellCount(t); ++j) {
      std::vector<int32_t> before(mesh.cells[t].column(j),
                                  mesh.cells[t].column(j) + verticesPerCell[t]);
      std::vector<int32_t> after(flipped.cells[t].column(j),
                                 flipped.cells[t].column(j) + verticesPerCell[t]);
      EXPECT_EQ(before == after, t == tetrahedronType && j == 1) << t;  // only the flat one kept
      std::sort(before.begin(), before.end());
      std::sort(after.begin(), after.end());
      EXPECT_EQ(before, after);
    }
  }
}

// A mixed cage of every type written and read back: the same positions and cells, octahedra as
// four positive tetrahedra each, appended after the tetrahedra.
TEST(CageFile, WrittenCageReadsBack) {
  const Mesh cage =
      testing::meshOf({0, 0, 0, 1, 0, 0, 1, 1,    0,    0, 1,    0,    0,  0,    1,     1,      0,
                       1, 1, 1, 1, 0, 1, 1, 0.5f, 0.5f, 2, 0.5f, 0.5f, -1, 0.1f, 1e-7f, 3.25e5f},
                      {{pointType, {10}},
                       {lineType, {0, 10}},
                       {triangleType, {0, 1, 10}},
                       {quadType, {0, 3, 2, 1}},
                       {tetrahedronType, {0, 1, 3, 10}},
                       {octahedronType, {8, 4, 5, 6, 7, 9}},
                       {prismType, {0, 1, 3, 4, 5, 7}},
                       {hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7}}});
  IntArray tetrahedra({4, 5}, 0);
  std::copy(cage.cells[tetrahedronType].data(), cage.cells[tetrahedronType].data() + 4,
            tetrahedra.data());
  octahedronTetrahedra(cage.cells[octahedronType].data(), tetrahedra.data() + 4);
  TempDir dir;
  for (const char* name : {"cage.vtk", "cage.msh", "cage.mesh"}) {
    SCOPED_TRACE(name);
    const Status written = writeCage(cage, dir.file(name));
    ASSERT_TRUE(written.ok) << written.message;
    Mesh mesh(3);
    Warnings warnings;
    const Status read = readCage(dir.file(name), mesh, warnings);
    ASSERT_TRUE(read.ok) << read.message;
    EXPECT_TRUE(warnings.empty());
    EXPECT_EQ(mesh.vertices, cage.vertices);
    for (int t : {0, 1, 2, 3, 6, 7}) EXPECT_EQ(mesh.cells[t], cage.cells[t]) << t;
    EXPECT_EQ(mesh.cellCount(octahedronType), 0);
    EXPECT_EQ(mesh.cells[tetrahedronType], tetrahedra);
    EXPECT_EQ(testing::volumeSummary(mesh).nonPositive, 0);
    EXPECT_NEAR(testing::volumeSummary(mesh).total, testing::volumeSummary(cage).total, 1e-6);
  }
  EXPECT_FALSE(writeCage(cage, dir.file("cage.txt")).ok);
}

std::string binaryInt(int32_t value) {
  return std::string(reinterpret_cast<const char*>(&value), sizeof value);
}

// One failure per malformed file, naming the file and where; the mesh is left as it was.
TEST(CageFile, MalformedFilesFailWithOneMessage) {
  const std::string msh22 = "$MeshFormat\n2.2 0 8\n$EndMeshFormat\n";
  const std::string vtkHead = "# vtk DataFile Version 2.0\nt\nASCII\nDATASET UNSTRUCTURED_GRID\n";
  const std::string medit = "MeshVersionFormatted 1\nDimension 3\nVertices\n2\n0 0 0 0\n1 0 0 0\n";
  const struct {
    const char* name;
    std::string text;
    const char* message;  // after the file name
  } cases[] = {
      {"count.msh", msh22 + "$Nodes\n1000000\n1 0 0 0\n$EndNodes\n",
       ":5: node count 1000000 is larger than the file can hold"},
      {"tag.msh", msh22 + "$Nodes\n1\n1 0 0 0\n$EndNodes\n$Elements\n1\n1 15 0 7\n$EndElements\n",
       ":10: node tag 7 is missing"},
      {"type.msh", msh22 + "$Nodes\n1\n1 0 0 0\n$EndNodes\n$Elements\n1\n1 99 0 1\n$EndElements\n",
       ": cell type 99 is not supported"},
      {"cut.msh", msh22 + "$Nodes\n1\n1 0 0         ",
       ":6: expected a coordinate, found the end of the file"},
      {"binary.msh",
       "$MeshFormat\n2.2 1 8\n" + binaryInt(1) + "\n$EndMeshFormat\n$Nodes\n1\n" + binaryInt(1) +
           std::string(12, '\0'),
       ": byte 47: node count 1 is larger than the file can hold"},
      {"version.msh", "$MeshFormat\n4.0 0 8\n$EndMeshFormat\n",
       ":2: msh version '4.0' is not read (2.2 and 4.1 are)"},
      {"count.vtk", vtkHead + "POINTS 99999 float\n0 0 0\n",
       ":5: point count 99999 is larger than the file can hold"},
      {"index.vtk", vtkHead + "POINTS 1 float\n0 0 0\nCELLS 1 2\n1 9\nCELL_TYPES 1\n1\n",
       ": cell 0 names point 9 (the grid has 1)"},
      {"type.vtk", vtkHead + "POINTS 1 float\n0 0 0\nCELLS 1 2\n1 0\nCELL_TYPES 1\n42\n",
       ": cell type 42 is not supported"},
      {"polygon.vtk", vtkHead + "POINTS 1 float\n0 0 0\nCELLS 1 6\n5 0 0 0 0 0\nCELL_TYPES 1\n7\n",
       ": cell type 7 with 5 vertices is not supported"},
      {"binary.vtk",
       "# vtk DataFile Version 2.0\nt\nBINARY\nDATASET UNSTRUCTURED_GRID\nPOINTS 1 float\n" +
           std::string(8, '\0'),
       ": byte 85: coordinate cut short by the end of the file"},
      // An unsigned offset past what a signed 64-bit integer holds, by its own value.
      {"unsigned.vtk",
       "# vtk DataFile Version 5.1\nt\nBINARY\nDATASET UNSTRUCTURED_GRID\nPOINTS 1 float\n" +
           std::string(12, '\0') + "\nCELLS 2 1\nOFFSETS vtktypeuint64\n" + std::string(16, '\xff'),
       ": byte 122: integer 18446744073709551615 is too large"},
      {"field.vtk", vtkHead + "FIELD f 1\nnames 1 1 string\nabc\n",
       ":6: field array type 'string' is not read"},
      // Four doubles of field data skipped exactly: what fails is the cut coordinate after them.
      {"fieldbinary.vtk",
       "# vtk DataFile Version 2.0\nt\nBINARY\nDATASET UNSTRUCTURED_GRID\nFIELD f 1\n"
       "a 2 2 double\n" +
           std::string(32, '\x7f') + "\nPOINTS 1 float\n" + std::string(8, '\0'),
       ": byte 141: coordinate cut short by the end of the file"},
      {"index.mesh", medit + "Tetrahedra\n1\n1 2 2 3 0\n",
       ":9: vertex number 3 names no vertex (there are 2)"},
      {"count.mesh", medit + "Edges\n400\n1 2 0\n",
       ":8: Edges count 400 is larger than the file can hold"},
      {"keyword.mesh", medit + "Bricks\n1\n", ":7: unknown keyword 'Bricks'"},
      {"missing.ele", "1 4 0\n1 1 2 3 4\n",
       "-missing.node: cannot open: No such file or directory"},
  };
  TempDir dir;
  testing::writeFile(dir.file("index.node"), "2 3 0 0\n1 0 0 0\n2 1 0 0\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string path = dir.file(c.name);
    testing::writeFile(path, c.text);
    Mesh mesh = testing::meshOf({1, 2, 3}, {{pointType, {0}}});
    Warnings warnings;
    const Status status = readCage(path, mesh, warnings);
    ASSERT_FALSE(status.ok);
    std::string expected = path + c.message;
    if (std::string(c.name) == "missing.ele")
      expected = dir.file("missing.node: cannot open: No such file or directory");
    EXPECT_EQ(status.message, expected);
    EXPECT_EQ(mesh.cellCount(pointType), 1);
    EXPECT_EQ(mesh.vertexColumns(), 1);
  }
  // A TetGen point number outside the .node file.
  testing::writeFile(dir.file("index.ele"), "1 4 0\n1 1 2 3 2\n");
  Mesh mesh(3);
  Warnings warnings;
  EXPECT_EQ(readCage(dir.file("index.ele"), mesh, warnings).message,
            dir.file("index.ele") + ":2: point 3 is not in " + dir.file("index.node"));
}

// A text file as an editor on another system saves it: a UTF-8 byte order mark first and, unless
// the file has a binary part, CRLF line ends.
std::string asSavedElsewhere(const std::string& plain, bool crlf) {
  std::string text = "\xEF\xBB\xBF";
  for (char c : plain) {
    if (crlf && c == '\n') text.push_back('\r');
    text.push_back(c);
  }
  return text;
}

// Every text format reads the same mesh from a file saved that way as from the plain file, and a
// deformed copy differs from the plain file's deformed copy by the mark and line ends alone.
TEST(CageFile, ByteOrderMarkAndCrlfReadAsThePlainFile) {
  const auto unmarked = [](std::string text) {
    text.erase(0, 3);
    text.erase(std::remove(text.begin(), text.end(), '\r'), text.end());
    return text;
  };
  struct Case {
    std::string name;
    std::string plain;
    bool crlf;
  };
  std::vector<Case> cases = {
      {"piece.obj", testing::objSample(), true},
      {"piece.off", testing::offSample(), true},
      {"piece.OFF", testing::coffSample(), true},
      {"ascii.ply", testing::plySample(testing::PlyEncoding::ascii, false), true},
      {"little.ply", testing::plySample(testing::PlyEncoding::littleEndian, false), false},
      {"ascii.stl", testing::stlAsciiSample(), true},
      {"points.xyz", unmarked(testing::xyzSample()), true},
      {"points.csv", unmarked(testing::csvSample()), true},
      {"t.ele", "2 4 0\n1 1 2 3 4\n2 2 1 3 5\n", true},
  };
  // The blank line that ends a METADATA block is left to its own change under CRLF.
  for (const HandFile& file : handFiles)
    cases.push_back({file.name, file.text, std::string(file.name) != "offsets.vtk"});
  const std::string tetgenNodes = "5 3 0 0\n1 0 0 0\n2 1 0 0\n3 0 1 0\n4 0 0 1\n5 0 0 -1\n";
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const bool model = formatEntryOf(c.name).serves(FormatRole::model);
    Mesh meshes[2];
    ModelFile sources[2];
    std::string deformed[2];
    for (int marked = 0; marked < 2; ++marked) {
      const auto saved = [&](const std::string& plain) {
        return marked ? asSavedElsewhere(plain, c.crlf) : plain;
      };
      const std::string path = dir.file(std::to_string(marked) + c.name);
      testing::writeFile(path, saved(c.plain));
      testing::writeFile(dir.file(std::to_string(marked) + "t.node"), saved(tetgenNodes));
      Warnings warnings;
      const Status status = readModelMesh(path, sources[marked], meshes[marked], warnings);
      ASSERT_TRUE(status.ok) << status.message;
      if (!model) continue;
      const std::string out = dir.file(std::to_string(marked) + "out-" + c.name);
      Matrix position(3, 1);
      position(0, 0) = 0.25f;
      ASSERT_TRUE(writeDeformedModel(sources[marked], IntArray({1}, 0), position, out, true).ok);
      deformed[marked] = testing::readFile(out);
    }
    EXPECT_GT(meshes[0].vertexColumns(), 0);
    EXPECT_EQ(meshes[1].vertices, meshes[0].vertices);
    for (int t = 0; t < cellTypeCount; ++t) EXPECT_EQ(meshes[1].cells[t], meshes[0].cells[t]) << t;
    if (!model) continue;
    EXPECT_NE(deformed[0], c.plain);
    EXPECT_EQ(deformed[1], asSavedElsewhere(deformed[0], c.crlf));
  }
}

}  // namespace
}  // namespace cagewarp
