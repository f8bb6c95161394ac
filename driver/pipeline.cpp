#include "driver/pipeline.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "driver/messages.h"
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

// True also when the size cannot be had: then there is nothing more to say about the file.
bool isEmptyFile(const std::string& file) {
  std::error_code error;
  const auto size = std::filesystem::file_size(file, error);
  return error || size == 0;
}

// A file with bytes in it that gave no vertex is most likely not what its name says: mesh text
// is read leniently, so there it is a warning; a model in any other format is refused, since
// binding and writing nothing would look like success (a cage is only warned about).
Status checkVertexRead(const std::string& file, const Mesh& mesh, bool isModel,
                       RunObserver& observer) {
  if (mesh.vertexColumns() > 0 || isEmptyFile(file)) return Status::success();
  const FormatEntry& format = formatEntryOf(file);
  if (format.format == FileFormat::meshText) {
    observer.warning(file + std::string(messages::noVertexWarning));
    return Status::success();
  }
  const std::string message = file + std::string(messages::noVertexRefusal) +
                              std::string(format.name) + std::string(messages::noVertexRefusalEnd);
  if (isModel) return Status::failure(message);
  observer.warning(message);
  return Status::success();
}

}  // namespace

RunOutcome runJob(const Job& job, RunObserver& observer) {
  RunOutcome run;
  // An output that would destroy an input or something that is not a file stops the run before
  // anything is read or written.
  if (run.status = checkRunFiles(job); !run.status.ok) return run;
  // A pose that cannot be written would be found out only after the whole binding.
  if (run.status = checkPoseOutputs(job.outputs.poses); !run.status.ok) return run;
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
  checkVertexRead(job.controlFile, control, false, observer);
  observer.finished(Phase::readControl, &control);
  observer.started(Phase::readModel, job.modelFile);
  Warnings fileWarnings;  // like the control mesh's, they concern the file and always pass
  run.status =
      readModelMesh(job.modelFile, run.modelSource, run.model, fileWarnings, job.binding.threads);
  for (const std::string& w : fileWarnings) observer.warning(w);
  if (!run.status.ok) return run;
  if (run.status = checkVertexRead(job.modelFile, run.model, true, observer); !run.status.ok)
    return run;
  observer.finished(Phase::readModel, &run.model);

  run.status = bindModel(control, std::move(run.model), run.tables, job.binding, run, &observer);
  if (!run.status.ok) return run;

  OutputRequest request = job.outputs;
  request.threads = job.binding.threads;  // one --threads for the whole run
  static_cast<OutputOutcome&>(run) = writeOutputs(run, run.modelSource, request, observer);
  return run;
}

}  // namespace cagewarp
