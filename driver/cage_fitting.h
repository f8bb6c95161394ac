#pragma once

#include <thread>
#include <vector>

#include "array/status.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"

namespace cagewarp {

// The kinds of hexahedral cage made around a model: the whole lattice over its bounding box, or
// only the lattice cells its vertices occupy, dilated, so that the cage follows its shape.
enum class CageShape { box, fit };

struct CageRequest {
  CageShape shape = CageShape::box;
  // Cells along the longest side of the model's bounding box; the other sides get cells of about
  // the same length.
  int cells = 4;
  // The refinement the cage is made for: the model must stay enclosed after it.
  std::vector<char> operations = {'b', 's', 's'};
  int threads = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
};

// A cage made for a model, and what making it took.
struct FittedCage {
  Mesh cage{3};
  int lattice[3] = {0, 0, 0};  // cells of the lattice along x, y, z
  double cellSize = 0;         // the longest side of a lattice cell
  double margin = 0;           // box: the gap between the model's box and the cage's
  int rings = 0;               // fit: the widest dilation, in cells, around an occupied cell
  int parts = 0;               // sets of cells joined by shared vertices
  int attempts = 0;            // refinements it took until every vertex was enclosed
};

// Makes a hexahedral cage around the finite vertices of `model` that encloses all of them after
// the requested refinement (with `tables`), measured: the cage is refined and the model located,
// and while vertices lie outside, the margin (box) or the dilation around their cells (fit) grows
// by what was measured. Fails for a model without finite vertices, a cell count below 1, or when
// a refinement fails or a few dozen attempts do not enclose the model.
Status fitCage(const Mesh& model, const LookupTables& tables, const CageRequest& request,
               FittedCage& fitted);

}  // namespace cagewarp
