#include "relate/cage_surface.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <limits>
#include <mutex>
#include <tuple>

#include "array/memory_advice.h"
#include "array/parallel_for.h"
#include "array/vector3.h"
#include "mesh/cell_type.h"
#include "relate/cell_coordinates.h"

namespace cagewarp {
namespace {

using Point = Vector3;

// A face of a volume cell: its global vertices sorted, to find the
// faces two cells share, and where it comes from.
struct CellFace {
  std::array<int, 4> key;
  int cell;
  int16_t type, face;  // face: a triangle's column, or triangleCount + a quad's column

  auto order() const { return std::tie(key, type, cell, face); }
};

// The local vertices of face f (a triangle's column, or triangleCount + a quad's column) and how
// many there are.
const int* faceCorners(const CellFaceTables& faces, int f, int& count) {
  const bool quad = f >= faces.triangleCount;
  count = quad ? 4 : 3;
  return quad ? faces.quads->column(f - faces.triangleCount) : faces.triangles->column(f);
}

// Face f of cell c of the faces' type.
CellFace cellFace(const Mesh& control, const CellFaceTables& faces, int c, int f) {
  const int* vertex = control.cells[faces.type].column(c);
  int count = 0;
  const int* local = faceCorners(faces, f, count);
  // A triangle's fourth place holds a number no vertex has, so that keys sort as they are.
  std::array<int, 4> key{0, 0, 0, std::numeric_limits<int>::max()};
  for (int h = 0; h < count; ++h) key[h] = vertex[local[h]];
  for (int i = 1; i < 4; ++i)
    for (int j = i; j > 0 && key[j - 1] > key[j]; --j) std::swap(key[j - 1], key[j]);
  return {key, c, static_cast<int16_t>(faces.type), static_cast<int16_t>(f)};
}

// Every face of the usable types by one number: type t's faces from first[t] on, cell by cell,
// face by face. A big refined cage has tens of millions of faces; a number is a sixth of a face.
struct FaceNumbers {
  std::array<const CellFaceTables*, 8> usable{};
  std::array<uint32_t, 8> first{};
  std::array<int, 8> perCell{};
  uint32_t count = 0;

