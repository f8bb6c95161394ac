#include "subdiv/node_numbering.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "mesh/cell_type.h"
#include "tests/support/committed_tables.h"
#include "tools/scene.h"

namespace cagewarp {
namespace {

using testing::committedLookupTables;

// The cells with room for their new nodes, as a split numbers them.
std::array<IntArray, 8> withNodeRows(const std::array<IntArray, 8>& cells) {
  std::array<IntArray, 8> refined = cells;
  for (int t = 0; t < cellTypeCount; ++t)
    if (refined[t].cols() > 0) refined[t].resizeRows(refinedNodeCount[t]);
  return refined;
}

// Random cells of every volume and surface type over a small pool of vertices, so that cells
// share edges, faces and quad diagonals, and sometimes an edge is another cell's diagonal.
std::array<IntArray, 8> randomCells(std::mt19937& random, int pool, int perType) {
  std::array<IntArray, 8> cells;
  std::vector<int> vertices(pool);
  std::iota(vertices.begin(), vertices.end(), 0);
  for (int t = 0; t < cellTypeCount; ++t) {
    const int count = static_cast<int>(random() % (perType + 1));
    cells[t] = IntArray({verticesPerCell[t], count}, 0);
    for (int c = 0; c < count; ++c) {
      std::shuffle(vertices.begin(), vertices.end(), random);
      std::copy_n(vertices.begin(), verticesPerCell[t], cells[t].column(c));
    }
  }
  return cells;
}

// Three quads where the order decides: the walk meets the edge (0, 2) of the second before the
// middle of the first, which that edge then names, so the diagonal (1, 3) never enters the table
// and the third quad's edge (1, 3) is a node of its own. Searched cell by cell, the first quad's
// middle would enter both diagonals first.
std::array<IntArray, 8> edgeOnADiagonal() {
  std::array<IntArray, 8> cells;
  for (int t = 0; t < cellTypeCount; ++t) cells[t] = IntArray({verticesPerCell[t], 0}, 0);
  cells[quadType] = IntArray({4, 3}, 0);
  const int corners[3][4] = {{0, 1, 2, 3}, {0, 2, 4, 5}, {1, 3, 6, 7}};
  for (int c = 0; c < 3; ++c) std::copy_n(corners[c], 4, cells[quadType].column(c));
  return cells;
}

// Numbered cell by cell, the nodes get the walk's numbers whenever the cell order cannot change
// them; otherwise the numbering says so. Both outcomes occur among these meshes, and a
// conforming grid always takes the cell-by-cell path.
TEST(NodeNumbering, CellByCellGivesTheWalksNumbersOrDeclines) {
  const LookupTables& tables = committedLookupTables();
  std::mt19937 random(11);
  int taken = 0;
  int declined = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const int pool = trial == 0 ? 8 : 8 + static_cast<int>(random() % 60);
    const std::array<IntArray, 8> cells =
        trial == 0 ? edgeOnADiagonal() : randomCells(random, pool, 1 + trial % 6);
    std::array<IntArray, 8> walked = withNodeRows(cells);
    int walkCount = pool;
    numberNodesInWalk(tables, walked, walkCount);
    std::array<IntArray, 8> byCell = withNodeRows(cells);
    int cellCount = pool;
    if (!numberNodesByCell(tables, byCell, cellCount, 1 + trial % 3)) {
      EXPECT_EQ(cellCount, pool) << "trial " << trial;
      ++declined;
      continue;
    }
    ++taken;
    EXPECT_EQ(cellCount, walkCount) << "trial " << trial;
    for (int t = 0; t < cellTypeCount; ++t) EXPECT_EQ(byCell[t], walked[t]) << "trial " << trial;
  }
  EXPECT_GT(taken, 30);
  EXPECT_GT(declined, 30);

  const Mesh grid = scene::sceneMesh(scene::warpedHexCage(6));
  std::array<IntArray, 8> walked = withNodeRows(grid.cells);
  int walkCount = grid.vertexColumns();
  numberNodesInWalk(tables, walked, walkCount);
  std::array<IntArray, 8> byCell = withNodeRows(grid.cells);
  int cellCount = grid.vertexColumns();
  ASSERT_TRUE(numberNodesByCell(tables, byCell, cellCount, 2));
  EXPECT_EQ(cellCount, walkCount);
  EXPECT_EQ(byCell[hexahedronType], walked[hexahedronType]);
}

}  // namespace
}  // namespace cagewarp
