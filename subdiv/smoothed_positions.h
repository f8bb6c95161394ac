#pragma once

#include <array>

#include "array/matrix.h"
#include "array/status.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"
#include "subdiv/vertex_value.h"

namespace cagewarp {

// Fills `vertices` (D rows, one zero column per vertex of the refined mesh) and, when it has rows,
// `weights` (no columns yet; one is appended per vertex) with the smoothed positions of a normal
// subdivision: each vertex becomes the type-weighted mean, over the cells of the lowest dimension
// containing it, of the per-cell combinations avgTables[t]; vertices only on triangles or only on
// quads are then blended with their own value by corTables[t]. `vertexValues` (key (vertex, cell
// class)) must hold every corner of every cell under the cell's class; `valueMemory` holds the
// weight rows the step formed for them. Both are emptied once read, before the weight rows are
// summed. The sums run on up to `threads` threads (0: one per core) with the same result for any
// count. Fails, naming the table file, when an avg table does not fit a type that has cells or a
// blended vertex meets an empty cor table; `vertices` is then partly filled.
Status computeSmoothedPositions(const std::array<IntArray, 8>& cells, const LookupTables& tables,
                                VertexValueMap& vertexValues, ArenaPool& valueMemory,
                                Matrix& vertices, SparseColumns& weights, int threads = 1);

}  // namespace cagewarp
