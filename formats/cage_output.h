#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "formats/atomic_file.h"
#include "formats/cage_cells.h"
#include "mesh/mesh.h"

namespace cagewarp {

// The text of a cage file being written: positions (rows xyzRow..xyzRow+2) and cells, in a
// file that appears under its name only when complete.
class CageOutput {
 public:
  CageOutput(const Mesh& mesh, std::string path) : mesh_(mesh), file_(std::move(path)) {}

  // Fails when the file cannot be created or the mesh has no position rows.
  Status open();
  // Raw text.
  void text(std::string_view text);
  // A word or number, separated from what precedes it on the line by one space.
  void word(std::string_view word);
  void number(int64_t value);
  void endLine();
  // number(value), then the end of the line.
  void line(int64_t value);
  // x y z of vertex column v as words, each with enough digits to read back the same float.
  void coordinates(int v);
  // coordinates(v), then the end of the line.
  void position(int v);
  Status commit() { return file_.commit(); }

  // Cells as written: every type in order, octahedra as four tetrahedra each (see
  // octahedronTetrahedra) counted and passed as tetrahedra.
  int64_t writtenCellCount(int t) const;
  int64_t writtenCellCount() const;
  template <typename Visit>
  void forEachWrittenCell(Visit visit) const {
    for (int t = 0; t < cellTypeCount; ++t) forEachWrittenCell(t, visit);
  }
  template <typename Visit>
  void forEachWrittenCell(int t, Visit visit) const {
    const IntArray& cells = mesh_.cells[t];
    for (int j = 0; j < cells.cols(); ++j) {
      if (t != octahedronType) {
        visit(t, cells.column(j));
        continue;
      }
      int32_t tetrahedra[16];
      octahedronTetrahedra(cells.column(j), tetrahedra);
      for (int k = 0; k < 4; ++k) visit(static_cast<int>(tetrahedronType), tetrahedra + 4 * k);
    }
  }

 private:
  const Mesh& mesh_;
  AtomicFile file_;
  bool lineStart_ = true;
};

}  // namespace cagewarp
