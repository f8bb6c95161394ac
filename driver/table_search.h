#pragma once

#include <string>

#include "array/status.h"

namespace cagewarp {

// The table directory a run reads: `given` (from --tables) when not empty, else tab/ below the
// working directory, else the tables installed with the program (../share/cagewarp/tab beside
// the executable's bin/), else, for the program run from its build folder, the source tree's
// tab/. Fails, naming where it looked, when none of these is a directory.
Status findTableDirectory(const std::string& given, std::string& found);

}  // namespace cagewarp
