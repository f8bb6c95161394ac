#include "formats/ply_file.h"

#include <algorithm>
#include <array>
#include <bit>
#include <climits>
#include <cstring>
#include <string_view>
#include <utility>
#include <vector>

#include "formats/atomic_file.h"
#include "formats/model_reading.h"
#include "mesh/cell_type.h"

namespace cagewarp {
namespace {

// The exact words of the PLY header.
constexpr std::string_view magicWord = "ply";
constexpr std::string_view formatKeyword = "format";
constexpr std::string_view asciiFormat = "ascii";
constexpr std::string_view littleEndianFormat = "binary_little_endian";
constexpr std::string_view bigEndianFormat = "binary_big_endian";
constexpr std::string_view supportedVersion = "1.0";
constexpr std::string_view commentKeyword = "comment";
constexpr std::string_view objInfoKeyword = "obj_info";
constexpr std::string_view elementKeyword = "element";
constexpr std::string_view propertyKeyword = "property";
constexpr std::string_view listKeyword = "list";
constexpr std::string_view endHeaderKeyword = "end_header";
// The element and property names that carry the geometry.
constexpr std::string_view vertexElement = "vertex";
constexpr std::string_view faceElement = "face";
constexpr std::string_view edgeElement = "edge";
constexpr std::array<std::string_view, 3> axisNames = {"x", "y", "z"};
constexpr std::array<std::string_view, 3> normalNames = {"nx", "ny", "nz"};
// The names writers give a vertex's texture coordinates; the first pair the vertex has counts.
constexpr std::array<std::array<std::string_view, 2>, 3> textureNames = {
    {{"s", "t"}, {"u", "v"}, {"texture_u", "texture_v"}}};
constexpr std::array<std::string_view, 2> cornerListNames = {"vertex_indices", "vertex_index"};
constexpr std::array<std::string_view, 2> edgeEndNames = {"vertex1", "vertex2"};

enum class PlyType { int8, uint8, int16, uint16, int32, uint32, float32, float64 };

struct TypeName {
  std::string_view name;
  PlyType type;
  int size;
};
constexpr std::array<TypeName, 16> typeNames{{
    {"char", PlyType::int8, 1},
    {"int8", PlyType::int8, 1},
    {"uchar", PlyType::uint8, 1},
    {"uint8", PlyType::uint8, 1},
    {"short", PlyType::int16, 2},
    {"int16", PlyType::int16, 2},
    {"ushort", PlyType::uint16, 2},
    {"uint16", PlyType::uint16, 2},
    {"int", PlyType::int32, 4},
    {"int32", PlyType::int32, 4},
    {"uint", PlyType::uint32, 4},
    {"uint32", PlyType::uint32, 4},
    {"float", PlyType::float32, 4},
    {"float32", PlyType::float32, 4},
    {"double", PlyType::float64, 8},
    {"float64", PlyType::float64, 8},
}};

int sizeOf(PlyType type) {
  for (const TypeName& t : typeNames)
    if (t.type == type) return t.size;
  return 0;
}
bool isReal(PlyType type) {
  return type == PlyType::float32 || type == PlyType::float64;
}

// What a property means to the model.
enum class Role {
  kept,
  axisX,
  axisY,
  axisZ,
  corners,
  edgeEnd,
  normalX,
  normalY,
  normalZ,
  textureU,
  textureV
};

struct PlyProperty {
  std::string name;
  PlyType type = PlyType::uint8;
  bool isList = false;
  PlyType countType = PlyType::uint8;
  Role role = Role::kept;
};

struct PlyElement {
  std::string name;
  int64_t count = 0;
  int line = 0;
  std::vector<PlyProperty> properties;
};

enum class Encoding { ascii, littleEndian, bigEndian };

struct PlyHeader {
  Encoding encoding = Encoding::ascii;
  std::vector<PlyElement> elements;
  int64_t vertexCount = 0;
  bool vertexNormals = false;   // the vertex element has float or double nx, ny and nz
  bool vertexTextures = false;  // and texture coordinates (textureNames)
  int64_t bodyOffset = 0;
  int bodyLine = 0;
};

// ---------------------------------------------------------------------------------------------
// Header

class HeaderReader {
 public:
  HeaderReader(const std::string& path, std::string_view bytes)
      : path_(path), lines_(bytes), bytes_(bytes) {}

