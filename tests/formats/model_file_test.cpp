#include "formats/model_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "tests/support/model_samples.h"
#include "tests/support/temp_dir.h"

namespace cagewarp {
namespace {

using testing::PlyEncoding;
using testing::TempDir;

struct Sample {
  const char* name;
  std::string bytes;
  const char* summary;
};

std::vector<Sample> samples() {
  const char* fiveVertices = "[0,0|2D:1,1|3D:0,0,0,0]::3x5:xyz@0";
  return {
      {"piece.obj", testing::objSample(), "[1,2|2D:4,1|3D:0,0,0,0]::3x5:xyz@0"},
      {"piece.off", testing::offSample(), "[0,0|2D:1,1|3D:0,0,0,0]::3x5:xyz@0"},
      {"piece.OFF", testing::coffSample(), "[0,0|2D:3,0|3D:0,0,0,0]::3x5:xyz@0"},
      {"ascii.ply", testing::plySample(PlyEncoding::ascii, false), fiveVertices},
      {"little.ply", testing::plySample(PlyEncoding::littleEndian, false), fiveVertices},
      {"big.ply", testing::plySample(PlyEncoding::bigEndian, false), fiveVertices},
      {"double.ply", testing::plySample(PlyEncoding::bigEndian, true), fiveVertices},
      {"ascii.stl", testing::stlAsciiSample(), "[0,0|2D:2,0|3D:0,0,0,0]::3x4:xyz@0"},
      {"binary.stl", testing::stlBinarySample(), "[0,0|2D:2,0|3D:0,0,0,0]::3x4:xyz@0"},
      {"points.xyz", testing::xyzSample(), "[0,0|2D:0,0|3D:0,0,0,0]::3x5:xyz@0"},
      {"points.CSV", testing::csvSample(), "[0,0|2D:0,0|3D:0,0,0,0]::3x5:xyz@0"},
  };
}

ModelFile readOrFail(const std::string& path) {
  ModelFile model;
  const Status status = readModelFile(path, model);
  EXPECT_TRUE(status.ok) << status.message;
  return model;
}

// The file's bytes without the coordinates of the given vertices.
std::string bytesBesides(const ModelFile& model, const std::set<int>& vertices) {
  std::string kept;
  int64_t from = 0;
  for (const CoordinateSite& site : model.sites) {
    if (vertices.count(site.vertex) == 0) continue;
    kept.append(model.text(), static_cast<size_t>(from), static_cast<size_t>(site.offset - from));
    from = site.offset + site.length;
  }
  return kept.append(model.text().substr(static_cast<size_t>(from)));
}

TEST(ModelFile, EveryFormatReadsTheSameShapeAndWritesItselfBackByteForByte) {
  const float expected[5][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5f, 0.5f, 1}};
  TempDir dir;
  for (const Sample& sample : samples()) {
    SCOPED_TRACE(sample.name);
    testing::writeFile(dir.file(sample.name), sample.bytes);
    const ModelFile model = readOrFail(dir.file(sample.name));
    EXPECT_EQ(model.mesh.summary(), sample.summary);
    EXPECT_EQ(model.warnings, Warnings{});
    for (int v = 0; v < model.mesh.vertexColumns(); ++v)
      for (int axis = 0; axis < 3; ++axis)
        EXPECT_EQ(model.mesh.vertices(axis, v), expected[v][axis]);

    const std::string out = dir.file(std::string("same-") + sample.name);
    ASSERT_TRUE(writeDeformedModel(model, IntArray({0}, 0), Matrix(), out).ok);
    EXPECT_EQ(testing::readFile(out), sample.bytes);
  }
}

TEST(ModelFile, MovingVerticesChangesOnlyTheirCoordinates) {
  TempDir dir;
  for (const Sample& sample : samples()) {
    SCOPED_TRACE(sample.name);
    testing::writeFile(dir.file(sample.name), sample.bytes);
    const ModelFile model = readOrFail(dir.file(sample.name));
    // Vertex 1 "moves" to where it is: its text (such as "1.0") must stay as it was.
    const IntArray moved = IntArray::fromValues({2, 1, 0});
    Matrix positions(3, 3);
    const float targets[3][3] = {{3, 4, 5}, {1, 0, 0}, {0.1f, -2.5e-3f, 1e30f}};
    for (int j = 0; j < 3; ++j)
      for (int axis = 0; axis < 3; ++axis) positions(axis, j) = targets[j][axis];

    const std::string out = dir.file(std::string("moved-") + sample.name);
    // Normals recomputed for the moved faces are another test's business.
    const Status status = writeDeformedModel(model, moved, positions, out, true);
    ASSERT_TRUE(status.ok) << status.message;
    const ModelFile again = readOrFail(out);
    EXPECT_EQ(again.mesh.summary(), model.mesh.summary());
    EXPECT_EQ(again.mesh.cells, model.mesh.cells);
    for (int v = 0; v < model.mesh.vertexColumns(); ++v) {
      for (int axis = 0; axis < 3; ++axis) {
        const float want = v == 0   ? targets[2][axis]
                           : v == 2 ? targets[0][axis]
                                    : model.mesh.vertices(axis, v);
        EXPECT_EQ(std::bit_cast<uint32_t>(again.mesh.vertices(axis, v)),
                  std::bit_cast<uint32_t>(want))
            << "vertex " << v << " axis " << axis;
      }
    }
    EXPECT_EQ(bytesBesides(again, {0, 2}), bytesBesides(model, {0, 2}));
    EXPECT_NE(again.text(), model.text());
  }
}

TEST(ModelFile, ObjReferencesResolveAbsoluteRelativeAndWithTextureAndNormal) {
  TempDir dir;
  testing::writeFile(dir.file("piece.obj"), testing::objSample());
  const Mesh mesh = readOrFail(dir.file("piece.obj")).mesh;
  const std::vector<int32_t> quad(mesh.cells[3].data(), mesh.cells[3].data() + 4);
  EXPECT_EQ(quad, (std::vector<int32_t>{0, 1, 2, 3}));
  // "f -5 -3 -1" after five vertices, then the pentagon fanned from its first corner.
  const std::vector<int32_t> triangles(mesh.cells[2].data(),
                                       mesh.cells[2].data() + mesh.cells[2].count());
  EXPECT_EQ(triangles, (std::vector<int32_t>{0, 2, 4, 0, 1, 2, 0, 2, 3, 0, 3, 4}));
  const std::vector<int32_t> lines(mesh.cells[1].data(),
                                   mesh.cells[1].data() + mesh.cells[1].count());
  EXPECT_EQ(lines, (std::vector<int32_t>{0, 1, 1, 4}));
  EXPECT_EQ(mesh.cells[0][0], 3);
}

// What an OBJ reader passes over is said once per kind, with the first place: words that are no
// keyword of the format (a mangled "v" here), texture coordinates that are not numbers, normals
// that are not three numbers. The format's other keywords pass quietly.
TEST(ModelFile, ObjSaysWhatItPassesOver) {
  TempDir dir;
  const std::string path = dir.file("passed.obj");
  testing::writeFile(path,
                     "mtllib a.mtl\no piece\ng side\nusemtl red\ns 1\nv 0 0 0\nV 1 0 0\nv 1 1 0\n"
                     "vt 0.5 x\nvt 1\nvt y z\nvn 0 0\nvn 0 0 1\nvertex 2\nl 1 2\n");
  const ModelFile model = readOrFail(path);
  EXPECT_EQ(model.mesh.vertexColumns(), 2);
  EXPECT_EQ(
      model.warnings,
      (Warnings{path + ": lines with an unknown keyword passed over: 2 (the first, 'V', on line 7)",
                path + ": texture coordinates with a word that is not a number read as 0: 2 "
                       "(the first on line 9)",
                path + ": normals that are not three numbers kept as they are, not recomputed: 1 "
                       "(the first on line 12)"}));
}

TEST(ModelFile, StlCornersShareVerticesInOrderOfFirstAppearance) {
  TempDir dir;
  for (const char* name : {"a.stl", "b.stl"}) {
    testing::writeFile(dir.file(name),
                       name[0] == 'a' ? testing::stlAsciiSample() : testing::stlBinarySample());
    const ModelFile model = readOrFail(dir.file(name));
    const std::vector<int32_t> triangles(model.mesh.cells[2].data(),
                                         model.mesh.cells[2].data() + 6);
    EXPECT_EQ(triangles, (std::vector<int32_t>{0, 1, 2, 0, 2, 3})) << name;
    EXPECT_EQ(model.sites.size(), 18u) << name;
  }
}

TEST(ModelFile, MalformedInputIsReportedWithItsPlace) {
  TempDir dir;
  const std::string ply = testing::plySample(PlyEncoding::littleEndian, false);
  std::string stlCount = testing::stlBinarySample().substr(0, 84);
  stlCount[0] = 'x';
  const struct {
    const char* name;
    std::string bytes;
    std::string message;  // after "DIR/NAME"
  } cases[] = {
      {"zero.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 0\n",
       ":4: vertex index 0 names no vertex (the file has 3)"},
      {"beyond.obj", "v 0 0 0\nf 1 2 4\nv 1 0 0\nv 0 1 0\n",
       ":2: vertex index 4 names no vertex (the file has 3)"},
      {"back.obj", "v 0 0 0\nf -2 1 1\n", ":2: vertex index -2 names no vertex (the file has 1)"},
      {"texture.obj", "v 0 0 0\nvt 0 0\nf 1/2 1/1 1/1\n",
       ":3: texture coordinate index 2 names no texture coordinate (the file has 1)"},
      {"number.obj", "v 0 0 0\nv 1 0 .4x\n", ":2: '.4x' is not a number"},
      {"short.obj", "v 0 0\n", ":1: a vertex needs x, y and z"},
      {"reference.obj", "v 0 0 0\nf 1/1/1/1\n", ":2: '1/1/1/1' is not a vertex reference"},
      {"header.off", "OF\n1 0 0\n0 0 0\n", ":1: the file does not start with an OFF header"},
      {"count.off", "OFF\n1000 0 0\n0 0 0\n",
       ":2: counts of 1000 vertices and 0 faces are more than the file can hold"},
      {"beyond.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 1 3\n",
       ":6: vertex index 3 names no vertex (the file has 3)"},
      {"negative.off", "OFF\n3 1 0\n0 0 0\n1 0 0\n0 1 0\n3 0 -1 2\n",
       ":6: vertex index -1 names no vertex (the file has 3)"},
      {"ends.off", "OFF\n3 0 0\n0 0 0\n1 0 0\n# padding for the counts\n",
       ":5: the file ends after 2 of 3 vertices"},
      {"truncated.ply", ply.substr(0, ply.size() - 2),
       ": byte " + std::to_string(ply.size() - 4) + ": the file ends inside the data"},
      {"count.ply",
       "ply\nformat ascii 1.0\nelement vertex 1000000\nproperty float x\nproperty float "
       "y\nproperty float z\nend_header\n0 0 0\n",
       ":3: element vertex has 1000000 records, more than the file can hold"},
      {"beyond.ply",
       "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\nproperty "
       "float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n0 0 0\n1 0 "
       "0\n0 1 0\n3 0 1 3\n",
       ":13: vertex index 3 names no vertex (the file has 3)"},
      {"number.ply",
       "ply\nformat ascii 1.0\nelement vertex 1\nproperty float x\nproperty float y\nproperty "
       "float z\nend_header\n0 nan( 0\n",
       ":8: 'nan(' is not a number"},
      {"version.ply", "ply\nformat ascii 2.0\nend_header\n", ":2: PLY version '2.0' is not 1.0"},
      {"magic.ply", "PLY\n", ":1: the file does not start with the line 'ply'"},
      {"intx.ply",
       "ply\nformat ascii 1.0\nelement vertex 1\nproperty int x\nproperty float y\nproperty float "
       "z\nend_header\n0 0 0\n",
       ":3: vertex property x must be a float or double"},
      {"count.stl", stlCount, ": byte 80: triangle count 2 is more than the file can hold"},
      {"header.stl", "xyz", ": byte 3: the file ends inside the header of a binary STL file"},
      {"number.stl", "solid a\nfacet normal 0 0 1\nouter loop\nvertex 0 0 x\n",
       ":4: 'x' is not a number"},
      {"ends.stl", "solid a\nfacet normal 0 0 1\n", ":2: the file ends inside a solid"},
      {"keyword.stl",
       "solid a\nfacet normal 0 0 1\nouter loop\nvertex 0 0 0\nvertex 1 0 0\nendloop\n",
       ":6: a facet needs at least three corners"},
      {"short.xyz", "X Y Z\n0 0\n", ":2: a point needs x, y and z"},
      {"number.xyz", "1 2 x3\n", ":1: 'x3' is not a number"},
      {"header.csv", "\n# a note\na,b,c\n1,2,3\n", ":3: the header names no x column"},
      {"row.csv", "x,y,z\n1,2\n", ":2: the row has no z column"},
      {"number.csv", "z,y,x\n1,2,abc\n", ":2: 'abc' is not a number"},
      {"empty.csv", "x,y,z\n1,,3\n", ":2: the y column is empty"},
  };
  for (const auto& c : cases) {
    const std::string path = dir.file(c.name);
    testing::writeFile(path, c.bytes);
    ModelFile model;
    const Status status = readModelFile(path, model);
    EXPECT_FALSE(status.ok) << c.name;
    EXPECT_EQ(status.message, path + c.message) << c.name;
  }
  ModelFile model;
  EXPECT_EQ(readModelFile(dir.file("cage.txt"), model).message,
            dir.file("cage.txt") + ": not a model format (.obj, .off, .ply, .stl, .xyz, .csv)");
  EXPECT_EQ(readModelFile(dir.file("absent.obj"), model).message,
            dir.file("absent.obj") + ": cannot open: No such file or directory");
}

TEST(ModelFile, AWriteThatCannotBeDoneLeavesNoFile) {
  TempDir dir;
  testing::writeFile(dir.file("piece.obj"), testing::objSample());
  const ModelFile model = readOrFail(dir.file("piece.obj"));
  Matrix one(3, 1);
  const struct {
    std::string out;
    IntArray moved;
    Matrix positions;
  } cases[] = {
      {dir.file("other.ply"), IntArray({0}, 0), Matrix()},
      {dir.file("range.obj"), IntArray::fromValues({5}), one},
      {dir.file("shape.obj"), IntArray::fromValues({0, 1}), one},
      {dir.file("missing/dir.obj"), IntArray({0}, 0), Matrix()},
  };
  for (const auto& c : cases) {
    EXPECT_FALSE(writeDeformedModel(model, c.moved, c.positions, c.out).ok) << c.out;
    EXPECT_FALSE(std::filesystem::exists(c.out)) << c.out;
  }
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
}

}  // namespace
}  // namespace cagewarp
