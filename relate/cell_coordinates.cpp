#include "relate/cell_coordinates.h"

#include <algorithm>
#include <cmath>

#include "mesh/cell_type.h"

namespace cagewarp {
namespace {

constexpr int maxSlots = 24;  // F + 4Q with F + 2Q <= 12

float absolute(float x) {
  return x > 0 ? x : -x;
}

// The cell test runs for every candidate model vertex, so it works on 3-vectors on the stack.
// Each operation below rounds exactly as its Matrix counterpart does (operator-, cross, dot,
// normalize(2)), step for step, so the results are the same bits.
using Vector = std::array<float, 3>;

Vector difference(const Vector& a, const Vector& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

Vector cross(const Vector& a, const Vector& b) {
  return {b[2] * a[1] - b[1] * a[2], b[0] * a[2] - b[2] * a[0], b[1] * a[0] - b[0] * a[1]};
}

float dot(const Vector& a, const Vector& b) {
  float sum = 0.0f;
  for (int i = 0; i < 3; ++i) sum = sum + a[i] * b[i];
  return sum;
}

// A norm not above 1e-20 leaves the vector unchanged.
void normalize(Vector& v) {
  float norm = 0.0f;
  for (int i = 0; i < 3; ++i) norm = norm + v[i] * v[i];
  norm = static_cast<float>(std::sqrt(static_cast<double>(norm)));
  if (!(norm > 1e-20)) return;
  const float r = 1.0f / norm;
  for (int i = 0; i < 3; ++i) v[i] = r * v[i];
}

// Unit normal of triangle (a, b, c): (b - a) x (c - a), normalised.
Vector unitNormal(const Vector& a, const Vector& b, const Vector& c) {
  Vector n = cross(difference(b, a), difference(c, a));
  normalize(n);
  return n;
}

using CellCorners = std::array<Vector, 8>;
using Triangle = std::array<int, 3>;

CellCorners cellCorners(const Mesh& control, int t, int c) {
  CellCorners corners{};
  const int* vertex = control.cells[t].column(c);
  for (int h = 0; h < verticesPerCell[t]; ++h)
    std::copy_n(control.vertices.column(vertex[h]), 3, corners[h].data());
  return corners;
}

struct Split {
  std::array<Vector, 2> normals;
  std::array<Triangle, 2> triangles;  // local corners, as the normals were formed from them
  std::array<int, 4> cornerSlots;
  int anchor;
  bool evenCornersOnCut;  // cut along q0-q2 rather than q1-q3
};

Split splitQuad(const CellCorners& corners, const int* quad) {
  const Vector& v0 = corners[quad[0]];
  const Vector& v1 = corners[quad[1]];
  const Vector& v2 = corners[quad[2]];
  const Vector& v3 = corners[quad[3]];
  const Vector n = unitNormal(v0, v1, v2);
  const float d = dot(difference(v3, v0), n);
  // Cut so that the two triangles bend outward: the triangulated cell stays convex.
  if (d < 0 || std::isnan(d))
    return {{n, unitNormal(v2, v3, v0)},
            {{{quad[0], quad[1], quad[2]}, {quad[2], quad[3], quad[0]}}},
            {0, 0, 1, 1},
            quad[0],
            true};
  return {{unitNormal(v3, v0, v1), unitNormal(v1, v2, v3)},
          {{{quad[3], quad[0], quad[1]}, {quad[1], quad[2], quad[3]}}},
          {0, 1, 1, 0},
          quad[1],
          false};
}

Matrix columnOf(const Vector& v) {
  Matrix m(3, 1);
  std::copy(v.begin(), v.end(), m.data());
  return m;
}

// The local corners of the face of slot `slot`: a triangle, or the quad of a quad-corner slot.
std::array<int, 4> slotFace(const CellFaceTables& faces, int slot, int& size) {
  if (slot < faces.triangleCount) {
    const int* v = faces.triangles->column(slot);
    size = 3;
    return {v[0], v[1], v[2], -1};
  }
  const int* v = faces.quads->column((slot - faces.triangleCount) / 4);
  size = 4;
  return {v[0], v[1], v[2], v[3]};
}

// Fills CellFaceTables::sharesNextEdge from the tables it points to.
void markSharedEdges(CellFaceTables& faces) {
  const int slots = faces.slotsPerVertex;
  for (int i = 0; i < verticesPerCell[faces.type]; ++i) {
    const int* around = faces.slotsAround->column(i);
    for (int r = 0; r < slots; ++r) {
      const int corner = around[r] - faces.triangleCount;
      if (corner < 0) continue;
      const int next = faces.quads->column(corner / 4)[(corner % 4 + 1) % 4];
      int size = 0;
      const std::array<int, 4> previous = slotFace(faces, around[(r + slots - 1) % slots], size);
      for (int h = 0; h < size; ++h) faces.sharesNextEdge[i][r] |= previous[h] == next;
    }
  }
}

}  // namespace

CheckedCellFaceTables cellFaceTables(const LookupTables& tables, int t) {
  CAGEWARP_CHECK(isVolumeType(t));
  const Status& status = tables.checked().cellFaces[t];
  if (!status.ok) return {status, {}};
  CellFaceTables faces;
  faces.type = t;
  faces.triangles = &tables.nrmTables[t];
  faces.triangleCount = faces.triangles->cols();
  if (hasQuadFaces(t)) {
    faces.quads = &tables.nrmTables[quadFaceTable(t)];
    faces.quadCount = faces.quads->cols();
  }
  faces.slotsAround = &tables.barTables[t];
  faces.slotsPerVertex = faces.slotsAround->rows();
  faces.slotMap = &tables.brnTables[t];
  markSharedEdges(faces);
  return {Status::success(), faces};
}

QuadSplit splitQuadFace(const Mesh& control, const CellFaceTables& faces, int c, int q) {
  CAGEWARP_CHECK(q >= 0 && q < faces.quadCount);
  const Split split = splitQuad(cellCorners(control, faces.type, c), faces.quads->column(q));
  return {
      {columnOf(split.normals[0]), columnOf(split.normals[1])}, split.cornerSlots, split.anchor};
}

namespace {

// The weight of a cell vertex is a sum of terms over the fan of face normals around it; the
// determinant in each depends on the cell alone.
using FanTerm = PreparedCells::FanTerm;

constexpr int maxFanTerms = 8 * (2 * maxSlotsAroundVertex - 2);

// The face triangles of one cell and what the coordinates of a point need from the cell alone:
// per face triangle the unit normal and the corner the point's distance to its plane is
// measured from (a split quad: the end of its cut that the split names first, shared by both
// halves), and the terms of each vertex weight. All corners of a face then see the same small
// distance next to it, whose rounding error cancels in the normalisation, instead of each
// corner rounding its own.
struct CellFaces {
  int normalCount = 0;
  std::array<Vector, maxCellNormals> normals;
  std::array<Triangle, maxCellNormals> triangles;
  std::array<int, maxCellNormals> anchor{};
  std::array<FanTerm, maxFanTerms> terms{};
  std::array<uint8_t, 8> termEnd{};  // vertex i's terms end here
};

CellFaces cellFaces(const CellCorners& corners, const CellFaceTables& faces) {
  const int triangleCount = faces.triangleCount;
  CellFaces cell;
  cell.normalCount = triangleCount + 2 * faces.quadCount;
  std::array<int, maxSlots> slotMap{};    // the normal that holds each slot's next edge
  std::array<int, maxSlots> otherHalf{};  // a quad corner on the cut: the other normal; else -1
  for (int f = 0; f < triangleCount; ++f) {
    const int* tri = faces.triangles->column(f);
    cell.normals[f] = unitNormal(corners[tri[0]], corners[tri[1]], corners[tri[2]]);
    cell.triangles[f] = {tri[0], tri[1], tri[2]};
    cell.anchor[f] = tri[0];
    slotMap[f] = (*faces.slotMap)[f];
    otherHalf[f] = -1;
  }
  for (int q = 0; q < faces.quadCount; ++q) {
    const Split split = splitQuad(corners, faces.quads->column(q));
    const int a = triangleCount + 2 * q;
    for (int e = 0; e < 2; ++e) {
      cell.normals[a + e] = split.normals[e];
      cell.triangles[a + e] = split.triangles[e];
      cell.anchor[a + e] = split.anchor;
    }
    for (int j = 0; j < 4; ++j) {
      const int slot = triangleCount + 4 * q + j;
      slotMap[slot] = a + split.cornerSlots[j];
      const bool onCut = (j % 2 == 0) == split.evenCornersOnCut;
      otherHalf[slot] = onCut ? a + 1 - split.cornerSlots[j] : -1;
    }
  }
  // The normals around vertex i in the order of its slots; a quad corner on the cut brings both
  // triangles, first the one whose edge the previous slot's face shares.
  const int slots = faces.slotsPerVertex;
  int terms = 0;
  for (int i = 0; i < verticesPerCell[faces.type]; ++i) {
    const int* around = faces.slotsAround->column(i);
    std::array<int, 2 * maxSlotsAroundVertex> fan{};
    int count = 0;
    for (int r = 0; r < slots; ++r) {
      const int own = slotMap[around[r]];
      const int other = otherHalf[around[r]];
      if (other < 0) {
        fan[count++] = own;
      } else if (faces.sharesNextEdge[i][r]) {
        fan[count++] = own;
        fan[count++] = other;
      } else {
        fan[count++] = other;
        fan[count++] = own;
      }
    }
    const Vector& n0 = cell.normals[fan[0]];
    for (int j = 1; j + 1 < count; ++j) {
      const float det = dot(n0, cross(cell.normals[fan[j]], cell.normals[fan[j + 1]]));
      cell.terms[terms++] = {absolute(det),
                             {static_cast<uint8_t>(fan[0]), static_cast<uint8_t>(fan[j]),
                              static_cast<uint8_t>(fan[j + 1])}};
    }
    cell.termEnd[i] = static_cast<uint8_t>(terms);
  }
  return cell;
}

enum class Verdict { outside, inside, boundary };

// The coordinates of p from a cell's face planes (per normal: the normal, then the corner its
// distance is measured from) and vertex weight terms. `distance` receives the distance of p to
// every face plane; `lambda` the k coordinates when p is inside. A point on the boundary (no
// plane behind it, at least one through it) is left to the caller.
Verdict weighPoint(int k, int normalCount, const float* planes, const FanTerm* terms,
                   const uint8_t* termEnd, const Vector& p, float* distance, float* lambda) {
  bool behind = false;
  bool onPlane = false;
  for (int m = 0; m < normalCount; ++m) {
    const float* plane = planes + 6 * m;
    const Vector normal{plane[0], plane[1], plane[2]};
    const Vector corner{plane[3], plane[4], plane[5]};
    distance[m] = dot(difference(corner, p), normal);
    behind = behind || distance[m] < 0 || std::isnan(distance[m]);
    onPlane = onPlane || distance[m] == 0;
  }
  if (onPlane && !behind) return Verdict::boundary;

  float sum = 0.0f;
  int t = 0;
  for (int i = 0; i < k; ++i) {
    float w = 0.0f;
    for (; t < termEnd[i]; ++t) {
      const FanTerm& term = terms[t];
      w = w + term.weight /
                  (distance[term.plane[0]] * distance[term.plane[1]] * distance[term.plane[2]]);
    }
    if (w < 0 || std::isnan(w)) return Verdict::outside;
    lambda[i] = w;
    sum = sum + w;
  }
  const float reciprocal = 1.0f / sum;
  bool allPositive = true;
  for (int i = 0; i < k; ++i) {
    lambda[i] = reciprocal * lambda[i];
    allPositive = allPositive && lambda[i] > 0;
  }
  return allPositive ? Verdict::inside : Verdict::outside;
}

// The most weight terms a cell of the type can have: each quad is cut along one of its two
// diagonals, which brings its two corners on the cut one more fan normal each.
int mostFanTerms(const CellFaceTables& faces) {
  int most = 0;
  for (int cuts = 0; cuts < 1 << faces.quadCount; ++cuts) {
    int terms = 0;
    for (int i = 0; i < verticesPerCell[faces.type]; ++i) {
      int fan = 0;
      for (int r = 0; r < faces.slotsPerVertex; ++r) {
        const int corner = faces.slotsAround->column(i)[r] - faces.triangleCount;
        const bool onCut = corner >= 0 && (corner % 2 == 0) == ((cuts >> (corner / 4) & 1) != 0);
        fan += onCut ? 2 : 1;
      }
      terms += std::max(fan - 2, 0);
    }
    most = std::max(most, terms);
  }
  return most;
}

// The face planes of a cell in weighPoint's layout.
void writePlanes(const CellCorners& corners, const CellFaces& cell, float* planes) {
  for (int m = 0; m < cell.normalCount; ++m) {
    std::copy(cell.normals[m].begin(), cell.normals[m].end(), planes + 6 * m);
    const Vector& corner = corners[cell.anchor[m]];
    std::copy(corner.begin(), corner.end(), planes + 6 * m + 3);
  }
}

// A point on the boundary: barycentric coordinates in the first face triangle whose plane
// passes through the point and that holds it; outside when there is none.
CellCoordinates boundaryCoordinates(const CellCorners& corners, const CellFaces& cell,
                                    const float* distance, const Vector& p,
                                    CellCoordinates result) {
  for (int m = 0; m < cell.normalCount; ++m) {
    if (distance[m] != 0) continue;
    const auto [A, B, C] = cell.triangles[m];
    const Vector pa = difference(corners[A], p);
    const Vector pb = difference(corners[B], p);
    const Vector pc = difference(corners[C], p);
    const Vector& n = cell.normals[m];
    const float a = dot(cross(pb, pc), n);
    const float b = dot(cross(pc, pa), n);
    const float c = dot(cross(pa, pb), n);
    if (!(a >= 0 && b >= 0 && c >= 0)) continue;
    const float s = (a + b) + c;
    if (!(s > 0)) continue;
    const float r = 1.0f / s;
    result.lambda[A] = a * r;
    result.lambda[B] = b * r;
    result.lambda[C] = c * r;
    result.inside = true;
    return result;
  }
  return result;
}

}  // namespace

CellCoordinates cellCoordinates(const Mesh& control, const CellFaceTables& faces, int c,
                                const float p[3]) {
  const int k = verticesPerCell[faces.type];
  const CellCorners corners = cellCorners(control, faces.type, c);
  const Vector point{p[0], p[1], p[2]};
  const CellFaces cell = cellFaces(corners, faces);
  std::array<float, 6 * maxCellNormals> planes;
  writePlanes(corners, cell, planes.data());
  std::array<float, maxCellNormals> distance;
  CellCoordinates result{false, Matrix(k, 1)};
  const Verdict verdict =
      weighPoint(k, cell.normalCount, planes.data(), cell.terms.data(), cell.termEnd.data(), point,
                 distance.data(), result.lambda.data());
  if (verdict == Verdict::boundary)
    return boundaryCoordinates(corners, cell, distance.data(), point, std::move(result));
  result.inside = verdict == Verdict::inside;
  return result;
}

PreparedCells::PreparedCells(const Mesh& control, const CellFaceTables& faces, int recentSlots)
    : control_(control),
      faces_(faces),
      made_(recentSlots > 0 ? 0 : control.cellCount(faces.type)),
      holder_(static_cast<size_t>(std::max(recentSlots, 0)), -1) {
  const int k = verticesPerCell[faces.type];
  const size_t places =
      recentSlots > 0 ? holder_.size() : static_cast<size_t>(control.cellCount(faces.type));
  normalCount_ = faces.triangleCount + 2 * faces.quadCount;
  termStride_ = mostFanTerms(faces);
  // Left unfilled: a cell's part is written before its first use. Every cell is kept only when
  // there are at least as many points as cells, so most of these pages are touched; in huge
  // pages, they take far fewer faults.
  planes_.resize(places * 6 * normalCount_);
  terms_.resize(places * termStride_);
  termEnd_.resize(places * k);
}

void PreparedCells::prepare(int c, size_t at) {
  const int k = verticesPerCell[faces_.type];
  const CellCorners corners = cellCorners(control_, faces_.type, c);
  const CellFaces cell = cellFaces(corners, faces_);
  CAGEWARP_CHECK(cell.termEnd[k - 1] <= termStride_);
  writePlanes(corners, cell, planes_.data() + at * 6 * normalCount_);
  std::copy_n(cell.terms.begin(), cell.termEnd[k - 1], terms_.data() + at * termStride_);
  std::copy_n(cell.termEnd.begin(), k, termEnd_.data() + at * k);
}

bool PreparedCells::coordinates(int c, const float p[3], float* lambda) {
  size_t at = static_cast<size_t>(c);
  if (holder_.empty()) {
    made_.ensure(at, [&] { prepare(c, at); });
  } else {
    at %= holder_.size();
    if (holder_[at] != c) {
      prepare(c, at);
      holder_[at] = c;
    }
  }
  const int k = verticesPerCell[faces_.type];
  const Vector point{p[0], p[1], p[2]};
  std::array<float, maxCellNormals> distance;
  const Verdict verdict = weighPoint(k, normalCount_, planes_.data() + at * 6 * normalCount_,
                                     terms_.data() + at * termStride_, termEnd_.data() + at * k,
                                     point, distance.data(), lambda);
  if (verdict != Verdict::boundary) return verdict == Verdict::inside;
  // Rare: the point lies on a face plane. The full computation finds the face triangle.
  const CellCoordinates onBoundary = cellCoordinates(control_, faces_, c, p);
  if (onBoundary.inside) std::copy_n(onBoundary.lambda.data(), k, lambda);
  return onBoundary.inside;
}

}  // namespace cagewarp
