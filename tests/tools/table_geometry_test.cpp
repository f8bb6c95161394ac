#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
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
using Faces = std::vector<std::vector<int>>;

// The outward faces of volume type t as the point location tables give them.
struct CellFaces {
  Faces triangles;
  Faces quads;
  Faces all() const {
    Faces faces = triangles;
    faces.insert(faces.end(), quads.begin(), quads.end());
    return faces;
  }
};

CellFaces cellFaces(int t) {
  CellFaces faces;
  faces.triangles = fx::tableColumns(fx::committedIntTable(tableFileName("nrm", t)));
  if (hasQuadFaces(t))
    faces.quads = fx::tableColumns(fx::committedIntTable(tableFileName("nrm", quadFaceTable(t))));
  return faces;
}

// The cells each table must work on: the reference cell, a skewed copy and, for the
// hexahedron, one whose faces are all bent.
std::vector<std::vector<Vec3>> testCells(int t) {
  std::vector<std::vector<Vec3>> cells = {fx::referenceCell(t), fx::skewed(fx::referenceCell(t))};
  if (t == 7) cells.push_back(fx::warpedHexahedron());
  return cells;
}

int positionIn(const std::vector<int>& face, int v) {
  const auto it = std::find(face.begin(), face.end(), v);
  return it == face.end() ? -1 : static_cast<int>(it - face.begin());
}

TEST(TableGeometry, FaceCountsPerVolumeType) {
  const int triangles[] = {4, 8, 2, 0};
  const int quads[] = {0, 0, 3, 6};
  for (int t = 4; t <= 7; ++t) {
    const CellFaces faces = cellFaces(t);
    EXPECT_EQ(static_cast<int>(faces.triangles.size()), triangles[t - 4]) << t;
    EXPECT_EQ(static_cast<int>(faces.quads.size()), quads[t - 4]) << t;
  }
}

// Every directed edge once and its reverse once: the faces close the cell and agree on their
// orientation; with Euler's formula the set is a sphere using every corner.
TEST(TableGeometry, FacesCloseTheCellWithOneOrientation) {
  const int corners[] = {4, 6, 6, 8};
  for (int t = 4; t <= 7; ++t) {
    const Faces faces = cellFaces(t).all();
    std::set<std::pair<int, int>> edges;
    std::set<int> used;
    for (const auto& face : faces) {
      for (size_t j = 0; j < face.size(); ++j) {
        const int a = face[j], b = face[(j + 1) % face.size()];
        EXPECT_TRUE(a >= 0 && a < corners[t - 4]) << t;
        EXPECT_TRUE(edges.insert({a, b}).second) << "type " << t << " edge " << a << "-" << b;
        used.insert(a);
      }
    }
    for (const auto& [a, b] : edges) EXPECT_TRUE(edges.count({b, a})) << t << ": " << a << "-" << b;
    EXPECT_EQ(static_cast<int>(used.size()), corners[t - 4]) << t;
    EXPECT_EQ(corners[t - 4] - static_cast<int>(edges.size()) / 2 + static_cast<int>(faces.size()),
              2)
        << t;
  }
}

TEST(TableGeometry, FacesTurnCounterClockwiseSeenFromOutside) {
  for (int t = 4; t <= 7; ++t) {
    const CellFaces faces = cellFaces(t);
    for (const auto& p : testCells(t)) {
      const Vec3 middle = fx::centroid(p);
      for (const auto& f : faces.triangles) {
        const Vec3 normal = fx::cross(p[f[1]] - p[f[0]], p[f[2]] - p[f[0]]);
        EXPECT_GT(fx::dot(normal, fx::centroid(p, f) - middle), 0) << t;
      }
      for (const auto& f : faces.quads) {
        const Vec3 outward = fx::centroid(p, f) - middle;
        EXPECT_GT(fx::dot(fx::polygonNormal(p, f), outward), 0) << t;
        // Each corner turns left seen from outside, so the quad is not crossed.
        for (int j = 0; j < 4; ++j) {
          const Vec3& before = p[f[(j + 3) % 4]];
          const Vec3& at = p[f[j]];
          const Vec3& after = p[f[(j + 1) % 4]];
          EXPECT_GT(fx::dot(fx::cross(at - before, after - at), outward), 0)
              << t << " corner " << j;
        }
      }
    }
  }
}

