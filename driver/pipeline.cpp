#include "driver/pipeline.h"

#include <utility>

#include "driver/run_files.h"
#include "driver/table_search.h"
#include "formats/cage_cells.h"
#include "formats/cage_file.h"
#include "formats/model_file.h"
#include "formats/table_files.h"

namespace cagewarp {
namespace {

// Reader warnings (higher-order cells, split pyramids, reoriented cells) concern the file, not
// the tables, so they always pass. The readers of other tools' formats reorient inverted cells;
// mesh text is in our own vertex order, so an inverted cell there is the file's as written:
// named, not changed.
Status readCageFile(const std::string& file, Mesh& mesh, RunObserver& observer) {
  Warnings warnings;
  const Status status = readCage(file, mesh, warnings);
  if (status.ok) {
    if (std::string inverted = invertedCellsWarning(mesh, file); !inverted.empty())
      warnings.push_back(std::move(inverted));
  }
  for (const std::string& w : warnings) observer.warning(w);
  return status;
}

}  // namespace

RunOutcome runJob(const Job& job, RunObserver& observer) {
  RunOutcome run;
  // An output that would destroy an input or something that is not a file stops the run before
  // anything is read or written.
  if (run.status = checkRunFiles(job); !run.status.ok) return run;
  // Without tables every refinement fails and nothing is enclosed: stop before anything is read
  // or written.
  std::string tableDirectory;
  Warnings warnings;
  run.status = findTableDirectory(job.tableDirectory, tableDirectory, warnings);
  for (const std::string& w : warnings) observer.warning(w);
  if (!run.status.ok) return run;
  warnings.clear();
  observer.started(Phase::loadTables, tableDirectory);
  run.tables = loadLookupTables(tableDirectory, warnings);
  for (const std::string& w : warnings) observer.warning(w);
  observer.finished(Phase::loadTables, nullptr);

  Mesh control;
  observer.started(Phase::readControl, job.controlFile);
  if (run.status = readCageFile(job.controlFile, control, observer); !run.status.ok) return run;
  observer.finished(Phase::readControl, &control);
  observer.started(Phase::readModel, job.modelFile);
  Warnings fileWarnings;  // like the control mesh's, they concern the file and always pass
  run.status = readModelMesh(job.modelFile, run.modelSource, run.model, fileWarnings);
  for (const std::string& w : fileWarnings) observer.warning(w);
  if (!run.status.ok) return run;
  observer.finished(Phase::readModel, &run.model);

  run.status = bindModel(control, std::move(run.model), run.tables, job.binding, run, &observer);
  if (!run.status.ok) return run;

  OutputRequest request = job.outputs;
  request.threads = job.binding.threads;  // one --threads for the whole run
  static_cast<OutputOutcome&>(run) = writeOutputs(run, run.modelSource, request, observer);
  return run;
}

}  // namespace cagewarp
