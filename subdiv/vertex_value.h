#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "array/arena.h"
#include "array/matrix.h"
#include "mesh/sparse_columns.h"
#include "subdiv/tuple_map.h"

namespace cagewarp {

// A vertex's dense rows. A refinement step holds millions of them, nearly all a position or a
// position and a count, so up to four rows are kept in place. Longer columns take memory of their
// own, or lie in an arena that outlives them (a step's means, thousands of equal columns whose
// blocks of their own would cost most of their time in allocation and page faults). A copy always
// owns its rows.
class DenseColumn {
 public:
  DenseColumn() = default;
  // `rows` zeros.
  explicit DenseColumn(int rows) : count_(rows) {
    if (rows > inlineRows) {
      heap_ = std::make_unique<float[]>(static_cast<size_t>(rows));
      far_ = heap_.get();
    }
  }
  // `rows` zeros, in `arena` where they do not fit in place.
  DenseColumn(int rows, Arena& arena) : count_(rows) {
    if (rows > inlineRows) {
      far_ = arena.take<float>(static_cast<size_t>(rows));
      std::fill_n(far_, rows, 0.0f);
    }
  }
  DenseColumn(const float* first, int rows) : DenseColumn(rows) {
    std::copy_n(first, rows, data());
  }
  DenseColumn(const DenseColumn& o) : DenseColumn(o.data(), o.count_) {}
  // A moved-from column is empty.
  DenseColumn(DenseColumn&& o) noexcept
      : count_(std::exchange(o.count_, 0)),
        inline_(o.inline_),
        far_(std::exchange(o.far_, nullptr)),
        heap_(std::move(o.heap_)) {}
  DenseColumn& operator=(const DenseColumn& o) {
    if (this != &o) *this = DenseColumn(o);
    return *this;
  }
  DenseColumn& operator=(DenseColumn&& o) noexcept {
    count_ = std::exchange(o.count_, 0);
    inline_ = o.inline_;
    far_ = std::exchange(o.far_, nullptr);
    heap_ = std::move(o.heap_);
    return *this;
  }
  ~DenseColumn() = default;

  int count() const { return count_; }
  float* data() { return far_ ? far_ : inline_.data(); }
  const float* data() const { return far_ ? far_ : inline_.data(); }
  float& operator[](int i) { return data()[i]; }
  float operator[](int i) const { return data()[i]; }

  // x[i] = x[i] + o[i] over the rows both have.
  DenseColumn& operator+=(const DenseColumn& o) {
    float* x = data();
    const float* y = o.data();
    for (int i = 0, n = std::min(count_, o.count_); i < n; ++i) x[i] = x[i] + y[i];
    return *this;
  }
  // x[i] = k * x[i].
  DenseColumn& operator*=(float k) {
    float* x = data();
    for (int i = 0; i < count_; ++i) x[i] = k * x[i];
    return *this;
  }

 private:
  static constexpr int inlineRows = 4;
  int count_ = 0;
  std::array<float, inlineRows> inline_{};
  float* far_ = nullptr;  // the rows where they are not in place: heap_ or an arena's
  std::unique_ptr<float[]> heap_;
};

// One vertex column during a refinement step: the dense rows, then (for a mesh with sparse
// weights) the weight rows as present entries, rows ascending.
//
// Why the sparse weights give every float the dense rows would:
// - Every operation computes a present row with the dense formula and its order, an absent
//   input standing for +0. An absent row is exact when the formula gives +0 for all-(+0) inputs.
// - The sums (node mean, matrix products, interface sums, the smoothing accumulation) start at
//   +0, and in round-to-nearest such a sum is never -0 (s + t = -0 needs s = t = -0). Adding a
//   zero of either sign to it changes nothing, so terms that multiply an absent entry by a
//   finite table value may be skipped.
// - The factors that scale absent entries (1 / k, the interface reciprocal, 1 / weight sum, the
//   type weights) are positive and finite; table values (avg, mul, cor) must be finite, which the
//   caller checks before choosing this form: 0 * inf would be NaN in every row. The blend
//   f * col + g * v with g = 1 - f gives +0 for col = v = +0, as f and g are never both negative.
// - A computed +0 is dropped (absent means exactly that); a computed -0 is kept, as the refined
//   mesh file writes every entry. The sums never give -0, so one needs an underflow: a tiny
//   negative value scaled by 1 / k, the interface reciprocal or 1 / weight sum, or a blend whose
//   products are both -0 (e.g. f > 1 with col = -0 and v = +0). Location treats every zero alike,
//   so -0 never reaches D.
//
// The weight entries are not the value's own: they lie in memory the step keeps while the values
// live (the mesh's columns, or an arena), as millions of small blocks of their own cost much of
// the step's time in allocation and page faults.
struct VertexValue {
  DenseColumn dense;
  std::span<const SparseEntry> weights;
};

// Brings every cache line of `column` towards the cache, for a read soon after.
inline void prefetchWhole(std::span<const SparseEntry> column) {
  const char* p = reinterpret_cast<const char*>(column.data());
  const char* end = p + column.size_bytes();
  for (; p < end; p += 64) __builtin_prefetch(p);
}

// A copy of `column` in `arena`, for a value's weights.
inline std::span<const SparseEntry> keptIn(Arena& arena, std::span<const SparseEntry> column) {
  if (column.empty()) return {};
  SparseEntry* at = arena.take<SparseEntry>(column.size());
  std::copy(column.begin(), column.end(), at);
  return {at, column.size()};
}

// Keyed by (vertex, cell class) or (vertex, rule); a big step holds millions of entries, so the
// keys take no more room than that.
using VertexValueMap = TupleMap<VertexValue, 2>;

// True for the values a sparse column may leave out.
inline bool isPositiveZero(float x) {
  return x == 0.0f && !std::signbit(x);
}

// The rows a sum has touched, handed out ascending without a sort: a bit per row, and the range
// of words that hold any.
class TouchedRows {
 public:
  explicit TouchedRows(int rows) : bits_((static_cast<size_t>(rows) + 63) / 64, 0) {}

