#include "formats/xyz_file.h"

#include <string_view>

#include "formats/atomic_file.h"
#include "formats/model_reading.h"

namespace cagewarp {
namespace {

constexpr char commentLetter = '#';

}  // namespace

Status readXyz(const std::string& path, ModelFile& model) {
  detail::ModelBuilder builder(model);
  LineCursor lines(model.text());
  while (lines.next()) {
    WordCursor words(lines.line(), lines.offset(), commentLetter);
    std::string_view word;
    float xyz[3];
    // A line that does not start with a number names its columns or says something else.
    if (!words.next(word) || !parseFloat(word, xyz[0])) continue;
    int64_t offsets[3] = {words.wordOffset(), 0, 0};
    int64_t lengths[3] = {static_cast<int64_t>(word.size()), 0, 0};
    for (int axis = 1; axis < 3; ++axis) {
      if (!words.next(word)) return textFailure(path, lines.number(), "a point needs x, y and z");
      if (!parseFloat(word, xyz[axis]))
        return textFailure(path, lines.number(), quoted(word) + " is not a number");
      offsets[axis] = words.wordOffset();
      lengths[axis] = static_cast<int64_t>(word.size());
    }
    const int vertex = builder.addVertex(xyz[0], xyz[1], xyz[2]);
    if (vertex < 0) return textFailure(path, lines.number(), "too many vertices");
    for (int axis = 0; axis < 3; ++axis)
      builder.addSite(offsets[axis], lengths[axis], vertex, axis, CoordinateEncoding::text);
  }
  builder.finish();
  return Status::success();
}

Status writeXyz(const ModelGeometry& model, const std::string& path) {
  AtomicFile file(path);
  if (Status status = file.open(); !status.ok) return status;
  std::FILE* out = file.stream();
  const Matrix& positions = model.mesh.vertices;
  for (int v = 0; v < positions.cols(); ++v) {
    for (int axis = 0; axis < 3; ++axis) {
      if (axis > 0) std::fputc(' ', out);
      detail::putFloat(out, positions(axis, v));
    }
    std::fputc('\n', out);
  }
  return file.commit();
}

}  // namespace cagewarp