  FaceNumbers(const Mesh& control, const std::array<const CellFaceTables*, 8>& tables)
      : usable(tables) {
    int64_t next = 0;
    for (int t = 0; t < cellTypeCount; ++t) {
      if (!usable[t]) continue;
      first[t] = static_cast<uint32_t>(next);
      perCell[t] = usable[t]->triangleCount + usable[t]->quadCount;
      next += int64_t{control.cellCount(t)} * perCell[t];
      CAGEWARP_CHECK(next <= std::numeric_limits<uint32_t>::max());
    }
    count = static_cast<uint32_t>(next);
  }
  CellFace face(const Mesh& control, uint32_t number) const {
    int t = cellTypeCount - 1;
    while (!usable[t] || number < first[t]) --t;
    const uint32_t local = number - first[t];
    return cellFace(control, *usable[t], static_cast<int>(local / perCell[t]),
                    static_cast<int>(local % perCell[t]));
  }
  // Calls visit(number, smallest vertex) for every face, the cells of each type shared out on
  // `threads` threads.
  template <class Visit>
  void forEach(const Mesh& control, int threads, Visit visit) const {
    for (int t = 0; t < cellTypeCount; ++t) {
      if (!usable[t]) continue;
      const CellFaceTables& faces = *usable[t];
      parallelFor(control.cellCount(t), threads, [&](int64_t begin, int64_t end) {
        for (auto c = static_cast<int>(begin); c < end; ++c) {
          const int* vertex = control.cells[t].column(c);
          uint32_t number = first[t] + static_cast<uint32_t>(c) * perCell[t];
          for (int f = 0; f < perCell[t]; ++f) {
            int corners = 0;
            const int* local = faceCorners(faces, f, corners);
            int smallest = vertex[local[0]];
            for (int h = 1; h < corners; ++h) smallest = std::min(smallest, vertex[local[h]]);
            visit(number++, smallest);
          }
        }
      });
    }
  }
};

// Adds one to a count that other threads may add to at the same time, when `shared`; returns
// the count before.
uint32_t countUp(uint32_t& count, bool shared) {
  if (!shared) return count++;
  return std::atomic_ref<uint32_t>(count).fetch_add(1, std::memory_order_relaxed);
}

// The faces that only one cell has. Faces are grouped by their smallest vertex (a counting sort
// of face numbers, in two passes over the cells), and only a group's few faces are made whole and
// sorted to find those that two cells share; both passes and the groups on `threads` threads. A
// group is sorted whole, so the order its faces are placed in does not matter. The faces come in
// no particular order.
std::vector<CellFace> unsharedFaces(const Mesh& control,
                                    const std::array<const CellFaceTables*, 8>& usable,
                                    int threads) {
  const int n = control.vertices.cols();
  const FaceNumbers numbers(control, usable);
  // end[v] first counts the faces of smallest vertex v - 1, then, placed, ends the group of v.
  // A big refined cage has millions of vertices and tens of millions of faces: in huge pages,
  // which take far fewer faults.
  HugePageVector<uint32_t> end(static_cast<size_t>(n) + 1, 0);
  const bool shared = threadCount(threads) > 1;
  numbers.forEach(control, threads, [&](uint32_t, int smallest) {
    CAGEWARP_CHECK(smallest >= 0 && smallest < n);
    countUp(end[smallest + 1], shared);
  });
  for (int v = 0; v < n; ++v) end[v + 1] += end[v];
  UnfilledVector<uint32_t> grouped(numbers.count);
  numbers.forEach(control, threads, [&](uint32_t number, int smallest) {
    grouped[countUp(end[smallest], shared)] = number;
  });
  std::vector<CellFace> surface;
  std::mutex lock;
  parallelFor(n, threads, [&](int64_t begin, int64_t last) {
    std::vector<CellFace> found;
    std::vector<CellFace> group;
    for (int64_t v = begin; v < last; ++v) {
      group.clear();
      for (uint32_t i = v == 0 ? 0 : end[v - 1]; i < end[v]; ++i)
        group.push_back(numbers.face(control, grouped[i]));
      std::sort(group.begin(), group.end(),
                [](const CellFace& a, const CellFace& b) { return a.order() < b.order(); });
      for (auto i = group.begin(); i != group.end();) {
        auto j = i + 1;
        while (j != group.end() && j->key == i->key) ++j;
        if (j == i + 1) found.push_back(*i);
        i = j;
      }
    }
    const std::lock_guard<std::mutex> hold(lock);
    surface.insert(surface.end(), found.begin(), found.end());
  });
  return surface;
}

// The box distance squared from p to [low, high].
double squaredBoxDistance(const float p[3], const Point& low, const Point& high) {
  double sum = 0;
  for (int k = 0; k < 3; ++k) {
    const double gap = std::max({low[k] - p[k], p[k] - high[k], 0.0});
    sum += gap * gap;
  }
  return sum;
}

constexpr int leafSize = 4;

}  // namespace

Point closestTrianglePoint(const Point& p, const Point& a, const Point& b, const Point& c) {
  const Point ab = difference(b, a), ac = difference(c, a), ap = difference(p, a);
  const double d1 = dot(ab, ap), d2 = dot(ac, ap);
  if (d1 <= 0 && d2 <= 0) return a;
  const Point bp = difference(p, b);
  const double d3 = dot(ab, bp), d4 = dot(ac, bp);
  if (d3 >= 0 && d4 <= d3) return b;
  const double vc = d1 * d4 - d3 * d2;
  if (vc <= 0 && d1 >= 0 && d3 <= 0) {
    const double v = d1 / (d1 - d3);
    return {a[0] + v * ab[0], a[1] + v * ab[1], a[2] + v * ab[2]};
  }
  const Point cp = difference(p, c);
  const double d5 = dot(ab, cp), d6 = dot(ac, cp);
  if (d6 >= 0 && d5 <= d6) return c;
  const double vb = d5 * d2 - d1 * d6;
  if (vb <= 0 && d2 >= 0 && d6 <= 0) {
    const double w = d2 / (d2 - d6);
    return {a[0] + w * ac[0], a[1] + w * ac[1], a[2] + w * ac[2]};
  }
  const double va = d3 * d6 - d5 * d4;
  if (va <= 0 && (d4 - d3) >= 0 && (d5 - d6) >= 0) {
    const double w = (d4 - d3) / ((d4 - d3) + (d5 - d6));
    return {b[0] + w * (c[0] - b[0]), b[1] + w * (c[1] - b[1]), b[2] + w * (c[2] - b[2])};
  }
  const double denominator = 1 / (va + vb + vc);
  const double v = vb * denominator, w = vc * denominator;
  // A degenerate triangle (zero area) leaves v and w undefined: its nearest corner then.
  if (!std::isfinite(v) || !std::isfinite(w)) {
    const auto squared = [&](const Point& q) { return dot(difference(p, q), difference(p, q)); };
    const Point& nearer = squared(a) <= squared(b) ? a : b;
    return squared(nearer) <= squared(c) ? nearer : c;
  }
  return {a[0] + ab[0] * v + ac[0] * w, a[1] + ab[1] * v + ac[1] * w, a[2] + ab[2] * v + ac[2] * w};
}

double squaredTriangleDistance(const Point& p, const Point& a, const Point& b, const Point& c) {
  const Point d = difference(p, closestTrianglePoint(p, a, b, c));
  return dot(d, d);
}

CageSurface::CageSurface(const Mesh& control, const LookupTables& tables, int threads)
    : control_(control) {
  std::array<const CellFaceTables*, 8> usable{};
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    if (control.cellCount(t) == 0) continue;
    const CheckedCellFaceTables checked = cellFaceTables(tables, t);
    complete_ = complete_ && checked.status.ok;
    if (!checked.status.ok) continue;
    faces_[t] = checked.faces;
    usable[t] = &faces_[t];
  }
  std::vector<CellFace> surface = unsharedFaces(control, usable, threads);
  // In one order on any threads: a face is one cell's face.
  std::sort(surface.begin(), surface.end(), [](const CellFace& a, const CellFace& b) {
    return std::tie(a.type, a.cell, a.face) < std::tie(b.type, b.cell, b.face);
  });
  for (const CellFace& f : surface) {
    const CellFaceTables& faces = *usable[f.type];
    if (f.face < faces.triangleCount) {
      const int* v = faces.triangles->column(f.face);
      triangles_.push_back({f.type, f.cell, {v[0], v[1], v[2]}});
      continue;
    }
    // The cut the cell's coordinates make, so that on the surface a point outside sees the
    // triangle an enclosed point there is given.
    const int q = f.face - faces.triangleCount;
    const int* v = faces.quads->column(q);
    if (splitQuadFace(control, faces, f.cell, q).anchor == v[0]) {
      triangles_.push_back({f.type, f.cell, {v[0], v[1], v[2]}});
      triangles_.push_back({f.type, f.cell, {v[2], v[3], v[0]}});
    } else {
      triangles_.push_back({f.type, f.cell, {v[3], v[0], v[1]}});
      triangles_.push_back({f.type, f.cell, {v[1], v[2], v[3]}});
    }
  }
  const int count = triangleCount();
  std::vector<Point> centres(count);
  parallelFor(count, threads, [&](int64_t begin, int64_t end) {
    for (auto i = static_cast<int>(begin); i < end; ++i) {
      const auto c = corners(i);
      for (int k = 0; k < 3; ++k) centres[i][k] = (c[0][k] + c[1][k] + c[2][k]) / 3;
    }
  });
  order_.resize(count);
  for (int i = 0; i < count; ++i) order_[i] = i;
  if (count > 0) {
    nodes_.reserve(2 * (count / leafSize + 1));
    // Split on threads down to about one subtree per thread.
    int splits = 0;
    while ((1 << splits) < threadCount(threads)) ++splits;
    build(0, count, centres, nodes_, splits, threads);
  }
  // The searches read the corners of a leaf's triangles side by side.
  leafCorners_.resize(order_.size());
  parallelFor(count, threads, [&](int64_t begin, int64_t end) {
    for (int64_t i = begin; i < end; ++i) leafCorners_[i] = corners(order_[i]);
  });
}

