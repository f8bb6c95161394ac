// Writes a moved copy of a control mesh in any cage format, for trying --deform; the copy is in
// the format its name gives (mesh text for any extension that names no cage format). Both poses
// work in the box around the vertices:
//   pose_cage twist DEGREES IN OUT  turns each vertex about the vertical (z) axis through the
//                                   box centre, by 0 at the bottom of the box up to DEGREES at
//                                   its top
//   pose_cage bend DEGREES IN OUT   bends the box along x into an arc about an axis parallel to
//                                   y above it, its two x ends meeting at DEGREES
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <string>

#include "formats/cage_file.h"
#include "formats/file_format.h"
#include "formats/mesh_text.h"
#include "mesh/mesh.h"

namespace {

int usage() {
  std::fprintf(stderr, "usage: pose_cage twist|bend DEGREES IN OUT\n");
  return 2;
}

struct Box {
  double low[3] = {1e30, 1e30, 1e30};
  double high[3] = {-1e30, -1e30, -1e30};
};

Box boxAround(const cagewarp::Mesh& mesh) {
  Box box;
  for (int i = 0; i < mesh.vertexColumns(); ++i)
    for (int k = 0; k < 3; ++k) {
      const double value = mesh.vertices(mesh.xyzRow + k, i);
      box.low[k] = std::min(box.low[k], value);
      box.high[k] = std::max(box.high[k], value);
    }
  return box;
}

void twist(cagewarp::Mesh& mesh, double degrees) {
  cagewarp::Matrix& v = mesh.vertices;
  const int x = mesh.xyzRow, y = x + 1, z = x + 2;
  const Box box = boxAround(mesh);
  const double* low = box.low;
  const double* high = box.high;
  const double cx = (low[0] + high[0]) / 2, cy = (low[1] + high[1]) / 2;
  const double height = std::max(high[2] - low[2], 1e-30);
  for (int i = 0; i < v.cols(); ++i) {
    const double angle = degrees * std::numbers::pi / 180 * (v(z, i) - low[2]) / height;
    const double dx = v(x, i) - cx, dy = v(y, i) - cy;
    v(x, i) = static_cast<float>(cx + std::cos(angle) * dx - std::sin(angle) * dy);
    v(y, i) = static_cast<float>(cy + std::sin(angle) * dx + std::cos(angle) * dy);
  }
}

// The box's mid-height line along x keeps its length and becomes an arc of radius r; a vertex at
// height h above that line lands at radius r - h.
void bend(cagewarp::Mesh& mesh, double degrees) {
  cagewarp::Matrix& v = mesh.vertices;
  const int x = mesh.xyzRow, z = x + 2;
  const Box box = boxAround(mesh);
  const double cx = (box.low[0] + box.high[0]) / 2, cz = (box.low[2] + box.high[2]) / 2;
  const double total = std::max(degrees * std::numbers::pi / 180, 1e-9);
  const double radius = (box.high[0] - box.low[0]) / total;
  for (int i = 0; i < v.cols(); ++i) {
    const double angle = (v(x, i) - cx) / radius;
    const double r = radius - (v(z, i) - cz);
    v(x, i) = static_cast<float>(cx + r * std::sin(angle));
    v(z, i) = static_cast<float>(cz + radius - r * std::cos(angle));
  }
}

// Mesh text keeps every row of the cage as it was read; the other formats hold positions.
cagewarp::Status writePose(const cagewarp::Mesh& mesh, const std::string& path) {
  if (cagewarp::formatOfPath(path) == cagewarp::FileFormat::meshText)
    return cagewarp::writeText(mesh, path);
  return cagewarp::writeCagePositions(mesh, path);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string pose = argc == 5 ? argv[1] : "";
  if (pose != "twist" && pose != "bend") return usage();
  cagewarp::Mesh mesh;
  cagewarp::Warnings warnings;
  const cagewarp::Status read = cagewarp::readCage(argv[3], mesh, warnings);
  for (const std::string& warning : warnings)
    std::fprintf(stderr, "pose_cage: warning: %s\n", warning.c_str());
  if (!read.ok) {
    std::fprintf(stderr, "pose_cage: %s\n", read.message.c_str());
    return 1;
  }
  (pose == "twist" ? twist : bend)(mesh, std::atof(argv[2]));
  if (cagewarp::Status written = writePose(mesh, argv[4]); !written.ok) {
    std::fprintf(stderr, "pose_cage: %s\n", written.message.c_str());
    return 1;
  }
  return 0;
}
