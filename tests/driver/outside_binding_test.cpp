#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "driver/binding.h"
#include "relate/cage_surface.h"
#include "relate/outside_binding.h"
#include "tests/support/committed_tables.h"
#include "tests/support/outside_scenes.h"

namespace cagewarp {
namespace {

using testing::committedLookupTables;

Binding bind(const Mesh& cage, const Mesh& model, OutsideMode mode, int threads = 2,
             Coordinates coordinates = Coordinates::wachspress) {
  BindingOptions options;
  options.operations = {'b', 's', 's'};
  options.coordinates = coordinates;
  options.outside = mode;
  options.threads = threads;
  Binding binding;
  EXPECT_TRUE(bindModel(cage, model, committedLookupTables(), options, binding).ok);
  return binding;
}

// The largest distance between where D puts the model for the given cage positions and where
// `expected` says (3 x e, column j for the j-th vertex D moves).
double largestError(const Binding& binding, const Matrix& cage, const Matrix& expected) {
  const Matrix placed = applyRelation(binding.relation.deformation, cage);
  double largest = 0;
  for (int j = 0; j < placed.cols(); ++j) {
    double squared = 0;
    for (int a = 0; a < 3; ++a) squared += std::pow(double{placed(a, j)} - expected(a, j), 2);
    largest = std::max(largest, std::sqrt(squared));
  }
  return largest;
}

Matrix positionsOf(const Mesh& mesh, const IntArray& vertices, const testing::AffineMap* map) {
  Matrix p(3, vertices.count());
  for (int j = 0; j < vertices.count(); ++j) {
    const float* q = mesh.vertices.column(vertices[j]);
    for (int a = 0; a < 3; ++a) p(a, j) = map ? static_cast<float>((*map)(q)[a]) : q[a];
  }
  return p;
}

// The box model at +-0.95 in a +-1 cage of 4 x 4 x 4 cells, refined b s s: smoothing rounds the
// cage's corners inward past 1,016 of the 5,048 model vertices.
TEST(OutsideBinding, BindsTheBoxInTheBoxAndFollowsRestAndAffinePoses) {
  const Mesh cage = testing::hexahedralCube(4, 1.0f);
  const Mesh model = testing::cubeSurfacePoints(30, 0.95f);
  const Binding keep = bind(cage, model, OutsideMode::keep);
  EXPECT_EQ(keep.relation.enclosedIndices.count(), 5048 - 1016);
  EXPECT_EQ(keep.outside.count, 1016);
  EXPECT_EQ(keep.outside.lostToRefinement, 1016);
  EXPECT_GT(keep.outside.surfaceDistance, 0.0);
  EXPECT_EQ(keep.outside.lostDistance, keep.outside.surfaceDistance);

  const Binding nearest = bind(cage, model, OutsideMode::nearest, 1);
  const IntArray& bound = nearest.relation.enclosedIndices;
  ASSERT_EQ(bound.count(), 5048);
  EXPECT_EQ(nearest.relation.boundFromOutside, 1016);
  EXPECT_EQ(nearest.outside.count, 0);
  EXPECT_EQ(nearest.outside.bound, 1016);
  EXPECT_EQ(nearest.outside.boundDistance, keep.outside.surfaceDistance);
  EXPECT_EQ(nearest.outside.reach, 0.5);  // the median edge of the cage as given
  // The columns of enclosed vertices are those of the default run.
  for (int j = 0, i = 0; j < keep.relation.enclosedIndices.count(); ++j) {
    while (bound[i] != keep.relation.enclosedIndices[j]) ++i;
    const auto a = keep.relation.deformation.column(j), b = nearest.relation.deformation.column(i);
    ASSERT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end(), [](auto x, auto y) {
      return x.row == y.row && std::memcmp(&x.value, &y.value, sizeof x.value) == 0;
    }));
  }

  Matrix cageRest(3, cage.vertexColumns());
  std::copy_n(cage.vertices.data(), 3 * cage.vertexColumns(), cageRest.data());
  EXPECT_LT(largestError(nearest, cageRest, positionsOf(model, bound, nullptr)), 2e-5 * 2);
  const testing::AffineMap& map = testing::sampleAffineMap;
  const Matrix moved = testing::movedPositions(cage, map);
  double size = 0;  // the longest side of the moved cage's bounding box
  for (int a = 0; a < 3; ++a) {
    float low = moved(a, 0), high = moved(a, 0);
    for (int v = 0; v < moved.cols(); ++v) {
      low = std::min(low, moved(a, v));
      high = std::max(high, moved(a, v));
    }
    size = std::max(size, double{high} - low);
  }
  EXPECT_LT(largestError(nearest, moved, positionsOf(model, bound, &map)), 1e-5 * size);

