#pragma once

#include <string>

#include "array/status.h"

namespace cagewarp {

// The table directory a run reads: `given` (from --tables) when not empty, else tab/ below the
// working directory, else the tables installed with the program (../share/cagewarp/tab beside
// the executable's bin/), else, for the program run from its build folder, the source tree's
// tab/. A directory of the search that holds none of the table files (a stray tab/) is passed
// over with a note in `notes`; one that holds some but not all of them fails, naming those
// missing; a directory named by --tables is taken as it is. Fails, naming where it looked, when
// no directory remains.
Status findTableDirectory(const std::string& given, std::string& found, Warnings& notes);

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
Status findTableDirectory(const std::string& given, const TablePlaces& places, std::string& found,
                          Warnings& notes);

}  // namespace cagewarp
