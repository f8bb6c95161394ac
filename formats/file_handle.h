#pragma once

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

// Reads the whole file into `bytes`, for every reader alike; fails with "FILE: cannot open" when
// it does not open and "FILE: cannot read" when reading it fails.
Status readWholeFile(const std::string& path, std::string& bytes);

}  // namespace cagewarp
