#include "subdiv/node_numbering.h"

#include <algorithm>
#include <cstdint>
#include <utility>

#include "mesh/cell_type.h"
#include "subdiv/tuple_map.h"

namespace cagewarp {
namespace {

// How many cells ahead the walk brings a node's table slots towards the cache.
constexpr int prefetchCells = 8;

// The two diagonals that name a quad middle, each as (smaller, larger) corner.
std::array<std::array<int, 2>, 2> quadDiagonals(const int* quad) {
  return {{{std::min(quad[0], quad[2]), std::max(quad[0], quad[2])},
           {std::min(quad[1], quad[3]), std::max(quad[1], quad[3])}}};
}

// Sorts a tuple of at most eight elements in place: an insertion sort (std::sort's
// sixteen-element step trips GCC's bounds warning on an array this short).
void sortTuple(int* tuple, int length) {
  for (int i = 1; i < length; ++i)
    for (int j = i; j > 0 && tuple[j - 1] > tuple[j]; --j) std::swap(tuple[j - 1], tuple[j]);
}

// The vertex index of the node `tuple` (as nodeTuple leaves it) names; a new node takes the next
// free index.
int nodeIndex(const int* tuple, int length, TupleIndexTable& nodeIndices, int& vertexCount) {
  if (length == 4) {
    const auto diagonals = quadDiagonals(tuple);
    for (const auto& diagonal : diagonals)
      if (const int* known = nodeIndices.find(diagonal.data(), 2)) return *known;
    const int index = vertexCount++;
    for (const auto& diagonal : diagonals) {
      int stored = index;
      nodeIndices.insertIfAbsent(diagonal.data(), 2, stored);
    }
    return index;
  }
  int index = vertexCount;
  if (nodeIndices.insertIfAbsent(tuple, length, index)) ++vertexCount;
  return index;
}

// Brings the slots where nodeIndex will search for the node `members` name in a cell with nodes
// `nodes` towards the cache: the searches land anywhere in a large table.
void prefetchNode(const int* nodes, const int* members, int length,
                  const TupleIndexTable& nodeIndices) {
  std::array<int, 8> tuple{};
  nodeTuple(nodes, members, length, tuple);
  if (length != 4) {
    nodeIndices.prefetch(tuple.data(), length);
    return;
  }
  for (const auto& diagonal : quadDiagonals(tuple.data())) nodeIndices.prefetch(diagonal.data(), 2);
}

}  // namespace

std::vector<SplitGroup> splitGroups(const LookupTables& tables, int t) {
  std::vector<SplitGroup> groups;
  int row = verticesPerCell[t];
  for (int k = 1; k <= 4; ++k) {
    const IntMatrix* table = tables.nodeTable(t, k);
    if (!table) continue;
    for (int g = 0; g < table->count() / (2 * k); ++g)
      groups.push_back({row++, table->data() + g * 2 * k, 2 * k});
  }
  return groups;
}

void nodeTuple(const int* nodes, const int* members, int length, std::array<int, 8>& tuple) {
  for (int e = 0; e < length; ++e) tuple[e] = nodes[members[e]];
  if (length != 4) sortTuple(tuple.data(), length);
}

void numberNodesInWalk(const LookupTables& tables, std::array<IntArray, 8>& refined,
                       int& vertexCount) {
  // Only searched, never walked, so its layout changes no result.
  TupleIndexTable nodeIndices;
  std::array<int, 8> tuple{};
  for (int t = 0; t < cellTypeCount; ++t) {
    IntArray& cells = refined[t];
    for (const SplitGroup& group : splitGroups(tables, t)) {
      for (int cell = 0; cell < cells.cols(); ++cell) {
        if (cell + prefetchCells < cells.cols())
          prefetchNode(cells.column(cell + prefetchCells), group.members, group.length,
                       nodeIndices);
        int* nodes = cells.column(cell);
        nodeTuple(nodes, group.members, group.length, tuple);
        nodes[group.row] = nodeIndex(tuple.data(), group.length, nodeIndices, vertexCount);
      }
    }
  }
}

}  // namespace cagewarp