  Status read(PlyHeader& header) {
    std::string_view word;
    if (!nextLine(word) || word != magicWord || words_.next(word))
      return fail("the file does not start with the line 'ply'");
    bool formatSeen = false;
    while (nextLine(word)) {
      Status status;
      if (word == formatKeyword) {
        status = readFormat(header);
        formatSeen = true;
      } else if (word == elementKeyword) {
        status = readElement(header);
      } else if (word == propertyKeyword) {
        status = readProperty(header);
      } else if (word == endHeaderKeyword) {
        if (!formatSeen) return fail("the header has no format line");
        header.bodyOffset = lines_.nextOffset();
        header.bodyLine = lines_.number();
        return checkElements(header);
      } else if (word != commentKeyword && word != objInfoKeyword) {
        status = fail(quoted(word) + " is not a header keyword");
      }
      if (!status.ok) return status;
    }
    return fail("the header has no end_header line");
  }

 private:
  Status fail(const std::string& what) const { return textFailure(path_, lines_.number(), what); }

  // The first word of the next line that has one.
  bool nextLine(std::string_view& first) {
    while (lines_.next()) {
      words_ = WordCursor(lines_.line(), lines_.offset());
      if (words_.next(first)) return true;
    }
    return false;
  }

  Status readFormat(PlyHeader& header) {
    std::string_view name;
    std::string_view version;
    if (!words_.next(name) || !words_.next(version))
      return fail("the format line needs a format and a version");
    if (name == asciiFormat) {
      header.encoding = Encoding::ascii;
    } else if (name == littleEndianFormat) {
      header.encoding = Encoding::littleEndian;
    } else if (name == bigEndianFormat) {
      header.encoding = Encoding::bigEndian;
    } else {
      return fail(quoted(name) + " is not a PLY format");
    }
    if (version != supportedVersion) return fail("PLY version " + quoted(version) + " is not 1.0");
    return Status::success();
  }

  Status readElement(PlyHeader& header) {
    std::string_view name;
    std::string_view countText;
    int64_t count = 0;
    if (!words_.next(name) || !words_.next(countText))
      return fail("an element needs a name and a count");
    if (!parseInteger(countText, count) || count < 0)
      return fail(quoted(countText) + " is not an element count");
    header.elements.push_back({std::string(name), count, lines_.number(), {}});
    return Status::success();
  }

  Status readType(PlyType& type) {
    std::string_view name;
    if (!words_.next(name)) return fail("a property needs a type and a name");
    for (const TypeName& t : typeNames) {
      if (t.name == name) {
        type = t.type;
        return Status::success();
      }
    }
    return fail(quoted(name) + " is not a PLY type");
  }

  Status readProperty(PlyHeader& header) {
    if (header.elements.empty()) return fail("a property before any element");
    PlyProperty property;
    std::string_view word;
    Status status;
    const WordCursor start = words_;
    if (words_.next(word) && word == listKeyword) {
      property.isList = true;
      if (!(status = readType(property.countType)).ok) return status;
      if (isReal(property.countType)) return fail("a list count must have an integer type");
    } else {
      words_ = start;
    }
    if (!(status = readType(property.type)).ok) return status;
    if (!words_.next(word)) return fail("a property needs a type and a name");
    property.name = word;
    header.elements.back().properties.push_back(std::move(property));
    return Status::success();
  }

  // Gives the geometry's properties their roles and checks every count against the file's size
  // before anything is allocated.
  Status checkElements(PlyHeader& header) const {
    bool vertexSeen = false;
    int64_t remaining = static_cast<int64_t>(bytes_.size()) - header.bodyOffset;
    for (PlyElement& element : header.elements) {
      Status status = assignRoles(element, header, vertexSeen);
      if (!status.ok) return status;
      const int64_t perRecord = smallestRecord(element, header.encoding);
      if (perRecord > 0 && element.count > (remaining + 1) / perRecord) {
        return textFailure(path_, element.line,
                           "element " + element.name + " has " + std::to_string(element.count) +
                               " records, more than the file can hold");
      }
      remaining -= perRecord * element.count;
    }
    if (!vertexSeen) return fail("the header has no vertex element");
    return Status::success();
  }

