#include "relate/deformation.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "array/parallel_for.h"

#include "relate/point_location.h"

namespace cagewarp {
namespace {

bool isNonZero(float v) {
  return v < 0.0f || v > 0.0f;
}

}  // namespace

SparseMatrix sparseForm(const Matrix& dense) {
  SparseMatrix sparse;
  sparse.rows = dense.isEmpty() ? 0 : dense.rows();
  sparse.cols = dense.isEmpty() ? 0 : dense.cols();
  CAGEWARP_CHECK(sparse.rows <= std::numeric_limits<int>::max() / 3 &&
                 sparse.cols <= std::numeric_limits<int>::max() / 3);
  int entries = 0;
  for (int i = 0; i < dense.count(); ++i) entries += isNonZero(dense[i]);
  sparse.offsets = IntMatrix(2, entries);
  sparse.values = FloatArray({entries}, 0.0f);
  int e = 0;
  for (int j = 0; j < sparse.cols; ++j) {
    const float* column = dense.column(j);
    for (int i = 0; i < sparse.rows; ++i) {
      if (!isNonZero(column[i])) continue;
      sparse.offsets.at(0, e) = 3 * i;
      sparse.offsets.at(1, e) = 3 * j;
      sparse.values[e] = column[i];
      ++e;
    }
  }
  return sparse;
}

Matrix applyRelation(const SparseMatrix& d, const Matrix& positions) {
  CAGEWARP_CHECK(positions.rows() == 3 && positions.cols() >= d.rows);
  Matrix x(3, d.cols);
  for (int e = 0; e < d.values.count(); ++e) {
    const float* p = positions.data() + d.offsets.at(0, e);
    float* out = x.data() + d.offsets.at(1, e);
    const float v = d.values[e];
    for (int k = 0; k < 3; ++k) out[k] = out[k] + p[k] * v;
  }
  return x;
}

namespace {

// The sparse form of the listed weight columns; the same as sparseForm of their dense copy,
// whose other entries are +0, without reading that copy.
SparseMatrix sparseColumns(const WeightColumns& weights, const IntArray& columns, int threads) {
  SparseMatrix sparse;
  sparse.rows = weights.rows;
  sparse.cols = columns.count();
  CAGEWARP_CHECK(sparse.rows <= std::numeric_limits<int>::max() / 3 &&
                 sparse.cols <= std::numeric_limits<int>::max() / 3);
  // Each column's first entry, counted wide: the columns may hold more entries than an int
  // counts, which no array here holds. Columns are counted and copied on the threads, each into
  // its own place, so the result is the same on any number of them.
  std::vector<int64_t> first(static_cast<size_t>(sparse.cols) + 1, 0);
  parallelFor(sparse.cols, threads, [&](int64_t begin, int64_t end) {
    for (int64_t j = begin; j < end; ++j)
      for (const WeightEntry& entry : weights.columns[columns[static_cast<int>(j)]])
        first[j + 1] += isNonZero(entry.value);
  });
  for (int j = 0; j < sparse.cols; ++j) first[j + 1] += first[j];
  if (first.back() > std::numeric_limits<int>::max()) throw std::bad_alloc();
  const int entries = static_cast<int>(first.back());
  sparse.offsets = IntMatrix(2, entries);
  sparse.values = FloatArray({entries}, 0.0f);
  parallelFor(sparse.cols, threads, [&](int64_t begin, int64_t end) {
    for (int64_t j = begin; j < end; ++j) {
      auto e = static_cast<int>(first[j]);
      for (const WeightEntry& entry : weights.columns[columns[static_cast<int>(j)]]) {
        if (!isNonZero(entry.value)) continue;
        sparse.offsets.at(0, e) = 3 * entry.row;
        sparse.offsets.at(1, e) = 3 * static_cast<int>(j);
        sparse.values[e] = entry.value;
        ++e;
      }
    }
  });
  return sparse;
}

}  // namespace

Relation buildRelation(const Mesh& model, const Mesh& unrefinedControl, const Mesh& refinedControl,
                       const LookupTables& tables, Warnings& warnings, int threads,
                       Coordinates coordinates, std::atomic<int64_t>* located) {
  ModelLocation location =
      locateModelVertices(refinedControl, model.vertices, unrefinedControl.vertexRows(), tables,
                          warnings, threads, coordinates, located);
  Relation relation;
  relation.enclosedIndices = location.enclosureCount.find();
  relation.sparseDeformation = sparseColumns(location.weights, relation.enclosedIndices, threads);
  relation.deformationColumns.rows = location.weights.rows;
  relation.deformationColumns.columns.reserve(relation.enclosedIndices.count());
  for (int j = 0; j < relation.enclosedIndices.count(); ++j)
    relation.deformationColumns.columns.push_back(
        std::move(location.weights.columns[relation.enclosedIndices[j]]));
  return relation;
}

Matrix deformationMatrix(const Relation& relation) {
  return denseWeights(relation.deformationColumns);
}

namespace {

// Text formatted in one piece on one thread: large enough that handing it over costs little,
// small enough that a round of pieces for every thread stays a few megabytes.
constexpr int64_t pieceBytes = int64_t{1} << 20;

// Columns [begin, end) of D as they stand in the file: between a column's listed rows every
// entry is +0. Written straight into room made for the longest text they can have.
void appendColumnTexts(const WeightColumns& d, int begin, int end, std::string& text) {
  int64_t listed = 0;
  for (int j = begin; j < end; ++j) listed += static_cast<int64_t>(d.columns[j].size());
  const size_t start = text.size();
  text.resize(start + static_cast<size_t>(2 * int64_t{d.rows} * (end - begin) +
                                          listed * (maxElementText - 2)));
  char* p = text.data() + start;
  for (int j = begin; j < end; ++j) {
    int row = 0;
    for (const WeightEntry& entry : d.columns[j]) {
      p = putZeroTexts(p, entry.row - row);
      p = putElementText(p, entry.value);
      row = entry.row + 1;
    }
    p = putZeroTexts(p, d.rows - row);
  }
  text.resize(static_cast<size_t>(p - text.data()));
}

// Columns per piece, from the average text of a column: two bytes per zero, at most
// maxElementText per listed entry.
int columnsPerPiece(const WeightColumns& d) {
  int64_t listed = 0;
  for (const auto& column : d.columns) listed += static_cast<int64_t>(column.size());
  const auto columns = static_cast<int64_t>(d.columns.size());
  const int64_t perColumn =
      2 * int64_t{d.rows} + (columns > 0 ? listed * maxElementText / columns : 0);
  return static_cast<int>(std::clamp<int64_t>(pieceBytes / std::max<int64_t>(perColumn, 1), 1,
                                              std::numeric_limits<int>::max()));
}

}  // namespace

Status saveDeformationMatrix(const Relation& relation, const std::string& fileName, Echo echo,
                             int threads) {
  const WeightColumns& d = relation.deformationColumns;
  const int columns = static_cast<int>(d.columns.size());
  // An array file counts its elements in an int; a larger D (a large cage and many enclosed
  // vertices) is refused rather than miscounted.
  if (int64_t{d.rows} * columns > std::numeric_limits<int>::max()) {
    return Status::failure(fileName + ": D has " + std::to_string(int64_t{d.rows} * columns) +
                           " entries, more than an array file holds; --mtx writes it sparse");
  }
  ArrayTextWriter out(fileName, {d.rows, columns});
  const Status status = out.open();
  if (consoleShowsElements({d.rows, columns})) {
    // Few enough entries for the echo to list: element by element, so the writer sees them.
    for (int j = 0; j < columns && status.ok; ++j) {
      int row = 0;
      for (const WeightEntry& entry : d.columns[j]) {
        out.zeros(entry.row - row);
        out.element(entry.value);
        row = entry.row + 1;
      }
      out.zeros(d.rows - row);
    }
  } else if (status.ok) {
    formatInOrder(
        columns, columnsPerPiece(d), threads,
        [&](int64_t begin, int64_t end, std::string& text) {
          appendColumnTexts(d, static_cast<int>(begin), static_cast<int>(end), text);
        },
        [&](int64_t begin, int64_t end, const std::string& text) {
          out.elementTexts(text, (end - begin) * d.rows);
        });
  }
  const Status written = out.finish(echo);
  return status.ok ? written : status;
}

std::string deformationConsoleForm(const Relation& relation) {
  const std::vector<int> sizes{relation.deformationColumns.rows,
                               static_cast<int>(relation.deformationColumns.columns.size())};
  if (consoleShowsElements(sizes)) return consoleForm(deformationMatrix(relation));
  return consoleShapeForm(sizes, &relation);
}

void placeEnclosedVertices(Mesh& model, const Relation& relation, const Mesh& unrefinedControl) {
  const int n = unrefinedControl.vertexColumns();
  const int e = relation.enclosedIndices.count();
  if (e == 0) return;
  CAGEWARP_CHECK(unrefinedControl.vertexRows() >= 3 && relation.sparseDeformation.rows == n);
  CAGEWARP_CHECK(model.vertexRows() >= model.xyzRow + 3);
  Matrix p(3, n);
  for (int i = 0; i < n; ++i) std::copy_n(unrefinedControl.vertices.column(i), 3, p.column(i));
  const Matrix x = applyRelation(relation.sparseDeformation, p);
  for (int j = 0; j < e; ++j)
    std::copy_n(x.column(j), 3, model.vertices.column(relation.enclosedIndices[j]) + model.xyzRow);
}

Relation relateModel(Mesh& model, const Mesh& unrefinedControl, const Mesh& refinedControl,
                     const LookupTables& tables, Warnings& warnings, int threads,
                     Coordinates coordinates, std::atomic<int64_t>* located) {
  Relation relation = buildRelation(model, unrefinedControl, refinedControl, tables, warnings,
                                    threads, coordinates, located);
  placeEnclosedVertices(model, relation, unrefinedControl);
  return relation;
}

std::string enclosedCountLine(int enclosed, int modelVertices) {
  char line[96];
  std::snprintf(line, sizeof line, " %i of %i model vertices enclosed by subdiv. volume mesh\n",
                enclosed, modelVertices);
  return line;
}

}  // namespace cagewarp
