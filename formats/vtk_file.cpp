#include "formats/vtk_file.h"

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/cage_cells.h"
#include "formats/cage_output.h"
#include "formats/file_handle.h"
#include "formats/text_scanner.h"

namespace cagewarp {
namespace {

// VTK's cell types. VTK's wedge lists its base triangle turning away from the top (ours turns
// towards it), so the bottom and top triangles are read backwards. Quadratic and biquadratic
// types list the corners first, in the order of their linear type.
constexpr int polygonCode = 7;
const std::vector<CellMapping> vtkCells = {
    {1, pointType, 1, {0}},
    {3, lineType, 2, {0, 1}},
    {21, lineType, 3, {0, 1}},
    {5, triangleType, 3, {0, 1, 2}},
    {22, triangleType, 6, {0, 1, 2}},
    {34, triangleType, 7, {0, 1, 2}},
    {9, quadType, 4, {0, 1, 2, 3}},
    {23, quadType, 8, {0, 1, 2, 3}},
    {28, quadType, 9, {0, 1, 2, 3}},
    {30, quadType, 6, {0, 1, 2, 3}},
    {10, tetrahedronType, 4, {0, 1, 2, 3}},
    {24, tetrahedronType, 10, {0, 1, 2, 3}},
    {13, prismType, 6, {0, 2, 1, 3, 5, 4}},
    {26, prismType, 15, {0, 2, 1, 3, 5, 4}},
    {31, prismType, 12, {0, 2, 1, 3, 5, 4}},
    {32, prismType, 18, {0, 2, 1, 3, 5, 4}},
    {12, hexahedronType, 8, {0, 1, 2, 3, 4, 5, 6, 7}},
    {25, hexahedronType, 20, {0, 1, 2, 3, 4, 5, 6, 7}},
    {29, hexahedronType, 27, {0, 1, 2, 3, 4, 5, 6, 7}},
    {33, hexahedronType, 24, {0, 1, 2, 3, 4, 5, 6, 7}},
    {14, pyramidCell, 5, {0, 1, 2, 3, 4}},
    {27, pyramidCell, 13, {0, 1, 2, 3, 4}},
};
// A polygon of three or four vertices is a triangle or a quad.
const CellMapping polygonTriangle = {polygonCode, triangleType, 3, {0, 1, 2}};
const CellMapping polygonQuad = {polygonCode, quadType, 4, {0, 1, 2, 3}};

// The value types a FIELD array may have, with the bytes of one value in a binary file.
constexpr std::array<std::pair<std::string_view, int>, 20> fieldValueSizes{{
    {"char", 1},         {"unsigned_char", 1},  {"vtktypeint8", 1},  {"vtktypeuint8", 1},
    {"short", 2},        {"unsigned_short", 2}, {"vtktypeint16", 2}, {"vtktypeuint16", 2},
    {"int", 4},          {"unsigned_int", 4},   {"vtktypeint32", 4}, {"vtktypeuint32", 4},
    {"float", 4},        {"vtktypefloat32", 4}, {"long", 8},         {"unsigned_long", 8},
    {"vtktypeint64", 8}, {"vtktypeuint64", 8},  {"double", 8},       {"vtktypefloat64", 8},
}};

// Our types as written (octahedra as tetrahedra), with the order that undoes the read's.
constexpr int vtkCodeOf[cellTypeCount] = {1, 3, 5, 9, 10, 10, 13, 12};
constexpr int wedgeOrder[6] = {0, 2, 1, 3, 5, 4};

class VtkReader {
 public:
  VtkReader(const std::string& path, std::string bytes) : in_(path, std::move(bytes)) {}

  Status read(Mesh& mesh, Warnings& warnings) {
    Status status = readHeader();
    while (status.ok) {
      const std::string_view keyword = in_.token();
      if (keyword == "POINT_DATA" || keyword == "CELL_DATA") {
        skippedData_ = true;
        break;
      }
      if (keyword.empty()) break;
      if (keyword == "POINTS") {
        status = readPoints();
      } else if (keyword == "CELLS") {
        status = readCells();
      } else if (keyword == "CELL_TYPES") {
        status = readTypes();
      } else if (keyword == "METADATA") {
        skipMetadata();
      } else if (keyword == "FIELD") {
        status = skipField();
      } else {
        return in_.fail("unexpected '" + std::string(keyword.substr(0, 40)) + "'");
      }
    }
    if (!status.ok) return status;
    if (!havePoints_) return in_.fail("no POINTS");
    if (!haveCells_ || !haveTypes_) return in_.fail("no CELLS and CELL_TYPES");
    if (static_cast<int64_t>(types_.size()) + 1 != static_cast<int64_t>(offsets_.size()))
      return in_.fail("CELLS lists " + std::to_string(offsets_.size() - 1) + " cells, CELL_TYPES " +
                      std::to_string(types_.size()));
    Mesh result(3);
    result.vertices = Matrix(3, static_cast<int>(points_.size() / 3));
    std::copy(points_.begin(), points_.end(), result.vertices.data());
    CellCollector collector;
    for (size_t c = 0; c < types_.size(); ++c) {
      if (!(status = addCell(collector, c)).ok) return status;
    }
    collector.finish(result, in_.fileName(), warnings);
    if (skippedArrays_ > 0)
      warnings.push_back(in_.fileName() + ": " + std::to_string(skippedArrays_) +
                         " field data arrays skipped");
    if (skippedData_)
      warnings.push_back(in_.fileName() +
                         ": point and cell data skipped (a cage is read as points and cells)");
    mesh.cells = std::move(result.cells);
    mesh.vertices = std::move(result.vertices);
    mesh.xyzRow = 0;
    return Status::success();
  }