  // The fewest bytes a record can take: fixed sizes in binary, one character and a separator
  // per value in ASCII.
  static int64_t smallestRecord(const PlyElement& element, Encoding encoding) {
    int64_t bytes = 0;
    for (const PlyProperty& property : element.properties) {
      if (encoding == Encoding::ascii)
        bytes += 2;
      else
        bytes += sizeOf(property.isList ? property.countType : property.type);
    }
    return bytes;
  }

  // Normals are recomputed when their faces move, so only three real-valued ones count.
  static void assignNormalRoles(PlyElement& element, PlyHeader& header) {
    std::array<PlyProperty*, 3> found{};
    for (int axis = 0; axis < 3; ++axis) {
      for (PlyProperty& property : element.properties)
        if (property.name == normalNames[axis] && found[axis] == nullptr) found[axis] = &property;
      if (found[axis] == nullptr || found[axis]->isList || !isReal(found[axis]->type)) return;
    }
    for (int axis = 0; axis < 3; ++axis)
      found[axis]->role = static_cast<Role>(static_cast<int>(Role::normalX) + axis);
    header.vertexNormals = true;
  }

  // Texture coordinates are only carried over to a copy in another format.
  static void assignTextureRoles(PlyElement& element, PlyHeader& header) {
    for (const auto& names : textureNames) {
      std::array<PlyProperty*, 2> found{};
      for (size_t k = 0; k < 2; ++k)
        for (PlyProperty& property : element.properties)
          if (property.name == names[k] && !property.isList && isReal(property.type) &&
              found[k] == nullptr)
            found[k] = &property;
      if (found[0] == nullptr || found[1] == nullptr) continue;
      found[0]->role = Role::textureU;
      found[1]->role = Role::textureV;
      header.vertexTextures = true;
      return;
    }
  }

  Status assignRoles(PlyElement& element, PlyHeader& header, bool& vertexSeen) const {
    const auto failHere = [&](const std::string& what) {
      return textFailure(path_, element.line, what);
    };
    if (element.name == vertexElement) {
      if (vertexSeen) return failHere("a second vertex element");
      vertexSeen = true;
      if (element.count > INT_MAX / 3) return failHere("too many vertices");
      header.vertexCount = element.count;
      for (int axis = 0; axis < 3; ++axis) {
        PlyProperty* found = nullptr;
        for (PlyProperty& property : element.properties)
          if (property.name == axisNames[axis] && found == nullptr) found = &property;
        if (found == nullptr)
          return failHere("the vertex element has no property " + std::string(axisNames[axis]));
        if (found->isList || !isReal(found->type))
          return failHere("vertex property " + found->name + " must be a float or double");
        found->role = static_cast<Role>(static_cast<int>(Role::axisX) + axis);
      }
      assignNormalRoles(element, header);
      assignTextureRoles(element, header);
    }
    for (PlyProperty& property : element.properties) {
      const bool corners =
          element.name == faceElement && property.isList &&
          (property.name == cornerListNames[0] || property.name == cornerListNames[1]);
      const bool edgeEnd = element.name == edgeElement && !property.isList &&
                           (property.name == edgeEndNames[0] || property.name == edgeEndNames[1]);
      if (!corners && !edgeEnd) continue;
      if (isReal(property.type)) return failHere("vertex indices must have an integer type");
      property.role = corners ? Role::corners : Role::edgeEnd;
    }
    return Status::success();
  }

