#include "formats/deformation_matrix.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "array/parallel_for.h"

namespace cagewarp {
namespace {

// Text formatted in one piece on one thread: large enough that handing it over costs little,
// small enough that a round of pieces for every thread stays a few megabytes.
constexpr int64_t pieceBytes = int64_t{1} << 20;

// Columns [begin, end) of D as they stand in the file: between a column's listed rows every
// entry is +0. Written straight into room made for the longest text they can have, and for what
// the last text may overwrite past its end.
void appendColumnTexts(const SparseColumns& d, int begin, int end, std::string& text) {
  const int64_t listed = d.start[end] - d.start[begin];
  const size_t start = text.size();
  text.resize(start + static_cast<size_t>(2 * int64_t{d.rows} * (end - begin) +
                                          listed * (maxElementText - 2) + zeroTextRoom));
  char* p = text.data() + start;
  for (int j = begin; j < end; ++j) {
    int row = 0;
    for (const SparseEntry* entry = d.begin(j); entry != d.end(j); ++entry) {
      p = putZeroTexts(p, entry->row - row);
      p = putElementText(p, entry->value);
      row = entry->row + 1;
    }
    p = putZeroTexts(p, d.rows - row);
  }
  text.resize(static_cast<size_t>(p - text.data()));
}

// Columns per piece, from the average text of a column: two bytes per zero, at most
// maxElementText per listed entry.
int columnsPerPiece(const SparseColumns& d) {
  const auto listed = static_cast<int64_t>(d.entries.size());
  const int64_t columns = d.cols();
  const int64_t perColumn =
      2 * int64_t{d.rows} + (columns > 0 ? listed * maxElementText / columns : 0);
  return static_cast<int>(std::clamp<int64_t>(pieceBytes / std::max<int64_t>(perColumn, 1), 1,
                                              std::numeric_limits<int>::max()));
}

}  // namespace

Status saveDeformationMatrix(const SparseColumns& d, const std::string& fileName, Echo echo,
                             int threads) {
  const int columns = d.cols();
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
      for (const SparseEntry* entry = d.begin(j); entry != d.end(j); ++entry) {
        out.zeros(entry->row - row);
        out.element(entry->value);
        row = entry->row + 1;
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

std::string deformationConsoleForm(const SparseColumns& d) {
  const std::vector<int> sizes{d.rows, d.cols()};
  if (consoleShowsElements(sizes)) return consoleForm(denseForm(d));
  return consoleShapeForm(sizes, &d);
}

}  // namespace cagewarp
