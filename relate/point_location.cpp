#include "relate/point_location.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <string>
#include <vector>

#include "mesh/cell_type.h"

namespace cagewarp {
Matrix selectWeightColumns(const WeightColumns& weights, const IntArray& columns) {
  Matrix selected(weights.rows, columns.count());
  for (int j = 0; j < columns.count(); ++j) {
    CAGEWARP_CHECK(columns[j] >= 0 && columns[j] < static_cast<int>(weights.columns.size()));
    float* out = selected.column(j);
    for (const WeightEntry& entry : weights.columns[columns[j]]) out[entry.row] = entry.value;
  }
  return selected;
}

Matrix denseWeights(const WeightColumns& weights) {
  const int count = static_cast<int>(weights.columns.size());
  IntArray all({count}, 0);
  for (int j = 0; j < count; ++j) all[j] = j;
  return selectWeightColumns(weights, all);
}

int modelPositionRow(int rows) {
  switch (rows) {
    case 6:
      return 3;
    case 8:
      return 5;
    case 10:
      return 7;
    default:
      return 0;
  }
}

namespace {

const char* const typeNames[8] = {"", "", "", "", "tetrahedra", "octahedra", "prisms", "hexahedra"};

struct BoundingBox {
  float xmin, xmax, ymin, ymax, zmin, zmax;
};

BoundingBox cellBox(const Mesh& control, int t, int c) {
  const int* vertex = control.cells[t].column(c);
  const float* p = control.vertices.column(vertex[0]);
  BoundingBox box{p[0], p[0], p[1], p[1], p[2], p[2]};
  for (int h = 1; h < verticesPerCell[t]; ++h) {
    p = control.vertices.column(vertex[h]);
    box.xmin = smallerOf(p[0], box.xmin);
    box.xmax = largerOf(p[0], box.xmax);
    box.ymin = smallerOf(p[1], box.ymin);
    box.ymax = largerOf(p[1], box.ymax);
    box.zmin = smallerOf(p[2], box.zmin);
    box.zmax = largerOf(p[2], box.zmax);
  }
  return box;
}

// A cell's weight rows side by side, with the rows where any of them is non-zero (NaN
// included). Built on the cell's first hit only.
struct WeightBlock {
  Matrix b;
  std::vector<int> nonZeroRows;
};

WeightBlock weightBlock(const Mesh& control, int t, int c, int weightRow) {
  const int k = verticesPerCell[t];
  const int n = control.vertices.rows() - weightRow;
  WeightBlock block{Matrix(n, k), {}};
  const int* vertex = control.cells[t].column(c);
  for (int h = 0; h < k; ++h) {
    const float* source = control.vertices.column(vertex[h]) + weightRow;
    std::copy(source, source + n, block.b.column(h));
  }
  for (int r = 0; r < n; ++r) {
    bool nonZero = false;
    for (int h = 0; h < k && !nonZero; ++h) nonZero = block.b(r, h) != 0.0f;
    if (nonZero) block.nonZeroRows.push_back(r);
  }
  return block;
}

// Column J becomes (U * column + B * lambda) * (1 / (U + 1)), each step rounded as the matrix
// operations round it (B * lambda accumulates over the cell's vertices in order). Rows outside
// the column's list and B's non-zero rows stay +0: there U * (+0) + B * lambda is exactly +0,
// since that sum starts at +0, B's row holds only zeros and lambda is finite.
void addCellResult(std::vector<WeightEntry>& column, int count, const WeightBlock& block,
                   const Matrix& lambda) {
  const Matrix& b = block.b;
  const int k = b.cols();
  const float scale = static_cast<float>(count);
  const float reciprocal = 1.0f / static_cast<float>(count + 1);
  auto mean = [&](int r, float old) {
    float product = 0.0f;
    for (int h = 0; h < k; ++h) product = b(r, h) * lambda[h] + product;
    return reciprocal * (scale * old + product);
  };
  const std::vector<int>& rows = block.nonZeroRows;
  std::vector<WeightEntry> merged;
  merged.reserve(column.size() + rows.size());
  size_t i = 0;
  size_t j = 0;
  while (i < column.size() || j < rows.size()) {
    if (j == rows.size() || (i < column.size() && column[i].row < rows[j])) {
      merged.push_back({column[i].row, mean(column[i].row, column[i].value)});
      ++i;
    } else if (i == column.size() || rows[j] < column[i].row) {
      merged.push_back({rows[j], mean(rows[j], 0.0f)});
      ++j;
    } else {
      merged.push_back({rows[j], mean(rows[j], column[i].value)});
      ++i;
      ++j;
    }
  }
  column.swap(merged);
}

// The model positions in ascending y, x and z beside y so that the sweep reads them in order.
struct ModelPoints {
  FloatArray y;
  IntArray byY;                                 // byY[u] = model vertex of y[u]
  std::vector<std::array<float, 3>> positions;  // positions[u] of vertex byY[u]
};

void sweepCells(const Mesh& control, const CellFaceTables& faces, const ModelPoints& model,
                int weightRow, ModelLocation& location) {
  const int t = faces.type;
  const int cellCount = control.cellCount(t);
  const int vertexCount = model.y.count();
  std::vector<BoundingBox> boxes(cellCount);
  FloatArray ymin({cellCount}, 0.0f);
  for (int c = 0; c < cellCount; ++c) {
    boxes[c] = cellBox(control, t, c);
    ymin[c] = boxes[c].ymin;
  }
  const IntArray byYmin = ymin.sortWithIndex();

  int m = 0;
  int o = 0;
  while (m < cellCount && o < vertexCount) {
    const int cell = byYmin[m];
    const BoundingBox& box = boxes[cell];
    if (box.ymax < model.y[o]) {
      ++m;
      continue;
    }
    if (box.ymin > model.y[o]) {
      ++o;
      continue;
    }
    std::optional<WeightBlock> block;
    for (int u = o; u < vertexCount && model.y[u] <= box.ymax; ++u) {
      const float* p = model.positions[u].data();
      if (!(box.xmin <= p[0] && p[0] <= box.xmax && box.zmin <= p[2] && p[2] <= box.zmax)) continue;
      const CellCoordinates coordinates = cellCoordinates(control, faces, cell, p);
      if (!coordinates.inside) continue;
      const int J = model.byY[u];
      if (!block) block = weightBlock(control, t, cell, weightRow);
      int& count = location.enclosureCount[J];
      addCellResult(location.weights.columns[J], count, *block, coordinates.lambda);
      ++count;
    }
    ++m;
  }
}

// Checks that every cell names existing vertices, so no later read leaves the vertex matrix.
void checkCellVertices(const Mesh& control, int t) {
  const IntArray& cells = control.cells[t];
  const int vertexCount = control.vertexColumns();
  for (int i = 0; i < cells.count(); ++i) CAGEWARP_CHECK(cells[i] >= 0 && cells[i] < vertexCount);
}

}  // namespace

ModelLocation locateModelVertices(const Mesh& control, const Matrix& model, int weightRow,
                                  const LookupTables& tables, Warnings& warnings) {
  const int rows = control.vertexRows();
  CAGEWARP_CHECK(weightRow >= 0 && weightRow <= rows);
  const int modelCount = model.isEmpty() ? 0 : model.cols();
  ModelLocation location;
  location.weights.rows = rows - weightRow;
  location.weights.columns.resize(modelCount);
  location.enclosureCount = IntArray({modelCount}, 0);

  std::array<std::optional<CellFaceTables>, 8> faces;
  for (int t = tetrahedronType; t <= hexahedronType; ++t) {
    if (control.cellCount(t) == 0) continue;
    CAGEWARP_CHECK(rows >= 3);
    checkCellVertices(control, t);
    CheckedCellFaceTables checked = cellFaceTables(tables, t);
    if (checked.status.ok)
      faces[t] = checked.faces;
    else
      warnings.push_back(checked.status.message + "; " + typeNames[t] + " enclose no model vertex");
  }
  // Too few rows to hold a position: nothing can be located.
  if (modelCount == 0 || model.rows() < 3) return location;

  const int s = modelPositionRow(model.rows());
  // A vertex whose y is not a number never passes the box tests, and in the sweep it
  // would hold the vertex pointer for good, so that no later vertex met a cell: it takes no part.
  // Which cells meet which vertices depends on the y values alone, not on the order among equal
  // values, so a stable sort serves (and stays fast on presorted models).
  std::vector<std::pair<float, int>> byY;
  byY.reserve(modelCount);
  for (int j = 0; j < modelCount; ++j)
    if (!std::isnan(model(s + 1, j))) byY.emplace_back(model(s + 1, j), j);
  std::stable_sort(byY.begin(), byY.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  const int swept = static_cast<int>(byY.size());
  ModelPoints points{FloatArray({swept}, 0.0f), IntArray({swept}, 0), {}};
  points.positions.resize(swept);
  for (int u = 0; u < swept; ++u) {
    points.y[u] = byY[u].first;
    points.byY[u] = byY[u].second;
    std::copy_n(model.column(byY[u].second) + s, 3, points.positions[u].data());
  }

  for (int t = tetrahedronType; t <= hexahedronType; ++t)
    if (faces[t]) sweepCells(control, *faces[t], points, weightRow, location);
  return location;
}

}  // namespace cagewarp
