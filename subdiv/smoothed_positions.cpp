#include "subdiv/smoothed_positions.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "array/arena.h"
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

// Per-vertex bookkeeping of the accumulation; a big step's vertices number in the millions, so
// in huge pages, which take far fewer faults.
struct VertexTally {
  HugePageVector<int8_t> level;
  // An int, so that a vertex surrounded by more than 127 cells keeps its true count.
  HugePageVector<int> count;
  HugePageVector<float> weightSum;
  HugePageVector<uint8_t> typeMask;

  explicit VertexTally(int n) : level(n, 3), count(n, 0), weightSum(n, 0.0f), typeMask(n, 0) {}
};

// The value of every corner, looked up before the threads start, and the share of the vertices
// each part of the accumulation owns. values[u * classes + classIndex[cellClass[t]]] is vertex
// u's value under the class of type t.
struct CornerValues {
  std::array<int, 8> classIndex{};
  int classes = 0;
  HugePageVector<const VertexValue*> values;
  // The part that adds into each vertex. Parts own runs of the order in which the cell walk
  // first reaches the vertices, so that few cells have corners in more than one part.
  HugePageVector<int> owner;
  int parts = 0;

  size_t slot(int u, int t) const {
    return static_cast<size_t>(u) * classes + classIndex[cellClass[t]];
  }
  const VertexValue* value(int u, int t) const { return values[slot(u, t)]; }
};

// Looks every corner's value up and shares the vertices out among `parts` parts. Each key is
// looked up once, at its first corner: a find leaves its bucket's cursor at the head, so a
// repeated find of the same key would return the same value and leave the same cursor. With every
// cursor at its head already, the finds change nothing and peeks find the same values, so the
// lookups run on `threads` threads; otherwise they run in order on one.
CornerValues lookUpCorners(const std::array<IntArray, 8>& cells, VertexValueMap& vertexValues,
                           int n, int parts, int threads) {
  CornerValues cv;
  cv.classIndex.fill(-1);
  for (int t = 0; t < cellTypeCount; ++t)
    if (cells[t].cols() > 0 && cv.classIndex[cellClass[t]] < 0)
      cv.classIndex[cellClass[t]] = cv.classes++;
  // Large and touched all over: in huge pages, as are the vertices' terms below.
  assignInHugePages(cv.values, static_cast<size_t>(n) * cv.classes,
                    static_cast<const VertexValue*>(nullptr));
  assignInHugePages(cv.owner, static_cast<size_t>(n), -1);
  HugePageVector<int> visitOrder;
  visitOrder.reserve(static_cast<size_t>(n));
  for (int t = 0; t < cellTypeCount; ++t) {
    const int* corner = cells[t].data();
    for (int s = 0; s < cells[t].count(); ++s) {
      const int u = corner[s];
      CAGEWARP_CHECK(u >= 0 && u < n);
      if (cv.owner[u] < 0) {
        cv.owner[u] = 0;
        visitOrder.push_back(u);
      }
    }
  }
  const bool shared = vertexValues.cursorsAtHead();
  for (int t = 0; t < cellTypeCount; ++t) {
    const int rows = cells[t].rows();
    parallelFor(cells[t].cols(), shared ? threads : 1, [&](int64_t begin, int64_t end) {
      IntArray key({2}, 0);
      key[1] = cellClass[t];
      const int* corner = cells[t].data();
      for (int64_t s = begin * rows; s < end * rows; ++s) {
        const int u = corner[s];
        // Threads may race to the same corner; each stores the one value there is.
        std::atomic_ref<const VertexValue*> value(cv.values[cv.slot(u, t)]);
        if (value.load(std::memory_order_relaxed)) continue;
        key[0] = u;
        const VertexValue* found = shared ? vertexValues.peek(key) : vertexValues.find(key);
        CAGEWARP_CHECK(found != nullptr);
        value.store(found, std::memory_order_relaxed);
      }
    });
  }
  const int64_t visited = static_cast<int64_t>(visitOrder.size());
  cv.parts = static_cast<int>(std::max<int64_t>(1, std::min<int64_t>(parts, visited)));
  for (int64_t i = 0; i < visited; ++i)
    cv.owner[visitOrder[i]] = static_cast<int>(i * cv.parts / visited);
  return cv;
}

