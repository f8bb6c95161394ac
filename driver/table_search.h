#pragma once

#include <string>

#include "array/status.h"

namespace cagewarp {

// The table directory a run reads: `given` (from --tables) when not empty, else tab/ below the
// working directory, else the tables installed with the program (../share/cagewarp/tab beside
// the executable's bin/), else, for the program run from its build folder, the source tree's
// tab/. Fails, naming where it looked, when none of these is a directory.
Status findTableDirectory(const std::string& given, std::string& found);

// Where a program or a module loaded by another program finds installed tables.
struct TablePlaces {
  // The directory of the program or module, from which `installed` is read; empty when unknown.
  std::string home;
  // The installed tables, relative to `home`.
  std::string installed;
  // The directory `home` is when run from its build folder: then the source tree's tab/ serves.
  std::string buildHome;
  // How the message of a failed search tells the user to name a directory.
  std::string nameOne;
};

// The same search from `places`: `given`, tab/ below the working directory, the installed
// tables, the source tree's.
Status findTableDirectory(const std::string& given, const TablePlaces& places, std::string& found);

}  // namespace cagewarp
