#include "relate/trilinear_coordinates.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <vector>

#include "relate/point_location.h"
#include "tests/relate/location_fixture.h"
#include "tests/support/shared_faces.h"

namespace cagewarp {
namespace {

using testing::addCell;
using testing::controlMesh;
using testing::distorted;
using testing::locationTables;
using testing::modelOf;
using testing::Point;
using testing::referenceCell;

CellCorners cornersOf(const std::vector<Point>& points) {
  CellCorners corners{};
  for (size_t i = 0; i < points.size(); ++i)
    for (int d = 0; d < 3; ++d) corners[i][d] = points[i][d];
  return corners;
}

std::vector<Point> warped(int t) {
  return testing::bentCell<Point>(t);
}

// The point with weights `w` over `corners`, rounded to float.
Point combination(const std::vector<Point>& corners, const std::vector<double>& w) {
  std::array<double, 3> sum{};
  for (size_t i = 0; i < corners.size(); ++i)
    for (int d = 0; d < 3; ++d) sum[d] += w[i] * corners[i][d];
  return {static_cast<float>(sum[0]), static_cast<float>(sum[1]), static_cast<float>(sum[2])};
}

// Weights of a random point of the cell's reference domain, by the definition of each map:
// trilinear, linear on the triangle times linear along the axis, barycentric, barycentric in
// one of the octahedron's tetrahedra around its 0-5 axis.
std::vector<double> randomCellWeights(int t, std::mt19937& random) {
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<double> simplex(4);
  double total = 0;
  for (double& s : simplex) total += (s = -std::log(1 - unit(random)));
  for (double& s : simplex) s /= total;
  const double u = unit(random), v = unit(random), w = unit(random);
  switch (t) {
    case tetrahedronType:
      return simplex;
    case octahedronType: {
      const int k = static_cast<int>(unit(random) * 4) % 4;
      std::vector<double> weights(6, 0.0);
      weights[1 + k] = simplex[0];
      weights[1 + (k + 1) % 4] = simplex[1];
      weights[5] = simplex[2];
      weights[0] = simplex[3];
      return weights;
    }
    case prismType: {
      const double a = simplex[0] / (1 - simplex[3]);
      const double r = simplex[1] / (1 - simplex[3]);
      const double s = 1 - a - r;
      return {a * (1 - w), r * (1 - w), s * (1 - w), a * w, r * w, s * w};
    }
    default:
      return {(1 - u) * (1 - v) * (1 - w),
              u * (1 - v) * (1 - w),
              u * v * (1 - w),
              (1 - u) * v * (1 - w),
              (1 - u) * (1 - v) * w,
              u * (1 - v) * w,
              u * v * w,
              (1 - u) * v * w};
  }
}

TEST(IsoparametricCoordinates, PartitionOfUnityAndLinearPrecisionInWarpedCells) {
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    const int k = verticesPerCell[t];
    for (const std::vector<Point>& cell :
         {referenceCell(t), distorted(referenceCell(t)), warped(t)}) {
      const CellCorners corners = cornersOf(cell);
      ASSERT_TRUE(hasPositiveJacobian(t, corners)) << "type " << t;
      std::mt19937 random(t);
      for (int trial = 0; trial < 300; ++trial) {
        const Point p = combination(cell, randomCellWeights(t, random));
        float lambda[8];
        const IsoparametricResult result = isoparametricCoordinates(t, corners, p.data(), lambda);
        ASSERT_EQ(result.containment, Containment::inside) << "type " << t << " trial " << trial;
        EXPECT_LE(result.steps, 8);
        double sum = 0;
        std::vector<double> w(lambda, lambda + k);
        for (double l : w) {
          sum += l;
          EXPECT_GE(l, -referenceTolerance);
        }
        EXPECT_NEAR(sum, 1.0, 1e-6) << "type " << t;
        const Point reproduced = combination(cell, w);
        for (int d = 0; d < 3; ++d) EXPECT_NEAR(reproduced[d], p[d], 2e-6) << "type " << t;
      }
    }
  }
}

TEST(IsoparametricCoordinates, NeighboursAgreeOnABentSharedFace) {
  const std::vector<Point> grid = testing::sharedFaceVertices<Point>();
  std::mt19937 random(3);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (const testing::SharedFaceCase& c : testing::sharedFaceCases()) {
    auto cornersOfCell = [&](const std::vector<int>& cell) {
      std::vector<Point> points;
      for (int v : cell) points.push_back(grid[v]);
      return cornersOf(points);
    };
    const CellCorners first = cornersOfCell(c.first);
    const CellCorners second = cornersOfCell(c.second);
    ASSERT_TRUE(hasPositiveJacobian(c.firstType, first)) << c.name;
    ASSERT_TRUE(hasPositiveJacobian(c.secondType, second)) << c.name;
    for (int trial = 0; trial < 100; ++trial) {
      const double s = unit(random), r = unit(random);
      const std::vector<double> blend = testing::faceBlend(c.face.size(), s, r);
      std::vector<Point> faceCorners;
      for (int v : c.face) faceCorners.push_back(grid[v]);
      const Point p = combination(faceCorners, blend);
      std::map<int, double> byVertex[2];
      for (int side = 0; side < 2; ++side) {
        const int t = side == 0 ? c.firstType : c.secondType;
        const std::vector<int>& cell = side == 0 ? c.first : c.second;
        float lambda[8];
        ASSERT_EQ(
            isoparametricCoordinates(t, side == 0 ? first : second, p.data(), lambda).containment,
            Containment::inside)
            << c.name << " side " << side << " trial " << trial;
        for (size_t i = 0; i < cell.size(); ++i) byVertex[side][cell[i]] += lambda[i];
      }
      for (int side = 0; side < 2; ++side)
        for (const auto& [vertex, weight] : byVertex[side])
          EXPECT_NEAR(weight, byVertex[1 - side][vertex], 2e-6) << c.name << " vertex " << vertex;
    }
  }
}

TEST(IsoparametricCoordinates, ToleranceDecidesAtTheBoundary) {
  // Unit cells at the origin, where a float resolves 1.2e-7 near 1: half the tolerance beyond
  // a face is inside, twice of it outside.
  for (const int t : {tetrahedronType, prismType, hexahedronType}) {
    const CellCorners corners = cornersOf(referenceCell(t));
    for (const auto& [offset, inside] :
         std::vector<std::pair<double, bool>>{{0.5, true}, {2.0, false}}) {
      const float beyond = static_cast<float>(offset * referenceTolerance);
      const Point below = {0.2f, 0.1f, -beyond};
      float lambda[8];
      EXPECT_EQ(isoparametricCoordinates(t, corners, below.data(), lambda).containment,
                inside ? Containment::inside : Containment::outside)
          << "type " << t << " offset " << offset;
    }
  }
}

TEST(IsoparametricCells, InvertedCellsAndUnsolvedPointsFallBackToWachspressWithAWarning) {
  // Hexahedron 0 is sound; hexahedron 1 has its top pushed through its bottom; hexahedron 2 is
  // bent so far that Newton's method does not converge at a point its Wachspress coordinates
  // enclose (found by a search over random bent cells).
  std::vector<Point> points = referenceCell(hexahedronType);
  for (Point p : referenceCell(hexahedronType)) points.push_back({p[0] + 3, p[1], p[2]});
  points[14] = {3.9f, 0.9f, -0.5f};
  const std::vector<Point> bent = {
      {0.0421458744f, -0.0812916607f, 0.177926794f}, {1.14561892f, -0.343147695f, 0.38761434f},
      {0.780994952f, 1.25664353f, 0.315729946f},     {-0.201299936f, 0.97414279f, 0.0976360068f},
      {-0.308895379f, 0.214027718f, 0.627068281f},   {0.660253108f, 0.231221065f, 1.4055146f},
      {0.98891598f, 1.33058572f, 0.581581414f},      {0.0608020462f, 0.578602672f, 1.40056992f}};
  for (Point p : bent) points.push_back({p[0] + 6, p[1], p[2]});
  Mesh control = controlMesh(points);
  for (int c = 0; c < 3; ++c) {
    std::vector<int> corners(8);
    for (int i = 0; i < 8; ++i) corners[i] = 8 * c + i;
    addCell(control, hexahedronType, corners);
  }
  const Matrix model =
      modelOf({{0.3f, 0.6f, 0.2f}, {3.2f, 0.2f, 0.3f}, {6.0816150755f, 0.525415063f, 1.29703021f}});
  Warnings warnings;
  const ModelLocation wachspress =
      locateModelVertices(control, model, 3, locationTables(), warnings, 1);
  ASSERT_TRUE(warnings.empty());
  const ModelLocation trilinear =
      locateModelVertices(control, model, 3, locationTables(), warnings, 1, Coordinates::trilinear);
  EXPECT_EQ(warnings, Warnings({"trilinear coordinates: 1 hexahedron (hexahedron 1) inverted or "
                                "folded; points in them get Wachspress coordinates",
                                "trilinear coordinates: Newton's method did not converge in 20 "
                                "steps in 1 hexahedron (hexahedron 2); points there get "
                                "Wachspress coordinates"}));
  EXPECT_EQ(trilinear.enclosureCount, IntArray::fromValues({1, 1, 1}));
  for (int j : {1, 2}) {
    ASSERT_EQ(trilinear.weights.column(j).size(), wachspress.weights.column(j).size());
    for (size_t i = 0; i < wachspress.weights.column(j).size(); ++i)
      EXPECT_EQ(trilinear.weights.column(j)[i].value, wachspress.weights.column(j)[i].value);
  }
  // The sound cell gives its trilinear weights: (0.3, 0.6, 0.2) in the unit cube.
  const float expected[8] = {0.224f, 0.096f, 0.144f, 0.336f, 0.056f, 0.024f, 0.036f, 0.084f};
  ASSERT_EQ(trilinear.weights.column(0).size(), 8u);
  for (int i = 0; i < 8; ++i) EXPECT_NEAR(trilinear.weights.column(0)[i].value, expected[i], 1e-7);
}

TEST(IsoparametricCells, APointBetweenABentQuadAndTwoTrianglesFallsBackToWachspress) {
  // The unit cube with corner 6 pushed out along x: its face x = 1 becomes x = 1 + 0.2 y z, while
  // the two tetrahedra beyond it meet it in the flat triangles 1 2 6 (x = 1 + 0.2 z) and 1 6 5
  // (x = 1 + 0.2 y). (1.06, 0.5, 0.4) lies between the bent face and the triangle 1 2 6.
  std::vector<Point> points = referenceCell(hexahedronType);
  points[6] = {1.2f, 1.0f, 1.0f};
  points.push_back({2.0f, 0.5f, 0.5f});
  Mesh control = controlMesh(points);
  addCell(control, hexahedronType, {0, 1, 2, 3, 4, 5, 6, 7});
  addCell(control, tetrahedronType, {1, 2, 6, 8});
  addCell(control, tetrahedronType, {1, 6, 5, 8});
  const Matrix model = modelOf({{1.06f, 0.5f, 0.4f}, {1.2f, 0.5f, 0.4f}});
  Warnings warnings;
  const ModelLocation wachspress =
      locateModelVertices(control, model, 3, locationTables(), warnings, 1);
  const ModelLocation trilinear =
      locateModelVertices(control, model, 3, locationTables(), warnings, 1, Coordinates::trilinear);
  EXPECT_EQ(warnings, Warnings({"trilinear coordinates: 1 model vertex lies in no cell's "
                                "trilinear domain but beside a bent quad face, inside the cell as "
                                "Wachspress coordinates see it, and get those"}));
  EXPECT_EQ(trilinear.enclosureCount, IntArray::fromValues({1, 1}));
  ASSERT_EQ(trilinear.weights.column(0).size(), wachspress.weights.column(0).size());
  for (size_t i = 0; i < wachspress.weights.column(0).size(); ++i)
    EXPECT_EQ(trilinear.weights.column(0)[i].value, wachspress.weights.column(0)[i].value);
}

TEST(HasPositiveJacobian, RejectsInvertedAndFoldedCells) {
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    std::vector<Point> mirrored = referenceCell(t);
    for (Point& p : mirrored) p[2] = -p[2];
    EXPECT_FALSE(hasPositiveJacobian(t, cornersOf(mirrored))) << "type " << t;
    std::vector<Point> flat = referenceCell(t);
    for (Point& p : flat) p[2] = 0;
    EXPECT_FALSE(hasPositiveJacobian(t, cornersOf(flat))) << "type " << t;
  }
  // Apex 0 pulled sideways past the equator: two of the tetrahedra around the axis turn over.
  std::vector<Point> octahedron = referenceCell(octahedronType);
  octahedron[0] = {1.5f, 0.0f, 0.2f};
  EXPECT_FALSE(hasPositiveJacobian(octahedronType, cornersOf(octahedron)));
}

}  // namespace
}  // namespace cagewarp
