#include "formats/text_scanner.h"

#include <gtest/gtest.h>

#include <string>

#include "formats/cage_file.h"
#include "formats/mesh_text.h"
#include "formats/model_file.h"
#include "tests/support/temp_dir.h"

namespace cagewarp {
namespace {

using testing::TempDir;
using testing::writeFile;

// `pattern` with every '#' replaced by `number`.
std::string spelled(const std::string& pattern, const std::string& number) {
  std::string text;
  for (char c : pattern) text += c == '#' ? number : std::string(1, c);
  return text;
}

// Whether each reader family takes a word spelled by `pattern` where it expects a float, or an
// integer: the mesh text, a cage format (Medit; the integer is a triangle's reference, which any
// value may take) and a model format (OBJ). `#` stands for a number that is valid there.
struct Accepted {
  bool meshText, cage, model;
};

Accepted readsFloat(const TempDir& dir, const std::string& pattern) {
  const std::string word = spelled(pattern, "1.5");
  writeFile(dir.file("f.txt"), "v 3 1\n" + word + " 0 0\n");
  writeFile(dir.file("f.mesh"),
            "MeshVersionFormatted 2\nDimension 3\nVertices\n1\n" + word + " 0 0 0\nEnd\n");
  writeFile(dir.file("f.obj"), "v " + word + " 0 0\n");
  Mesh text, cage;
  ModelFile model;
  Warnings warnings;
  return {readText(text, dir.file("f.txt")).ok, readCage(dir.file("f.mesh"), cage, warnings).ok,
          readModelFile(dir.file("f.obj"), model).ok};
}

Accepted readsInteger(const TempDir& dir, const std::string& pattern) {
  const std::string vertices = "0 0 0\n1 0 0\n0 1 0\n";
  writeFile(dir.file("i.txt"), "v 3 3\n" + vertices + "f 2 1\n0 1 " + spelled(pattern, "2") + "\n");
  writeFile(dir.file("i.mesh"),
            "MeshVersionFormatted 2\nDimension 3\nVertices\n3\n0 0 0 0\n1 0 0 0\n0 1 0 0\n"
            "Triangles\n1\n1 2 3 " +
                spelled(pattern, "7") + "\nEnd\n");
  writeFile(dir.file("i.obj"), "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 " + spelled(pattern, "3") + "\n");
  Mesh text, cage;
  ModelFile model;
  Warnings warnings;
  return {readText(text, dir.file("i.txt")).ok, readCage(dir.file("i.mesh"), cage, warnings).ok,
          readModelFile(dir.file("i.obj"), model).ok};
}

// One sign at most, and the number is the whole word (the mesh text's "1.5x" fails at the x
// that follows): the same inputs are accepted or refused by every reader.
TEST(NumberRule, EveryReaderAcceptsTheSameNumbers) {
  const struct {
    const char* pattern;
    bool accepted;
  } cases[] = {
      {"#", true},    {"+#", true},   {"-#", true},    {"+-#", false}, {"-+#", false},
      {"++#", false}, {"--#", false}, {"+", false},    {"-", false},   {"#x", false},
      {"x#", false},  {"1e99", true}, {"1e-99", true}, {"inf", true},
  };
  TempDir dir;
  for (const auto& c : cases) {
    const Accepted floats = readsFloat(dir, c.pattern);
    EXPECT_EQ(floats.meshText, c.accepted) << "float " << c.pattern;
    EXPECT_EQ(floats.cage, c.accepted) << "float " << c.pattern;
    EXPECT_EQ(floats.model, c.accepted) << "float " << c.pattern;
  }
  // A vertex index names no vertex when negative in the mesh text and counts back in an OBJ
  // file, so only the sign rules are compared for integers.
  for (const auto& c : cases) {
    const std::string pattern = c.pattern;
    if (pattern.find('#') == std::string::npos || pattern.find('x') != std::string::npos ||
        pattern == "-#")
      continue;
    const Accepted integers = readsInteger(dir, pattern);
    EXPECT_EQ(integers.meshText, c.accepted) << "integer " << c.pattern;
    EXPECT_EQ(integers.cage, c.accepted) << "integer " << c.pattern;
    EXPECT_EQ(integers.model, c.accepted) << "integer " << c.pattern;
  }
}

TEST(Quoted, ShowsAShortPrintableForm) {
  EXPECT_EQ(cagewarp::quoted("abc"), "'abc'");
  EXPECT_EQ(cagewarp::quoted(""), "the end of the file");
  EXPECT_EQ(cagewarp::quoted("a\x1b[2Jb\xff"), "'a?[2Jb?'");
  EXPECT_EQ(cagewarp::quoted(std::string(41, 'x')), "'" + std::string(40, 'x') + "...'");
}

}  // namespace
}  // namespace cagewarp
