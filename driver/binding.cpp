#include "driver/binding.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <new>
#include <string>
#include <utility>

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
  tell.finished(Phase::relate, &binding.model);
  tell.related(binding.relation);
  binding.outside = findOutsideVertices(binding.model, binding.relation.enclosedIndices, control);
  if (binding.outside.count > 0) tell.outside(binding.outside);
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

std::string outsideMessage(const OutsideVertices& vertices) {
  char distance[32];
  std::snprintf(distance, sizeof distance, "%g", vertices.largestDistance);
  return std::to_string(vertices.count) + " of " + std::to_string(vertices.total) +
         " model vertices are outside every cell, up to " + distance +
         " from the control mesh's bounding box; they will not move";
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
