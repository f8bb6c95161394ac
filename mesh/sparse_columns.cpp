#include "mesh/sparse_columns.h"
#include <cstddef>

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

}  // namespace cagewarp
