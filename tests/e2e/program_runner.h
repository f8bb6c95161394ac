#pragma once

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <string_view>
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

// Limits of one run; 0 leaves a resource unlimited.
struct Limits {
  long memoryKiB = 0;   // address space
  long fileBytes = 0;   // size of any file the program writes
  long inputBytes = 0;  // size of any file the program reads (CAGEWARP_INPUT_LIMIT)
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

  // Runs the program with `args` in the directory, standard input from `input`, under the given
  // limits, which are set in the child before it starts the program.
  RunResult run(const std::vector<std::string>& args, const std::string& input = "",
                const Limits& limits = {}) const {
    write(".stdin", input);
    const std::string directory =
        workingDirectory_.empty() ? dir_.path().string() : workingDirectory_;
    const std::string here = dir_.path().string() + "/";
    const std::string in = here + ".stdin", out = here + ".stdout", err = here + ".stderr";
    std::vector<std::string> words{binary_};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words) argv.push_back(w.data());
    argv.push_back(nullptr);
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable)
      if (std::string_view(*variable).substr(0, inputLimitName.size()) != inputLimitName)
        variables.emplace_back(*variable);
    if (limits.inputBytes > 0)
      variables.push_back(inputLimitName + std::to_string(limits.inputBytes));
    std::vector<char*> envp;
    for (std::string& v : variables) envp.push_back(v.data());
    envp.push_back(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
      // Only system calls between fork and exec.
      if (::chdir(directory.c_str()) != 0 || !redirect(in.c_str(), 0, O_RDONLY) ||
          !redirect(out.c_str(), 1, O_WRONLY | O_CREAT | O_TRUNC) ||
          !redirect(err.c_str(), 2, O_WRONLY | O_CREAT | O_TRUNC) ||
          !limit(RLIMIT_AS, limits.memoryKiB * 1024) || !limit(RLIMIT_FSIZE, limits.fileBytes))
        ::_exit(126);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    int status = 0;
    RunResult result;
    if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status))
      result.exitStatus = WEXITSTATUS(status);
    result.out = read(".stdout");
    result.err = read(".stderr");
    return result;
  }

 private:
  static inline const std::string inputLimitName = "CAGEWARP_INPUT_LIMIT=";

  static bool redirect(const char* name, int target, int flags) {
    const int fd = ::open(name, flags, 0666);
    return fd >= 0 && ::dup2(fd, target) == target && ::close(fd) == 0;
  }
  // The resource's type differs between C libraries.
  template <typename Resource>
  static bool limit(Resource resource, long value) {
    if (value <= 0) return true;
    const rlimit bound{static_cast<rlim_t>(value), static_cast<rlim_t>(value)};
    return ::setrlimit(resource, &bound) == 0;
  }

  TempDir dir_;
  std::string binary_ = CAGEWARP_BINARY;
  std::string workingDirectory_;
};

// Every file in the runner's directory but its own.
inline std::set<std::string> filesIn(const ProgramRunner& runner) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(runner.path())) {
    const std::string name = entry.path().filename().string();
    if (name[0] != '.' && name != "tab") names.insert(name);
  }
  return names;
}

inline const std::string arrayHeader =
    "% n-dimensional array file. n==2 corresponds to matrix or vector.\n"
    "% n | s1 s2 ... sn | data (filling up lower dimensions first = MATLAB standard)\n\n";

}  // namespace cagewarp::testing
