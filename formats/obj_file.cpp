#include "formats/obj_file.h"

#include <algorithm>
#include <climits>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "formats/atomic_file.h"
#include "formats/model_reading.h"
#include "mesh/cell_type.h"

namespace cagewarp {
namespace {

// The exact words of the OBJ format.
constexpr std::string_view vertexKeyword = "v";
constexpr std::string_view textureKeyword = "vt";
constexpr std::string_view normalKeyword = "vn";
constexpr std::string_view faceKeyword = "f";
constexpr std::string_view lineKeyword = "l";
constexpr std::string_view pointKeyword = "p";
constexpr char commentLetter = '#';
// The other keywords of the format (groups, materials, smoothing, free-form geometry): kept as
// they are; any word not here or above is passed over with a warning.
constexpr std::string_view otherKeywords[] = {
    "vp",       "g",      "o",      "s",          "mg",        "usemtl", "mtllib", "cstype",
    "deg",      "bmat",   "step",   "curv",       "curv2",     "surf",   "parm",   "trim",
    "hole",     "scrv",   "sp",     "end",        "con",       "lod",    "bevel",  "c_interp",
    "d_interp", "usemap", "maplib", "shadow_obj", "trace_obj", "ctech",  "stech",  "call",
    "csh",      "bsp",    "bzp",    "cdc",        "cdp",       "res"};
constexpr char referenceSeparator = '/';

// What a face, line or point reference names: a vertex, a texture coordinate or a normal.
enum Referent { vertexReferent, textureReferent, normalReferent };
constexpr const char* referentNames[] = {"vertex", "texture coordinate", "normal"};

// A positive index beyond what was read so far: OBJ files may name later records.
struct ForwardReference {
  int64_t index;
  Referent referent;
  int line;
};

class ObjReader {
 public:
  ObjReader(const std::string& path, ModelFile& model)
      : path_(path), model_(model), builder_(model) {}

  Status read() {
    LineCursor lines(model_.text());
    while (lines.next()) {
      WordCursor words(lines.line(), lines.offset(), commentLetter);
      std::string_view keyword;
      if (!words.next(keyword)) continue;
      Status status;
      if (keyword == vertexKeyword) {
        status = readVertex(words, lines.number());
      } else if (keyword == textureKeyword) {
        readTexture(words, lines.number());
      } else if (keyword == normalKeyword) {
        readNormal(words, lines.number());
      } else if (keyword == faceKeyword || keyword == lineKeyword || keyword == pointKeyword) {
        status = readElement(words, keyword, lines.number());
      } else if (std::find(std::begin(otherKeywords), std::end(otherKeywords), keyword) ==
                 std::end(otherKeywords)) {
        unknown_.add(lines.number(), keyword);
      }
      if (!status.ok) return status;
    }
    for (const ForwardReference& reference : forward_) {
      if (reference.index > counts_[reference.referent])
        return namesNothing(reference.line, reference.referent, reference.index);
    }
    builder_.finish();
    unknown_.report(model_.warnings, path_ + ": lines with an unknown keyword passed over",
                    quoted(unknown_.word));
    badTextures_.report(model_.warnings,
                        path_ + ": texture coordinates with a word that is not a number read as 0");
    badNormals_.report(
        model_.warnings,
        path_ + ": normals that are not three numbers kept as they are, not recomputed");
    return Status::success();
  }

 private:
  Status readVertex(WordCursor& words, int line) {
    float xyz[3];
    int64_t offsets[3];
    size_t lengths[3];
    std::string_view word;
    for (int axis = 0; axis < 3; ++axis) {
      if (!words.next(word)) return textFailure(path_, line, "a vertex needs x, y and z");
      if (!parseFloat(word, xyz[axis]))
        return textFailure(path_, line, quoted(word) + " is not a number");
      offsets[axis] = words.wordOffset();
      lengths[axis] = word.size();
    }
    // w and a colour may follow; they stay as they are but must be numbers.
    float ignored = 0.0f;
    while (words.next(word)) {
      if (!parseFloat(word, ignored))
        return textFailure(path_, line, quoted(word) + " is not a number");
    }
    const int vertex = builder_.addVertex(xyz[0], xyz[1], xyz[2]);
    if (vertex < 0) return textFailure(path_, line, "too many vertices");
    ++counts_[vertexReferent];
    for (int axis = 0; axis < 3; ++axis)
      builder_.addSite(offsets[axis], static_cast<int64_t>(lengths[axis]), vertex, axis,
                       CoordinateEncoding::text);
    return Status::success();
  }

