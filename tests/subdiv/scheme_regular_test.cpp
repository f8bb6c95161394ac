// One smoothing step on regular lattices: every refined vertex of the lattice's middle must carry
// the refinement mask of the spline the region stands for. The expected masks are built here
// from the splines' own rules, by lattice position, never from the program's tables.

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "tests/subdiv/lattice.h"

namespace cagewarp {
namespace {

using testing::CageBuilder;
using testing::cubeTetrahedron;
using testing::evenSum;
using testing::GridPoint;
using testing::Mask;
using testing::octahedronAround;
using testing::plus;
using testing::RefinedIndex;
using testing::scaled;
using testing::Vec3;

constexpr double maskTolerance = 1e-6;

bool isInteger(double x) {
  return std::fabs(x - std::round(x)) < 1e-9;
}

// The cubic B-spline's refinement along one axis (Lane and Riesenfeld 1980): a refined point at
// a cage position takes 1/8, 3/4, 1/8; one halfway between two takes 1/2, 1/2.
std::vector<std::pair<double, double>> cubicStencil(double q) {
  if (isInteger(q)) return {{q - 1, 1.0 / 8}, {q, 3.0 / 4}, {q + 1, 1.0 / 8}};
  return {{q - 0.5, 0.5}, {q + 0.5, 0.5}};
}

// Loop's rules (Loop 1987) on the lattice with neighbours (+-1, 0), (0, +-1), +-(1, 1): a vertex
// keeps 1 - 6 beta = 5/8 with beta = 1/16 on each neighbour; an edge point takes 3/8 from each
// end and 1/8 from the two vertices adjacent to both ends.
using LatticePoint = std::array<int, 2>;
const LatticePoint neighbourSteps[6] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}, {1, 1}, {-1, -1}};

bool adjacent(LatticePoint a, LatticePoint b) {
  for (const LatticePoint& d : neighbourSteps)
    if (a[0] + d[0] == b[0] && a[1] + d[1] == b[1]) return true;
  return false;
}

std::vector<std::pair<LatticePoint, double>> loopStencil(double qi, double qj) {
  if (isInteger(qi) && isInteger(qj)) {
    const LatticePoint v{static_cast<int>(qi), static_cast<int>(qj)};
    std::vector<std::pair<LatticePoint, double>> s{{v, 5.0 / 8}};
    for (const LatticePoint& d : neighbourSteps)
      s.push_back({{v[0] + d[0], v[1] + d[1]}, 1.0 / 16});
    return s;
  }
  const LatticePoint e{isInteger(qi) ? 0 : 1, isInteger(qj) ? 0 : 1};
  const LatticePoint a{static_cast<int>(std::lround(qi - e[0] / 2.0)),
                       static_cast<int>(std::lround(qj - e[1] / 2.0))};
  const LatticePoint b{a[0] + e[0], a[1] + e[1]};
  std::vector<std::pair<LatticePoint, double>> s{{a, 3.0 / 8}, {b, 3.0 / 8}};
  for (const LatticePoint& d : neighbourSteps) {
    const LatticePoint c{a[0] + d[0], a[1] + d[1]};
    if (c != b && adjacent(c, b)) s.push_back({c, 1.0 / 8});
  }
  EXPECT_EQ(s.size(), 4u);
  return s;
}

void addWeight(Mask& mask, const CageBuilder& cage, const Vec3& p, double w) {
  const int i = cage.indexOf(p);
  EXPECT_GE(i, 0) << "stencil leaves the lattice at " << p[0] << " " << p[1] << " " << p[2];
  if (i >= 0) mask[i] += w;
}

// Tensor product of cubic stencils over the first `axes` coordinates.
Mask tensorMask(const CageBuilder& cage, const Vec3& q, int axes) {
  Mask mask;
  std::function<void(int, Vec3, double)> recurse = [&](int a, Vec3 p, double w) {
    if (a == axes) return addWeight(mask, cage, p, w);
    for (auto [c, wa] : cubicStencil(q[a])) {
      p[a] = c;
      recurse(a + 1, p, w * wa);
    }
  };
  recurse(0, q, 1.0);
  return mask;
}

// Loop across the first two coordinates, times the cubic B-spline along the third (if used).
Mask loopMask(const CageBuilder& cage, const Vec3& q, bool alongAxis) {
  Mask mask;
  const auto axis =
      alongAxis ? cubicStencil(q[2]) : std::vector<std::pair<double, double>>{{q[2], 1.0}};
  for (auto [ij, w] : loopStencil(q[0], q[1]))
    for (auto [k, wk] : axis) addWeight(mask, cage, {double(ij[0]), double(ij[1]), k}, w * wk);
  return mask;
}

