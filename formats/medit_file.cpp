#include "formats/medit_file.h"

#include <sys/stat.h>

#include <climits>
#include <cstdio>
#include <vector>

#include "formats/cage_cells.h"
#include "formats/cage_output.h"
#include "formats/file_handle.h"
#include "formats/text_scanner.h"

namespace cagewarp {
namespace {

constexpr std::string_view versionKeyword = "MeshVersionFormatted";

// White space as the text readers see it.
bool isTextSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

// Medit's element keywords. Medit lists the corners of every kind as we do (prisms: bottom
// triangle turning towards the top); each element ends with a reference number, except corners,
// which are bare vertex numbers.
struct MeditKeyword {
  std::string_view name;
  CellMapping map;
  bool hasReference;
};
const std::vector<MeditKeyword> meditCells = {
    {"Corners", {0, pointType, 1, {0}}, false},
    {"Edges", {1, lineType, 2, {0, 1}}, true},
    {"Triangles", {2, triangleType, 3, {0, 1, 2}}, true},
    {"Quadrilaterals", {3, quadType, 4, {0, 1, 2, 3}}, true},
    {"Tetrahedra", {4, tetrahedronType, 4, {0, 1, 2, 3}}, true},
    {"Prisms", {6, prismType, 6, {0, 1, 2, 3, 4, 5}}, true},
    {"Hexahedra", {7, hexahedronType, 8, {0, 1, 2, 3, 4, 5, 6, 7}}, true},
    {"Pyramids", {8, pyramidCell, 5, {0, 1, 2, 3, 4}}, true},
};
// Keywords whose records a cage does not need: words per record.
const std::vector<std::pair<std::string_view, int>> meditSkipped = {
    {"RequiredVertices", 1},       {"Ridges", 1},
    {"RequiredEdges", 1},          {"RequiredTriangles", 1},
    {"RequiredQuadrilaterals", 1}, {"Normals", 3},
    {"NormalAtVertices", 2},       {"Tangents", 3},
    {"TangentAtVertices", 2},
};

class MeditReader {
 public:
  MeditReader(const std::string& path, std::string bytes) : in_(path, std::move(bytes), '#') {}

  Status read(Mesh& mesh, Warnings& warnings) {
    Status status = in_.expect(versionKeyword);
    int64_t value = 0;
    if (status.ok) status = in_.readInt(value, "a version number");
    while (status.ok) {
      const std::string_view keyword = in_.token();
      if (keyword.empty() || keyword == "End") break;
      status = readSection(keyword);
    }
    if (!status.ok) return status;
    Mesh result(3);
    result.vertices = Matrix(3, static_cast<int>(vertices_.size() / 3));
    std::copy(vertices_.begin(), vertices_.end(), result.vertices.data());
    cells_.finish(result, in_.fileName(), warnings);
    mesh.cells = std::move(result.cells);
    mesh.vertices = std::move(result.vertices);
    mesh.xyzRow = 0;
    return Status::success();
  }

 private:
  Status readSection(std::string_view keyword) {
    if (keyword == "Dimension") {
      Status status = in_.readInt(dimension_, "a dimension");
      if (status.ok && dimension_ != 2 && dimension_ != 3)
        return in_.fail("dimension must be 2 or 3");
      return status;
    }
    if (keyword == "Vertices") return readVertices();
    for (const MeditKeyword& kind : meditCells)
      if (keyword == kind.name) return readElements(kind);
    for (const auto& [name, words] : meditSkipped) {
      if (keyword != name) continue;
      int64_t count = 0;
      Status status = in_.readCount(count, 2 * words, "record count");
      int64_t ignored = 0;
      for (int64_t i = 0; i < count * words && status.ok; ++i)
        status = in_.readInt(ignored, "a number");
      return status;
    }
    return in_.fail("unknown keyword '" + std::string(keyword.substr(0, 40)) + "'");
  }

