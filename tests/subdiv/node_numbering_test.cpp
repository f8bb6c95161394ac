#include "subdiv/node_numbering.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "mesh/cell_type.h"
#include "tests/support/committed_tables.h"

namespace cagewarp {
namespace {

using Cells = std::array<IntArray, 8>;

// Cells of each type from their corner lists, with room for the split's node rows.
Cells cellsOf(const std::array<std::vector<int>, 8>& corners) {
  Cells cells;
  for (int t = 0; t < cellTypeCount; ++t) {
    const int count = static_cast<int>(corners[t].size()) / verticesPerCell[t];
    cells[t] = IntArray({refinedNodeCount[t], count}, -1);
    for (int c = 0; c < count; ++c)
      for (int k = 0; k < verticesPerCell[t]; ++k)
        cells[t].column(c)[k] = corners[t][c * verticesPerCell[t] + k];
  }
  return cells;
}

// An n^3 grid of hexahedra, each with its corners in one of several orders of the same cube, so
// that shared faces list their corners from different starts.
Cells turnedHexGrid(int n) {
  constexpr std::array<std::array<int, 8>, 4> orders = {{{0, 1, 2, 3, 4, 5, 6, 7},
                                                         {1, 2, 3, 0, 5, 6, 7, 4},
                                                         {4, 7, 6, 5, 0, 3, 2, 1},
                                                         {3, 2, 6, 7, 0, 1, 5, 4}}};
  auto vertex = [n](int i, int j, int k) { return i + (n + 1) * (j + (n + 1) * k); };
  std::array<std::vector<int>, 8> corners;
  for (int k = 0; k < n; ++k)
    for (int j = 0; j < n; ++j)
      for (int i = 0; i < n; ++i) {
        const std::array<int, 8> cube = {vertex(i, j, k),
                                         vertex(i + 1, j, k),
                                         vertex(i + 1, j + 1, k),
                                         vertex(i, j + 1, k),
                                         vertex(i, j, k + 1),
                                         vertex(i + 1, j, k + 1),
                                         vertex(i + 1, j + 1, k + 1),
                                         vertex(i, j + 1, k + 1)};
        for (int corner : orders[(i + 2 * j + 3 * k) % orders.size()])
          corners[hexahedronType].push_back(cube[corner]);
      }
  return cellsOf(corners);
}

// Cells of every type on a few vertices, so that tuples meet across types, repeat corners, and
// quad diagonals meet edges.
Cells crowdedCells(unsigned seed) {
  std::mt19937 random(seed);
  std::uniform_int_distribution<int> vertex(0, 9);
  std::array<std::vector<int>, 8> corners;
  for (int t = 0; t < cellTypeCount; ++t)
    for (int k = 0; k < 6 * verticesPerCell[t]; ++k) corners[t].push_back(vertex(random));
  return cellsOf(corners);
}

// The numbering of `cells` from vertex 100: the walk's, or the threaded one's if it can.
std::optional<Cells> numbered(Cells cells, int threads, int& count) {
  count = 100;
  const LookupTables& tables = testing::committedLookupTables();
  if (threads == 0)
    numberNodesInWalk(tables, cells, count);
  else if (!detail::numberByFirstPlaces(tables, cells, count, threads))
    return std::nullopt;
  return cells;
}

TEST(NodeNumbering, ThreadedNumbersAreTheWalks) {
  struct Case {
    std::string name;
    Cells cells;
    std::optional<bool> threaded;  // whether the threaded numbering can number them
  };
  const std::vector<Case> cases = {
      {"turned hexahedron grid", turnedHexGrid(20), true},
      {"quad diagonal met first as a triangle edge",
       cellsOf({{{}, {}, {0, 1, 2, 0, 2, 3}, {0, 1, 2, 3}}}), false},
      {"triangle on a quad side", cellsOf({{{}, {}, {0, 1, 5}, {0, 1, 2, 3}}}), true},
      {"crowded cells 1", crowdedCells(1), std::nullopt},
      {"crowded cells 2", crowdedCells(2), std::nullopt},
  };
  for (const Case& c : cases) {
    int walkCount = 0;
    const Cells walk = *numbered(c.cells, 0, walkCount);
    for (int threads : {1, 3}) {
      int count = 0;
      const std::optional<Cells> threaded = numbered(c.cells, threads, count);
      if (c.threaded) {
        EXPECT_EQ(threaded.has_value(), *c.threaded) << c.name;
      }
      if (!threaded) {
        EXPECT_EQ(count, 100) << c.name;
        continue;
      }
      EXPECT_EQ(count, walkCount) << c.name << ", " << threads << " threads";
      for (int t = 0; t < cellTypeCount; ++t)
        EXPECT_EQ((*threaded)[t], walk[t]) << c.name << ", type " << t << ", " << threads;
    }
  }
}

TEST(NodeNumbering, NumberNodesTakesTheWalkWhereItMust) {
  // A triangle, walked before the hexahedra, with an edge across the first cube's bottom face.
  Cells crossed = turnedHexGrid(20);
  crossed[triangleType] = cellsOf({{{}, {}, {0, 22, 21}}})[triangleType];
  int unused = 0;
  Cells untouched = crossed;
  ASSERT_FALSE(detail::numberByFirstPlaces(testing::committedLookupTables(), untouched, unused, 2));
  const std::vector<std::pair<std::string, Cells>> cases = {
      {"large grid", turnedHexGrid(20)},
      {"large grid with a triangle across a face", crossed},
      {"few crowded cells", crowdedCells(3)},
  };
  for (const auto& [name, cells] : cases) {
    int walkCount = 7;
    int count = 7;
    Cells walk = cells;
    Cells numbered = cells;
    numberNodesInWalk(testing::committedLookupTables(), walk, walkCount);
    numberNodes(testing::committedLookupTables(), numbered, count, 2);
    EXPECT_EQ(count, walkCount) << name;
    for (int t = 0; t < cellTypeCount; ++t) EXPECT_EQ(numbered[t], walk[t]) << name << ", " << t;
  }
}

}  // namespace
}  // namespace cagewarp
