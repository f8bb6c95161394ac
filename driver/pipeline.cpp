#include "driver/pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <new>

#include "formats/cage_file.h"
#include "formats/table_files.h"
#include "subdiv/add_boundary.h"
#include "subdiv/subdivide.h"

namespace cagewarp {
namespace {

// Passes warnings on as they are found; see runJob for why some are dropped.
class WarningSink {
 public:
  WarningSink(RunObserver& observer, bool tablesPresent)
      : observer_(observer), tablesPresent_(tablesPresent) {}
  void flush(Warnings& warnings) const {
    if (tablesPresent_)
      for (const std::string& w : warnings) observer_.warning(w);
    warnings.clear();
  }

 private:
  RunObserver& observer_;
  bool tablesPresent_;
};

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

bool useSparseWeights(const Job& job, const LookupTables& tables, int n) {
  switch (job.weightForm) {
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

Phase phaseOf(char operation) {
  switch (operation) {
    case 'b':
      return Phase::addBoundary;
    case 'l':
      return Phase::linearSubdivision;
    default:
      return Phase::normalSubdivision;
  }
}

Status applyOperation(char operation, Mesh& control, const LookupTables& tables, Warnings& warnings,
                      int threads) {
  switch (operation) {
    case 'b':
      return addBoundary(control, tables);
    case 'l':
      return subdivide(control, tables, linearSubdivision, warnings, threads);
    default:
      return subdivide(control, tables, normalSubdivision, warnings, threads);
  }
}

// Reader warnings (higher-order cells, split pyramids, reoriented cells) concern the file, not
// the tables, so they always pass.
Status readCageFile(const std::string& file, Mesh& mesh, RunObserver& observer) {
  Warnings warnings;
  const Status status = readCage(file, mesh, warnings);
  for (const std::string& w : warnings) observer.warning(w);
  return status;
}

}  // namespace

bool isOperation(char letter) {
  return letter == 'b' || letter == 'l' || letter == 's';
}

const char* describe(Phase phase) {
  switch (phase) {
    case Phase::loadTables:
      return "loading the tables";
    case Phase::readControl:
      return "reading the control mesh";
    case Phase::readModel:
      return "reading the model mesh";
    case Phase::appendWeightRows:
      return "preparing the control mesh";
    case Phase::addBoundary:
      return "adding the boundary";
    case Phase::linearSubdivision:
      return "subdividing linearly";
    case Phase::normalSubdivision:
      return "subdividing";
    case Phase::writeCage:
      return "writing the refined cage";
    case Phase::relate:
      return "relating the model to the control mesh";
    case Phase::deform:
      return "writing a deformed model";
  }
  return "running";
}

RunOutcome runJob(const Job& job, RunObserver& observer) {
  RunOutcome run;
  Warnings warnings;
  const bool tablesPresent = std::filesystem::is_directory(job.tableDirectory);
  if (!tablesPresent)
    observer.warning("no table directory '" + job.tableDirectory +
                     "' in the working directory; running without tables");
  const WarningSink sink(observer, tablesPresent);

  observer.started(Phase::loadTables, job.tableDirectory);
  run.tables = loadLookupTables(job.tableDirectory, warnings);
  sink.flush(warnings);
  observer.finished(Phase::loadTables, nullptr);

  observer.started(Phase::readControl, job.controlFile);
  run.status = readCageFile(job.controlFile, run.control, observer);
  if (!run.status.ok) return run;
  observer.finished(Phase::readControl, &run.control);
  // The relation expresses the model over the control vertices as loaded.
  const Mesh unrefined = run.control;
  run.weightRow = run.control.vertexRows();
  observer.started(Phase::appendWeightRows, "");
  appendWeightRows(run.control, useSparseWeights(job, run.tables, run.control.vertexColumns()));
  observer.finished(Phase::appendWeightRows, &run.control);

  observer.started(Phase::readModel, job.modelFile);
  Warnings fileWarnings;  // like the control mesh's, they concern the file and always pass
  run.status = readModelMesh(job.modelFile, run.modelSource, run.model, fileWarnings);
  for (const std::string& w : fileWarnings) observer.warning(w);
  if (!run.status.ok) return run;
  observer.finished(Phase::readModel, &run.model);

  for (char operation : job.operations) {
    if (!isOperation(operation)) continue;
    const Phase phase = phaseOf(operation);
    observer.started(phase, "");
    run.status = applyOperation(operation, run.control, run.tables, warnings, job.threads);
    sink.flush(warnings);
    if (!run.status.ok) return run;
    observer.finished(phase, &run.control);
  }
  if (!job.cageOutFile.empty()) {
    observer.started(Phase::writeCage, job.cageOutFile);
    run.cageOut = writeCagePositions(run.control, job.cageOutFile);
    observer.finished(Phase::writeCage, &run.control);
  }
  observer.refined(run.control);

  observer.started(Phase::relate, "");
  run.relation = relateModel(run.model, unrefined, run.control, run.tables, warnings, job.threads,
                             observer.locatedCounter());
  sink.flush(warnings);
  observer.finished(Phase::relate, &run.model);
  const OutsideVertices outside =
      findOutsideVertices(run.model, run.relation.enclosedIndices, unrefined);
  if (outside.count > 0) observer.outside(outside);

  for (const Pose& pose : job.poses) {
    observer.started(Phase::deform, pose.outFile);
    const Status status =
        writePose(pose, run.modelSource, run.model, run.relation, unrefined.vertexColumns());
    if (status.ok) {
      observer.finished(Phase::deform, nullptr);
    } else {
      ++run.failedPoses;
      observer.poseFailed(pose, status);
    }
  }
  return run;
}

}  // namespace cagewarp
