#include "formats/stl_file.h"

#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "formats/atomic_file.h"
#include "formats/model_reading.h"

namespace cagewarp {
namespace {

// The exact words of ASCII STL.
constexpr std::string_view solidKeyword = "solid";
constexpr std::string_view facetKeyword = "facet";
constexpr std::string_view normalKeyword = "normal";
constexpr std::string_view outerKeyword = "outer";
constexpr std::string_view loopKeyword = "loop";
constexpr std::string_view vertexKeyword = "vertex";
constexpr std::string_view endLoopKeyword = "endloop";
constexpr std::string_view endFacetKeyword = "endfacet";
constexpr std::string_view endSolidKeyword = "endsolid";
// The layout of binary STL: a header, a triangle count, then per triangle a normal, three
// corners (little-endian floats) and an attribute word.
constexpr int64_t binaryHeaderSize = 80;
constexpr int64_t binaryCountSize = 4;
constexpr int64_t binaryTriangleSize = 50;
constexpr int64_t binaryNormalSize = 12;
constexpr int64_t binaryCornerSize = 12;

// Corners with the same three coordinates are one vertex; the two zeros are one value.
using CornerKey = std::array<uint32_t, 3>;
struct CornerKeyHash {
  size_t operator()(const CornerKey& key) const noexcept {
    return (size_t{key[0]} * 0x9E3779B1u) ^ (size_t{key[1]} * 0x85EBCA77u) ^
           (size_t{key[2]} * 0xC2B2AE3Du);
  }
};

uint32_t keyOf(float value) {
  return std::bit_cast<uint32_t>(value == 0.0f ? 0.0f : value);
}

// Merges corners into vertices as they are read.
class CornerMerger {
 public:
  explicit CornerMerger(ModelFile& model) : builder_(model) {}

  // The vertex of a corner at (x, y, z) whose coordinates sit at the given places.
  int add(const float xyz[3], const int64_t offsets[3], const int64_t lengths[3],
          CoordinateEncoding encoding) {
    const CornerKey key{keyOf(xyz[0]), keyOf(xyz[1]), keyOf(xyz[2])};
    auto [place, added] = vertices_.try_emplace(key, builder_.vertexCount());
    if (added && builder_.addVertex(xyz[0], xyz[1], xyz[2]) < 0) return -1;
    for (int axis = 0; axis < 3; ++axis)
      builder_.addSite(offsets[axis], lengths[axis], place->second, axis, encoding);
    return place->second;
  }
  // A facet and its normal, whose coordinates sit at the given places.
  bool addFacet(const int32_t* corners, int count, const float normal[3], const int64_t offsets[3],
                const int64_t lengths[3], CoordinateEncoding encoding) {
    const int index = builder_.addNormal();
    for (int axis = 0; axis < 3; ++axis)
      builder_.addNormalSite(offsets[axis], lengths[axis], index, axis, normal[axis], encoding);
    normals_.assign(static_cast<size_t>(count), index);
    return builder_.addFace(corners, count, normals_.data());
  }
  void finish() { builder_.finish(); }

