#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "array/matrix.h"
#include "formats/mesh_text.h"
#include "mesh/mesh.h"

// Deterministic test scenes: a warped hexahedral cage and models to place in it. Used by the
// bundled example and the benchmarks, so both are reproducible from source.
namespace cagewarp::scene {

struct Point {
  float x, y, z;
};

struct SceneMesh {
  std::vector<Point> vertices;
  std::vector<std::vector<int>> cells;  // all of one type
  int cellType = 0;
};

// A fixed linear congruential sequence, so scenes do not depend on the standard library.
class Sequence {
 public:
  explicit Sequence(uint64_t seed) : state_(seed * 2862933555777941757ULL + 3037000493ULL) {}
  // Uniform in [0, 1).
  double next() {
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state_ >> 11) / 9007199254740992.0;
  }

 private:
  uint64_t state_;
};

// K x K x K hexahedra over the unit cube, interior grid points moved by a smooth warp of a tenth
// of a cell, so most faces are slightly non-planar while every cell stays convex.
inline SceneMesh warpedHexCage(int k) {
  SceneMesh mesh;
  mesh.cellType = 7;
  const int m = k + 1;
  const double h = 1.0 / k;
  for (int z = 0; z < m; ++z) {
    for (int y = 0; y < m; ++y) {
      for (int x = 0; x < m; ++x) {
        double px = x * h, py = y * h, pz = z * h;
        const bool interior = x > 0 && x < k && y > 0 && y < k && z > 0 && z < k;
        if (interior) {
          px += 0.1 * h * std::sin(3.1 * py + 1.7 * pz + x);
          py += 0.1 * h * std::sin(2.3 * pz + 1.1 * px + y);
          pz += 0.1 * h * std::sin(1.9 * px + 2.9 * py + z);
        }
        mesh.vertices.push_back(
            {static_cast<float>(px), static_cast<float>(py), static_cast<float>(pz)});
      }
    }
  }
  const auto id = [m](int x, int y, int z) { return x + m * (y + m * z); };
  for (int z = 0; z < k; ++z)
    for (int y = 0; y < k; ++y)
      for (int x = 0; x < k; ++x)
        mesh.cells.push_back({id(x, y, z), id(x + 1, y, z), id(x + 1, y + 1, z), id(x, y + 1, z),
                              id(x, y, z + 1), id(x + 1, y, z + 1), id(x + 1, y + 1, z + 1),
                              id(x, y + 1, z + 1)});
  return mesh;
}

// M points spread over a box slightly larger than the unit cube, [low, low + width] on every
// axis: most inside, some outside.
inline SceneMesh scatteredPoints(int count, uint64_t seed, double low = -0.03,
                                 double width = 1.06) {
  SceneMesh mesh;
  Sequence random(seed);
  for (int i = 0; i < count; ++i) {
    const auto coordinate = [&] { return static_cast<float>(low + width * random.next()); };
    const float x = coordinate(), y = coordinate(), z = coordinate();
    mesh.vertices.push_back({x, y, z});
  }
  return mesh;
}

// A latitude-longitude sphere of triangles around (0.5, 0.5, 0.5).
inline SceneMesh sphere(int rings, int segments, float radius) {
  SceneMesh mesh;
  mesh.cellType = 2;
  const double pi = 3.14159265358979323846;
  mesh.vertices.push_back({0.5f, 0.5f, 0.5f + radius});
  for (int r = 1; r < rings; ++r) {
    const double theta = pi * r / rings;
    for (int s = 0; s < segments; ++s) {
      const double phi = 2 * pi * s / segments;
      mesh.vertices.push_back({static_cast<float>(0.5 + radius * std::sin(theta) * std::cos(phi)),
                               static_cast<float>(0.5 + radius * std::sin(theta) * std::sin(phi)),
                               static_cast<float>(0.5 + radius * std::cos(theta))});
    }
  }
  const int south = static_cast<int>(mesh.vertices.size());
  mesh.vertices.push_back({0.5f, 0.5f, 0.5f - radius});
  const auto ring = [segments](int r, int s) { return 1 + (r - 1) * segments + s % segments; };
  for (int s = 0; s < segments; ++s) mesh.cells.push_back({0, ring(1, s), ring(1, s + 1)});
  for (int r = 1; r + 1 < rings; ++r) {
    for (int s = 0; s < segments; ++s) {
      mesh.cells.push_back({ring(r, s), ring(r + 1, s), ring(r + 1, s + 1)});
      mesh.cells.push_back({ring(r, s), ring(r + 1, s + 1), ring(r, s + 1)});
    }
  }
  for (int s = 0; s < segments; ++s)
    mesh.cells.push_back({ring(rings - 1, s), south, ring(rings - 1, s + 1)});
  return mesh;
}

// The scene as a mesh of three vertex rows.
inline Mesh sceneMesh(const SceneMesh& scene) {
  Mesh mesh(3);
  mesh.vertices = Matrix(3, static_cast<int>(scene.vertices.size()));
  for (int j = 0; j < mesh.vertexColumns(); ++j) {
    const Point& p = scene.vertices[j];
    mesh.vertices(0, j) = p.x;
    mesh.vertices(1, j) = p.y;
    mesh.vertices(2, j) = p.z;
  }
  if (!scene.cells.empty()) {
    IntArray cells(
        {static_cast<int>(scene.cells.front().size()), static_cast<int>(scene.cells.size())}, 0);
    int k = 0;
    for (const auto& cell : scene.cells)
      for (int v : cell) cells[k++] = v;
    mesh.cells[scene.cellType] = std::move(cells);
  }
  return mesh;
}

// Writes the mesh text form: a comment, the cell record (if any), the vertex record, with
// coordinates that read back exactly.
inline bool writeScene(const SceneMesh& scene, const std::string& path,
                       const std::string& comment) {
  const MeshTextLayout layout{.comment = comment, .compact = true, .preciseFloats = true};
  return writeText(sceneMesh(scene), path, layout).ok;
}

}  // namespace cagewarp::scene
