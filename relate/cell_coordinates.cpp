#include "relate/cell_coordinates.h"

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
  if (t == prismType || t == hexahedronType) {
    faces.quads = &tables.nrmTables[t + 2];
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

// The face triangles of one cell: unit normal, the triangle it was formed from, and the
// distance of the point to its plane, measured from one corner of the face (a split quad: from
// the end of its cut that the split names first) and shared by every corner of the face. Next
// to a face all its corners then see the same small distance, whose rounding error cancels in
// the normalisation, instead of each corner rounding its own.
struct CellFaces {
  int normalCount = 0;
  std::array<Vector, maxCellNormals> normals;
  std::array<Triangle, maxCellNormals> triangles;
  std::array<float, maxCellNormals> distance{};
  std::array<int, maxSlots> slotMap{};    // the normal that holds each slot's next edge
  std::array<int, maxSlots> otherHalf{};  // a quad corner on the cut: the other normal; else -1
};

CellFaces cellFaces(const CellCorners& corners, const CellFaceTables& faces, const Vector& p) {
  const int triangleCount = faces.triangleCount;
  CellFaces cell;
  cell.normalCount = triangleCount + 2 * faces.quadCount;
  for (int f = 0; f < triangleCount; ++f) {
    const int* tri = faces.triangles->column(f);
    cell.normals[f] = unitNormal(corners[tri[0]], corners[tri[1]], corners[tri[2]]);
    cell.triangles[f] = {tri[0], tri[1], tri[2]};
    cell.distance[f] = dot(difference(corners[tri[0]], p), cell.normals[f]);
    cell.slotMap[f] = (*faces.slotMap)[f];
    cell.otherHalf[f] = -1;
  }
  for (int q = 0; q < faces.quadCount; ++q) {
    const Split split = splitQuad(corners, faces.quads->column(q));
    const int a = triangleCount + 2 * q;
    const Vector offset = difference(corners[split.anchor], p);
    for (int e = 0; e < 2; ++e) {
      cell.normals[a + e] = split.normals[e];
      cell.triangles[a + e] = split.triangles[e];
      cell.distance[a + e] = dot(offset, cell.normals[a + e]);
    }
    for (int j = 0; j < 4; ++j) {
      const int slot = triangleCount + 4 * q + j;
      cell.slotMap[slot] = a + split.cornerSlots[j];
      const bool onCut = (j % 2 == 0) == split.evenCornersOnCut;
      cell.otherHalf[slot] = onCut ? a + 1 - split.cornerSlots[j] : -1;
    }
  }
  return cell;
}

// A point on the boundary: barycentric coordinates in the first face triangle whose plane
// passes through the point and that holds it; outside when there is none.
CellCoordinates boundaryCoordinates(const CellCorners& corners, const CellFaces& cell,
                                    const Vector& p, CellCoordinates result) {
  for (int m = 0; m < cell.normalCount; ++m) {
    if (cell.distance[m] != 0) continue;
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
  const CellFaces cell = cellFaces(corners, faces, point);
  CellCoordinates result{false, Matrix(k, 1)};

  bool behind = false;
  bool onPlane = false;
  for (int m = 0; m < cell.normalCount; ++m) {
    behind = behind || cell.distance[m] < 0 || std::isnan(cell.distance[m]);
    onPlane = onPlane || cell.distance[m] == 0;
  }
  if (onPlane && !behind) return boundaryCoordinates(corners, cell, point, result);

  // The normals around vertex i in the order of its slots; a quad corner on the cut brings both
  // triangles, first the one whose edge the previous slot's face shares.
  const int slots = faces.slotsPerVertex;
  float* lambda = result.lambda.data();
  float sum = 0.0f;
  for (int i = 0; i < k; ++i) {
    const int* around = faces.slotsAround->column(i);
    std::array<int, 2 * maxSlotsAroundVertex> fan{};
    int count = 0;
    for (int r = 0; r < slots; ++r) {
      const int own = cell.slotMap[around[r]];
      const int other = cell.otherHalf[around[r]];
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
    const float h0 = cell.distance[fan[0]];
    float w = 0.0f;
    for (int j = 1; j + 1 < count; ++j) {
      const float det = dot(n0, cross(cell.normals[fan[j]], cell.normals[fan[j + 1]]));
      w = w + absolute(det) / (h0 * cell.distance[fan[j]] * cell.distance[fan[j + 1]]);
    }
    if (w < 0 || std::isnan(w)) return result;
    lambda[i] = w;
    sum = sum + w;
  }
  const float reciprocal = 1.0f / sum;
  bool allPositive = true;
  for (int i = 0; i < k; ++i) {
    lambda[i] = reciprocal * lambda[i];
    allPositive = allPositive && lambda[i] > 0;
  }
  result.inside = allPositive;
  return result;
}

}  // namespace cagewarp