  // Threads share out the vertices and change no bit.
  const Binding twoThreads = bind(cage, model, OutsideMode::nearest, 2);
  EXPECT_EQ(twoThreads.relation.deformation.start, nearest.relation.deformation.start);
  EXPECT_EQ(0, std::memcmp(twoThreads.relation.deformation.entries.data(),
                           nearest.relation.deformation.entries.data(),
                           nearest.relation.deformation.entries.size() * sizeof(SparseEntry)));
}

// Lines of points from inside the refined box cage to past its surface, through a face, near an
// edge and through a rounded corner: D's columns change by no more where a point crosses the
// surface than between its neighbours on either side, and stay bounded out to the reach. With
// either kind of cell coordinates.
TEST(OutsideBinding, ColumnsDoNotJumpAcrossTheSurfaceAndStayBounded) {
  const Mesh cage = testing::hexahedralCube(2, 1.0f);
  struct Line {
    std::array<float, 3> from, to;
  };
  const Line lines[] = {{{0.3f, 0.2f, 0.9f}, {0.3f, 0.2f, 1.1f}},
                        {{0.6f, 0.1f, 0.6f}, {1.05f, 0.1f, 1.05f}},
                        {{0.5f, 0.5f, 0.5f}, {1.1f, 1.05f, 1.0f}},
                        {{0.0f, 0.0f, 0.9f}, {0.0f, 0.0f, 1.9f}}};
  for (const Coordinates coordinates : {Coordinates::wachspress, Coordinates::trilinear})
    for (const Line& line : lines) {
      const int n = 2001;
      std::vector<std::array<float, 3>> points;
      for (int i = 0; i < n; ++i)
        points.push_back({line.from[0] + (line.to[0] - line.from[0]) * i / (n - 1),
                          line.from[1] + (line.to[1] - line.from[1]) * i / (n - 1),
                          line.from[2] + (line.to[2] - line.from[2]) * i / (n - 1)});
      const Mesh model = testing::pointModel(points);
      const Binding keep = bind(cage, model, OutsideMode::keep, 2, coordinates);
      const Binding nearest = bind(cage, model, OutsideMode::nearest, 2, coordinates);
      ASSERT_EQ(nearest.relation.enclosedIndices.count(), n);
      const Matrix d = denseForm(nearest.relation.deformation);
      std::vector<bool> enclosed(n, false);
      for (int j = 0; j < keep.relation.enclosedIndices.count(); ++j)
        enclosed[keep.relation.enclosedIndices[j]] = true;
      const auto change = [&](int i) {
        double largest = 0;
        for (int r = 0; r < d.rows(); ++r)
          largest = std::max(largest, std::fabs(double{d(r, i + 1)} - d(r, i)));
        return largest;
      };
      int crossings = 0;
      double entry = 0;
      for (int i = 0; i + 1 < n; ++i) {
        for (int r = 0; r < d.rows(); ++r) entry = std::max(entry, std::fabs(double{d(r, i)}));
        if (enclosed[i] == enclosed[i + 1] || i == 0 || i + 2 == n) continue;
        ++crossings;
        EXPECT_LE(change(i), 2 * std::max(change(i - 1), change(i + 1)) + 1e-6)
            << "crossing at point " << i;
      }
      EXPECT_GE(crossings, 1);
      // Affine coordinates grow linearly with the distance past the face: at most 1 plus the
      // distance over the height of the cell's centroid above it (about 0.1 in these cells).
      EXPECT_LT(entry, 1 + nearest.outside.reach / 0.1);
    }
}

TEST(OutsideBinding, TetrahedronCoordinatesHaveKnownValues) {
  const std::array<std::array<double, 3>, 3> triangle = {{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}};
  const std::array<double, 3> centroid = {0, 0, -1};
  struct Case {
    std::array<double, 3> p;
    std::array<double, 4> expected;
  };
  const Case cases[] = {
      {{0.25, 0.25, 0}, {0.5, 0.25, 0.25, 0}},  // on the triangle: its barycentric coordinates
      {{0, 0, 1}, {2, 0, 0, -1}},               // past the face, away from the centroid
      {{0, 0, -1}, {0, 0, 0, 1}},               // the centroid
      {{2, 3, 0.5}, {-3.5, 2, 3, -0.5}},        // beside the triangle, past an edge
  };
  for (const Case& c : cases) {
    std::array<double, 4> w{};
    ASSERT_TRUE(tetrahedronCoordinates(c.p, triangle, centroid, w));
    for (int i = 0; i < 4; ++i) EXPECT_NEAR(w[i], c.expected[i], 1e-12) << i;
  }
  std::array<double, 4> w{};
  EXPECT_FALSE(tetrahedronCoordinates({0, 0, 1}, triangle, {0.3, 0.3, 0}, w));
}

