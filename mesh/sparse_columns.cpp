#include "mesh/sparse_columns.h"

#include <algorithm>
#include <cstddef>

#include "array/memory_advice.h"
#include "array/parallel_for.h"

namespace cagewarp {

SparseColumns sparseIdentity(int n) {
  SparseColumns identity;
  identity.rows = n;
  identity.start.reserve(static_cast<size_t>(n) + 1);
  identity.entries.reserve(static_cast<size_t>(n));
  for (int j = 0; j < n; ++j) {
    const SparseEntry one{j, 1.0f};
    identity.appendColumn(&one, &one + 1);
  }
  return identity;
}

namespace {

// Packed columns this large (64 MiB) are worth handing freed memory back for.
constexpr size_t largePacking = size_t{64} << 20;

}  // namespace

SparseColumns packColumns(int rows, int64_t count, const ColumnSource& column, int threads,
                          const std::function<void(int64_t j)>& copied) {
  SparseColumns packed;
  packed.rows = rows;
  packed.start.assign(static_cast<size_t>(count) + 1, 0);
  for (int64_t j = 0; j < count; ++j)
    packed.start[j + 1] = packed.start[j] + static_cast<int64_t>(column(j).size());
  const auto entries = static_cast<size_t>(packed.start.back());
  // A small block reuses freed memory: handing it back would only cost the faults of taking it
  // again.
  if (entries * sizeof(SparseEntry) >= largePacking) returnFreedMemory();
  packed.entries.resize(entries);
  // Each column is copied into its own place, so the result is the same on any threads; every
  // entry is written once, and the threads take the fresh pages' faults between them.
  parallelFor(count, threads, [&](int64_t begin, int64_t end) {
    for (int64_t j = begin; j < end; ++j) {
      const std::span<const SparseEntry> source = column(j);
      std::copy(source.begin(), source.end(), packed.entries.begin() + packed.start[j]);
      if (copied) copied(j);
    }
  });
  return packed;
}

SparseColumns packColumns(int rows, std::vector<std::vector<SparseEntry>>& columns, int threads) {
  return packColumns(
      rows, static_cast<int64_t>(columns.size()),
      [&columns](int64_t j) { return std::span<const SparseEntry>(columns[j]); }, threads,
      [&columns](int64_t j) { std::vector<SparseEntry>().swap(columns[j]); });
}

SparseColumns sparseForm(const Matrix& dense) {
  SparseColumns sparse;
  sparse.rows = dense.isEmpty() ? 0 : dense.rows();
  const int cols = dense.isEmpty() ? 0 : dense.cols();
  sparse.start.reserve(static_cast<size_t>(cols) + 1);
  for (int j = 0; j < cols; ++j) {
    const float* column = dense.column(j);
    for (int i = 0; i < sparse.rows; ++i)
      if (column[i] < 0.0f || column[i] > 0.0f) sparse.entries.push_back({i, column[i]});
    sparse.start.push_back(static_cast<int64_t>(sparse.entries.size()));
  }
  return sparse;
}

Matrix denseColumns(const SparseColumns& sparse, const IntArray& columns) {
  Matrix selected(sparse.rows, columns.count());
  for (int j = 0; j < columns.count(); ++j) {
    CAGEWARP_CHECK(columns[j] >= 0 && columns[j] < sparse.cols());
    float* out = selected.column(j);
    for (const SparseEntry* e = sparse.begin(columns[j]); e != sparse.end(columns[j]); ++e)
      out[e->row] = e->value;
  }
  return selected;
}

Matrix denseForm(const SparseColumns& sparse) {
  IntArray all({sparse.cols()}, 0);
  for (int j = 0; j < sparse.cols(); ++j) all[j] = j;
  return denseColumns(sparse, all);
}

}  // namespace cagewarp
