#include "relate/outside_binding.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <utility>

#include "array/parallel_for.h"
#include "array/vector3.h"
#include "mesh/cell_type.h"
#include "relate/point_location.h"
#include "relate/trilinear_coordinates.h"

namespace cagewarp {
namespace {

using Point = Vector3;

// The model vertices missing from the ascending `enclosed` list.
std::vector<int> unenclosed(int modelCount, const IntArray& enclosed) {
  std::vector<int> list;
  int next = 0;
  for (int v = 0; v < modelCount; ++v) {
    if (next < enclosed.count() && enclosed[next] == v)
      ++next;
    else
      list.push_back(v);
  }
  return list;
}

Point modelPoint(const Matrix& vertices, int v) {
  const float* p = vertices.column(v) + modelPositionRow(vertices.rows());
  return {p[0], p[1], p[2]};
}

// The coordinates an enclosed vertex at q gets in the cell of s: isoparametric ones when asked
// for and the cell gives them, else Wachspress ones. False when q is not inside.
bool cellOwnCoordinates(const Mesh& control, const CageSurface& surface, const SurfaceTriangle& s,
                        const float q[3], Coordinates coordinates, float* lambda) {
  const int k = verticesPerCell[s.type];
  if (coordinates == Coordinates::trilinear) {
    CellCorners corners{};
    const int* vertex = control.cells[s.type].column(s.cell);
    for (int h = 0; h < k; ++h)
      for (int a = 0; a < 3; ++a) corners[h][a] = control.vertices.column(vertex[h])[a];
    if (hasPositiveJacobian(s.type, corners) &&
        isoparametricCoordinates(s.type, corners, q, lambda).containment == Containment::inside)
      return true;
  }
  const CellCoordinates own = cellCoordinates(control, surface.faceTables(s.type), s.cell, q);
  if (!own.inside) return false;
  for (int h = 0; h < k; ++h) lambda[h] = own.lambda(h, 0);
  return true;
}

// How far inside the cell, as a fraction of the way from the surface to the cell's centroid, its
// own coordinates are taken: near enough that they are those an enclosed vertex has beside the
// surface, far enough that the point is strictly inside in single precision.
constexpr double insideFraction = 1e-4;

// The column of a vertex at p bound to surface triangle i, or false when its tetrahedron is flat.
// Its coordinates are the cell's own at q, a point just inside the cell next to the surface
// point nearest to p, plus the affine coordinates of p - q in the tetrahedron of the triangle
// and the centroid (those of p less those of q, which sum to 0), the centroid's share spread
// evenly over the cell's k vertices; summed in double precision and rounded to float once.
bool outsideColumn(const Mesh& control, int weightRow, const CageSurface& surface, int i,
                   const Point& p, Coordinates coordinates, std::vector<SparseEntry>& column) {
  const auto triangle = surface.corners(i);
  const Point g = surface.cellCentroid(i);
  const Point nearest = closestTrianglePoint(p, triangle[0], triangle[1], triangle[2]);
  float q[3];
  Point inside{};
  for (int a = 0; a < 3; ++a) {
    q[a] = static_cast<float>(nearest[a] + insideFraction * (g[a] - nearest[a]));
    inside[a] = q[a];
  }
  std::array<double, 4> atP{}, atQ{};
  if (!tetrahedronCoordinates(p, triangle, g, atP) ||
      !tetrahedronCoordinates(inside, triangle, g, atQ))
    return false;
  const SurfaceTriangle& s = surface.triangle(i);
  const int k = verticesPerCell[s.type];
  std::array<double, 8> spread{};
  spread.fill((atP[3] - atQ[3]) / k);
  for (int h = 0; h < 3; ++h) spread[s.corners[h]] += atP[h] - atQ[h];
  // q lies in the cell unless the cell is too thin to hold a point there: then the tetrahedron's
  // own coordinates of q stand in for the cell's.
  std::array<float, 8> own{};
  if (cellOwnCoordinates(control, surface, s, q, coordinates, own.data())) {
    for (int h = 0; h < k; ++h) spread[h] += own[h];
  } else {
    for (int h = 0; h < k; ++h) spread[h] += atQ[3] / k;
    for (int h = 0; h < 3; ++h) spread[s.corners[h]] += atQ[h];
  }
  std::array<float, 8> lambda{};
  for (int h = 0; h < k; ++h) lambda[h] = static_cast<float>(spread[h]);
  column = cellWeightColumn(control, s.type, s.cell, weightRow, lambda.data());
  return true;
}

}  // namespace

bool tetrahedronCoordinates(const Point& p, const std::array<Point, 3>& triangle,
                            const Point& centroid, std::array<double, 4>& weights) {
  const Point e0 = difference(triangle[0], centroid), e1 = difference(triangle[1], centroid),
              e2 = difference(triangle[2], centroid), r = difference(p, centroid);
  const double volume = dot(e0, cross(e1, e2));
  const double scale = std::sqrt(dot(e0, e0) * dot(e1, e1) * dot(e2, e2));
  // A tetrahedron flatter than this cannot give coordinates that stay bounded.
  if (!(std::fabs(volume) > 1e-9 * scale)) return false;
  // Cramer's rule for r = w0 e0 + w1 e1 + w2 e2; the centroid takes the rest of the unit sum.
  weights[0] = dot(r, cross(e1, e2)) / volume;
  weights[1] = dot(e0, cross(r, e2)) / volume;
  weights[2] = dot(e0, cross(e1, r)) / volume;
  weights[3] = 1 - weights[0] - weights[1] - weights[2];
  return true;
}

OutsideBinding bindOutsideVertices(const Mesh& model, const IntArray& enclosed,
                                   const Mesh& refinedControl, int weightRow,
                                   const CageSurface& surface, double maxDistance, int threads,
                                   Coordinates coordinates) {
  const int modelCount = model.vertices.isEmpty() ? 0 : model.vertices.cols();
  const std::vector<int> candidates =
      model.vertices.rows() < 3 ? std::vector<int>{} : unenclosed(modelCount, enclosed);
  const auto count = static_cast<int64_t>(candidates.size());
  std::vector<std::vector<SparseEntry>> columns(candidates.size());
  std::vector<double> distance(candidates.size(), -1);  // -1: not bound
  parallelFor(count, threads, [&](int64_t begin, int64_t end) {
    for (int64_t i = begin; i < end; ++i) {
      const Point p = modelPoint(model.vertices, candidates[i]);
      const float q[3] = {static_cast<float>(p[0]), static_cast<float>(p[1]),
                          static_cast<float>(p[2])};
      const NearestTriangle nearest = surface.nearest(q, maxDistance);
      if (nearest.triangle < 0) continue;
      if (outsideColumn(refinedControl, weightRow, surface, nearest.triangle, p, coordinates,
                        columns[i]))
        distance[i] = nearest.distance();
    }
  });
  OutsideBinding bound;
  bound.largestDistance = 0;
  std::vector<std::vector<SparseEntry>> kept;
  std::vector<int> vertices;
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (distance[i] < 0) continue;
    vertices.push_back(candidates[i]);
    kept.push_back(std::move(columns[i]));
    bound.largestDistance = std::max(bound.largestDistance, distance[i]);
  }
  bound.vertices = IntArray({static_cast<int>(vertices.size())}, 0);
  std::copy(vertices.begin(), vertices.end(), bound.vertices.data());
  bound.columns = packColumns(refinedControl.vertexRows() - weightRow, kept, threads);
  return bound;
}