 private:
  detail::ModelBuilder builder_;
  std::unordered_map<CornerKey, int, CornerKeyHash> vertices_;
  std::vector<int32_t> normals_;
};

uint32_t littleEndianWord(const char* bytes) {
  uint32_t value = 0;
  for (int k = 3; k >= 0; --k) value = (value << 8) | static_cast<unsigned char>(bytes[k]);
  return value;
}

float littleEndianFloat(const char* bytes) {
  return std::bit_cast<float>(littleEndianWord(bytes));
}

bool looksBinary(std::string_view bytes) {
  const int64_t size = static_cast<int64_t>(bytes.size());
  if (size >= binaryHeaderSize + binaryCountSize) {
    const int64_t count = littleEndianWord(bytes.data() + binaryHeaderSize);
    if (binaryHeaderSize + binaryCountSize + count * binaryTriangleSize == size) return true;
  }
  const size_t first =
      bytes.find_first_not_of(" \t\r\n\v\f", static_cast<size_t>(textStart(bytes)));
  return first == std::string_view::npos ||
         bytes.substr(first, solidKeyword.size()) != solidKeyword;
}

Status readBinary(const std::string& path, ModelFile& model) {
  const std::string_view bytes = model.text();
  const int64_t size = static_cast<int64_t>(bytes.size());
  if (size < binaryHeaderSize + binaryCountSize)
    return byteFailure(path, size, "the file ends inside the header of a binary STL file");
  const int64_t count = littleEndianWord(bytes.data() + binaryHeaderSize);
  if (count > (size - binaryHeaderSize - binaryCountSize) / binaryTriangleSize)
    return byteFailure(
        path, binaryHeaderSize,
        "triangle count " + std::to_string(count) + " is more than the file can hold");
  CornerMerger merger(model);
  for (int64_t t = 0; t < count; ++t) {
    const int64_t triangle = binaryHeaderSize + binaryCountSize + t * binaryTriangleSize;
    int32_t corners[3];
    for (int c = 0; c < 3; ++c) {
      const int64_t corner = triangle + binaryNormalSize + c * binaryCornerSize;
      float xyz[3];
      int64_t offsets[3];
      const int64_t lengths[3] = {4, 4, 4};
      for (int axis = 0; axis < 3; ++axis) {
        offsets[axis] = corner + 4 * axis;
        xyz[axis] = littleEndianFloat(bytes.data() + offsets[axis]);
      }
      corners[c] = merger.add(xyz, offsets, lengths, CoordinateEncoding::float32Little);
      if (corners[c] < 0) return byteFailure(path, corner, "too many vertices");
    }
    float normal[3];
    int64_t normalOffsets[3];
    const int64_t normalLengths[3] = {4, 4, 4};
    for (int axis = 0; axis < 3; ++axis) {
      normalOffsets[axis] = triangle + 4 * axis;
      normal[axis] = littleEndianFloat(bytes.data() + normalOffsets[axis]);
    }
    if (!merger.addFacet(corners, 3, normal, normalOffsets, normalLengths,
                         CoordinateEncoding::float32Little))
      return byteFailure(path, triangle, "too many cells");
  }
  merger.finish();
  return Status::success();
}

class AsciiReader {
 public:
  AsciiReader(const std::string& path, ModelFile& model)
      : path_(path), words_(model.text()), merger_(model) {}

  Status read() {
    std::string_view word;
    while (words_.next(word)) {
      if (word != solidKeyword) return fail("expected 'solid', found " + quoted(word));
      words_.skipLine();
      Status status;
      while ((status = expectWord(word)).ok && word == facetKeyword) {
        if (!(status = readFacet()).ok) return status;
      }
      if (!status.ok) return status;
      if (word != endSolidKeyword)
        return fail("expected 'facet' or 'endsolid', found " + quoted(word));
      words_.skipLine();
    }
    merger_.finish();
    return Status::success();
  }

 private:
  Status fail(const std::string& what) const { return textFailure(path_, words_.line(), what); }

  Status expectWord(std::string_view& word) {
    return words_.next(word) ? Status::success() : fail("the file ends inside a solid");
  }
  Status expect(std::string_view keyword) {
    std::string_view word;
    Status status = expectWord(word);
    if (status.ok && word != keyword)
      return fail("expected '" + std::string(keyword) + "', found " + quoted(word));
    return status;
  }
  Status readNumber(float& value, std::string_view& word) {
    Status status = expectWord(word);
    if (status.ok && !parseFloat(word, value)) return fail(quoted(word) + " is not a number");
    return status;
  }

