#include "formats/file_handle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace cagewarp {
namespace {

using testing::TempDir;

// A directory opens like a file on Linux and may claim any size; it must fail to read rather
// than size a buffer by that claim.
TEST(ReadWholeFile, ReadsAFileAndRefusesWhatIsNone) {
  TempDir dir;
  const std::string text(10000, 'x');
  testing::writeFile(dir.file("file"), text + "\n");
  std::filesystem::create_directory(dir.file("folder"));
  const struct {
    std::string path, message, bytes;
  } cases[] = {
      {dir.file("file"), "", text + "\n"},
      {dir.file("empty"), "", ""},
      {dir.file("folder"), dir.file("folder") + ": cannot read", ""},
      {dir.file("absent"), dir.file("absent") + ": cannot open", ""},
  };
  testing::writeFile(dir.file("empty"), "");
  for (const auto& c : cases) {
    std::string bytes = "left over";
    const Status status = readWholeFile(c.path, bytes);
    EXPECT_EQ(status.message, c.message) << c.path;
    if (status.ok) {
      EXPECT_EQ(bytes, c.bytes) << c.path;
    }
  }
}

}  // namespace
}  // namespace cagewarp
