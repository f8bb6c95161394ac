#pragma once

#include <cstdint>
#include <vector>

namespace cagewarp {

// One present entry of a sparse column.
struct SparseEntry {
  int row;
  float value;
};

// A rows x cols float matrix by columns, each listing its present entries with rows ascending;
// an absent entry is +0. All columns share one entry array, so a column costs no allocation.
struct SparseColumns {
  int rows = 0;
  std::vector<int64_t> start = {0};  // column j is entries[start[j], start[j + 1])
  std::vector<SparseEntry> entries;

  int cols() const { return static_cast<int>(start.size()) - 1; }
  const SparseEntry* begin(int j) const { return entries.data() + start[j]; }
  const SparseEntry* end(int j) const { return entries.data() + start[j + 1]; }
  // Appends a column given by its present entries, rows ascending.
  void appendColumn(const SparseEntry* first, const SparseEntry* last) {
    entries.insert(entries.end(), first, last);
    start.push_back(static_cast<int64_t>(entries.size()));
  }
};

// The n x n identity.
SparseColumns sparseIdentity(int n);

}  // namespace cagewarp
