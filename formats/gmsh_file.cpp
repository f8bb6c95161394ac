#include "formats/gmsh_file.h"

#include <climits>
#include <unordered_map>
#include <vector>

#include "formats/atomic_file.h"
#include "formats/cage_cells.h"
#include "formats/cage_output.h"
#include "formats/file_handle.h"
#include "formats/text_scanner.h"

namespace cagewarp {
namespace {

// gmsh's element types and their node counts. gmsh orders the corners of every type as we do
// (prism: bottom 0, 1, 2 turning towards the top 3, 4, 5), higher orders listing corners first.
const std::vector<CellMapping> gmshCells = {
    {15, pointType, 1, {0}},
    {1, lineType, 2, {0, 1}},
    {8, lineType, 3, {0, 1}},
    {2, triangleType, 3, {0, 1, 2}},
    {9, triangleType, 6, {0, 1, 2}},
    {3, quadType, 4, {0, 1, 2, 3}},
    {10, quadType, 9, {0, 1, 2, 3}},
    {16, quadType, 8, {0, 1, 2, 3}},
    {4, tetrahedronType, 4, {0, 1, 2, 3}},
    {11, tetrahedronType, 10, {0, 1, 2, 3}},
    {6, prismType, 6, {0, 1, 2, 3, 4, 5}},
    {13, prismType, 18, {0, 1, 2, 3, 4, 5}},
    {18, prismType, 15, {0, 1, 2, 3, 4, 5}},
    {5, hexahedronType, 8, {0, 1, 2, 3, 4, 5, 6, 7}},
    {12, hexahedronType, 27, {0, 1, 2, 3, 4, 5, 6, 7}},
    {17, hexahedronType, 20, {0, 1, 2, 3, 4, 5, 6, 7}},
    {7, pyramidCell, 5, {0, 1, 2, 3, 4}},
    {14, pyramidCell, 14, {0, 1, 2, 3, 4}},
    {19, pyramidCell, 13, {0, 1, 2, 3, 4}},
};

// Our types as written: point, line, triangle, quad, tetrahedron, (octahedron as
// tetrahedra), prism, hexahedron.
constexpr int gmshCodeOf[cellTypeCount] = {15, 1, 2, 3, 4, 4, 6, 5};

// The smallest an ASCII record can be, to bound counts before anything is allocated.
constexpr int64_t minTextNode = 8;     // "1 0 0 0\n"
constexpr int64_t minTextElement = 8;  // "1 15 0 1\n"

class GmshReader {
 public:
  GmshReader(const std::string& path, std::string bytes) : in_(path, std::move(bytes)) {}

  Status read(Mesh& mesh, Warnings& warnings) {
    Status status = readHeader();
    bool haveElements = false;
    while (status.ok) {
      const std::string_view section = in_.token();
      if (section.empty()) break;
      // Binary 4.1 sections start right after the line of their name.
      if (binary_ && version_ == 4 && (section == "$Nodes" || section == "$Elements"))
        in_.skipLine();
      if (section == "$Nodes") {
        if (!vertices_.empty()) return in_.fail("a second $Nodes section");
        status = version_ == 2 ? readNodes2() : readNodes4();
        if (status.ok) status = in_.expect("$EndNodes");
      } else if (section == "$Elements") {
        if (vertexCount() == 0) return in_.fail("$Elements before $Nodes");
        status = version_ == 2 ? readElements2() : readElements4();
        if (status.ok) status = in_.expect("$EndElements");
        haveElements = true;
      } else if (section.size() > 1 && section[0] == '$') {
        // Physical names, entities, data: nothing a cage needs.
        if (!in_.skipPast("$End" + std::string(section.substr(1))))
          return in_.fail("section " + std::string(section) + " has no end");
      } else {
        return in_.fail("expected a section, found '" + std::string(section.substr(0, 40)) + "'");
      }
    }
    if (!status.ok) return status;
    if (!haveElements) return in_.fail("no $Elements section");
    Mesh result(3);
    result.vertices = Matrix(3, vertexCount());
    std::copy(vertices_.begin(), vertices_.end(), result.vertices.data());
    cells_.finish(result, in_.fileName(), warnings);
    mesh.cells = std::move(result.cells);
    mesh.vertices = std::move(result.vertices);
    mesh.xyzRow = 0;
    return Status::success();
  }

 private:
  int vertexCount() const { return static_cast<int>(vertices_.size() / 3); }

  Status readHeader() {
    Status status = in_.expect("$MeshFormat");
    if (!status.ok) return status;
    const std::string_view version = in_.token();
    if (version == "2.2" || version == "2.1" || version == "2") {
      version_ = 2;
    } else if (version == "4.1") {
      version_ = 4;
    } else {
      return in_.fail("msh version '" + std::string(version.substr(0, 20)) +
                      "' is not read (2.2 and 4.1 are)");
    }
    int64_t fileType = 0;
    int64_t dataSize = 0;
    if (!(status = in_.readInt(fileType, "file type 0 or 1")).ok) return status;
    if (!(status = in_.readInt(dataSize, "data size")).ok) return status;
    if (fileType != 0 && fileType != 1) return in_.fail("file type must be 0 or 1");
    if (dataSize != 8) return in_.fail("data size must be 8");
    if (fileType == 1) {
      binary_ = true;
      in_.skipLine();
      in_.setBinary();
      // The writer's 1 tells its byte order.
      int32_t one = 0;
      if (!(status = in_.readBinary(one, false, "byte order mark")).ok) return status;
      if (one == 1) {
        swap_ = false;
      } else if (one == 0x01000000) {
        swap_ = true;
      } else {
        return in_.fail("byte order mark is not 1");
      }
    }
    return in_.expect("$EndMeshFormat");
  }

