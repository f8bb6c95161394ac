#include "driver/cage_fitting.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <numeric>
#include <string>
#include <tuple>
#include <utility>

#include "driver/binding.h"
#include "mesh/cell_type.h"
#include "relate/point_location.h"

namespace cagewarp {
namespace {

using Cell = std::array<int, 3>;  // lattice coordinates; ordered z, then y, then x

bool cellBefore(const Cell& a, const Cell& b) {
  return std::tie(a[2], a[1], a[0]) < std::tie(b[2], b[1], b[0]);
}
struct CellOrder {
  bool operator()(const Cell& a, const Cell& b) const { return cellBefore(a, b); }
};

// The finite model vertices, as a mesh of positions alone.
Mesh finitePoints(const Mesh& model) {
  const int s = modelPositionRow(model.vertices.rows());
  std::vector<int> kept;
  for (int v = 0; v < model.vertexColumns(); ++v) {
    const float* p = model.vertices.column(v) + s;
    if (std::isfinite(p[0]) && std::isfinite(p[1]) && std::isfinite(p[2])) kept.push_back(v);
  }
  Mesh points(3);
  points.vertices = Matrix(3, static_cast<int>(kept.size()));
  for (size_t j = 0; j < kept.size(); ++j)
    std::copy_n(model.vertices.column(kept[j]) + s, 3, points.vertices.column(static_cast<int>(j)));
  return points;
}

// A lattice of cells of size step[a] along axis a from `origin`.
struct Lattice {
  std::array<double, 3> origin{}, step{};
  std::array<int, 3> count{};
};

// The hexahedra of the listed lattice cells, corners numbered in lattice order (z, then y, then
// x), each cell's corners as the hexahedron tables expect them: the lower face around from the
// lowest corner (x first), then the upper face the same way.
Mesh latticeCage(const Lattice& lattice, const std::vector<Cell>& cells) {
  static constexpr std::array<Cell, 8> offsets = {
      {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0, 0, 1}, {1, 0, 1}, {1, 1, 1}, {0, 1, 1}}};
  std::map<Cell, int, CellOrder> corners;
  for (const Cell& c : cells)
    for (const Cell& o : offsets) corners.emplace(Cell{c[0] + o[0], c[1] + o[1], c[2] + o[2]}, 0);
  Mesh cage(3);
  cage.vertices = Matrix(3, static_cast<int>(corners.size()));
  int index = 0;
  for (auto& [corner, number] : corners) {
    number = index;
    for (int a = 0; a < 3; ++a)
      cage.vertices(a, index) = static_cast<float>(lattice.origin[a] + lattice.step[a] * corner[a]);
    ++index;
  }
  IntArray hexahedra({8, static_cast<int>(cells.size())}, 0);
  for (size_t j = 0; j < cells.size(); ++j)
    for (int h = 0; h < 8; ++h) {
      const Cell& c = cells[j];
      const Cell& o = offsets[h];
      hexahedra[static_cast<int>(8 * j) + h] = corners.at({c[0] + o[0], c[1] + o[1], c[2] + o[2]});
    }
  cage.cells[hexahedronType] = std::move(hexahedra);
  return cage;
}

// Sets of cells joined by shared corners.
int countParts(const Mesh& cage) {
  std::vector<int> parent(cage.vertexColumns());
  std::iota(parent.begin(), parent.end(), 0);
  const auto root = [&](int v) {
    while (parent[v] != v) v = parent[v] = parent[parent[v]];
    return v;
  };
  const IntArray& cells = cage.cells[hexahedronType];
  for (int c = 0; c < cells.cols(); ++c)
    for (int h = 1; h < 8; ++h) parent[root(cells.column(c)[h])] = root(cells.column(c)[0]);
  int parts = 0;
  for (int v = 0; v < cage.vertexColumns(); ++v) parts += root(v) == v;
  return parts;
}

Cell cellOf(const Lattice& lattice, const float* p) {
  Cell c{};
  for (int a = 0; a < 3; ++a)
    c[a] = static_cast<int>(std::floor((p[a] - lattice.origin[a]) / lattice.step[a]));
  return c;
}

// The points' bounding box.
void boundingBox(const Mesh& points, std::array<double, 3>& low, std::array<double, 3>& high) {
  low.fill(HUGE_VAL);
  high.fill(-HUGE_VAL);
  for (int v = 0; v < points.vertexColumns(); ++v)
    for (int a = 0; a < 3; ++a) {
      low[a] = std::min(low[a], double{points.vertices(a, v)});
      high[a] = std::max(high[a], double{points.vertices(a, v)});
    }
}

// The whole lattice over the box grown by `margin`: `cells` along the longest side, cells of
// about the same length along the others.
Lattice boxLattice(const std::array<double, 3>& low, const std::array<double, 3>& high,
                   double margin, int cells) {
  Lattice lattice;
  std::array<double, 3> side{};
  for (int a = 0; a < 3; ++a) side[a] = high[a] - low[a] + 2 * margin;
  const double longest = *std::max_element(side.begin(), side.end());
  for (int a = 0; a < 3; ++a) {
    lattice.count[a] = std::max(1, static_cast<int>(std::lround(cells * side[a] / longest)));
    lattice.step[a] = side[a] / lattice.count[a];
    lattice.origin[a] = low[a] - margin;
  }
  return lattice;
}

// Which of the points the cage, refined, leaves outside every cell; false when refining fails.
Status outsidePoints(const Mesh& cage, const Mesh& points, const LookupTables& tables,
                     const CageRequest& request, std::vector<int>& outside, double& distance) {
  BindingOptions options;
  options.operations = request.operations;
  options.threads = request.threads;
  Binding binding;
  if (Status status = bindModel(cage, points, tables, options, binding); !status.ok) return status;
  outside.clear();
  const IntArray& bound = binding.relation.enclosedIndices;
  int next = 0;
  for (int v = 0; v < points.vertexColumns(); ++v) {
    if (next < bound.count() && bound[next] == v)
      ++next;
    else
      outside.push_back(v);
  }
  distance = binding.outside.count > 0 ? binding.outside.surfaceDistance : 0;
  return Status::success();
}

constexpr int maxAttempts = 40;

Status fitBox(const Mesh& points, const LookupTables& tables, const CageRequest& request,
              double scale, FittedCage& fitted) {
  std::array<double, 3> low{}, high{};
  boundingBox(points, low, high);
  // A margin of a hundredth keeps the model off the cage's own faces; the rest is measured.
  double margin = 0.01 * scale;
  std::vector<int> outside;
  for (fitted.attempts = 1; fitted.attempts <= maxAttempts; ++fitted.attempts) {
    const Lattice lattice = boxLattice(low, high, margin, request.cells);
    std::vector<Cell> cells;
    for (int z = 0; z < lattice.count[2]; ++z)
      for (int y = 0; y < lattice.count[1]; ++y)
        for (int x = 0; x < lattice.count[0]; ++x) cells.push_back({x, y, z});
    fitted.cage = latticeCage(lattice, cells);
    fitted.margin = margin;
    std::copy(lattice.count.begin(), lattice.count.end(), fitted.lattice);
    fitted.cellSize = *std::max_element(lattice.step.begin(), lattice.step.end());
    double distance = 0;
    if (Status s = outsidePoints(fitted.cage, points, tables, request, outside, distance); !s.ok)
      return s;
    if (outside.empty()) return Status::success();
    // Refinement pulled the surface in by at least `distance` past the farthest vertex; the
    // cells grow with the margin, and with them how far smoothing pulls, hence a quarter more.
    margin += 1.25 * (std::isfinite(distance) ? distance : fitted.cellSize) + 1e-6 * scale;
  }
  return Status::failure("no box cage encloses the model after " + std::to_string(maxAttempts) +
                         " attempts");
}

Status fitShape(const Mesh& points, const LookupTables& tables, const CageRequest& request,
                double scale, FittedCage& fitted) {
  std::array<double, 3> low{}, high{};
  boundingBox(points, low, high);
  // Cubic cells, `cells` of them along the longest side of the box, centred on it.
  const double step = scale / request.cells;
  Lattice lattice;
  for (int a = 0; a < 3; ++a) {
    lattice.count[a] = std::max(1, static_cast<int>(std::ceil((high[a] - low[a]) / step)));
    lattice.step[a] = step;
    lattice.origin[a] = 0.5 * (low[a] + high[a]) - 0.5 * step * lattice.count[a];
  }
  std::copy(lattice.count.begin(), lattice.count.end(), fitted.lattice);
  fitted.cellSize = step;
  // Each occupied cell with the rings of cells around it that it needs: one, and one more each
  // time a vertex in it is left outside.
  std::map<Cell, int, CellOrder> rings;
  for (int v = 0; v < points.vertexColumns(); ++v)
    rings.emplace(cellOf(lattice, points.vertices.column(v)), 1);
  std::vector<int> outside;
  for (fitted.attempts = 1; fitted.attempts <= maxAttempts; ++fitted.attempts) {
    std::vector<Cell> cells;
    fitted.rings = 0;
    for (const auto& [c, r] : rings) {
      fitted.rings = std::max(fitted.rings, r);
      for (int z = -r; z <= r; ++z)
        for (int y = -r; y <= r; ++y)
          for (int x = -r; x <= r; ++x) cells.push_back({c[0] + x, c[1] + y, c[2] + z});
    }
    std::sort(cells.begin(), cells.end(), cellBefore);
    cells.erase(std::unique(cells.begin(), cells.end()), cells.end());
    fitted.cage = latticeCage(lattice, cells);
    double distance = 0;
    if (Status s = outsidePoints(fitted.cage, points, tables, request, outside, distance); !s.ok)
      return s;
    if (outside.empty()) return Status::success();
    std::vector<Cell> grow;
    for (int v : outside) grow.push_back(cellOf(lattice, points.vertices.column(v)));
    std::sort(grow.begin(), grow.end(), cellBefore);
    grow.erase(std::unique(grow.begin(), grow.end()), grow.end());
    for (const Cell& c : grow) ++rings[c];
  }
  return Status::failure("no fitted cage encloses the model after " + std::to_string(maxAttempts) +
                         " attempts");
}

}  // namespace

Status fitCage(const Mesh& model, const LookupTables& tables, const CageRequest& request,
               FittedCage& fitted) {
  if (request.cells < 1) return Status::failure("a cage needs at least one cell along a side");
  const Mesh points = finitePoints(model);
  if (points.vertexColumns() == 0) return Status::failure("the model has no finite vertex");
  std::array<double, 3> low{}, high{};
  boundingBox(points, low, high);
  double scale = 0;
  for (int a = 0; a < 3; ++a) scale = std::max(scale, high[a] - low[a]);
  // A single point still gets a cage of unit size.
  if (!(scale > 0)) scale = 1;
  fitted = FittedCage{};
  const Status status = request.shape == CageShape::box
                            ? fitBox(points, tables, request, scale, fitted)
                            : fitShape(points, tables, request, scale, fitted);
  fitted.parts = countParts(fitted.cage);
  return status;
}

}  // namespace cagewarp