// The surface of a 3 x 3 x 3 lattice is its 54 outer quads, two triangles each; the index finds
// the same nearest distance as a scan over them, inside the cage and out, nothing past the
// distance asked for, and nothing for a point that is not finite. Built on several threads, the
// surface has the same triangles and gives the same answers.
TEST(OutsideBinding, SurfaceIndexFindsTheNearestTriangle) {
  const Mesh cage = testing::hexahedralCube(3, 1.0f);
  const CageSurface surface(cage, committedLookupTables());
  const CageSurface threaded(cage, committedLookupTables(), 7);
  ASSERT_EQ(surface.triangleCount(), 108);
  ASSERT_EQ(threaded.triangleCount(), 108);
  for (int t = 0; t < surface.triangleCount(); ++t) {
    EXPECT_EQ(threaded.triangle(t).cell, surface.triangle(t).cell);
    EXPECT_EQ(threaded.triangle(t).corners, surface.triangle(t).corners);
  }
  EXPECT_NEAR(medianEdgeLength(cage), 2.0 / 3, 1e-6);
  std::mt19937 random(7);
  std::uniform_real_distribution<float> coordinate(-2.5f, 2.5f);
  // The farthest first, unmarked: the marked ones must not be passed over for lying within it.
  std::vector<std::array<float, 3>> points{{0, 0, 1.5f}, {3, 3, 3}};
  for (int i = 0; i < 300; ++i) {
    const float p[3] = {coordinate(random), coordinate(random), coordinate(random)};
    points.push_back({p[0], p[1], p[2]});
    double scan = HUGE_VAL;
    for (int t = 0; t < surface.triangleCount(); ++t) {
      const auto c = surface.corners(t);
      scan = std::min(scan, squaredTriangleDistance({p[0], p[1], p[2]}, c[0], c[1], c[2]));
    }
    const NearestTriangle found = surface.nearest(p, HUGE_VAL);
    ASSERT_GE(found.triangle, 0);
    EXPECT_DOUBLE_EQ(found.distance(), std::sqrt(scan));
    EXPECT_EQ(threaded.nearest(p, HUGE_VAL).triangle, found.triangle);
    EXPECT_EQ(surface.nearest(p, 0.99 * found.distance()).triangle, -1);
    EXPECT_TRUE(surface.anyWithin(p, found.squaredDistance));
    EXPECT_FALSE(surface.anyWithin(p, 0.99 * found.squaredDistance));
  }
  const float notFinite[3] = {NAN, 0, 0};
  EXPECT_EQ(surface.nearest(notFinite, HUGE_VAL).triangle, -1);
  EXPECT_FALSE(surface.anyWithin(notFinite, HUGE_VAL));
  // The farthest of the points, and of every third, found on any threads; a point that is not
  // finite (unmarked) counts towards neither.
  points.push_back({NAN, 0, 0});
  const Mesh scattered = testing::pointModel(points);
  IntArray listed({scattered.vertexColumns()}, 0);
  std::vector<bool> marked;
  double farthest = -1, farthestMarked = 0;
  for (int j = 0; j + 1 < listed.count(); ++j) {
    listed[j] = j;
    marked.push_back(j % 3 == 0);
    const double d = surface.nearest(points[j].data(), HUGE_VAL).distance();
    farthest = std::max(farthest, d);
    if (marked.back()) farthestMarked = std::max(farthestMarked, d);
  }
  listed[listed.count() - 1] = listed.count() - 1;
  marked.push_back(false);
  for (const int threads : {1, 2, 7}) {
    const FarthestFromSurface far =
        farthestFromSurface(scattered, listed, marked, surface, threads);
    EXPECT_EQ(far.all, farthest);
    EXPECT_EQ(far.marked, farthestMarked);
  }
  // A vertex that is not finite is neither bound nor measured; the others are.
  const Mesh model = testing::pointModel({{0, 0, 1.5f}, {NAN, 0, 0}});
  BindingOptions options;
  Binding keep, nearest;
  ASSERT_TRUE(bindModel(cage, model, committedLookupTables(), options, keep).ok);
  EXPECT_EQ(keep.outside.count, 2);
  EXPECT_EQ(keep.outside.surfaceDistance, 0.5);
  options.outside = OutsideMode::nearest;
  ASSERT_TRUE(bindModel(cage, model, committedLookupTables(), options, nearest).ok);
  EXPECT_EQ(nearest.outside.bound, 1);
  EXPECT_EQ(nearest.outside.count, 1);
  EXPECT_EQ(nearest.relation.enclosedIndices[0], 0);
}

}  // namespace
}  // namespace cagewarp
