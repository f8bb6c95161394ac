#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>

#include "array/status.h"

namespace cagewarp {

// Reads the whole file into `bytes`, for the cage and model readers alike; fails with
// "FILE: cannot open" when it cannot be read.
Status readFileBytes(const std::string& path, std::string& bytes);

// A reading position in a cage file held in memory, for text and binary parts alike. Every read
// checks what is left before it touches the bytes, so a lying count or a cut file yields a
// failure naming the place: "FILE:LINE: what" in a text file, "FILE: byte OFFSET: what" once
// the file has declared itself binary.
class InputScanner {
 public:
  // `comment`, when not 0, starts a comment that runs to the end of the line.
  InputScanner(std::string fileName, std::string bytes, char comment = 0);

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

// True when this machine stores numbers little end first, as most binary cage files do.
inline constexpr bool littleEndianHost = std::endian::native == std::endian::little;

}  // namespace cagewarp
