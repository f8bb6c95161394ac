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
};

// The model vertices no cell encloses: they keep their place in every pose.
struct OutsideVertices {
  int count = 0;
  int total = 0;
  // The largest distance of such a vertex to the box around the control vertices (0 inside it).
  double largestDistance = 0;
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

// The same for `model` bound by `relation`: a model that has the bound model's vertices but
// other rows or cells, such as the model file itself.
Status deformModel(const Relation& relation, const Mesh& model, const Matrix& moved,
                   Mesh& deformed);

// What a run reports about the model vertices outside every cell.
std::string outsideMessage(const OutsideVertices& vertices);

// Counts the model vertices missing from the ascending `enclosed` list and measures how far they
// lie from the bounding box of the control mesh's positions.
OutsideVertices findOutsideVertices(const Mesh& model, const IntArray& enclosed,
                                    const Mesh& control);

}  // namespace cagewarp
