#include "driver/outputs.h"

#include <algorithm>

#include "array/array_file.h"
#include "formats/cage_file.h"
#include "formats/deformation_matrix.h"
#include "formats/file_format.h"
#include "formats/matrix_market.h"
#include "mesh/mesh_file.h"

namespace cagewarp {
namespace {

// The control mesh's positions alone: the weight rows below them mean nothing to a viewer.
Status writeCageOut(const Mesh& control, const std::string& file) {
  switch (formatOfPath(file)) {
    case FileFormat::gmsh:
    case FileFormat::vtk:
    case FileFormat::medit:
      return writeCage(control, file);
    case FileFormat::tetgen:
      // Text under this name would be taken for TetGen's format when read back.
      return Status::failure(file + ": cannot write TetGen files; use .vtk, .msh, .mesh or text");
    default: {
      Mesh positions(3);
      positions.vertices = Matrix(3, control.vertexColumns());
      for (int v = 0; v < control.vertexColumns(); ++v)
        std::copy_n(control.vertices.column(v) + control.xyzRow, 3, positions.vertices.column(v));
      positions.cells = control.cells;
      return writeText(positions, file);
    }
  }
}

void writePoses(const Binding& binding, const ModelFile& source, const std::vector<Pose>& poses,
                RunObserver& observer, OutputOutcome& outcome) {
  for (const Pose& pose : poses) {
    observer.started(Phase::deform, pose.outFile);
    const Status status = writePose(pose, source, binding);
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
    outcome.cageOut = writeCageOut(binding.control, request.cageOutFile);
    observer.finished(Phase::writeCage, &binding.control);
  }
  writePoses(binding, source, request.poses, observer, outcome);
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
