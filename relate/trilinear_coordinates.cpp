#include "relate/trilinear_coordinates.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <string>
#include <vector>

#include "array/vector3.h"
#include "mesh/cell_type.h"

namespace cagewarp {
namespace {

using Vector = Vector3;

double determinant(const Vector& a, const Vector& b, const Vector& c) {
  return dot(a, cross(b, c));
}

// The four tetrahedra of an octahedron around its 0-5 axis, each positively oriented: the split
// the cage files write octahedra as, so that what a viewer shows is what the weights follow.
constexpr int octahedronTetrahedra[4][4] = {{1, 2, 5, 0}, {2, 3, 5, 0}, {3, 4, 5, 0}, {4, 1, 5, 0}};

// Barycentric coordinates of p in the tetrahedron (a, b, c, d), each a ratio of signed volumes
// formed the same way for every corner, so that two tetrahedra sharing a face agree on it.
std::array<double, 4> barycentric(const Vector& a, const Vector& b, const Vector& c,
                                  const Vector& d, const Vector& p) {
  const double volume = determinant(difference(b, a), difference(c, a), difference(d, a));
  const Vector pa = difference(a, p);
  const Vector pb = difference(b, p);
  const Vector pc = difference(c, p);
  const Vector pd = difference(d, p);
  return {determinant(pb, pc, pd) / volume, -determinant(pa, pc, pd) / volume,
          determinant(pa, pb, pd) / volume, -determinant(pa, pb, pc) / volume};
}

bool holds(const std::array<double, 4>& lambda) {
  for (double l : lambda)
    if (!(l >= -referenceTolerance)) return false;
  return true;
}

// Basis values at reference coordinates u. Hexahedron: corner i at (u, v, w) in {0, 1}^3 in the
// local order (0 1 2 3 the bottom counter-clockwise, 4..7 above them). Prism: (r, s) on the
// triangle 0 1 2 (corner 0 at r = s = 0), w along the axis.
using Basis = std::array<double, 8>;

constexpr int hexahedronCorner[8][3] = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                                        {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}};

Basis basis(int t, const Vector& u) {
  Basis b{};
  if (t == hexahedronType) {
    for (int i = 0; i < 8; ++i) {
      b[i] = 1;
      for (int a = 0; a < 3; ++a) b[i] *= hexahedronCorner[i][a] == 1 ? u[a] : 1 - u[a];
    }
    return b;
  }
  const double triangle[3] = {1 - u[0] - u[1], u[0], u[1]};
  for (int i = 0; i < 3; ++i) {
    b[i] = triangle[i] * (1 - u[2]);
    b[3 + i] = triangle[i] * u[2];
  }
  return b;
}

// The map of a hexahedron or a prism as a polynomial, x(u, v, w) = k0 + k1 u + k2 v + k3 w +
// k4 uv + k5 vw + k6 uw + k7 uvw (a prism's k4 and k7 are zero), so that Newton's method
// evaluates the map and its Jacobian in a few operations.
struct CellMap {
  std::array<Vector, 8> k;

  CellMap(int t, const CellCorners& p) {
    auto combine = [&](std::initializer_list<std::pair<int, double>> terms) {
      Vector v{};
      for (const auto& [corner, factor] : terms)
        for (int d = 0; d < 3; ++d) v[d] += factor * p[corner][d];
      return v;
    };
    if (t == hexahedronType) {
      k = {p[0],
           combine({{1, 1}, {0, -1}}),
           combine({{3, 1}, {0, -1}}),
           combine({{4, 1}, {0, -1}}),
           combine({{2, 1}, {1, -1}, {3, -1}, {0, 1}}),
           combine({{7, 1}, {3, -1}, {4, -1}, {0, 1}}),
           combine({{5, 1}, {1, -1}, {4, -1}, {0, 1}}),
           combine({{6, 1}, {2, -1}, {5, -1}, {7, -1}, {1, 1}, {3, 1}, {4, 1}, {0, -1}})};
    } else {
      k = {p[0],
           combine({{1, 1}, {0, -1}}),
           combine({{2, 1}, {0, -1}}),
           combine({{3, 1}, {0, -1}}),
           Vector{},
           combine({{5, 1}, {3, -1}, {2, -1}, {0, 1}}),
           combine({{4, 1}, {3, -1}, {1, -1}, {0, 1}}),
           Vector{}};
    }
  }

