#include "subdiv/smoothed_positions.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "array/memory_advice.h"
#include "array/parallel_for.h"
#include "mesh/cell_type.h"

namespace cagewarp {
namespace {

Status checkAverageTables(const std::array<IntArray, 8>& cells, const LookupTables& tables) {
  const TableChecks& checks = tables.checked();
  for (int t = 0; t < cellTypeCount; ++t)
    if (cells[t].cols() > 0 && !checks.averages[t].ok) return checks.averages[t];
  return Status::success();
}

// Per-vertex bookkeeping of the accumulation.
struct VertexTally {
  std::vector<int8_t> level;
  // An int, so that a vertex surrounded by more than 127 cells keeps its true count.
  std::vector<int> count;
  std::vector<float> weightSum;
  std::vector<uint8_t> typeMask;

  explicit VertexTally(int n) : level(n, 3), count(n, 0), weightSum(n, 0.0f), typeMask(n, 0) {}
};

// The weight rows of the vertices being smoothed, one column each, and the blend's scratch.
struct SmoothedWeights {
  SmoothedWeights(int weightRows, int n) : rows(weightRows), columns(weightRows > 0 ? n : 0) {}
  int rows;
  std::vector<std::vector<SparseEntry>> columns;
  std::vector<SparseEntry> merged;
};

// The value of every corner, looked up before the threads start, and the share of the vertices
// each part of the accumulation owns. values[u * classes + classIndex[cellClass[t]]] is vertex
// u's value under the class of type t.
struct CornerValues {
  std::array<int, 8> classIndex{};
  int classes = 0;
  std::vector<const VertexValue*> values;
  // The part that adds into each vertex. Parts own runs of the order in which the cell walk
  // first reaches the vertices, so that few cells have corners in more than one part.
  std::vector<int> owner;
  int parts = 0;

  const VertexValue* value(int u, int t) const {
    return values[static_cast<size_t>(u) * classes + classIndex[cellClass[t]]];
  }
};

// Looks every corner's value up on one thread (find moves the bucket cursors) and shares the
// vertices out among `parts` parts. Each key is looked up once, at its first corner: a find
// leaves its bucket's cursor at the head, so a repeated find of the same key would return the
// same value and leave the same cursor.
CornerValues lookUpCorners(const std::array<IntArray, 8>& cells, VertexValueMap& vertexValues,
                           int n, int parts) {
  CornerValues cv;
  cv.classIndex.fill(-1);
  for (int t = 0; t < cellTypeCount; ++t)
    if (cells[t].cols() > 0 && cv.classIndex[cellClass[t]] < 0)
      cv.classIndex[cellClass[t]] = cv.classes++;
  cv.values.assign(static_cast<size_t>(n) * cv.classes, nullptr);
  cv.owner.assign(static_cast<size_t>(n), -1);
  std::vector<int> visitOrder;
  IntArray key({2}, 0);
  for (int t = 0; t < cellTypeCount; ++t) {
    const int* corner = cells[t].data();
    key[1] = cellClass[t];
    for (int s = 0; s < cells[t].count(); ++s) {
      const int u = corner[s];
      CAGEWARP_CHECK(u >= 0 && u < n);
      if (cv.owner[u] < 0) {
        cv.owner[u] = 0;
        visitOrder.push_back(u);
      }
      const VertexValue*& value =
          cv.values[static_cast<size_t>(u) * cv.classes + cv.classIndex[cellClass[t]]];
      if (value) continue;
      key[0] = u;
      value = vertexValues.find(key);
      CAGEWARP_CHECK(value != nullptr);
    }
  }
  const int64_t visited = static_cast<int64_t>(visitOrder.size());
  cv.parts = static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(parts, visited)));
  for (int64_t i = 0; i < visited; ++i)
    cv.owner[visitOrder[i]] = static_cast<int>(i * cv.parts / visited);
  return cv;
}

