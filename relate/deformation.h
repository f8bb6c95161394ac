#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "array/matrix.h"
#include "array/status.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"
#include "mesh/sparse_columns.h"
#include "relate/point_location.h"

namespace cagewarp {

// P * D for a 3 x n position matrix P and the n x e matrix D: the 3 x e positions D gives, on
// `threads` threads (0: one per core). Entries of D that are zero or NaN are passed over, as if D
// had been stored without them.
Matrix applyRelation(const SparseColumns& d, const Matrix& positions, int threads = 1);

// How the model vertices inside the refined control mesh follow the control vertices as loaded.
struct Relation {
  IntArray enclosedIndices;   // ascending model vertex indices
  SparseColumns deformation;  // D (n x e): column j expresses enclosedIndices[j]
  // How many of enclosedIndices lie outside every cell, bound to the nearest one.
  int boundFromOutside = 0;
};

// D as a dense n x e matrix; only for relations small enough to hold it.
Matrix deformationMatrix(const Relation& relation);

// Locates the model vertices in the volume cells of `refinedControl` (weight rows start at the
// row count of `unrefinedControl`) with the given cell coordinates and builds the relation, on
// `threads` threads (0: one per core); `located`, when given, counts the model vertices located so
// far.
Relation buildRelation(const Mesh& model, const Mesh& unrefinedControl, const Mesh& refinedControl,
                       const LookupTables& tables, Warnings& warnings, int threads = 0,
                       Coordinates coordinates = Coordinates::wachspress,
                       std::atomic<int64_t>* located = nullptr);

// Moves each enclosed model vertex to where the relation puts it for the unrefined positions, on
// `threads` threads (0: one per core).
void placeEnclosedVertices(Mesh& model, const Relation& relation, const Mesh& unrefinedControl,
                           int threads = 1);

// Builds the relation and places the enclosed model vertices. Prints nothing: the caller prints
// enclosedCountLine.
Relation relateModel(Mesh& model, const Mesh& unrefinedControl, const Mesh& refinedControl,
                     const LookupTables& tables, Warnings& warnings, int threads = 0,
                     Coordinates coordinates = Coordinates::wachspress,
                     std::atomic<int64_t>* located = nullptr);

// The progress line that reports e enclosed of m model vertices, newline included.
std::string enclosedCountLine(int enclosed, int modelVertices);

}  // namespace cagewarp
