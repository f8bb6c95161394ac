#include "formats/model_reading.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cstdlib>

#include "mesh/cell_type.h"

namespace cagewarp::detail {
namespace {

// White space as the C locale's isspace sees it.
bool isSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr size_t longestQuotedWord = 40;

// Where the digits of a number word start: from_chars takes no leading '+', and "+-" is no
// number (null then).
const char* numberStart(std::string_view word) {
  const char* begin = word.data();
  const char* end = begin + word.size();
  if (begin < end && *begin == '+') {
    ++begin;
    if (begin < end && *begin == '-') return nullptr;
  }
  return begin;
}

}  // namespace

Status textFailure(const std::string& path, int line, const std::string& what) {
  return Status::failure(path + ":" + std::to_string(line) + ": " + what);
}

Status byteFailure(const std::string& path, int64_t offset, const std::string& what) {
  return Status::failure(path + ": byte " + std::to_string(offset) + ": " + what);
}

// Built by appending: g++ 12 at -O3 warns (-Wrestrict) about "'" + std::string(...).
std::string quoted(std::string_view word) {
  const bool cut = word.size() > longestQuotedWord;
  std::string text(1, '\'');
  text.append(cut ? word.substr(0, 40) : word);
  if (cut) text.append("...");
  text.push_back('\'');
  return text;
}

bool parseFloat(std::string_view word, float& value) {
  const char* begin = numberStart(word);
  const char* end = word.data() + word.size();
  if (begin == nullptr) return false;
  const auto [stop, error] = std::from_chars(begin, end, value);
  if (error == std::errc::invalid_argument || stop != end) return false;
  if (error == std::errc::result_out_of_range)
    value = std::strtof(std::string(begin, end).c_str(), nullptr);
  return true;
}

bool parseInteger(std::string_view word, int64_t& value) {
  const char* begin = numberStart(word);
  const char* end = word.data() + word.size();
  if (begin == nullptr) return false;
  const auto [stop, error] = std::from_chars(begin, end, value);
  return error == std::errc() && stop == end;
}

bool LineCursor::next() {
  if (next_ >= static_cast<int64_t>(text_.size())) return false;
  offset_ = next_;
  const size_t newline = text_.find('\n', static_cast<size_t>(offset_));
  const size_t stop = newline == std::string_view::npos ? text_.size() : newline;
  line_ = text_.substr(static_cast<size_t>(offset_), stop - static_cast<size_t>(offset_));
  next_ = newline == std::string_view::npos ? static_cast<int64_t>(text_.size())
                                            : static_cast<int64_t>(newline) + 1;
  ++number_;
  return true;
}

bool WordCursor::next(std::string_view& word) {
  while (position_ < line_.size() && isSpace(line_[position_])) ++position_;
  if (position_ == line_.size() || (comment_ != '\0' && line_[position_] == comment_)) {
    position_ = line_.size();
    return false;
  }
  wordStart_ = position_;
  while (position_ < line_.size() && !isSpace(line_[position_]) &&
         (comment_ == '\0' || line_[position_] != comment_))
    ++position_;
  word = line_.substr(wordStart_, position_ - wordStart_);
  return true;
}

bool WordStream::next(std::string_view& word) {
  while (!words_.next(word)) {
    if (!lines_.next()) return false;
    words_ = WordCursor(lines_.line(), lines_.offset());
  }
  return true;
}

int ModelBuilder::addVertex(float x, float y, float z) {
  if (xyz_.size() + 3 > static_cast<size_t>(INT_MAX)) return -1;
  xyz_.insert(xyz_.end(), {x, y, z});
  return vertexCount() - 1;
}

void ModelBuilder::addSite(int64_t offset, int64_t length, int vertex, int axis,
                           CoordinateEncoding encoding) {
  model_.sites.push_back(
      {offset, static_cast<int32_t>(length), vertex, static_cast<uint8_t>(axis), encoding});
}

bool ModelBuilder::addPolygon(const int32_t* corners, int count) {
  if (count <= 0) return true;
  // Points, lines, triangles and quads are cells as they stand; a larger polygon becomes the
  // triangles of a fan, enough for a summary of what the model holds.
  const int type = count <= 4 ? count - 1 : triangleType;
  std::vector<int32_t>& cells = cells_[type];
  const size_t added = count <= 4 ? static_cast<size_t>(count) : size_t{3} * (count - 2);
  if (cells.size() + added > static_cast<size_t>(INT_MAX)) return false;
  if (count <= 4) {
    cells.insert(cells.end(), corners, corners + count);
    return true;
  }
  for (int k = 1; k + 1 < count; ++k)
    cells.insert(cells.end(), {corners[0], corners[k], corners[k + 1]});
  return true;
}

void ModelBuilder::finish() {
  Mesh& mesh = model_.mesh;
  mesh = Mesh(3);
  mesh.vertices = Matrix(3, vertexCount());
  std::copy(xyz_.begin(), xyz_.end(), mesh.vertices.data());
  for (int t = 0; t < 4; ++t) {
    const int rows = verticesPerCell[t];
    IntArray cells({rows, static_cast<int>(cells_[t].size()) / rows}, 0);
    std::copy(cells_[t].begin(), cells_[t].end(), cells.data());
    mesh.cells[t] = std::move(cells);
  }
  xyz_ = {};
  cells_ = {};
}

}  // namespace cagewarp::detail
