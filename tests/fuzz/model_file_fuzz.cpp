// Model readers (OBJ, OFF, PLY, STL, XYZ, CSV; the first byte picks one, the rest is the file): no
// input may crash them, a model they accept names only its own vertices, and written back with no
// vertex moved it is the file it was read from, byte for byte; with one moved it reads back.
#include <cstdint>
#include <string>

#include "formats/model_file.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace cagewarp;
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
  fuzzing::require(mesh.vertexRows() == 3 && mesh.xyzRow == 0, "a model has x, y, z rows");
  fuzzing::require(fuzzing::indicesInRange(mesh), "faces name only the model's vertices");
  fuzzing::require(model.bytes == std::string(reinterpret_cast<const char*>(data + 1), size - 1),
                   "the model keeps the bytes it was read from");
  const Status written =
      writeDeformedModel(model, IntArray({0}, 0), Matrix(3, 0), outputs[format].path());
  fuzzing::require(written.ok, "an accepted model can be written back");
  fuzzing::require(fuzzing::contentOf(outputs[format].path()) == model.bytes,
                   "a model written back unmoved is the file it was read from");
  // Moving the first vertex recomputes the normals of its faces; the file must still read.
  if (mesh.vertexColumns() == 0) return 0;
  Matrix moved(3, 1);
  for (int axis = 0; axis < 3; ++axis) moved(axis, 0) = mesh.vertices(axis, 0) + 0.5f;
  fuzzing::require(
      writeDeformedModel(model, IntArray::fromValues({0}), moved, outputs[format].path()).ok,
      "an accepted model can be written with a vertex moved");
  ModelFile again;
  fuzzing::require(readModelFile(outputs[format].path(), again).ok,
                   "a model written with a vertex moved reads back");
  return 0;
}
