#pragma once

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "formats/cage_cells.h"
#include "mesh/mesh.h"

namespace cagewarp::testing {

// True when `tool` is an executable on PATH.
inline bool toolOnPath(const std::string& tool) {
  return std::system(("command -v " + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs a shell command quietly; true when it exits with status 0.
inline bool runQuietly(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

// A mesh from literal positions (x, y, z per vertex) and cells per type.
inline Mesh meshOf(std::initializer_list<float> xyz,
                   std::initializer_list<std::pair<int, std::vector<int32_t>>> cells) {
  Mesh mesh(3);
  mesh.vertices = Matrix(3, static_cast<int>(xyz.size() / 3));
  std::copy(xyz.begin(), xyz.end(), mesh.vertices.data());
  for (const auto& [t, list] : cells) {
    IntArray block({verticesPerCell[t], static_cast<int>(list.size()) / verticesPerCell[t]}, 0);
    std::copy(list.begin(), list.end(), block.data());
    appendCells(mesh, t, block);
  }
  return mesh;
}

// The cells of type t as their vertex positions in local order, sorted: equal for two meshes
// that hold the same cells in the same local orders, however their vertices are numbered.
inline std::vector<std::vector<float>> cellPositions(const Mesh& mesh, int t) {
  std::vector<std::vector<float>> cells;
  for (int j = 0; j < mesh.cellCount(t); ++j) {
    std::vector<float> cell;
    for (int k = 0; k < verticesPerCell[t]; ++k) {
      const float* p = mesh.vertices.column(mesh.cells[t].at(k, j)) + mesh.xyzRow;
      cell.insert(cell.end(), p, p + 3);
    }
    cells.push_back(std::move(cell));
  }
  std::sort(cells.begin(), cells.end());
  return cells;
}

// Sum of the signed volumes of the volume cells, and how many are not positive.
struct VolumeSummary {
  double total = 0.0;
  int nonPositive = 0;
};
inline VolumeSummary volumeSummary(const Mesh& mesh) {
  VolumeSummary summary;
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    for (int j = 0; j < mesh.cellCount(t); ++j) {
      const double volume = signedVolume(mesh, t, mesh.cells[t].column(j));
      summary.total += volume;
      summary.nonPositive += volume <= 0.0;
    }
  }
  return summary;
}

}  // namespace cagewarp::testing