  // "normal nx ny nz outer loop (vertex x y z)... endloop endfacet", after "facet".
  Status readFacet() {
    float normal[3];
    int64_t normalOffsets[3];
    int64_t normalLengths[3];
    Status status = expect(normalKeyword);
    std::string_view word;
    for (int axis = 0; axis < 3 && status.ok; ++axis) {
      status = readNumber(normal[axis], word);
      normalOffsets[axis] = words_.wordOffset();
      normalLengths[axis] = static_cast<int64_t>(word.size());
    }
    if (!status.ok || !(status = expect(outerKeyword)).ok || !(status = expect(loopKeyword)).ok)
      return status;
    corners_.clear();
    while ((status = expectWord(word)).ok && word == vertexKeyword) {
      float xyz[3];
      int64_t offsets[3];
      int64_t lengths[3];
      for (int axis = 0; axis < 3 && status.ok; ++axis) {
        std::string_view number;
        status = readNumber(xyz[axis], number);
        offsets[axis] = words_.wordOffset();
        lengths[axis] = static_cast<int64_t>(number.size());
      }
      if (!status.ok) return status;
      corners_.push_back(merger_.add(xyz, offsets, lengths, CoordinateEncoding::text));
      if (corners_.back() < 0) return fail("too many vertices");
    }
    if (!status.ok) return status;
    if (word != endLoopKeyword)
      return fail("expected 'vertex' or 'endloop', found " + quoted(word));
    if (corners_.size() < 3) return fail("a facet needs at least three corners");
    if (!merger_.addFacet(corners_.data(), static_cast<int>(corners_.size()), normal, normalOffsets,
                          normalLengths, CoordinateEncoding::text))
      return fail("too many cells");
    return expect(endFacetKeyword);
  }

  const std::string& path_;
  WordStream words_;
  CornerMerger merger_;
  std::vector<int32_t> corners_;
};

}  // namespace

Status readStl(const std::string& path, ModelFile& model) {
  if (looksBinary(model.text())) return readBinary(path, model);
  return AsciiReader(path, model).read();
}

namespace {

constexpr std::string_view solidName = "cagewarp";
constexpr std::string_view vertexLine = "   vertex";

// `before`, then the column's three values, then the line end.
void putVector(std::FILE* out, const char* before, const Matrix& values, int column) {
  std::fputs(before, out);
  for (int axis = 0; axis < 3; ++axis) {
    std::fputc(' ', out);
    detail::putFloat(out, values(axis, column));
  }
  std::fputc('\n', out);
}

}  // namespace

Status writeStl(const ModelGeometry& model, const std::string& path) {
  AtomicFile file(path);
  if (Status status = file.open(); !status.ok) return status;
  std::FILE* out = file.stream();
  const Matrix& positions = model.mesh.vertices;
  std::vector<int32_t> faceOfCorner(model.faceCorners.size());
  for (int face = 0; face < model.faceCount(); ++face)
    for (int32_t c = model.faceStarts[face]; c < model.faceStarts[face + 1]; ++c)
      faceOfCorner[static_cast<size_t>(c)] = face;
  const Matrix normals = cornerNormals(positions, model.faceStarts, model.faceCorners, faceOfCorner,
                                       model.faceCount());
  std::fprintf(out, "%s %s\n", solidKeyword.data(), solidName.data());
  for (int face = 0; face < model.faceCount(); ++face) {
    const int32_t* corners = model.faceCorners.data() + model.faceStarts[face];
    const int count = model.faceStarts[face + 1] - model.faceStarts[face];
    for (int k = 1; k + 1 < count; ++k) {
      std::fprintf(out, " %s ", facetKeyword.data());
      putVector(out, normalKeyword.data(), normals, face);
      std::fprintf(out, "  %s %s\n", outerKeyword.data(), loopKeyword.data());
      for (const int32_t corner : {corners[0], corners[k], corners[k + 1]})
        putVector(out, vertexLine.data(), positions, corner);
      std::fprintf(out, "  %s\n %s\n", endLoopKeyword.data(), endFacetKeyword.data());
    }
  }
  std::fprintf(out, "%s %s\n", endSolidKeyword.data(), solidName.data());
  return file.commit();
}

}  // namespace cagewarp
