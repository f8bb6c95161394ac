#pragma once

#include <bit>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "relate/deformation.h"

namespace cagewarp::testing {

// A relation whose D has `rows` rows and `columns` columns, about `perColumn` listed rows per
// column at random, with values of every kind a written D must carry: ordinary weights, +0 and -0
// listed explicitly, denormals, huge values, infinities and NaN. Columns may be empty.
inline Relation sampleRelation(int rows, int columns, int perColumn, uint32_t seed) {
  std::mt19937 random(seed);
  const float specials[] = {0.0f,
                            -0.0f,
                            std::numeric_limits<float>::denorm_min(),
                            -3.0e38f,
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN(),
                            1.0f};
  Relation relation;
  relation.enclosedIndices = IntArray({columns}, 0);
  relation.deformation.rows = rows;
  std::vector<SparseEntry> column;
  for (int j = 0; j < columns; ++j) {
    relation.enclosedIndices[j] = 2 * j + 1;
    column.clear();
    for (int i = 0; i < rows; ++i) {
      if (static_cast<int>(random() % static_cast<uint32_t>(rows)) >= perColumn) continue;
      const uint32_t pick = random() % 64;
      const float value =
          pick < 8 ? specials[pick] : std::uniform_real_distribution<float>(-0.5f, 1.5f)(random);
      column.push_back({i, value});
    }
    relation.deformation.appendColumn(column.data(), column.data() + column.size());
  }
  return relation;
}

}  // namespace cagewarp::testing
