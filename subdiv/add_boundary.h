#pragma once

#include "array/status.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"

namespace cagewarp {

// Appends every face of a volume cell that no other cell shares as a triangle or quad cell, and
// every unshared edge of a triangle or quad as a line cell. Faces pair when listed with opposite
// orientation; a quad face covered by triangles along a diagonal counts as shared. Fails, leaving
// the mesh unchanged, when a face list needed by the mesh's cells is unusable.
Status addBoundary(Mesh& mesh, const LookupTables& tables);

}  // namespace cagewarp
