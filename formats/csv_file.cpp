#include "formats/csv_file.h"

#include <array>
#include <cctype>
#include <string_view>
#include <vector>

#include "formats/atomic_file.h"
#include "formats/model_reading.h"

namespace cagewarp {
namespace {

constexpr char separator = ',';
constexpr char quote = '"';
constexpr char commentLetter = '#';
constexpr std::array<std::string_view, 3> axisNames = {"x", "y", "z"};
constexpr std::string_view blanks = " \t\r";

// One field of a row: where its text starts in the file and the text, without the blanks and
// the double quotes around it.
struct Field {
  int64_t offset = 0;
  std::string_view text;
};

Field trimmed(std::string_view text, int64_t offset) {
  const size_t first = text.find_first_not_of(blanks);
  if (first == std::string_view::npos) return {offset, {}};
  text = text.substr(first, text.find_last_not_of(blanks) - first + 1);
  offset += static_cast<int64_t>(first);
  if (text.size() >= 2 && text.front() == quote && text.back() == quote) {
    text = text.substr(1, text.size() - 2);
    ++offset;
  }
  return {offset, text};
}

// The fields of a line; a separator inside double quotes belongs to its field.
void splitFields(std::string_view line, int64_t offset, std::vector<Field>& fields) {
  fields.clear();
  size_t start = 0;
  bool inQuotes = false;
  for (size_t k = 0; k <= line.size(); ++k) {
    if (k < line.size() && line[k] == quote) inQuotes = !inQuotes;
    if (k < line.size() && (inQuotes || line[k] != separator)) continue;
    fields.push_back(trimmed(line.substr(start, k - start), offset + static_cast<int64_t>(start)));
    start = k + 1;
  }
}

bool isNote(std::string_view line) {
  const size_t first = line.find_first_not_of(blanks);
  return first == std::string_view::npos || line[first] == commentLetter;
}

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t k = 0; k < a.size(); ++k)
    if (std::tolower(static_cast<unsigned char>(a[k])) != b[k]) return false;
  return true;
}

}  // namespace

Status readCsv(const std::string& path, ModelFile& model) {
  detail::ModelBuilder builder(model);
  LineCursor lines(model.text());
  std::vector<Field> fields;
  std::array<size_t, 3> columns{};
  bool headerSeen = false;
  while (lines.next()) {
    if (isNote(lines.line())) continue;
    splitFields(lines.line(), lines.offset(), fields);
    if (!headerSeen) {
      for (size_t axis = 0; axis < 3; ++axis) {
        columns[axis] = fields.size();
        for (size_t k = 0; k < fields.size() && columns[axis] == fields.size(); ++k)
          if (sameName(fields[k].text, axisNames[axis])) columns[axis] = k;
        if (columns[axis] == fields.size())
          return textFailure(path, lines.number(),
                             "the header names no " + std::string(axisNames[axis]) + " column");
      }
      headerSeen = true;
      continue;
    }
    float xyz[3];
    for (size_t axis = 0; axis < 3; ++axis) {
      if (columns[axis] >= fields.size())
        return textFailure(path, lines.number(),
                           "the row has no " + std::string(axisNames[axis]) + " column");
      const std::string_view text = fields[columns[axis]].text;
      if (text.empty())
        return textFailure(path, lines.number(),
                           "the " + std::string(axisNames[axis]) + " column is empty");
      if (!parseFloat(text, xyz[axis]))
        return textFailure(path, lines.number(), quoted(text) + " is not a number");
    }
    const int vertex = builder.addVertex(xyz[0], xyz[1], xyz[2]);
    if (vertex < 0) return textFailure(path, lines.number(), "too many vertices");
    // Sites go in file order, whatever the order of the x, y and z columns.
    for (size_t k = 0; k < fields.size(); ++k) {
      for (size_t axis = 0; axis < 3; ++axis) {
        if (columns[axis] != k) continue;
        builder.addSite(fields[k].offset, static_cast<int64_t>(fields[k].text.size()), vertex,
                        static_cast<int>(axis), CoordinateEncoding::text);
      }
    }
  }
  builder.finish();
  return Status::success();
}

Status writeCsv(const ModelGeometry& model, const std::string& path) {
  AtomicFile file(path);
  if (Status status = file.open(); !status.ok) return status;
  std::FILE* out = file.stream();
  for (size_t axis = 0; axis < 3; ++axis) {
    if (axis > 0) std::fputc(separator, out);
    std::fputs(axisNames[axis].data(), out);
  }
  std::fputc('\n', out);
  const Matrix& positions = model.mesh.vertices;
  for (int v = 0; v < positions.cols(); ++v) {
    for (int axis = 0; axis < 3; ++axis) {
      if (axis > 0) std::fputc(separator, out);
      detail::putFloat(out, positions(axis, v));
    }
    std::fputc('\n', out);
  }
  return file.commit();
}

}  // namespace cagewarp
