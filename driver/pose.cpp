#include "driver/pose.h"

#include <algorithm>
#include <system_error>

#include "driver/messages.h"
#include "formats/cage_file.h"
#include "formats/file_format.h"
#include "formats/mesh_text.h"
#include "formats/model_geometry.h"

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

// The deformed model as the writers of a fresh file take it: the faces as the source file listed
// them, or the triangles and quads of a model read as cells.
ModelGeometry geometryOf(const Mesh& deformed, const ModelFile& source) {
  ModelGeometry geometry;
  Mesh& mesh = geometry.mesh;
  mesh.vertices = Matrix(3, deformed.vertexColumns());
  for (int v = 0; v < deformed.vertexColumns(); ++v)
    std::copy_n(deformed.vertices.column(v) + deformed.xyzRow, 3, mesh.vertices.column(v));
  mesh.cells = deformed.cells;
  if (source.format != FileFormat::meshText) {
    geometry.faceStarts = source.faceStarts;
    geometry.faceCorners = source.faceCorners;
  } else {
    facesOfCells(deformed, geometry.faceStarts, geometry.faceCorners);
  }
  // Normals per vertex: per corner ones would need vertices split where they differ.
  if (source.normalCount > 0)
    geometry.normals = cornerNormals(mesh.vertices, geometry.faceStarts, geometry.faceCorners,
                                     geometry.faceCorners, mesh.vertexColumns());
  // Texture coordinates per vertex, as the corners name them (where corners of one vertex
  // disagree, as on a texture seam, the last one read).
  if (!source.textureValues.empty()) {
    geometry.textures = Matrix(2, mesh.vertexColumns());
    for (size_t c = 0; c < source.cornerTextures.size(); ++c) {
      const int32_t texture = source.cornerTextures[c];
      if (texture < 0) continue;
      for (int k = 0; k < 2; ++k)
        geometry.textures(k, source.faceCorners[c]) =
            source.textureValues[static_cast<size_t>(texture) * 2 + static_cast<size_t>(k)];
    }
  }
  return geometry;
}

}  // namespace

Status checkPoseOutputs(const std::vector<Pose>& poses) {
  for (const Pose& pose : poses)
    if (Status status = checkDeformedFormat(pose.outFile); !status.ok) return status;
  return Status::success();
}

Status checkDeformedFormat(const std::string& outFile) {
  const FormatEntry& out = formatEntryOf(outFile);
  if (out.format == FileFormat::meshText || out.serves(FormatRole::modelOutput))
    return Status::success();
  return Status::failure(outFile + std::string(messages::unwritableModelFormat) +
                         std::string(out.name) + std::string(messages::writableModelFormats) +
                         extensionsServing(FormatRole::modelOutput) +
                         std::string(messages::otherModelOutput));
}

Status writePose(const Pose& pose, const ModelFile& source, const Binding& binding,
                 bool keepNormals) {
  if (Status status = checkDeformedFormat(pose.outFile); !status.ok) return status;
  const Relation& relation = binding.relation;
  Matrix moved;
  if (Status status = readMovedPositions(pose, relation.deformation.rows, moved); !status.ok)
    return status;
  return writeDeformedCopy(relation, binding.model, source, moved, pose.outFile, keepNormals);
}

Status writeDeformedCopy(const Relation& relation, const Mesh& model, const ModelFile& source,
                         const Matrix& moved, const std::string& outFile, bool keepNormals) {
  if (Status status = checkDeformedFormat(outFile); !status.ok) return status;
  const FormatEntry& out = formatEntryOf(outFile);
  Mesh deformed;
  if (Status status = deformModel(relation, model, moved, deformed); !status.ok) return status;
  if (out.serves(FormatRole::model) && out.format == source.format) {
    const IntArray& enclosed = relation.enclosedIndices;
    Matrix enclosedPositions(3, enclosed.count());
    for (int j = 0; j < enclosed.count(); ++j)
      std::copy_n(deformed.vertices.column(enclosed[j]) + deformed.xyzRow, 3,
                  enclosedPositions.column(j));
    return writeDeformedModel(source, enclosed, enclosedPositions, outFile, keepNormals);
  }
  if (out.format != FileFormat::meshText)
    return out.writeModel(geometryOf(deformed, source), outFile);
  // writeText replaces the file only once complete, so a failed write leaves nothing half done.
  if (Status status = writeText(deformed, outFile); !status.ok)
    return Status::failure(outFile + ": cannot write the deformed model");
  return Status::success();
}

}  // namespace cagewarp
