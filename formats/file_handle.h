#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "array/memory_advice.h"
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

// The most bytes a file may hold to be read: 16 GiB. A model or cage holds fewer than 2^31
// coordinates and corner indices of each kind (its arrays are counted in int); as binary doubles,
// the widest values any reader takes, 2^31 coordinates fill 16 GiB, and text that long could not
// be read in the memory of the machines the program runs on (a text model costs a few times its
// size). Input that does not end, such as a device, is refused once it passes this instead of
// filling memory. The environment variable CAGEWARP_INPUT_LIMIT, a positive number of bytes, sets
// a lower limit (for tests and for sharing a machine).
inline constexpr int64_t largestInput = int64_t{1} << 34;
int64_t inputLimit();

// Reads the whole file into `bytes`, for every reader alike. Fails with the system's reason:
// "FILE: cannot open: REASON" when it does not open, "FILE: is a directory", "FILE: is a FIFO
// that nobody writes to" (it is not waited on; a pipe being fed is read), "FILE: cannot read:
// REASON" when reading fails, a message when a regular file shrinks while it is read, and
// "FILE: more than LIMIT bytes, ..." when it holds more than `limit` bytes (inputLimit()).
Status readWholeFile(const std::string& path, std::string& bytes);
Status readWholeFile(const std::string& path, std::string& bytes, int64_t limit);

// The bytes of a file read whole where the reader needs no std::string: the buffer is not cleared
// before the file is read into it, and a large one lies in huge pages, all of it, so that the
// first touch of a file of megabytes takes a few faults instead of one per 4 KiB.
using FileBytes = UnfilledVector<char>;
Status readWholeFile(const std::string& path, FileBytes& bytes);
inline std::string_view textOf(const FileBytes& bytes) {
  return {bytes.data(), bytes.size()};
}

namespace detail {

// Reads `descriptor` to its end, appending to `bytes`; `expectedSize` is the size the file had
// when opened (0 when it has none, as for a device), and holding fewer bytes at the end fails.
// `path` names the file in messages. More than `limit` bytes fail once read, before any more.
template <class Bytes>
Status readToEnd(int descriptor, const std::string& path, int64_t expectedSize, Bytes& bytes,
                 int64_t limit = largestInput);

}  // namespace detail

}  // namespace cagewarp
