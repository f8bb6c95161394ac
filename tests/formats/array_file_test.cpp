#include "formats/array_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <string>

#include "formats/number_format.h"

#include "tests/support/console_text.h"
#include "tests/support/table_writer.h"
#include "tests/support/temp_dir.h"

namespace cagewarp {
namespace {

using ::testing::internal::CaptureStdout;
using ::testing::internal::GetCapturedStdout;

class ArrayFile : public ::testing::Test {
 protected:
  testing::TempDir dir;
};

using testing::withoutAddresses;

TEST_F(ArrayFile, LoadsColumnMajorBinaryAndEchoesIt) {
  Matrix m(3, 2, "fill");
  testing::writeBinaryArray(m, dir.file("m.tab"));
  CaptureStdout();
  Matrix loaded(loadArray<float>(dir.file("m.tab"), Echo::on).array);
  const std::string echo = GetCapturedStdout();
  ASSERT_EQ(loaded.rows(), 3);
  ASSERT_EQ(loaded.cols(), 2);
  EXPECT_EQ(loaded(0, 1), 3.0f);
  EXPECT_EQ(loaded(2, 1), 5.0f);
  EXPECT_EQ(withoutAddresses(echo),
            dir.file("m.tab") + " ->\t [3x2]=6\tdata:@\n0\t3\t\n1\t4\t\n2\t5\t\n");
}

TEST_F(ArrayFile, MissingFileIsEmptyAndEchoedOnlyWhenAsked) {
  const std::string name = dir.file("none.tab");
  CaptureStdout();
  const LoadedArray<int32_t> a = loadArray<int32_t>(name, Echo::on);
  EXPECT_EQ(GetCapturedStdout(), "??? " + name + " input suppressed!\n");
  EXPECT_TRUE(a.array.isEmpty());
  EXPECT_TRUE(a.missing);
  EXPECT_FALSE(a.status.ok);
  CaptureStdout();
  loadArray<int32_t>(name);
  EXPECT_EQ(GetCapturedStdout(), "");
}

TEST_F(ArrayFile, MalformedFilesLoadEmptyWithAProblem) {
  const std::vector<std::vector<int32_t>> cases = {
      {},                                          // no dimension count
      {-1},                                        // negative n
      {1000},                                      // implausible n
      {2, 3},                                      // sizes cut short
      {2, 3, -2},                                  // negative size
      {1, 4, 1, 2, 3},                             // fewer elements than announced
      {2, 65536, 65536, 0},                        // a count that does not fit
      {4, 0, 0x03000000, 0x03000000, 0x03000000},  // no elements, columns beyond an int
  };
  for (const auto& words : cases) {
    testing::writeFile(dir.file("bad.tab"),
                       std::string(reinterpret_cast<const char*>(words.data()), 4 * words.size()));
    const LoadedArray<int32_t> a = loadArray<int32_t>(dir.file("bad.tab"));
    EXPECT_TRUE(a.array.isEmpty()) << words.size();
    EXPECT_FALSE(a.missing) << words.size();
    EXPECT_FALSE(a.status.message.empty()) << words.size();
  }
  // Trailing bytes after the elements are ignored.
  const std::vector<int32_t> longer = {1, 2, 7, 8, 9};
  testing::writeFile(dir.file("long.tab"),
                     std::string(reinterpret_cast<const char*>(longer.data()), 20));
  const LoadedArray<int32_t> a = loadArray<int32_t>(dir.file("long.tab"));
  EXPECT_TRUE(a.status.ok);
  ASSERT_EQ(a.array.count(), 2);
  EXPECT_EQ(a.array[1], 8);
}

TEST_F(ArrayFile, SavesTheTextFormExactly) {
  const std::string header =
      "% n-dimensional array file. n==2 corresponds to matrix or vector.\n"
      "% n | s1 s2 ... sn | data (filling up lower dimensions first = MATLAB standard)\n\n";
  CaptureStdout();
  ASSERT_TRUE(saveArray(IntArray::fromValues({4, 9}), dir.file("v.ind")).ok);
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(testing::readFile(dir.file("v.ind")), header + "1\n2 \n4 9 \n");
  Matrix m(2, 3);
  const float values[] = {1, 0.5f, 0, 2, 0.25f, 3};
  std::copy(values, values + 6, m.data());
  ASSERT_TRUE(saveArray(m, dir.file("m.mat")).ok);
  EXPECT_EQ(testing::readFile(dir.file("m.mat")), header + "2\n2 3 \n1 0.5 0 2 0.25 3 \n");
  ASSERT_TRUE(saveArray(Matrix(3, 0), dir.file("e.mat")).ok);
  EXPECT_EQ(testing::readFile(dir.file("e.mat")), header + "2\n3 0 \n\n");
  Matrix special(1, 5);
  const float odd[] = {-0.0f, 1.0f / 3, 1e-7f, -std::numeric_limits<float>::infinity(),
                       123456789.0f};
  std::copy(odd, odd + 5, special.data());
  ASSERT_TRUE(saveArray(special, dir.file("s.mat")).ok);
  EXPECT_EQ(testing::readFile(dir.file("s.mat")),
            header + "2\n1 5 \n-0 0.333333 1e-07 -inf 1.23457e+08 \n");
}

TEST_F(ArrayFile, SaveEchoesEvenWhenTheFileCannotBeCreated) {
  const std::string name = dir.file("missing-dir/x.ind");
  CaptureStdout();
  EXPECT_FALSE(saveArray(IntArray::fromValues({1}), name, Echo::on).ok);
  EXPECT_EQ(withoutAddresses(GetCapturedStdout()), name + " <-T\t [1]=1\tdata:@\n1\t\n");
}

// The table files' form: little-endian words n, the sizes, the elements; loadArray reads it back.
TEST_F(ArrayFile, SavesBinaryArraysAsLoadArrayReadsThem) {
  const std::string name = dir.file("t.tab");
  ASSERT_TRUE(saveBinaryArray(IntArray::fromValues({7, -1}), name).ok);
  EXPECT_EQ(testing::readFile(name), std::string("\1\0\0\0\2\0\0\0\7\0\0\0\xff\xff\xff\xff", 16));
  Matrix m(2, 3, "fill");
  m[4] = -0.0f;
  for (const Matrix& matrix : {m, Matrix(4, 0)}) {
    ASSERT_TRUE(saveBinaryArray(matrix, name).ok);
    EXPECT_EQ(loadArray<float>(name).array, matrix) << matrix.rows();
  }
  EXPECT_FALSE(saveBinaryArray(m, dir.file("missing-dir/t.tab")).ok);
}

// What saveArray writes reads back; anything else is refused with the file and line.
TEST_F(ArrayFile, ReadsArrayTextBack) {
  const std::string name = dir.file("a.mat");
  Matrix m(2, 3);
  const float values[] = {1, -0.5f, 0, 1.0f / 3, 1e-7f, -std::numeric_limits<float>::infinity()};
  std::copy(values, values + 6, m.data());
  ASSERT_TRUE(saveArray(m, name).ok);
  const LoadedArray<float> floats = loadArrayText<float>(name);
  ASSERT_TRUE(floats.status.ok) << floats.status.message;
  ASSERT_EQ(floats.array.rows(), 2);
  ASSERT_EQ(floats.array.cols(), 3);
  for (int i = 0; i < 6; ++i)
    EXPECT_EQ(floats.array[i], std::strtof(floatText(values[i]).c_str(), nullptr)) << i;
  ASSERT_TRUE(saveArray(IntArray::fromValues({4, -9}), name).ok);
  EXPECT_EQ(loadArrayText<int32_t>(name).array, IntArray::fromValues({4, -9}));

  const struct {
    std::string text;
    std::string problem;
  } malformed[] = {
      {"% only a comment\n", ":2: expected dimension count, found the end of the file"},
      {"-1\n", ":1: negative dimension count -1"},
      {"1\n3\n1 2\n", ":4: expected an element, found the end of the file"},
      {"1\n2\n1 2 3\n", ":3: more elements than its sizes hold"},
      {"2\n2 x\n", ":2: expected size, found 'x'"},
      {"1\n99999\n1\n", ":2: element count 99999 is larger than the file can hold"},
      {"1\n1\n3000000000\n", ":3: element 3000000000 is out of range"},
  };
  for (const auto& c : malformed) {
    testing::writeFile(name, c.text);
    const LoadedArray<int32_t> bad = loadArrayText<int32_t>(name);
    EXPECT_FALSE(bad.missing);
    EXPECT_EQ(bad.status.message, name + c.problem) << c.text;
  }
  EXPECT_TRUE(loadArrayText<float>(dir.file("none.mat")).missing);
}

TEST_F(ArrayFile, ConsoleFormLimits) {
  EXPECT_EQ(consoleForm(IntArray()), " [empty]\n");
  EXPECT_EQ(withoutAddresses(consoleForm(Matrix(3, 0))), " [3x0]=0\tdata:@\n");
  const auto lines = [](const std::string& s) { return std::count(s.begin(), s.end(), '\n'); };
  EXPECT_EQ(lines(consoleForm(FloatArray({100}, 1.0f))), 2);
  EXPECT_EQ(lines(consoleForm(FloatArray({101}, 1.0f))), 1);
  EXPECT_EQ(lines(consoleForm(Matrix(20, 25))), 21);
  EXPECT_EQ(lines(consoleForm(Matrix(21, 25))), 1);
  EXPECT_EQ(lines(consoleForm(FloatArray({2, 2, 2}, 1.0f))), 1);
}

}  // namespace
}  // namespace cagewarp
