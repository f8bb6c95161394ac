#pragma once

#include <algorithm>
#include <string>
#include <thread>
#include <vector>

#include "array/matrix.h"
#include "array/status.h"
#include "driver/phases.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"
#include "relate/deformation.h"

namespace cagewarp {

// How the refined control vertices carry their weights over the control vertices as loaded:
// dense rows below the positions, or sorted sparse columns beside them. Both give the same floats;
// automatic takes the sparse form where it is exact and faster.
enum class WeightForm { automatic, dense, sparse };

// What becomes of a model vertex outside every refined cell: it stays where it is (keep), or,
// within a distance of the refined cage's surface, it follows the nearest surface cell
// (nearest).
enum class OutsideMode { keep, nearest };

// How far from the refined cage's surface `nearest` reaches: a length, or a multiple of the
// median edge length of the control mesh as loaded (smoothing pulls the surface in by a fraction
// of those edges, not of the refined ones).
struct OutsideDistance {
  double value = 1;
  bool inCageEdges = true;
};

// How to bind a model to a control mesh.
struct BindingOptions {
  // Operation letters in order: 'b' add boundary, 'l' linear and 's' normal subdivision; other
  // letters are the front end's business and are passed over.
  std::vector<char> operations;
  // Threads an operation may use.
  int threads = static_cast<int>(std::max(1U, std::thread::hardware_concurrency()));
  // Not a user option: tests force each form to compare them. A forced sparse form is exact only
  // with finite interface, average and blend tables.
  WeightForm weightForm = WeightForm::automatic;
  // The cell coordinates model vertices are located with.
  Coordinates coordinates = Coordinates::wachspress;
  // Model vertices outside every refined cell.
  OutsideMode outside = OutsideMode::keep;
  OutsideDistance outsideDistance;
};

// The model vertices no cell encloses: those left unbound keep their place in every pose.
struct OutsideVertices {
  int count = 0;  // left unbound
  int total = 0;
  // The largest distance of an unbound vertex to the box around the control vertices (0 inside
  // it).
  double largestDistance = 0;
  // The largest distance of an unbound vertex to the refined cage's surface (infinity when the
  // refined cage has no volume cell or a cell type lacks its face tables), and whether the
  // operations refined the cage at all.
  double surfaceDistance = 0;
  bool refined = false;
  // Unbound vertices that the control mesh as loaded encloses, lost to refinement, and the
  // largest distance of one of them to the refined surface.
  int lostToRefinement = 0;
  double lostDistance = 0;
  // Vertices bound to the nearest surface cell (OutsideMode::nearest), the farthest distance of
  // one of them to the surface, and the distance they were bound within.
  int bound = 0;
  double boundDistance = 0;
  double reach = 0;
};

// A model bound to a refined control mesh. On failure the members hold whatever was reached.
struct Binding {
  Mesh control;       // refined, with the weight rows below the positions
  int weightRow = 0;  // the first weight row of the control vertex values
  Mesh model;         // enclosed vertices placed where the relation puts them
  Relation relation;  // D has a row per control vertex as loaded
  OutsideVertices outside;
};

// Refines `control` by the operations in order and relates `model` to the result, telling the
// observer, when given, as it goes. Reads and writes no file and prints nothing. Fails when an
// operation does; running out of memory throws std::bad_alloc.
Status bindModel(const Mesh& control, Mesh model, const LookupTables& tables,
                 const BindingOptions& options, Binding& binding, RunObserver* observer = nullptr);

// The first half of bindModel: `control` with its weight rows, refined by the operations in
// order. Fails when an operation does; `refined` then holds whatever was reached.
Status refineControl(const Mesh& control, const LookupTables& tables, const BindingOptions& options,
                     Mesh& refined, RunObserver* observer = nullptr);

// Refines an already refined control mesh (with its weight rows) further by the operations in
// order: refining by "b s" then "s" is refining by "b s s".
Status applyOperations(Mesh& refined, const LookupTables& tables, const BindingOptions& options,
                       RunObserver& observer);

// The second half of bindModel: relates `model` to `binding.control`, which holds `control`
// refined by refineControl.
void relateRefined(const Mesh& control, Mesh model, const LookupTables& tables,
                   const BindingOptions& options, Binding& binding,
                   RunObserver* observer = nullptr);

// The bound model for the control vertices moved to `moved` (3 x n, n the control vertices as
// loaded): the enclosed vertices where the relation puts them, everything else as bound. Fails
// when `moved` has another shape.
Status deformModel(const Binding& binding, const Matrix& moved, Mesh& deformed);

// Sets the outside mode of `options` from its text: keep, nearest, or nearest:DIST with DIST a
// positive length or, ending in x, a multiple of the cage's median edge. False for other text.
bool parseOutside(const std::string& text, BindingOptions& options);

// The distance OutsideMode::nearest reaches for a control mesh as loaded.
double outsideReach(const OutsideDistance& distance, const Mesh& control);

// The same for `model` bound by `relation`: a model that has the bound model's vertices but
// other rows or cells, such as the model file itself.
Status deformModel(const Relation& relation, const Mesh& model, const Matrix& moved,
                   Mesh& deformed);

// What a run reports on standard error about the model vertices outside every cell, a line
// each: those bound from outside, those left at rest, and those the refinement lost.
std::vector<std::string> outsideMessages(const OutsideVertices& vertices);

// Counts the model vertices missing from the ascending `enclosed` list and measures how far they
// lie from the bounding box of the control mesh's positions.
OutsideVertices findOutsideVertices(const Mesh& model, const IntArray& enclosed,
                                    const Mesh& control);

}  // namespace cagewarp
