#include "formats/model_reading.h"

#include <algorithm>
#include <climits>

#include "mesh/cell_type.h"

namespace cagewarp::detail {

int ModelBuilder::addVertex(float x, float y, float z) {
  if (xyz_.size() + 3 > static_cast<size_t>(INT_MAX)) return -1;
  xyz_.insert(xyz_.end(), {x, y, z});
  return vertexCount() - 1;
}

void ModelBuilder::addSite(int64_t offset, int64_t length, int vertex, int axis,
                           CoordinateEncoding encoding) {
  model_.sites.add({offset, length, vertex, static_cast<uint8_t>(axis), encoding});
}

bool ModelBuilder::addPolygon(const int32_t* corners, int count) {
  if (count <= 0) return true;
  // Points, lines, triangles and quads are cells as they stand; a larger polygon becomes the
  // triangles of a fan, enough for a summary of what the model holds.
  const int type = count <= 4 ? count - 1 : triangleType;
  std::deque<int32_t>& cells = cells_[type];
  const size_t added = count <= 4 ? static_cast<size_t>(count) : size_t{3} * (count - 2);
  if (cells.size() + added > static_cast<size_t>(INT_MAX)) return false;
  if (count <= 4) {
    cells.insert(cells.end(), corners, corners + count);
    return true;
  }
  for (int k = 1; k + 1 < count; ++k)
    cells.insert(cells.end(), {corners[0], corners[k], corners[k + 1]});
  return true;
}

bool ModelBuilder::addFace(const int32_t* corners, int count, const int32_t* normals,
                           const int32_t* textures) {
  // One or two corners make a point or a line, not a face.
  if (count < 3) return addPolygon(corners, count);
  if (model_.faceCorners.size() + static_cast<size_t>(count) > static_cast<size_t>(INT_MAX))
    return false;
  // The corners' normals and texture coordinates are kept from the first face that names one
  // (the corners before it have -1); a file without them keeps none.
  const auto names = [count](const int32_t* indices) {
    return indices != nullptr &&
           std::any_of(indices, indices + count, [](int32_t k) { return k >= 0; });
  };
  if (!names(normals) && model_.cornerNormals.empty()) normals = nullptr;
  if (!names(textures) && model_.cornerTextures.empty()) textures = nullptr;
  const size_t before = model_.faceCorners.size();
  model_.faceCorners.insert(model_.faceCorners.end(), corners, corners + count);
  if (normals != nullptr) {
    model_.cornerNormals.resize(before, -1);
    model_.cornerNormals.insert(model_.cornerNormals.end(), normals, normals + count);
  }
  if (textures != nullptr) {
    model_.cornerTextures.resize(before, -1);
    model_.cornerTextures.insert(model_.cornerTextures.end(), textures, textures + count);
  }
  model_.faceStarts.push_back(static_cast<int32_t>(model_.faceCorners.size()));
  return addPolygon(corners, count);
}

void ModelBuilder::addNormalSite(int64_t offset, int64_t length, int normal, int axis, float value,
                                 CoordinateEncoding encoding) {
  model_.normalValues.resize(static_cast<size_t>(model_.normalCount) * 3);
  model_.normalValues[static_cast<size_t>(normal) * 3 + static_cast<size_t>(axis)] = value;
  model_.normalSites.add({offset, length, normal, static_cast<uint8_t>(axis), encoding});
}

void ModelBuilder::finish() {
  Mesh& mesh = model_.mesh;
  mesh = Mesh(3);
  mesh.vertices = Matrix(3, vertexCount());
  std::copy(xyz_.begin(), xyz_.end(), mesh.vertices.data());
  for (int t = 0; t < 4; ++t) {
    const int rows = verticesPerCell[t];
    IntArray cells({rows, static_cast<int>(cells_[t].size()) / rows}, 0);
    std::copy(cells_[t].begin(), cells_[t].end(), cells.data());
    mesh.cells[t] = std::move(cells);
  }
  xyz_ = {};
  cells_ = {};
  // Every corner has an entry once the file has normals (their recomputation walks the corners)
  // or a face named a texture coordinate.
  if (model_.normalCount > 0 || !model_.cornerNormals.empty())
    model_.cornerNormals.resize(model_.faceCorners.size(), -1);
  if (!model_.cornerTextures.empty()) model_.cornerTextures.resize(model_.faceCorners.size(), -1);
}

}  // namespace cagewarp::detail
