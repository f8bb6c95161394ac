#include "formats/cage_cells.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>

namespace cagewarp {
namespace {

using Face = std::vector<int>;

// Outward faces of the volume types, counter-clockwise seen from outside (as the tables have
// them).
const std::vector<Face>& outwardFaces(int t) {
  static const std::vector<Face> faces[4] = {
      {{1, 2, 3}, {0, 3, 2}, {0, 1, 3}, {0, 2, 1}},
      {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}, {0, 4, 1}, {5, 2, 1}, {5, 3, 2}, {5, 4, 3}, {5, 1, 4}},
      {{0, 2, 1}, {3, 4, 5}, {0, 1, 4, 3}, {1, 2, 5, 4}, {2, 0, 3, 5}},
      {{0, 3, 2, 1}, {4, 5, 6, 7}, {0, 1, 5, 4}, {1, 2, 6, 5}, {2, 3, 7, 6}, {3, 0, 4, 7}},
  };
  return faces[t - tetrahedronType];
}

// A permutation of the local vertices that maps each volume type onto its mirror image.
constexpr std::array<std::array<int, 8>, 4> mirrorOrder = {{
    {0, 2, 1, 3},
    {0, 1, 4, 3, 2, 5},
    {0, 2, 1, 3, 5, 4},
    {0, 3, 2, 1, 4, 7, 6, 5},
}};

struct Point {
  double x, y, z;
};

Point pointOf(const Mesh& mesh, int32_t v) {
  const float* p = mesh.vertices.column(v) + mesh.xyzRow;
  return {p[0], p[1], p[2]};
}

// a . (b x c): six times the signed volume of the tetrahedron (origin, a, b, c).
double tripleProduct(const Point& a, const Point& b, const Point& c) {
  return a.x * (b.y * c.z - b.z * c.y) + a.y * (b.z * c.x - b.x * c.z) +
         a.z * (b.x * c.y - b.y * c.x);
}

}  // namespace

bool CellMapping::higherOrder() const {
  const int corners = type == pyramidCell ? 5 : verticesPerCell[type];
  return nodes > corners;
}

const CellMapping* findMapping(const std::vector<CellMapping>& table, int code) {
  for (const CellMapping& map : table)
    if (map.code == code) return &map;
  return nullptr;
}

void CellCollector::add(const CellMapping& map, const int32_t* nodes) {
  if (map.higherOrder()) ++higherOrder_;
  if (map.type == pyramidCell) {
    // Cut along the base diagonal from the first corner: both halves keep the apex.
    int32_t v[5];
    for (int k = 0; k < 5; ++k) v[k] = nodes[map.order[k]];
    std::vector<int32_t>& tetrahedra = cells_[tetrahedronType];
    tetrahedra.insert(tetrahedra.end(), {v[0], v[1], v[2], v[4], v[0], v[2], v[3], v[4]});
    ++pyramids_;
    return;
  }
  for (int k = 0; k < verticesPerCell[map.type]; ++k)
    cells_[map.type].push_back(nodes[map.order[k]]);
}

void CellCollector::finish(Mesh& mesh, const std::string& fileName, Warnings& warnings) {
  for (int t = 0; t < cellTypeCount; ++t) {
    // A cell array counts its elements in an int; more is more than a run can hold.
    if (cells_[t].size() > static_cast<size_t>(INT_MAX)) throw std::bad_alloc();
    const int count = static_cast<int>(cells_[t].size()) / verticesPerCell[t];
    IntArray block({verticesPerCell[t], count}, 0);
    std::copy(cells_[t].begin(), cells_[t].end(), block.data());
    mesh.cells[t] = std::move(block);
    cells_[t].clear();
  }
  if (higherOrder_ > 0) {
    warnings.push_back(fileName + ": " + std::to_string(higherOrder_) +
                       " higher-order cells read by their corner vertices only");
  }
  if (pyramids_ > 0) {
    warnings.push_back(fileName + ": " + std::to_string(pyramids_) +
                       " pyramids read as two tetrahedra each");
  }
  const int64_t reoriented = reorientInvertedCells(mesh);
  if (reoriented > 0) {
    warnings.push_back(fileName + ": " + std::to_string(reoriented) +
                       " inverted volume cells reoriented");
  }
}