// Adds every cell's averaged corner values to the vertices of the lowest dimension that hold it,
// for the vertices part p owns; the dense rows only, the weight rows being summed apart. Cells
// are taken in order (types ascending, then cells, then corners), so each vertex receives its
// terms in the same order whatever the part count. Types come in order of non-decreasing
// dimension, so a lower-dimensional cell seen later never has to undo an earlier contribution.
void accumulatePart(int p, const std::array<IntArray, 8>& cells, const LookupTables& tables,
                    const CornerValues& cv, Matrix& vertices, VertexTally& tally) {
  const int d = vertices.rows();
  std::vector<float> averaged(static_cast<size_t>(d) * 8);  // column q at q * d
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
        float* src = averaged.data() + static_cast<size_t>(q) * d;
        if (!(formed & (1u << q))) {
          formed |= 1u << q;
          std::fill(src, src + d, 0.0f);
          for (int i = 0; i < corners; ++i) {
            const float b = avg(i, q);
            const float* a = cv.value(corner[i], t)->dense.data();
            for (int k = 0; k < d; ++k) src[k] = a[k] * b + src[k];
          }
        }
        float* dst = vertices.column(u);
        // The double weight enters the single-precision sum; only the sum is stored.
        for (int k = 0; k < d; ++k) dst[k] = static_cast<float>(dst[k] + weight * src[k]);
      }
    }
  }
}

// Each vertex's sums depend only on its own cells, taken in cell order, so the vertices are
// shared out among parts that run on their own threads; a cell with corners in two parts is
// averaged in both.
void accumulate(const std::array<IntArray, 8>& cells, const LookupTables& tables,
                const CornerValues& cv, Matrix& vertices, VertexTally& tally) {
  // The matrix comes zeroed from calloc, its pages not yet touched: the parts' threads take their
  // first faults between them (about a quarter sooner here than touching them all on one first).
  parallelFor(cv.parts, cv.parts, [&](int64_t begin, int64_t end) {
    for (int64_t p = begin; p < end; ++p)
      accumulatePart(static_cast<int>(p), cells, tables, cv, vertices, tally);
  });
}

// Sparse columns formed in any order on several threads, each copied into an arena that its
// thread borrowed, so that a column costs no allocation of its own.
struct ScatteredColumns {
  // A column per vertex or per averaged cell column, by the million: in huge pages.
  HugePageVector<const SparseEntry*> begin;
  HugePageVector<int> length;
  std::unique_ptr<ArenaPool> memory = std::make_unique<ArenaPool>(Arena::largeChunks);

  ScatteredColumns() = default;
  explicit ScatteredColumns(int64_t columns)
      : begin(static_cast<size_t>(columns), nullptr), length(static_cast<size_t>(columns), 0) {}
  std::span<const SparseEntry> column(int64_t j) const {
    return {begin[j], static_cast<size_t>(length[j])};
  }
  void store(int64_t j, Arena& arena, const std::vector<SparseEntry>& column) {
    begin[j] = keptIn(arena, column).data();
    length[j] = static_cast<int>(column.size());
  }
};

// The weight rows of the cells' averaged columns, each formed once and shared by the corners that
// add it in. Column q of cell `cell` of type t is number base[t] + cell * perCell[t] + q; only the
// columns some corner adds in are formed.
struct AveragedColumns {
  std::array<int64_t, 8> base{};
  std::array<int, 8> perCell{};
  ScatteredColumns columns;

  int64_t slot(int t, int cell, int q) const { return base[t] + int64_t{cell} * perCell[t] + q; }
  // The type whose cells own column `slot`.
  int typeOf(int64_t slot) const {
    int t = cellTypeCount - 1;
    while (t > 0 && (perCell[t] == 0 || slot < base[t])) --t;
    return t;
  }
};

// True when the corners that take column q of the cell's avg table include a vertex whose lowest
// cell dimension is the cell's.
bool columnTaken(const int* corner, int t, int q, int c, const VertexTally& tally) {
  for (int j = q; j < verticesPerCell[t]; j += c)
    if (tally.level[corner[j]] == cellDimension[t]) return true;
  return false;
}