  // Values in binary files: ints are 4 bytes, sizes and tags 8, coordinates doubles.
  Status readTag(int64_t& value, std::string_view what) {
    if (!binary_) return in_.readInt(value, what);
    if (version_ == 2) {
      int32_t v = 0;
      const Status status = in_.readBinary(v, swap_, what);
      value = v;
      return status;
    }
    uint64_t v = 0;
    const Status status = in_.readBinary(v, swap_, what);
    if (status.ok && v > uint64_t{INT64_MAX}) return in_.fail(std::string(what) + " out of range");
    value = static_cast<int64_t>(v);
    return status;
  }
  Status readSmallInt(int64_t& value, std::string_view what) {
    if (!binary_) return in_.readInt(value, what);
    int32_t v = 0;
    const Status status = in_.readBinary(v, swap_, what);
    value = v;
    return status;
  }
  Status readCoordinate(float& value) {
    if (!binary_) return in_.readFloat(value, "a coordinate");
    double v = 0.0;
    const Status status = in_.readBinary(v, swap_, "coordinate");
    value = static_cast<float>(v);
    return status;
  }
  // Counts in section headers are text in 2.2 files, sizes in binary 4.1 files.
  Status readCount(int64_t& count, int64_t textBytes, int64_t binaryBytes, std::string_view what) {
    if (!binary_ || version_ == 2)
      return in_.readCount(count, binary_ ? binaryBytes : textBytes, what);
    const Status status = readTag(count, what);
    if (!status.ok) return status;
    return in_.checkRoom(count, binaryBytes, what);
  }

  Status addNode(int64_t tag, const float xyz[3]) {
    if (vertexCount() >= INT_MAX / 3) return in_.fail("too many nodes");
    if (!index_.emplace(tag, vertexCount()).second)
      return in_.fail("node tag " + std::to_string(tag) + " appears twice");
    vertices_.insert(vertices_.end(), xyz, xyz + 3);
    return Status::success();
  }

  Status readNodes2() {
    int64_t count = 0;
    Status status = in_.readCount(count, binary_ ? 28 : minTextNode, "node count");
    if (binary_) in_.skipLine();
    for (int64_t i = 0; i < count && status.ok; ++i) {
      int64_t tag = 0;
      float xyz[3];
      status = readTag(tag, "a node tag");
      for (int k = 0; k < 3 && status.ok; ++k) status = readCoordinate(xyz[k]);
      if (status.ok) status = addNode(tag, xyz);
    }
    return status;
  }

  Status readNodes4() {
    int64_t blocks = 0;
    int64_t total = 0;
    int64_t ignored = 0;
    Status status = readCount(blocks, minTextNode, 32, "node block count");
    if (status.ok) status = readCount(total, minTextNode, 32, "node count");
    if (status.ok) status = readTag(ignored, "smallest node tag");
    if (status.ok) status = readTag(ignored, "largest node tag");
    for (int64_t b = 0; b < blocks && status.ok; ++b) {
      int64_t dimension = 0;
      int64_t parametric = 0;
      int64_t count = 0;
      status = readSmallInt(dimension, "entity dimension");
      if (status.ok) status = readSmallInt(ignored, "entity tag");
      if (status.ok) status = readSmallInt(parametric, "parametric flag");
      if (status.ok) status = readCount(count, minTextNode, 32, "node count");
      if (!status.ok) return status;
      if (dimension < 0 || dimension > 3) return in_.fail("entity dimension is not 0 to 3");
      // Parametric nodes carry one more coordinate per dimension of their entity.
      const int extra = parametric != 0 ? static_cast<int>(dimension) : 0;
      std::vector<int64_t> tags;
      for (int64_t i = 0; i < count && status.ok; ++i) {
        int64_t tag = 0;
        status = readTag(tag, "a node tag");
        tags.push_back(tag);
      }
      for (int64_t i = 0; i < count && status.ok; ++i) {
        float xyz[3];
        float unused = 0;
        for (int k = 0; k < 3 && status.ok; ++k) status = readCoordinate(xyz[k]);
        for (int k = 0; k < extra && status.ok; ++k) status = readCoordinate(unused);
        if (status.ok) status = addNode(tags[i], xyz);
      }
    }
    if (status.ok && total != vertexCount())
      return in_.fail("the blocks hold " + std::to_string(vertexCount()) + " nodes, not " +
                      std::to_string(total));
    return status;
  }

