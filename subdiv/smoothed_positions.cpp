#include "subdiv/smoothed_positions.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

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

// Where the vertices meet the cells of one type: vertex u's corner slots (cell * corners + j,
// corner j of the cell being u) are slots[start[u]] .. slots[start[u + 1] - 1], cells ascending,
// then corners ascending. Taken type by type, this is the order in which a walk over all cells
// reaches the vertex, so every vertex's sums keep that order whichever thread forms them.
struct TypeIncidence {
  std::vector<int> start;
  std::vector<int> slots;
};

// The incidence of every type with cells, and the value of every corner: values[u * classes +
// classIndex[cellClass[t]]] is vertex u's value under the class of type t.
struct Incidence {
  std::array<TypeIncidence, 8> types;
  std::array<int, 8> classIndex{};
  int classes = 0;
  std::vector<const VertexValue*> values;

  const VertexValue* value(int u, int t) const {
    return values[static_cast<size_t>(u) * classes + classIndex[cellClass[t]]];
  }
};

// Builds the incidence lists and looks every corner's value up, on one thread: find moves the
// bucket cursors. Each key is looked up once, at its first corner; a find leaves its bucket's
// cursor at the head, so a repeated find of the same key would return the same value and leave
// the same cursor.
Incidence buildIncidence(const std::array<IntArray, 8>& cells, VertexValueMap& vertexValues,
                         int n) {
  Incidence in;
  in.classIndex.fill(-1);
  for (int t = 0; t < cellTypeCount; ++t)
    if (cells[t].cols() > 0 && in.classIndex[cellClass[t]] < 0)
      in.classIndex[cellClass[t]] = in.classes++;
  in.values.assign(static_cast<size_t>(n) * in.classes, nullptr);
  IntArray key({2}, 0);
  for (int t = 0; t < cellTypeCount; ++t) {
    const IntArray& typeCells = cells[t];
    if (typeCells.cols() == 0) continue;
    const int* corner = typeCells.data();
    const int slotCount = typeCells.count();
    TypeIncidence& inc = in.types[t];
    inc.start.assign(static_cast<size_t>(n) + 1, 0);
    for (int s = 0; s < slotCount; ++s) {
      CAGEWARP_CHECK(corner[s] >= 0 && corner[s] < n);
      ++inc.start[corner[s] + 1];
    }
    for (int u = 0; u < n; ++u) inc.start[u + 1] += inc.start[u];
    inc.slots.resize(slotCount);
    std::vector<int> next(inc.start.begin(), inc.start.end() - 1);
    key[1] = cellClass[t];
    for (int s = 0; s < slotCount; ++s) {
      const int u = corner[s];
      inc.slots[next[u]++] = s;
      const VertexValue*& value =
          in.values[static_cast<size_t>(u) * in.classes + in.classIndex[cellClass[t]]];
      if (value) continue;
      key[0] = u;
      value = vertexValues.find(key);
      CAGEWARP_CHECK(value != nullptr);
    }
  }
  return in;
}

// One thread's scratch for forming averaged corner values.
struct CornerScratch {
  explicit CornerScratch(int d, int weightRows) : dense(d), sum(weightRows) {}
  std::vector<float> dense;
  WeightSum sum;
  std::vector<SparseEntry> averaged;
  std::vector<SparseEntry> merged;
};

// Adds to vertex u its averaged value from every cell of the lowest dimension that holds it.
// Column q of a cell's averaged values is the product of its corner values with column q of the
// avg table, corners ascending from +0; corner j takes column j mod c. Types come in order of
// non-decreasing dimension, so a lower-dimensional cell seen later never has to undo an earlier
// contribution.
void accumulateVertex(int u, const std::array<IntArray, 8>& cells, const LookupTables& tables,
                      const Incidence& in, Matrix& vertices, SmoothedWeights& weights,
                      VertexTally& tally, CornerScratch& scratch) {
  const int d = vertices.rows();
  const bool sparse = !weights.columns.empty();
  float* dst = vertices.column(u);
  for (int t = 0; t < cellTypeCount; ++t) {
    const TypeIncidence& inc = in.types[t];
    if (inc.start.empty()) continue;
    const int corners = verticesPerCell[t];
    const Matrix& avg = tables.avgTables[t];
    const int c = avg.cols();
    const double weight = typeWeight[t];
    for (int i = inc.start[u]; i < inc.start[u + 1]; ++i) {
      if (cellDimension[t] > tally.level[u]) continue;
      tally.level[u] = static_cast<int8_t>(cellDimension[t]);
      ++tally.count[u];
      tally.weightSum[u] = static_cast<float>(tally.weightSum[u] + weight);
      tally.typeMask[u] = static_cast<uint8_t>(tally.typeMask[u] | typeBit[t]);
      const int slot = inc.slots[i];
      const int* corner = cells[t].column(slot / corners);
      const int q = slot % corners % c;
      float* out = scratch.dense.data();
      std::fill(out, out + d, 0.0f);
      for (int j = 0; j < corners; ++j) {
        const float b = avg(j, q);
        const float* a = in.value(corner[j], t)->dense.data();
        for (int k = 0; k < d; ++k) out[k] = a[k] * b + out[k];
      }
      // The double weight enters the single-precision sum; only the sum is stored.
      for (int k = 0; k < d; ++k) dst[k] = static_cast<float>(dst[k] + weight * out[k]);
      if (!sparse) continue;
      for (int j = 0; j < corners; ++j)
        scratch.sum.addProduct(in.value(corner[j], t)->weights, avg(j, q));
      scratch.sum.take(scratch.averaged);
      mergeWeights(
          weights.columns[u], scratch.averaged,
          [weight](float x, float y) { return static_cast<float>(x + weight * y); },
          scratch.merged);
      weights.columns[u].swap(scratch.merged);
    }
  }
}

// Each vertex's sums depend only on its own cells, so the vertices are shared out among threads.
void accumulate(const std::array<IntArray, 8>& cells, const LookupTables& tables,
                VertexValueMap& vertexValues, Matrix& vertices, SmoothedWeights& weights,
                VertexTally& tally, int threads) {
  const int n = vertices.cols();
  const Incidence in = buildIncidence(cells, vertexValues, n);
  parallelFor(n, threads, [&](int64_t begin, int64_t end) {
    CornerScratch scratch(vertices.rows(), weights.rows);
    for (int64_t u = begin; u < end; ++u)
      accumulateVertex(static_cast<int>(u), cells, tables, in, vertices, weights, tally, scratch);
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
