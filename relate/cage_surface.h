#pragma once

#include <array>
#include <cmath>
#include <vector>

#include "array/memory_advice.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"
#include "relate/cell_coordinates.h"

namespace cagewarp {

// One triangle of a cage's surface: local corners of a volume cell, as that cell's coordinates
// cut its faces (a quad face along the diagonal that keeps the cell convex).
struct SurfaceTriangle {
  int type = 0;
  int cell = 0;
  std::array<int, 3> corners{};  // local vertex indices within the cell
};

// The nearest surface triangle to a point: its index and the distance, or -1 when none lies
// within the distance asked for.
struct NearestTriangle {
  int triangle = -1;
  double squaredDistance = 0;  // as compared in the search
  double distance() const { return std::sqrt(squaredDistance); }
};

// The surface of the volume cells of a mesh (the faces no second cell shares), cut into
// triangles, with a bounding volume hierarchy for nearest-triangle queries. Types whose face
// tables are unusable contribute nothing. Refers to `control`, which must outlive it. Built on
// `threads` threads (0: one per core), the same on any.
class CageSurface {
 public:
  CageSurface(const Mesh& control, const LookupTables& tables, int threads = 1);

  int triangleCount() const { return static_cast<int>(triangles_.size()); }
  // False when a type with cells had unusable face tables: the surface then lacks its faces.
  bool complete() const { return complete_; }
  const SurfaceTriangle& triangle(int i) const { return triangles_[i]; }

  // The nearest triangle to p within `maxDistance`, none for a point that is not finite. In
  // double precision; ties go to the lower triangle index, so the answer does not depend on the
  // order of the search. Safe to call from several threads at once.
  NearestTriangle nearest(const float p[3], double maxDistance) const;
  // Whether some triangle's squared distance to p, as nearest() computes it, is at most
  // `squaredDistance`; false for a point that is not finite. Stops at the first such triangle.
  bool anyWithin(const float p[3], double squaredDistance) const;

  // The corner positions of triangle i, in double precision.
  std::array<std::array<double, 3>, 3> corners(int i) const;
  // The mean of the vertices of triangle i's cell.
  std::array<double, 3> cellCentroid(int i) const;
  // The face tables of volume type t, for a type that has surface triangles.
  const CellFaceTables& faceTables(int t) const { return faces_[t]; }

 private:
  struct Node {
    std::array<double, 3> low, high;
    int left = -1, right = -1;  // inner nodes: the children
    int first = 0, count = 0;   // leaves: their entries of order_
  };
  // The nearest triangle at a squared distance of at most `bestSquared`, or with `anyWithin`
  // the first one found there (its distance left unset).
  template <bool anyWithin>
  NearestTriangle search(const float p[3], double bestSquared) const;
  void build(int first, int count, const std::vector<std::array<double, 3>>& centres,
             std::vector<Node>& nodes, int splits, int threads);

  const Mesh& control_;
  std::array<CellFaceTables, 8> faces_{};
  std::vector<SurfaceTriangle> triangles_;
  std::vector<int> order_;  // triangle indices, grouped by leaf
  HugePageVector<std::array<std::array<double, 3>, 3>> leafCorners_;  // their corners, as order_
  std::vector<Node> nodes_;
  bool complete_ = true;
};

// The point of triangle (a, b, c) closest to p (Ericson, "Real-Time Collision Detection", 2005,
// section 5.1.5).
std::array<double, 3> closestTrianglePoint(const std::array<double, 3>& p,
                                           const std::array<double, 3>& a,
                                           const std::array<double, 3>& b,
                                           const std::array<double, 3>& c);

// The square of the distance from p to triangle (a, b, c).
double squaredTriangleDistance(const std::array<double, 3>& p, const std::array<double, 3>& a,
                               const std::array<double, 3>& b, const std::array<double, 3>& c);

}  // namespace cagewarp
