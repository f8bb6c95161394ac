// Binary array loader: any bytes give an array or an empty result with a reason, never a crash;
// an array it returns has a shape that accounts for every element.
#include <cstdint>

#include "formats/array_file.h"
#include "tests/fuzz/fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace cagewarp;
  static const fuzzing::InputFile input(".tab");
  const LoadedArray<float> loaded = loadArray<float>(input.hold(data, size));
  const NdArray<float>& floats = loaded.array;
  fuzzing::require(loaded.status.ok || floats.isEmpty(), "a failed read returns no array");
  if (!floats.isEmpty()) {
    int64_t count = 1;
    for (int d = 0; d < floats.n(); ++d) count *= floats.size(d);
    fuzzing::require(count == floats.count(), "the shape accounts for every element");
    fuzzing::require(static_cast<size_t>(4 + 4 * floats.n() + 4 * count) <= size,
                     "every element came from the file");
  }
  const LoadedArray<int32_t> ints = loadArray<int32_t>(input.path());
  fuzzing::require(ints.status.ok == loaded.status.ok && ints.array.count() == floats.count(),
                   "both element types read the same shape");
  return 0;
}
