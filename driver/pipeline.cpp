#include "driver/pipeline.h"

#include <filesystem>

#include "mesh/mesh_file.h"
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

// Below the coordinates every control vertex carries its coefficients over the control
// vertices as loaded: the rows of an identity matrix.
void appendWeightRows(Mesh& control) {
  const int n = control.vertexColumns();
  control.vertices.appendRows(Matrix(n, n, "eye"));
}

bool isOperation(char letter) {
  return letter == 'b' || letter == 'l' || letter == 's';
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

Status applyOperation(char operation, Mesh& control, const LookupTables& tables,
                      Warnings& warnings) {
  switch (operation) {
    case 'b':
      return addBoundary(control, tables);
    case 'l':
      return subdivide(control, tables, linearSubdivision, warnings);
    default:
      return subdivide(control, tables, normalSubdivision, warnings);
  }
}

}  // namespace

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
    case Phase::relate:
      return "relating the model to the control mesh";
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
  if (run.status = readText(run.control, job.controlFile); !run.status.ok) return run;
  observer.finished(Phase::readControl, &run.control);
  // The relation expresses the model over the control vertices as loaded.
  const Mesh unrefined = run.control;
  run.weightRow = run.control.vertexRows();
  observer.started(Phase::appendWeightRows, "");
  appendWeightRows(run.control);
  observer.finished(Phase::appendWeightRows, &run.control);

  observer.started(Phase::readModel, job.modelFile);
  if (run.status = readText(run.model, job.modelFile); !run.status.ok) return run;
  observer.finished(Phase::readModel, &run.model);

  for (char operation : job.operations) {
    if (!isOperation(operation)) continue;
    const Phase phase = phaseOf(operation);
    observer.started(phase, "");
    run.status = applyOperation(operation, run.control, run.tables, warnings);
    sink.flush(warnings);
    if (!run.status.ok) return run;
    observer.finished(phase, &run.control);
  }
  observer.refined(run.control);

  observer.started(Phase::relate, "");
  run.relation = relateModel(run.model, unrefined, run.control, run.tables, warnings, job.threads);
  sink.flush(warnings);
  observer.finished(Phase::relate, &run.model);
  return run;
}

}  // namespace cagewarp
