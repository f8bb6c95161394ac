#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "mesh/cell_type.h"
#include "mesh/lookup_tables.h"
#include "tests/tools/table_fixtures.h"

namespace cagewarp {
namespace {

namespace fx = tablefixture;

using fx::Vec3;
using Groups = std::vector<std::vector<int>>;

// The node groups of type t in the order the split reads them; a missing or empty table
// contributes none.
Groups nodeGroups(int t) {
  Groups groups;
  for (int k = 1; k <= 4; ++k) {
    const IntMatrix table = fx::committedIntTable(tableFileName(nodeTableStems[k - 1], t));
    if (table.isEmpty() || table.count() == 0) continue;
    EXPECT_EQ(table.rows(), 2 * k) << nodeTableStems[k - 1] << t;
    for (const auto& group : fx::tableRuns(table, 2 * k)) groups.push_back(group);
  }
  return groups;
}

// Corners, then the mean of each group, as the split computes new nodes.
std::vector<Vec3> refinedNodes(int t, const std::vector<Vec3>& corners) {
  std::vector<Vec3> nodes = corners;
  for (const auto& group : nodeGroups(t)) {
    Vec3 sum{};
    for (int i : group) sum = sum + nodes.at(i);
    nodes.push_back((1.0 / static_cast<double>(group.size())) * sum);
  }
  return nodes;
}

TEST(SplitTables, EachTypeGetsItsNumberOfNewNodes) {
  const int expected[] = {0, 1, 3, 5, 6, 13, 12, 19};
  for (int t = 0; t < cellTypeCount; ++t) {
    EXPECT_EQ(static_cast<int>(nodeGroups(t).size()), expected[t]) << t;
    EXPECT_EQ(verticesPerCell[t] + expected[t], refinedNodeCount[t]) << t;
  }
}

// A node may only be built from rows that exist when it is made, and no two nodes may be the
// same point of every cell.
TEST(SplitTables, NodesAreBuiltFromEarlierRowsOnly) {
  for (int t = 0; t < cellTypeCount; ++t) {
    std::set<std::vector<int>> seen;
    int row = verticesPerCell[t];
    for (const auto& group : nodeGroups(t)) {
      for (int i : group) EXPECT_TRUE(i >= 0 && i < row) << "type " << t << " row " << row;
      std::vector<int> sorted = group;
      std::sort(sorted.begin(), sorted.end());
      EXPECT_TRUE(std::adjacent_find(sorted.begin(), sorted.end()) == sorted.end()) << t;
      EXPECT_TRUE(seen.insert(sorted).second) << "type " << t << " row " << row;
      ++row;
    }
  }
}

// A quad middle is shared through the quad's diagonals, so its group must run around the quad:
// consecutive corners joined by cell edges, opposite corners not.
TEST(SplitTables, QuadMiddlesRunAroundTheirQuad) {
  for (int t = 0; t < cellTypeCount; ++t) {
    std::set<std::pair<int, int>> edges;
    const Groups groups = nodeGroups(t);
    for (const auto& g : groups)
      if (g.size() == 2) edges.insert({std::min(g[0], g[1]), std::max(g[0], g[1])});
    auto isEdge = [&](int a, int b) { return edges.count({std::min(a, b), std::max(a, b)}) > 0; };
    for (const auto& g : groups) {
      if (g.size() != 4) continue;
      for (int j = 0; j < 4; ++j) EXPECT_TRUE(isEdge(g[j], g[(j + 1) % 4])) << t;
      EXPECT_FALSE(isEdge(g[0], g[2])) << t;
      EXPECT_FALSE(isEdge(g[1], g[3])) << t;
    }
  }
}

struct Child {
  int type;
  std::vector<int> nodes;
};

std::vector<Child> children(int t) {
  std::vector<Child> result;
  const IntMatrix uni = fx::committedIntTable(tableFileName("uni", t));
  EXPECT_EQ(uni.count(), sameTypeChildCount[t] * verticesPerCell[t]) << t;
  for (const auto& run : fx::tableRuns(uni, verticesPerCell[t])) result.push_back({t, run});
  if (t == tetrahedronType) {
    const IntMatrix bas = fx::committedIntTable("mesh_bas4.tab");
    EXPECT_EQ(bas.count(), 6);
    for (const auto& run : fx::tableRuns(bas, 6)) result.push_back({octahedronType, run});
  }
  if (t == octahedronType) {
    const IntMatrix bas = fx::committedIntTable("mesh_bas5.tab");
    EXPECT_EQ(bas.count(), 32);
    for (const auto& run : fx::tableRuns(bas, 4)) result.push_back({tetrahedronType, run});
  }
  return result;
}

// Corners of the reference cell of each type that span it.
const std::vector<int> spanningCorners[8] = {
    {0}, {0, 1}, {0, 1, 2}, {0, 1, 3}, {0, 1, 2, 3}, {0, 1, 2, 5}, {0, 1, 2, 3}, {0, 1, 3, 4}};

double referenceMeasure(int t) {
  const double measures[] = {1.0, 1.0, 0.5, 1.0, 1.0 / 6.0, 4.0 / 3.0, 0.75, 1.0};
  return measures[t];
}

// The linear part of the affine map that takes the reference cell of type t onto `corners`,
// or an empty result when the corners are no affine image of it.
std::vector<Vec3> affineFrame(int t, const std::vector<Vec3>& corners) {
  const std::vector<Vec3> ref = fx::referenceCell(t);
  const std::vector<int>& s = spanningCorners[t];
  const int d = cellDimension[t];
  // Reference edge vectors in their first d coordinates: F (d x d); image edges: E (3 x d).
  double f[3][3] = {};
  std::vector<Vec3> e(d);
  for (int c = 0; c < d; ++c) {
    for (int r = 0; r < d; ++r) f[r][c] = ref[s[c + 1]][r] - ref[s[0]][r];
    e[c] = corners[s[c + 1]] - corners[s[0]];
  }
  // A = E F^-1 by Gauss-Jordan on the rows of F^T: A^T = F^-T E^T.
  std::vector<Vec3> a = e;
  double m[3][3];
  for (int r = 0; r < d; ++r)
    for (int c = 0; c < d; ++c) m[r][c] = f[c][r];
  for (int p = 0; p < d; ++p) {
    int pivot = p;
    for (int r = p + 1; r < d; ++r)
      if (std::abs(m[r][p]) > std::abs(m[pivot][p])) pivot = r;
    std::swap(m[p], m[pivot]);
    std::swap(a[p], a[pivot]);
    for (int r = 0; r < d; ++r) {
      if (r == p) continue;
      const double k = m[r][p] / m[p][p];
      for (int c = 0; c < d; ++c) m[r][c] -= k * m[p][c];
      a[r] = a[r] - k * a[p];
    }
  }
  for (int r = 0; r < d; ++r) a[r] = (1.0 / m[r][r]) * a[r];
  for (size_t j = 0; j < corners.size(); ++j) {
    Vec3 image = corners[s[0]];
    for (int r = 0; r < d; ++r) image = image + (ref[j][r] - ref[s[0]][r]) * a[r];
    const Vec3 miss = image - corners[j];
    if (fx::dot(miss, miss) > 1e-20) return {};
  }
  return a;
}

// Signed measure of a frame relative to the parent's frame (both of one dimension).
double measureRatio(const std::vector<Vec3>& child, const std::vector<Vec3>& parent) {
  switch (parent.size()) {
    case 1:
      return fx::dot(child[0], parent[0]) / fx::dot(parent[0], parent[0]);
    case 2: {
      const Vec3 n = fx::cross(parent[0], parent[1]);
      return fx::dot(fx::cross(child[0], child[1]), n) / fx::dot(n, n);
    }
    default:
      return fx::dot(fx::cross(child[0], child[1]), child[2]) /
             fx::dot(fx::cross(parent[0], parent[1]), parent[2]);
  }
}

// Every child is a positively oriented affine copy of its type's reference cell (so numbered
// as its type requires), and the children fill exactly the parent's measure.
TEST(SplitTables, ChildrenArePositiveCopiesThatTileTheParent) {
  for (int t = 0; t < cellTypeCount; ++t) {
    std::vector<std::vector<Vec3>> parents = {fx::referenceCell(t)};
    if (isVolumeType(t)) parents.push_back(fx::skewed(fx::referenceCell(t)));
    for (const auto& parent : parents) {
      const std::vector<Vec3> nodes = refinedNodes(t, parent);
      if (t == pointType) {
        ASSERT_EQ(children(t).size(), 1u);
        EXPECT_EQ(children(t)[0].nodes, std::vector<int>{0});
        continue;
      }
      const std::vector<Vec3> parentFrame = affineFrame(t, parent);
      ASSERT_FALSE(parentFrame.empty()) << t;
      double filled = 0;
      for (const Child& child : children(t)) {
        std::vector<Vec3> corners;
        for (int i : child.nodes) {
          ASSERT_TRUE(i >= 0 && i < refinedNodeCount[t]) << t;
          corners.push_back(nodes[i]);
        }
        const std::vector<Vec3> frame = affineFrame(child.type, corners);
        ASSERT_FALSE(frame.empty()) << "type " << t << ": child of type " << child.type
                                    << " is not a copy of its reference cell";
        const double ratio = measureRatio(frame, parentFrame);
        EXPECT_GT(ratio, 0) << "type " << t << ": child of type " << child.type;
        filled += ratio * referenceMeasure(child.type);
      }
      EXPECT_NEAR(filled, referenceMeasure(t), 1e-12) << t;
    }
  }
}

// The seven face families the boundary and interface passes read.
TEST(SplitTables, FaceFamiliesListTheCellFaces) {
  const int sizes[] = {2, 2, 3, 3, 4, 4, 3};
  const int counts[] = {6, 8, 12, 6, 12, 24, 24};
  // The volume families are the point location faces, each face in the same cyclic order.
  const std::pair<int, const char*> sameAs[] = {{2, "mesh_nrm4.tab"},
                                                {3, "mesh_nrm6.tab"},
                                                {4, "mesh_nrm8.tab"},
                                                {5, "mesh_nrm9.tab"},
                                                {6, "mesh_nrm5.tab"}};
  std::vector<Groups> families;
  for (int q = 0; q < 7; ++q) {
    const IntMatrix zip = fx::committedIntTable(tableFileName("zip", q));
    EXPECT_EQ(zip.count(), counts[q]) << q;
    families.push_back(fx::tableRuns(zip, sizes[q]));
  }
  auto rotatedToMin = [](std::vector<int> f) {
    std::rotate(f.begin(), std::min_element(f.begin(), f.end()), f.end());
    return f;
  };
  for (const auto& [q, name] : sameAs) {
    std::set<std::vector<int>> zipFaces, nrmFaces;
    for (const auto& f : families[q]) zipFaces.insert(rotatedToMin(f));
    for (const auto& f : fx::tableColumns(fx::committedIntTable(name)))
      nrmFaces.insert(rotatedToMin(f));
    EXPECT_EQ(zipFaces, nrmFaces) << q;
    EXPECT_EQ(zipFaces.size(), families[q].size()) << q;
  }
  // Edge families: each side of the triangle and the quad once.
  const std::set<std::set<int>> triangleSides = {{0, 1}, {1, 2}, {0, 2}};
  const std::set<std::set<int>> quadSides = {{0, 1}, {1, 2}, {2, 3}, {0, 3}};
  std::set<std::set<int>> sides0, sides1;
  for (const auto& e : families[0]) sides0.insert({e[0], e[1]});
  for (const auto& e : families[1]) sides1.insert({e[0], e[1]});
  EXPECT_EQ(sides0, triangleSides);
  EXPECT_EQ(sides1, quadSides);
  // A prism quad starts along a triangle edge: even positions begin triangle edges, odd ones
  // axis edges, which the interface pass tells apart by position.
  for (const auto& f : families[4]) {
    for (int j = 0; j < 4; ++j) {
      const bool sameEnd = (f[j] < 3) == (f[(j + 1) % 4] < 3);
      EXPECT_EQ(sameEnd, j % 2 == 0) << f[0] << f[1] << f[2] << f[3];
    }
  }
}

}  // namespace
}  // namespace cagewarp
