#pragma once

#include <cmath>
#include <numbers>
#include <string>
#include <string_view>

// An open cylinder of radius 1 around the z axis from z = 0 to 1, as a model file with normals:
// rings of vertices (ring r, segment s is vertex r * segments + s) joined by quads that face
// outwards, each vertex's normal pointing away from the axis.
namespace cagewarp::testing {

struct Cylinder {
  int segments = 64;
  int rings = 65;

  int vertexCount() const { return segments * rings; }
  double angle(int s) const { return 2 * std::numbers::pi * s / segments; }
  double height(int r) const { return static_cast<double>(r) / (rings - 1); }
  // The corners of quad (r, s), outwards: along the ring, then up.
  void quad(int r, int s, int corners[4]) const {
    const int next = (s + 1) % segments;
    corners[0] = r * segments + s;
    corners[1] = r * segments + next;
    corners[2] = (r + 1) * segments + next;
    corners[3] = (r + 1) * segments + s;
  }

  // As OBJ (vertex normals shared by index), ASCII PLY (per-vertex nx, ny, nz) or ASCII STL
  // (each quad as two facets, with the normal at the quad's middle).
  std::string file(std::string_view extension) const {
    std::string text;
    // Rounded as the text is, and without a negative zero, which an unmoved vertex would lose.
    const auto number = [](double value) {
      return std::to_string(std::round(value * 1e6) / 1e6 + 0.0);
    };
    const auto point = [&](int v) {
      const int s = v % segments, r = v / segments;
      return number(std::cos(angle(s))) + " " + number(std::sin(angle(s))) + " " +
             number(height(r));
    };
    const auto normal = [&](int s) {
      return number(std::cos(angle(s))) + " " + number(std::sin(angle(s))) + " 0";
    };
    const int quads = segments * (rings - 1);
    if (extension == "ply")
      text = "ply\nformat ascii 1.0\nelement vertex " + std::to_string(vertexCount()) +
             "\nproperty float x\nproperty float y\nproperty float z\nproperty float nx\n"
             "property float ny\nproperty float nz\nelement face " +
             std::to_string(quads) + "\nproperty list uchar int vertex_indices\nend_header\n";
    if (extension == "stl") text = "solid cylinder\n";
    for (int v = 0; v < vertexCount() && extension != "stl"; ++v) {
      if (extension == "obj") text += "v " + point(v) + "\nvn " + normal(v % segments) + "\n";
      if (extension == "ply") text += point(v) + " " + normal(v % segments) + "\n";
    }
    for (int r = 0; r + 1 < rings; ++r) {
      for (int s = 0; s < segments; ++s) {
        int c[4];
        quad(r, s, c);
        if (extension == "obj") {
          text += "f";
          for (int k : c) text += " " + std::to_string(k + 1) + "//" + std::to_string(k + 1);
          text += "\n";
        } else if (extension == "ply") {
          text += "4 " + std::to_string(c[0]) + " " + std::to_string(c[1]) + " " +
                  std::to_string(c[2]) + " " + std::to_string(c[3]) + "\n";
        } else {
          const double middle = (angle(s) + angle(s + 1)) / 2;
          const int triangles[2][3] = {{c[0], c[1], c[2]}, {c[0], c[2], c[3]}};
          for (const auto& corners : triangles) {
            text += "facet normal " + number(std::cos(middle)) + " " + number(std::sin(middle)) +
                    " 0\nouter loop\n";
            for (int k : corners) text += "vertex " + point(k) + "\n";
            text += "endloop\nendfacet\n";
          }
        }
      }
    }
    if (extension == "stl") text += "endsolid cylinder\n";
    return text;
  }
};

}  // namespace cagewarp::testing
