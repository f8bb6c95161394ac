#include "driver/pose.h"

#include <algorithm>
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

Status writePose(const Pose& pose, const ModelFile& source, const Binding& binding) {
  if (Status status = checkDeformedFormat(source, pose.outFile); !status.ok) return status;
  const Relation& relation = binding.relation;
  Matrix moved;
  if (Status status = readMovedPositions(pose, relation.deformation.rows, moved); !status.ok)
    return status;
  return writeDeformedCopy(relation, binding.model, source, moved, pose.outFile);
}

Status checkDeformedFormat(const ModelFile& source, const std::string& outFile) {
  const FormatEntry& out = formatEntryOf(outFile);
  if (out.serves(FormatRole::model) && out.format != source.format) {
    const std::string modelFormat(formatEntry(source.format).name);
    return Status::failure(outFile + ": the model is " + modelFormat +
                           "; its deformed copy is written as " + modelFormat +
                           " or, under any other extension, as mesh text");
  }
  return Status::success();
}

Status writeDeformedCopy(const Relation& relation, const Mesh& model, const ModelFile& source,
                         const Matrix& moved, const std::string& outFile) {
  if (Status status = checkDeformedFormat(source, outFile); !status.ok) return status;
  Mesh deformed;
  if (Status status = deformModel(relation, model, moved, deformed); !status.ok) return status;
  if (formatEntryOf(outFile).serves(FormatRole::model)) {
    const IntArray& enclosed = relation.enclosedIndices;
    Matrix enclosedPositions(3, enclosed.count());
    for (int j = 0; j < enclosed.count(); ++j)
      std::copy_n(deformed.vertices.column(enclosed[j]) + deformed.xyzRow, 3,
                  enclosedPositions.column(j));
    return writeDeformedModel(source, enclosed, enclosedPositions, outFile);
  }
  // writeText replaces the file only once complete, so a failed write leaves nothing half done.
  if (Status status = writeText(deformed, outFile); !status.ok)
    return Status::failure(outFile + ": cannot write the deformed model");
  return Status::success();
}

}  // namespace cagewarp