  int count() const { return count_; }
  void mark(int row) {
    const int w = row >> 6;
    const uint64_t bit = uint64_t{1} << (row & 63);
    if (bits_[w] & bit) return;
    bits_[w] |= bit;
    ++count_;
    first_ = std::min(first_, w);
    last_ = std::max(last_, w);
  }
  // Calls f(row) for every marked row, ascending, and clears the set.
  template <typename F>
  void drain(F f) {
    for (int w = first_; w <= last_; ++w) {
      for (uint64_t word = std::exchange(bits_[w], 0); word != 0; word &= word - 1)
        f(w * 64 + std::countr_zero(word));
    }
    count_ = 0;
    first_ = std::numeric_limits<int>::max();
    last_ = -1;
  }

 private:
  std::vector<uint64_t> bits_;
  int count_ = 0;
  int first_ = std::numeric_limits<int>::max();
  int last_ = -1;
};

// Sums weight columns row by row into a dense scratch row set, remembering which rows were
// touched; `take` hands them out ascending and clears the scratch for the next sum.
class WeightSum {
 public:
  explicit WeightSum(int rows) : sum_(static_cast<size_t>(rows), 0.0f), touched_(rows) {}

  // sum[r] = sum[r] + x[r] for the present rows of x.
  void add(std::span<const SparseEntry> x) {
    for (const SparseEntry& e : x) at(e.row) = sum_[e.row] + e.value;
  }
  // sum[r] = x[r] * b + sum[r], the order of a matrix product's inner loop.
  void addProduct(std::span<const SparseEntry> x, float b) {
    for (const SparseEntry& e : x) at(e.row) = e.value * b + sum_[e.row];
  }
  // The touched rows, ascending, as scale * sum (computed +0 dropped); the scratch is cleared.
  void take(std::vector<SparseEntry>& out, float scale) {
    takeWith(out, [scale](float s) { return scale * s; });
  }
  void take(std::vector<SparseEntry>& out) {
    takeWith(out, [](float s) { return s; });
  }

 private:
  float& at(int row) {
    touched_.mark(row);
    return sum_[row];
  }
  template <typename F>
  void takeWith(std::vector<SparseEntry>& out, F finish) {
    out.clear();
    // A fresh column is kept as long as the step runs, so it is sized once, not by doubling.
    out.reserve(static_cast<size_t>(touched_.count()));
    touched_.drain([&](int row) {
      const float value = finish(sum_[row]);
      if (!isPositiveZero(value)) out.push_back({row, value});
      sum_[row] = 0.0f;
    });
  }

  std::vector<float> sum_;
  TouchedRows touched_;
};

// out[r] = f(a[r], b[r]) over the rows present in a or b (absent: +0), computed +0 dropped.
template <typename F>
void mergeWeights(std::span<const SparseEntry> a, std::span<const SparseEntry> b, F f,
                  std::vector<SparseEntry>& out) {
  out.clear();
  size_t i = 0;
  size_t j = 0;
  while (i < a.size() || j < b.size()) {
    int row;
    float x = 0.0f;
    float y = 0.0f;
    if (j == b.size() || (i < a.size() && a[i].row < b[j].row)) {
      row = a[i].row;
      x = a[i++].value;
    } else if (i == a.size() || b[j].row < a[i].row) {
      row = b[j].row;
      y = b[j++].value;
    } else {
      row = a[i].row;
      x = a[i++].value;
      y = b[j++].value;
    }
    const float value = f(x, y);
    if (!isPositiveZero(value)) out.push_back({row, value});
  }
}

}  // namespace cagewarp
