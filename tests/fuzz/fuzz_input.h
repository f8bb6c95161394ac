#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

namespace cagewarp::fuzzing {

// The readers take file names, so each input is written to a file of this process's own.
class InputFile {
 public:
  explicit InputFile(const std::string& suffix = "") {
    path_ = (std::filesystem::temp_directory_path() /
             ("cagewarp-fuzz-" + std::to_string(::getpid()) + suffix))
                .string();
  }
  ~InputFile() { std::remove(path_.c_str()); }
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Replaces the file's content with `size` bytes from `data`.
  const std::string& hold(const uint8_t* data, size_t size) const {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    if (f != nullptr) {
      if (size > 0) std::fwrite(data, 1, size, f);
      std::fclose(f);
    }
    return path_;
  }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

inline std::string contentOf(const std::string& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char block[4096];
    size_t n = 0;
    while ((n = std::fread(block, 1, sizeof block, f)) > 0) text.append(block, n);
    std::fclose(f);
  }
  return text;
}

// Stops the fuzzer with a report when a property of the code under test fails.
inline void require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz property failed: %s\n", what);
    std::abort();
  }
}

}  // namespace cagewarp::fuzzing
