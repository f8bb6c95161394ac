#include "formats/file_handle.h"

#include <sys/stat.h>

namespace cagewarp {

Status readWholeFile(const std::string& path, std::string& bytes) {
  const FileHandle file = openFile(path, "rb");
  if (!file) return Status::failure(path + ": cannot open");
  // Only a regular file's size is its length: a directory may claim any size and then fails to
  // read. One spare byte lets a single read see the end without growing the buffer.
  size_t capacity = 4096;
  struct stat info {};
  if (::fstat(::fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0)
    capacity = static_cast<size_t>(info.st_size) + 1;
  bytes.resize(capacity);
  size_t size = 0;
  for (;;) {
    size += std::fread(bytes.data() + size, 1, capacity - size, file.get());
    if (size < capacity) break;
    capacity *= 2;
    bytes.resize(capacity);
  }
  bytes.resize(size);
  if (std::ferror(file.get()) != 0) return Status::failure(path + ": cannot read");
  return Status::success();
}

}  // namespace cagewarp