  // "vn x y z": a normal that may be recomputed when its faces move. A record that is not three
  // numbers is counted, so the indices stay right, kept as it is and reported.
  void readNormal(WordCursor& words, int line) {
    const int normal = builder_.addNormal();
    ++counts_[normalReferent];
    float xyz[3];
    int64_t offsets[3];
    size_t lengths[3];
    std::string_view word;
    for (int axis = 0; axis < 3; ++axis) {
      if (!words.next(word) || !parseFloat(word, xyz[axis])) return badNormals_.add(line);
      offsets[axis] = words.wordOffset();
      lengths[axis] = word.size();
    }
    for (int axis = 0; axis < 3; ++axis)
      builder_.addNormalSite(offsets[axis], static_cast<int64_t>(lengths[axis]), normal, axis,
                             xyz[axis], CoordinateEncoding::text);
  }

  // "vt u [v [w]]": kept as it is, and carried over (u and v, a missing v as 0) when the model
  // is written in another format; a word that is not a number is read as 0 and counted.
  void readTexture(WordCursor& words, int line) {
    ++counts_[textureReferent];
    float uv[2] = {0.0f, 0.0f};
    std::string_view word;
    bool numbers = true;
    for (float& value : uv) {
      if (!words.next(word)) break;
      if (!parseFloat(word, value)) {
        value = 0.0f;
        numbers = false;
      }
    }
    if (!numbers) badTextures_.add(line);
    builder_.addTexture(uv[0], uv[1]);
  }

  // A face, polyline or point list: references "v", "v/vt", "v//vn" or "v/vt/vn".
  Status readElement(WordCursor& words, std::string_view keyword, int line) {
    corners_.clear();
    normals_.clear();
    textures_.clear();
    std::string_view word;
    while (words.next(word)) {
      std::string_view parts[3];
      int partCount = 0;
      size_t start = 0;
      for (;;) {
        const size_t slash = word.find(referenceSeparator, start);
        if (partCount == 3)
          return textFailure(path_, line, quoted(word) + " is not a vertex reference");
        parts[partCount++] =
            word.substr(start, slash == std::string_view::npos ? slash : slash - start);
        if (slash == std::string_view::npos) break;
        start = slash + 1;
      }
      int32_t vertex = 0;
      int32_t normal = -1;
      int32_t texture = -1;
      for (int k = 0; k < partCount; ++k) {
        if (k > 0 && parts[k].empty()) continue;
        int32_t resolved = 0;
        const Status status = resolve(parts[k], static_cast<Referent>(k), line, word, resolved);
        if (!status.ok) return status;
        if (k == vertexReferent) vertex = resolved;
        if (k == normalReferent) normal = resolved;
        if (k == textureReferent) texture = resolved;
      }
      corners_.push_back(vertex);
      normals_.push_back(normal);
      textures_.push_back(texture);
    }
    bool fits = true;
    if (keyword == faceKeyword) {
      fits = builder_.addFace(corners_.data(), static_cast<int>(corners_.size()), normals_.data(),
                              textures_.data());
    } else if (keyword == lineKeyword) {
      for (size_t k = 0; k + 1 < corners_.size() && fits; ++k)
        fits = builder_.addPolygon(&corners_[k], 2);
    } else {
      for (size_t k = 0; k < corners_.size() && fits; ++k)
        fits = builder_.addPolygon(&corners_[k], 1);
    }
    return fits ? Status::success() : textFailure(path_, line, "too many cells");
  }

