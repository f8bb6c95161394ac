#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "relate/point_location.h"
#include "tests/relate/location_fixture.h"
#include "tests/support/shared_faces.h"

namespace cagewarp {
namespace {

using testing::addCell;
using testing::centroid;
using testing::controlMesh;
using testing::distort;
using testing::locationTables;
using testing::modelOf;
using testing::Point;

// The vertices bent about an axis parallel to y, 4 above the origin: smooth, far from affine.
Point bend(const Point& p) {
  const double radius = 4, angle = p[0] / radius, r = radius - p[2];
  return {static_cast<float>(r * std::sin(angle)), p[1],
          static_cast<float>(radius - r * std::cos(angle))};
}

double distance(const Point& a, const Point& b) {
  return std::hypot(a[0] - b[0], a[1] - b[1], a[2] - b[2]);
}

struct SegmentMeasure {
  double largestStep = 0;
  double typicalStep = 0;  // the median
  double restError = 0;    // largest distance from a point to where its weights put it
  double affineError = 0;  // the same after an affine map of the cage and the points
  double unityError = 0;   // largest |sum of weights - 1|
  int enclosed = 0;
};

// Locates points on a segment across the shared face of `c` and measures where the weights put
// them: the steps between consecutive points after the bend, and the errors of the rest pose, an
// affine pose and the partition of unity.
SegmentMeasure measureSegment(const testing::SharedFaceCase& c, Coordinates coordinates) {
  const std::vector<Point> vertices = testing::sharedFaceVertices<Point>();
  Mesh control = controlMesh(vertices);
  addCell(control, c.firstType, c.first);
  addCell(control, c.secondType, c.second);
  std::vector<Point> faceCorners, first, second;
  for (int v : c.face) faceCorners.push_back(vertices[v]);
  for (int v : c.first) first.push_back(vertices[v]);
  for (int v : c.second) second.push_back(vertices[v]);
  const std::vector<double> blend = testing::faceBlend(faceCorners.size(), 0.4, 0.55);
  Point onFace{}, across{};
  for (size_t i = 0; i < faceCorners.size(); ++i)
    for (int d = 0; d < 3; ++d) onFace[d] += static_cast<float>(blend[i]) * faceCorners[i][d];
  for (int d = 0; d < 3; ++d) across[d] = centroid(second)[d] - centroid(first)[d];
  constexpr int count = 401;
  std::vector<Point> points(count);
  for (int i = 0; i < count; ++i) {
    const float s = 0.2f * (static_cast<float>(i) / (count - 1) - 0.5f);
    for (int d = 0; d < 3; ++d) points[i][d] = onFace[d] + s * across[d];
  }
  Warnings warnings;
  const ModelLocation location =
      locateModelVertices(control, modelOf(points), 3, locationTables(), warnings, 1, coordinates);
  EXPECT_TRUE(warnings.empty()) << c.name;
  SegmentMeasure measure;
  std::vector<Point> bent(count);
  std::vector<double> steps;
  for (int j = 0; j < count; ++j) {
    measure.enclosed += location.enclosureCount[j] > 0;
    Point rest{}, moved{}, affine{};
    double sum = 0;
    for (const SparseEntry& entry : location.weights.column(j)) {
      sum += entry.value;
      const Point p = vertices[entry.row];
      const Point b = bend(p), a = distort(p);
      for (int d = 0; d < 3; ++d) {
        rest[d] += entry.value * p[d];
        moved[d] += entry.value * b[d];
        affine[d] += entry.value * a[d];
      }
    }
    bent[j] = moved;
    measure.unityError = std::max(measure.unityError, std::abs(sum - 1));
    measure.restError = std::max(measure.restError, distance(rest, points[j]));
    measure.affineError = std::max(measure.affineError, distance(affine, distort(points[j])));
    if (j > 0) steps.push_back(distance(bent[j], bent[j - 1]));
  }
  measure.largestStep = *std::max_element(steps.begin(), steps.end());
  std::nth_element(steps.begin(), steps.begin() + steps.size() / 2, steps.end());
  measure.typicalStep = steps[steps.size() / 2];
  return measure;
}

TEST(TrilinearLocation, NoCrackAcrossBentSharedFaces) {
  for (const testing::SharedFaceCase& c : testing::sharedFaceCases()) {
    const SegmentMeasure m = measureSegment(c, Coordinates::trilinear);
    EXPECT_EQ(m.enclosed, 401) << c.name;
    EXPECT_LE(m.largestStep, 1.05 * m.typicalStep) << c.name;
    // The cells span about 2: rounding of float weights and positions, and 1e-5 of the cage.
    EXPECT_LE(m.restError, 2e-6) << c.name;
    EXPECT_LE(m.affineError, 2e-5) << c.name;
    EXPECT_LE(m.unityError, 1e-6) << c.name;
  }
  // The measure sees a crack: Wachspress coordinates cut a bent quad along different diagonals in
  // the two cells (steps of 8 to 190 times the typical one here).
  for (size_t i = 0; i < 3; ++i) {
    const testing::SharedFaceCase& c = testing::sharedFaceCases()[i];
    const SegmentMeasure cracked = measureSegment(c, Coordinates::wachspress);
    EXPECT_GT(cracked.largestStep, 4 * cracked.typicalStep) << c.name;
  }
}

}  // namespace
}  // namespace cagewarp