  Status readVertices() {
    if (!vertices_.empty()) return in_.fail("a second Vertices section");
    int64_t count = 0;
    Status status = in_.readCount(count, 2 * (dimension_ + 1), "vertex count");
    if (!status.ok) return status;
    if (count > INT_MAX / 3) return in_.fail("too many vertices");
    vertices_.assign(static_cast<size_t>(count) * 3, 0.0f);
    for (int64_t i = 0; i < count && status.ok; ++i) {
      for (int k = 0; k < dimension_ && status.ok; ++k)
        status = in_.readFloat(vertices_[static_cast<size_t>(3 * i + k)], "a coordinate");
      int64_t reference = 0;
      if (status.ok) status = in_.readInt(reference, "a vertex reference");
    }
    return status;
  }

  Status readElements(const MeditKeyword& kind) {
    const int words = kind.map.nodes + (kind.hasReference ? 1 : 0);
    int64_t count = 0;
    Status status = in_.readCount(count, 2 * words, std::string(kind.name) + " count");
    const int64_t vertexCount = static_cast<int64_t>(vertices_.size() / 3);
    for (int64_t i = 0; i < count && status.ok; ++i) {
      int32_t nodes[8];
      for (int k = 0; k < kind.map.nodes; ++k) {
        int64_t v = 0;
        if (!(status = in_.readInt(v, "a vertex number")).ok) return status;
        // Medit counts vertices from 1.
        if (v < 1 || v > vertexCount)
          return in_.fail("vertex number " + std::to_string(v) + " names no vertex (there are " +
                          std::to_string(vertexCount) + ")");
        nodes[k] = static_cast<int32_t>(v - 1);
      }
      int64_t reference = 0;
      if (kind.hasReference) status = in_.readInt(reference, "a reference");
      cells_.add(kind.map, nodes);
    }
    return status;
  }

  TextScanner in_;
  int64_t dimension_ = 3;
  std::vector<float> vertices_;
  CellCollector cells_;
};

}  // namespace

bool isMeditFile(const std::string& path) {
  // Opening a FIFO would wait for a writer; what is not a regular file is left to the text
  // reader, which says what it is.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  const FileHandle file = openFile(path, "rb");
  if (!file) return false;
  // The first word decides, however long the comments before it: read byte by byte (the stream
  // buffers) rather than a fixed head of the file.
  std::FILE* in = file.get();
  int c = std::getc(in);
  if (c == static_cast<unsigned char>(byteOrderMark[0])) {
    for (size_t k = 1; k < byteOrderMark.size(); ++k)
      if (std::getc(in) != static_cast<unsigned char>(byteOrderMark[k])) return false;
    c = std::getc(in);
  }
  for (;;) {
    if (c == '#') {
      while (c != EOF && c != '\n') c = std::getc(in);
    } else if (c != EOF && isTextSpace(static_cast<char>(c))) {
      c = std::getc(in);
    } else {
      break;
    }
  }
  for (const char letter : versionKeyword) {
    if (c != static_cast<unsigned char>(letter)) return false;
    c = std::getc(in);
  }
  return c == EOF || isTextSpace(static_cast<char>(c));
}

Status readMedit(const std::string& path, Mesh& mesh, Warnings& warnings) {
  std::string bytes;
  const Status status = readWholeFile(path, bytes);
  if (!status.ok) return status;
  return MeditReader(path, std::move(bytes)).read(mesh, warnings);
}

Status writeMedit(const Mesh& mesh, const std::string& path) {
  CageOutput out(mesh, path);
  Status status = out.open();
  if (!status.ok) return status;
  out.text("MeshVersionFormatted 2\n\nDimension 3\n\nVertices\n");
  out.line(mesh.vertexColumns());
  for (int v = 0; v < mesh.vertexColumns(); ++v) {
    out.coordinates(v);
    out.line(0);
  }
  for (const MeditKeyword& kind : meditCells) {
    const int t = kind.map.type;
    if (t == pyramidCell || out.writtenCellCount(t) == 0) continue;
    out.text("\n");
    out.text(kind.name);
    out.endLine();
    out.line(out.writtenCellCount(t));
    const auto writeCell = [&](int type, const int32_t* cell) {
      for (int k = 0; k < verticesPerCell[type]; ++k) out.number(cell[k] + 1);
      if (kind.hasReference) out.number(0);
      out.endLine();
    };
    out.forEachWrittenCell(t, writeCell);
    if (t == tetrahedronType) out.forEachWrittenCell(octahedronType, writeCell);
  }
  out.text("\nEnd\n");
  return out.commit();
}

}  // namespace cagewarp
