#include <gtest/gtest.h>

#include <map>
#include <set>
#include <utility>

#include "formats/array_file.h"
#include "relate/point_location.h"
#include "tests/relate/location_fixture.h"
#include "tests/support/committed_tables.h"

namespace cagewarp {
namespace {

using testing::distorted;
using testing::expectLinearPrecision;
using testing::faceList;
using testing::Point;
using testing::referenceCell;

TEST(LocationTables, CommittedFacesCloseEachCellOutward) {
  const LookupTables tables = testing::committedLookupTables();
  const int triangles[8] = {0, 0, 0, 0, 4, 8, 2, 0};
  const int quads[8] = {0, 0, 0, 0, 0, 0, 3, 6};
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    const CellFaceTables faces = testing::facesOf(tables, t);
    EXPECT_EQ(faces.triangleCount, triangles[t]);
    EXPECT_EQ(faces.quadCount, quads[t]);
    for (int f = 0; f < faces.triangleCount; ++f) EXPECT_EQ((*faces.slotMap)[f], f);

    // A closed surface: every directed edge once, its reverse once.
    std::map<std::pair<int, int>, int> edges;
    for (const auto& face : faceList(faces))
      for (size_t i = 0; i < face.size(); ++i) ++edges[{face[i], face[(i + 1) % face.size()]}];
    for (const auto& [edge, count] : edges) {
      EXPECT_EQ(count, 1) << "type " << t;
      EXPECT_EQ(edges.count({edge.second, edge.first}), 1u) << "type " << t;
    }
    const int faceCount = faces.triangleCount + faces.quadCount;
    EXPECT_EQ(verticesPerCell[t] - static_cast<int>(edges.size()) / 2 + faceCount, 2);

    // Outward: the face's area vector points away from the cell's centre.
    for (const auto& corners : {referenceCell(t), distorted(referenceCell(t))}) {
      const Point c = testing::centroid(corners);
      for (const auto& face : faceList(faces)) {
        double area[3] = {0, 0, 0};
        double middle[3] = {0, 0, 0};
        for (size_t i = 0; i < face.size(); ++i) {
          const Point& a = corners[face[i]];
          const Point& b = corners[face[(i + 1) % face.size()]];
          area[0] += (a[1] - b[1]) * double(a[2] + b[2]);
          area[1] += (a[2] - b[2]) * double(a[0] + b[0]);
          area[2] += (a[0] - b[0]) * double(a[1] + b[1]);
          for (int d = 0; d < 3; ++d) middle[d] += a[d] / double(face.size());
        }
        double out = 0;
        for (int d = 0; d < 3; ++d) out += area[d] * (middle[d] - c[d]);
        EXPECT_GT(out, 1e-3) << "type " << t;
      }
    }
  }
}

TEST(LocationTables, CommittedSlotsGoRoundEachVertex) {
  const LookupTables tables = testing::committedLookupTables();
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    const CellFaceTables faces = testing::facesOf(tables, t);
    const auto list = faceList(faces);
    const int tri = faces.triangleCount;
    for (int i = 0; i < verticesPerCell[t]; ++i) {
      // The face each slot names, checked to hold vertex i (a quad slot at the right corner).
      std::vector<int> around;
      for (int j = 0; j < faces.slotsPerVertex; ++j) {
        const int slot = faces.slotsAround->at(j, i);
        const int face = slot < tri ? slot : tri + (slot - tri) / 4;
        if (slot >= tri) {
          EXPECT_EQ(list[face][(slot - tri) % 4], i) << "type " << t;
        }
        const auto& v = list[face];
        EXPECT_NE(std::find(v.begin(), v.end(), i), v.end()) << "type " << t << " vertex " << i;
        around.push_back(face);
      }
      EXPECT_EQ(std::set<int>(around.begin(), around.end()).size(), around.size());
      int containing = 0;
      for (const auto& face : list)
        containing += std::find(face.begin(), face.end(), i) != face.end();
      EXPECT_EQ(containing, faces.slotsPerVertex) << "type " << t << " vertex " << i;
      // Consecutive faces share an edge at vertex i.
      for (size_t j = 0; j < around.size(); ++j) {
        auto neighbours = [&](int face) {
          const auto& v = list[face];
          const size_t k = std::find(v.begin(), v.end(), i) - v.begin();
          return std::set<int>{v[(k + 1) % v.size()], v[(k + v.size() - 1) % v.size()]};
        };
        const auto a = neighbours(around[j]);
        const auto b = neighbours(around[(j + 1) % around.size()]);
        bool shared = false;
        for (int v : a) shared = shared || b.count(v);
        EXPECT_TRUE(shared) << "type " << t << " vertex " << i << " slot " << j;
      }
    }
  }
}

TEST(LocationTables, CommittedTablesGiveLinearPrecision) {
  const LookupTables tables = testing::committedLookupTables();
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    expectLinearPrecision(t, referenceCell(t), tables);
    expectLinearPrecision(t, distorted(referenceCell(t)), tables);
  }
}

}  // namespace
}  // namespace cagewarp
