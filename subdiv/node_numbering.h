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

// Numbers the nodes exactly as numberNodesInWalk does, on `threads` threads where it can: a node
// takes its index from the first place in the walk where its tuple is met. The walk itself numbers
// them where a table names nodes of the split, where a quad middle's two diagonals are not first
// met together (one was met before as an edge), and in splits too small to gain.
void numberNodes(const LookupTables& tables, std::array<IntArray, 8>& refined, int& vertexCount,
                 int threads);

namespace detail {
// numberNodes' threaded numbering alone: false, with nothing written, where only the walk gives
// the numbers. Tables that name nodes of the split are for the walk only.
bool numberByFirstPlaces(const LookupTables& tables, std::array<IntArray, 8>& refined,
                         int& vertexCount, int threads);
}  // namespace detail

}  // namespace cagewarp
