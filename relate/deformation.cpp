#include "relate/deformation.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>

#include "array/parallel_for.h"
#include "relate/point_location.h"

namespace cagewarp {

Matrix applyRelation(const SparseColumns& d, const Matrix& positions, int threads) {
  CAGEWARP_CHECK(positions.rows() == 3 && positions.cols() >= d.rows);
  Matrix x(3, d.cols());
  parallelFor(d.cols(), threads, [&](int64_t begin, int64_t end) {
    for (auto j = static_cast<int>(begin); j < end; ++j) {
      float* out = x.column(j);
      for (const SparseEntry* e = d.begin(j); e != d.end(j); ++e) {
        // A zero times an infinite position would be NaN, where the stored form of D has nothing.
        if (!(e->value < 0.0f || e->value > 0.0f)) continue;
        const float* p = positions.column(e->row);
        for (int k = 0; k < 3; ++k) out[k] = out[k] + p[k] * e->value;
      }
    }
  });
  return x;
}

Relation buildRelation(const Mesh& model, const Mesh& unrefinedControl, const Mesh& refinedControl,
                       const LookupTables& tables, Warnings& warnings, int threads,
                       Coordinates coordinates, std::atomic<int64_t>* located) {
  ModelLocation location =
      locateModelVertices(refinedControl, model.vertices, unrefinedControl.vertexRows(), tables,
                          warnings, threads, coordinates, located);
  Relation relation;
  relation.enclosedIndices = location.enclosureCount.find();
  // A vertex no cell encloses has an empty column, so D's columns are W's without them: W's
  // entries as they are, and only the column starts to select.
  SparseColumns& d = relation.deformation;
  const SparseColumns& w = location.weights;
  const int e = relation.enclosedIndices.count();
  d.rows = w.rows;
  d.start.resize(static_cast<size_t>(e) + 1);
  for (int j = 0; j < e; ++j) d.start[j] = w.start[relation.enclosedIndices[j]];
  d.start[e] = e > 0 ? w.start[relation.enclosedIndices[e - 1] + 1] : 0;
  CAGEWARP_CHECK(d.start[e] == static_cast<int64_t>(w.entries.size()));
  d.entries = std::move(location.weights.entries);
  return relation;
}

Matrix deformationMatrix(const Relation& relation) {
  return denseForm(relation.deformation);
}

void placeEnclosedVertices(Mesh& model, const Relation& relation, const Mesh& unrefinedControl,
                           int threads) {
  const int n = unrefinedControl.vertexColumns();
  const int e = relation.enclosedIndices.count();
  if (e == 0) return;
  CAGEWARP_CHECK(unrefinedControl.vertexRows() >= 3 && relation.deformation.rows == n);
  CAGEWARP_CHECK(model.vertexRows() >= model.xyzRow + 3);
  Matrix p(3, n);
  for (int i = 0; i < n; ++i) std::copy_n(unrefinedControl.vertices.column(i), 3, p.column(i));
  const Matrix x = applyRelation(relation.deformation, p, threads);
  for (int j = 0; j < e; ++j)
    std::copy_n(x.column(j), 3, model.vertices.column(relation.enclosedIndices[j]) + model.xyzRow);
}

Relation relateModel(Mesh& model, const Mesh& unrefinedControl, const Mesh& refinedControl,
                     const LookupTables& tables, Warnings& warnings, int threads,
                     Coordinates coordinates, std::atomic<int64_t>* located) {
  Relation relation = buildRelation(model, unrefinedControl, refinedControl, tables, warnings,
                                    threads, coordinates, located);
  placeEnclosedVertices(model, relation, unrefinedControl, threads);
  return relation;
}

std::string enclosedCountLine(int enclosed, int modelVertices) {
  char line[96];
  std::snprintf(line, sizeof line, " %i of %i model vertices enclosed by subdiv. volume mesh\n",
                enclosed, modelVertices);
  return line;
}

}  // namespace cagewarp
