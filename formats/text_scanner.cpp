#include "formats/text_scanner.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

namespace cagewarp {
namespace {

// White space as the C locale's isspace sees it.
bool isSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr size_t longestQuotedWord = 40;

bool isPrintable(char c) {
  return static_cast<unsigned char>(c) >= 32 && static_cast<unsigned char>(c) <= 126;
}

// Where the digits of a number word start: one optional sign, of which from_chars takes only
// '-'; null for a second sign ("+-5" is no number).
const char* numberStart(const char* begin, const char* end) {
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
  if (word.empty()) return "the end of the file";
  std::string text(1, '\'');
  for (char c : word.substr(0, longestQuotedWord)) text.push_back(isPrintable(c) ? c : '?');
  if (word.size() > longestQuotedWord) text.append("...");
  text.push_back('\'');
  return text;
}

const char* scanFloat(const char* begin, const char* end, float& value) {
  const char* digits = numberStart(begin, end);
  if (digits == nullptr) return nullptr;
  const auto [stop, error] = std::from_chars(digits, end, value);
  if (error == std::errc::invalid_argument) return nullptr;
  if (error == std::errc::result_out_of_range)
    value = std::strtof(std::string(digits, stop).c_str(), nullptr);
  return stop;
}

bool parseFloat(std::string_view word, float& value) {
  const char* end = word.data() + word.size();
  return scanFloat(word.data(), end, value) == end;
}

bool parseInteger(std::string_view word, int64_t& value) {
  const char* end = word.data() + word.size();
  const char* digits = numberStart(word.data(), end);
  if (digits == nullptr) return false;
  const auto [stop, error] = std::from_chars(digits, end, value);
  return error == std::errc() && stop == end;
}

TextScanner::TextScanner(std::string fileName, std::string bytes, char comment)
    : fileName_(std::move(fileName)),
      bytes_(std::move(bytes)),
      comment_(comment),
      position_(static_cast<size_t>(textStart(bytes_))) {}

void TextScanner::skipSpace() {
  while (position_ < bytes_.size()) {
    const char c = bytes_[position_];
    if (comment_ != 0 && c == comment_) {
      skipLine();
    } else if (isSpace(c)) {
      ++position_;
    } else {
      return;
    }
  }
}

std::string_view TextScanner::token() {
  skipSpace();
  tokenStart_ = position_;
  while (position_ < bytes_.size() && !isSpace(bytes_[position_])) ++position_;
  return std::string_view(bytes_).substr(tokenStart_, position_ - tokenStart_);
}

std::string_view TextScanner::peekToken() {
  const size_t position = position_;
  const size_t start = tokenStart_;
  const std::string_view word = token();
  position_ = position;
  tokenStart_ = start;
  return word;
}

Status TextScanner::expect(std::string_view word) {
  const std::string_view found = token();
  if (found == word) return Status::success();
  return fail("expected " + std::string(word) + ", found " + quoted(found));
}

Status TextScanner::readInt(int64_t& value, std::string_view what) {
  const std::string_view word = token();
  if (parseInteger(word, value)) return Status::success();
  // Messages have always quoted the word without a leading '+'.
  const bool plus = word.size() > 1 && word[0] == '+';
  return fail("expected " + std::string(what) + ", found " + quoted(word.substr(plus ? 1 : 0)));
}

Status TextScanner::readFloat(float& value, std::string_view what) {
  const std::string_view word = token();
  if (parseFloat(word, value)) return Status::success();
  const bool plus = word.size() > 1 && word[0] == '+' && word[1] != '-';
  return fail("expected " + std::string(what) + ", found " + quoted(word.substr(plus ? 1 : 0)));
}

Status TextScanner::checkRoom(int64_t count, int64_t bytesPerItem, std::string_view what) const {
  if (count < 0) return fail("negative " + std::string(what) + " " + std::to_string(count));
  if (bytesPerItem > 0 && count > remaining() / bytesPerItem) {
    return fail(std::string(what) + " " + std::to_string(count) +
                " is larger than the file can hold");
  }
  return Status::success();
}

Status TextScanner::readCount(int64_t& count, int64_t bytesPerItem, std::string_view what) {
  const Status status = readInt(count, what);
  if (!status.ok) return status;
  return checkRoom(count, bytesPerItem, what);
}

void TextScanner::skipLine() {
  const size_t end = bytes_.find('\n', position_);
  position_ = end == std::string::npos ? bytes_.size() : end + 1;
}

bool TextScanner::skipPast(std::string_view marker) {
  const size_t at = bytes_.find(marker, position_);
  if (at == std::string::npos) {
    position_ = bytes_.size();
    return false;
  }
  position_ = at + marker.size();
  return true;
}

int TextScanner::lineOf(size_t offset) const {
  const auto end = bytes_.begin() + static_cast<std::ptrdiff_t>(std::min(offset, bytes_.size()));
  return 1 + static_cast<int>(std::count(bytes_.begin(), end, '\n'));
}

Status TextScanner::fail(const std::string& what) const {
  if (binary_)
    return Status::failure(fileName_ + ": byte " + std::to_string(tokenStart_) + ": " + what);
  return Status::failure(fileName_ + ":" + std::to_string(lineOf(tokenStart_)) + ": " + what);
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

}  // namespace cagewarp
