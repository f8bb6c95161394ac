#pragma once

#include <array>
#include <vector>

#include "array/matrix.h"
#include "mesh/lookup_tables.h"

namespace cagewarp {

// A node group of one cell type in a split: the row its node takes in each cell, and the rows of
// the corners that name it.
struct SplitGroup {
  int row;
  const int* members;
  int length;
};

// Type t's node groups in the order a split walks them: node table by node table, group by group.
std::vector<SplitGroup> splitGroups(const LookupTables& tables, int t);

// The tuple of the node `members` name in a cell with nodes `nodes`, as the numbering leaves it:
// a quad middle's corners in table order, others sorted.
void nodeTuple(const int* nodes, const int* members, int length, std::array<int, 8>& tuple);

// Numbers the new nodes of a split in its walk: type by type, group by group, cell by cell. A
// tuple's node is found among the tuples met so far, and a new node takes the next index from
// `vertexCount`. A quad middle is named by its diagonals, so it is the same vertex as the middle
// of an edge joining two opposite corners. Writes every cell's node rows, which `refined` must
// have in place.
void numberNodesInWalk(const LookupTables& tables, std::array<IntArray, 8>& refined,
                       int& vertexCount);

// The walk's numbers, found cell by cell: neighbouring cells share most of their nodes, so most
// searches find their place in the table still in the cache, where the walk's land anywhere in a
// large table. Only quad middles, named by either diagonal, can depend on the order: when no key
// names both an edge middle and a diagonal, and a quad's two diagonals name the same node or none,
// each tuple has its node whatever the order, and the numbers follow each node's first place in
// the walk. Returns false where that does not hold, with `vertexCount` unchanged and the rows
// partly written. Only for node tables whose tuples name corners alone; the renumbering runs on
// `threads` threads.
bool numberNodesByCell(const LookupTables& tables, std::array<IntArray, 8>& refined,
                       int& vertexCount, int threads);

}  // namespace cagewarp
