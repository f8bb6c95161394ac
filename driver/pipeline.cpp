#include "driver/pipeline.h"

#include <utility>

#include "driver/table_search.h"
#include "formats/cage_file.h"
#include "formats/file_format.h"
#include "mesh/mesh_file.h"

namespace cagewarp {
namespace {

// Reader warnings (higher-order cells, split pyramids, reoriented cells) concern the file, not
// the tables, so they always pass.
Status readCageFile(const std::string& file, Mesh& mesh, RunObserver& observer) {
  Warnings warnings;
  const Status status = readCage(file, mesh, warnings);
  for (const std::string& w : warnings) observer.warning(w);
  return status;
}

// Models in the model file formats keep what they were read from, for writing deformed copies;
// a model in a cage format comes in as a cage.
Status readModel(const std::string& path, RunOutcome& run, RunObserver& observer) {
  switch (formatOfPath(path)) {
    case FileFormat::obj:
    case FileFormat::off:
    case FileFormat::ply:
    case FileFormat::stl:
      if (Status status = readModelFile(path, run.modelSource); !status.ok) return status;
      run.model = run.modelSource.mesh;
      return Status::success();
    case FileFormat::gmsh:
    case FileFormat::vtk:
    case FileFormat::tetgen:
    case FileFormat::medit:
      return readCageFile(path, run.model, observer);
    default:
      return readText(run.model, path);
  }
}

}  // namespace

RunOutcome runJob(const Job& job, RunObserver& observer) {
  RunOutcome run;
  // Without tables every refinement fails and nothing is enclosed: stop before anything is read
  // or written.
  std::string tableDirectory;
  if (run.status = findTableDirectory(job.tableDirectory, tableDirectory); !run.status.ok)
    return run;
  Warnings warnings;
  observer.started(Phase::loadTables, tableDirectory);
  run.tables = loadLookupTables(tableDirectory, warnings);
  for (const std::string& w : warnings) observer.warning(w);
  observer.finished(Phase::loadTables, nullptr);

  Mesh control;
  observer.started(Phase::readControl, job.controlFile);
  if (run.status = readCageFile(job.controlFile, control, observer); !run.status.ok) return run;
  observer.finished(Phase::readControl, &control);
  observer.started(Phase::readModel, job.modelFile);
  if (run.status = readModel(job.modelFile, run, observer); !run.status.ok) return run;
  observer.finished(Phase::readModel, &run.model);

  const BindingOptions options{job.operations, job.threads, job.weightForm, job.coordinates};
  run.status = bindModel(control, std::move(run.model), run.tables, options, run, &observer);
  if (!run.status.ok) return run;

  const OutputRequest request{job.cageOutFile,  job.poses,     job.refinedFile, job.matrixFile,
                              job.matrixMarket, job.indexFile, job.echo,        job.threads};
  static_cast<OutputOutcome&>(run) = writeOutputs(run, run.modelSource, request, observer);
  return run;
}

}  // namespace cagewarp
