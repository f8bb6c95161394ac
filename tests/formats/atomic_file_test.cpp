#include "formats/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/temp_dir.h"

namespace cagewarp {
namespace {

using testing::readFile;
using testing::TempDir;
using testing::writeFile;

size_t entriesIn(const TempDir& dir) {
  size_t n = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.path())) ++n;
  return n;
}

TEST(AtomicFile, ReplacesTheOldFileOnlyOnCommit) {
  TempDir dir;
  const std::string path = dir.file("result.mat");
  writeFile(path, "old result\n");
  {
    AtomicFile file(path);
    ASSERT_TRUE(file.open().ok);
    std::fputs("new result\n", file.stream());
    EXPECT_EQ(readFile(path), "old result\n");
    EXPECT_EQ(entriesIn(dir), 2u);
    ASSERT_TRUE(file.commit().ok);
  }
  EXPECT_EQ(readFile(path), "new result\n");
  EXPECT_EQ(entriesIn(dir), 1u);
}

TEST(AtomicFile, AnAbandonedWriteLeavesTheOldFileAndNoTemporary) {
  TempDir dir;
  const std::string path = dir.file("result.mat");
  writeFile(path, "old result\n");
  {
    AtomicFile file(path);
    ASSERT_TRUE(file.open().ok);
    std::fputs("half a resu", file.stream());
  }
  EXPECT_EQ(readFile(path), "old result\n");
  EXPECT_EQ(entriesIn(dir), 1u);
}

// The temporary name is longer than the final one; a final name at the length limit still works.
TEST(AtomicFile, NamesUpToTheFilesystemsLimitAreWritten) {
  TempDir dir;
  for (const size_t length : {246, 250, 255}) {
    const std::string path = dir.file(std::string(length - 4, 'n') + ".txt");
    AtomicFile file(path);
    ASSERT_TRUE(file.open().ok) << length;
    std::fputs("result\n", file.stream());
    ASSERT_TRUE(file.commit().ok) << length;
    EXPECT_EQ(readFile(path), "result\n");
  }
  EXPECT_EQ(entriesIn(dir), 3u);
}

TEST(AtomicFile, ReportsADirectoryThatCannotHoldIt) {
  TempDir dir;
  AtomicFile file(dir.file("missing/result.mat"));
  const Status status = file.open();
  EXPECT_FALSE(status.ok);
  EXPECT_NE(status.message.find("missing/result.mat: cannot create"), std::string::npos);
  EXPECT_FALSE(file.commit().ok);
}

}  // namespace
}  // namespace cagewarp
