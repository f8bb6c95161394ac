// Quadratic precision across the interface of two regions. A spline region reproduces a
// quadratic q in the sense that its control points q - (1/2) trace(H Sigma) (H the Hessian of q,
// Sigma the region's second moment per unit spacing) refine to the control points of q at half
// the spacing, q - (1/8) trace(H Sigma). Two regions with different Sigma can only join without
// a kink if each sees its own control points at the shared vertices; the interface rule shifts
// the shared vertices' values, given at the mean of the two, up in one class and down in the
// other. The tests start from such control points and compare one refinement with the control
// points each region's own spline gives.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "tests/subdiv/lattice.h"
#include "tests/support/renumbering.h"

namespace cagewarp {
namespace {

using testing::CageBuilder;
using testing::GridPoint;
using testing::Vec3;

constexpr double reproductionTolerance = 1e-5;
// Refined positions are floats: a vertex this close to the interface lies on it.
constexpr double planeTolerance = 1e-6;

// Control point values of the test quadratics at p, for spacing factor `scale` (1 for the cage,
// 1/4 after one step).
using ControlPoints = std::function<std::vector<double>(const Vec3& p, double scale)>;

// `cage` with the data rows of `control` (at the cage's spacing) below its positions.
Mesh withControlPoints(const CageBuilder& cage, const ControlPoints& control) {
  const int rows = static_cast<int>(control({0, 0, 0}, 1).size());
  Mesh mesh = cage.mesh(rows);
  for (int j = 0; j < cage.vertexCount(); ++j) {
    const std::vector<double> values = control(cage.points[j], 1);
    for (int r = 0; r < rows; ++r) mesh.vertices(3 + r, j) = static_cast<float>(values[r]);
  }
  return mesh;
}

// Runs `steps` normal steps on `mesh` (positions, then data rows from `control`) and returns, per
// step and data row, the largest deviation from the expected control points over the refined
// vertices that `checked` selects. Positions come from as many linear steps, which split the
// same way and keep them exact.
std::vector<std::vector<double>> worstDeviations(const Mesh& mesh, const LookupTables& tables,
                                                 const ControlPoints& control,
                                                 const std::function<bool(const Vec3&)>& checked,
                                                 int steps) {
  const int rows = mesh.vertices.rows() - 3;
  Mesh smooth = mesh, exact = mesh;
  double scale = 1;
  std::vector<std::vector<double>> worst;
  for (int step = 0; step < steps; ++step) {
    smooth = testing::refined(smooth, normalSubdivision, tables);
    exact = testing::refined(exact, linearSubdivision, tables);
    scale /= 4;
    std::vector<double> stepWorst(rows, 0.0);
    int count = 0;
    for (int c = 0; c < smooth.vertices.cols(); ++c) {
      const Vec3 p{exact.vertices(0, c), exact.vertices(1, c), exact.vertices(2, c)};
      if (!checked(p)) continue;
      ++count;
      const std::vector<double> expected = control(p, scale);
      for (int r = 0; r < rows; ++r)
        stepWorst[r] = std::max(stepWorst[r], std::fabs(smooth.vertices(3 + r, c) - expected[r]));
    }
    EXPECT_GT(count, 50) << "too few refined vertices checked";
    worst.push_back(stepWorst);
  }
  return worst;
}

// One normal step on `cage` with data rows from `control`.
std::vector<double> worstDeviation(const CageBuilder& cage, const LookupTables& tables,
                                   const ControlPoints& control,
                                   const std::function<bool(const Vec3&)>& checked) {
  return worstDeviations(withControlPoints(cage, control), tables, control, checked, 1)[0];
}

// The table set without the interface rule for the kind pair (a, b).
LookupTables withoutRule(int a, int b) {
  LookupTables tables = testing::committedLookupTables();
  const IntMatrix& proc = tables.procTable;
  IntMatrix kept(2, 0);
  for (int r = 0; r < proc.cols(); ++r) {
    if (proc.at(0, r) == a && proc.at(1, r) == b) continue;
    IntMatrix column(2, 1);
    column.at(0, 0) = proc.at(0, r);
    column.at(1, 0) = proc.at(1, r);
    kept.appendCols(column);
  }
  EXPECT_EQ(kept.cols(), proc.cols() - 1) << "no rule for kinds " << a << ", " << b;
  tables.procTable = kept;
  checkTables(tables);
  return tables;
}

// ---------------------------------------------------------------------------------------------
// Triangles meet quads along the line y = 0: unit squares above it, and below it rows of
// triangles with unit base and unit height, each row shifted by half a base. Both regions then
// have the second moment 1/3 across the line; along it the bicubic B-spline has 1/3 and Loop's
// box spline 1/4 (edge directions (1, 0), (1/2, -1), (-1/2, -1), each twice: (1 + 1/4 + 1/4)/6).

CageBuilder triangleQuadStrip(int halfWidth, int depth) {
  CageBuilder cage;
  for (int i = -halfWidth; i < halfWidth; ++i)
    for (int j = 0; j < depth; ++j) {
      const double x = i, y = j;
      cage.cell(quadType, {{x, y, 0}, {x + 1, y, 0}, {x + 1, y + 1, 0}, {x, y + 1, 0}});
    }
  for (int k = 0; k < depth; ++k)
    for (int i = -halfWidth; i < halfWidth; ++i) {
      const double x = i + 0.5 * (k % 2), y = -k;
      const Vec3 top{x, y, 0}, nextTop{x + 1, y, 0}, left{x - 0.5, y - 1, 0},
          right{x + 0.5, y - 1, 0};
      cage.cell(triangleType, {top, left, right});
      cage.cell(triangleType, {top, right, nextTop});
    }
  return cage;
}

// Second moment along the line: 1/3 above, 1/4 below, their mean on it.
double momentAlong(double y) {
  return y > planeTolerance ? 1.0 / 3 : y < -planeTolerance ? 1.0 / 4 : 7.0 / 24;
}

// x^2, xy and y^2.
std::vector<double> stripControlPoints(const Vec3& p, double scale) {
  const double x = p[0], y = p[1];
  return {x * x - momentAlong(y) * scale, x * y, y * y - scale / 3};
}

bool nearStripMiddle(const Vec3& p) {
  return std::fabs(p[0]) <= 3 && std::fabs(p[1]) <= 2.5;
}

TEST(SchemeInterface, TriangleQuadInterfaceReproducesQuadratics) {
  const std::vector<double> worst =
      worstDeviation(triangleQuadStrip(8, 5), testing::committedLookupTables(), stripControlPoints,
                     nearStripMiddle);
  EXPECT_LT(worst[0], reproductionTolerance) << "x^2";
  EXPECT_LT(worst[1], reproductionTolerance) << "xy";
  EXPECT_LT(worst[2], reproductionTolerance) << "y^2";
}

// Without the rule both classes see the mean at the line, and the rows beside it miss by 1/48.
TEST(SchemeInterface, WithoutTheRuleTheSquareAlongTheInterfaceIsNotReproduced) {
  const std::vector<double> worst = worstDeviation(triangleQuadStrip(8, 5), withoutRule(0, 1),
                                                   stripControlPoints, nearStripMiddle);
  EXPECT_NEAR(worst[0], 1.0 / 48, 1e-5) << "x^2";
  EXPECT_LT(worst[1], reproductionTolerance) << "xy";
  EXPECT_LT(worst[2], reproductionTolerance) << "y^2";
}

// The limit of x^2 is x^2 + phi(y). Its second derivative on either side of the line, from
// one-sided second differences of the refined values (control points plus the region's moment,
// which turns them into limit values) after three steps: the same on both sides with the rule,
// a jump without it (it tends to 7/12 as the steps go on).
double secondDerivativeJump(const LookupTables& tables) {
  const CageBuilder cage = triangleQuadStrip(3, 3);
  Mesh mesh = cage.mesh(1);
  for (int j = 0; j < cage.vertexCount(); ++j)
    mesh.vertices(3, j) = static_cast<float>(stripControlPoints(cage.points[j], 1)[0]);
  double h = 1;
  for (int step = 0; step < 3; ++step) {
    mesh = testing::refined(mesh, normalSubdivision, tables);
    h /= 2;
  }
  // phi on the rows y = k h, k = -2..2, from the vertices with |x| <= 1/2.
  std::map<long, std::pair<double, int>> rows;
  for (int c = 0; c < mesh.vertices.cols(); ++c) {
    const double x = mesh.vertices(0, c), y = mesh.vertices(1, c);
    if (std::fabs(x) > 0.5 || std::fabs(y) > 2.01 * h) continue;
    auto& row = rows[std::lround(y / h)];
    row.first += mesh.vertices(3, c) - x * x + momentAlong(y) * h * h;
    row.second += 1;
  }
  EXPECT_EQ(rows.size(), 5u);
  auto phi = [&](long k) { return rows[k].first / rows[k].second; };
  const double above = (phi(2) - 2 * phi(1) + phi(0)) / (h * h);
  const double below = (phi(-2) - 2 * phi(-1) + phi(0)) / (h * h);
  return above - below;
}

TEST(SchemeInterface, WithoutTheRuleTheLimitHasAKinkInCurvature) {
  EXPECT_NEAR(secondDerivativeJump(testing::committedLookupTables()), 0.0, 1e-3);
  const double jump = secondDerivativeJump(withoutRule(0, 1));
  EXPECT_GT(std::fabs(jump), 0.45);
  EXPECT_LT(std::fabs(jump), 7.0 / 12);
}

// ---------------------------------------------------------------------------------------------
// The tetrahedral-octahedral lattice above the plane x + y + z = 0 (its faces there form a
// triangle lattice of edge sqrt 2), layers of prisms below it, one lattice layer spacing (2 /
// sqrt 3) thick each. Second moments: the tetrahedral lattice 4/9 in every direction; the prisms
// 1/2 in the plane (Loop, a^2 / 4) and (2 / sqrt 3)^2 / 3 = 4/9 across it.

CageBuilder tetrahedraOnPrisms(int box, int prismLayers) {
  CageBuilder cage;
  auto sum = [](const GridPoint& p) { return p[0] + p[1] + p[2]; };
  for (int x = -box; x < box; ++x)
    for (int y = -box; y < box; ++y)
      for (int z = -box; z < box; ++z) {
        bool above = true;
        for (const GridPoint& c : testing::cubeTetrahedron({x, y, z})) above = above && sum(c) >= 0;
        if (above) cage.cell(tetrahedronType, testing::cubeTetrahedronCorners({x, y, z}));
      }
  for (int x = 1 - box; x < box; ++x)
    for (int y = 1 - box; y < box; ++y)
      for (int z = 1 - box; z < box; ++z)
        if (!testing::evenSum({x, y, z}) && sum({x, y, z}) > 0)
          cage.cell(octahedronType, testing::octahedronCorners({x, y, z}));
  const double layer = 2.0 / 3;  // (2 / sqrt 3) along the unit normal (1, 1, 1) / sqrt 3
  auto below = [&](const GridPoint& p, int k) {
    return Vec3{p[0] - k * layer, p[1] - k * layer, p[2] - k * layer};
  };
  auto inBox = [&](const GridPoint& p) {
    return std::abs(p[0]) <= box && std::abs(p[1]) <= box && std::abs(p[2]) <= box;
  };
  for (int x = -box; x <= box; ++x)
    for (int y = -box; y <= box; ++y) {
      const GridPoint p{x, y, -x - y};
      const std::array<GridPoint, 3> triangles[2] = {
          {p, {x + 1, y - 1, -x - y}, {x + 1, y, -x - y - 1}},
          {p, {x + 1, y, -x - y - 1}, {x, y + 1, -x - y - 1}}};
      for (const auto& t : triangles) {
        if (!inBox(t[0]) || !inBox(t[1]) || !inBox(t[2])) continue;
        for (int k = 0; k < prismLayers; ++k) {
          std::vector<Vec3> prism{below(t[0], k + 1), below(t[1], k + 1), below(t[2], k + 1),
                                  below(t[0], k),     below(t[1], k),     below(t[2], k)};
          if (!testing::positivelyOriented(prismType, prism)) {
            std::swap(prism[1], prism[2]);
            std::swap(prism[4], prism[5]);
          }
          cage.cell(prismType, prism);
        }
      }
    }
  return cage;
}

double dot(const Vec3& a, const Vec3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

// u, v in the plane, w across it; u^2, uv, v^2, uw, vw, w^2.
std::vector<double> volumeControlPoints(const Vec3& p, double scale) {
  const double s2 = std::sqrt(2.0), s3 = std::sqrt(3.0), s6 = std::sqrt(6.0);
  const double u = dot(p, {1 / s2, -1 / s2, 0}), v = dot(p, {1 / s6, 1 / s6, -2 / s6}),
               w = dot(p, {1 / s3, 1 / s3, 1 / s3});
  const double inPlane = (w > planeTolerance    ? 4.0 / 9
                          : w < -planeTolerance ? 1.0 / 2
                                                : 17.0 / 36) *
                         scale;
  const double across = 4.0 / 9 * scale;
  return {u * u - inPlane, u * v, v * v - inPlane, u * w, v * w, w * w - across};
}

bool nearOrigin(const Vec3& p) {
  return dot(p, p) <= 4;
}

// The rule for tetrahedron and octahedron faces lying on prism end faces, mul = (1/72) [[-2, 1,
// 1], [1, -2, 1], [1, 1, -2]]: it moves an interface vertex by (1/216) (sum over its in-plane
// neighbours u of u - v), half the moment difference 1/18 for each class.
TEST(SchemeInterface, TetrahedraMeetingPrismsReproduceQuadratics) {
  const std::vector<double> worst = worstDeviation(
      tetrahedraOnPrisms(4, 3), testing::committedLookupTables(), volumeControlPoints, nearOrigin);
  const char* names[] = {"u^2", "uv", "v^2", "uw", "vw", "w^2"};
  for (int r = 0; r < 6; ++r) EXPECT_LT(worst[r], reproductionTolerance) << names[r];
}

TEST(SchemeInterface, WithoutTheFaceRuleInPlaneSquaresAreNotReproduced) {
  const std::vector<double> worst =
      worstDeviation(tetrahedraOnPrisms(4, 3), withoutRule(2, 3), volumeControlPoints, nearOrigin);
  EXPECT_NEAR(worst[0], 1.0 / 72, 1e-5) << "u^2";
  EXPECT_NEAR(worst[2], 1.0 / 72, 1e-5) << "v^2";
  const char* names[] = {"u^2", "uv", "v^2", "uw", "vw", "w^2"};
  for (int r : {1, 3, 4, 5}) EXPECT_LT(worst[r], reproductionTolerance) << names[r];
}

// ---------------------------------------------------------------------------------------------
// Hexahedra meet prisms on the plane y = 0: unit cubes above it; below it the triangle rows of
// the strip above (unit base along x, unit height) extruded along z in unit layers. Second
// moments: the cubes 1/3 in every direction; the prisms 1/4 along x (Loop) and 1/3 across the
// plane and along their axis z (the cubic B-spline).

CageBuilder hexahedraOnPrisms(int halfWidth, int layers) {
  CageBuilder cage;
  for (int i = -halfWidth; i < halfWidth; ++i)
    for (int k = -halfWidth; k < halfWidth; ++k) {
      const double x = i, z = k;
      for (int j = 0; j < layers; ++j) {
        const double y = j;
        cage.unitCube(x, y, z);
      }
      for (int j = 0; j < layers; ++j) {
        const double xTop = i + 0.5 * (j % 2), y = -j;
        const Vec3 top{xTop, y, 0}, nextTop{xTop + 1, y, 0}, left{xTop - 0.5, y - 1, 0},
            right{xTop + 0.5, y - 1, 0};
        for (const std::array<Vec3, 3>& t :
             {std::array<Vec3, 3>{top, left, right}, std::array<Vec3, 3>{top, right, nextTop}}) {
          std::vector<Vec3> prism;
          for (double level : {z, z + 1})
            for (const Vec3& corner : t) prism.push_back({corner[0], corner[1], level});
          cage.cell(prismType, prism);
        }
      }
    }
  return cage;
}

// x^2, y^2, z^2, xy, xz, yz.
std::vector<double> hexPrismControlPoints(const Vec3& p, double scale) {
  const double x = p[0], y = p[1], z = p[2];
  return {
      x * x - momentAlong(y) * scale, y * y - scale / 3, z * z - scale / 3, x * y, x * z, y * z};
}

// The cage's own boundary, irregular, reaches to about |x| = 2.25 after two steps.
bool nearPlaneMiddle(const Vec3& p) {
  return std::fabs(p[0]) <= 1.5 && std::fabs(p[1]) <= 1.5 && std::fabs(p[2]) <= 1.5;
}

// The rule for hexahedron quads on prism quads, mul = (1/24) [[1, -1, 0, 0], [-1, 1, 0, 0], [0, 0,
// 1, -1], [0, 0, -1, 1]], needs each quad's tuple to start along a prism triangle edge: checked
// under the natural numbering and under shuffled vertices with every cell turned at random.
// Without the rule the interface vertices keep the mean moment along x, and x^2 is missed by
// 1/48 after one step.
TEST(SchemeInterface, HexahedraMeetingPrismsReproduceQuadraticsUnderAnyNumbering) {
  const char* names[] = {"x^2", "y^2", "z^2", "xy", "xz", "yz"};
  const Mesh natural = withControlPoints(hexahedraOnPrisms(4, 3), hexPrismControlPoints);
  const LookupTables& withRule = testing::committedLookupTables();
  const LookupTables without = withoutRule(5, 4);
  struct Case {
    unsigned seed;  // 0: the natural numbering
    const LookupTables* tables;
  };
  const Case cases[] = {{0, &withRule}, {1, &withRule}, {2, &withRule}, {0, &without}};
  for (const Case& c : cases) {
    std::mt19937 random(c.seed);
    const Mesh mesh = c.seed == 0 ? natural : testing::randomlyRenumbered(natural, random);
    const std::vector<std::vector<double>> worst =
        worstDeviations(mesh, *c.tables, hexPrismControlPoints, nearPlaneMiddle, 2);
    for (int step = 0; step < 2; ++step) {
      for (int r = 0; r < 6; ++r) {
        const std::string what = std::string(names[r]) + " after " + std::to_string(step + 1) +
                                 " steps, numbering " + std::to_string(c.seed) +
                                 (c.tables == &without ? ", without the rule" : "");
        if (c.tables == &without && r == 0 && step == 0)
          EXPECT_NEAR(worst[step][r], 1.0 / 48, 1e-5) << what;
        else if (c.tables == &without && r == 0)
          EXPECT_GT(worst[step][r], 1e-2) << what;
        else
          EXPECT_LT(worst[step][r], reproductionTolerance) << what;
      }
    }
  }
}

}  // namespace
}  // namespace cagewarp
