#pragma once

#include <string>
#include <utility>
#include <vector>

namespace cagewarp {

// Outcome of a reader or loader: library code reports what went wrong here and never prints;
// the driver decides how to tell the user and which exit status to use.
struct Status {
  bool ok = true;
  std::string message;

  static Status success() { return {}; }
  static Status failure(std::string what) { return {false, std::move(what)}; }
};

// Problems that do not stop a run, in the order they were found.
using Warnings = std::vector<std::string>;

}  // namespace cagewarp
