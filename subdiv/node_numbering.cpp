#include "subdiv/node_numbering.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

#include "array/memory_advice.h"
#include "array/parallel_for.h"
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

bool numberNodesByCell(const LookupTables& tables, std::array<IntArray, 8>& refined,
                       int& vertexCount, int threads) {
  // A stored value is a node times two, plus one for a key stored as a quad diagonal.
  int64_t bound = vertexCount;
  for (int t = 0; t < cellTypeCount; ++t)
    bound += int64_t{refined[t].cols()} * (refinedNodeCount[t] - verticesPerCell[t]);
  if (bound > std::numeric_limits<int>::max() / 2) return false;
  int count = vertexCount;
  TupleIndexTable nodeIndices;
  for (int t = 0; t < cellTypeCount; ++t) {
    IntArray& cells = refined[t];
    if (cells.cols() == 0) continue;
    const std::vector<SplitGroup> groups = splitGroups(tables, t);
    const int first = count;
    const int64_t cellCount = cells.cols();
    const auto places = static_cast<size_t>(groups.size() * cellCount);
    // Large and filled as they go: reserved whole (only the pages used are taken), in huge pages.
    UnfilledVector<int64_t> firstPlace;  // by new node - first: q * cellCount + cell, least
    firstPlace.reserve(places);
    std::array<int, 8> tuple{};
    for (int cell = 0; cell < cellCount; ++cell) {
      int* nodes = cells.column(cell);
      for (size_t q = 0; q < groups.size(); ++q) {
        const SplitGroup& group = groups[q];
        const int64_t place = static_cast<int64_t>(q) * cellCount + cell;
        nodeTuple(nodes, group.members, group.length, tuple);
        int node = count;
        if (group.length == 4) {
          const auto diagonals = quadDiagonals(tuple.data());
          const int* a = nodeIndices.find(diagonals[0].data(), 2);
          const int* b = nodeIndices.find(diagonals[1].data(), 2);
          if (a == nullptr && b == nullptr) {
            for (const auto& diagonal : diagonals) {
              int stored = 2 * node + 1;
              nodeIndices.insertIfAbsent(diagonal.data(), 2, stored);
            }
          } else if (a != nullptr && b != nullptr && *a == *b && (*a & 1) == 1) {
            node = *a >> 1;
          } else {
            return false;
          }
        } else if (const int* known = nodeIndices.find(tuple.data(), group.length)) {
          if ((*known & 1) == 1) return false;
          node = *known >> 1;
        } else {
          int stored = 2 * node;
          nodeIndices.insertIfAbsent(tuple.data(), group.length, stored);
        }
        if (node == count) {
          ++count;
          firstPlace.push_back(place);
        } else if (node >= first) {
          firstPlace[node - first] = std::min(firstPlace[node - first], place);
        }
        nodes[group.row] = node;
      }
    }
    // The walk numbers the new nodes in the order of their first places.
    HugePageVector<int> byPlace;
    assignInHugePages(byPlace, places, -1);
    for (size_t n = 0; n < firstPlace.size(); ++n) byPlace[firstPlace[n]] = static_cast<int>(n);
    UnfilledVector<int> number(firstPlace.size());
    int next = first;
    for (const int n : byPlace)
      if (n >= 0) number[n] = next++;
    parallelFor(cellCount, threads, [&](int64_t begin, int64_t end) {
      for (int64_t cell = begin; cell < end; ++cell) {
        int* nodes = cells.column(static_cast<int>(cell));
        for (const SplitGroup& group : groups)
          if (nodes[group.row] >= first) nodes[group.row] = number[nodes[group.row] - first];
      }
    });
    // Later types find this type's nodes by their numbers.
    bool later = false;
    for (int u = t + 1; u < cellTypeCount; ++u) later = later || refined[u].cols() > 0;
    if (later)
      nodeIndices.changeValues([&](int v) {
        const int node = v >> 1;
        return node >= first ? 2 * number[node - first] + (v & 1) : v;
      });
  }
  vertexCount = count;
  return true;
}

}  // namespace cagewarp
