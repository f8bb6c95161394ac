#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/console_text.h"
#include "tests/support/temp_dir.h"

namespace cagewarp::testing {

// What one run of the program left behind.
struct RunResult {
  int exitStatus = -1;
  std::string out;
  std::string err;
};

// A working directory with the committed tables, in which the program runs as a user runs it.
class ProgramRunner {
 public:
  explicit ProgramRunner(bool withTables = true) {
    if (withTables)
      std::filesystem::create_directory_symlink(CAGEWARP_TAB_DIR, dir_.path() / "tab");
  }

  std::string file(const std::string& name) const { return dir_.file(name); }
  void write(const std::string& name, const std::string& text) const {
    writeFile(file(name), text);
  }
  std::string read(const std::string& name) const { return readFile(file(name)); }
  bool exists(const std::string& name) const { return std::filesystem::exists(file(name)); }
  const std::filesystem::path& path() const { return dir_.path(); }

  // Runs `binary` instead of the program in the build folder, from `directory` instead of the
  // runner's own (file names in the arguments are then best absolute).
  void useBinary(std::string binary) { binary_ = std::move(binary); }
  void runFrom(std::string directory) { workingDirectory_ = std::move(directory); }

  // Runs the program with `args` in the directory, standard input from `input`, its address
  // space limited to `memoryKiB` when that is not 0.
  RunResult run(const std::vector<std::string>& args, const std::string& input = "",
                long memoryKiB = 0) const {
    write(".stdin", input);
    const std::string here = dir_.path().string() + "/";
    std::string command =
        "cd '" + (workingDirectory_.empty() ? dir_.path().string() : workingDirectory_) + "' && ";
    if (memoryKiB > 0) command += "ulimit -v " + std::to_string(memoryKiB) + " && ";
    command += "'" + binary_ + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    command += " <'" + here + ".stdin' >'" + here + ".stdout' 2>'" + here + ".stderr'";
    const int status = std::system(command.c_str());
    RunResult result;
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    result.out = read(".stdout");
    result.err = read(".stderr");
    return result;
  }

 private:
  TempDir dir_;
  std::string binary_ = CAGEWARP_BINARY;
  std::string workingDirectory_;
};

inline const std::string arrayHeader =
    "% n-dimensional array file. n==2 corresponds to matrix or vector.\n"
    "% n | s1 s2 ... sn | data (filling up lower dimensions first = MATLAB standard)\n\n";

}  // namespace cagewarp::testing
