#include "subdiv/smoothed_positions.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

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

// The weight rows of the vertices being smoothed, one column each, and the scratch that forms them.
struct SmoothedWeights {
  SmoothedWeights(int rows, int n) : sum(rows), columns(rows > 0 ? n : 0) {}
  WeightSum sum;
  std::vector<std::vector<SparseEntry>> columns;
  std::vector<std::vector<SparseEntry>> averaged;  // one cell's averaged corner weights
  std::vector<SparseEntry> merged;
};

// Adds every cell's averaged corner values to the vertices of the lowest dimension that hold it.
// Types come in order of non-decreasing dimension, so a lower-dimensional cell seen later never
// has to undo an earlier contribution.
void accumulate(const std::array<IntArray, 8>& cells, const LookupTables& tables,
                VertexValueMap& vertexValues, Matrix& vertices, SmoothedWeights& weights,
                VertexTally& tally) {
  const int d = vertices.rows();
  const bool sparse = !weights.columns.empty();
  IntArray key({2}, 0);
  std::array<const VertexValue*, 8> cornerValues{};
  for (int t = 0; t < cellTypeCount; ++t) {
    const IntArray& typeCells = cells[t];
    const int corners = verticesPerCell[t];
    const Matrix& avg = tables.avgTables[t];
    const int c = avg.cols();
    const double weight = typeWeight[t];
    key[1] = cellClass[t];
    for (int cell = 0; cell < typeCells.cols(); ++cell) {
      const int* corner = typeCells.column(cell);
      Matrix m(d, corners);
      for (int j = 0; j < corners; ++j) {
        key[0] = corner[j];
        const VertexValue* value = vertexValues.find(key);
        CAGEWARP_CHECK(value != nullptr);
        std::copy(value->dense.data(), value->dense.data() + d, m.column(j));
        cornerValues[j] = value;
      }
      m.rightMultiplyInPlace(avg);
      // The same product on the weight rows, column by column, inner index ascending.
      if (sparse && static_cast<int>(weights.averaged.size()) < c) weights.averaged.resize(c);
      for (int q = 0; sparse && q < c; ++q) {
        for (int j = 0; j < corners; ++j)
          weights.sum.addProduct(cornerValues[j]->weights, avg(j, q));
        weights.sum.take(weights.averaged[q]);
      }
      for (int j = 0; j < corners; ++j) {
        const int u = corner[j];
        CAGEWARP_CHECK(u >= 0 && u < vertices.cols());
        if (cellDimension[t] > tally.level[u]) continue;
        tally.level[u] = static_cast<int8_t>(cellDimension[t]);
        ++tally.count[u];
        tally.weightSum[u] = static_cast<float>(tally.weightSum[u] + weight);
        tally.typeMask[u] = static_cast<uint8_t>(tally.typeMask[u] | typeBit[t]);
        const float* src = m.column(j % c);
        float* dst = vertices.column(u);
        // The double weight enters the single-precision sum; only the sum is stored.
        for (int k = 0; k < d; ++k) dst[k] = static_cast<float>(dst[k] + weight * src[k]);
        if (!sparse) continue;
        mergeWeights(
            weights.columns[u], weights.averaged[j % c],
            [weight](float x, float y) { return static_cast<float>(x + weight * y); },
            weights.merged);
        weights.columns[u].swap(weights.merged);
      }
    }
  }
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
                                SparseColumns& weightColumns) {
  if (Status s = checkAverageTables(cells, tables); !s.ok) return s;
  const int n = vertices.cols();
  VertexTally tally(n);
  SmoothedWeights weights(weightColumns.rows, n);
  accumulate(cells, tables, vertexValues, vertices, weights, tally);
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
  // Packed in vertex order, each column freed once copied; reserved whole, so that the packed
  // array never grows by doubling while the columns are still held.
  size_t total = 0;
  for (const std::vector<SparseEntry>& w : weights.columns) total += w.size();
  weightColumns.entries.reserve(total);
  weightColumns.start.reserve(weights.columns.size() + 1);
  for (std::vector<SparseEntry>& w : weights.columns) {
    weightColumns.appendColumn(w.data(), w.data() + w.size());
    std::vector<SparseEntry>().swap(w);
  }
  return Status::success();
}

}  // namespace cagewarp