// Forms the averaged weight rows of every cell on `threads` threads, each column the product of
// the corner values with a column of the avg table, corners ascending from +0.
AveragedColumns averageCells(const std::array<IntArray, 8>& cells, const LookupTables& tables,
                             const CornerValues& cv, const VertexTally& tally, int weightRows,
                             int threads) {
  AveragedColumns averaged;
  std::array<int64_t, 9> firstCell{};
  int64_t slots = 0;
  for (int t = 0; t < cellTypeCount; ++t) {
    averaged.perCell[t] = cells[t].cols() > 0 ? tables.avgTables[t].cols() : 0;
    averaged.base[t] = slots;
    slots += int64_t{cells[t].cols()} * averaged.perCell[t];
    firstCell[t + 1] = firstCell[t] + cells[t].cols();
  }
  averaged.columns = ScatteredColumns(slots);
  parallelFor(firstCell[cellTypeCount], threads, [&](int64_t first, int64_t last) {
    const BorrowedArena arena(*averaged.columns.memory);
    WeightSum sum(weightRows);
    std::vector<SparseEntry> column;
    int t = 0;
    for (int64_t g = first; g < last; ++g) {
      while (g >= firstCell[t + 1]) ++t;
      const int cell = static_cast<int>(g - firstCell[t]);
      const int* corner = cells[t].column(cell);
      const Matrix& avg = tables.avgTables[t];
      // The corner values lie anywhere: ask for where the values of the cell three ahead lie,
      // for the values two ahead and for their whole weight rows one ahead.
      const int64_t typeEnd = std::min(last, firstCell[t + 1]);
      const int corners = verticesPerCell[t];
      if (g + 3 < typeEnd) {
        const int* ahead = cells[t].column(cell + 3);
        for (int i = 0; i < corners; ++i) __builtin_prefetch(&cv.values[cv.slot(ahead[i], t)]);
      }
      if (g + 2 < typeEnd) {
        const int* ahead = cells[t].column(cell + 2);
        for (int i = 0; i < corners; ++i) __builtin_prefetch(cv.value(ahead[i], t));
      }
      if (g + 1 < typeEnd) {
        const int* ahead = cells[t].column(cell + 1);
        for (int i = 0; i < corners; ++i) prefetchWhole(cv.value(ahead[i], t)->weights);
      }
      const int c = averaged.perCell[t];
      for (int q = 0; q < c; ++q) {
        if (!columnTaken(corner, t, q, c, tally)) continue;
        for (int i = 0; i < corners; ++i)
          sum.addProduct(cv.value(corner[i], t)->weights, avg(i, q));
        sum.take(column);
        averaged.columns.store(averaged.slot(t, cell, q), *arena, column);
      }
    }
  });
  return averaged;
}

// A vertex's sum of weight * column over its terms, each row in double rounded to single
// precision, as if every term held every row: a row a term leaves out gets + 0 from it, which
// turns a -0 into +0.
class TermSum {
 public:
  explicit TermSum(int rows)
      : sum_(static_cast<size_t>(rows), 0.0f),
        lastTerm_(static_cast<size_t>(rows), -1),
        touched_(rows) {}

  void add(std::span<const SparseEntry> x, double weight) {
    for (const SparseEntry& e : x) {
      float& s = sum_[e.row];
      int& last = lastTerm_[e.row];
      if (last < 0) touched_.mark(e.row);
      if (last < term_ - 1 && s == 0.0f) s = 0.0f;
      s = static_cast<float>(s + weight * e.value);
      last = term_;
    }
    ++term_;
  }
  // The touched rows, ascending, as scale * sum (computed +0 dropped); the scratch is cleared.
  void take(std::vector<SparseEntry>& out, float scale) {
    out.clear();
    touched_.drain([&](int row) {
      float s = sum_[row];
      if (lastTerm_[row] < term_ - 1 && s == 0.0f) s = 0.0f;
      const float value = scale * s;
      if (!isPositiveZero(value)) out.push_back({row, value});
      sum_[row] = 0.0f;
      lastTerm_[row] = -1;
    });
    term_ = 0;
  }

