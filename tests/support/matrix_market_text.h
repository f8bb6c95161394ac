#pragma once

#include <charconv>
#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

namespace cagewarp::testing {

// A Matrix Market coordinate file read back: the banner line, the sizes and the entries as
// written (1-based), values read as floats.
struct MatrixMarketEntry {
  int64_t row = 0;
  int64_t column = 0;
  float value = 0.0f;
};
struct MatrixMarketText {
  std::string banner;
  int64_t rows = -1, columns = -1, entries = -1;
  std::vector<MatrixMarketEntry> lines;
  bool wellFormed = true;  // every entry line held two indices and a whole float, nothing more
};

inline MatrixMarketText parseMatrixMarket(const std::string& text) {
  MatrixMarketText matrix;
  std::istringstream in(text);
  std::getline(in, matrix.banner);
  std::string line;
  std::getline(in, line);
  std::istringstream(line) >> matrix.rows >> matrix.columns >> matrix.entries;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    MatrixMarketEntry entry;
    std::string value, rest;
    words >> entry.row >> entry.column >> value;
    const auto read = std::from_chars(value.data(), value.data() + value.size(), entry.value);
    if (!words || words >> rest || read.ec != std::errc() ||
        read.ptr != value.data() + value.size())
      matrix.wellFormed = false;
    matrix.lines.push_back(entry);
  }
  return matrix;
}

}  // namespace cagewarp::testing
