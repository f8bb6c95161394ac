#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "formats/mesh_text.h"
#include "formats/model_file.h"
#include "mesh/cell_type.h"
#include "tests/e2e/program_runner.h"
#include "tests/support/model_bytes.h"
#include "tests/support/model_samples.h"

namespace cagewarp::testing {
namespace {

namespace fs = std::filesystem;

// One hexahedron around the samples' unit square, below their apex (0.5, 0.5, 1): every sample
// vertex is enclosed but the apex.
const float boxLow[3] = {-0.25f, -0.25f, -0.25f};
const float boxHigh[3] = {1.25f, 1.25f, 0.75f};

using Transform = float (*)(const float p[3], int axis);
float unmoved(const float p[3], int axis) {
  return p[axis];
}
// An affine map with shear, scale and translation.
float affine(const float p[3], int axis) {
  static const float a[3][4] = {
      {1.1f, 0.2f, 0.0f, 0.3f}, {0.0f, 0.9f, 0.1f, -0.2f}, {0.05f, 0.0f, 1.2f, 0.5f}};
  return a[axis][0] * p[0] + a[axis][1] * p[1] + a[axis][2] * p[2] + a[axis][3];
}

// The box as mesh text, its corners moved by `map`; `corners` below 8 drops the last ones and
// the cell.
std::string boxCage(Transform map, int corners = 8) {
  std::string text = "v 3 " + std::to_string(corners) + "\n";
  for (int i = 0; i < corners; ++i) {
    const float p[3] = {(i == 1 || i == 2 || i == 5 || i == 6) ? boxHigh[0] : boxLow[0],
                        (i == 2 || i == 3 || i == 6 || i == 7) ? boxHigh[1] : boxLow[1],
                        i >= 4 ? boxHigh[2] : boxLow[2]};
    for (int k = 0; k < 3; ++k) text += std::to_string(map(p, k)) + " ";
    text += "\n";
  }
  return corners == 8 ? text + "f 7 1\n0 1 2 3 4 5 6 7\n" : text;
}

bool insideBox(const Matrix& v, int j) {
  for (int k = 0; k < 3; ++k)
    if (v(k, j) < boxLow[k] || v(k, j) > boxHigh[k]) return false;
  return true;
}

TEST(Deform, AnAffineMoveOfTheCageMovesEnclosedVerticesAlikeAndKeepsTheRest) {
  const struct {
    std::string name;
    std::string content;
    int outside;  // vertices outside the cage
  } models[] = {
      {"m.obj", objSample(), 1},
      {"m.off", offSample(), 1},
      {"m.ply", plySample(PlyEncoding::ascii, false), 1},
      {"m.ply", plySample(PlyEncoding::littleEndian, false), 1},
      {"m.ply", plySample(PlyEncoding::bigEndian, true), 1},
      {"m.stl", stlAsciiSample(), 0},
      {"m.stl", stlBinarySample(), 0},
  };
  for (const auto& model : models) {
    SCOPED_TRACE(model.name + " " + model.content.substr(0, 30));
    ProgramRunner runner;
    runner.write("c.txt", boxCage(unmoved));
    runner.write("moved.txt", boxCage(affine));
    runner.write(model.name, model.content);
    const std::string out = "out" + model.name.substr(1);
    const RunResult r =
        runner.run({"c.txt", model.name, "--deform", "moved.txt", out, "--keep-normals"});
    ASSERT_EQ(r.exitStatus, 0) << r.err;
    EXPECT_EQ(r.err.find("outside every cell") != std::string::npos, model.outside > 0) << r.err;

    ModelFile before, after;
    ASSERT_TRUE(readModelFile(runner.file(model.name), before).ok);
    ASSERT_TRUE(readModelFile(runner.file(out), after).ok);
    EXPECT_EQ(withoutCoordinates(after), withoutCoordinates(before));
    const Matrix& v = before.mesh.vertices;
    ASSERT_EQ(after.mesh.vertexColumns(), v.cols());
    int outside = 0;
    for (int j = 0; j < v.cols(); ++j) {
      const bool enclosed = insideBox(v, j);
      outside += !enclosed;
      const float p[3] = {v(0, j), v(1, j), v(2, j)};
      for (int k = 0; k < 3; ++k) {
        if (enclosed)
          EXPECT_NEAR(after.mesh.vertices(k, j), affine(p, k), 1e-5f) << j;
        else
          EXPECT_EQ(after.mesh.vertices(k, j), p[k]) << j;
      }
    }
    EXPECT_EQ(outside, model.outside);
  }
}

TEST(Deform, MeshTextModelsAreWrittenAsMeshText) {
  ProgramRunner runner;
  runner.write("c.txt", boxCage(unmoved));
  runner.write("moved.txt", boxCage(affine));
  runner.write("m.txt", "v 3 2\n0.5 0.5 0.5  0.5 0.5 3\n");
  const RunResult r = runner.run({"c.txt", "m.txt", "--deform", "moved.txt", "out.txt"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.err.find("cagewarp: 1 of 2 model vertices are outside every cell, up to 2.25 from "
                       "the cage's surface; they will not move\n"),
            std::string::npos)
      << r.err;
  Mesh deformed(0);
  ASSERT_TRUE(readText(deformed, runner.file("out.txt")).ok);
  const float centre[3] = {0.5f, 0.5f, 0.5f};
  for (int k = 0; k < 3; ++k) EXPECT_NEAR(deformed.vertices(k, 0), affine(centre, k), 1e-5f);
  EXPECT_EQ(deformed.vertices(2, 1), 3.0f);
}

// A model written in another format holds the deformed positions and the faces that format
// holds, and reads back as a model or cage of that format.
TEST(Deform, AnOutputInAnotherFormatIsWrittenFreshInThatFormat) {
  // Normals and texture coordinates (the first ones) a fresh OBJ or PLY file carries over.
  const struct {
    std::string name;
    std::string content;
    int normals;
    std::vector<float> textures;
  } sources[] = {
      {"m.obj", objSample(), 5, {0, 0, 1, 0, 1, 1}},
      {"m.ply", plySample(PlyEncoding::bigEndian, true), 5, {}},
      {"m.stl", stlAsciiSample(), 4, {}},
      {"m.xyz", xyzSample(), 0, {}},
      {"m.txt",
       "v 3 5\n0 0 0  1 0 0  1 1 0  0 1 0  0.5 0.5 1\nf 2 1\n0 1 2\nf 3 1\n2 3 4 0\n",
       0,
       {}},
  };
  // Which cells each target keeps: 2D faces (quads as two triangles in STL), or none.
  const struct {
    const char* extension;
    bool faces;
    bool quadsSplit;
  } targets[] = {{"obj", true, false}, {"off", true, false},  {"ply", true, false},
                 {"stl", true, true},  {"xyz", false, false}, {"csv", false, false},
                 {"vtk", true, false}, {"msh", true, false},  {"mesh", true, false}};
  for (const auto& source : sources) {
    SCOPED_TRACE(source.name);
    ProgramRunner runner;
    runner.write("c.txt", boxCage(unmoved));
    runner.write("moved.txt", boxCage(affine));
    runner.write(source.name, source.content);
    std::vector<std::string> args = {"c.txt", source.name};
    for (const auto& target : targets)
      args.insert(args.end(), {"--deform", "moved.txt", std::string("out.") + target.extension});
    const RunResult r = runner.run(args);
    ASSERT_EQ(r.exitStatus, 0) << r.err;

    ModelFile unused;
    Mesh before(0);
    Warnings warnings;
    ASSERT_TRUE(readModelMesh(runner.file(source.name), unused, before, warnings).ok);
    const Matrix& v = before.vertices;
    for (const auto& target : targets) {
      SCOPED_TRACE(target.extension);
      Mesh after(0);
      const Status read = readModelMesh(runner.file(std::string("out.") + target.extension), unused,
                                        after, warnings);
      ASSERT_TRUE(read.ok) << read.message;
      const int triangles = before.cells[triangleType].count() / 3;
      const int quads = before.cells[quadType].count() / 4;
      // STL holds corners of faces only, so points without faces leave none.
      ASSERT_EQ(after.vertexColumns(), target.quadsSplit && triangles + quads == 0 ? 0 : v.cols());
      for (int j = 0; j < after.vertexColumns(); ++j) {
        const float p[3] = {v(0, j), v(1, j), v(2, j)};
        for (int k = 0; k < 3; ++k)
          EXPECT_NEAR(after.vertices(after.xyzRow + k, j), insideBox(v, j) ? affine(p, k) : p[k],
                      1e-5f);
      }
      EXPECT_EQ(after.cells[triangleType].count() / 3,
                !target.faces ? 0 : triangles + (target.quadsSplit ? 2 * quads : 0));
      EXPECT_EQ(after.cells[quadType].count() / 4, target.faces && !target.quadsSplit ? quads : 0);
      const std::string extension = target.extension;
      if ((extension != "obj" && extension != "ply") || source.name == "m." + extension) continue;
      ModelFile fresh;
      ASSERT_TRUE(readModelFile(runner.file("out." + extension), fresh).ok);
      EXPECT_EQ(fresh.normalCount, source.normals);
      const size_t textures = std::min(fresh.textureValues.size(), source.textures.size());
      EXPECT_EQ(
          std::vector<float>(fresh.textureValues.begin(), fresh.textureValues.begin() + textures),
          source.textures);
    }
  }
}

TEST(Deform, BadInputStopsWithAMessageAndLeavesNothingHalfWritten) {
  std::string truncatedPly = plySample(PlyEncoding::littleEndian, false);
  truncatedPly.resize(truncatedPly.size() - 9);
  const std::string square = "v 0 0 0\nv 1 0 0\nv 1 1 0\n";
  const struct {
    std::string what;
    std::map<std::string, std::string> files;  // besides c.txt and moved.txt
    std::vector<std::string> args;             // after c.txt
    int status;
    std::string message;
    std::set<std::string> written;  // new files after the run
  } cases[] = {
      {"a pose with the wrong vertex count",
       {{"m.obj", objSample()}, {"few.txt", boxCage(affine, 7)}},
       {"m.obj", "--deform", "few.txt", "a.obj", "--deform", "moved.txt", "b.obj"},
       1,
       "cagewarp: few.txt: the moved control mesh has 7 vertices, the control mesh 8; a.obj not "
       "written\n",
       {"b.obj", "c.txt.mat", "c.txt.ind"}},
      {"a truncated binary PLY",
       {{"m.ply", truncatedPly}},
       {"m.ply", "--deform", "moved.txt", "a.ply"},
       1,
       "cagewarp: m.ply: byte",
       {}},
      {"an OBJ face naming vertex 0",
       {{"m.obj", square + "f 0 1 2\n"}},
       {"m.obj", "--deform", "moved.txt", "a.obj"},
       1,
       "cagewarp: m.obj:4:",
       {}},
      {"an OBJ face beyond the last vertex",
       {{"m.obj", square + "f 1 2 4\n"}},
       {"m.obj", "--deform", "moved.txt", "a.obj"},
       1,
       "cagewarp: m.obj:4:",
       {}},
      {"an output in a folder that is not there",
       {{"m.obj", objSample()}},
       {"m.obj", "--deform", "moved.txt", "absent/a.obj", "--deform", "moved.txt", "b.obj"},
       1,
       "cagewarp: absent/a.obj",
       {"b.obj", "c.txt.mat", "c.txt.ind"}},
      {"a mesh text output in a folder that is not there",
       {{"m.txt", "v 3 1\n0.5 0.5 0.5\n"}},
       {"m.txt", "--deform", "moved.txt", "absent/a.txt"},
       1,
       "cagewarp: absent/a.txt: cannot write the deformed model",
       {"c.txt.mat", "c.txt.ind"}},
      {"an output in a format that is only read",
       {{"m.obj", objSample()}},
       {"m.obj", "--deform", "moved.txt", "a.ply", "--deform", "moved.txt", "a.ele"},
       1,
       "cagewarp: a.ele: a model cannot be written as TetGen; it can be written as .obj .off "
       ".ply .stl .msh .vtk .mesh .xyz .csv or, under any other extension, as mesh text\n",
       {}},
      {"a junk point file",
       {{"junk.xyz", "hello\n"}},
       {"junk.xyz", "--deform", "moved.txt", "a.xyz"},
       1,
       "cagewarp: junk.xyz: no vertex record read from this XYZ file\n",
       {}},
      {"a junk OBJ file",
       {{"junk.obj", "hello\n"}},
       {"junk.obj", "--deform", "moved.txt", "a.obj"},
       1,
       "cagewarp: junk.obj: no vertex record read from this OBJ file\n",
       {}},
      {"a junk mesh text file",
       {{"junk.txt", "hello\n"}},
       {"junk.txt", "--deform", "moved.txt", "a.txt"},
       0,
       "cagewarp: warning: junk.txt: no vertex record read; is it a mesh text file?\n",
       {"a.txt", "c.txt.mat", "c.txt.ind"}},
      {"an unknown option",
       {{"m.obj", objSample()}},
       {"m.obj", "--deform", "moved.txt", "a.obj", "--xyz"},
       2,
       "cagewarp: unknown option --xyz\nusage: cagewarp CONTROL MODEL",
       {}},
      {"an option without its argument",
       {{"m.obj", objSample()}},
       {"m.obj", "--deform", "moved.txt"},
       2,
       "cagewarp: --deform needs a moved control mesh file and an output file\nusage:",
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ProgramRunner runner;
    runner.write("c.txt", boxCage(unmoved));
    runner.write("moved.txt", boxCage(affine));
    for (const auto& [name, content] : c.files) runner.write(name, content);
    const std::set<std::string> inputs = filesIn(runner);
    std::vector<std::string> args = {"c.txt"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const RunResult r = runner.run(args);
    EXPECT_EQ(r.exitStatus, c.status);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    if (c.status == 2) {
      EXPECT_EQ(r.out, "");
    }
    std::set<std::string> expected = inputs;
    expected.insert(c.written.begin(), c.written.end());
    EXPECT_EQ(filesIn(runner), expected);
  }
}

TEST(Deform, HelpAndVersionPrintAndExitWithoutRunning) {
  ProgramRunner runner;
  for (const char* option : {"--help", "-h"}) {
    const RunResult r = runner.run({"c.txt", option});
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_NE(r.out.find("--deform MOVED OUT"), std::string::npos);
  }
  const RunResult version = runner.run({"--version"});
  EXPECT_EQ(version.exitStatus, 0);
  EXPECT_EQ(version.out.rfind("cagewarp ", 0), 0U) << version.out;
  // The version line stays first; the build follows it.
  EXPECT_NE(version.out.find("\nbuild type: "), std::string::npos) << version.out;
  EXPECT_NE(version.out.find("\ncompiler: "), std::string::npos) << version.out;
  EXPECT_TRUE(filesIn(runner).empty());
}

// The installed program finds its tables from any working directory; a copy without them says
// so before writing anything, unless --tables names them.
TEST(Deform, TablesAreFoundWhereverTheProgramRuns) {
  ProgramRunner runner(false);
  runner.write("c.txt", boxCage(unmoved));
  runner.write("m.txt", "v 3 1\n0.5 0.5 0.5\n");
  const std::string control = runner.file("c.txt"), model = runner.file("m.txt");
  const std::string prefix = runner.file("prefix");
  ASSERT_EQ(
      std::system(("cmake --install '" CAGEWARP_BUILD_DIR "' --prefix '" + prefix + "' >/dev/null")
                      .c_str()),
      0);
  runner.useBinary(prefix + "/bin/cagewarp");
  runner.runFrom("/");
  RunResult r = runner.run({control, model, "l"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_NE(r.out.find(" 1 of 1 model vertices enclosed"), std::string::npos) << r.out;
  fs::remove(control + ".mat");

  fs::create_directory(runner.file("bin"));
  fs::copy_file(prefix + "/bin/cagewarp", runner.file("bin/cagewarp"));
  runner.useBinary(runner.file("bin/cagewarp"));
  r = runner.run({control, model});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("cagewarp: no table directory found"), std::string::npos) << r.err;
  EXPECT_EQ(r.out, "");
  EXPECT_FALSE(fs::exists(control + ".mat"));

  r = runner.run({control, model, "--tables", runner.file("absent")});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("absent: no such table directory"), std::string::npos) << r.err;

  r = runner.run({control, model, "l", "--tables", CAGEWARP_TAB_DIR});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_TRUE(fs::exists(control + ".mat"));
}

}  // namespace
}  // namespace cagewarp::testing