void addOutsideBinding(Relation& relation, const OutsideBinding& outside) {
  const IntArray& inside = relation.enclosedIndices;
  const SparseColumns& d = relation.deformation;
  CAGEWARP_CHECK(outside.columns.cols() == outside.vertices.count());
  CAGEWARP_CHECK(outside.vertices.count() == 0 || outside.columns.rows == d.rows);
  const int total = inside.count() + outside.vertices.count();
  IntArray indices({total}, 0);
  SparseColumns merged;
  merged.rows = d.rows;
  merged.entries.reserve(d.entries.size() + outside.columns.entries.size());
  int i = 0, j = 0;
  for (int m = 0; m < total; ++m) {
    const bool fromInside =
        j == outside.vertices.count() || (i < inside.count() && inside[i] < outside.vertices[j]);
    if (fromInside) {
      indices[m] = inside[i];
      merged.appendColumn(d.begin(i), d.end(i));
      ++i;
    } else {
      indices[m] = outside.vertices[j];
      merged.appendColumn(outside.columns.begin(j), outside.columns.end(j));
      ++j;
    }
  }
  relation.enclosedIndices = std::move(indices);
  relation.deformation = std::move(merged);
  relation.boundFromOutside += outside.vertices.count();
}

namespace {

// Raises `largest` to `value` where that is larger; the largest of several threads' values is the
// same whichever thread comes first.
void keepLarger(std::atomic<double>& largest, double value) {
  double now = largest.load(std::memory_order_relaxed);
  while (value > now && !largest.compare_exchange_weak(now, value, std::memory_order_relaxed)) {
  }
}

}  // namespace

