#pragma once

#include <array>

#include "array/status.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"
#include "subdiv/vertex_value.h"

namespace cagewarp {

// The smoothing pass before a normal split: where regions of different cell classes meet, shifts
// the values of the shared vertices in `vertexValues` (key (vertex, cell class)) by the rules of
// procTable and the interface matrices tables.mulTables. Reads mesh.cells and
// the vertex values (mesh.vertices, mesh.weights); changes only `vertexValues`. Rules that cannot
// be applied are skipped with a warning. The shifted values' weight rows are kept in
// `weightMemory`, which must outlive them.
void correctInterfaces(const Mesh& mesh, const LookupTables& tables, VertexValueMap& vertexValues,
                       Arena& weightMemory, Warnings& warnings);

namespace detail {

// Set on the largest vertex of a prism quad face when it stands at an odd position of the face
// list, so that the face's orientation relative to its prism survives the rotation of its key.
inline constexpr int prismQuadMark = 0x20000000;

// A face's vertices without its kind (2 to 4 of them), or a matched tuple.
struct FaceTuple {
  std::array<int, 4> v{};
  int length = 0;
  int operator[](int i) const { return v[i]; }
};

// Whether face y of the second kind of a rule lies on face x of the first kind; both start with
// the same vertex. On a match, `t` receives the min(|x|, |y|) vertices the rule corrects, in the
// order its interface matrix expects. `quadIsPrismFace`: y is a (possibly marked) prism quad.
bool matchFaces(const FaceTuple& x, FaceTuple y, bool quadIsPrismFace, FaceTuple& t);

}  // namespace detail
}  // namespace cagewarp