std::array<std::array<double, 3>, 3> CageSurface::corners(int i) const {
  const SurfaceTriangle& s = triangles_[i];
  const int* vertex = control_.cells[s.type].column(s.cell);
  std::array<Point, 3> c{};
  for (int h = 0; h < 3; ++h) {
    const float* p = control_.vertices.column(vertex[s.corners[h]]) + control_.xyzRow;
    c[h] = {p[0], p[1], p[2]};
  }
  return c;
}

std::array<double, 3> CageSurface::cellCentroid(int i) const {
  const SurfaceTriangle& s = triangles_[i];
  const int* vertex = control_.cells[s.type].column(s.cell);
  const int k = verticesPerCell[s.type];
  Point g{0, 0, 0};
  for (int h = 0; h < k; ++h)
    for (int a = 0; a < 3; ++a) g[a] += control_.vertices.column(vertex[h])[control_.xyzRow + a];
  for (int a = 0; a < 3; ++a) g[a] /= k;
  return g;
}

// Appends the node over order_[first, first + count) and its subtree to `nodes` in preorder,
// children named by their place in `nodes`: a leaf of a few triangles, or two children split at
// the median centre along the longest side of its box. While `splits` is above 0, the second
// child's subtree is built in a list of its own on another thread, then appended; the nodes come
// out as one thread makes them.
void CageSurface::build(int first, int count, const std::vector<Point>& centres,
                        std::vector<Node>& nodes, int splits, int threads) {
  Node node;
  node.low.fill(std::numeric_limits<double>::infinity());
  node.high.fill(-std::numeric_limits<double>::infinity());
  for (int i = first; i < first + count; ++i)
    for (const Point& c : corners(order_[i]))
      for (int k = 0; k < 3; ++k) {
        node.low[k] = std::min(node.low[k], c[k]);
        node.high[k] = std::max(node.high[k], c[k]);
      }
  const auto index = static_cast<int>(nodes.size());
  nodes.push_back(node);
  if (count <= leafSize) {
    nodes[index].first = first;
    nodes[index].count = count;
    return;
  }
  int axis = 0;
  for (int k = 1; k < 3; ++k)
    if (node.high[k] - node.low[k] > node.high[axis] - node.low[axis]) axis = k;
  const int half = count / 2;
  std::nth_element(order_.begin() + first, order_.begin() + first + half,
                   order_.begin() + first + count, [&](int a, int b) {
                     return centres[a][axis] < centres[b][axis] ||
                            (centres[a][axis] == centres[b][axis] && a < b);
                   });
  nodes[index].left = index + 1;
  if (splits == 0) {
    build(first, half, centres, nodes, 0, threads);
    nodes[index].right = static_cast<int>(nodes.size());
    build(first + half, count - half, centres, nodes, 0, threads);
    return;
  }
  std::vector<Node> second;
  parallelFor(2, threads, [&](int64_t begin, int64_t end) {
    for (int64_t child = begin; child < end; ++child) {
      if (child == 0)
        build(first, half, centres, nodes, splits - 1, threads);
      else
        build(first + half, count - half, centres, second, splits - 1, threads);
    }
  });
  const auto offset = static_cast<int>(nodes.size());
  nodes[index].right = offset;
  for (Node& moved : second) {
    if (moved.left >= 0) {
      moved.left += offset;
      moved.right += offset;
    }
    nodes.push_back(moved);
  }
}

