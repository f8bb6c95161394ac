#include "mesh/sparse_columns.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace cagewarp {
namespace {

TEST(SparseForm, KeepsNonZeroEntriesInColumnOrder) {
  Matrix dense(3, 2);
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float values[6] = {0.5f, 0.0f, -0.25f, -0.0f, nan, 2.0f};
  std::copy(values, values + 6, dense.data());
  const SparseColumns sparse = sparseForm(dense);
  EXPECT_EQ(sparse.rows, 3);
  EXPECT_EQ(sparse.cols(), 2);
  EXPECT_EQ(sparse.start, (HugePageVector<int64_t>{0, 2, 3}));
  const std::pair<int, float> entries[3] = {{0, 0.5f}, {2, -0.25f}, {2, 2.0f}};
  ASSERT_EQ(sparse.entries.size(), 3u);
  for (int e = 0; e < 3; ++e) {
    EXPECT_EQ(sparse.entries[e].row, entries[e].first);
    EXPECT_EQ(sparse.entries[e].value, entries[e].second);
  }

  const SparseColumns empty = sparseForm(Matrix(4, 0));
  EXPECT_EQ(empty.rows, 4);
  EXPECT_EQ(empty.entries.size(), 0u);
}

}  // namespace
}  // namespace cagewarp
