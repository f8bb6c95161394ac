#include "formats/tetgen_file.h"

#include <climits>
#include <cstdint>
#include <vector>

#include "formats/cage_cells.h"
#include "formats/file_handle.h"
#include "formats/text_scanner.h"

namespace cagewarp {
namespace {

// TetGen orders a tetrahedron's corners as we do (the first three turn towards the fourth); a
// 10-node tetrahedron lists its corners first.
const CellMapping tetgenTetrahedron = {4, tetrahedronType, 4, {0, 1, 2, 3}};
const CellMapping tetgenTetrahedron10 = {4, tetrahedronType, 10, {0, 1, 2, 3}};

constexpr char commentLetter = '#';

// The points of a .node file and the number of its first point. Reading checks that the last
// number, first + count - 1, is an int64_t, so numbers in that range never overflow.
struct TetgenPoints {
  std::vector<float> xyz;
  int64_t first = 0;
  int64_t count() const { return static_cast<int64_t>(xyz.size() / 3); }
  int64_t last() const { return first + (count() - 1); }
};

Status readNodes(const std::string& path, TetgenPoints& points) {
  std::string bytes;
  Status status = readWholeFile(path, bytes);
  if (!status.ok) return status;
  TextScanner in(path, std::move(bytes), commentLetter);
  int64_t count = 0;
  int64_t dimension = 0;
  int64_t attributes = 0;
  int64_t markers = 0;
  status = in.readInt(count, "a point count");
  if (status.ok) status = in.readInt(dimension, "a dimension");
  if (status.ok) status = in.readInt(attributes, "an attribute count");
  if (status.ok) status = in.readInt(markers, "a boundary marker flag");
  if (!status.ok) return status;
  if (dimension != 3) return in.fail("dimension must be 3");
  if (attributes < 0 || attributes > 1000) return in.fail("attribute count out of range");
  if (markers != 0 && markers != 1) return in.fail("boundary marker flag must be 0 or 1");
  const int64_t words = 4 + attributes + markers;
  if (!(status = in.checkRoom(count, 2 * words, "point count")).ok) return status;
  if (count > INT_MAX / 3) return in.fail("too many points");
  points.xyz.assign(static_cast<size_t>(count) * 3, 0.0f);
  for (int64_t i = 0; i < count && status.ok; ++i) {
    int64_t number = 0;
    if (!(status = in.readInt(number, "a point number")).ok) return status;
    if (i == 0) {
      // A first number near the top of the range would make the later ones overflow.
      if (number > INT64_MAX - (count - 1))
        return in.fail("first point number " + std::to_string(number) + " leaves no room for " +
                       std::to_string(count) + " points");
      points.first = number;
    }
    if (number != points.first + i)
      return in.fail("point " + std::to_string(number) + " out of sequence (expected " +
                     std::to_string(points.first + i) + ")");
    for (int k = 0; k < 3 && status.ok; ++k)
      status = in.readFloat(points.xyz[static_cast<size_t>(3 * i + k)], "a coordinate");
    float ignored = 0;
    for (int64_t k = 0; k < attributes + markers && status.ok; ++k)
      status = in.readFloat(ignored, "an attribute or marker");
  }
  return status;
}

Status readElements(const std::string& path, const TetgenPoints& points, CellCollector& cells) {
  std::string bytes;
  Status status = readWholeFile(path, bytes);
  if (!status.ok) return status;
  TextScanner in(path, std::move(bytes), commentLetter);
  int64_t count = 0;
  int64_t corners = 0;
  int64_t attributes = 0;
  status = in.readInt(count, "a tetrahedron count");
  if (status.ok) status = in.readInt(corners, "nodes per tetrahedron");
  if (status.ok) status = in.readInt(attributes, "an attribute count");
  if (!status.ok) return status;
  if (corners != 4 && corners != 10) return in.fail("nodes per tetrahedron must be 4 or 10");
  if (attributes < 0 || attributes > 1000) return in.fail("attribute count out of range");
  if (!(status = in.checkRoom(count, 2 * (1 + corners + attributes), "tetrahedron count")).ok)
    return status;
  const CellMapping& map = corners == 4 ? tetgenTetrahedron : tetgenTetrahedron10;
  for (int64_t i = 0; i < count && status.ok; ++i) {
    int64_t number = 0;
    int32_t nodes[10];
    status = in.readInt(number, "a tetrahedron number");
    for (int k = 0; k < corners && status.ok; ++k) {
      int64_t v = 0;
      if (!(status = in.readInt(v, "a point number")).ok) return status;
      // Compared with both ends rather than by difference: v - first can overflow.
      if (v < points.first || v > points.last())
        return in.fail("point " + std::to_string(v) + " is not in " + tetgenNodePath(path));
      nodes[k] = static_cast<int32_t>(v - points.first);
    }
    float ignored = 0;
    for (int64_t k = 0; k < attributes && status.ok; ++k)
      status = in.readFloat(ignored, "an attribute");
    if (status.ok) cells.add(map, nodes);
  }
  return status;
}

}  // namespace

std::string tetgenNodePath(const std::string& elePath) {
  const size_t dot = elePath.find_last_of('.');
  const size_t slash = elePath.find_last_of('/');
  const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
  return (hasExtension ? elePath.substr(0, dot) : elePath) + ".node";
}

Status readTetgen(const std::string& elePath, Mesh& mesh, Warnings& warnings) {
  TetgenPoints points;
  Status status = readNodes(tetgenNodePath(elePath), points);
  CellCollector cells;
  if (status.ok) status = readElements(elePath, points, cells);
  if (!status.ok) return status;
  Mesh result(3);
  result.vertices = Matrix(3, static_cast<int>(points.count()));
  std::copy(points.xyz.begin(), points.xyz.end(), result.vertices.data());
  cells.finish(result, elePath, warnings);
  mesh.cells = std::move(result.cells);
  mesh.vertices = std::move(result.vertices);
  mesh.xyzRow = 0;
  return Status::success();
}

}  // namespace cagewarp