template <bool anyWithin>
NearestTriangle CageSurface::search(const float p[3], double bestSquared) const {
  NearestTriangle best;
  // A point with a coordinate that is not a finite number has no nearest triangle.
  if (nodes_.empty() || !(bestSquared >= 0) || !std::isfinite(p[0]) || !std::isfinite(p[1]) ||
      !std::isfinite(p[2]))
    return best;
  const Point q{p[0], p[1], p[2]};
  // Nodes to search, with their box distances; a node farther than the best found is passed over.
  struct Pending {
    int node;
    double squared;
  };
  Pending stack[128];
  int top = 0;
  stack[top++] = {0, squaredBoxDistance(p, nodes_[0].low, nodes_[0].high)};
  while (top > 0) {
    const Pending next = stack[--top];
    if (next.squared > bestSquared) continue;
    const Node& node = nodes_[next.node];
    if (node.left < 0) {
      for (int i = node.first; i < node.first + node.count; ++i) {
        const auto& c = leafCorners_[i];
        const double d = squaredTriangleDistance(q, c[0], c[1], c[2]);
        const int t = order_[i];
        if (d < bestSquared || (d == bestSquared && (best.triangle < 0 || t < best.triangle))) {
          bestSquared = d;
          best.triangle = t;
          if (anyWithin) return best;
        }
      }
      continue;
    }
    // The nearer child is searched first, so that the farther one is more often passed over.
    Pending a{node.left, squaredBoxDistance(p, nodes_[node.left].low, nodes_[node.left].high)};
    Pending b{node.right, squaredBoxDistance(p, nodes_[node.right].low, nodes_[node.right].high)};
    if (b.squared < a.squared) std::swap(a, b);
    if (b.squared <= bestSquared) stack[top++] = b;
    if (a.squared <= bestSquared) stack[top++] = a;
  }
  if (best.triangle >= 0) best.squaredDistance = bestSquared;
  return best;
}

NearestTriangle CageSurface::nearest(const float p[3], double maxDistance) const {
  return maxDistance >= 0 ? search<false>(p, maxDistance * maxDistance) : NearestTriangle{};
}

bool CageSurface::anyWithin(const float p[3], double squaredDistance) const {
  return search<true>(p, squaredDistance).triangle >= 0;
}

}  // namespace cagewarp
