#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "relate/point_location.h"
#include "tests/relate/location_fixture.h"

namespace cagewarp {
namespace {

using testing::addCell;
using testing::controlMesh;
using testing::distorted;
using testing::faceList;
using testing::facesOf;
using testing::interiorPoint;
using testing::locationTables;
using testing::Point;
using testing::referenceCell;
using testing::singleCell;

// The cell test written plainly with the matrix operations, to hold the stack-vector version
// to the same bits. `perVertex` selects the older form in which every corner measures its own
// distance to each face plane around it.
// The face (index into faceList) of a slot.
int faceOfSlot(const CellFaceTables& faces, int slot) {
  const int tri = faces.triangleCount;
  return slot < tri ? slot : tri + (slot - tri) / 4;
}

Matrix unitNormalReference(const Matrix& a, const Matrix& b, const Matrix& c) {
  Matrix n = (b - a).cross(c - a);
  n.normalize(2);
  return n;
}

CellCoordinates referenceCoordinates(const Mesh& control, const CellFaceTables& faces, int c,
                                     const float p[3], bool perVertex = false) {
  const int k = verticesPerCell[faces.type];
  const int tri = faces.triangleCount;
  std::vector<Matrix> corner;
  for (int h = 0; h < k; ++h) {
    Matrix v(3, 1);
    std::copy_n(control.vertices.column(control.cells[faces.type].at(h, c)), 3, v.data());
    corner.push_back(v);
  }
  const auto faceCorners = faceList(faces);
  std::vector<Matrix> normals;
  std::vector<std::array<int, 3>> triangle;  // corners the normal is formed from
  std::vector<int> anchor;
  // Per slot: the normals it brings into the fan of its corner, edge to the next corner first.
  std::vector<std::vector<int>> slotNormals;
  for (int f = 0; f < tri; ++f) {
    const auto& v = faceCorners[f];
    normals.push_back(unitNormalReference(corner[v[0]], corner[v[1]], corner[v[2]]));
    triangle.push_back({v[0], v[1], v[2]});
    anchor.push_back(v[0]);
  }
  for (int f = 0; f < tri; ++f) slotNormals.push_back({(*faces.slotMap)[f]});
  for (int q = 0; q < faces.quadCount; ++q) {
    const auto& v = faceCorners[tri + q];
    const int a = tri + 2 * q;
    Matrix n = unitNormalReference(corner[v[0]], corner[v[1]], corner[v[2]]);
    const float d = (corner[v[3]] - corner[v[0]]).dot(n);
    if (d < 0 || std::isnan(d)) {
      normals.push_back(n);
      normals.push_back(unitNormalReference(corner[v[2]], corner[v[3]], corner[v[0]]));
      triangle.push_back({v[0], v[1], v[2]});
      triangle.push_back({v[2], v[3], v[0]});
      anchor.insert(anchor.end(), {v[0], v[0]});
      for (auto slot : {std::vector{a, a + 1}, {a}, {a + 1, a}, {a + 1}})
        slotNormals.push_back(slot);
    } else {
      normals.push_back(unitNormalReference(corner[v[3]], corner[v[0]], corner[v[1]]));
      normals.push_back(unitNormalReference(corner[v[1]], corner[v[2]], corner[v[3]]));
      triangle.push_back({v[3], v[0], v[1]});
      triangle.push_back({v[1], v[2], v[3]});
      anchor.insert(anchor.end(), {v[1], v[1]});
      for (auto slot : {std::vector{a}, {a + 1, a}, {a + 1}, {a, a + 1}})
        slotNormals.push_back(slot);
    }
  }
  Matrix point(3, 1);
  std::copy_n(p, 3, point.data());
  CellCoordinates result{false, Matrix(k, 1)};

  std::vector<float> h;
  for (size_t m = 0; m < normals.size(); ++m)
    h.push_back((corner[anchor[m]] - point).dot(normals[m]));
  const bool behind = std::any_of(h.begin(), h.end(), [](float x) { return !(x >= 0); });
  if (!perVertex && !behind && std::count(h.begin(), h.end(), 0.0f) > 0) {
    for (size_t m = 0; m < normals.size(); ++m) {
      if (h[m] != 0) continue;
      const auto [A, B, C] = triangle[m];
      const float a = (corner[B] - point).cross(corner[C] - point).dot(normals[m]);
      const float b = (corner[C] - point).cross(corner[A] - point).dot(normals[m]);
      const float cc = (corner[A] - point).cross(corner[B] - point).dot(normals[m]);
      const float s = (a + b) + cc;
      if (a >= 0 && b >= 0 && cc >= 0 && s > 0) {
        result.lambda[A] = a * (1.0f / s);
        result.lambda[B] = b * (1.0f / s);
        result.lambda[C] = cc * (1.0f / s);
        result.inside = true;
        break;
      }
    }
    return result;
  }

  float sum = 0.0f;
  for (int i = 0; i < k; ++i) {
    const int* around = faces.slotsAround->column(i);
    const int c_t = faces.slotsPerVertex;
    std::vector<int> fan;
    for (int r = 0; r < c_t; ++r) {
      std::vector<int> slot = slotNormals[around[r]];
      if (perVertex) {
        slot.resize(1);  // the older form: one triangle per quad corner
      } else if (slot.size() == 2) {
        // Both triangles of a quad corner on the cut: first the one holding the edge that the
        // previous slot's face shares.
        const int quad = (around[r] - tri) / 4, j = (around[r] - tri) % 4;
        const auto& previous = faceCorners[faceOfSlot(faces, around[(r + c_t - 1) % c_t])];
        const int next = faceCorners[tri + quad][(j + 1) % 4];
        if (std::find(previous.begin(), previous.end(), next) == previous.end())
          std::swap(slot[0], slot[1]);
      }
      fan.insert(fan.end(), slot.begin(), slot.end());
    }
    float w = 0.0f;
    for (size_t j = 1; j + 1 < fan.size(); ++j) {
      auto distance = [&](int m) { return perVertex ? (corner[i] - point).dot(normals[m]) : h[m]; };
      const float det = normals[fan[0]].dot(normals[fan[j]].cross(normals[fan[j + 1]]));
      const float x = det > 0 ? det : -det;
      w = w + x / (distance(fan[0]) * distance(fan[j]) * distance(fan[j + 1]));
    }
    if (w < 0 || std::isnan(w)) return result;
    result.lambda[i] = w;
    sum = sum + w;
  }
  result.lambda *= 1.0f / sum;
  result.inside = result.lambda.greaterThan(0.0f).allNonZero();
  return result;
}

TEST(CellCoordinates, MatchTheMatrixFormBitForBit) {
  const LookupTables tables = locationTables();
  std::mt19937 random(13);
  std::uniform_real_distribution<float> jitter(-0.2f, 0.2f);
  std::uniform_real_distribution<float> around(-1.3f, 2.3f);
  int inside = 0, onBoundary = 0;
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    const CellFaceTables faces = facesOf(tables, t);
    for (int cell = 0; cell < 60; ++cell) {
      // The first cells have exactly planar faces, on which midpoints of corners lie exactly.
      std::vector<Point> corners = cell < 6 ? referenceCell(t) : distorted(referenceCell(t));
      for (Point& p : corners)
        for (float& x : p) x += cell < 6 ? 0.0f : jitter(random);
      if (cell == 7) corners[1] = corners[0];  // a collapsed edge
      if (cell == 8) corners[2][1] = std::numeric_limits<float>::quiet_NaN();
      const Mesh mesh = singleCell(t, corners);
      for (int trial = 0; trial < 40; ++trial) {
        Point p = trial % 2 ? interiorPoint(corners, random)
                            : Point{around(random), around(random), around(random) + 2};
        if (trial % 4 == 2) {  // a corner, or the midpoint of two
          const Point& u = corners[trial % corners.size()];
          const Point& v = corners[(cell + trial / 4) % corners.size()];
          for (int d = 0; d < 3; ++d) p[d] = 0.5f * (u[d] + v[d]);
        }
        const CellCoordinates fast = cellCoordinates(mesh, faces, 0, p.data());
        const CellCoordinates plain = referenceCoordinates(mesh, faces, 0, p.data());
        ASSERT_EQ(fast.inside, plain.inside) << "type " << t << " cell " << cell;
        ASSERT_EQ(std::memcmp(fast.lambda.data(), plain.lambda.data(),
                              sizeof(float) * fast.lambda.count()),
                  0);
        inside += fast.inside;
        onBoundary += fast.inside && fast.lambda.find().count() <= 3 && t != tetrahedronType;
      }
    }
  }
  EXPECT_GT(inside, 400);
  EXPECT_GT(onBoundary, 20);
}

using Exact = std::array<double, 3>;

Exact exact(const Point& p) {
  return {p[0], p[1], p[2]};
}
Exact minus(const Exact& a, const Exact& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
double dotExact(const Exact& a, const Exact& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
Exact crossExact(const Exact& a, const Exact& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Exact unit(const Exact& v) {
  const double length = std::sqrt(dotExact(v, v));
  return {v[0] / length, v[1] / length, v[2] / length};
}

// Wachspress coordinates in double precision, for cells whose faces are exactly planar.
std::vector<double> exactCoordinates(const std::vector<Point>& corners, const CellFaceTables& faces,
                                     const Point& p) {
  std::vector<Exact> normal;
  std::vector<double> distance;
  for (const auto& face : faceList(faces)) {
    const Exact a = exact(corners[face[0]]);
    normal.push_back(
        unit(crossExact(minus(exact(corners[face[1]]), a), minus(exact(corners[face[2]]), a))));
    distance.push_back(dotExact(minus(a, exact(p)), normal.back()));
  }
  std::vector<double> w(corners.size());
  double sum = 0;
  for (size_t i = 0; i < corners.size(); ++i) {
    const int* around = faces.slotsAround->column(static_cast<int>(i));
    const int f0 = faceOfSlot(faces, around[0]);
    for (int j = 1; j + 1 < faces.slotsPerVertex; ++j) {
      const int f1 = faceOfSlot(faces, around[j]);
      const int f2 = faceOfSlot(faces, around[j + 1]);
      w[i] += std::abs(dotExact(normal[f0], crossExact(normal[f1], normal[f2]))) /
              (distance[f0] * distance[f1] * distance[f2]);
    }
    sum += w[i];
  }
  for (double& x : w) x /= sum;
  return w;
}

// An orientation-preserving shear whose images of small integers are exact in float, so that
// planar faces stay exactly planar while no face is axis-aligned.
Point shear(const Point& p) {
  return {p[0] + 0.5f * p[1] + 0.25f * p[2], 0.125f * p[0] + p[1] + 0.375f * p[2],
          0.25f * p[0] - 0.5f * p[1] + p[2]};
}

std::vector<Point> sheared(std::vector<Point> points) {
  for (Point& p : points) p = shear(p);
  return points;
}

// On planar faces the second triangle of a split quad adds a (nearly) vanishing term: the
// coordinates stay the Wachspress coordinates of the cell.
TEST(CellCoordinates, PlanarCellsKeepTheirWachspressCoordinates) {
  const LookupTables tables = locationTables();
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    const CellFaceTables faces = facesOf(tables, t);
    for (const auto& corners : {referenceCell(t), sheared(referenceCell(t))}) {
      const Mesh mesh = singleCell(t, corners);
      std::mt19937 random(t);
      for (int trial = 0; trial < 100; ++trial) {
        const Point p = interiorPoint(corners, random);
        const std::vector<double> expected = exactCoordinates(corners, faces, p);
        const CellCoordinates result = cellCoordinates(mesh, faces, 0, p.data());
        ASSERT_TRUE(result.inside);
        for (size_t i = 0; i < corners.size(); ++i)
          EXPECT_NEAR(result.lambda[int(i)], expected[i], 1e-6) << "type " << t;
      }
    }
  }
}

struct NearFaceCase {
  int type;
  std::vector<Point> points;            // sheared
  std::vector<std::vector<int>> cells;  // one or two cells sharing `face`
  std::vector<int> face;                // the face the model points lie next to
};

// Largest coordinate error of the points at relative distance 1e-6 on both sides of the face
// (one side only for a single cell), for the shared-distance form and for the per-vertex form.
std::pair<double, double> nearFaceErrors(const NearFaceCase& test) {
  const LookupTables tables = locationTables();
  const CellFaceTables faces = facesOf(tables, test.type);
  Mesh mesh = controlMesh(test.points);
  for (const auto& cell : test.cells) addCell(mesh, test.type, cell);
  std::mt19937 random(test.type);
  std::uniform_real_distribution<double> weight(0.1, 1.0);
  const Exact a = exact(test.points[test.face[0]]);
  const Exact normal = unit(crossExact(minus(exact(test.points[test.face[1]]), a),
                                       minus(exact(test.points[test.face[2]]), a)));
  double errorShared = 0;
  double errorPerVertex = 0;
  for (int trial = 0; trial < 50; ++trial) {
    Exact onFace{0, 0, 0};
    double total = 0;
    for (int v : test.face) {
      const double w = weight(random);
      total += w;
      for (int d = 0; d < 3; ++d) onFace[d] += w * test.points[v][d];
    }
    for (size_t c = 0; c < test.cells.size(); ++c) {
      // The face is listed as the first cell sees it: its normal points out of that cell.
      const double side = c == 0 ? -1e-6 : 1e-6;
      Point p;
      for (int d = 0; d < 3; ++d) p[d] = static_cast<float>(onFace[d] / total + side * normal[d]);
      std::vector<Point> corners;
      for (int v : test.cells[c]) corners.push_back(test.points[v]);
      const std::vector<double> expected = exactCoordinates(corners, faces, p);
      const CellCoordinates shared = cellCoordinates(mesh, faces, static_cast<int>(c), p.data());
      const CellCoordinates perVertex =
          referenceCoordinates(mesh, faces, static_cast<int>(c), p.data(), true);
      EXPECT_TRUE(shared.inside) << "type " << test.type << " cell " << c;
      for (size_t i = 0; i < corners.size(); ++i) {
        errorShared = std::max(errorShared, std::abs(shared.lambda[int(i)] - expected[i]));
        errorPerVertex = std::max(errorPerVertex, std::abs(perVertex.lambda[int(i)] - expected[i]));
      }
    }
  }
  return {errorShared, errorPerVertex};
}

TEST(CellCoordinates, StayAccurateNextToATetrahedronFace) {
  const NearFaceCase tet{
      tetrahedronType, sheared(referenceCell(tetrahedronType)), {{0, 1, 2, 3}}, {1, 2, 3}};
  const auto [shared, perVertex] = nearFaceErrors(tet);
  EXPECT_LT(shared, 1e-5);
  EXPECT_GT(perVertex, 1e-5);
}

TEST(CellCoordinates, StayAccurateNextToAQuadFaceSharedByTwoPrisms) {
  std::vector<Point> points = referenceCell(prismType);
  points.push_back({1, 1, 0});
  points.push_back({1, 1, 1});
  const NearFaceCase prisms{
      prismType, sheared(points), {{0, 1, 2, 3, 4, 5}, {1, 6, 2, 4, 7, 5}}, {1, 2, 5, 4}};
  const auto [shared, perVertex] = nearFaceErrors(prisms);
  EXPECT_LT(shared, 1e-5);
  EXPECT_GT(perVertex, 1e-5);
}

TEST(CellCoordinates, StayAccurateNextToAQuadFaceSharedByTwoHexahedra) {
  std::vector<Point> points = referenceCell(hexahedronType);
  for (const Point& p : referenceCell(hexahedronType)) {
    if (p[0] == 1.0f) points.push_back({2, p[1], p[2]});
  }
  // Corners 8..11 are (2,0,0), (2,1,0), (2,0,1), (2,1,1).
  const NearFaceCase hexahedra{hexahedronType,
                               sheared(points),
                               {{0, 1, 2, 3, 4, 5, 6, 7}, {1, 8, 9, 2, 5, 10, 11, 6}},
                               {1, 2, 6, 5}};
  const auto [shared, perVertex] = nearFaceErrors(hexahedra);
  EXPECT_LT(shared, 1e-5);
  EXPECT_GT(perVertex, 1e-5);
}

}  // namespace
}  // namespace cagewarp
