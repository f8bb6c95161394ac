#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

#include "array/status.h"

namespace cagewarp {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

// An open file that closes itself; null when the file did not open.
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

inline FileHandle openFile(const std::string& path, const char* mode) {
  return FileHandle(std::fopen(path.c_str(), mode));
}

// Reads the whole file into `bytes`, for every reader alike. Fails with the system's reason:
// "FILE: cannot open: REASON" when it does not open, "FILE: is a directory", "FILE: is a FIFO
// that nobody writes to" (it is not waited on; a pipe being fed is read), "FILE: cannot read:
// REASON" when reading fails, and a message when a regular file shrinks while it is read.
Status readWholeFile(const std::string& path, std::string& bytes);

namespace detail {

// Reads `descriptor` to its end, appending to `bytes`; `expectedSize` is the size the file had
// when opened (0 when it has none, as for a device), and holding fewer bytes at the end fails.
// `path` names the file in messages.
Status readToEnd(int descriptor, const std::string& path, int64_t expectedSize, std::string& bytes);

}  // namespace detail

}  // namespace cagewarp