  Vector at(const Vector& u) const {
    Vector x;
    for (int d = 0; d < 3; ++d)
      x[d] = k[0][d] + u[0] * k[1][d] + u[1] * k[2][d] + u[2] * k[3][d] + u[0] * u[1] * k[4][d] +
             u[1] * u[2] * k[5][d] + u[0] * u[2] * k[6][d] + u[0] * u[1] * u[2] * k[7][d];
    return x;
  }

  // The columns dx/du, dx/dv, dx/dw.
  std::array<Vector, 3> jacobian(const Vector& u) const {
    std::array<Vector, 3> j;
    for (int d = 0; d < 3; ++d) {
      j[0][d] = k[1][d] + u[1] * k[4][d] + u[2] * k[6][d] + u[1] * u[2] * k[7][d];
      j[1][d] = k[2][d] + u[0] * k[4][d] + u[2] * k[5][d] + u[0] * u[2] * k[7][d];
      j[2][d] = k[3][d] + u[1] * k[5][d] + u[0] * k[6][d] + u[0] * u[1] * k[7][d];
    }
    return j;
  }
};

bool inReferenceCell(int t, const Vector& u) {
  const double low = -referenceTolerance;
  const double high = 1 + referenceTolerance;
  if (!(u[2] >= low && u[2] <= high && u[0] >= low && u[1] >= low)) return false;
  if (t == hexahedronType) return u[0] <= high && u[1] <= high;
  return u[0] + u[1] <= high;
}

// Newton's method for x(u) = p from the cell centre.
IsoparametricResult solveMap(int t, const CellCorners& corners, const Vector& p, float* lambda) {
  const CellMap map(t, corners);
  Vector u = t == hexahedronType ? Vector{0.5, 0.5, 0.5} : Vector{1.0 / 3, 1.0 / 3, 0.5};
  IsoparametricResult result;
  for (int step = 1; step <= newtonStepLimit; ++step) {
    const std::array<Vector, 3> j = map.jacobian(u);
    const Vector residual = difference(map.at(u), p);
    // Cramer's rule: J delta = residual.
    const double det = determinant(j[0], j[1], j[2]);
    const Vector delta = {determinant(residual, j[1], j[2]) / det,
                          determinant(j[0], residual, j[2]) / det,
                          determinant(j[0], j[1], residual) / det};
    double size = 0;
    for (int a = 0; a < 3; ++a) {
      u[a] -= delta[a];
      size = std::max(size, std::abs(delta[a]));
    }
    if (!std::isfinite(size)) break;
    if (size < newtonStepTolerance) {
      result.steps = step;
      if (!inReferenceCell(t, u)) return result;
      const Basis at = basis(t, u);
      for (int i = 0; i < verticesPerCell[t]; ++i) lambda[i] = static_cast<float>(at[i]);
      result.containment = Containment::inside;
      return result;
    }
  }
  result.containment = Containment::unsolved;
  result.steps = newtonStepLimit;
  return result;
}

CellCorners cornersOf(const Mesh& control, int t, int c) {
  CellCorners corners{};
  const int* vertex = control.cells[t].column(c);
  for (int h = 0; h < verticesPerCell[t]; ++h) {
    const float* x = control.vertices.column(vertex[h]);
    corners[h] = {x[0], x[1], x[2]};
  }
  return corners;
}

const char* const singular[8] = {"",           "",      "",          "", "tetrahedron",
                                 "octahedron", "prism", "hexahedron"};
const char* const plural[8] = {"", "", "", "", "tetrahedra", "octahedra", "prisms", "hexahedra"};

constexpr uint8_t checkedBit = 1;
constexpr uint8_t invertedBit = 2;
constexpr uint8_t fellBackBit = 4;

// Cells named in a warning; the count says how many there are in all.
constexpr size_t namedCells = 5;

std::string cellList(int t, const std::vector<int>& cells) {
  std::string text =
      std::to_string(cells.size()) + " " + (cells.size() == 1 ? singular : plural)[t];
  text += std::string(" (") + singular[t];
  for (size_t i = 0; i < cells.size() && i < namedCells; ++i)
    text += (i == 0 ? " " : ", ") + std::to_string(cells[i]);
  if (cells.size() > namedCells) text += ", ...";
  return text + ")";
}

}  // namespace

