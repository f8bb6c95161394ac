#pragma once

#include <cstdint>
#include <fstream>
#include <string>
#include <type_traits>

#include "array/nd_array.h"

namespace cagewarp::testing {

// Writes `array` as a binary array file, for tests that bring their own tables.
template <typename T>
void writeBinaryArray(const NdArray<T>& array, const std::string& path) {
  static_assert(sizeof(T) == 4);
  std::ofstream out(path, std::ios::binary);
  const int32_t n = array.n();
  out.write(reinterpret_cast<const char*>(&n), 4);
  for (int d = 0; d < n; ++d) {
    const int32_t s = array.size(d);
    out.write(reinterpret_cast<const char*>(&s), 4);
  }
  out.write(reinterpret_cast<const char*>(array.data()),
            4 * static_cast<std::streamsize>(array.count()));
}

}  // namespace cagewarp::testing