// One part's scratch: a cell's averaged columns, each formed when a corner first needs it.
struct CellScratch {
  CellScratch(int d, int weightRows) : dense(static_cast<size_t>(d) * 8), sum(weightRows) {}
  std::vector<float> dense;  // column q at q * d
  WeightSum sum;
  std::array<std::vector<SparseEntry>, 8> averaged;
  std::vector<SparseEntry> merged;
};

// Adds every cell's averaged corner values to the vertices of the lowest dimension that hold it,
// for the vertices part p owns. Cells are taken in order (types ascending, then cells, then
// corners), so each vertex receives its terms in the same order whatever the part count. Types
// come in order of non-decreasing dimension, so a lower-dimensional cell seen later never has to
// undo an earlier contribution.
void accumulatePart(int p, const std::array<IntArray, 8>& cells, const LookupTables& tables,
                    const CornerValues& cv, Matrix& vertices, SmoothedWeights& weights,
                    VertexTally& tally) {
  const int d = vertices.rows();
  const bool sparse = !weights.columns.empty();
  CellScratch scratch(d, weights.rows);
  for (int t = 0; t < cellTypeCount; ++t) {
    const IntArray& typeCells = cells[t];
    const int corners = verticesPerCell[t];
    const Matrix& avg = tables.avgTables[t];
    const int c = avg.cols();
    const double weight = typeWeight[t];
    for (int cell = 0; cell < typeCells.cols(); ++cell) {
      const int* corner = typeCells.column(cell);
      unsigned formed = 0;  // bit q: column q of this cell is in the scratch
      for (int j = 0; j < corners; ++j) {
        const int u = corner[j];
        if (cv.owner[u] != p || cellDimension[t] > tally.level[u]) continue;
        tally.level[u] = static_cast<int8_t>(cellDimension[t]);
        ++tally.count[u];
        tally.weightSum[u] = static_cast<float>(tally.weightSum[u] + weight);
        tally.typeMask[u] = static_cast<uint8_t>(tally.typeMask[u] | typeBit[t]);
        // Column q is the product of the corner values with column q of the avg table, corners
        // ascending from +0, as a matrix product forms it.
        const int q = j % c;
        float* src = scratch.dense.data() + static_cast<size_t>(q) * d;
        if (!(formed & (1u << q))) {
          formed |= 1u << q;
          std::fill(src, src + d, 0.0f);
          for (int i = 0; i < corners; ++i) {
            const float b = avg(i, q);
            const float* a = cv.value(corner[i], t)->dense.data();
            for (int k = 0; k < d; ++k) src[k] = a[k] * b + src[k];
          }
          for (int i = 0; sparse && i < corners; ++i)
            scratch.sum.addProduct(cv.value(corner[i], t)->weights, avg(i, q));
          if (sparse) scratch.sum.take(scratch.averaged[q]);
        }
        float* dst = vertices.column(u);
        // The double weight enters the single-precision sum; only the sum is stored.
        for (int k = 0; k < d; ++k) dst[k] = static_cast<float>(dst[k] + weight * src[k]);
        if (!sparse) continue;
        mergeWeights(
            weights.columns[u], scratch.averaged[q],
            [weight](float x, float y) { return static_cast<float>(x + weight * y); },
            scratch.merged);
        // Copied rather than swapped: a swap would pass the scratch's largest capacity on to the
        // columns, which are held until the step ends.
        weights.columns[u].assign(scratch.merged.begin(), scratch.merged.end());
      }
    }
  }
}