double signedVolume(const Mesh& mesh, int t, const int32_t* cell) {
  double sum = 0.0;
  for (const Face& face : outwardFaces(t)) {
    if (face.size() == 3) {
      sum += tripleProduct(pointOf(mesh, cell[face[0]]), pointOf(mesh, cell[face[1]]),
                           pointOf(mesh, cell[face[2]]));
      continue;
    }
    // A quad need not be planar; fanning it around its centre makes the volume independent of
    // where the listing starts, so the mirror order gives exactly the negated volume.
    Point centre{0, 0, 0};
    for (int k : face) {
      const Point p = pointOf(mesh, cell[k]);
      centre = {centre.x + p.x / 4, centre.y + p.y / 4, centre.z + p.z / 4};
    }
    for (size_t k = 0; k < face.size(); ++k) {
      sum += tripleProduct(centre, pointOf(mesh, cell[face[k]]),
                           pointOf(mesh, cell[face[(k + 1) % face.size()]]));
    }
  }
  return sum / 6.0;
}

bool isInverted(const Mesh& mesh, int t, const int32_t* cell) {
  const double volume = signedVolume(mesh, t, cell);
  // Rounding noise of a flat cell is not an inversion.
  Point low = pointOf(mesh, cell[0]);
  Point high = low;
  for (int k = 1; k < verticesPerCell[t]; ++k) {
    const Point p = pointOf(mesh, cell[k]);
    low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
    high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
  }
  const double size = std::max({high.x - low.x, high.y - low.y, high.z - low.z});
  return volume < -1e-12 * size * size * size;
}

int64_t reorientInvertedCells(Mesh& mesh) {
  int64_t changed = 0;
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    IntArray& cells = mesh.cells[t];
    const int n = verticesPerCell[t];
    for (int j = 0; j < cells.cols(); ++j) {
      int32_t* cell = cells.column(j);
      if (!isInverted(mesh, t, cell)) continue;
      int32_t mirrored[8];
      for (int k = 0; k < n; ++k) mirrored[k] = cell[mirrorOrder[t - tetrahedronType][k]];
      std::copy(mirrored, mirrored + n, cell);
      ++changed;
    }
  }
  return changed;
}

std::string invertedCellsWarning(const Mesh& mesh, const std::string& fileName) {
  constexpr int named = 10;  // cells named in full; the rest are counted
  if (mesh.vertexRows() < mesh.xyzRow + 3) return "";
  int64_t count = 0;
  std::string names;
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    const IntArray& cells = mesh.cells[t];
    for (int j = 0; j < cells.cols(); ++j) {
      if (!isInverted(mesh, t, cells.column(j))) continue;
      if (++count <= named)
        names += (names.empty() ? "" : ", ") + std::string(volumeCellNames[t - tetrahedronType]) +
                 " " + std::to_string(j);
    }
  }
  if (count == 0) return "";
  if (count > named) names += " and " + std::to_string(count - named) + " more";
  return fileName + ": " + std::to_string(count) + " inverted volume cells (" + names +
         ", counting from 0 within their type) left as they are; model vertices inside them "
         "are not found";
}

void octahedronTetrahedra(const int32_t* octahedron, int32_t* tetrahedra) {
  // Equator edge (k, k+1) with the axis 5 -> 0: positive when the equator turns
  // counter-clockwise seen from 0.
  for (int k = 0; k < 4; ++k) {
    int32_t* tetrahedron = tetrahedra + 4 * k;
    tetrahedron[0] = octahedron[1 + k];
    tetrahedron[1] = octahedron[1 + (k + 1) % 4];
    tetrahedron[2] = octahedron[5];
    tetrahedron[3] = octahedron[0];
  }
}

}  // namespace cagewarp
