#include "array/nd_array.h"

#include <gtest/gtest.h>

#include <functional>
#include <limits>
#include <new>
#include <random>
#include <utility>
#include <vector>

#include "array/matrix.h"

namespace cagewarp {
namespace {

std::vector<int> elements(const IntArray& a) {
  return {a.data(), a.data() + a.count()};
}
std::vector<float> elements(const FloatArray& a) {
  return {a.data(), a.data() + a.count()};
}

TEST(NdArray, EmptyArrayHasNoShapeAndCopiesAsEmpty) {
  IntArray empty;
  EXPECT_TRUE(empty.isEmpty());
  EXPECT_EQ(empty.count(), 0);
  IntArray copy(empty);
  EXPECT_TRUE(copy.isEmpty());
  IntArray assigned = IntArray::fromValues({1, 2});
  assigned = empty;
  EXPECT_TRUE(assigned.isEmpty());
  // A matrix with no columns is not empty: it has a shape.
  IntMatrix noColumns(3, 0);
  EXPECT_FALSE(noColumns.isEmpty());
  EXPECT_EQ(noColumns.rows(), 3);
  EXPECT_EQ(noColumns.cols(), 0);
}

TEST(NdArray, NextWrapsAndPushAdvances) {
  IntArray a = IntArray::fromValues({5, 6, 7});
  EXPECT_EQ(a.next(), 5);
  EXPECT_EQ(a.next(), 6);
  EXPECT_EQ(a.next(), 7);
  EXPECT_EQ(a.next(), 5);
  EXPECT_EQ(a.cursor(), 1);
  EXPECT_EQ(a.next(), 6);
  IntArray b({3}, 0);
  b.push(4);
  b.push(9);
  EXPECT_EQ(elements(b), (std::vector<int>{4, 9, 0}));
  // Copies carry the cursor.
  IntArray c(b);
  EXPECT_EQ(c.cursor(), 2);
}

TEST(NdArray, AppendColsRowsAndResizeKeepPlaces) {
  Matrix a(3, 2, "fill");
  Matrix b(3, 4, "ones");
  a.appendCols(b);
  ASSERT_EQ(a.rows(), 3);
  ASSERT_EQ(a.cols(), 6);
  for (int c = 2; c < 6; ++c)
    for (int r = 0; r < 3; ++r) EXPECT_EQ(a(r, c), 1.0f);
  EXPECT_EQ(a(2, 1), 5.0f);

  Matrix top(2, 3, "fill");
  Matrix bottom(1, 3, "ones");
  top.appendRows(bottom);
  ASSERT_EQ(top.rows(), 3);
  for (int c = 0; c < 3; ++c) {
    EXPECT_EQ(top(0, c), 2.0f * c);
    EXPECT_EQ(top(1, c), 2.0f * c + 1);
    EXPECT_EQ(top(2, c), 1.0f);
  }

  Matrix m(3, 2, "fill");
  m.resizeRows(5);
  ASSERT_EQ(m.rows(), 5);
  for (int c = 0; c < 2; ++c) {
    for (int r = 0; r < 3; ++r) EXPECT_EQ(m(r, c), 3.0f * c + r);
    for (int r = 3; r < 5; ++r) EXPECT_EQ(m(r, c), 0.0f);
  }
}

// Sizes that an int cannot count fail like an allocation, before anything is allocated; the
// arrays here have no elements, so the test itself needs no memory.
TEST(NdArray, SizesPastTheIntRangeFailAsOutOfMemory) {
  constexpr int most = std::numeric_limits<int>::max();
  const std::vector<std::pair<const char*, std::function<void()>>> cases = {
      {"an identity for 50,000 vertices", [] { Matrix(50000, 50000, "eye"); }},
      {"columns whose product overflows",
       [] {
         IntArray({0, 65536, 65536}, 0);
       }},
      {"rows appended past the range",
       [] {
         IntArray a({most, 0}, 0);
         a.appendRows(IntArray({1, 0}, 0));
       }},
      {"columns appended past the range",
       [] {
         IntArray a({0, most}, 0);
         a.appendCols(IntArray({0, 1}, 0));
       }},
      {"rows grown past the range",
       [] {
         IntArray a({1, 3}, 0);
         a.resizeRows(most);
       }},
  };
  for (const auto& [what, build] : cases) EXPECT_THROW(build(), std::bad_alloc) << what;
}

TEST(NdArray, ArgMinRotateFindAndIndexOf) {
  IntArray a = IntArray::fromValues({4, 1, 7, 1});
  int index = -1;
  EXPECT_EQ(a.argMin(index), 1);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(a.argMax(index), 7);
  EXPECT_EQ(index, 2);
  EXPECT_TRUE(a.indexOf(1, index));
  EXPECT_EQ(index, 1);
  EXPECT_FALSE(a.indexOf(9, index));

  IntArray r = IntArray::fromValues({10, 11, 12, 13, 14});
  r.rotate(2);
  EXPECT_EQ(elements(r), (std::vector<int>{12, 13, 14, 10, 11}));

  FloatArray f = FloatArray::fromValues({0.0f, 2.5f, 0.0f, -1.0f});
  EXPECT_EQ(elements(f.find()), (std::vector<int>{1, 3}));
  EXPECT_FALSE(f.allNonZero());
  FloatArray zeros({3}, 0.0f);
  IntArray none = zeros.find();
  EXPECT_FALSE(none.isEmpty());
  EXPECT_EQ(none.count(), 0);
  EXPECT_TRUE(FloatArray({0}, 0.0f).allNonZero());
}

TEST(NdArray, SortWithIndexReturnsFormerPositions) {
  FloatArray a = FloatArray::fromValues({3.0f, 1.0f, 2.0f});
  IntArray p = a.sortWithIndex();
  EXPECT_EQ(elements(a), (std::vector<float>{1, 2, 3}));
  EXPECT_EQ(elements(p), (std::vector<int>{1, 2, 0}));
  FloatArray none({0}, 0.0f);
  EXPECT_EQ(none.sortWithIndex().count(), 0);
}

// The fast path (no equal keys) must give the permutation of the reference quicksort, and
// equal keys must be ordered exactly as that quicksort orders them, on any threads; large arrays
// are sorted in parts on the threads.
TEST(NdArray, SortWithIndexMatchesTheReferenceQuicksortOnTies) {
  std::mt19937 random(7);
  for (int trial = 0; trial < 224; ++trial) {
    const bool large = trial >= 200;
    const int count = 1 + static_cast<int>(random() % (large ? 100'000 : 60));
    const int spread = trial % 2 ? 1000000 : 5;  // distinct keys, or many ties
    const int threads = large ? 1 + trial % 7 : 1;
    FloatArray keys({count}, 0.0f);
    for (int i = 0; i < count; ++i) keys[i] = static_cast<float>(random() % spread);
    FloatArray reference(keys);
    std::vector<int> referencePermutation(count);
    for (int i = 0; i < count; ++i) referencePermutation[i] = i;
    detail::quicksortRanges(reference.data(), referencePermutation.data(), {{0, count - 1}}, 0);
    IntArray p = keys.sortWithIndex(threads);
    EXPECT_EQ(elements(keys), elements(reference)) << count << " keys, " << threads << " threads";
    EXPECT_EQ(elements(p), referencePermutation) << count << " keys, " << threads << " threads";
  }
}

TEST(NdArray, SortUniqueKeepsOneOfEach) {
  IntArray a = IntArray::fromValues({5, 3, 5, 1, 3});
  a.sortUnique();
  EXPECT_EQ(elements(a), (std::vector<int>{1, 3, 5}));
  EXPECT_EQ(a.size(0), 3);
}

TEST(NdArray, SelectColumnsCopiesTheListedColumns) {
  Matrix m(2, 4, "fill");
  Matrix picked(m.selectColumns(IntArray::fromValues({3, 0})));
  ASSERT_EQ(picked.cols(), 2);
  EXPECT_EQ(picked(0, 0), 6.0f);
  EXPECT_EQ(picked(1, 0), 7.0f);
  EXPECT_EQ(picked(0, 1), 0.0f);
  Matrix none(m.selectColumns(IntArray({0}, 0)));
  EXPECT_EQ(none.rows(), 2);
  EXPECT_EQ(none.cols(), 0);
}

TEST(NdArray, SelfAssignmentAndDeepCopies) {
  IntArray a = IntArray::fromValues({1, 2, 3});
  IntArray& alias = a;
  a = alias;
  EXPECT_EQ(elements(a), (std::vector<int>{1, 2, 3}));
  IntArray b(a);
  b[0] = 9;
  EXPECT_EQ(a[0], 1);
  a *= 3;
  EXPECT_EQ(elements(a), (std::vector<int>{3, 6, 9}));
}

}  // namespace
}  // namespace cagewarp
