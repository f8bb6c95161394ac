// One smoothing step on closed triangle and quad surfaces with vertices of every valence from 3
// to 7: every refined vertex must follow Loop's rules (Loop 1987) or Catmull and Clark's (1978),
// written here from the cage's faces alone.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numbers>
#include <set>
#include <string>
#include <vector>

#include "tests/subdiv/lattice.h"

namespace cagewarp {
namespace {

using testing::CageBuilder;
using testing::Mask;
using testing::Vec3;

constexpr double maskTolerance = 1e-6;

// Faces of a closed surface and what the rules need from them.
struct Surface {
  CageBuilder cage;
  int type = triangleType;
  std::vector<std::vector<int>> faces;

  void face(const std::vector<Vec3>& corners) {
    cage.cell(type, corners);
    std::vector<int> f;
    for (const Vec3& p : corners) f.push_back(cage.indexOf(p));
    faces.push_back(f);
  }

  std::set<int> neighbours(int v) const {
    std::set<int> out;
    for (const auto& f : faces)
      for (size_t i = 0; i < f.size(); ++i)
        if (f[i] == v) {
          out.insert(f[(i + 1) % f.size()]);
          out.insert(f[(i + f.size() - 1) % f.size()]);
        }
    return out;
  }

  std::vector<std::vector<int>> facesAround(int v) const {
    std::vector<std::vector<int>> out;
    for (const auto& f : faces)
      if (std::count(f.begin(), f.end(), v)) out.push_back(f);
    return out;
  }