// Checks every refined vertex whose position lies in [lo, hi] on each of the first `axes`
// coordinates (the others zero), at half steps.
void checkRegion(const CageBuilder& cage, int axes, double lo, double hi,
                 const std::function<Mask(const Vec3&)>& expectedMask) {
  const Mesh smooth = testing::refined(cage.withIdentity(), normalSubdivision);
  const RefinedIndex index(cage);
  const int steps = static_cast<int>(std::lround((hi - lo) * 2)) + 1;
  int checked = 0;
  for (int a = 0; a < steps; ++a)
    for (int b = 0; b < (axes > 1 ? steps : 1); ++b)
      for (int c = 0; c < (axes > 2 ? steps : 1); ++c) {
        Vec3 q{lo + a / 2.0, axes > 1 ? lo + b / 2.0 : 0.0, axes > 2 ? lo + c / 2.0 : 0.0};
        const std::string where = "refined vertex at " + std::to_string(q[0]) + " " +
                                  std::to_string(q[1]) + " " + std::to_string(q[2]);
        testing::expectMask(smooth, index.at(q), expectedMask(q), maskTolerance, where);
        ++checked;
      }
  EXPECT_GT(checked, 0);
}

TEST(SchemeRegular, ChainOfLinesIsTheCubicBSpline) {
  CageBuilder cage;
  for (int i = 0; i < 10; ++i) cage.cell(lineType, {{double(i), 0, 0}, {double(i + 1), 0, 0}});
  checkRegion(cage, 1, 4, 6, [&](const Vec3& q) { return tensorMask(cage, q, 1); });
}

TEST(SchemeRegular, QuadGridIsTheBicubicBSpline) {
  CageBuilder cage;
  for (int i = 0; i < 6; ++i)
    for (int j = 0; j < 6; ++j) {
      const double x = i, y = j;
      cage.cell(quadType, {{x, y, 0}, {x + 1, y, 0}, {x + 1, y + 1, 0}, {x, y + 1, 0}});
    }
  checkRegion(cage, 2, 2, 4, [&](const Vec3& q) { return tensorMask(cage, q, 2); });
}

TEST(SchemeRegular, HexahedralGridIsTheTricubicBSpline) {
  CageBuilder cage;
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j)
      for (int k = 0; k < 5; ++k) {
        const double x = i, y = j, z = k;
        cage.unitCube(x, y, z);
      }
  // The stated vertex weights, as a check on the tensor product built above.
  const Mask own = tensorMask(cage, {2, 2, 2}, 3);
  EXPECT_DOUBLE_EQ(own.at(cage.indexOf({2, 2, 2})), 27.0 / 64);
  EXPECT_DOUBLE_EQ(own.at(cage.indexOf({3, 2, 2})), 9.0 / 128);
  EXPECT_DOUBLE_EQ(own.at(cage.indexOf({3, 3, 2})), 3.0 / 256);
  EXPECT_DOUBLE_EQ(own.at(cage.indexOf({3, 3, 3})), 1.0 / 512);
  checkRegion(cage, 3, 2, 3, [&](const Vec3& q) { return tensorMask(cage, q, 3); });
}

// Triangles of the lattice: each unit square cut along its (1, 1) diagonal.
void addTriangleLattice(CageBuilder& cage, int size) {
  for (int i = 0; i < size; ++i)
    for (int j = 0; j < size; ++j) {
      const double x = i, y = j;
      cage.cell(triangleType, {{x, y, 0}, {x + 1, y, 0}, {x + 1, y + 1, 0}});
      cage.cell(triangleType, {{x, y, 0}, {x + 1, y + 1, 0}, {x, y + 1, 0}});
    }
}

TEST(SchemeRegular, TriangleLatticeIsLoopsBoxSpline) {
  CageBuilder cage;
  addTriangleLattice(cage, 6);
  const Mask vertexRule = loopMask(cage, {3, 3, 0}, false);
  EXPECT_DOUBLE_EQ(vertexRule.at(cage.indexOf({3, 3, 0})), 1 - 6.0 / 16);
  checkRegion(cage, 2, 2, 4, [&](const Vec3& q) { return loopMask(cage, q, false); });
}

