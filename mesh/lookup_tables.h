#pragma once

#include <array>
#include <optional>

#include "array/matrix.h"

namespace cagewarp {

// The tables read at start from the table directory: the split rules, the face lists and the
// face tables of point location. Filled once by loadLookupTables, read-only afterwards.
struct LookupTables {
  IntMatrix procTable;
  FloatArray colrTable;
  std::array<Matrix, 8> shpTables;
  // nodeTables[t][k - 1] for tuple size k = 1..4 (edge, quad middle, six-vertex and
  // eight-vertex centre); absent when its file is missing or holds no elements.
  std::array<std::array<std::optional<IntMatrix>, 4>, 8> nodeTables;
  std::array<IntMatrix, 8> uniTables;
  std::array<IntMatrix, 8> basTables;
  std::array<IntMatrix, 10> zipTables;
  std::array<IntMatrix, 8> barTables;
  std::array<IntMatrix, 8> brnTables;
  std::array<IntMatrix, 10> nrmTables;
  std::array<IntMatrix, 8> meaTables;
  std::array<IntMatrix, 8> swpTables;

  const IntMatrix* nodeTable(int t, int k) const {
    const auto& entry = nodeTables[t][k - 1];
    return entry ? &*entry : nullptr;
  }
};

}  // namespace cagewarp
