#pragma once

#include "array/status.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"
#include "subdiv/tuple_map.h"

namespace cagewarp {

// The smoothing pass before a normal split: where regions of different cell classes meet, shifts
// the values of the shared vertices in `vertexValues` (key (vertex, cell class)) by the rules of
// procTable and the interface matrices mesh.tables.mulTables. Reads mesh.cells and
// mesh.vertices; changes only `vertexValues`. Rules that cannot be applied are skipped with a
// warning.
void correctInterfaces(const Mesh& mesh, const LookupTables& tables, TupleVectorMap& vertexValues,
                       Warnings& warnings);

}  // namespace cagewarp
