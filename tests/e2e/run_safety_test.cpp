// Runs where an input cannot be read, an output would destroy something, or the command line
// most likely says something else than meant: what is written, what is refused and what is said.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "tests/e2e/program_runner.h"

namespace cagewarp::testing {
namespace {

namespace fs = std::filesystem;

const std::string tetrahedron = "v 3 4\n0 0 0  1 0 0  0 1 0  0 0 1\nf 4 1\n0 1 2 3\n";
const std::string twoPoints = "v 3 2\n0.25 0.25 0.25\n0.1 0.2 0.3\n";
const std::string tetgenPoints = "4 3 0 0\n1 0 0 0\n2 1 0 0\n3 0 1 0\n4 0 0 1\n";
const std::string tetgenCells = "1 4 0\n1 1 2 3 4\n";
const std::string longName = std::string(246, 'n') + ".txt";

using Prepare = std::function<void(const ProgramRunner&)>;

Prepare directory(const std::string& name) {
  return [name](const ProgramRunner& runner) { fs::create_directory(runner.file(name)); };
}
Prepare fifo(const std::string& name) {
  return [name](const ProgramRunner& runner) {
    ASSERT_EQ(::mkfifo(runner.file(name).c_str(), 0666), 0);
  };
}
Prepare symlink(const std::string& target, const std::string& name) {
  return [=](const ProgramRunner& runner) { fs::create_symlink(target, runner.file(name)); };
}
// The working folder's tab/ replaced by a folder holding `tables` of the committed ones; the
// program then finds the committed tables through its build folder.
Prepare strayTables(const std::vector<std::string>& tables) {
  return [tables](const ProgramRunner& runner) {
    fs::remove(runner.file("tab"));
    fs::create_directory(runner.file("tab"));
    for (const std::string& name : tables)
      fs::copy_file(std::string(CAGEWARP_TAB_DIR) + "/" + name, runner.file("tab/" + name));
  };
}

// The content of every regular file in the runner's folder.
std::map<std::string, std::string> contents(const ProgramRunner& runner) {
  std::map<std::string, std::string> files;
  for (const std::string& name : filesIn(runner))
    if (fs::is_regular_file(fs::symlink_status(runner.file(name)))) files[name] = runner.read(name);
  return files;
}

TEST(RunSafety, UnreadableInputsRefusedOutputsAndLikelySlipsAreReported) {
  const std::set<std::string> results = {"c.txt.mat", "c.txt.ind"};
  const struct {
    std::string what;
    Prepare setup;  // besides c.txt, m.txt and moved.txt
    std::vector<std::string> args;
    int status;
    std::string message;  // on standard error
    std::set<std::string> written;
  } cases[] = {
      // Unreadable inputs: the system's reason; a pose is skipped and the rest written.
      {"a pose that is a directory",
       directory("d"),
       {"c.txt", "m.txt", "--deform", "d", "o1.txt", "--deform", "moved.txt", "o2.txt"},
       1,
       "cagewarp: d: is a directory\n",
       {"o2.txt", "c.txt.mat", "c.txt.ind"}},
      {"a pose that is a FIFO",
       fifo("f"),
       {"c.txt", "m.txt", "--deform", "f", "o1.txt", "--deform", "moved.txt", "o2.txt"},
       1,
       "cagewarp: f: is a FIFO that nobody writes to\n",
       {"o2.txt", "c.txt.mat", "c.txt.ind"}},
      {"a control mesh that is a directory",
       directory("d"),
       {"d", "m.txt"},
       1,
       "cagewarp: d: is a directory\n",
       {}},
      {"a model that is a FIFO",
       fifo("f.obj"),
       {"c.txt", "f.obj"},
       1,
       "cagewarp: f.obj: is a FIFO that nobody writes to\n",
       {}},
      // Input that never ends: refused at the limit, a pose skipped as a pose that cannot be read.
      {"a model that never ends",
       nullptr,
       {"c.txt", "/dev/zero"},
       1,
       "cagewarp: /dev/zero: more than 65536 bytes",
       {}},
      {"a control mesh that never ends",
       nullptr,
       {"/dev/zero", "m.txt"},
       1,
       "cagewarp: /dev/zero: more than 65536 bytes",
       {}},
      {"a pose that never ends",
       nullptr,
       {"c.txt", "m.txt", "--deform", "/dev/zero", "o1.txt", "--deform", "moved.txt", "o2.txt"},
       1,
       "cagewarp: /dev/zero: more than 65536 bytes",
       {"o2.txt", "c.txt.mat", "c.txt.ind"}},
      {"a model that is not there",
       nullptr,
       {"c.txt", "absent.ply"},
       1,
       "cagewarp: absent.ply: cannot open: No such file or directory\n",
       {}},
      // Outputs that would replace an input, another output or what is not a file.
      {"OUT is the model",
       nullptr,
       {"c.txt", "m.txt", "--deform", "moved.txt", "m.txt"},
       1,
       "cagewarp: m.txt: is the model (m.txt); the deformed model would replace it\n",
       {}},
      {"OUT is the control mesh by another path",
       directory("sub"),
       {"c.txt", "m.txt", "--deform", "moved.txt", "sub/../c.txt"},
       1,
       "sub/../c.txt: is the control mesh (c.txt)",
       {}},
      {"OUT is the pose",
       nullptr,
       {"c.txt", "m.txt", "--deform", "moved.txt", "moved.txt"},
       1,
       "moved.txt: is a moved control mesh (moved.txt)",
       {}},
      {"OUT is a link to the model",
       symlink("m.txt", "link.txt"),
       {"c.txt", "m.txt", "--deform", "moved.txt", "link.txt"},
       1,
       "link.txt: is the model (m.txt)",
       {}},
      {"OUT is the points of a TetGen cage",
       [](const ProgramRunner& runner) {
         runner.write("t.node", tetgenPoints);
         runner.write("t.ele", tetgenCells);
       },
       {"t.ele", "m.txt", "--deform", "moved.txt", "t.node"},
       1,
       "t.node: is the control mesh (t.node)",
       {}},
      {"two OUTs not there yet",
       nullptr,
       {"c.txt", "m.txt", "--deform", "moved.txt", "o.txt", "--deform", "moved.txt", "./o.txt"},
       1,
       "./o.txt: named for the deformed model and for the deformed model",
       {}},
      {"OUT is D",
       nullptr,
       {"c.txt", "m.txt", "--deform", "moved.txt", "c.txt.mat"},
       1,
       "c.txt.mat: named for the deformed model and for the matrix D",
       {}},
      {"--cage-out is the control mesh",
       nullptr,
       {"c.txt", "m.txt", "--cage-out", "c.txt"},
       1,
       "c.txt: is the control mesh (c.txt); the refined control mesh of --cage-out would",
       {}},
      {"--cage-out is the index list",
       nullptr,
       {"c.txt", "m.txt", "--cage-out", "c.txt.ind"},
       1,
       "c.txt.ind: named for the refined control mesh of --cage-out and for the enclosed",
       {}},
      {"OUT is a directory",
       directory("out"),
       {"c.txt", "m.txt", "--deform", "moved.txt", "out"},
       1,
       "cagewarp: out: is a directory; the deformed model is not written there\n",
       {}},
      {"OUT is a FIFO",
       fifo("p"),
       {"c.txt", "m.txt", "--deform", "moved.txt", "p"},
       1,
       "p: is not a regular file (a device, FIFO or socket); the deformed model does not",
       {}},
      {"an OUT name at the length limit",
       nullptr,
       {"c.txt", "m.txt", "--deform", "moved.txt", longName},
       0,
       "",
       {longName, "c.txt.mat", "c.txt.ind"}},
      // Slips on the command line.
      {"a forgotten OUT",
       nullptr,
       {"c.txt", "m.txt", "--deform", "moved.txt", "b", "s"},
       2,
       "cagewarp: --deform moved.txt b: b is an operation letter, not an output file; did you "
       "forget OUT?",
       {}},
      {"a forgotten --cage-out file",
       nullptr,
       {"c.txt", "m.txt", "--cage-out", "o", "s"},
       2,
       "did you forget OUT?",
       {}},
      {"--cage-out twice",
       nullptr,
       {"c.txt", "m.txt", "--cage-out", "a.vtk", "--cage-out", "b.vtk"},
       2,
       "cagewarp: --cage-out given twice (a.vtk and b.vtk)",
       {}},
      {"--cage-out in a format that cannot be written",
       nullptr,
       {"c.txt", "m.txt", "s", "--cage-out", "x.ele"},
       2,
       "cagewarp: x.ele: cannot write TetGen files",
       {}},
      {"--no-matrix with --mtx",
       nullptr,
       {"c.txt", "m.txt", "--no-matrix", "--mtx"},
       2,
       "--mtx chooses the format of D and --no-matrix writes no D",
       {}},
      // Only deforming.
      {"--no-matrix",
       nullptr,
       {"c.txt", "m.txt", "--no-matrix", "--deform", "moved.txt", "o.txt"},
       0,
       "cagewarp: deformed model written to o.txt\n",
       {"o.txt"}},
      // The working folder's tab/.
      {"an empty tab/",
       strayTables({}),
       {"c.txt", "m.txt", "l"},
       0,
       "cagewarp: warning: tab: holds none of the table files; passed over, looking further\n",
       results},
      {"a partial tab/",
       strayTables({"mesh_zip5.tab", "mesh_uni7.tab"}),
       {"c.txt", "m.txt"},
       1,
       "cagewarp: tab: 36 table files missing (mesh_proc.tab, mesh_uni0.tab,",
       {}},
      // A mesh text cell in the mirror order stays as written, but is named.
      {"an inverted mesh text cell",
       [](const ProgramRunner& runner) {
         runner.write("i.txt", "v 3 4\n0 0 0  1 0 0  0 1 0  0 0 1\nf 4 2\n0 1 2 3\n0 2 1 3\n");
       },
       {"i.txt", "m.txt"},
       0,
       "cagewarp: warning: i.txt: 1 inverted volume cells (tetrahedron 1, counting from 0 within "
       "their type) left as they are; model vertices inside them are not found\n",
       {"i.txt.mat", "i.txt.ind"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ProgramRunner runner;
    runner.write("c.txt", tetrahedron);
    runner.write("moved.txt", tetrahedron);
    runner.write("m.txt", twoPoints);
    if (c.setup) c.setup(runner);
    const std::set<std::string> inputs = filesIn(runner);
    const std::map<std::string, std::string> before = contents(runner);
    const RunResult r = runner.run(c.args, "", {.inputBytes = 65536});
    EXPECT_EQ(r.exitStatus, c.status) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    std::set<std::string> expected = inputs;
    expected.insert(c.written.begin(), c.written.end());
    EXPECT_EQ(filesIn(runner), expected);
    for (const auto& [name, content] : before) EXPECT_EQ(runner.read(name), content) << name;
    if (c.status == 2) {
      EXPECT_EQ(r.out, "");
    }
  }
}

// Root reads every file whatever its permissions, so this needs an ordinary user.
TEST(RunSafety, AnInputWithoutReadPermissionSkipsItsPose) {
  if (::geteuid() == 0) GTEST_SKIP() << "root may read any file";
  ProgramRunner runner;
  runner.write("c.txt", tetrahedron);
  runner.write("m.txt", twoPoints);
  runner.write("moved.txt", tetrahedron);
  fs::permissions(runner.file("moved.txt"), fs::perms::none);
  const RunResult r = runner.run(
      {"c.txt", "m.txt", "--deform", "moved.txt", "o1.txt", "--deform", "c.txt", "o2.txt"});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_NE(r.err.find("cagewarp: moved.txt: cannot open: Permission denied\n"), std::string::npos)
      << r.err;
  EXPECT_TRUE(runner.exists("o2.txt"));
  EXPECT_FALSE(runner.exists("o1.txt"));
}

// Only deforming: the count of enclosed vertices is still shown, D is not.
TEST(RunSafety, WithoutTheMatrixTheRunStillReportsWhatItEncloses) {
  ProgramRunner runner;
  runner.write("c.txt", tetrahedron);
  runner.write("m.txt", twoPoints);
  const RunResult r = runner.run({"c.txt", "m.txt", "--no-matrix"});
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_EQ(withoutAddresses(r.out),
            "load control mesh: c.txt\n"
            "control mesh: [0,0|2D:0,0|3D:1,0,0,0]::3x4:xyz@0\n"
            "load model mesh: m.txt\n"
            "model mesh: [0,0|2D:0,0|3D:0,0,0,0]::3x2:xyz@0\n"
            " 2 of 2 model vertices enclosed by subdiv. volume mesh\n");
}

}  // namespace
}  // namespace cagewarp::testing