// The face behind a slot and the vertex's position in it.
struct SlotFace {
  std::vector<int> face;
  int corner;
};

SlotFace slotFace(const CellFaces& faces, int slot) {
  const int f = static_cast<int>(faces.triangles.size());
  if (slot < f) return {faces.triangles[slot], -1};
  return {faces.quads[(slot - f) / 4], (slot - f) % 4};
}

bool shareEdgeAt(const std::vector<int>& a, const std::vector<int>& b, int v) {
  const int i = positionIn(a, v), j = positionIn(b, v);
  const int na = static_cast<int>(a.size()), nb = static_cast<int>(b.size());
  const int aNeighbours[] = {a[(i + 1) % na], a[(i + na - 1) % na]};
  const int bNeighbours[] = {b[(j + 1) % nb], b[(j + nb - 1) % nb]};
  for (int x : aNeighbours)
    for (int y : bNeighbours)
      if (x == y) return true;
  return false;
}

TEST(TableGeometry, VertexSlotsCircleTheVertexCounterClockwise) {
  const int corners[] = {4, 6, 6, 8};
  const int around[] = {3, 4, 3, 3};
  for (int t = 4; t <= 7; ++t) {
    const CellFaces faces = cellFaces(t);
    const IntMatrix bar = fx::committedIntTable(tableFileName("bar", t));
    ASSERT_EQ(bar.rows(), around[t - 4]) << t;
    ASSERT_EQ(bar.cols(), corners[t - 4]) << t;
    const int slotCount = static_cast<int>(faces.triangles.size() + 4 * faces.quads.size());
    for (int v = 0; v < corners[t - 4]; ++v) {
      const std::vector<int> slots(bar.column(v), bar.column(v) + bar.rows());
      EXPECT_EQ(std::set<int>(slots.begin(), slots.end()).size(), slots.size()) << t << " " << v;
      int incident = 0;
      for (const auto& face : faces.all()) incident += positionIn(face, v) >= 0;
      EXPECT_EQ(incident, bar.rows()) << "every face at the vertex is listed: " << t << " " << v;
      std::vector<SlotFace> ring;
      for (int slot : slots) {
        ASSERT_TRUE(slot >= 0 && slot < slotCount) << t << " " << v;
        ring.push_back(slotFace(faces, slot));
        const SlotFace& last = ring.back();
        ASSERT_GE(positionIn(last.face, v), 0) << t << " vertex " << v << " slot " << slot;
        if (last.corner >= 0) {
          EXPECT_EQ(last.face[last.corner], v) << t << " slot " << slot;
        }
      }
      for (size_t j = 0; j < ring.size(); ++j) {
        const SlotFace& next = ring[(j + 1) % ring.size()];
        EXPECT_TRUE(shareEdgeAt(ring[j].face, next.face, v)) << t << " vertex " << v;
        for (const auto& p : testCells(t)) {
          const Vec3 turn =
              fx::cross(fx::polygonNormal(p, ring[j].face), fx::polygonNormal(p, next.face));
          EXPECT_GT(fx::dot(turn, p[v] - fx::centroid(p)), 0) << t << " vertex " << v;
        }
      }
    }
  }
}

TEST(TableGeometry, SlotMapServesEachTriangleByItsOwnNormal) {
  for (int t = 4; t <= 7; ++t) {
    const CellFaces faces = cellFaces(t);
    const IntMatrix brn = fx::committedIntTable(tableFileName("brn", t));
    ASSERT_EQ(brn.n(), 1) << t;
    ASSERT_EQ(brn.count(), static_cast<int>(faces.triangles.size() + 4 * faces.quads.size()));
    for (int f = 0; f < static_cast<int>(faces.triangles.size()); ++f) EXPECT_EQ(brn[f], f) << t;
  }
}