TEST(SchemeRegular, PrismLatticeIsLoopAcrossTimesCubicAlong) {
  CageBuilder cage;
  for (int i = 0; i < 5; ++i)
    for (int j = 0; j < 5; ++j)
      for (int k = 0; k < 5; ++k) {
        const double x = i, y = j, z = k;
        cage.cell(prismType, {{x, y, z},
                              {x + 1, y, z},
                              {x + 1, y + 1, z},
                              {x, y, z + 1},
                              {x + 1, y, z + 1},
                              {x + 1, y + 1, z + 1}});
        cage.cell(prismType, {{x, y, z},
                              {x + 1, y + 1, z},
                              {x, y + 1, z},
                              {x, y, z + 1},
                              {x + 1, y + 1, z + 1},
                              {x, y + 1, z + 1}});
      }
  checkRegion(cage, 3, 2, 3, [&](const Vec3& q) { return loopMask(cage, q, true); });
}

// The lattice's cells in the box [0, size]^3.
CageBuilder tetrahedralOctahedralLattice(int size) {
  CageBuilder cage;
  for (int x = 0; x < size; ++x)
    for (int y = 0; y < size; ++y)
      for (int z = 0; z < size; ++z)
        cage.cell(tetrahedronType, testing::cubeTetrahedronCorners({x, y, z}));
  for (int x = 1; x < size; ++x)
    for (int y = 1; y < size; ++y)
      for (int z = 1; z < size; ++z)
        if (!evenSum({x, y, z})) cage.cell(octahedronType, testing::octahedronCorners({x, y, z}));
  return cage;
}

// Mask of a node of the linear split, at doubled position q: a cage vertex itself, an edge
// middle half of each end, an octahedron centre a sixth of each corner.
Mask linearNode(const CageBuilder& cage, const GridPoint& q) {
  Mask mask;
  const bool allEven = q[0] % 2 == 0 && q[1] % 2 == 0 && q[2] % 2 == 0;
  const Vec3 at = scaled(q, 0.5);
  if (allEven && cage.has(at)) {
    mask[cage.indexOf(at)] = 1;
  } else if (allEven) {
    const GridPoint centre{q[0] / 2, q[1] / 2, q[2] / 2};
    for (int a = 0; a < 3; ++a)
      for (int s : {-1, 1}) addWeight(mask, cage, scaled(plus(centre, a, s), 1), 1.0 / 6);
  } else {
    // Two coordinates are odd: the ends are q -+ (e_a +- e_b), halved, whichever pair are
    // lattice vertices.
    std::vector<int> odd;
    for (int a = 0; a < 3; ++a)
      if (q[a] % 2 != 0) odd.push_back(a);
    EXPECT_EQ(odd.size(), 2u);
    int found = 0;
    for (int sign : {-1, 1}) {
      GridPoint u = q, v = q;
      u[odd[0]] -= 1, u[odd[1]] -= sign, v[odd[0]] += 1, v[odd[1]] += sign;
      const Vec3 pu = scaled(u, 0.5), pv = scaled(v, 0.5);
      if (!cage.has(pu) || !cage.has(pv)) continue;
      mask[cage.indexOf(pu)] += 0.5;
      mask[cage.indexOf(pv)] += 0.5;
      ++found;
    }
    EXPECT_EQ(found, 1);
  }
  return mask;
}

void accumulate(Mask& into, const Mask& from, double w) {
  for (auto [i, v] : from) into[i] += w * v;
}

// The averaging rule: the refined vertex is the type-weighted mean, over its 8 tetrahedra and 6
// octahedra (weights 1/14 each), of each cell's averaged point for that corner. A tetrahedron
// gives -1/16 of the corner and 17/48 of each other corner; an octahedron 3/8 of the corner,
// 1/12 of each edge neighbour and 7/24 of the opposite corner.
Mask tetrahedralOctahedralMask(const CageBuilder& cage, const GridPoint& q) {
  Mask sum;
  for (int d = 0; d < 8; ++d) {
    const GridPoint low{q[0] - (d & 1), q[1] - (d >> 1 & 1), q[2] - (d >> 2 & 1)};
    for (const GridPoint& c : cubeTetrahedron(low))
      accumulate(sum, linearNode(cage, c), c == q ? -1.0 / 16 : 17.0 / 48);
  }
  for (int a = 0; a < 3; ++a)
    for (int s : {-1, 1}) {
      const GridPoint centre = plus(q, a, s);
      for (const GridPoint& c : octahedronAround(centre)) {
        const bool opposite = c == plus(centre, a, s);
        accumulate(sum, linearNode(cage, c), c == q ? 3.0 / 8 : opposite ? 7.0 / 24 : 1.0 / 12);
      }
    }
  Mask mean;
  accumulate(mean, sum, 1.0 / 14);
  return mean;
}