  const std::string& path_;
  LineCursor lines_;
  WordCursor words_{std::string_view(), 0};
  std::string_view bytes_;
};

// ---------------------------------------------------------------------------------------------
// Body

// One value of the body as read: its place in the file and its number.
struct PlyValue {
  int64_t offset = 0;
  int64_t length = 0;
  float coordinate = 0.0f;  // for float and double properties
  int64_t integer = 0;      // for integer properties
};

// Reads values one at a time from an ASCII body, with line numbers for messages.
class AsciiValues {
 public:
  AsciiValues(const std::string& path, std::string_view bytes, const PlyHeader& header)
      : path_(path), words_(bytes, header.bodyOffset, header.bodyLine + 1) {}

  Status next(PlyType type, PlyValue& value) {
    std::string_view word;
    if (!words_.next(word)) return fail("the file ends inside the data");
    value.offset = words_.wordOffset();
    value.length = static_cast<int64_t>(word.size());
    const bool ok =
        isReal(type) ? parseFloat(word, value.coordinate) : parseInteger(word, value.integer);
    return ok ? Status::success() : fail(quoted(word) + " is not a number");
  }
  Status fail(const std::string& what) const { return textFailure(path_, words_.line(), what); }
  int64_t remaining(std::string_view bytes) const {
    return static_cast<int64_t>(bytes.size()) - words_.lineOffset();
  }

 private:
  const std::string& path_;
  WordStream words_;
};

// Reads values one at a time from a binary body, every read checked against the file's end.
class BinaryValues {
 public:
  BinaryValues(const std::string& path, std::string_view bytes, const PlyHeader& header)
      : path_(path),
        bytes_(bytes),
        position_(header.bodyOffset),
        swap_((header.encoding == Encoding::bigEndian) !=
              (std::endian::native == std::endian::big)) {}

  Status next(PlyType type, PlyValue& value) {
    const int size = sizeOf(type);
    if (size > remaining(bytes_)) return fail("the file ends inside the data");
    unsigned char raw[8];
    std::memcpy(raw, bytes_.data() + position_, static_cast<size_t>(size));
    if (swap_) std::reverse(raw, raw + size);
    value.offset = position_;
    value.length = size;
    position_ += size;
    switch (type) {
      case PlyType::int8:
        value.integer = load<int8_t>(raw);
        break;
      case PlyType::uint8:
        value.integer = load<uint8_t>(raw);
        break;
      case PlyType::int16:
        value.integer = load<int16_t>(raw);
        break;
      case PlyType::uint16:
        value.integer = load<uint16_t>(raw);
        break;
      case PlyType::int32:
        value.integer = load<int32_t>(raw);
        break;
      case PlyType::uint32:
        value.integer = load<uint32_t>(raw);
        break;
      case PlyType::float32:
        value.coordinate = load<float>(raw);
        break;
      case PlyType::float64:
        value.coordinate = static_cast<float>(load<double>(raw));
        break;
    }
    return Status::success();
  }
  Status fail(const std::string& what) const { return byteFailure(path_, position_, what); }
  int64_t remaining(std::string_view bytes) const {
    return static_cast<int64_t>(bytes.size()) - position_;
  }

 private:
  template <typename T>
  static T load(const unsigned char* raw) {
    T value;
    std::memcpy(&value, raw, sizeof(T));
    return value;
  }

  const std::string& path_;
  std::string_view bytes_;
  int64_t position_;
  bool swap_;
};

CoordinateEncoding encodingOf(PlyType type, Encoding encoding) {
  if (encoding == Encoding::ascii) return CoordinateEncoding::text;
  const bool big = encoding == Encoding::bigEndian;
  if (type == PlyType::float32)
    return big ? CoordinateEncoding::float32Big : CoordinateEncoding::float32Little;
  return big ? CoordinateEncoding::float64Big : CoordinateEncoding::float64Little;
}

template <typename Values>
class BodyReader {
 public:
  BodyReader(const std::string& path, ModelFile& model, const PlyHeader& header)
      : model_(model), header_(header), values_(path, model.text(), header), builder_(model) {}

  Status read() {
    for (const PlyElement& element : header_.elements) {
      if (element.properties.empty()) continue;
      for (int64_t record = 0; record < element.count; ++record) {
        const Status status = readRecord(element);
        if (!status.ok) return status;
      }
    }
    builder_.finish();
    return Status::success();
  }

