#include "driver/binding.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <new>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "relate/cage_surface.h"
#include "relate/outside_binding.h"
#include "relate/point_location.h"

namespace cagewarp {
namespace {

// Below this many control vertices the dense weight rows are as fast as the sparse ones or
// faster (measured on a hexahedral grid refined `b s s s` and `l l l`: they tie near 125).
constexpr int sparseWeightsFrom = 128;

bool allFinite(const FloatArray& values) {
  for (int i = 0; i < values.count(); ++i)
    if (!std::isfinite(values[i])) return false;
  return true;
}

// Sparse weights are exact when every table value that multiplies an absent (+0) weight is
// finite: 0 * inf or 0 * NaN would fill a whole dense row.
bool sparseWeightsExact(const LookupTables& tables) {
  const auto finite = [](const auto& list) {
    return std::all_of(list.begin(), list.end(), [](const FloatArray& t) { return allFinite(t); });
  };
  return finite(tables.avgTables) && finite(tables.corTables) && finite(tables.mulTables);
}

bool useSparseWeights(WeightForm form, const LookupTables& tables, int n) {
  switch (form) {
    case WeightForm::dense:
      return false;
    case WeightForm::sparse:
      return true;
    default:
      return n >= sparseWeightsFrom && sparseWeightsExact(tables);
  }
}

// Below the coordinates every control vertex carries its coefficients over the control
// vertices as loaded: the rows of an identity matrix, dense or sparse.
void appendWeightRows(Mesh& control, bool sparse) {
  const int n = control.vertexColumns();
  if (sparse) {
    control.weights = sparseIdentity(n);
    return;
  }
  // (rows + n) x n floats: a count past an int cannot be held, whatever the memory.
  if (int64_t{control.vertices.rows() + n} * n > std::numeric_limits<int>::max())
    throw std::bad_alloc();
  control.vertices.appendRows(Matrix(n, n, "eye"));
}

void pass(Warnings& warnings, RunObserver& observer) {
  for (const std::string& w : warnings) observer.warning(w);
  warnings.clear();
}

// The positions of the listed model vertices, 3 x count.
Matrix modelPositions(const Mesh& model, const IntArray& vertices) {
  const int s = modelPositionRow(model.vertices.rows());
  Matrix p(3, vertices.count());
  for (int j = 0; j < vertices.count(); ++j)
    std::copy_n(model.vertices.column(vertices[j]) + s, 3, p.column(j));
  return p;
}

// Binds the vertices no refined cell encloses to the nearest surface cell, and places them.
// Returns their count, farthest distance and the reach.
OutsideVertices bindFromOutside(const Mesh& control, const BindingOptions& options,
                                const CageSurface& surface, Binding& binding) {
  const double reach = outsideReach(options.outsideDistance, control);
  const OutsideBinding bound =
      bindOutsideVertices(binding.model, binding.relation.enclosedIndices, binding.control,
                          binding.weightRow, surface, reach, options.threads, options.coordinates);
  Relation placed;
  placed.enclosedIndices = bound.vertices;
  placed.deformation = bound.columns;
  placeEnclosedVertices(binding.model, placed, control, options.threads);
  addOutsideBinding(binding.relation, bound);
  OutsideVertices report;
  report.bound = bound.vertices.count();
  report.boundDistance = bound.largestDistance;
  report.reach = reach;
  return report;
}

// How far the vertices left unbound lie from the refined surface, and which of them the control
// mesh as loaded encloses (when the operations changed it), with their largest distance.
void measureUnbound(const Mesh& control, const LookupTables& tables, const BindingOptions& options,
                    const CageSurface& surface, Binding& binding) {
  const IntArray& bound = binding.relation.enclosedIndices;
  std::vector<int> list;
  int next = 0;
  for (int v = 0; v < binding.model.vertexColumns(); ++v) {
    if (next < bound.count() && bound[next] == v)
      ++next;
    else
      list.push_back(v);
  }
  IntArray unbound({static_cast<int>(list.size())}, 0);
  std::copy(list.begin(), list.end(), unbound.data());
  OutsideVertices& outside = binding.outside;
  // A surface without the faces of some cells measures nothing worth saying.
  outside.surfaceDistance = std::numeric_limits<double>::infinity();
  if (unbound.count() == 0 || binding.model.vertices.rows() < 3 || !surface.complete()) return;
  // Which of them the control mesh as loaded encloses, when the operations changed it.
  std::vector<bool> lost(static_cast<size_t>(unbound.count()), false);
  if (outside.refined) {
    Warnings ignored;  // said once already, when the refined cage was located in
    const ModelLocation before =
        locateModelVertices(control, modelPositions(binding.model, unbound), control.vertexRows(),
                            tables, ignored, options.threads);
    for (int j = 0; j < unbound.count(); ++j) lost[j] = before.enclosureCount[j] > 0;
    outside.lostToRefinement = static_cast<int>(std::count(lost.begin(), lost.end(), true));
  }
  const FarthestFromSurface farthest =
      farthestFromSurface(binding.model, unbound, lost, surface, options.threads);
  // Vertices with a coordinate that is not a finite number lie at no distance worth saying.
  if (farthest.all >= 0) outside.surfaceDistance = farthest.all;
  outside.lostDistance = farthest.marked;
}

}  // namespace

Status refineControl(const Mesh& control, const LookupTables& tables, const BindingOptions& options,
                     Mesh& refined, RunObserver* observer) {
  RunObserver quiet;
  RunObserver& tell = observer != nullptr ? *observer : quiet;
  // The relation expresses the model over the control vertices as loaded.
  refined = control;
  tell.started(Phase::appendWeightRows, "");
  appendWeightRows(refined, useSparseWeights(options.weightForm, tables, control.vertexColumns()));
  tell.finished(Phase::appendWeightRows, &refined);
  return applyOperations(refined, tables, options, tell);
}

Status applyOperations(Mesh& refined, const LookupTables& tables, const BindingOptions& options,
                       RunObserver& observer) {
  Warnings warnings;
  for (char letter : options.operations) {
    const PhaseInfo* operation = operationOf(letter);
    if (operation == nullptr) continue;
    observer.started(operation->phase, "");
    const Status status = operation->apply(refined, tables, warnings, options.threads);
    pass(warnings, observer);
    if (!status.ok) return status;
    observer.finished(operation->phase, &refined);
  }
  return Status::success();
}

void relateRefined(const Mesh& control, Mesh model, const LookupTables& tables,
                   const BindingOptions& options, Binding& binding, RunObserver* observer) {
  RunObserver quiet;
  RunObserver& tell = observer != nullptr ? *observer : quiet;
  Warnings warnings;
  binding.weightRow = control.vertexRows();
  tell.started(Phase::relate, "");
  binding.model = std::move(model);
  binding.relation = relateModel(binding.model, control, binding.control, tables, warnings,
                                 options.threads, options.coordinates, tell.locatedCounter());
  pass(warnings, tell);
  // The surface is only needed for vertices outside every cell.
  std::optional<CageSurface> surface;
  const bool nearest = options.outside == OutsideMode::nearest;
  if (nearest || binding.relation.enclosedIndices.count() < binding.model.vertexColumns())
    surface.emplace(binding.control, tables, options.threads);
  OutsideVertices bound;
  if (nearest) bound = bindFromOutside(control, options, *surface, binding);
  binding.outside = findOutsideVertices(binding.model, binding.relation.enclosedIndices, control);
  binding.outside.bound = bound.bound;
  binding.outside.boundDistance = bound.boundDistance;
  binding.outside.reach = bound.reach;
  // A cage refined before it came here (as a front end may do) has other vertices.
  binding.outside.refined = binding.control.vertexColumns() != control.vertexColumns() ||
                            std::any_of(options.operations.begin(), options.operations.end(),
                                        [](char letter) { return isOperation(letter); });
  if (binding.outside.count > 0) measureUnbound(control, tables, options, *surface, binding);
  tell.finished(Phase::relate, &binding.model);
  tell.related(binding.relation);
  if (binding.outside.count > 0 || binding.outside.bound > 0) tell.outside(binding.outside);
}

Status bindModel(const Mesh& control, Mesh model, const LookupTables& tables,
                 const BindingOptions& options, Binding& binding, RunObserver* observer) {
  binding.weightRow = control.vertexRows();
  if (Status status = refineControl(control, tables, options, binding.control, observer);
      !status.ok)
    return status;
  if (observer != nullptr) observer->refined(binding.control);
  relateRefined(control, std::move(model), tables, options, binding, observer);
  return Status::success();
}

Status deformModel(const Binding& binding, const Matrix& moved, Mesh& deformed) {
  return deformModel(binding.relation, binding.model, moved, deformed);
}

Status deformModel(const Relation& relation, const Mesh& model, const Matrix& moved,
                   Mesh& deformed) {
  const int n = relation.deformation.rows;
  if (moved.isEmpty() || moved.rows() != 3 || moved.cols() != n)
    return Status::failure(
        "moved control positions are " +
        (moved.isEmpty() ? std::string("empty")
                         : std::to_string(moved.rows()) + " x " + std::to_string(moved.cols())) +
        ", not 3 x " + std::to_string(n));
  const Matrix enclosed = applyRelation(relation.deformation, moved);
  deformed = model;
  for (int j = 0; j < enclosed.cols(); ++j)
    std::copy_n(enclosed.column(j), 3,
                deformed.vertices.column(relation.enclosedIndices[j]) + deformed.xyzRow);
  return Status::success();
}

bool parseOutside(const std::string& text, BindingOptions& binding) {
  if (text == "keep") {
    binding.outside = OutsideMode::keep;
    return true;
  }
  const std::string_view prefix = "nearest";
  if (text.compare(0, prefix.size(), prefix) != 0) return false;
  OutsideDistance distance;
  if (text.size() > prefix.size()) {
    if (text[prefix.size()] != ':') return false;
    std::string number = text.substr(prefix.size() + 1);
    distance.inCageEdges = !number.empty() && number.back() == 'x';
    if (distance.inCageEdges) number.pop_back();
    char* end = nullptr;
    distance.value = number.empty() ? 0.0 : std::strtod(number.c_str(), &end);
    if (number.empty() || end != number.c_str() + number.size() || !std::isfinite(distance.value) ||
        !(distance.value > 0))
      return false;
  }
  binding.outside = OutsideMode::nearest;
  binding.outsideDistance = distance;
  return true;
}

double outsideReach(const OutsideDistance& distance, const Mesh& control) {
  return distance.inCageEdges ? distance.value * medianEdgeLength(control) : distance.value;
}

std::vector<std::string> outsideMessages(const OutsideVertices& vertices) {
  const auto number = [](double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return std::string(text);
  };
  const char* cage =
      vertices.refined ? " from the refined cage's surface" : " from the cage's surface";
  std::vector<std::string> lines;
  if (vertices.bound > 0)
    lines.push_back(std::to_string(vertices.bound) + " of " + std::to_string(vertices.total) +
                    " model vertices are outside every cell and bound to the nearest one, up to " +
                    number(vertices.boundDistance) + cage + " (reach " + number(vertices.reach) +
                    ")");
  if (vertices.count == 0) return lines;
  // Without a refined surface, the box of the control mesh is all there is to measure from.
  const bool surface = std::isfinite(vertices.surfaceDistance);
  lines.push_back(
      std::to_string(vertices.count) + " of " + std::to_string(vertices.total) +
      " model vertices are outside every cell, up to " +
      (surface ? number(vertices.surfaceDistance) + cage
               : number(vertices.largestDistance) + " from the control mesh's bounding box") +
      "; they will not move");
  if (vertices.lostToRefinement > 0)
    lines.push_back(std::to_string(vertices.lostToRefinement) +
                    " of them are inside the control mesh as given: refinement pulled its "
                    "surface in by up to " +
                    number(vertices.lostDistance) +
                    " there; grow the cage by more than that on every side, or bind them with " +
                    (vertices.reach > 0 ? "a longer reach of " : "") + "--outside nearest");
  return lines;
}

OutsideVertices findOutsideVertices(const Mesh& model, const IntArray& enclosed,
                                    const Mesh& control) {
  OutsideVertices outside;
  outside.total = model.vertexColumns();
  outside.count = outside.total - enclosed.count();
  if (outside.count == 0 || control.vertexColumns() == 0) return outside;
  double low[3], high[3];
  for (int k = 0; k < 3; ++k) {
    low[k] = std::numeric_limits<double>::infinity();
    high[k] = -low[k];
  }
  for (int i = 0; i < control.vertexColumns(); ++i)
    for (int k = 0; k < 3; ++k) {
      const double x = control.vertices(control.xyzRow + k, i);
      low[k] = std::min(low[k], x);
      high[k] = std::max(high[k], x);
    }
  int next = 0;  // position in the ascending enclosed list
  for (int v = 0; v < outside.total; ++v) {
    if (next < enclosed.count() && enclosed[next] == v) {
      ++next;
      continue;
    }
    double squared = 0;
    for (int k = 0; k < 3; ++k) {
      const double x = model.vertices(model.xyzRow + k, v);
      const double gap = std::max({low[k] - x, x - high[k], 0.0});
      squared += gap * gap;
    }
    outside.largestDistance = std::max(outside.largestDistance, std::sqrt(squared));
  }
  return outside;
}

}  // namespace cagewarp