FarthestFromSurface farthestFromSurface(const Mesh& model, const IntArray& vertices,
                                        const std::vector<bool>& marked, const CageSurface& surface,
                                        int threads) {
  CAGEWARP_CHECK(marked.size() == static_cast<size_t>(vertices.count()));
  // Squared distances: their square roots keep their order. A vertex that lies within the largest
  // so far of what it counts towards cannot raise it and is passed over after a search that stops
  // at the first triangle in reach; only the others are searched for their nearest triangle.
  std::atomic<double> all = -1;
  std::atomic<double> ofMarked = 0;
  parallelFor(vertices.count(), threads, [&](int64_t begin, int64_t end) {
    for (int64_t i = begin; i < end; ++i) {
      const Point p = modelPoint(model.vertices, vertices[static_cast<int>(i)]);
      const float q[3] = {static_cast<float>(p[0]), static_cast<float>(p[1]),
                          static_cast<float>(p[2])};
      const double reach = marked[i] ? std::min(all.load(std::memory_order_relaxed),
                                                ofMarked.load(std::memory_order_relaxed))
                                     : all.load(std::memory_order_relaxed);
      if (surface.anyWithin(q, reach)) continue;
      const NearestTriangle nearest = surface.nearest(q, std::numeric_limits<double>::infinity());
      const double squared =
          nearest.triangle >= 0 ? nearest.squaredDistance : std::numeric_limits<double>::infinity();
      // A distance that is not finite (a cage vertex far out of range) is worth no report.
      if (std::isfinite(squared)) keepLarger(all, squared);
      if (marked[i]) keepLarger(ofMarked, squared);
    }
  });
  return {all.load() >= 0 ? std::sqrt(all.load()) : -1, std::sqrt(ofMarked.load())};
}

double medianEdgeLength(const Mesh& mesh) {
  std::vector<std::pair<int, int>> edges;
  for (int t = 0; t < cellTypeCount; ++t)
    for (int c = 0; c < mesh.cellCount(t); ++c) {
      const int* vertex = mesh.cells[t].column(c);
      for (const CellEdge& e : edgesOf(t))
        edges.emplace_back(std::minmax(vertex[e[0]], vertex[e[1]]));
    }
  std::sort(edges.begin(), edges.end());
  edges.erase(std::unique(edges.begin(), edges.end()), edges.end());
  if (edges.empty()) return 0;
  std::vector<double> lengths;
  lengths.reserve(edges.size());
  for (const auto& [a, b] : edges) {
    double squared = 0;
    for (int k = 0; k < 3; ++k) {
      const double d =
          double{mesh.vertices(mesh.xyzRow + k, a)} - mesh.vertices(mesh.xyzRow + k, b);
      squared += d * d;
    }
    lengths.push_back(std::sqrt(squared));
  }
  const auto middle = lengths.begin() + static_cast<std::ptrdiff_t>((lengths.size() - 1) / 2);
  std::nth_element(lengths.begin(), middle, lengths.end());
  return *middle;
}

}  // namespace cagewarp