  // One index of a reference, 1-based or (negative) counted back from the last record read.
  Status resolve(std::string_view text, Referent referent, int line, std::string_view word,
                 int32_t& resolved) {
    int64_t index = 0;
    if (!parseInteger(text, index))
      return textFailure(path_, line, quoted(word) + " is not a vertex reference");
    const int64_t count = counts_[referent];
    if (index == 0 || index < -count || index > INT_MAX) return namesNothing(line, referent, index);
    if (index > count) forward_.push_back({index, referent, line});
    resolved = static_cast<int32_t>(index > 0 ? index - 1 : count + index);
    return Status::success();
  }

  Status namesNothing(int line, Referent referent, int64_t index) const {
    return textFailure(path_, line,
                       std::string(referentNames[referent]) + " index " + std::to_string(index) +
                           " names no " + referentNames[referent] + " (the file has " +
                           std::to_string(counts_[referent]) + ")");
  }

  const std::string& path_;
  ModelFile& model_;
  detail::ModelBuilder builder_;
  int64_t counts_[3] = {0, 0, 0};
  std::vector<int32_t> corners_;
  std::vector<int32_t> normals_;
  std::vector<int32_t> textures_;
  std::vector<ForwardReference> forward_;
  // Records passed over or read in part: how many, the first one's line and, for keywords, word.
  struct PassedOver {
    int64_t count = 0;
    int line = 0;
    std::string word;
    void add(int at, std::string_view what = {}) {
      if (count++ > 0) return;
      line = at;
      word = std::string(what.substr(0, 40));
    }
    // "WHAT: N (the first, WORD, on line L)".
    void report(Warnings& warnings, const std::string& what, const std::string& first = "") const {
      if (count == 0) return;
      warnings.push_back(what + ": " + std::to_string(count) + " (the first" +
                         (first.empty() ? " " : ", " + first + ", ") + "on line " +
                         std::to_string(line) + ")");
    }
  };
  PassedOver unknown_, badTextures_, badNormals_;
};

}  // namespace

Status readObj(const std::string& path, ModelFile& model) {
  return ObjReader(path, model).read();
}

namespace {

// A face, line or point record; face corners name the vertex's own texture coordinate and
// normal, which have the vertex's index.
void putCorners(std::FILE* out, std::string_view keyword, const int32_t* corners, int count,
                bool withTextures, bool withNormals) {
  std::fputs(keyword.data(), out);
  for (int k = 0; k < count; ++k) {
    const int index = corners[k] + 1;
    std::fprintf(out, " %d", index);
    if (withTextures || withNormals) std::fputc(referenceSeparator, out);
    if (withTextures) std::fprintf(out, "%d", index);
    if (withNormals) std::fprintf(out, "%c%d", referenceSeparator, index);
  }
  std::fputc('\n', out);
}

}  // namespace

Status writeObj(const ModelGeometry& model, const std::string& path) {
  AtomicFile file(path);
  if (Status status = file.open(); !status.ok) return status;
  std::FILE* out = file.stream();
  const Matrix& positions = model.mesh.vertices;
  for (const auto& [keyword, values] :
       {std::pair{vertexKeyword, &positions}, std::pair{textureKeyword, &model.textures},
        std::pair{normalKeyword, &model.normals}}) {
    for (int v = 0; v < values->cols(); ++v) {
      std::fputs(keyword.data(), out);
      for (int axis = 0; axis < values->rows(); ++axis) {
        std::fputc(' ', out);
        detail::putFloat(out, (*values)(axis, v));
      }
      std::fputc('\n', out);
    }
  }
  for (int face = 0; face < model.faceCount(); ++face)
    putCorners(out, faceKeyword, model.faceCorners.data() + model.faceStarts[face],
               model.faceStarts[face + 1] - model.faceStarts[face], model.hasTextures(),
               model.hasNormals());
  for (int type : {lineType, pointType}) {
    const IntArray& cells = model.mesh.cells[type];
    const int rows = verticesPerCell[type];
    for (int cell = 0; cell < cells.count() / rows; ++cell)
      putCorners(out, type == lineType ? lineKeyword : pointKeyword, cells.data() + cell * rows,
                 rows, false, false);
  }
  return file.commit();
}

}  // namespace cagewarp
