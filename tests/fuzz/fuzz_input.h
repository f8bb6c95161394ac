#pragma once

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "driver/pipeline.h"
#include "mesh/mesh.h"

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
    writeAll(path_, std::string_view(reinterpret_cast<const char*>(data), size));
    return path_;
  }
  const std::string& hold(std::string_view bytes) const {
    writeAll(path_, bytes);
    return path_;
  }
  const std::string& path() const { return path_; }

  static void writeAll(const std::string& path, std::string_view bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }

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

// Whether every cell of the mesh names one of its vertex columns.
inline bool indicesInRange(const Mesh& mesh) {
  for (const IntArray& cells : mesh.cells)
    for (int i = 0; i < cells.count(); ++i)
      if (cells[i] < 0 || cells[i] >= mesh.vertexColumns()) return false;
  return true;
}

// Stops the fuzzer with a report when a property of the code under test fails.
inline void require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "fuzz property failed: %s\n", what);
    std::abort();
  }
}

// What every successful run leaves: cells within the refined vertices, the enclosed model
// vertices ascending and the model's own, and D with a row per control vertex as loaded and a
// column per enclosed vertex.
inline void requireSoundOutcome(const RunOutcome& run) {
  if (!run.status.ok) return;
  require(indicesInRange(run.control), "refined cells name only refined vertices");
  const IntArray& enclosed = run.relation.enclosedIndices;
  for (int j = 0; j < enclosed.count(); ++j)
    require(enclosed[j] >= 0 && enclosed[j] < run.model.vertexColumns() &&
                (j == 0 || enclosed[j - 1] < enclosed[j]),
            "enclosed vertices are model vertices, ascending");
  const Matrix d = deformationMatrix(run.relation);
  require(!d.isEmpty() && d.rows() == run.control.vertexRows() - run.weightRow &&
              d.cols() == enclosed.count(),
          "D has a row per control vertex and a column per enclosed vertex");
}

}  // namespace cagewarp::fuzzing