IsoparametricResult isoparametricCoordinates(int t, const CellCorners& corners, const float p[3],
                                             float* lambda) {
  const Vector point = {p[0], p[1], p[2]};
  if (t == hexahedronType || t == prismType) return solveMap(t, corners, point, lambda);
  IsoparametricResult result;
  if (t == tetrahedronType) {
    const std::array<double, 4> l =
        barycentric(corners[0], corners[1], corners[2], corners[3], point);
    if (!holds(l)) return result;
    for (int i = 0; i < 4; ++i) lambda[i] = static_cast<float>(l[i]);
    result.containment = Containment::inside;
    return result;
  }
  for (const auto& tetrahedron : octahedronTetrahedra) {
    const std::array<double, 4> l =
        barycentric(corners[tetrahedron[0]], corners[tetrahedron[1]], corners[tetrahedron[2]],
                    corners[tetrahedron[3]], point);
    if (!holds(l)) continue;
    for (int i = 0; i < 6; ++i) lambda[i] = 0.0f;
    for (int i = 0; i < 4; ++i) lambda[tetrahedron[i]] = static_cast<float>(l[i]);
    result.containment = Containment::inside;
    return result;
  }
  return result;
}

bool hasPositiveJacobian(int t, const CellCorners& corners) {
  auto positive = [&](const int* v) {
    const Vector& a = corners[v[0]];
    return determinant(difference(corners[v[1]], a), difference(corners[v[2]], a),
                       difference(corners[v[3]], a)) > 0;
  };
  if (t == tetrahedronType) {
    const int all[4] = {0, 1, 2, 3};
    return positive(all);
  }
  if (t == octahedronType) {
    for (const auto& tetrahedron : octahedronTetrahedra)
      if (!positive(tetrahedron)) return false;
    return true;
  }
  std::vector<Vector> samples;
  if (t == hexahedronType) {
    for (const auto& corner : hexahedronCorner)
      samples.push_back({double(corner[0]), double(corner[1]), double(corner[2])});
    samples.push_back({0.5, 0.5, 0.5});
  } else {
    for (double w : {0.0, 1.0})
      for (const Vector& corner : {Vector{0, 0, w}, Vector{1, 0, w}, Vector{0, 1, w}})
        samples.push_back(corner);
    samples.push_back({1.0 / 3, 1.0 / 3, 0.5});
  }
  const CellMap map(t, corners);
  for (const Vector& u : samples) {
    const std::array<Vector, 3> j = map.jacobian(u);
    if (!(determinant(j[0], j[1], j[2]) > 0)) return false;
  }
  return true;
}

IsoparametricCells::IsoparametricCells(const Mesh& control, int t)
    : control_(control),
      type_(t),
      state_(std::make_unique<std::atomic<uint8_t>[]>(
          static_cast<size_t>(std::max(0, control.cellCount(t))))) {}

Containment IsoparametricCells::coordinates(int c, const float p[3], float* lambda) {
  const CellCorners corners = cornersOf(control_, type_, c);
  std::atomic<uint8_t>& state = state_[c];
  uint8_t known = state.load(std::memory_order_relaxed);
  if ((known & checkedBit) == 0) {
    // Another thread may check the same cell at the same time; both find the same answer.
    known = checkedBit | (hasPositiveJacobian(type_, corners) ? 0 : invertedBit);
    state.fetch_or(known, std::memory_order_relaxed);
  }
  if ((known & invertedBit) != 0) return Containment::unsolved;
  return isoparametricCoordinates(type_, corners, p, lambda).containment;
}

void IsoparametricCells::noteFallback(int c) {
  state_[c].fetch_or(fellBackBit, std::memory_order_relaxed);
}

void IsoparametricCells::addWarnings(Warnings& warnings, const char* fallback) const {
  std::vector<int> inverted;
  std::vector<int> unsolved;
  for (int c = 0; c < control_.cellCount(type_); ++c) {
    const uint8_t state = state_[c].load(std::memory_order_relaxed);
    if ((state & fellBackBit) == 0) continue;
    ((state & invertedBit) != 0 ? inverted : unsolved).push_back(c);
  }
  if (!inverted.empty())
    warnings.push_back("trilinear coordinates: " + cellList(type_, inverted) +
                       " inverted or folded; points in them get " + fallback);
  if (!unsolved.empty())
    warnings.push_back("trilinear coordinates: Newton's method did not converge in " +
                       std::to_string(newtonStepLimit) + " steps in " + cellList(type_, unsolved) +
                       "; points there get " + fallback);
}

}  // namespace cagewarp