 private:
  Status readHeader() {
    const std::string_view bytes = in_.bytes().substr(static_cast<size_t>(textStart(in_.bytes())));
    if (!bytes.starts_with("# vtk DataFile Version"))
      return in_.fail("not a legacy VTK file (no '# vtk DataFile Version' line)");
    in_.skipLine();
    in_.skipLine();  // the title
    const std::string_view encoding = in_.token();
    if (encoding == "BINARY") {
      binary_ = true;
    } else if (encoding != "ASCII") {
      return in_.fail("expected ASCII or BINARY");
    }
    Status status = in_.expect("DATASET");
    if (status.ok && in_.token() != "UNSTRUCTURED_GRID")
      return in_.fail("only UNSTRUCTURED_GRID datasets are read");
    return status;
  }

  // The data type word of a block, the bytes of one value in a binary file and whether its
  // integers are unsigned.
  Status readDataType(int& size, bool& isFloat, bool* isUnsigned = nullptr) {
    const std::string_view type = in_.token();
    isFloat = type == "float" || type == "double";
    if (isUnsigned != nullptr)
      *isUnsigned = type == "unsigned_int" || type == "vtktypeuint64" || type == "unsigned_long";
    if (type == "float" || type == "int" || type == "vtktypeint32" || type == "unsigned_int") {
      size = 4;
    } else if (type == "double" || type == "vtktypeint64" || type == "long" ||
               type == "vtktypeuint64" || type == "unsigned_long") {
      size = 8;
    } else {
      return in_.fail("data type '" + std::string(type.substr(0, 40)) + "' is not read");
    }
    // Binary data start after the end of the keyword's line.
    if (binary_) {
      in_.skipLine();
      in_.setBinary();
    }
    return Status::success();
  }

  Status readPoints() {
    if (havePoints_) return in_.fail("a second POINTS");
    int64_t count = 0;
    Status status = in_.readCount(count, binary_ ? 12 : 6, "point count");
    int size = 0;
    bool isFloat = false;
    if (status.ok) status = readDataType(size, isFloat);
    if (!status.ok) return status;
    if (count > INT_MAX / 3) return in_.fail("too many points");
    if (binary_ && !isFloat) return in_.fail("binary points must be float or double");
    points_.resize(static_cast<size_t>(count) * 3);
    for (float& x : points_) {
      if (!binary_) {
        status = in_.readFloat(x, "a coordinate");
      } else if (size == 4) {
        status = in_.readBinary(x, littleEndianHost, "coordinate");
      } else {
        double v = 0.0;
        status = in_.readBinary(v, littleEndianHost, "coordinate");
        x = static_cast<float>(v);
      }
      if (!status.ok) return status;
    }
    havePoints_ = true;
    return status;
  }

  // Information keys up to a blank line, which may end in "\r\n" as every other line may.
  void skipMetadata() {
    in_.skipLine();
    while (in_.remaining() > 0) {
      const std::string_view rest =
          in_.bytes().substr(in_.bytes().size() - static_cast<size_t>(in_.remaining()));
      const std::string_view line = rest.substr(0, rest.find('\n'));
      in_.skipLine();
      if (line.find_first_not_of(" \t\r\v\f") == std::string_view::npos) return;
    }
  }

