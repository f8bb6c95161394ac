#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "array/matrix.h"
#include "array/status.h"
#include "formats/array_file.h"
#include "mesh/lookup_tables.h"
#include "mesh/mesh.h"
#include "relate/point_location.h"

namespace cagewarp {

// The non-zero entries of a matrix, column by column and rows ascending within a column.
// Offsets are stored times three: they index 3-row position matrices directly.
struct SparseMatrix {
  IntMatrix offsets;  // 2 x entries: 3 * row, 3 * column
  FloatArray values;  // one per entry
  int rows = 0;
  int cols = 0;
};

// The entries of `dense` that compare unequal to zero; NaN entries are left out.
SparseMatrix sparseForm(const Matrix& dense);

// P * D for a 3 x n position matrix P and the n x e matrix D: the 3 x e positions D gives.
Matrix applyRelation(const SparseMatrix& d, const Matrix& positions);

// How the model vertices inside the refined control mesh follow the control vertices as loaded.
struct Relation {
  IntArray enclosedIndices;          // ascending model vertex indices
  WeightColumns deformationColumns;  // D (n x e) by columns: j expresses enclosedIndices[j]
  SparseMatrix sparseDeformation;
};

// D as a dense n x e matrix; only for relations small enough to hold it.
Matrix deformationMatrix(const Relation& relation);

// Writes D as an array text file straight from its columns, never holding it dense; the text
// and the echo are those saveArray gives for the dense matrix, on any number of `threads` (0: one
// per core).
Status saveDeformationMatrix(const Relation& relation, const std::string& fileName,
                             Echo echo = Echo::off, int threads = 0);

// D's console form, as saveDeformationMatrix echoes it, for writers of other formats.
std::string deformationConsoleForm(const Relation& relation);

// Locates the model vertices in the volume cells of `refinedControl` (weight rows start at the
// row count of `unrefinedControl`) and builds the relation, on `threads` threads (0: one per core);
// `located`, when given, counts the model vertices located so far.
Relation buildRelation(const Mesh& model, const Mesh& unrefinedControl, const Mesh& refinedControl,
                       const LookupTables& tables, Warnings& warnings, int threads = 0,
                       std::atomic<int64_t>* located = nullptr);

// Moves each enclosed model vertex to where the relation puts it for the unrefined positions.
void placeEnclosedVertices(Mesh& model, const Relation& relation, const Mesh& unrefinedControl);

// Builds the relation and places the enclosed model vertices. Prints nothing: the caller prints
// enclosedCountLine.
Relation relateModel(Mesh& model, const Mesh& unrefinedControl, const Mesh& refinedControl,
                     const LookupTables& tables, Warnings& warnings, int threads = 0,
                     std::atomic<int64_t>* located = nullptr);

// The progress line that reports e enclosed of m model vertices, newline included.
std::string enclosedCountLine(int enclosed, int modelVertices);

}  // namespace cagewarp
