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

}  // namespace cagewarp
