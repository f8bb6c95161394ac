#include "formats/cage_output.h"

#include <cinttypes>
#include <cstdio>

#include "formats/number_format.h"

namespace cagewarp {

Status CageOutput::open() {
  if (mesh_.vertexRows() < mesh_.xyzRow + 3 || mesh_.xyzRow < 0)
    return Status::failure(file_.path() + ": the mesh has no x, y, z rows to write");
  return file_.open();
}

void CageOutput::text(std::string_view text) {
  if (text.empty()) return;
  std::fwrite(text.data(), 1, text.size(), file_.stream());
  lineStart_ = text.back() == '\n';
}

void CageOutput::word(std::string_view word) {
  if (!lineStart_) std::fputc(' ', file_.stream());
  text(word);
}

void CageOutput::number(int64_t value) {
  if (!lineStart_) std::fputc(' ', file_.stream());
  std::fprintf(file_.stream(), "%" PRId64, value);
  lineStart_ = false;
}

void CageOutput::endLine() {
  text("\n");
}

void CageOutput::line(int64_t value) {
  number(value);
  endLine();
}

void CageOutput::coordinates(int v) {
  const float* p = mesh_.vertices.column(v) + mesh_.xyzRow;
  for (int k = 0; k < 3; ++k) {
    if (!lineStart_) std::fputc(' ', file_.stream());
    char text[maxNumberText];
    std::fwrite(text, 1, static_cast<size_t>(formatFloatPrecise(text, p[k]) - text),
                file_.stream());
    lineStart_ = false;
  }
}

void CageOutput::position(int v) {
  coordinates(v);
  endLine();
}

int64_t CageOutput::writtenCellCount(int t) const {
  if (t == tetrahedronType)
    return mesh_.cellCount(t) + int64_t{4} * mesh_.cellCount(octahedronType);
  return t == octahedronType ? 0 : mesh_.cellCount(t);
}

int64_t CageOutput::writtenCellCount() const {
  int64_t total = 0;
  for (int t = 0; t < cellTypeCount; ++t) total += writtenCellCount(t);
  return total;
}

}  // namespace cagewarp
