#include "formats/file_handle.h"

namespace cagewarp {

Status readWholeFile(const std::string& path, std::string& bytes) {
  const FileHandle file = openFile(path, "rb");
  if (!file) return Status::failure(path + ": cannot open");
  // One spare byte lets a single read of a regular file see the end without growing the buffer.
  size_t capacity = 4096;
  if (std::fseek(file.get(), 0, SEEK_END) == 0) {
    const long size = std::ftell(file.get());
    if (size > 0) capacity = static_cast<size_t>(size) + 1;
  }
  std::rewind(file.get());
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
