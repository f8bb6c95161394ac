#include "formats/file_handle.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace cagewarp {
namespace {

using testing::TempDir;

// A directory opens like a file on Linux and may claim any size; it must fail to read rather
// than size a buffer by that claim. A FIFO nobody writes to must not be waited on.
TEST(ReadWholeFile, ReadsAFileAndRefusesWhatIsNone) {
  TempDir dir;
  const std::string text(10000, 'x');
  testing::writeFile(dir.file("file"), text + "\n");
  // Past the size read into huge pages, not a whole number of them.
  std::string large(size_t{5} << 20 | 7, ' ');
  for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>('a' + i % 23);
  testing::writeFile(dir.file("large"), large);
  std::filesystem::create_directory(dir.file("folder"));
  ASSERT_EQ(::mkfifo(dir.file("fifo").c_str(), 0666), 0);
  const struct {
    std::string path, message, bytes;
  } cases[] = {
      {dir.file("file"), "", text + "\n"},
      {dir.file("large"), "", large},
      {dir.file("empty"), "", ""},
      {dir.file("folder"), dir.file("folder") + ": is a directory", ""},
      {dir.file("fifo"), dir.file("fifo") + ": is a FIFO that nobody writes to", ""},
      {dir.file("absent"), dir.file("absent") + ": cannot open: No such file or directory", ""},
  };
  testing::writeFile(dir.file("empty"), "");
  for (const auto& c : cases) {
    std::string bytes = "left over";
    const Status status = readWholeFile(c.path, bytes);
    EXPECT_EQ(status.message, c.message) << c.path;
    if (status.ok) {
      EXPECT_EQ(bytes, c.bytes) << c.path;
    }
    FileBytes unfilled(3, 'z');
    const Status same = readWholeFile(c.path, unfilled);
    EXPECT_EQ(same.message, c.message) << c.path;
    if (same.ok) {
      EXPECT_EQ(textOf(unfilled), c.bytes) << c.path;
    }
  }
}

// A file cut short while it is read (here a pipe standing in for it, its size as first seen
// larger than what comes) must not pass for a complete shorter file.
TEST(ReadWholeFile, AFileThatShrinksWhileReadFails) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::write(ends[1], "abcde", 5), 5);
  ::close(ends[1]);
  std::string bytes;
  Status status = detail::readToEnd(ends[0], "f", 8, bytes);
  ::close(ends[0]);
  EXPECT_EQ(status.message, "f: shrank from 8 to 5 bytes while being read");
  EXPECT_EQ(bytes, "");

  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::write(ends[1], "abcde", 5), 5);
  ::close(ends[1]);
  status = detail::readToEnd(ends[0], "f", 5, bytes);
  ::close(ends[0]);
  EXPECT_TRUE(status.ok) << status.message;
  EXPECT_EQ(bytes, "abcde");
}

// A pipe that was fed (here before its writer closed) is read like a file, its first byte too.
TEST(ReadWholeFile, APipeBeingFedIsRead) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::write(ends[1], "v 3 1\n", 6), 6);
  ::close(ends[1]);
  std::string bytes = "left over";
  const Status status = readWholeFile("/dev/fd/" + std::to_string(ends[0]), bytes);
  ::close(ends[0]);
  EXPECT_TRUE(status.ok) << status.message;
  EXPECT_EQ(bytes, "v 3 1\n");
}

}  // namespace
}  // namespace cagewarp
