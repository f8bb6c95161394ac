#include "formats/atomic_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <random>

namespace cagewarp {
namespace {

std::string reason(int error) {
  return std::strerror(error);
}

// The final path with `suffix` appended, its last component cut so the whole still fits the
// longest name its directory takes: a final name that fits must not fail for its temporary.
std::string temporaryName(const std::string& path, const std::string& suffix) {
  const size_t slash = path.rfind('/');
  const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  const std::string directory = slash == std::string::npos ? "." : path.substr(0, nameStart);
  long longest = ::pathconf(directory.c_str(), _PC_NAME_MAX);
  if (longest <= 0) longest = NAME_MAX;
  const size_t room =
      std::max<size_t>(static_cast<size_t>(longest), suffix.size() + 1) - suffix.size();
  return path.substr(0, nameStart + std::min(path.size() - nameStart, room)) + suffix;
}

}  // namespace

AtomicFile::~AtomicFile() {
  discard();
}

Status AtomicFile::open() {
  discard();
  std::random_device entropy;
  // O_EXCL with a fresh name per try: never writes through a file someone else placed there.
  for (int attempt = 0; attempt < 16; ++attempt) {
    std::string candidate = temporaryName(
        path_, ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(entropy() % 1000000));
    const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;
      return Status::failure(path_ + ": cannot create: " + reason(errno));
    }
    stream_.reset(::fdopen(fd, "wb"));
    if (stream_ == nullptr) {
      const int error = errno;
      ::close(fd);
      ::unlink(candidate.c_str());
      return Status::failure(path_ + ": cannot create: " + reason(error));
    }
    temporaryPath_ = std::move(candidate);
    return Status::success();
  }
  return Status::failure(path_ + ": cannot create a temporary file beside it");
}

Status AtomicFile::commit() {
  if (stream_ == nullptr) return Status::failure(path_ + ": not open for writing");
  const bool written = std::ferror(stream_.get()) == 0 && std::fflush(stream_.get()) == 0;
  const int writeError = errno;
  // Closed here rather than by the handle: a failed close means a failed write.
  const bool closed = std::fclose(stream_.release()) == 0;
  const int closeError = errno;
  if (!written || !closed) {
    ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
    return Status::failure(path_ + ": cannot write: " + reason(written ? closeError : writeError));
  }
  if (std::rename(temporaryPath_.c_str(), path_.c_str()) != 0) {
    const int error = errno;
    ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
    return Status::failure(path_ + ": cannot replace: " + reason(error));
  }
  temporaryPath_.clear();
  return Status::success();
}

void AtomicFile::discard() {
  stream_.reset();
  if (!temporaryPath_.empty()) ::unlink(temporaryPath_.c_str());
  temporaryPath_.clear();
}

}  // namespace cagewarp
