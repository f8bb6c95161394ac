#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "array/status.h"
#include "formats/model_file.h"

// What the model format readers share: the number rules, lines and words with
// their byte offsets, failure messages, and the collection of vertices, sites and cells.
namespace cagewarp::detail {

// "FILE:LINE: what" for text input, "FILE: byte OFFSET: what" for binary input.
Status textFailure(const std::string& path, int line, const std::string& what);
Status byteFailure(const std::string& path, int64_t offset, const std::string& what);
// The word in quotes, cut short when long.
std::string quoted(std::string_view word);

// A whole word as a float, rounded as strtof rounds (the mesh text format's rule: an optional
// '+', then what from_chars reads; out-of-range values become infinities or denormals).
bool parseFloat(std::string_view word, float& value);
// A whole word as a decimal integer with an optional sign.
bool parseInteger(std::string_view word, int64_t& value);

// The lines of a text, each with its first byte's offset and its 1-based number.
class LineCursor {
 public:
  explicit LineCursor(std::string_view text, int64_t start = 0, int number = 0)
      : text_(text), next_(start), number_(number) {}

  // Moves to the next line; false at the end of the text.
  bool next();
  // The current line without its '\n'.
  std::string_view line() const { return line_; }
  int64_t offset() const { return offset_; }
  int number() const { return number_; }
  // Offset just past the current line's '\n' (the end of the text for the last line).
  int64_t nextOffset() const { return next_; }

 private:
  std::string_view text_;
  std::string_view line_;
  int64_t offset_ = 0;
  int64_t next_;
  int number_;
};

// The white-space separated words of one line with their offsets; a comment character ends the
// words.
class WordCursor {
 public:
  WordCursor(std::string_view line, int64_t offset, char comment = '\0')
      : line_(line), offset_(offset), comment_(comment) {}

  // The next word; false when the line has none left.
  bool next(std::string_view& word);
  // File offset of the word next() returned last.
  int64_t wordOffset() const { return offset_ + static_cast<int64_t>(wordStart_); }

 private:
  std::string_view line_;
  int64_t offset_;
  char comment_;
  size_t position_ = 0;
  size_t wordStart_ = 0;
};

// The words of a text across its lines, with their offsets and line numbers.
class WordStream {
 public:
  WordStream(std::string_view text, int64_t start, int line) : lines_(text, start, line - 1) {}

  // The next word; false at the end of the text.
  bool next(std::string_view& word);
  // Drops the rest of the current line.
  void skipLine() { words_ = WordCursor(std::string_view(), 0); }
  int64_t wordOffset() const { return words_.wordOffset(); }
  int line() const { return lines_.number(); }
  int64_t lineOffset() const { return lines_.offset(); }

 private:
  LineCursor lines_;
  WordCursor words_{std::string_view(), 0};
};

// Collects a model's vertices, coordinate sites and cells as a reader finds them.
class ModelBuilder {
 public:
  explicit ModelBuilder(ModelFile& model) : model_(model) {}

  // The new vertex's index, or -1 when the model cannot hold another.
  int addVertex(float x, float y, float z);
  void addSite(int64_t offset, int64_t length, int vertex, int axis, CoordinateEncoding encoding);
  // A face of `count` corners: a point, line, triangle or quad, or triangles fanned from its
  // first corner; nothing for no corners. False when the cells grow too large.
  bool addPolygon(const int32_t* corners, int count);
  int vertexCount() const { return static_cast<int>(xyz_.size() / 3); }
  // Moves what was collected into the model's mesh.
  void finish();

 private:
  ModelFile& model_;
  std::vector<float> xyz_;
  std::array<std::vector<int32_t>, 4> cells_;
};

}  // namespace cagewarp::detail
