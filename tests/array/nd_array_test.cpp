#include "array/nd_array.h"

#include <gtest/gtest.h>

namespace cagewarp {
namespace {

TEST(NdArray, NextWrapsToTheStart) {
  IntArray a = IntArray::fromValues({5, 6, 7});
  EXPECT_EQ(a.next(), 5);
  EXPECT_EQ(a.next(), 6);
  EXPECT_EQ(a.next(), 7);
  EXPECT_EQ(a.next(), 5);
  EXPECT_EQ(a.cursor(), 1);
}

}  // namespace
}  // namespace cagewarp