 private:
  Status readRecord(const PlyElement& element) {
    corners_.clear();
    std::array<PlyValue, 3> axes;
    PlyValue value;
    for (const PlyProperty& property : element.properties) {
      Status status = property.isList ? readList(property) : values_.next(property.type, value);
      if (!status.ok) return status;
      if (property.role >= Role::axisX && property.role <= Role::axisZ)
        axes[static_cast<int>(property.role) - static_cast<int>(Role::axisX)] = value;
      if (property.role >= Role::normalX && property.role <= Role::normalZ)
        normals_[static_cast<int>(property.role) - static_cast<int>(Role::normalX)] = value;
      if (property.role == Role::textureU || property.role == Role::textureV)
        texture_[property.role == Role::textureU ? 0 : 1] = value.coordinate;
      if (property.role == Role::edgeEnd && !(status = addCorner(value)).ok) return status;
    }
    if (element.name == vertexElement) return addVertex(element, axes);
    const int count = static_cast<int>(corners_.size());
    // Normals are per vertex, so a corner's normal has its vertex's index.
    const int32_t* normals = header_.vertexNormals ? corners_.data() : nullptr;
    const int32_t* textures = header_.vertexTextures ? corners_.data() : nullptr;
    const bool fits = element.name == faceElement
                          ? builder_.addFace(corners_.data(), count, normals, textures)
                          : builder_.addPolygon(corners_.data(), count);
    if (!fits) return values_.fail("too many cells");
    return Status::success();
  }

  Status readList(const PlyProperty& property) {
    PlyValue count;
    Status status = values_.next(property.countType, count);
    if (!status.ok) return status;
    // Every item takes at least a byte, so a count beyond the rest of the file is a lie.
    if (count.integer < 0 || count.integer > values_.remaining(model_.text()) ||
        count.integer > INT_MAX)
      return values_.fail("list count " + std::to_string(count.integer) +
                          " is more than the file can hold");
    PlyValue item;
    for (int64_t k = 0; k < count.integer; ++k) {
      if (!(status = values_.next(property.type, item)).ok) return status;
      if (property.role == Role::corners && !(status = addCorner(item)).ok) return status;
    }
    return Status::success();
  }

  Status addCorner(const PlyValue& index) {
    if (index.integer < 0 || index.integer >= header_.vertexCount)
      return values_.fail("vertex index " + std::to_string(index.integer) +
                          " names no vertex (the file has " + std::to_string(header_.vertexCount) +
                          ")");
    corners_.push_back(static_cast<int32_t>(index.integer));
    return Status::success();
  }

  Status addVertex(const PlyElement& element, const std::array<PlyValue, 3>& axes) {
    const int vertex =
        builder_.addVertex(axes[0].coordinate, axes[1].coordinate, axes[2].coordinate);
    // Sites go in file order, whatever the order of x, y and z among the properties.
    for (const PlyProperty& property : element.properties) {
      if (property.role < Role::axisX || property.role > Role::axisZ) continue;
      const int axis = static_cast<int>(property.role) - static_cast<int>(Role::axisX);
      builder_.addSite(axes[axis].offset, axes[axis].length, vertex, axis,
                       encodingOf(property.type, header_.encoding));
    }
    if (header_.vertexTextures) builder_.addTexture(texture_[0], texture_[1]);
    if (!header_.vertexNormals) return Status::success();
    const int normal = builder_.addNormal();
    for (const PlyProperty& property : element.properties) {
      if (property.role < Role::normalX || property.role > Role::normalZ) continue;
      const int axis = static_cast<int>(property.role) - static_cast<int>(Role::normalX);
      builder_.addNormalSite(normals_[axis].offset, normals_[axis].length, normal, axis,
                             normals_[axis].coordinate,
                             encodingOf(property.type, header_.encoding));
    }
    return Status::success();
  }

