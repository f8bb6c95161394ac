// How smooth a deformed model came out, to compare cell coordinates. For a model with triangle or
// quad faces: the largest and the mean angle between the normals of two faces sharing an edge (a
// fold shows as an angle near 180 degrees). For a model of points only, taken as a polyline in
// vertex order: the largest and the median distance between consecutive vertices (a crack shows
// as one step far above the others).
//   model_smoothness MODEL   (mesh text)
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <utility>
#include <vector>

#include "formats/mesh_text.h"
#include "mesh/mesh.h"

namespace {

using cagewarp::Mesh;
using Vector = std::array<double, 3>;

Vector position(const Mesh& mesh, int vertex) {
  return {mesh.vertices(mesh.xyzRow, vertex), mesh.vertices(mesh.xyzRow + 1, vertex),
          mesh.vertices(mesh.xyzRow + 2, vertex)};
}

Vector difference(const Vector& a, const Vector& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

// The unit normal of a face (Newell's method, so a bent quad gets its mean plane).
Vector faceNormal(const std::vector<Vector>& corners) {
  Vector n{};
  for (size_t i = 0; i < corners.size(); ++i) {
    const Vector& a = corners[i];
    const Vector& b = corners[(i + 1) % corners.size()];
    n[0] += (a[1] - b[1]) * (a[2] + b[2]);
    n[1] += (a[2] - b[2]) * (a[0] + b[0]);
    n[2] += (a[0] - b[0]) * (a[1] + b[1]);
  }
  const double length = std::hypot(n[0], n[1], n[2]);
  return {n[0] / length, n[1] / length, n[2] / length};
}

int foldAngles(const Mesh& model) {
  std::vector<Vector> normals;
  std::map<std::pair<int, int>, std::vector<int>> facesOfEdge;
  for (int type : {2, 3}) {
    const cagewarp::IntArray& cells = model.cells[type];
    for (int c = 0; c < cells.cols(); ++c) {
      std::vector<Vector> corners;
      for (int k = 0; k < cells.rows(); ++k) {
        const int a = cells.at(k, c), b = cells.at((k + 1) % cells.rows(), c);
        facesOfEdge[{std::min(a, b), std::max(a, b)}].push_back(static_cast<int>(normals.size()));
        corners.push_back(position(model, a));
      }
      normals.push_back(faceNormal(corners));
    }
  }
  double largest = 0, sum = 0;
  int count = 0;
  for (const auto& [edge, faces] : facesOfEdge) {
    if (faces.size() != 2) continue;
    const Vector& m = normals[faces[0]];
    const Vector& n = normals[faces[1]];
    const double cosine = std::clamp(m[0] * n[0] + m[1] * n[1] + m[2] * n[2], -1.0, 1.0);
    const double degrees = std::acos(cosine) * 180 / std::numbers::pi;
    largest = std::max(largest, degrees);
    sum += degrees;
    ++count;
  }
  std::printf(
      "angle between adjacent face normals over %d edges: largest %.3g degrees, mean %.3g\n", count,
      largest, count > 0 ? sum / count : 0.0);
  return 0;
}

int steps(const Mesh& model) {
  std::vector<double> step;
  for (int i = 1; i < model.vertexColumns(); ++i) {
    const Vector d = difference(position(model, i), position(model, i - 1));
    step.push_back(std::hypot(d[0], d[1], d[2]));
  }
  if (step.empty()) {
    std::fprintf(stderr, "model_smoothness: fewer than two vertices\n");
    return 1;
  }
  const double largest = *std::max_element(step.begin(), step.end());
  std::nth_element(step.begin(), step.begin() + step.size() / 2, step.end());
  std::printf("step between consecutive vertices: largest %.3g, median %.3g\n", largest,
              step[step.size() / 2]);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: model_smoothness MODEL\n");
    return 2;
  }
  Mesh model;
  if (cagewarp::Status read = cagewarp::readText(model, argv[1]); !read.ok) {
    std::fprintf(stderr, "model_smoothness: %s\n", read.message.c_str());
    return 1;
  }
  return model.cellCount(2) + model.cellCount(3) > 0 ? foldAngles(model) : steps(model);
}
