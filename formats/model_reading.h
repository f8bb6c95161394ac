#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "array/status.h"
#include "formats/model_file.h"
#include "formats/text_scanner.h"

// What the model format readers share besides the text scanner: the collection of vertices,
// coordinate sites and cells.
namespace cagewarp::detail {

// Where the text of a file starts, as every text reader sees it.
using cagewarp::textStart;

// Collects a model's vertices, coordinate sites and cells as a reader finds them.
class ModelBuilder {
 public:
  explicit ModelBuilder(ModelFile& model) : model_(model) {}

  // The new vertex's index, or -1 when the model cannot hold another.
  int addVertex(float x, float y, float z);
  void addSite(int64_t offset, int64_t length, int vertex, int axis, CoordinateEncoding encoding);
  // A face of `count` corners: a point, line, triangle or quad, or triangles fanned from its
  // first corner; nothing for no corners. False when the cells grow too large.
  bool addPolygon(const int32_t* corners, int count);
  // A face of the file: kept as a polygon for writing it in another format, and added as a
  // cell (addPolygon). False when the cells grow too large.
  // `normals` and `textures`, when given, hold the index of each corner's normal and texture
  // coordinate (-1 for none).
  bool addFace(const int32_t* corners, int count, const int32_t* normals = nullptr,
               const int32_t* textures = nullptr);
  // A texture coordinate, numbered in order.
  void addTexture(float u, float v) {
    model_.textureValues.insert(model_.textureValues.end(), {u, v});
  }
  // A stored normal: its index, and the places and values of its coordinates.
  int addNormal() { return model_.normalCount++; }
  void addNormalSite(int64_t offset, int64_t length, int normal, int axis, float value,
                     CoordinateEncoding encoding);
  int vertexCount() const { return static_cast<int>(xyz_.size() / 3); }
  // Moves what was collected into the model's mesh.
  void finish();

 private:
  ModelFile& model_;
  // Grown in blocks until finish() copies them into the mesh: a vector would hold up to three
  // times the final size while it grows.
  std::deque<float> xyz_;
  std::array<std::deque<int32_t>, 4> cells_;
};

}  // namespace cagewarp::detail