// Each vertex's sums depend only on its own cells, taken in cell order, so the vertices are
// shared out among parts that run on their own threads; a cell with corners in two parts is
// averaged in both.
void accumulate(const std::array<IntArray, 8>& cells, const LookupTables& tables,
                VertexValueMap& vertexValues, Matrix& vertices, SmoothedWeights& weights,
                VertexTally& tally, int threads) {
  const CornerValues cv = lookUpCorners(cells, vertexValues, vertices.cols(), threadCount(threads));
  // The matrix comes zeroed from calloc, its pages not yet touched; touch them on one thread,
  // as page faults taken by several threads at once wait on each other, and in huge pages where
  // the system has them, which takes far fewer.
  adviseHugePages(vertices.data(), static_cast<size_t>(vertices.count()) * sizeof(float));
  if (cv.parts > 1) std::fill(vertices.data(), vertices.data() + vertices.count(), 0.0f);
  parallelFor(cv.parts, cv.parts, [&](int64_t begin, int64_t end) {
    for (int64_t p = begin; p < end; ++p)
      accumulatePart(static_cast<int>(p), cells, tables, cv, vertices, weights, tally);
  });
}

// Blends column b of a vertex that lies only on cells of type t with its own value before the
// averaging, by the factor the blend table gives for its contribution count.
Status blend(int b, int t, const LookupTables& tables, const VertexTally& tally,
             VertexValueMap& vertexValues, Matrix& vertices, SmoothedWeights& weights) {
  const FloatArray& cor = tables.corTables[t];
  if (!tables.checked().blendFactors[t]) {
    return Status::failure(tables.fileName("cor4", t) + ": vertex " + std::to_string(b) +
                           " needs a blend factor, but the table is empty");
  }
  IntArray key = IntArray::fromValues({b, cellClass[t]});
  const VertexValue* own = vertexValues.find(key);
  CAGEWARP_CHECK(own != nullptr);
  // A count past the end of the table takes its last factor.
  const float f = cor[std::min(tally.count[b], cor.count() - 1)];
  const float g = 1.0f - f;
  float* col = vertices.column(b);
  const float* v = own->dense.data();
  for (int k = 0; k < vertices.rows(); ++k) col[k] = f * col[k] + g * v[k];
  if (!weights.columns.empty()) {
    mergeWeights(
        weights.columns[b], own->weights, [f, g](float x, float y) { return f * x + g * y; },
        weights.merged);
    weights.columns[b].swap(weights.merged);
  }
  return Status::success();
}

}  // namespace

Status computeSmoothedPositions(const std::array<IntArray, 8>& cells, const LookupTables& tables,
                                VertexValueMap& vertexValues, Matrix& vertices,
                                SparseColumns& weightColumns, int threads) {
  if (Status s = checkAverageTables(cells, tables); !s.ok) return s;
  const int n = vertices.cols();
  VertexTally tally(n);
  SmoothedWeights weights(weightColumns.rows, n);
  accumulate(cells, tables, vertexValues, vertices, weights, tally, threads);
  for (int b = 0; b < n; ++b) {
    // A vertex in no cell has nothing to average and keeps its zero column.
    if (tally.count[b] == 0) continue;
    const float s = 1.0f / tally.weightSum[b];
    float* col = vertices.column(b);
    for (int k = 0; k < vertices.rows(); ++k) col[k] = s * col[k];
    if (!weights.columns.empty()) {
      std::vector<SparseEntry>& w = weights.columns[b];
      for (SparseEntry& e : w) e.value = s * e.value;
      w.erase(std::remove_if(w.begin(), w.end(),
                             [](const SparseEntry& e) { return isPositiveZero(e.value); }),
              w.end());
    }
    for (int t : {triangleType, quadType}) {
      if (tally.typeMask[b] != typeBit[t]) continue;
      if (Status st = blend(b, t, tables, tally, vertexValues, vertices, weights); !st.ok)
        return st;
    }
  }
  // The values are not needed any more; releasing them before the packing (which hands freed
  // memory back before a large packed block) keeps them, the columns and the packed matrix from
  // being held whole at once.
  vertexValues = VertexValueMap(1, firstElementHash);
  weightColumns = packColumns(weightColumns.rows, weights.columns, threads);
  return Status::success();
}

}  // namespace cagewarp