  Status lookUp(const CellMapping*& map, int64_t code) {
    map = code >= 0 && code <= INT_MAX ? findMapping(gmshCells, static_cast<int>(code)) : nullptr;
    if (map == nullptr)
      return Status::failure(in_.fileName() + ": cell type " + std::to_string(code) +
                             " is not supported");
    return Status::success();
  }

  Status readElementNodes(const CellMapping& map) {
    int32_t nodes[27];
    Status status;
    for (int k = 0; k < map.nodes && status.ok; ++k) {
      int64_t tag = 0;
      status = readTag(tag, "a node tag");
      if (!status.ok) return status;
      const auto found = index_.find(tag);
      if (found == index_.end()) return in_.fail("node tag " + std::to_string(tag) + " is missing");
      nodes[k] = found->second;
    }
    cells_.add(map, nodes);
    return status;
  }

  Status readElements2() {
    int64_t count = 0;
    Status status = in_.readCount(count, binary_ ? 16 : minTextElement, "element count");
    if (binary_) in_.skipLine();
    int64_t done = 0;
    while (done < count && status.ok) {
      // ASCII: "number type tag-count tags... nodes..." per element. Binary: blocks of elements
      // of one type, "type count tag-count" then "number tags... nodes..." per element.
      int64_t code = 0;
      int64_t following = 1;
      int64_t tags = 0;
      int64_t ignored = 0;
      if (!binary_) status = in_.readInt(ignored, "an element number");
      if (status.ok) status = readSmallInt(code, "an element type");
      if (status.ok && binary_) status = readSmallInt(following, "an element count");
      if (status.ok) status = readSmallInt(tags, "a tag count");
      if (!status.ok) return status;
      if (following < 1 || following > count - done)
        return in_.fail("element block does not fit the element count");
      if (tags < 0) return in_.fail("negative tag count");
      const CellMapping* map = nullptr;
      if (!(status = lookUp(map, code)).ok) return status;
      for (int64_t e = 0; e < following && status.ok; ++e) {
        if (binary_) status = readSmallInt(ignored, "an element number");
        for (int64_t t = 0; t < tags && status.ok; ++t) status = readSmallInt(ignored, "a tag");
        if (status.ok) status = readElementNodes(*map);
      }
      done += following;
    }
    return status;
  }

  Status readElements4() {
    int64_t blocks = 0;
    int64_t total = 0;
    int64_t ignored = 0;
    Status status = readCount(blocks, minTextElement, 24, "element block count");
    if (status.ok) status = readCount(total, minTextElement, 16, "element count");
    if (status.ok) status = readTag(ignored, "smallest element tag");
    if (status.ok) status = readTag(ignored, "largest element tag");
    int64_t done = 0;
    for (int64_t b = 0; b < blocks && status.ok; ++b) {
      int64_t code = 0;
      int64_t count = 0;
      status = readSmallInt(ignored, "entity dimension");
      if (status.ok) status = readSmallInt(ignored, "entity tag");
      if (status.ok) status = readSmallInt(code, "an element type");
      if (status.ok) status = readCount(count, minTextElement, 16, "element count");
      const CellMapping* map = nullptr;
      if (status.ok) status = lookUp(map, code);
      for (int64_t e = 0; e < count && status.ok; ++e) {
        status = readTag(ignored, "an element tag");
        if (status.ok) status = readElementNodes(*map);
      }
      // A count refused for want of room is the file's number as written: never added.
      if (!status.ok) break;
      done += count;
    }
    if (status.ok && done != total)
      return in_.fail("the blocks hold " + std::to_string(done) + " elements, not " +
                      std::to_string(total));
    return status;
  }

  TextScanner in_;
  int version_ = 2;
  bool binary_ = false;
  bool swap_ = false;
  std::vector<float> vertices_;
  std::unordered_map<int64_t, int32_t> index_;
  CellCollector cells_;
};

}  // namespace

Status readGmsh(const std::string& path, Mesh& mesh, Warnings& warnings) {
  std::string bytes;
  const Status status = readWholeFile(path, bytes);
  if (!status.ok) return status;
  return GmshReader(path, std::move(bytes)).read(mesh, warnings);
}

Status writeGmsh(const Mesh& mesh, const std::string& path) {
  CageOutput out(mesh, path);
  Status status = out.open();
  if (!status.ok) return status;
  out.text("$MeshFormat\n2.2 0 8\n$EndMeshFormat\n$Nodes\n");
  out.line(mesh.vertexColumns());
  for (int v = 0; v < mesh.vertexColumns(); ++v) {
    out.number(v + 1);
    out.position(v);
  }
  out.text("$EndNodes\n$Elements\n");
  out.line(out.writtenCellCount());
  // Two tags, physical 0 (none) and elementary entity 1 of each dimension; numbers from 1.
  int64_t number = 0;
  out.forEachWrittenCell([&](int t, const int32_t* cell) {
    out.number(++number);
    out.number(gmshCodeOf[t]);
    out.word("2 0 1");
    for (int k = 0; k < verticesPerCell[t]; ++k) out.number(cell[k] + 1);
    out.text("\n");
  });
  out.text("$EndElements\n");
  return out.commit();
}

}  // namespace cagewarp
