#include "driver/pose.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <system_error>

#include "formats/cage_file.h"
#include "formats/file_format.h"
#include "formats/mesh_text.h"

namespace cagewarp {
namespace {

// Reads the positions of the moved control mesh as a 3 x n matrix.
Status readMovedPositions(const Pose& pose, int controlVertices, Matrix& positions) {
  Mesh moved;
  Warnings ignored;  // cell orientation does not matter here: only positions are used
  if (Status status = readCage(pose.movedControlFile, moved, ignored); !status.ok) return status;
  if (moved.vertexColumns() != controlVertices)
    return Status::failure(pose.movedControlFile + ": the moved control mesh has " +
                           std::to_string(moved.vertexColumns()) + " vertices, the control mesh " +
                           std::to_string(controlVertices) + "; " + pose.outFile + " not written");
  if (moved.vertexRows() < moved.xyzRow + 3)
    return Status::failure(pose.movedControlFile + ": vertices without x, y and z");
  positions = Matrix(3, controlVertices);
  for (int i = 0; i < controlVertices; ++i)
    std::copy_n(moved.vertices.column(i) + moved.xyzRow, 3, positions.column(i));
  return Status::success();
}

}  // namespace

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

Status writePose(const Pose& pose, const ModelFile& source, const Mesh& model,
                 const Relation& relation, int controlVertices) {
  const FormatEntry& out = formatEntryOf(pose.outFile);
  const bool sameBytes = out.serves(FormatRole::model);
  if (sameBytes && out.format != source.format) {
    const std::string modelFormat(formatEntry(source.format).name);
    return Status::failure(pose.outFile + ": the model is " + modelFormat +
                           "; its deformed copy is written as " + modelFormat +
                           " or, under any other extension, as mesh text");
  }
  Matrix positions;
  if (Status status = readMovedPositions(pose, controlVertices, positions); !status.ok)
    return status;
  const Matrix moved = applyRelation(relation.sparseDeformation, positions);
  if (sameBytes) return writeDeformedModel(source, relation.enclosedIndices, moved, pose.outFile);
  Mesh deformed = model;
  for (int j = 0; j < moved.cols(); ++j)
    std::copy_n(moved.column(j), 3,
                deformed.vertices.column(relation.enclosedIndices[j]) + deformed.xyzRow);
  // writeText replaces the file only once complete, so a failed write leaves nothing half done.
  if (Status status = writeText(deformed, pose.outFile); !status.ok)
    return Status::failure(pose.outFile + ": cannot write the deformed model");
  return Status::success();
}

}  // namespace cagewarp
