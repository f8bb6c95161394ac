// Model readers (OBJ, OFF, PLY, STL, XYZ, CSV; the first byte picks one, the rest is the file): no
// input may crash them and a model they accept names only its own vertices. What a user relies on
// holds for every accepted file: written back at rest (no vertex given, or every vertex at its
// own position) it is the file it was read from, byte for byte; bound to a box around it and the
// box translated, every vertex moves by the translation (to float rounding) and no other byte
// changes; with one vertex moved (and the normals of its faces recomputed) it still reads.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "driver/binding.h"
#include "driver/pose.h"
#include "formats/model_file.h"
#include "formats/table_files.h"
#include "mesh/cell_type.h"
#include "tests/fuzz/fuzz_input.h"
#include "tests/support/model_bytes.h"

namespace {

using namespace cagewarp;

// Binds the model to one hexahedron around it, moves that by a translation and checks the copy
// written for it. Models with coordinates past +-1e6 or not finite are passed over: the
// tolerance is relative to the box.
void requireTranslationMovesOnlyPositions(const ModelFile& model, const std::string& outPath) {
  const Matrix& rest = model.mesh.vertices;
  float low[3] = {0, 0, 0}, high[3] = {0, 0, 0};
  for (int v = 0; v < rest.cols(); ++v)
    for (int a = 0; a < 3; ++a) {
      const float x = rest(a, v);
      if (!std::isfinite(x) || std::fabs(x) > 1e6f) return;
      low[a] = v == 0 ? x : std::min(low[a], x);
      high[a] = v == 0 ? x : std::max(high[a], x);
    }
  float size = 1;
  for (int a = 0; a < 3; ++a) size = std::max(size, high[a] - low[a]);
  Mesh box(3);
  box.vertices = Matrix(3, 8);
  for (int corner = 0; corner < 8; ++corner) {
    // Corners 0-3 counter-clockwise at the bottom, 4-7 above them.
    const bool right = corner % 4 == 1 || corner % 4 == 2, back = corner % 4 >= 2;
    const bool top = corner >= 4;
    box.vertices(0, corner) = right ? high[0] + size / 4 : low[0] - size / 4;
    box.vertices(1, corner) = back ? high[1] + size / 4 : low[1] - size / 4;
    box.vertices(2, corner) = top ? high[2] + size / 4 : low[2] - size / 4;
  }
  box.cells[hexahedronType] = IntArray({8, 1}, 0);
  for (int corner = 0; corner < 8; ++corner) box.cells[hexahedronType][corner] = corner;

  static const LookupTables tables = [] {
    Warnings warnings;
    return loadLookupTables(CAGEWARP_TAB_DIR, warnings);
  }();
  BindingOptions options;
  options.threads = 1;
  Binding binding;
  fuzzing::require(bindModel(box, model.mesh, tables, options, binding).ok,
                   "a model binds to a box around it");
  const float shift[3] = {0.75f * size, -1.5f * size, 0.25f * size};
  Matrix moved = box.vertices;
  for (int corner = 0; corner < 8; ++corner)
    for (int a = 0; a < 3; ++a) moved(a, corner) += shift[a];
  fuzzing::require(writeDeformedCopy(binding.relation, model.mesh, model, moved, outPath, true).ok,
                   "a model translated with its box can be written");
  ModelFile again;
  fuzzing::require(readModelFile(outPath, again).ok, "a translated model reads back");
  // STL merges corners by position, so corners that the translation's rounding brings together
  // read back as one vertex: the coordinates are compared where they stand in the file.
  fuzzing::require(
      again.sites.size() == model.sites.size() &&
          (model.format == FileFormat::stl || again.mesh.vertexColumns() == rest.cols()),
      "a translated model keeps its vertices");
  fuzzing::require(testing::withoutCoordinates(again) == testing::withoutCoordinates(model),
                   "translating a model changes only its positions' bytes");
  const IntArray& enclosed = binding.relation.enclosedIndices;
  fuzzing::require(enclosed.count() == rest.cols(), "a box around the model encloses every vertex");
  const float tolerance =
      1e-4f * (2 * size + std::max({std::fabs(low[0]), std::fabs(low[1]), std::fabs(low[2]),
                                    std::fabs(high[0]), std::fabs(high[1]), std::fabs(high[2])}));
  auto after = again.sites.begin();
  for (const CoordinateSite& site : model.sites) {
    const CoordinateSite there = *after++;
    fuzzing::require(there.axis == site.axis &&
                         std::fabs(again.mesh.vertices(there.axis, there.vertex) -
                                   (rest(site.axis, site.vertex) + shift[site.axis])) <= tolerance,
                     "every coordinate moves by the box's translation");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const fuzzing::InputFile inputs[] = {
      fuzzing::InputFile(".obj"), fuzzing::InputFile(".off"), fuzzing::InputFile(".ply"),
      fuzzing::InputFile(".stl"), fuzzing::InputFile(".xyz"), fuzzing::InputFile(".csv")};
  static const fuzzing::InputFile outputs[] = {
      fuzzing::InputFile(".out.obj"), fuzzing::InputFile(".out.off"),
      fuzzing::InputFile(".out.ply"), fuzzing::InputFile(".out.stl"),
      fuzzing::InputFile(".out.xyz"), fuzzing::InputFile(".out.csv")};
  if (size == 0) return 0;
  const int format = data[0] % 6;
  ModelFile model;
  if (!readModelFile(inputs[format].hold(data + 1, size - 1), model).ok) return 0;
  const Mesh& mesh = model.mesh;
  const std::string& out = outputs[format].path();
  fuzzing::require(mesh.vertexRows() == 3 && mesh.xyzRow == 0, "a model has x, y, z rows");
  fuzzing::require(fuzzing::indicesInRange(mesh), "faces name only the model's vertices");
  fuzzing::require(model.text() == std::string(reinterpret_cast<const char*>(data + 1), size - 1),
                   "the model keeps the bytes it was read from");
  fuzzing::require(writeDeformedModel(model, IntArray({0}, 0), Matrix(3, 0), out).ok,
                   "an accepted model can be written back");
  fuzzing::require(fuzzing::contentOf(out) == model.text(),
                   "a model written back unmoved is the file it was read from");
  if (mesh.vertexColumns() == 0) return 0;
  IntArray every({mesh.vertexColumns()}, 0);
  for (int v = 0; v < mesh.vertexColumns(); ++v) every[v] = v;
  fuzzing::require(writeDeformedModel(model, every, mesh.vertices, out).ok &&
                       fuzzing::contentOf(out) == model.text(),
                   "a model written with every vertex at rest is the file it was read from");
  requireTranslationMovesOnlyPositions(model, out);
  // Moving the first vertex recomputes the normals of its faces; the file must still read.
  Matrix moved(3, 1);
  for (int axis = 0; axis < 3; ++axis) moved(axis, 0) = mesh.vertices(axis, 0) + 0.5f;
  fuzzing::require(writeDeformedModel(model, IntArray::fromValues({0}), moved, out).ok,
                   "an accepted model can be written with a vertex moved");
  ModelFile again;
  fuzzing::require(readModelFile(out, again).ok, "a model written with a vertex moved reads back");
  return 0;
}