// The cell test the tables serve, in double precision: unit face normals (quads cut along the
// diagonal that keeps the cell convex), then per vertex the fan of its slots.
std::optional<std::vector<double>> wachspress(int t, const std::vector<Vec3>& p, const Vec3& x) {
  const CellFaces faces = cellFaces(t);
  const IntMatrix bar = fx::committedIntTable(tableFileName("bar", t));
  const IntMatrix brn = fx::committedIntTable(tableFileName("brn", t));
  const int f = static_cast<int>(faces.triangles.size());
  std::vector<Vec3> normals(f + 2 * faces.quads.size());
  std::vector<int> slotMap(brn.data(), brn.data() + brn.count());
  for (int i = 0; i < f; ++i) {
    const auto& tri = faces.triangles[i];
    normals[i] = fx::unit(fx::cross(p[tri[1]] - p[tri[0]], p[tri[2]] - p[tri[0]]));
  }
  for (int q = 0; q < static_cast<int>(faces.quads.size()); ++q) {
    const auto& c = faces.quads[q];
    const int a = f + 2 * q;
    const Vec3 n = fx::unit(fx::cross(p[c[1]] - p[c[0]], p[c[2]] - p[c[0]]));
    int* corner = &slotMap[f + 4 * q];
    if (fx::dot(p[c[3]] - p[c[0]], n) < 0) {
      normals[a] = n;
      normals[a + 1] = fx::unit(fx::cross(p[c[3]] - p[c[2]], p[c[0]] - p[c[2]]));
      corner[0] = corner[1] = a;
      corner[2] = corner[3] = a + 1;
    } else {
      normals[a] = fx::unit(fx::cross(p[c[0]] - p[c[3]], p[c[1]] - p[c[3]]));
      normals[a + 1] = fx::unit(fx::cross(p[c[2]] - p[c[1]], p[c[3]] - p[c[1]]));
      corner[0] = corner[3] = a;
      corner[1] = corner[2] = a + 1;
    }
  }
  std::vector<double> w(p.size());
  double sum = 0;
  for (int i = 0; i < static_cast<int>(p.size()); ++i) {
    std::vector<Vec3> n;
    std::vector<double> h;
    for (int j = 0; j < bar.rows(); ++j) {
      n.push_back(normals[slotMap[bar.at(j, i)]]);
      h.push_back(fx::dot(p[i] - x, n.back()));
    }
    w[i] = 0;
    for (int j = 1; j + 1 < bar.rows(); ++j)
      w[i] += std::abs(fx::dot(n[0], fx::cross(n[j], n[j + 1]))) / (h[0] * h[j] * h[j + 1]);
    if (!(w[i] >= 0)) return std::nullopt;
    sum += w[i];
  }
  for (double& wi : w) {
    wi /= sum;
    if (!(wi > 0)) return std::nullopt;
  }
  return w;
}

TEST(TableGeometry, CellCoordinatesReproduceLinearFunctions) {
  for (int t = 4; t <= 7; ++t) {
    for (const auto& p : {fx::referenceCell(t), fx::skewed(fx::referenceCell(t))}) {
      const Vec3 middle = fx::centroid(p);
      for (int sample = 0; sample < 3; ++sample) {
        // Half the centre plus half an uneven blend of the corners: strictly inside a convex cell.
        std::vector<double> blend;
        double blendSum = 0;
        for (size_t i = 0; i < p.size(); ++i) {
          blend.push_back(1.0 + static_cast<double>((7 * i + 3 * sample) % 5));
          blendSum += blend.back();
        }
        Vec3 x = 0.5 * middle;
        for (size_t i = 0; i < p.size(); ++i) x = x + (0.5 * blend[i] / blendSum) * p[i];
        const auto w = wachspress(t, p, x);
        ASSERT_TRUE(w.has_value()) << t;
        Vec3 back{};
        double total = 0;
        for (size_t i = 0; i < p.size(); ++i) {
          back = back + (*w)[i] * p[i];
          total += (*w)[i];
        }
        EXPECT_NEAR(total, 1.0, 1e-12) << t;
        for (int k = 0; k < 3; ++k) EXPECT_NEAR(back[k], x[k], 1e-12) << t << " axis " << k;
      }
      EXPECT_FALSE(wachspress(t, p, 2.0 * p[1] - middle).has_value()) << t;
    }
  }
}

TEST(TableGeometry, BentHexahedronContainsItsCentre) {
  const std::vector<Vec3> p = fx::warpedHexahedron();
  const auto w = wachspress(7, p, fx::centroid(p));
  ASSERT_TRUE(w.has_value());
  double total = 0;
  for (double wi : *w) total += wi;
  EXPECT_NEAR(total, 1.0, 1e-12);
}

}  // namespace
}  // namespace cagewarp
