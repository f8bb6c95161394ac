#include "driver/outputs.h"

#include <algorithm>

#include "formats/array_file.h"
#include "formats/cage_file.h"
#include "formats/deformation_matrix.h"
#include "formats/matrix_market.h"
#include "formats/mesh_text.h"

namespace cagewarp {
namespace {

void writePoses(const Binding& binding, const ModelFile& source, const OutputRequest& request,
                RunObserver& observer, OutputOutcome& outcome) {
  for (const Pose& pose : request.poses) {
    observer.started(Phase::deform, pose.outFile);
    const Status status = writePose(pose, source, binding, request.keepNormals);
    if (status.ok) {
      observer.finished(Phase::deform, nullptr);
    } else {
      ++outcome.failedPoses;
      observer.poseFailed(pose, status);
    }
  }
}

// Ends a result file's phase: finished, or reported and counted.
void ended(Phase phase, const std::string& file, const Status& status, RunObserver& observer,
           OutputOutcome& outcome) {
  if (status.ok) {
    observer.finished(phase, nullptr);
    return;
  }
  ++outcome.failedFiles;
  observer.writeFailed(phase, file, status);
}

void writeMatrix(const Binding& binding, const OutputRequest& request, RunObserver& observer,
                 OutputOutcome& outcome) {
  const SparseColumns& d = binding.relation.deformation;
  const std::string& file = request.matrixFile;
  observer.started(Phase::writeMatrix, file);
  const Status written =
      request.matrixMarket ? writeMatrixMarket(d, binding.relation.enclosedIndices,
                                               binding.model.vertexColumns(), file, request.threads)
                           : saveDeformationMatrix(d, file, Echo::off, request.threads);
  if (request.echo) observer.echo(savedEchoText(file, deformationConsoleForm(d)));
  ended(Phase::writeMatrix, file, written, observer, outcome);
}

void writeIndices(const Binding& binding, const OutputRequest& request, RunObserver& observer,
                  OutputOutcome& outcome) {
  const IntArray& indices = binding.relation.enclosedIndices;
  const std::string& file = request.indexFile;
  observer.started(Phase::writeIndices, file);
  // Shown before it is written, whether or not that succeeds, as saveArray echoes.
  if (request.echo) observer.echo(savedEchoText(file, consoleForm(indices)));
  ended(Phase::writeIndices, file, saveArray(indices, file), observer, outcome);
}

}  // namespace

OutputOutcome writeOutputs(const Binding& binding, const ModelFile& source,
                           const OutputRequest& request, RunObserver& observer) {
  OutputOutcome outcome;
  if (!request.cageOutFile.empty()) {
    observer.started(Phase::writeCage, request.cageOutFile);
    outcome.cageOut = writeCagePositions(binding.control, request.cageOutFile);
    observer.finished(Phase::writeCage, &binding.control);
  }
  writePoses(binding, source, request, observer, outcome);
  if (!outcome.cageOut.ok)
    observer.writeFailed(Phase::writeCage, request.cageOutFile, outcome.cageOut);
  if (!request.refinedFile.empty()) {
    observer.started(Phase::writeRefined, request.refinedFile);
    ended(Phase::writeRefined, request.refinedFile, writeText(binding.control, request.refinedFile),
          observer, outcome);
  }
  if (!request.matrixFile.empty()) writeMatrix(binding, request, observer, outcome);
  if (!request.indexFile.empty()) writeIndices(binding, request, observer, outcome);
  return outcome;
}

}  // namespace cagewarp
