#pragma once

#include "array/status.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"

namespace cagewarp {

// Bits of the flag word of subdivide.
inline constexpr int smoothFlag = 1;  // interface correction before the split
inline constexpr int splitFlag = 2;   // split every cell into its children
inline constexpr int normalFlag = 4;  // smoothed positions instead of plain copies
inline constexpr int linearSubdivision = splitFlag;
inline constexpr int normalSubdivision = smoothFlag | splitFlag | normalFlag;

// Refines the mesh once: every cell is split into half-size children by the node, uni and bas
// tables, and every new vertex column is a fixed combination of existing whole columns (weight
// rows included). With normalFlag the positions are smoothed by the smoothing tables. Fails,
// leaving the mesh unchanged, when a table does not fit the cells it must serve (the message names
// the file) or a cell names a vertex the mesh does not have.
// The node means and the smoothing sums run on up to `threads` threads (0: one per core); the
// result does not depend on the count.
Status subdivide(Mesh& mesh, const LookupTables& tables, int flags, Warnings& warnings,
                 int threads = 1);

}  // namespace cagewarp