 private:
  std::vector<float> sum_;
  std::vector<int> lastTerm_;  // the last term that held the row; -1: none yet
  TouchedRows touched_;
  int term_ = 0;
};

// For each vertex, the averaged columns it adds in, in the order of the cell walk: those of
// vertex u are slots[start[u], start[u + 1]).
struct VertexTerms {
  HugePageVector<int64_t> start;
  UnfilledVector<int64_t> slots;
};

// Each part walks the cells and places the terms of the vertices it owns, as accumulate adds them.
VertexTerms gatherTerms(const std::array<IntArray, 8>& cells, const AveragedColumns& averaged,
                        const VertexTally& tally, const CornerValues& cv) {
  const size_t n = tally.count.size();
  VertexTerms terms;
  assignInHugePages(terms.start, n + 1, int64_t{0});
  for (size_t u = 0; u < n; ++u) terms.start[u + 1] = terms.start[u] + tally.count[u];
  // Every slot is written once, by the part that owns its vertex.
  terms.slots.resize(static_cast<size_t>(terms.start[n]));
  HugePageVector<int64_t> next;
  assignInHugePages(next, n, int64_t{0});
  std::copy(terms.start.begin(), terms.start.end() - 1, next.begin());
  parallelFor(cv.parts, cv.parts, [&](int64_t begin, int64_t end) {
    for (int64_t p = begin; p < end; ++p) {
      for (int t = 0; t < cellTypeCount; ++t) {
        const IntArray& typeCells = cells[t];
        const int corners = verticesPerCell[t];
        for (int cell = 0; cell < typeCells.cols(); ++cell) {
          const int* corner = typeCells.column(cell);
          for (int j = 0; j < corners; ++j) {
            const int u = corner[j];
            if (cv.owner[u] != p || tally.level[u] != cellDimension[t]) continue;
            terms.slots[next[u]++] = averaged.slot(t, cell, j % averaged.perCell[t]);
          }
        }
      }
    }
  });
  return terms;
}

// The vertices blended with their own value, with the blend's factors and their own weight rows,
// kept so that the vertex values can be freed before the weight rows are summed.
struct OwnBlends {
  explicit OwnBlends(int n) : index(static_cast<size_t>(n), -1) {}
  HugePageVector<int> index;  // per vertex: -1, or its place in `factors` and `own`
  std::vector<std::pair<float, float>> factors;
  SparseColumns own;

  void add(int b, float f, float g, std::span<const SparseEntry> weights) {
    index[b] = static_cast<int>(factors.size());
    factors.emplace_back(f, g);
    own.appendColumn(weights.data(), weights.data() + weights.size());
  }
};

// Sums each vertex's weight rows over its terms (weight * column, in the walk's order, in double
// rounded to single precision), scales the sum by 1 / weight sum and blends it where the blend
// does; vertices are shared out in ranges on `threads` threads. The sums take `freedMemory`'s
// chunks first.
ScatteredColumns sumWeightRows(const AveragedColumns& averaged, const VertexTerms& terms,
                               const VertexTally& tally, const OwnBlends& blends, int weightRows,
                               ArenaPool& freedMemory, int threads) {
  const auto n = static_cast<int64_t>(tally.count.size());
  ScatteredColumns sums(n);
  freedMemory.passChunksTo(*sums.memory);
  parallelFor(n, threads, [&](int64_t first, int64_t last) {
    const BorrowedArena arena(*sums.memory);
    TermSum sum(weightRows);
    std::vector<SparseEntry> column;
    std::vector<SparseEntry> blended;
    for (int64_t u = first; u < last; ++u) {
      // The terms lie anywhere in the averaged columns: ask for those of the vertices ahead,
      // each column whole two vertices ahead and where it lies three ahead.
      if (u + 3 < last) {
        for (int64_t k = terms.start[u + 3]; k < terms.start[u + 4]; ++k)
          __builtin_prefetch(&averaged.columns.begin[terms.slots[k]]);
      }
      if (u + 2 < last) {
        for (int64_t k = terms.start[u + 2]; k < terms.start[u + 3]; ++k)
          prefetchWhole(averaged.columns.column(terms.slots[k]));
      }
      // A vertex in no cell has nothing to average and keeps its zero column.
      if (tally.count[u] == 0) continue;
      for (int64_t k = terms.start[u]; k < terms.start[u + 1]; ++k) {
        const int64_t slot = terms.slots[k];
        sum.add(averaged.columns.column(slot), typeWeight[averaged.typeOf(slot)]);
      }
      sum.take(column, 1.0f / tally.weightSum[u]);
      if (const int b = blends.index[u]; b >= 0) {
        const float f = blends.factors[b].first;
        const float g = blends.factors[b].second;
        mergeWeights(
            column, blends.own.column(b), [f, g](float x, float y) { return f * x + g * y; },
            blended);
        column.swap(blended);
      }
      sums.store(u, *arena, column);
    }
  });
  sums.memory->dropSpareChunks();
  return sums;
}