  // "FIELD name arrays", then per array "name components tuples type" and its values: data a
  // cage does not use, skipped value by value so that a short or malformed array still fails.
  Status skipField() {
    in_.token();  // the field's name
    int64_t arrays = 0;
    Status status = in_.readCount(arrays, 1, "field array count");
    for (int64_t a = 0; a < arrays && status.ok; ++a) {
      if (in_.peekToken() == "METADATA") {
        in_.token();
        skipMetadata();
      }
      // An array the writer had nothing for is this one word.
      if (in_.token() == "NULL_ARRAY") {
        ++skippedArrays_;
        continue;
      }
      int64_t components = 0;
      int64_t tuples = 0;
      status = in_.readCount(components, 1, "field component count");
      if (status.ok) status = in_.readInt(tuples, "a field tuple count");
      if (!status.ok) return status;
      const std::string_view type = in_.token();
      const auto found = std::find_if(fieldValueSizes.begin(), fieldValueSizes.end(),
                                      [&](const auto& entry) { return entry.first == type; });
      if (found == fieldValueSizes.end())
        return in_.fail("field array type " + quoted(type) + " is not read");
      if (binary_) {
        in_.skipLine();
        in_.setBinary();
      }
      const int64_t valueBytes = binary_ ? found->second : 2;
      if (!(status = in_.checkRoom(tuples, components * valueBytes, "field tuple count")).ok)
        return status;
      for (int64_t k = 0; k < components * tuples && status.ok; ++k)
        status = skipValue(found->second);
      ++skippedArrays_;
    }
    return status;
  }

  // One value of `size` bytes in a binary file, one number in a text file.
  Status skipValue(int size) {
    if (!binary_) {
      float ignored = 0;
      return in_.readFloat(ignored, "a field value");
    }
    uint64_t ignored8 = 0;
    uint32_t ignored4 = 0;
    uint16_t ignored2 = 0;
    uint8_t ignored1 = 0;
    if (size == 8) return in_.readBinary(ignored8, false, "field value");
    if (size == 4) return in_.readBinary(ignored4, false, "field value");
    if (size == 2) return in_.readBinary(ignored2, false, "field value");
    return in_.readBinary(ignored1, false, "field value");
  }

  // `count` integers of the block's data type into `values`. An unsigned one past what a signed
  // 64-bit integer holds is refused by its value, not read as a negative number.
  Status readIntegers(int64_t count, int size, std::vector<int64_t>& values,
                      bool isUnsigned = false) {
    Status status = in_.checkRoom(count, binary_ ? size : 2, "value count");
    for (int64_t i = 0; i < count && status.ok; ++i) {
      int64_t v = 0;
      if (!binary_) {
        status = in_.readInt(v, "an integer");
      } else if (size == 4 && isUnsigned) {
        uint32_t u32 = 0;
        status = in_.readBinary(u32, littleEndianHost, "integer");
        v = u32;
      } else if (size == 4) {
        int32_t v32 = 0;
        status = in_.readBinary(v32, littleEndianHost, "integer");
        v = v32;
      } else if (isUnsigned) {
        uint64_t u64 = 0;
        status = in_.readBinary(u64, littleEndianHost, "integer");
        if (status.ok && u64 > static_cast<uint64_t>(INT64_MAX))
          return in_.fail("integer " + std::to_string(u64) + " is too large");
        v = static_cast<int64_t>(u64);
      } else {
        status = in_.readBinary(v, littleEndianHost, "integer");
      }
      values.push_back(v);
    }
    return status;
  }

  Status readCells() {
    if (haveCells_) return in_.fail("a second CELLS");
    int64_t first = 0;
    int64_t second = 0;
    Status status = in_.readCount(first, 1, "cell count");
    if (status.ok) status = in_.readCount(second, 1, "cell list size");
    if (!status.ok) return status;
    haveCells_ = true;
    if (in_.peekToken() == "OFFSETS") return readOffsetsAndConnectivity(first, second);
    // Classic: per cell its vertex count, then the vertices.
    int size = 4;
    if (binary_) {
      in_.skipLine();
      in_.setBinary();
    }
    std::vector<int64_t> list;
    if (!(status = readIntegers(second, size, list)).ok) return status;
    offsets_.push_back(0);
    size_t at = 0;
    for (int64_t c = 0; c < first; ++c) {
      if (at >= list.size() || list[at] < 0 ||
          list[at] > static_cast<int64_t>(list.size() - at - 1))
        return in_.fail("CELLS list ends inside cell " + std::to_string(c));
      const int64_t n = list[at++];
      connectivity_.insert(connectivity_.end(), list.begin() + static_cast<std::ptrdiff_t>(at),
                           list.begin() + static_cast<std::ptrdiff_t>(at + n));
      at += static_cast<size_t>(n);
      offsets_.push_back(static_cast<int64_t>(connectivity_.size()));
    }
    if (at != list.size()) return in_.fail("CELLS list is longer than its cells");
    return status;
  }

