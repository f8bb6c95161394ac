#include "driver/run_files.h"

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "driver/messages.h"
#include "driver/pipeline.h"
#include "formats/file_format.h"
#include "formats/tetgen_file.h"

namespace cagewarp {
namespace {

namespace fs = std::filesystem;

// What a file is in the run, as messages name it, and how to tell it from another.
struct RunFile {
  std::string path;
  const char* role = "";
  // An existing file: its device and inode; otherwise its absolute, normalised path.
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  mode_t mode = 0;
  std::string normalised;

  bool sameAs(const RunFile& other) const {
    if (exists != other.exists) return false;
    if (exists) return device == other.device && inode == other.inode;
    return normalised == other.normalised;
  }
};

RunFile runFile(const std::string& path, const char* role) {
  RunFile file;
  file.path = path;
  file.role = role;
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    file.exists = true;
    file.device = info.st_dev;
    file.inode = info.st_ino;
    file.mode = info.st_mode;
    return file;
  }
  std::error_code error;
  fs::path absolute = fs::absolute(path, error);
  if (!error) absolute = fs::weakly_canonical(absolute, error);
  file.normalised = (error ? fs::path(path) : absolute).lexically_normal().string();
  return file;
}

// An input and, for a TetGen file, the .node file read with it.
void addInput(std::vector<RunFile>& inputs, const std::string& path, const char* role) {
  if (path.empty()) return;
  inputs.push_back(runFile(path, role));
  if (formatOfPath(path) == FileFormat::tetgen)
    inputs.push_back(runFile(tetgenNodePath(path), role));
}

template <typename... Texts>
Status refused(const char* format, const Texts&... texts) {
  return Status::failure(messages::formatted(format, texts...));
}

Status checkOutput(const RunFile& output, const std::vector<RunFile>& inputs,
                   const std::vector<RunFile>& earlierOutputs) {
  const std::string role = output.role;
  if (output.exists && S_ISDIR(output.mode))
    return refused(messages::outputIsDirectory, output.path, role);
  if (output.exists && !S_ISREG(output.mode))
    return refused(messages::outputIsSpecial, output.path, role);
  for (const RunFile& input : inputs)
    if (output.sameAs(input))
      return refused(messages::outputIsInput, output.path, std::string(input.role), input.path,
                     role);
  for (const RunFile& earlier : earlierOutputs)
    if (output.sameAs(earlier))
      return refused(messages::outputTwice, output.path, std::string(earlier.role), role);
  return Status::success();
}

}  // namespace

Status checkRunFiles(const Job& job) {
  std::vector<RunFile> inputs;
  addInput(inputs, job.controlFile, messages::controlRole);
  addInput(inputs, job.modelFile, messages::modelRole);
  for (const Pose& pose : job.outputs.poses)
    addInput(inputs, pose.movedControlFile, messages::movedRole);

  std::vector<std::pair<std::string, const char*>> named;
  const OutputRequest& request = job.outputs;
  named.emplace_back(request.cageOutFile, messages::cageOutRole);
  for (const Pose& pose : request.poses) named.emplace_back(pose.outFile, messages::poseRole);
  named.emplace_back(request.refinedFile, messages::refinedRole);
  named.emplace_back(request.matrixFile, messages::matrixRole);
  named.emplace_back(request.indexFile, messages::indexRole);
  std::vector<RunFile> outputs;
  for (const auto& [path, role] : named) {
    if (path.empty()) continue;
    RunFile output = runFile(path, role);
    if (Status status = checkOutput(output, inputs, outputs); !status.ok) return status;
    outputs.push_back(std::move(output));
  }
  return Status::success();
}

}  // namespace cagewarp
