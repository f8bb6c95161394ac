#pragma once

#include <gtest/gtest.h>

#include <string>

#include "array/nd_array.h"
#include "array/status.h"
#include "formats/array_file.h"

namespace cagewarp::testing {

// Writes `array` as a binary array file, for tests that bring their own tables.
template <typename T>
void writeBinaryArray(const NdArray<T>& array, const std::string& path) {
  const Status saved = saveBinaryArray(array, path);
  ASSERT_TRUE(saved.ok) << saved.message;
}

}  // namespace cagewarp::testing
