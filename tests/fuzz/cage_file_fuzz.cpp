// Cage readers (gmsh, VTK, TetGen, Medit; the first byte picks one, the rest is the file, and
// for TetGen the part before the first zero byte is the .node file and the rest the .ele): no
// input may crash them, an accepted cage names only its own vertices, and written out and read
// back it has the same cells and positions.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string_view>

#include "formats/cage_file.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace cagewarp;
  static const fuzzing::InputFile inputs[] = {
      fuzzing::InputFile(".msh"), fuzzing::InputFile(".vtk"), fuzzing::InputFile(".ele"),
      fuzzing::InputFile(".mesh")};
  static const fuzzing::InputFile nodes(".node");
  static const fuzzing::InputFile outputs[] = {fuzzing::InputFile(".out.msh"),
                                               fuzzing::InputFile(".out.vtk"),
                                               fuzzing::InputFile(".out.mesh")};
  if (size == 0) return 0;
  const int format = data[0] % 4;
  std::string_view file(reinterpret_cast<const char*>(data + 1), size - 1);
  if (format == 2) {
    const size_t split = std::min(file.find('\0'), file.size());
    nodes.hold(file.substr(0, split));
    file.remove_prefix(std::min(split + 1, file.size()));
  }
  Mesh cage(3);
  Warnings warnings;
  if (!readCage(inputs[format].hold(file), cage, warnings).ok) return 0;
  fuzzing::require(fuzzing::indicesInRange(cage), "cells name only the cage's vertices");
  // A mesh text file may hold no vertices at all, and then no positions to write.
  if (cage.vertexColumns() == 0) return 0;
  fuzzing::require(cage.vertexRows() >= cage.xyzRow + 3, "a cage has x, y, z rows");
  // Octahedra are written as tetrahedra, so only cages without them read back cell for cell.
  if (cage.cellCount(octahedronType) > 0) return 0;
  // Written in the next format round, so every writer sees every reader's cages.
  const fuzzing::InputFile& output = outputs[data[0] / 4 % 3];
  fuzzing::require(writeCage(cage, output.path()).ok, "an accepted cage can be written");
  Mesh again(3);
  warnings.clear();
  fuzzing::require(readCage(output.path(), again, warnings).ok, "a written cage reads back");
  // Our text format keeps inverted cells as they are; the other readers mirror them (with a
  // warning), so only then may a cell come back in another vertex order.
  for (int t = 0; t < cellTypeCount; ++t) {
    fuzzing::require(cage.cellCount(t) == again.cellCount(t),
                     "a written cage reads back with as many cells of each type");
    fuzzing::require(cage.cells[t] == again.cells[t] || cage.cellCount(t) == 0 || !warnings.empty(),
                     "a written cage reads back with the same cells");
  }
  fuzzing::require(again.vertexColumns() == cage.vertexColumns(),
                   "a written cage keeps its vertex count");
  for (int v = 0; v < cage.vertexColumns(); ++v)
    for (int axis = 0; axis < 3; ++axis) {
      const float before = cage.vertices(cage.xyzRow + axis, v);
      const float after = again.vertices(again.xyzRow + axis, v);
      fuzzing::require(after == before || (std::isnan(after) && std::isnan(before)),
                       "a written cage reads back with the same positions");
    }
  return 0;
}
