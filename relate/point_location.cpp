#include "relate/point_location.h"

#include <cmath>
#include <vector>

#include "mesh/cell_type.h"

namespace cagewarp {
namespace {

constexpr int maxSlots = 24;  // F + 4Q with F + 2Q <= 12

const char* const typeNames[8] = {"", "", "", "", "tetrahedra", "octahedra", "prisms", "hexahedra"};

// True when `table` is a 2-D int matrix of `rows` rows whose entries all lie in 0..limit-1.
bool isIndexMatrix(const IntArray& table, int rows, int limit) {
  if (table.isEmpty() || table.n() != 2 || table.rows() != rows) return false;
  for (int i = 0; i < table.count(); ++i)
    if (table[i] < 0 || table[i] >= limit) return false;
  return true;
}

float absolute(float x) {
  return x > 0 ? x : -x;
}

// The cell test runs for every candidate model vertex, so it works on 3-vectors on the stack.
// Each operation below rounds exactly as its Matrix counterpart does (operator-, cross, dot,
// normalize(2)), step for step, so the results are the same bits.
using Vector = std::array<float, 3>;

Vector difference(const Vector& a, const Vector& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

Vector cross(const Vector& a, const Vector& b) {
  return {b[2] * a[1] - b[1] * a[2], b[0] * a[2] - b[2] * a[0], b[1] * a[0] - b[0] * a[1]};
}

float dot(const Vector& a, const Vector& b) {
  float sum = 0.0f;
  for (int i = 0; i < 3; ++i) sum = sum + a[i] * b[i];
  return sum;
}

// A norm not above 1e-20 leaves the vector unchanged.
void normalize(Vector& v) {
  float norm = 0.0f;
  for (int i = 0; i < 3; ++i) norm = norm + v[i] * v[i];
  norm = static_cast<float>(std::sqrt(static_cast<double>(norm)));
  if (!(norm > 1e-20)) return;
  const float r = 1.0f / norm;
  for (int i = 0; i < 3; ++i) v[i] = r * v[i];
}

// Unit normal of triangle (a, b, c): (b - a) x (c - a), normalised.
Vector unitNormal(const Vector& a, const Vector& b, const Vector& c) {
  Vector n = cross(difference(b, a), difference(c, a));
  normalize(n);
  return n;
}

using CellCorners = std::array<Vector, 8>;

CellCorners cellCorners(const Mesh& control, int t, int c) {
  CellCorners corners{};
  const int* vertex = control.cells[t].column(c);
  for (int h = 0; h < verticesPerCell[t]; ++h)
    std::copy_n(control.vertices.column(vertex[h]), 3, corners[h].data());
  return corners;
}

struct Split {
  std::array<Vector, 2> normals;
  std::array<int, 4> cornerSlots;
  int anchor;
};

Split splitQuad(const CellCorners& corners, const int* quad) {
  const Vector& v0 = corners[quad[0]];
  const Vector& v1 = corners[quad[1]];
  const Vector& v2 = corners[quad[2]];
  const Vector& v3 = corners[quad[3]];
  const Vector n = unitNormal(v0, v1, v2);
  const float d = dot(difference(v3, v0), n);
  // Cut so that the two triangles bend outward: the triangulated cell stays convex.
  if (d < 0 || std::isnan(d)) return {{n, unitNormal(v2, v3, v0)}, {0, 0, 1, 1}, quad[0]};
  return {{unitNormal(v3, v0, v1), unitNormal(v1, v2, v3)}, {0, 1, 1, 0}, quad[1]};
}

Matrix columnOf(const Vector& v) {
  Matrix m(3, 1);
  std::copy(v.begin(), v.end(), m.data());
  return m;
}

}  // namespace

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

std::optional<CellFaceTables> cellFaceTables(const LookupTables& tables, int t,
                                             std::string* problem) {
  CAGEWARP_CHECK(isVolumeType(t));
  const int k = verticesPerCell[t];
  auto reject = [&](const std::string& file, const std::string& what) {
    if (problem) *problem = file + ": " + what;
    return std::optional<CellFaceTables>();
  };
  auto missingOr = [](const IntArray& table, const std::string& what) {
    return table.isEmpty() ? std::string("missing or unreadable") : what;
  };
  const std::string kText = std::to_string(k);

  CellFaceTables faces;
  faces.type = t;
  faces.triangles = &tables.nrmTables[t];
  if (!isIndexMatrix(*faces.triangles, 3, k))
    return reject(
        tables.fileName("nrm", t),
        missingOr(*faces.triangles, "triangle faces need 3 rows of indices below " + kText));
  faces.triangleCount = faces.triangles->cols();
  if (t == prismType || t == hexahedronType) {
    faces.quads = &tables.nrmTables[t + 2];
    if (!isIndexMatrix(*faces.quads, 4, k))
      return reject(tables.fileName("nrm", t + 2),
                    missingOr(*faces.quads, "quad faces need 4 rows of indices below " + kText));
    faces.quadCount = faces.quads->cols();
  }
  const int normalCount = faces.triangleCount + 2 * faces.quadCount;
  if (normalCount > maxCellNormals)
    return reject(tables.fileName("nrm", t),
                  "more than " + std::to_string(maxCellNormals) + " face normals per cell");
  const int slotCount = faces.triangleCount + 4 * faces.quadCount;

  faces.slotsAround = &tables.barTables[t];
  const IntMatrix& bar = *faces.slotsAround;
  if (bar.isEmpty() || bar.n() != 2 || bar.cols() != k || bar.rows() < 1 ||
      bar.rows() > maxSlotsAroundVertex || !isIndexMatrix(bar, bar.rows(), slotCount))
    return reject(
        tables.fileName("bar", t),
        missingOr(bar, kText + " columns of 1 to " + std::to_string(maxSlotsAroundVertex) +
                           " face slots below " + std::to_string(slotCount) + " expected"));
  faces.slotsPerVertex = bar.rows();

  faces.slotMap = &tables.brnTables[t];
  const IntMatrix& brn = *faces.slotMap;
  bool slotMapFits = !brn.isEmpty() && brn.count() >= faces.triangleCount;
  for (int f = 0; slotMapFits && f < faces.triangleCount; ++f)
    slotMapFits = brn[f] >= 0 && brn[f] < normalCount;
  if (!slotMapFits)
    return reject(tables.fileName("brn", t),
                  missingOr(brn, "the " + std::to_string(faces.triangleCount) +
                                     " triangle slots need normal indices below " +
                                     std::to_string(normalCount)));
  return faces;
}

QuadSplit splitQuadFace(const Mesh& control, const CellFaceTables& faces, int c, int q) {
  CAGEWARP_CHECK(q >= 0 && q < faces.quadCount);
  const Split split = splitQuad(cellCorners(control, faces.type, c), faces.quads->column(q));
  return {
      {columnOf(split.normals[0]), columnOf(split.normals[1])}, split.cornerSlots, split.anchor};
}

CellCoordinates cellCoordinates(const Mesh& control, const CellFaceTables& faces, int c,
                                const float p[3]) {
  const int t = faces.type;
  const int k = verticesPerCell[t];
  const int triangleCount = faces.triangleCount;
  const CellCorners corners = cellCorners(control, t, c);

  // One distance per face plane, measured from one corner of the face (a split quad: from the
  // end of its diagonal that the split names first), and shared by every corner of the face.
  // Next to a face all its corners then see the same small distance, whose rounding error
  // cancels in the normalisation, instead of each corner rounding its own.
  const Vector point{p[0], p[1], p[2]};
  std::array<Vector, maxCellNormals> normals;
  std::array<float, maxCellNormals> distance{};
  std::array<int, maxSlots> slotMap{};
  for (int f = 0; f < triangleCount; ++f) {
    const int* tri = faces.triangles->column(f);
    normals[f] = unitNormal(corners[tri[0]], corners[tri[1]], corners[tri[2]]);
    distance[f] = dot(difference(corners[tri[0]], point), normals[f]);
    slotMap[f] = (*faces.slotMap)[f];
  }
  for (int q = 0; q < faces.quadCount; ++q) {
    const Split split = splitQuad(corners, faces.quads->column(q));
    const int a = triangleCount + 2 * q;
    const Vector offset = difference(corners[split.anchor], point);
    for (int e = 0; e < 2; ++e) {
      normals[a + e] = split.normals[e];
      distance[a + e] = dot(offset, normals[a + e]);
    }
    for (int j = 0; j < 4; ++j) slotMap[triangleCount + 4 * q + j] = a + split.cornerSlots[j];
  }

  const int slots = faces.slotsPerVertex;
  CellCoordinates result{false, Matrix(k, 1)};
  float* lambda = result.lambda.data();
  float sum = 0.0f;
  for (int i = 0; i < k; ++i) {
    const int* around = faces.slotsAround->column(i);
    std::array<const Vector*, maxSlotsAroundVertex> n{};
    std::array<float, maxSlotsAroundVertex> h{};
    for (int j = 0; j < slots; ++j) {
      n[j] = &normals[slotMap[around[j]]];
      h[j] = distance[slotMap[around[j]]];
    }
    float w = 0.0f;
    for (int j = 1; j + 1 < slots; ++j) {
      const float det = dot(*n[0], cross(*n[j], *n[j + 1]));
      w = w + absolute(det) / (h[0] * h[j] * h[j + 1]);
    }
    if (w < 0 || std::isnan(w)) return result;
    lambda[i] = w;
    sum = sum + w;
  }
  const float reciprocal = 1.0f / sum;
  bool allPositive = true;
  for (int i = 0; i < k; ++i) {
    lambda[i] = reciprocal * lambda[i];
    allPositive = allPositive && lambda[i] > 0;
  }
  result.inside = allPositive;
  return result;
}

namespace {

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
    for (int u = o; u < vertexCount && model.y[u] < box.ymax; ++u) {
      const float* p = model.positions[u].data();
      if (!(box.xmin < p[0] && p[0] < box.xmax && box.zmin < p[2] && p[2] < box.zmax)) continue;
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
    std::string problem;
    faces[t] = cellFaceTables(tables, t, &problem);
    if (!faces[t]) warnings.push_back(problem + "; " + typeNames[t] + " enclose no model vertex");
  }
  // Too few rows to hold a position: nothing can be located.
  if (modelCount == 0 || model.rows() < 3) return location;

  const int s = modelPositionRow(model.rows());
  // A vertex whose y is not a number never passes the strict box tests, and in the sweep it
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
