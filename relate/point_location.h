#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "array/matrix.h"
#include "array/status.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"

namespace cagewarp {

// At most this many face normals serve one cell (a hexahedron's six quads, two triangles each).
inline constexpr int maxCellNormals = 12;
// At most this many face slots surround one cell vertex.
inline constexpr int maxSlotsAroundVertex = 6;

// The face tables of one volume cell type, checked against the type's vertex count so that a
// cell test can index with them safely. Points into the LookupTables it was made from.
struct CellFaceTables {
  int type = 0;
  int triangleCount = 0;  // F: triangle faces, normals 0..F-1
  int quadCount = 0;      // Q: quad faces, normals F+2q and F+2q+1
  int slotsPerVertex = 0;
  const IntMatrix* triangles = nullptr;    // 3 x F local vertex indices, outward orientation
  const IntMatrix* quads = nullptr;        // 4 x Q, counter-clockwise seen from outside
  const IntMatrix* slotsAround = nullptr;  // slotsPerVertex x vertices per cell
  const IntMatrix* slotMap = nullptr;      // normal index of each triangle slot
};

// The checked face tables of volume type t, or nothing when a table is missing or does not fit
// the type; `problem` then names the table file and what is wrong with it.
std::optional<CellFaceTables> cellFaceTables(const LookupTables& tables, int t,
                                             std::string* problem = nullptr);

// A quad face cut into two triangles along the diagonal that keeps the cell convex.
struct QuadSplit {
  std::array<Matrix, 2> normals;   // unit normals of the two triangles, outward
  std::array<int, 4> cornerSlots;  // normal (0 or 1) serving each corner
  int anchor = 0;                  // local index of the diagonal's end that both triangles share
};

// Splits quad column q of the cell's quad table (cell c of the tables' type).
QuadSplit splitQuadFace(const Mesh& control, const CellFaceTables& faces, int c, int q);

struct CellCoordinates {
  bool inside = false;
  Matrix lambda;  // vertices per cell x 1; meaningful only when inside
};

// Wachspress coordinates of point p in cell c (Warren et al., "Barycentric coordinates for
// convex sets", 2007, with the vertex weight as a fan over the faces around the vertex). The
// point is inside exactly when every coordinate is positive; positions are rows 0..2.
CellCoordinates cellCoordinates(const Mesh& control, const CellFaceTables& faces, int c,
                                const float p[3]);

// One entry of a weight column.
struct WeightEntry {
  int row;
  float value;
};

// The weight matrix W (n x M) by columns. Column J lists, rows ascending, every row that a cell
// containing model vertex J could make non-zero; all other entries of W are +0. Kept this way
// because a dense W touches a memory page per model vertex, which dominates the run time.
struct WeightColumns {
  int rows = 0;
  std::vector<std::vector<WeightEntry>> columns;
};

// The listed columns of W as a dense n x e matrix.
Matrix selectWeightColumns(const WeightColumns& weights, const IntArray& columns);
// All of W as a dense n x M matrix.
Matrix denseWeights(const WeightColumns& weights);

// Weights of every model vertex over the unrefined control vertices.
struct ModelLocation {
  WeightColumns weights;    // column J is the mean of B * lambda over J's cells
  IntArray enclosureCount;  // M: number of cells found to contain each model vertex
};

// Locates the columns of `model` in the volume cells of `control`, whose vertex matrix carries
// the weight rows from row `weightRow` on. The model's position rows are chosen by its row
// count. A type whose face tables are unusable encloses nothing and adds one warning.
ModelLocation locateModelVertices(const Mesh& control, const Matrix& model, int weightRow,
                                  const LookupTables& tables, Warnings& warnings);

// First position row of a model vertex matrix with `rows` rows.
int modelPositionRow(int rows);

}  // namespace cagewarp
