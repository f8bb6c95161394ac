#include "formats/file_handle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "array/memory_advice.h"

namespace cagewarp {
namespace {

constexpr const char* cannotOpen = ": cannot open: ";
constexpr const char* cannotRead = ": cannot read: ";
constexpr const char* isDirectory = ": is a directory";
constexpr const char* idlePipe = ": is a FIFO that nobody writes to";

// Closes a descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

Status systemFailure(const std::string& path, const char* what, int error) {
  return Status::failure(path + what + std::strerror(error));
}

Status tooLarge(const std::string& path, int64_t limit) {
  return Status::failure(path + ": more than " + std::to_string(limit) +
                         " bytes, larger than any mesh the program can hold; not read");
}

}  // namespace

int64_t inputLimit() {
  const char* text = std::getenv("CAGEWARP_INPUT_LIMIT");
  if (text == nullptr) return largestInput;
  const char* end = text + std::strlen(text);
  int64_t limit = 0;
  const auto [stop, error] = std::from_chars(text, end, limit);
  // Only a lower limit is taken: the bound protects memory, which a setting cannot add.
  if (error != std::errc() || stop != end || limit <= 0) return largestInput;
  return std::min(limit, largestInput);
}

namespace {

template <class Bytes>
Status readWholeFileInto(const std::string& path, Bytes& bytes, int64_t limit) {
  // Without O_NONBLOCK, opening a FIFO that nobody writes to would wait for ever.
  const Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (file.get() < 0) return systemFailure(path, cannotOpen, errno);
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) return systemFailure(path, cannotRead, errno);
  if (S_ISDIR(info.st_mode)) return Status::failure(path + isDirectory);
  bytes.clear();
  if (S_ISFIFO(info.st_mode)) {
    // A FIFO without a writer reads as ended at once; one being fed (a pipe) is read as it comes.
    char first = 0;
    const ssize_t got = ::read(file.get(), &first, 1);
    if (got == 0) return Status::failure(path + idlePipe);
    if (got < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
      return systemFailure(path, cannotRead, errno);
    if (got == 1) bytes.push_back(first);
  }
  // A device (a terminal, say) is read as it comes, waiting for input as before.
  const int flags = ::fcntl(file.get(), F_GETFL);
  if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
    return systemFailure(path, cannotRead, errno);
  // Only a regular file's size is its length; a device may claim any size.
  const int64_t size = S_ISREG(info.st_mode) ? static_cast<int64_t>(info.st_size) : 0;
  if (size > limit) return tooLarge(path, limit);
  return detail::readToEnd(file.get(), path, size, bytes, limit);
}

}  // namespace

Status readWholeFile(const std::string& path, std::string& bytes) {
  return readWholeFile(path, bytes, inputLimit());
}

Status readWholeFile(const std::string& path, std::string& bytes, int64_t limit) {
  return readWholeFileInto(path, bytes, limit);
}

Status readWholeFile(const std::string& path, FileBytes& bytes) {
  return readWholeFileInto(path, bytes, inputLimit());
}

namespace detail {

template <class Bytes>
Status readToEnd(int descriptor, const std::string& path, int64_t expectedSize, Bytes& bytes,
                 int64_t limit) {
  // One spare byte lets a single read see the end without growing the buffer, and one past the
  // limit tells a file that passes it.
  const auto mostKept = static_cast<size_t>(limit) + 1;
  size_t size = bytes.size();
  if (size > static_cast<size_t>(limit)) {
    bytes.clear();
    return tooLarge(path, limit);
  }
  size_t capacity = std::min(
      mostKept,
      std::max<size_t>(expectedSize > 0 ? static_cast<size_t>(expectedSize) + 1 : 4096, 2 * size));
  // A large buffer is backed by huge pages where the system has them: its zero fill and the
  // reads into it then take far fewer page faults. FileBytes asks for them itself, for all of it.
  const auto grow = [&bytes](size_t to) {
    bytes.reserve(to);
    if constexpr (std::is_same_v<Bytes, std::string>) adviseHugePages(bytes.data(), to);
    bytes.resize(to);
  };
  grow(capacity);
  for (;;) {
    const ssize_t got = ::read(descriptor, bytes.data() + size, capacity - size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      bytes.clear();
      return systemFailure(path, cannotRead, error);
    }
    if (got == 0) break;
    size += static_cast<size_t>(got);
    if (size > static_cast<size_t>(limit)) {
      bytes.clear();
      bytes.shrink_to_fit();
      return tooLarge(path, limit);
    }
    if (size == capacity) {
      capacity = std::min(mostKept, capacity * 2);
      grow(capacity);
    }
  }
  bytes.resize(size);
  // What was cut off while reading would otherwise pass for a complete, shorter file.
  if (static_cast<int64_t>(size) < expectedSize) {
    bytes.clear();
    return Status::failure(path + ": shrank from " + std::to_string(expectedSize) + " to " +
                           std::to_string(size) + " bytes while being read");
  }
  return Status::success();
}

template Status readToEnd(int, const std::string&, int64_t, std::string&, int64_t);
template Status readToEnd(int, const std::string&, int64_t, FileBytes&, int64_t);

}  // namespace detail

}  // namespace cagewarp