// Blends column b of a vertex that lies only on cells of type t with its own value before the
// averaging, by the factor the blend table gives for its contribution count; the dense rows here,
// the weight rows when they are summed, by the same factors.
Status blend(int b, int t, const LookupTables& tables, const VertexTally& tally,
             const CornerValues& cv, Matrix& vertices, OwnBlends& blends, bool sparse) {
  const FloatArray& cor = tables.corTables[t];
  if (!tables.checked().blendFactors[t]) {
    return Status::failure(tables.fileName("cor4", t) + ": vertex " + std::to_string(b) +
                           " needs a blend factor, but the table is empty");
  }
  const VertexValue* own = cv.value(b, t);
  // A count past the end of the table takes its last factor.
  const float f = cor[std::min(tally.count[b], cor.count() - 1)];
  const float g = 1.0f - f;
  float* col = vertices.column(b);
  const float* v = own->dense.data();
  for (int k = 0; k < vertices.rows(); ++k) col[k] = f * col[k] + g * v[k];
  if (sparse) blends.add(b, f, g, own->weights);
  return Status::success();
}

}  // namespace

Status computeSmoothedPositions(const std::array<IntArray, 8>& cells, const LookupTables& tables,
                                VertexValueMap& vertexValues, ArenaPool& valueMemory,
                                Matrix& vertices, SparseColumns& weightColumns, int threads) {
  if (Status s = checkAverageTables(cells, tables); !s.ok) return s;
  const int n = vertices.cols();
  const int weightRows = weightColumns.rows;
  const bool sparse = weightRows > 0;
  VertexTally tally(n);
  const CornerValues cv = lookUpCorners(cells, vertexValues, n, threadCount(threads), threads);
  accumulate(cells, tables, cv, vertices, tally);
  AveragedColumns averaged;
  if (sparse) averaged = averageCells(cells, tables, cv, tally, weightRows, threads);
  OwnBlends blends(sparse ? n : 0);
  for (int b = 0; b < n; ++b) {
    // A vertex in no cell has nothing to average and keeps its zero column.
    if (tally.count[b] == 0) continue;
    const float s = 1.0f / tally.weightSum[b];
    float* col = vertices.column(b);
    for (int k = 0; k < vertices.rows(); ++k) col[k] = s * col[k];
    for (int t : {triangleType, quadType}) {
      if (tally.typeMask[b] != typeBit[t]) continue;
      if (Status st = blend(b, t, tables, tally, cv, vertices, blends, sparse); !st.ok) return st;
    }
  }
  // The values are not needed any more; their memory holds the sums next, so that the values,
  // the averaged columns and the sums are not held whole at once.
  vertexValues = VertexValueMap(1, firstElementHash);
  if (!sparse) {
    valueMemory.clear();
    return Status::success();
  }
  ScatteredColumns sums;
  {
    const VertexTerms terms = gatherTerms(cells, averaged, tally, cv);
    sums = sumWeightRows(averaged, terms, tally, blends, weightRows, valueMemory, threads);
  }
  averaged = AveragedColumns{};
  weightColumns = packColumns(
      weightRows, static_cast<int64_t>(sums.length.size()),
      [&sums](int64_t j) { return sums.column(j); }, threads);
  return Status::success();
}

}  // namespace cagewarp
