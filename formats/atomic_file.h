#pragma once

#include <cstdio>
#include <string>
#include <utility>

#include "array/status.h"
#include "formats/file_handle.h"

namespace cagewarp {

// A result file that is written beside its final name and renamed into place only when it is
// complete, so a failed or interrupted run never leaves a truncated result and keeps the one an
// earlier run wrote. Dropping an uncommitted AtomicFile removes what was written.
class AtomicFile {
 public:
  explicit AtomicFile(std::string path) : path_(std::move(path)) {}
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Creates the temporary file in the directory of the final path.
  Status open();
  // The stream to write to; valid between a successful open() and commit().
  std::FILE* stream() const { return stream_.get(); }
  // Flushes and closes the temporary file and renames it to the final path; fails (and removes
  // the temporary) when any write, the close or the rename failed.
  Status commit();

  const std::string& path() const { return path_; }

 private:
  void discard();

  std::string path_;
  std::string temporaryPath_;
  FileHandle stream_;
};

}  // namespace cagewarp
