#pragma once

#include <initializer_list>

#include "array/matrix.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"

namespace cagewarp::testing::faces {

// Face lists in the shared local numbering, volume faces counter-clockwise seen from outside.
inline LookupTables faceListTables() {
  LookupTables tables;
  tables.zipTables[0] = IntMatrix(IntArray::fromValues({0, 1, 1, 2, 2, 0}));
  tables.zipTables[1] = IntMatrix(IntArray::fromValues({0, 1, 1, 2, 2, 3, 3, 0}));
  tables.zipTables[2] = IntMatrix(IntArray::fromValues({0, 2, 1, 0, 1, 3, 1, 2, 3, 0, 3, 2}));
  tables.zipTables[3] = IntMatrix(IntArray::fromValues({0, 2, 1, 3, 4, 5}));
  tables.zipTables[4] = IntMatrix(IntArray::fromValues({0, 1, 4, 3, 1, 2, 5, 4, 2, 0, 3, 5}));
  tables.zipTables[5] = IntMatrix(IntArray::fromValues(
      {0, 3, 2, 1, 4, 5, 6, 7, 0, 1, 5, 4, 1, 2, 6, 5, 2, 3, 7, 6, 3, 0, 4, 7}));
  tables.zipTables[6] = IntMatrix(IntArray::fromValues(
      {0, 1, 2, 0, 2, 3, 0, 3, 4, 0, 4, 1, 5, 2, 1, 5, 3, 2, 5, 4, 3, 5, 1, 4}));
  checkTables(tables);
  return tables;
}

// The cells of one type, one column per cell.
inline IntArray cellColumns(int rows, std::initializer_list<int> corners) {
  IntArray cells({rows, static_cast<int>(corners.size()) / rows}, 0);
  int i = 0;
  for (int v : corners) cells[i++] = v;
  return cells;
}

// A matrix from its columns, listed one after the other.
inline Matrix matrixColumns(int rows, std::initializer_list<float> values) {
  Matrix m(rows, static_cast<int>(values.size()) / rows);
  int i = 0;
  for (float v : values) m[i++] = v;
  return m;
}

}  // namespace cagewarp::testing::faces
