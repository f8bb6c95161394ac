#include "formats/off_file.h"

#include <climits>
#include <string_view>
#include <vector>

#include "formats/atomic_file.h"
#include "formats/model_reading.h"

namespace cagewarp {
namespace {

// The exact words of the OFF format: the header is [ST][C][N]OFF, the prefixes naming texture
// coordinates, a colour and a normal after each vertex's x, y, z.
constexpr std::string_view headerKeyword = "OFF";
constexpr std::string_view headerPrefixes[] = {"ST", "C", "N"};
constexpr char commentLetter = '#';
// The shortest vertex line, "0 0 0", and face line, "0", with their line ends.
constexpr int64_t shortestVertexLine = 6;
constexpr int64_t shortestFaceLine = 2;

bool isHeader(std::string_view word) {
  for (std::string_view prefix : headerPrefixes) {
    if (word.starts_with(prefix)) word.remove_prefix(prefix.size());
  }
  return word == headerKeyword;
}

class OffReader {
 public:
  OffReader(const std::string& path, ModelFile& model)
      : path_(path), model_(model), builder_(model), lines_(model.text()) {}

  Status read() {
    Status status = readHeader();
    for (int64_t k = 0; k < vertexTotal_ && status.ok; ++k) status = readVertex(k);
    for (int64_t k = 0; k < faceTotal_ && status.ok; ++k) status = readFace(k);
    if (!status.ok) return status;
    builder_.finish();
    return Status::success();
  }

 private:
  // The next line with a word on it; false at the end of the file.
  bool nextRecord(WordCursor& words, std::string_view& first) {
    while (lines_.next()) {
      words = WordCursor(lines_.line(), lines_.offset(), commentLetter);
      if (words.next(first)) return true;
    }
    return false;
  }

  Status fail(const std::string& what) const { return textFailure(path_, lines_.number(), what); }

  // The header word, then the vertex, face and edge counts on the same or following lines.
  Status readHeader() {
    WordCursor words(std::string_view(), 0);
    std::string_view word;
    if (!nextRecord(words, word) || !isHeader(word))
      return fail("the file does not start with an OFF header");
    int64_t counts[3];
    for (int64_t& count : counts) {
      if (!words.next(word) && !nextRecord(words, word))
        return fail("the file ends before the vertex, face and edge counts");
      if (!parseInteger(word, count)) return fail(quoted(word) + " is not a count");
      if (count < 0) return fail("negative count " + std::to_string(count));
    }
    if (words.next(word)) return fail(quoted(word) + " follows the counts on their line");
    vertexTotal_ = counts[0];
    faceTotal_ = counts[1];
    const int64_t remaining = static_cast<int64_t>(model_.bytes.size()) - lines_.nextOffset();
    if (vertexTotal_ > INT_MAX / 3 || faceTotal_ > INT_MAX ||
        vertexTotal_ * shortestVertexLine + faceTotal_ * shortestFaceLine > remaining + 1) {
      return fail("counts of " + std::to_string(vertexTotal_) + " vertices and " +
                  std::to_string(faceTotal_) + " faces are more than the file can hold");
    }
    return Status::success();
  }

  Status readVertex(int64_t k) {
    WordCursor words(std::string_view(), 0);
    std::string_view word;
    if (!nextRecord(words, word))
      return fail("the file ends after " + std::to_string(k) + " of " +
                  std::to_string(vertexTotal_) + " vertices");
    float xyz[3];
    int64_t offsets[3];
    size_t lengths[3];
    for (int axis = 0; axis < 3; ++axis) {
      if (axis > 0 && !words.next(word)) return fail("a vertex needs x, y and z");
      if (!parseFloat(word, xyz[axis])) return fail(quoted(word) + " is not a number");
      offsets[axis] = words.wordOffset();
      lengths[axis] = word.size();
    }
    float ignored = 0.0f;
    while (words.next(word)) {
      if (!parseFloat(word, ignored)) return fail(quoted(word) + " is not a number");
    }
    const int vertex = builder_.addVertex(xyz[0], xyz[1], xyz[2]);
    for (int axis = 0; axis < 3; ++axis)
      builder_.addSite(offsets[axis], static_cast<int64_t>(lengths[axis]), vertex, axis,
                       CoordinateEncoding::text);
    return Status::success();
  }

  // "n i1 ... in", then perhaps a colour.
  Status readFace(int64_t k) {
    WordCursor words(std::string_view(), 0);
    std::string_view word;
    if (!nextRecord(words, word))
      return fail("the file ends after " + std::to_string(k) + " of " + std::to_string(faceTotal_) +
                  " faces");
    int64_t size = 0;
    if (!parseInteger(word, size) || size < 0) return fail(quoted(word) + " is not a corner count");
    if (size > static_cast<int64_t>(lines_.line().size()))
      return fail("a face of " + std::to_string(size) + " corners does not fit its line");
    corners_.clear();
    for (int64_t corner = 0; corner < size; ++corner) {
      int64_t index = 0;
      if (!words.next(word))
        return fail("a face of " + std::to_string(size) + " corners lists " +
                    std::to_string(corner));
      if (!parseInteger(word, index)) return fail(quoted(word) + " is not a vertex index");
      if (index < 0 || index >= vertexTotal_)
        return fail("vertex index " + std::to_string(index) + " names no vertex (the file has " +
                    std::to_string(vertexTotal_) + ")");
      corners_.push_back(static_cast<int32_t>(index));
    }
    float ignored = 0.0f;
    while (words.next(word)) {
      if (!parseFloat(word, ignored)) return fail(quoted(word) + " is not a number");
    }
    if (!builder_.addFace(corners_.data(), static_cast<int>(corners_.size())))
      return fail("too many cells");
    return Status::success();
  }

  const std::string& path_;
  ModelFile& model_;
  detail::ModelBuilder builder_;
  LineCursor lines_;
  int64_t vertexTotal_ = 0;
  int64_t faceTotal_ = 0;
  std::vector<int32_t> corners_;
};

}  // namespace

Status readOff(const std::string& path, ModelFile& model) {
  return OffReader(path, model).read();
}

Status writeOff(const ModelGeometry& model, const std::string& path) {
  AtomicFile file(path);
  if (Status status = file.open(); !status.ok) return status;
  std::FILE* out = file.stream();
  const Matrix& positions = model.mesh.vertices;
  std::fprintf(out, "%s%s\n%d %d 0\n", model.hasNormals() ? "N" : "", headerKeyword.data(),
               positions.cols(), model.faceCount());
  for (int v = 0; v < positions.cols(); ++v) {
    for (int k = 0; k < (model.hasNormals() ? 6 : 3); ++k) {
      if (k > 0) std::fputc(' ', out);
      detail::putFloat(out, k < 3 ? positions(k, v) : model.normals(k - 3, v));
    }
    std::fputc('\n', out);
  }
  for (int face = 0; face < model.faceCount(); ++face) {
    std::fprintf(out, "%d", model.faceStarts[face + 1] - model.faceStarts[face]);
    for (int32_t c = model.faceStarts[face]; c < model.faceStarts[face + 1]; ++c)
      std::fprintf(out, " %d", model.faceCorners[static_cast<size_t>(c)]);
    std::fputc('\n', out);
  }
  return file.commit();
}

}  // namespace cagewarp