  ModelFile& model_;
  const PlyHeader& header_;
  Values values_;
  detail::ModelBuilder builder_;
  std::vector<int32_t> corners_;
  std::array<PlyValue, 3> normals_;
  std::array<float, 2> texture_{};
};

}  // namespace

Status readPly(const std::string& path, ModelFile& model) {
  PlyHeader header;
  const Status status = HeaderReader(path, model.text()).read(header);
  if (!status.ok) return status;
  if (header.encoding == Encoding::ascii)
    return BodyReader<AsciiValues>(path, model, header).read();
  return BodyReader<BinaryValues>(path, model, header).read();
}

namespace {

// The most corners the face list's uchar count holds.
constexpr int largestListedFace = 255;

void putPlyFace(std::FILE* out, const int32_t* corners, int count) {
  std::fprintf(out, "%d", count);
  for (int k = 0; k < count; ++k) std::fprintf(out, " %d", corners[k]);
  std::fputc('\n', out);
}

}  // namespace

Status writePly(const ModelGeometry& model, const std::string& path) {
  AtomicFile file(path);
  if (Status status = file.open(); !status.ok) return status;
  std::FILE* out = file.stream();
  const Matrix& positions = model.mesh.vertices;
  int64_t faces = 0;
  for (int face = 0; face < model.faceCount(); ++face) {
    const int count = model.faceStarts[face + 1] - model.faceStarts[face];
    faces += count <= largestListedFace ? 1 : count - 2;
  }
  const IntArray& lines = model.mesh.cells[lineType];
  std::fprintf(out, "%s\n%s %s %s\n%s %s %d\n", magicWord.data(), formatKeyword.data(),
               asciiFormat.data(), supportedVersion.data(), elementKeyword.data(),
               vertexElement.data(), positions.cols());
  // The vertex properties: each a name and a row of one of the model's matrices.
  struct Column {
    std::string_view name;
    const Matrix* values;
    int row;
  };
  std::vector<Column> columns;
  for (int k = 0; k < 3; ++k) columns.push_back({axisNames[static_cast<size_t>(k)], &positions, k});
  for (int k = 0; k < 3 && model.hasNormals(); ++k)
    columns.push_back({normalNames[static_cast<size_t>(k)], &model.normals, k});
  for (int k = 0; k < 2 && model.hasTextures(); ++k)
    columns.push_back({textureNames[0][static_cast<size_t>(k)], &model.textures, k});
  for (const Column& column : columns)
    std::fprintf(out, "%s float %s\n", propertyKeyword.data(), column.name.data());
  std::fprintf(out, "%s %s %lld\n%s %s uchar int %s\n", elementKeyword.data(), faceElement.data(),
               static_cast<long long>(faces), propertyKeyword.data(), listKeyword.data(),
               cornerListNames[0].data());
  if (lines.count() > 0)
    std::fprintf(out, "%s %s %d\n%s int %s\n%s int %s\n", elementKeyword.data(), edgeElement.data(),
                 lines.count() / 2, propertyKeyword.data(), edgeEndNames[0].data(),
                 propertyKeyword.data(), edgeEndNames[1].data());
  std::fprintf(out, "%s\n", endHeaderKeyword.data());
  for (int v = 0; v < positions.cols(); ++v) {
    for (size_t k = 0; k < columns.size(); ++k) {
      if (k > 0) std::fputc(' ', out);
      detail::putFloat(out, (*columns[k].values)(columns[k].row, v));
    }
    std::fputc('\n', out);
  }
  for (int face = 0; face < model.faceCount(); ++face) {
    const int32_t* corners = model.faceCorners.data() + model.faceStarts[face];
    const int count = model.faceStarts[face + 1] - model.faceStarts[face];
    if (count <= largestListedFace) {
      putPlyFace(out, corners, count);
      continue;
    }
    for (int k = 1; k + 1 < count; ++k) {
      const int32_t triangle[3] = {corners[0], corners[k], corners[k + 1]};
      putPlyFace(out, triangle, 3);
    }
  }
  for (int edge = 0; edge < lines.count() / 2; ++edge)
    std::fprintf(out, "%d %d\n", lines[2 * edge], lines[2 * edge + 1]);
  return file.commit();
}

}  // namespace cagewarp
