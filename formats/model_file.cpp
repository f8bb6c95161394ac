#include "formats/model_file.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "formats/atomic_file.h"
#include "formats/cage_file.h"
#include "formats/file_handle.h"
#include "formats/model_geometry.h"
#include "formats/model_reading.h"
#include "formats/number_format.h"

namespace cagewarp {
namespace {

template <typename T>
void putBinary(std::FILE* out, T value, bool bigEndian) {
  unsigned char bytes[sizeof(T)];
  std::memcpy(bytes, &value, sizeof(T));
  if (bigEndian != (std::endian::native == std::endian::big)) {
    for (size_t k = 0; k < sizeof(T) / 2; ++k) std::swap(bytes[k], bytes[sizeof(T) - 1 - k]);
  }
  std::fwrite(bytes, 1, sizeof(T), out);
}

void putCoordinate(std::FILE* out, float value, CoordinateEncoding encoding) {
  switch (encoding) {
    case CoordinateEncoding::text: {
      char text[maxShortestText];
      std::fwrite(text, 1, static_cast<size_t>(formatFloatShortest(text, value) - text), out);
      return;
    }
    case CoordinateEncoding::float32Little:
      return putBinary(out, value, false);
    case CoordinateEncoding::float32Big:
      return putBinary(out, value, true);
    case CoordinateEncoding::float64Little:
      return putBinary(out, static_cast<double>(value), false);
    case CoordinateEncoding::float64Big:
      return putBinary(out, static_cast<double>(value), true);
  }
}

bool sameBits(float a, float b) {
  return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

// The normals to write after the vertices moved to `positions`: those used by a face with a
// moved corner, recomputed; 3 x normalCount, with a flag per normal that was.
Matrix recomputedNormals(const ModelFile& model, const Matrix& positions,
                         const std::vector<char>& movedVertex, std::vector<char>& recomputed) {
  std::vector<int32_t> keys(model.cornerNormals.size(), -1);
  recomputed.assign(static_cast<size_t>(model.normalCount), 0);
  for (size_t face = 0; face + 1 < model.faceStarts.size(); ++face) {
    const auto begin = static_cast<size_t>(model.faceStarts[face]);
    const auto end = static_cast<size_t>(model.faceStarts[face + 1]);
    bool moved = false;
    for (size_t c = begin; c < end && !moved; ++c)
      moved = movedVertex[static_cast<size_t>(model.faceCorners[c])] != 0;
    if (!moved) continue;
    for (size_t c = begin; c < end; ++c) {
      const int32_t normal = model.cornerNormals[c];
      if (normal >= 0) recomputed[static_cast<size_t>(normal)] = 1;
    }
  }
  // Every face of a recomputed normal counts, moved or not.
  for (size_t c = 0; c < keys.size(); ++c) {
    const int32_t normal = model.cornerNormals[c];
    if (normal >= 0 && recomputed[static_cast<size_t>(normal)]) keys[c] = normal;
  }
  return cornerNormals(positions, model.faceStarts, model.faceCorners, keys, model.normalCount);
}

}  // namespace

Status readModelFile(const std::string& path, ModelFile& model) {
  model = ModelFile();
  const FormatEntry& format = formatEntryOf(path);
  model.format = format.format;
  if (!format.serves(FormatRole::model))
    return Status::failure(path + ": not a model format (.obj, .off, .ply, .stl, .xyz, .csv)");
  const Status read = readWholeFile(path, model.bytes);
  if (!read.ok) return read;
  return format.readModel(path, model);
}

Status readModelMesh(const std::string& path, ModelFile& source, Mesh& mesh, Warnings& warnings,
                     int threads) {
  if (!formatEntryOf(path).serves(FormatRole::model))
    return readCage(path, mesh, warnings, threads);
  if (Status status = readModelFile(path, source); !status.ok) return status;
  warnings.insert(warnings.end(), source.warnings.begin(), source.warnings.end());
  mesh = source.mesh;
  return Status::success();
}

Status writeDeformedModel(const ModelFile& model, const IntArray& movedIndices,
                          const Matrix& movedPositions, const std::string& path, bool keepNormals) {
  if (formatOfPath(path) != model.format)
    return Status::failure(path + ": a model is written in the format it was read in");
  const Matrix& vertices = model.mesh.vertices;
  const int moved = movedIndices.count();
  if (moved > 0 && (movedPositions.rows() != 3 || movedPositions.cols() != moved))
    return Status::failure(path + ": moved positions do not match the moved vertices");
  std::vector<int> movedColumn(static_cast<size_t>(vertices.cols()), -1);
  for (int j = 0; j < moved; ++j) {
    const int vertex = movedIndices[j];
    if (vertex < 0 || vertex >= vertices.cols())
      return Status::failure(path + ": moved vertex " + std::to_string(vertex) +
                             " is not in the model");
    movedColumn[static_cast<size_t>(vertex)] = j;
  }

  // A coordinate's new value, when it changes.
  const auto newPosition = [&](const CoordinateSite& site, float& value) {
    const int column = movedColumn[static_cast<size_t>(site.vertex)];
    if (column < 0) return false;
    value = movedPositions(site.axis, column);
    return !sameBits(value, vertices(site.axis, site.vertex));
  };
  // The moved positions first: the normals follow the faces they move.
  Matrix positions = vertices;
  std::vector<char> movedVertex(static_cast<size_t>(vertices.cols()), 0);
  bool anyMoved = false;
  for (const CoordinateSite& site : model.sites) {
    float value = 0.0f;
    if (!newPosition(site, value)) continue;
    positions(site.axis, site.vertex) = value;
    movedVertex[static_cast<size_t>(site.vertex)] = 1;
    anyMoved = true;
  }
  const bool normalsMove = !keepNormals && model.normalCount > 0 && anyMoved;
  std::vector<char> recomputed;
  const Matrix normals =
      normalsMove ? recomputedNormals(model, positions, movedVertex, recomputed) : Matrix();
  const auto newNormal = [&](const CoordinateSite& site, float& value) {
    if (!normalsMove || !recomputed[static_cast<size_t>(site.vertex)]) return false;
    value = normals(site.axis, site.vertex);
    const bool degenerate = normals(0, site.vertex) == 0.0f && normals(1, site.vertex) == 0.0f &&
                            normals(2, site.vertex) == 0.0f;
    return !degenerate &&
           !sameBits(value, model.normalValues[static_cast<size_t>(site.vertex) * 3 + site.axis]);
  };

  AtomicFile file(path);
  Status status = file.open();
  if (!status.ok) return status;
  std::FILE* out = file.stream();
  // The position and the normal sites are each in file order, so merged they give the changes in
  // file order without collecting them.
  int64_t written = 0;
  auto position = model.sites.begin();
  auto normal = model.normalSites.begin();
  while (position != model.sites.end() || normal != model.normalSites.end()) {
    const bool isPosition = normal == model.normalSites.end() ||
                            (position != model.sites.end() && position->offset < normal->offset);
    const CoordinateSite site = isPosition ? *position++ : *normal++;
    float value = 0.0f;
    if (!(isPosition ? newPosition(site, value) : newNormal(site, value))) continue;
    std::fwrite(model.bytes.data() + written, 1, static_cast<size_t>(site.offset - written), out);
    putCoordinate(out, value, site.encoding);
    written = site.offset + site.length;
  }
  std::fwrite(model.bytes.data() + written, 1, model.bytes.size() - static_cast<size_t>(written),
              out);
  return file.commit();
}

}  // namespace cagewarp