TEST(SchemeRegular, TetrahedralOctahedralLatticeFollowsTheAveragingRule) {
  const CageBuilder cage = tetrahedralOctahedralLattice(6);
  const Mesh smooth = testing::refined(cage.withIdentity(), normalSubdivision);
  const RefinedIndex index(cage);
  // Doubled positions 4..8: old vertices, edge middles and octahedron centres of the middle.
  int kinds[3] = {0, 0, 0};
  for (int x = 4; x <= 8; ++x)
    for (int y = 4; y <= 8; ++y)
      for (int z = 4; z <= 8; ++z) {
        const GridPoint q{x, y, z};
        if (!evenSum(q)) continue;
        const int odd = x % 2 + y % 2 + z % 2;
        ++kinds[odd == 0 ? (cage.has(scaled(q, 0.5)) ? 0 : 2) : 1];
        testing::expectMask(smooth, index.at(scaled(q, 0.5)), tetrahedralOctahedralMask(cage, q),
                            maskTolerance,
                            "refined vertex at doubled " + std::to_string(x) + " " +
                                std::to_string(y) + " " + std::to_string(z));
      }
  EXPECT_GT(kinds[0], 0) << "old vertices";
  EXPECT_GT(kinds[1], 0) << "edge middles";
  EXPECT_GT(kinds[2], 0) << "octahedron centres";
}

// Cubic precision on the regular lattice (Schaefer, Hakenberg and Warren 2004): samples of a
// polynomial p of degree 3 refine to p + (3/4) sigma^2 (1/2) laplacian(p) at the refined
// vertices, sigma^2 = 4/9 the lattice's second moment per axis; that is p + laplacian(p) / 6.
TEST(SchemeRegular, TetrahedralOctahedralLatticeReproducesCubics) {
  struct Monomial {
    int x, y, z;
  };
  const Monomial monomials[] = {{2, 0, 0}, {0, 2, 0}, {1, 1, 0}, {0, 1, 1}, {3, 0, 0},
                                {0, 0, 3}, {2, 1, 0}, {1, 0, 2}, {1, 1, 1}};
  const int count = static_cast<int>(std::size(monomials));
  // Centred at the lattice's middle to keep the values, and so float rounding, small.
  auto value = [](const Monomial& m, const Vec3& p) {
    return std::pow(p[0] - 3, m.x) * std::pow(p[1] - 3, m.y) * std::pow(p[2] - 3, m.z);
  };
  auto laplacian = [](const Monomial& m, const Vec3& p) {
    auto term = [&](int e, int a) {
      if (e < 2) return 0.0;
      double v = e * (e - 1) * std::pow(p[a] - 3, e - 2);
      for (int b = 0; b < 3; ++b)
        if (b != a) v *= std::pow(p[b] - 3, b == 0 ? m.x : b == 1 ? m.y : m.z);
      return v;
    };
    return term(m.x, 0) + term(m.y, 1) + term(m.z, 2);
  };
  const CageBuilder cage = tetrahedralOctahedralLattice(6);
  Mesh mesh = cage.mesh(count);
  for (int j = 0; j < cage.vertexCount(); ++j)
    for (int r = 0; r < count; ++r)
      mesh.vertices(3 + r, j) = static_cast<float>(value(monomials[r], cage.points[j]));
  const Mesh smooth = testing::refined(mesh, normalSubdivision);
  const RefinedIndex index(cage);
  for (int x = 4; x <= 8; ++x)
    for (int y = 4; y <= 8; ++y)
      for (int z = 4; z <= 8; ++z) {
        if (!evenSum({x, y, z})) continue;
        const Vec3 q = scaled({x, y, z}, 0.5);
        const int c = index.at(q);
        ASSERT_GE(c, 0);
        for (int r = 0; r < count; ++r)
          EXPECT_NEAR(smooth.vertices(3 + r, c),
                      value(monomials[r], q) + laplacian(monomials[r], q) / 6, 2e-5)
              << "monomial " << r << " at doubled " << x << " " << y << " " << z;
      }
}

}  // namespace
}  // namespace cagewarp
