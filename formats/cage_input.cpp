#include "formats/cage_input.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace cagewarp {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

bool isSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// Quotes at most a few dozen bytes of a bad word, so a binary blob never floods the message.
std::string quoted(std::string_view word) {
  if (word.empty()) return "the end of the file";
  std::string text(word.substr(0, 40));
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 32 || static_cast<unsigned char>(c) > 126) c = '?';
  return "'" + text + (word.size() > 40 ? "...'" : "'");
}

}  // namespace

Status readFileBytes(const std::string& path, std::string& bytes) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return Status::failure(path + ": cannot open");
  bytes.clear();
  char buffer[1 << 16];
  size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) bytes.append(buffer, got);
  if (std::ferror(file.get()) != 0) return Status::failure(path + ": cannot read");
  return Status::success();
}

InputScanner::InputScanner(std::string fileName, std::string bytes, char comment)
    : fileName_(std::move(fileName)), bytes_(std::move(bytes)), comment_(comment) {}

void InputScanner::skipSpace() {
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

std::string_view InputScanner::token() {
  skipSpace();
  tokenStart_ = position_;
  while (position_ < bytes_.size() && !isSpace(bytes_[position_])) ++position_;
  return std::string_view(bytes_).substr(tokenStart_, position_ - tokenStart_);
}

std::string_view InputScanner::peekToken() {
  const size_t position = position_;
  const size_t start = tokenStart_;
  const std::string_view word = token();
  position_ = position;
  tokenStart_ = start;
  return word;
}

Status InputScanner::expect(std::string_view word) {
  const std::string_view found = token();
  if (found == word) return Status::success();
  return fail("expected " + std::string(word) + ", found " + quoted(found));
}

Status InputScanner::readInt(int64_t& value, std::string_view what) {
  std::string_view word = token();
  if (word.size() > 1 && word[0] == '+') word.remove_prefix(1);
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  if (word.empty() || error != std::errc() || end != word.data() + word.size())
    return fail("expected " + std::string(what) + ", found " + quoted(word));
  return Status::success();
}

Status InputScanner::readFloat(float& value, std::string_view what) {
  std::string_view word = token();
  if (word.size() > 1 && word[0] == '+' && word[1] != '-') word.remove_prefix(1);
  const auto [end, error] = std::from_chars(word.data(), word.data() + word.size(), value);
  bool ok = !word.empty() && end == word.data() + word.size();
  if (ok && error == std::errc::result_out_of_range) {
    // Beyond float's range: infinity or a denormal, as the text reader rounds it.
    value = std::strtof(std::string(word).c_str(), nullptr);
  } else if (error != std::errc()) {
    ok = false;
  }
  if (!ok) return fail("expected " + std::string(what) + ", found " + quoted(word));
  return Status::success();
}

Status InputScanner::checkRoom(int64_t count, int64_t bytesPerItem, std::string_view what) const {
  if (count < 0) return fail("negative " + std::string(what) + " " + std::to_string(count));
  if (bytesPerItem > 0 && count > remaining() / bytesPerItem) {
    return fail(std::string(what) + " " + std::to_string(count) +
                " is larger than the file can hold");
  }
  return Status::success();
}

Status InputScanner::readCount(int64_t& count, int64_t bytesPerItem, std::string_view what) {
  const Status status = readInt(count, what);
  if (!status.ok) return status;
  return checkRoom(count, bytesPerItem, what);
}

void InputScanner::skipLine() {
  const size_t end = bytes_.find('\n', position_);
  position_ = end == std::string::npos ? bytes_.size() : end + 1;
}

bool InputScanner::skipPast(std::string_view marker) {
  const size_t at = bytes_.find(marker, position_);
  if (at == std::string::npos) {
    position_ = bytes_.size();
    return false;
  }
  position_ = at + marker.size();
  return true;
}

int InputScanner::lineOf(size_t offset) const {
  const auto end = bytes_.begin() + static_cast<std::ptrdiff_t>(std::min(offset, bytes_.size()));
  return 1 + static_cast<int>(std::count(bytes_.begin(), end, '\n'));
}

Status InputScanner::fail(const std::string& what) const {
  if (binary_)
    return Status::failure(fileName_ + ": byte " + std::to_string(tokenStart_) + ": " + what);
  return Status::failure(fileName_ + ":" + std::to_string(lineOf(tokenStart_)) + ": " + what);
}

}  // namespace cagewarp