  // Faces with a and b as consecutive corners.
  std::vector<std::vector<int>> facesOnEdge(int a, int b) const {
    std::vector<std::vector<int>> out;
    for (const auto& f : faces)
      for (size_t i = 0; i < f.size(); ++i) {
        const int p = f[i], q = f[(i + 1) % f.size()];
        if ((p == a && q == b) || (p == b && q == a)) out.push_back(f);
      }
    return out;
  }
};

// Loop's vertex rule: 1 - n beta_n on the vertex, beta_n on each neighbour,
// beta_n = (5/8 - (3/8 + cos(2 pi / n) / 4)^2) / n; edge rule 3/8, 3/8, 1/8, 1/8.
Mask loopVertex(const Surface& s, int v) {
  const std::set<int> ring = s.neighbours(v);
  const double n = static_cast<double>(ring.size());
  const double a = 3.0 / 8 + std::cos(2 * std::numbers::pi / n) / 4;
  const double beta = (5.0 / 8 - a * a) / n;
  Mask m{{v, 1 - n * beta}};
  for (int u : ring) m[u] += beta;
  return m;
}

Mask loopEdge(const Surface& s, int a, int b) {
  Mask m{{a, 3.0 / 8}, {b, 3.0 / 8}};
  const auto wings = s.facesOnEdge(a, b);
  EXPECT_EQ(wings.size(), 2u);
  for (const auto& f : wings)
    for (int c : f)
      if (c != a && c != b) m[c] += 1.0 / 8;
  return m;
}

void addCentroid(Mask& m, const std::vector<int>& face, double w) {
  for (int c : face) m[c] += w / static_cast<double>(face.size());
}

// Catmull-Clark: vertex (n - 2)/n v + (1/n^2) (sum of neighbours + sum of face points); edge
// (v + u)/4 + (sum of its two face points)/4; face point the centroid.
Mask catmullClarkVertex(const Surface& s, int v) {
  const std::set<int> ring = s.neighbours(v);
  const double n = static_cast<double>(ring.size());
  Mask m{{v, (n - 2) / n}};
  for (int u : ring) m[u] += 1 / (n * n);
  const auto around = s.facesAround(v);
  EXPECT_EQ(around.size(), ring.size());
  for (const auto& f : around) addCentroid(m, f, 1 / (n * n));
  return m;
}

Mask catmullClarkEdge(const Surface& s, int a, int b) {
  Mask m{{a, 0.25}, {b, 0.25}};
  const auto wings = s.facesOnEdge(a, b);
  EXPECT_EQ(wings.size(), 2u);
  for (const auto& f : wings) addCentroid(m, f, 0.25);
  return m;
}

// The cage vertices a refined vertex was made from by the split: its non-zero weights after a
// linear step (1 for an old vertex, 1/2 and 1/2 for an edge middle, four quarters for a quad's).
std::vector<int> splitOrigin(const Mesh& linear, int column) {
  std::vector<int> origin;
  for (int i = 3; i < linear.vertices.rows(); ++i)
    if (linear.vertices(i, column) != 0) origin.push_back(i - 3);
  return origin;
}

// Checks every refined vertex; returns the valences of the old vertices that were checked.
std::set<int> checkEveryRefinedVertex(const Surface& s) {
  const Mesh linear = testing::refined(s.cage.withIdentity(), linearSubdivision);
  const Mesh smooth = testing::refined(s.cage.withIdentity(), normalSubdivision);
  EXPECT_EQ(linear.vertices.cols(), smooth.vertices.cols());
  std::set<int> valences;
  for (int c = 0; c < smooth.vertices.cols(); ++c) {
    const std::vector<int> origin = splitOrigin(linear, c);
    Mask expected;
    std::string what;
    if (origin.size() == 1) {
      const int valence = static_cast<int>(s.neighbours(origin[0]).size());
      valences.insert(valence);
      what = "vertex rule at valence " + std::to_string(valence);
      expected =
          s.type == triangleType ? loopVertex(s, origin[0]) : catmullClarkVertex(s, origin[0]);
    } else if (origin.size() == 2) {
      what = "edge rule";
      expected = s.type == triangleType ? loopEdge(s, origin[0], origin[1])
                                        : catmullClarkEdge(s, origin[0], origin[1]);
    } else {
      EXPECT_EQ(origin.size(), 4u);
      what = "face point";
      for (int v : origin) expected[v] = 0.25;
    }
    testing::expectMask(smooth, c, expected, maskTolerance,
                        what + " of refined vertex " + std::to_string(c));
  }
  return valences;
}

// Two apexes over an n-gon: the apexes have valence n, the equator valence 4.
Surface bipyramid(int n) {
  Surface s;
  s.type = triangleType;
  const Vec3 top{0, 0, 1}, bottom{0, 0, -1};
  auto equator = [n](int i) {
    const double angle = 2 * std::numbers::pi * i / n;
    return Vec3{std::cos(angle), std::sin(angle), 0};
  };
  for (int i = 0; i < n; ++i) {
    s.face({equator(i), equator(i + 1), top});
    s.face({equator(i + 1), equator(i), bottom});
  }
  return s;
}

TEST(SchemeExtraordinary, ClosedTriangleSurfacesFollowLoopAtValencesThreeToSeven) {
  for (int n : {3, 5, 7}) {
    SCOPED_TRACE("bipyramid over " + std::to_string(n) + " sides");
    const std::set<int> valences = checkEveryRefinedVertex(bipyramid(n));
    EXPECT_EQ(valences, (std::set<int>{4, n}));
  }
}

// An n-sided prism whose end caps are each cut into n quads around their centre and whose sides
// are cut in two at the cap edges' middles: the centres have valence n, the cap corners 3, the
// edge middles 4. Every face is listed counter-clockwise seen from outside.
Surface cappedPrism(int n) {
  Surface s;
  s.type = quadType;
  auto corner = [n](int i, double z) {
    const double angle = 2 * std::numbers::pi * i / n;
    return Vec3{std::cos(angle), std::sin(angle), z};
  };
  auto middle = [&](int i, double z) {
    const Vec3 a = corner(i, z), b = corner(i + 1, z);
    return Vec3{(a[0] + b[0]) / 2, (a[1] + b[1]) / 2, z};
  };
  for (int i = 0; i < n; ++i) {
    s.face({{0, 0, 1}, middle(i - 1, 1), corner(i, 1), middle(i, 1)});
    s.face({{0, 0, 0}, middle(i, 0), corner(i, 0), middle(i - 1, 0)});
    s.face({corner(i, 0), middle(i, 0), middle(i, 1), corner(i, 1)});
    s.face({middle(i, 0), corner(i + 1, 0), corner(i + 1, 1), middle(i, 1)});
  }
  return s;
}

TEST(SchemeExtraordinary, ClosedQuadSurfacesFollowCatmullClarkAtValencesThreeToFive) {
  for (int n : {3, 5}) {
    SCOPED_TRACE("capped prism over " + std::to_string(n) + " sides");
    const std::set<int> valences = checkEveryRefinedVertex(cappedPrism(n));
    EXPECT_EQ(valences, (std::set<int>{3, 4, n}));
  }
}

}  // namespace
}  // namespace cagewarp
