#pragma once

#include <string>

#include "driver/pipeline.h"

namespace cagewarp {

// What the command line asks for.
enum class CommandAction {
  usageScreen,  // no arguments: the usage screen, waiting for Enter
  help,         // --help or -h
  version,      // --version
  run,          // a run of `job`
  usageError,   // `error` says what is wrong; nothing may be read or written
};

struct CommandLine {
  CommandAction action = CommandAction::run;
  Job job;
  bool writeRefined = false;  // option o
  bool tablesGiven = false;   // --tables named job.tableDirectory
  bool matrixMarket = false;  // --mtx: D as CONTROL.mtx instead of CONTROL.mat
  bool noMatrix = false;      // --no-matrix: neither D nor the enclosed vertex indices
  std::string error;
};

// Reads the arguments: the control and model files, then operation letters (every argument
// that is not a long option; its first character counts, so "-s" is skipped as before), and
// long options starting with "--" anywhere. An argument of a long option never starts with "--".
CommandLine parseCommandLine(int argc, const char* const* argv);

// The --help text and the --version text (the version line, then the build type and the
// compiler), each ending in a newline.
std::string helpText();
std::string versionText();

}  // namespace cagewarp