  Status readOffsetsAndConnectivity(int64_t offsetCount, int64_t connectivityCount) {
    int size = 0;
    bool isFloat = false;
    bool isUnsigned = false;
    in_.token();
    Status status = readDataType(size, isFloat, &isUnsigned);
    if (status.ok) status = readIntegers(offsetCount, size, offsets_, isUnsigned);
    if (status.ok) status = in_.expect("CONNECTIVITY");
    if (status.ok) status = readDataType(size, isFloat, &isUnsigned);
    if (status.ok) status = readIntegers(connectivityCount, size, connectivity_, isUnsigned);
    if (!status.ok) return status;
    if (offsets_.empty() || offsets_.front() != 0 ||
        offsets_.back() != static_cast<int64_t>(connectivity_.size()))
      return in_.fail("OFFSETS do not span CONNECTIVITY");
    for (size_t c = 1; c < offsets_.size(); ++c)
      if (offsets_[c] < offsets_[c - 1])
        return in_.fail("OFFSETS decrease at cell " + std::to_string(c - 1));
    return status;
  }

  Status readTypes() {
    if (haveTypes_) return in_.fail("a second CELL_TYPES");
    int64_t count = 0;
    Status status = in_.readCount(count, binary_ ? 4 : 2, "cell count");
    if (binary_) {
      in_.skipLine();
      in_.setBinary();
    }
    if (status.ok) status = readIntegers(count, 4, types_);
    haveTypes_ = true;
    return status;
  }

  Status addCell(CellCollector& collector, size_t c) {
    const int64_t code = types_[c];
    const int64_t begin = offsets_[c];
    const int64_t n = offsets_[c + 1] - begin;
    const CellMapping* map = nullptr;
    if (code == polygonCode && (n == 3 || n == 4)) {
      map = n == 3 ? &polygonTriangle : &polygonQuad;
    } else if (code != polygonCode && code >= 0 && code <= INT_MAX) {
      map = findMapping(vtkCells, static_cast<int>(code));
    }
    if (map == nullptr)
      return Status::failure(
          in_.fileName() + ": cell type " + std::to_string(code) +
          (code == polygonCode ? " with " + std::to_string(n) + " vertices" : "") +
          " is not supported");
    // The lists are read; a cell is named by its number.
    if (n != map->nodes)
      return Status::failure(in_.fileName() + ": " + "cell " + std::to_string(c) + " of type " +
                             std::to_string(code) + " has " + std::to_string(n) +
                             " vertices, not " + std::to_string(map->nodes));
    int32_t nodes[27];
    const int64_t pointCount = static_cast<int64_t>(points_.size() / 3);
    for (int k = 0; k < n; ++k) {
      const int64_t v = connectivity_[static_cast<size_t>(begin + k)];
      if (v < 0 || v >= pointCount)
        return Status::failure(in_.fileName() + ": " + "cell " + std::to_string(c) +
                               " names point " + std::to_string(v) + " (the grid has " +
                               std::to_string(pointCount) + ")");
      nodes[k] = static_cast<int32_t>(v);
    }
    collector.add(*map, nodes);
    return Status::success();
  }

  TextScanner in_;
  bool binary_ = false;
  bool havePoints_ = false;
  bool haveCells_ = false;
  bool haveTypes_ = false;
  std::vector<float> points_;
  std::vector<int64_t> offsets_;
  std::vector<int64_t> connectivity_;
  std::vector<int64_t> types_;
  int64_t skippedArrays_ = 0;
  bool skippedData_ = false;  // stopped at POINT_DATA or CELL_DATA
};

}  // namespace

Status readVtk(const std::string& path, Mesh& mesh, Warnings& warnings) {
  std::string bytes;
  const Status status = readWholeFile(path, bytes);
  if (!status.ok) return status;
  return VtkReader(path, std::move(bytes)).read(mesh, warnings);
}

Status writeVtk(const Mesh& mesh, const std::string& path) {
  CageOutput out(mesh, path);
  Status status = out.open();
  if (!status.ok) return status;
  out.text("# vtk DataFile Version 2.0\ncagewarp cage\nASCII\nDATASET UNSTRUCTURED_GRID\nPOINTS");
  out.number(mesh.vertexColumns());
  out.word("float");
  out.endLine();
  for (int v = 0; v < mesh.vertexColumns(); ++v) out.position(v);
  int64_t listSize = 0;
  for (int t = 0; t < cellTypeCount; ++t)
    listSize += out.writtenCellCount(t) * (1 + verticesPerCell[t]);
  out.word("CELLS");
  out.number(out.writtenCellCount());
  out.line(listSize);
  out.forEachWrittenCell([&](int t, const int32_t* cell) {
    out.number(verticesPerCell[t]);
    for (int k = 0; k < verticesPerCell[t]; ++k)
      out.number(cell[t == prismType ? wedgeOrder[k] : k]);
    out.endLine();
  });
  out.word("CELL_TYPES");
  out.line(out.writtenCellCount());
  out.forEachWrittenCell([&](int t, const int32_t*) { out.line(vtkCodeOf[t]); });
  return out.commit();
}

}  // namespace cagewarp
