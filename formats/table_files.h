#pragma once

#include <string>

#include "array/status.h"
#include "mesh/lookup_tables.h"

namespace cagewarp {

// Loads the table set from `directory` in its fixed order and checks it; node tables that are
// missing or hold no elements stay absent. Missing files are silent; malformed ones load as empty
// tables with a warning naming the file.
LookupTables loadLookupTables(const std::string& directory, Warnings& warnings);

}  // namespace cagewarp
