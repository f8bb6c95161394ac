#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "array/matrix.h"
#include "array/memory_advice.h"

namespace cagewarp {

// One present entry of a sparse column.
struct SparseEntry {
  int row;
  float value;
};

// A rows x cols float matrix by columns, each listing its present entries with rows ascending;
// an absent entry is +0. All columns share one entry array, so a column costs no allocation.
// A listed entry may hold any value, zeros of either sign and NaN included.
struct SparseColumns {
  int rows = 0;
  HugePageVector<int64_t> start = {0};  // column j is entries[start[j], start[j + 1])
  // In huge pages where large, and unfilled on resize: packing writes every entry, on several
  // threads.
  std::vector<SparseEntry, UnfilledAllocator<SparseEntry>> entries;

  int cols() const { return static_cast<int>(start.size()) - 1; }
  const SparseEntry* begin(int j) const { return entries.data() + start[j]; }
  const SparseEntry* end(int j) const { return entries.data() + start[j + 1]; }
  std::span<const SparseEntry> column(int j) const { return {begin(j), end(j)}; }
  int64_t listed(int j) const { return start[j + 1] - start[j]; }
  // Appends a column given by its present entries, rows ascending.
  void appendColumn(const SparseEntry* first, const SparseEntry* last) {
    entries.insert(entries.end(), first, last);
    start.push_back(static_cast<int64_t>(entries.size()));
  }
};

// The n x n identity.
SparseColumns sparseIdentity(int n);

// The present entries of column j of a matrix being packed.
using ColumnSource = std::function<std::span<const SparseEntry>(int64_t j)>;

// Columns 0 .. count - 1 of `column` packed into one matrix of `rows` rows on `threads` threads
// (0: one per core); copied(j), when given, is called once column j is copied. Before taking a
// large packed block (64 MiB or more), freed memory is handed back to the system, so that what
// the caller freed just before and the packed block are not held at once.
SparseColumns packColumns(int rows, int64_t count, const ColumnSource& column, int threads,
                          const std::function<void(int64_t j)>& copied = {});

// The columns built one growing vector each (where entries are merged in as they are found),
// packed as above. Each vector is freed once copied, so the two forms are not held whole at the
// same time.
SparseColumns packColumns(int rows, std::vector<std::vector<SparseEntry>>& columns, int threads);

// The entries of `dense` that compare unequal to zero; NaN entries are left out.
SparseColumns sparseForm(const Matrix& dense);

// All of `sparse` as a dense matrix, and the listed columns of it.
Matrix denseForm(const SparseColumns& sparse);
Matrix denseColumns(const SparseColumns& sparse, const IntArray& columns);

}  // namespace cagewarp
