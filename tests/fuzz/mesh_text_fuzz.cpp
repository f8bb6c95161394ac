// Mesh text reader: no input may crash it, and a mesh it accepts must survive a write and a
// second read: the same cells, and vertex values whose six-digit text is written again unchanged.
// Read with vertex records shared out among threads, every input gives the same mesh or message.
#include <cstring>

#include "formats/mesh_text.h"
#include "tests/fuzz/fuzz_input.h"

namespace {

template <typename T>
bool sameBits(const cagewarp::NdArray<T>& a, const cagewarp::NdArray<T>& b) {
  return a.sameShape(b) &&
         (a.count() == 0 || std::memcmp(a.data(), b.data(), sizeof(T) * a.count()) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace cagewarp;
  static const fuzzing::InputFile input(".txt");
  static const fuzzing::InputFile written(".out.txt");
  Mesh mesh;
  const Status status = readText(mesh, input.hold(data, size));
  Mesh shared;
  const Status sharedStatus = detail::readText(shared, input.path(), 3, 1);
  fuzzing::require(sharedStatus.message == status.message, "threads give the same message");
  if (!status.ok) return 0;
  for (int t = 0; t < cellTypeCount; ++t)
    fuzzing::require(sameBits(mesh.cells[t], shared.cells[t]), "threads give the same cells");
  fuzzing::require(sameBits(mesh.vertices, shared.vertices), "threads give the same vertices");
  if (!writeText(mesh, written.path()).ok) return 0;
  Mesh again;
  fuzzing::require(readText(again, written.path()).ok, "a written mesh reads back");
  for (int t = 0; t < cellTypeCount; ++t)
    fuzzing::require(sameBits(mesh.cells[t], again.cells[t]), "cells survive a round trip");
  fuzzing::require(mesh.vertices.sameShape(again.vertices), "the vertex matrix keeps its shape");
  const std::string firstText = fuzzing::contentOf(written.path());
  fuzzing::require(writeText(again, written.path()).ok, "a mesh read back can be written");
  fuzzing::require(fuzzing::contentOf(written.path()) == firstText,
                   "writing what was read back gives the same text");
  return 0;
}
