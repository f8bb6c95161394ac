#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "array/made_once.h"
#include "array/matrix.h"
#include "array/memory_advice.h"
#include "array/status.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"

namespace cagewarp {

// The face tables of one volume cell type, as checked by checkTables, so that a cell test can
// index with them safely. Points into the LookupTables it was made from.
struct CellFaceTables {
  int type = 0;
  int triangleCount = 0;  // F: triangle faces, normals 0..F-1
  int quadCount = 0;      // Q: quad faces, normals F+2q and F+2q+1
  int slotsPerVertex = 0;
  const IntMatrix* triangles = nullptr;    // 3 x F local vertex indices, outward orientation
  const IntMatrix* quads = nullptr;        // 4 x Q, counter-clockwise seen from outside
  const IntMatrix* slotsAround = nullptr;  // slotsPerVertex x vertices per cell
  const IntMatrix* slotMap = nullptr;      // normal index of each triangle slot
  // For slot r around vertex i, when it is corner j of a quad: whether the face of the slot
  // before it (cyclically) holds the quad's next corner j + 1, i.e. shares the edge q_j-q_(j+1).
  std::array<std::array<bool, maxSlotsAroundVertex>, 8> sharesNextEdge{};
};

struct CheckedCellFaceTables {
  Status status;         // on failure, names the table file and what is wrong with it
  CellFaceTables faces;  // meaningful only when status.ok
};

// The face tables of volume type t from a checked table set; fails when a table is missing or
// does not fit the type.
CheckedCellFaceTables cellFaceTables(const LookupTables& tables, int t);

// A quad face cut into two triangles along the diagonal that keeps the cell convex.
struct QuadSplit {
  std::array<Matrix, 2> normals;   // unit normals of the two triangles, outward
  std::array<int, 4> cornerSlots;  // normal (0 or 1) holding the edge from each corner to the next
  int anchor = 0;                  // local index of the diagonal's end that both triangles share
};

// Splits quad column q of the cell's quad table (cell c of the tables' type).
QuadSplit splitQuadFace(const Mesh& control, const CellFaceTables& faces, int c, int q);

struct CellCoordinates {
  bool inside = false;
  Matrix lambda;  // vertices per cell x 1; meaningful only when inside
};

// Wachspress coordinates of point p in cell c (Warren et al., "Barycentric coordinates for
// convex sets", 2007, with the vertex weight as a fan over the face normals around the vertex;
// a split quad shows both its triangles to the corners on its cut, so that the coordinates are
// those of the triangulated cell and reproduce linear functions). Positions are rows 0..2.
// A point strictly inside has every coordinate positive. A point on the boundary (no face
// plane behind it, at least one through it) is inside with the barycentric coordinates of the
// first face triangle that holds it, so that cells sharing a face agree there.
CellCoordinates cellCoordinates(const Mesh& control, const CellFaceTables& faces, int c,
                                const float p[3]);

// The volume cells of one type, each with what its coordinates need from the cell alone (face
// normals, quad cuts, the determinants of the vertex weights), made on the cell's first use, so
// that a cell tested against many points computes them once. Refers to `control` and `faces`,
// which must outlive it.
// - By default every cell keeps its part, made by whichever thread gets there first, and any
//   number of threads may ask at once.
// - With `recentSlots` > 0 only that many cells are kept, the last made in each slot, for a run
//   that reaches most cells about once, where keeping every cell would hold much memory for
//   nothing. Such an object serves one thread; a thread asking for cells near each other in turn
//   makes each about once.
// Both give the same coordinates.
class PreparedCells {
 public:
  PreparedCells(const Mesh& control, const CellFaceTables& faces, int recentSlots = 0);

  // Whether point p is inside cell c, as cellCoordinates(control, faces, c, p).inside; when it
  // is, lambda[0..k-1] gets the same coordinates.
  bool coordinates(int c, const float p[3], float* lambda);

  // One term of a vertex weight: |n0 . (nj x nj+1)| / (h0 hj hj+1) with the normals' indices.
  struct FanTerm {
    float weight;
    std::array<uint8_t, 3> plane;
  };

 private:
  // Writes cell c's part at place `at`.
  void prepare(int c, size_t at);

  const Mesh& control_;
  const CellFaceTables& faces_;
  int normalCount_ = 0;
  int termStride_ = 0;               // the most terms a cell of the type can have
  UnfilledVector<float> planes_;     // per cell and face triangle: unit normal, then a corner
  UnfilledVector<FanTerm> terms_;    // per cell termStride_ terms, vertex by vertex
  UnfilledVector<uint8_t> termEnd_;  // per cell and vertex: where its terms end
  MadeOnce made_;                    // each cell's part, on its first use
  std::vector<int> holder_;          // with recent slots: the cell each slot holds, or -1
};

}  // namespace cagewarp
