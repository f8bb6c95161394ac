#include "formats/matrix_market.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "array/parallel_for.h"
#include "formats/atomic_file.h"
#include "formats/number_format.h"

namespace cagewarp {
namespace {

constexpr std::string_view bannerLine = "%%MatrixMarket matrix coordinate real general\n";
// Text formatted in one piece on one thread; see formatInOrder.
constexpr int64_t pieceBytes = int64_t{1} << 20;
// Longest entry line: two 1-based indices of up to 11 digits each, the shortest float text
// ("-1.17549435e-38"), two blanks and the newline.
constexpr int maxEntryText = 11 + 1 + 11 + 1 + 15 + 1;

bool isStored(float value) {
  return !(value == 0.0f);  // keeps NaN, drops both zeros
}

int64_t storedCount(const SparseColumns& d) {
  int64_t count = 0;
  for (const SparseEntry& entry : d.entries) count += isStored(entry.value);
  return count;
}

// The entry lines of D's columns [begin, end), written straight into room made for the longest
// lines they can have.
void appendEntryLines(const SparseColumns& d, const IntArray& enclosed, int64_t begin, int64_t end,
                      std::string& text) {
  const int64_t listed = d.start[end] - d.start[begin];
  const size_t start = text.size();
  // The last value's text may write whole words past its end.
  text.resize(start + static_cast<size_t>(listed * maxEntryText + maxShortestText));
  char* p = text.data() + start;
  for (int64_t c = begin; c < end; ++c) {
    const int64_t j = int64_t{enclosed[static_cast<int>(c)]} + 1;
    char column[24];
    const char* columnEnd = std::to_chars(column, column + sizeof column, j).ptr;
    for (const SparseEntry* entry = d.begin(static_cast<int>(c));
         entry != d.end(static_cast<int>(c)); ++entry) {
      if (!isStored(entry->value)) continue;
      p = std::to_chars(p, p + maxEntryText, int64_t{entry->row} + 1).ptr;
      *p++ = ' ';
      p = std::copy(static_cast<const char*>(column), columnEnd, p);
      *p++ = ' ';
      p = formatFloatShortest(p, entry->value);
      *p++ = '\n';
    }
  }
  text.resize(static_cast<size_t>(p - text.data()));
}

int64_t columnsPerPiece(const SparseColumns& d, int64_t stored) {
  const int64_t columns = d.cols();
  if (columns == 0) return 1;
  // About 24 bytes per entry line with six-digit indices.
  return std::max<int64_t>(1, pieceBytes / std::max<int64_t>(1, stored * 24 / columns));
}

}  // namespace

Status writeMatrixMarket(const SparseColumns& d, const IntArray& enclosed, int modelVertices,
                         const std::string& fileName, int threads) {
  CAGEWARP_CHECK(d.cols() == enclosed.count());
  AtomicFile file(fileName);
  if (Status opened = file.open(); !opened.ok) return opened;
  std::FILE* f = file.stream();
  const int64_t stored = storedCount(d);
  const std::string head = std::string(bannerLine) + std::to_string(d.rows) + " " +
                           std::to_string(modelVertices) + " " + std::to_string(stored) + "\n";
  bool ok = std::fwrite(head.data(), 1, head.size(), f) == head.size();
  formatInOrder(
      d.cols(), columnsPerPiece(d, stored), threads,
      [&](int64_t begin, int64_t end, std::string& text) {
        appendEntryLines(d, enclosed, begin, end, text);
      },
      [&](int64_t, int64_t, const std::string& text) {
        ok = ok && std::fwrite(text.data(), 1, text.size(), f) == text.size();
      });
  // Dropping the file uncommitted removes the partial text and keeps any earlier result.
  if (!ok) return Status::failure(fileName + ": cannot write");
  return file.commit();
}

}  // namespace cagewarp
