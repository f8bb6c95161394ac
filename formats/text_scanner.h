#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "array/status.h"

// What every reader of text shares: one number rule, one quoting of bad words, failures that name
// the line or byte, and the cursors that walk a file held in memory.
namespace cagewarp {

// The UTF-8 byte order mark, which editors on some systems put first and the tools that read
// what they write skip.
inline constexpr std::string_view byteOrderMark = "\xEF\xBB\xBF";

// Where the text of a file starts: past a byte order mark. Every text reader starts there;
// offsets stay those of the whole file, so a file written back keeps the mark.
inline int64_t textStart(std::string_view bytes) {
  return bytes.starts_with(byteOrderMark) ? static_cast<int64_t>(byteOrderMark.size()) : 0;
}

// "FILE:LINE: what" for text input, "FILE: byte OFFSET: what" for binary input.
Status textFailure(const std::string& path, int line, const std::string& what);
Status byteFailure(const std::string& path, int64_t offset, const std::string& what);

// The word in quotes for a message: at most a few dozen bytes, every byte outside printable
// ASCII shown as '?', so a binary blob can neither flood nor drive the terminal. An empty word
// is the end of the file.
std::string quoted(std::string_view word);

// The number rule of every reader. A number is one optional sign ('+' or '-', not both), then
// what from_chars reads in decimal; floats are rounded as strtof rounds, values beyond float's
// range becoming infinities or denormals. The whole-word forms fail unless the number is the
// whole word.
bool parseInteger(std::string_view word, int64_t& value);
bool parseFloat(std::string_view word, float& value);

// The same rule for a float at the start of [begin, end), where the next word may follow right
// after the number: the end of the number, or null when none starts there.
const char* scanFloat(const char* begin, const char* end, float& value);

// A reading position in a file held in memory, for text and binary parts alike. Every read
// checks what is left before it touches the bytes, so a lying count or a cut file yields a
// failure naming the place: "FILE:LINE: what" in a text file, "FILE: byte OFFSET: what" once
// the file has declared itself binary.
class TextScanner {
 public:
  // `comment`, when not 0, starts a comment that runs to the end of the line. Reading starts at
  // textStart.
  TextScanner(std::string fileName, std::string bytes, char comment = 0);

  // The next white-space separated word; empty at the end of the file.
  std::string_view token();
  std::string_view peekToken();
  // Reads a word and fails unless it is `word`.
  Status expect(std::string_view word);
  Status readInt(int64_t& value, std::string_view what);
  Status readFloat(float& value, std::string_view what);
  // A count of items that take at least `bytesPerItem` bytes each from here on: fails when it is
  // negative or when the rest of the file cannot hold that many.
  Status readCount(int64_t& count, int64_t bytesPerItem, std::string_view what);
  Status checkRoom(int64_t count, int64_t bytesPerItem, std::string_view what) const;
  // Moves past the end of the current line.
  void skipLine();
  // Moves past the next occurrence of `marker`; false (at the end) when there is none.
  bool skipPast(std::string_view marker);

  // A binary value, its bytes reversed when `swap` is set (the file's order is not ours).
  template <typename T>
  Status readBinary(T& value, bool swap, std::string_view what) {
    if (bytes_.size() - position_ < sizeof(T)) {
      tokenStart_ = position_;
      return fail(std::string(what) + " cut short by the end of the file");
    }
    unsigned char raw[sizeof(T)];
    std::memcpy(raw, bytes_.data() + position_, sizeof(T));
    if (swap)
      for (size_t i = 0; i < sizeof(T) / 2; ++i) std::swap(raw[i], raw[sizeof(T) - 1 - i]);
    std::memcpy(&value, raw, sizeof(T));
    tokenStart_ = position_;
    position_ += sizeof(T);
    return Status::success();
  }

  // From now on failures name byte offsets instead of lines.
  void setBinary() { binary_ = true; }
  // A failure at the start of the last word or value read.
  Status fail(const std::string& what) const;
  int64_t remaining() const { return static_cast<int64_t>(bytes_.size() - position_); }
  const std::string& fileName() const { return fileName_; }
  std::string_view bytes() const { return bytes_; }

 private:
  void skipSpace();
  int lineOf(size_t offset) const;

  std::string fileName_;
  std::string bytes_;
  char comment_;
  size_t position_ = 0;
  size_t tokenStart_ = 0;
  bool binary_ = false;
};

// The lines of a text, each with its first byte's offset and its 1-based number, for the formats
// whose records are lines.
class LineCursor {
 public:
  // The lines of a whole file, from textStart.
  explicit LineCursor(std::string_view text) : LineCursor(text, textStart(text), 0) {}
  LineCursor(std::string_view text, int64_t start, int number = 0)
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
  // The words of a whole file, from textStart.
  explicit WordStream(std::string_view text) : lines_(text) {}

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

// True when this machine stores numbers little end first, as most binary files do.
inline constexpr bool littleEndianHost = std::endian::native == std::endian::little;

}  // namespace cagewarp
