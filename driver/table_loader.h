#pragma once

#include <string>

#include "array/status.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"

namespace cagewarp {

// The directory, relative to the working directory, that holds the table files.
inline constexpr const char* tableDirectory = "tab";

// Loads the process-wide table set from `directory` in its fixed order; node tables that are
// missing or hold no elements stay absent. Missing files are silent; malformed ones load as
// empty tables with a warning.
LookupTables loadLookupTables(const std::string& directory, Warnings& warnings);

// Loads the per-mesh tables: avg and cor for types 0..7 (files mesh_avg4<t>, mesh_cor4<t>), then
// mul 0..5 (mesh_mul4<r>).
MeshTables loadMeshTables(const std::string& directory, Warnings& warnings);

}  // namespace cagewarp
