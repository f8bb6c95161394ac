#include "formats/model_geometry.h"

#include <array>
#include <cmath>

#include "array/vector3.h"
#include "formats/number_format.h"
#include "mesh/cell_type.h"

namespace cagewarp {
namespace {

using Vector = Vector3;

Vector positionOf(const Matrix& positions, int32_t vertex) {
  return {positions(0, vertex), positions(1, vertex), positions(2, vertex)};
}
double length(const Vector& a) {
  return std::sqrt(dot(a, a));
}

// Twice the polygon's area vector (Newell's formula), which also serves non-planar polygons.
Vector areaVector(const Matrix& positions, const int32_t* corners, int count) {
  Vector sum{0, 0, 0};
  for (int k = 0; k < count; ++k) {
    const Vector c =
        cross(positionOf(positions, corners[k]), positionOf(positions, corners[(k + 1) % count]));
    for (int axis = 0; axis < 3; ++axis) sum[axis] += c[axis];
  }
  return sum;
}

// The angle at corner k between its two edges; 0 when an edge has no length.
double cornerAngle(const Matrix& positions, const int32_t* corners, int count, int k) {
  const Vector at = positionOf(positions, corners[k]);
  const Vector a = difference(positionOf(positions, corners[(k + count - 1) % count]), at);
  const Vector b = difference(positionOf(positions, corners[(k + 1) % count]), at);
  const double lengths = length(a) * length(b);
  if (lengths == 0) return 0;
  return std::atan2(length(cross(a, b)), dot(a, b));
}

}  // namespace

void facesOfCells(const Mesh& mesh, std::vector<int32_t>& starts, std::vector<int32_t>& corners) {
  starts.assign(1, 0);
  corners.clear();
  for (int type : {triangleType, quadType}) {
    const IntArray& cells = mesh.cells[type];
    const int rows = verticesPerCell[type];
    const int count = rows == 0 ? 0 : cells.count() / rows;
    for (int cell = 0; cell < count; ++cell) {
      for (int k = 0; k < rows; ++k) corners.push_back(cells[cell * rows + k]);
      starts.push_back(static_cast<int32_t>(corners.size()));
    }
  }
}

Matrix cornerNormals(const Matrix& positions, const std::vector<int32_t>& starts,
                     const std::vector<int32_t>& corners, const std::vector<int32_t>& keys,
                     int keyCount) {
  std::vector<Vector> sums(static_cast<size_t>(keyCount), Vector{0, 0, 0});
  for (size_t face = 0; face + 1 < starts.size(); ++face) {
    const int32_t* polygon = corners.data() + starts[face];
    const int count = starts[face + 1] - starts[face];
    if (count < 3) continue;
    const Vector area = areaVector(positions, polygon, count);
    for (int k = 0; k < count; ++k) {
      const int32_t key = keys[static_cast<size_t>(starts[face] + k)];
      if (key < 0 || key >= keyCount) continue;
      const double angle = cornerAngle(positions, polygon, count, k);
      for (int axis = 0; axis < 3; ++axis)
        sums[static_cast<size_t>(key)][axis] += angle * area[axis];
    }
  }
  Matrix normals(3, keyCount);
  for (int key = 0; key < keyCount; ++key) {
    const Vector& sum = sums[static_cast<size_t>(key)];
    const double size = length(sum);
    for (int axis = 0; axis < 3; ++axis)
      normals(axis, key) = size > 0 ? static_cast<float>(sum[axis] / size) : 0.0f;
  }
  return normals;
}

namespace detail {

void putFloat(std::FILE* out, float value) {
  char text[maxShortestText];
  std::fwrite(text, 1, static_cast<size_t>(formatFloatShortest(text, value) - text), out);
}

}  // namespace detail

}  // namespace cagewarp
