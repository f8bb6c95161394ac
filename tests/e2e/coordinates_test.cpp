#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/e2e/program_runner.h"

namespace cagewarp::testing {
namespace {

// An octahedron (apexes 0 and 5) and a hexahedron whose top is pushed through its bottom.
const std::string octahedronAndFoldedHexahedron =
    "v 3 14\n"
    "0 0 1  1 0 0  0 1 0  -1 0 0  0 -1 0  0 0 -1\n"
    "3 0 0  4 0 0  4 1 0  3 1 0  3 0 1  4 0 1  3.9 0.9 -0.5  3 1 1\n"
    "f 5 1\n0 1 2 3 4 5\n"
    "f 7 1\n6 7 8 9 10 11 12 13\n";

// The numbers of an array text file's last line.
std::vector<std::string> elements(const std::string& text) {
  std::istringstream last(text.substr(text.rfind('\n', text.size() - 2) + 1));
  std::vector<std::string> words;
  for (std::string word; last >> word;) words.push_back(word);
  return words;
}

TEST(Program, TrilinearCoordinatesAreBarycentricInTheOctahedronsTetrahedra) {
  ProgramRunner runner;
  runner.write("c.txt", octahedronAndFoldedHexahedron);
  runner.write("m.txt", "v 3 2\n0.2 0.1 0.3\n3.2 0.2 0.3\n");
  const RunResult wachspress = runner.run({"c.txt", "m.txt"});
  EXPECT_EQ(wachspress.exitStatus, 0);
  EXPECT_EQ(wachspress.err, "");
  const std::vector<std::string> before = elements(runner.read("c.txt.mat"));
  ASSERT_EQ(before.size(), 28u);

  const RunResult r = runner.run({"c.txt", "m.txt", "--coordinates", "trilinear"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(r.err,
            "cagewarp: warning: trilinear coordinates: 1 hexahedron (hexahedron 0) inverted or "
            "folded; points in them get Wachspress coordinates\n");
  EXPECT_EQ(runner.read("c.txt.ind"), arrayHeader + "1\n2 \n0 1 \n");
  const std::vector<std::string> after = elements(runner.read("c.txt.mat"));
  ASSERT_EQ(after.size(), 28u);
  // In the tetrahedron 1 2 5 0: x = 0.2 on corner 1, y = 0.1 on corner 2, the rest split so that
  // z = 0.3; the other equator corners get nothing (their Wachspress coordinates are positive).
  const std::vector<std::string> octahedron = {"0.5", "0.2", "0.1", "0", "0", "0.2"};
  EXPECT_EQ(std::vector<std::string>(after.begin(), after.begin() + 6), octahedron);
  EXPECT_NE(std::vector<std::string>(before.begin(), before.begin() + 6), octahedron);
  // The folded hexahedron's point keeps its Wachspress column.
  EXPECT_EQ(std::vector<std::string>(after.begin() + 14, after.end()),
            std::vector<std::string>(before.begin() + 14, before.end()));
}

}  // namespace
}  // namespace cagewarp::testing
