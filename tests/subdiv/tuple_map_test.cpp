#include "subdiv/tuple_map.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace cagewarp {
namespace {

IntArray key(std::initializer_list<int> elements) {
  return IntArray::fromValues(elements);
}

// The keys of a whole walk of the bucket, each as its first element (tests use distinct ones).
std::vector<int> walk(TupleIndexMap& map, int bucket) {
  std::vector<int> firsts;
  IntArray k;
  int value = 0;
  while (map.nextInBucket(bucket, k, value)) firsts.push_back(k[0]);
  return firsts;
}

// One bucket holding A = (1, 0), B = (2, 0), C = (3, 0) under a sum hash with modulus 1.
struct ThreeInOneBucket {
  TupleIndexMap map{1, tupleSumHash(1)};
  ThreeInOneBucket() {
    for (int v : {1, 2, 3}) {
      int value = 10 * v;
      map.insertIfAbsent(key({v, 0}), value);
    }
  }
  // Leaves the walk's cursor on the entry whose first element is `first`.
  void walkTo(int first) {
    IntArray k;
    int value = 0;
    do ASSERT_TRUE(map.nextInBucket(0, k, value));
    while (k[0] != first);
  }
  int next() {
    IntArray k;
    int value = 0;
    return map.nextInBucket(0, k, value) ? k[0] : -1;
  }
};

TEST(TupleMap, InsertLookupAndAssign) {
  TupleIndexMap map(4, firstElementHash);
  int value = 7;
  EXPECT_TRUE(map.insertIfAbsent(key({1, 2}), value));
  value = 8;
  EXPECT_FALSE(map.insertIfAbsent(key({1, 2}), value));
  EXPECT_EQ(value, 7);
  EXPECT_EQ(map.entryCount(), 1);

  // Same elements in another order, or another length, are other keys.
  EXPECT_FALSE(map.lookup(key({2, 1}), value));
  EXPECT_FALSE(map.lookup(key({1, 2, 0}), value));
  value = -1;
  EXPECT_FALSE(map.lookup(key({1}), value));
  EXPECT_EQ(value, -1);

  int other = 9;
  map.insertIfAbsent(key({1, 5}), other);
  EXPECT_FALSE(map.insertOrAssign(key({1, 2}), 3));
  EXPECT_TRUE(map.lookup(key({1, 2}), value));
  EXPECT_EQ(value, 3);
  EXPECT_EQ(map.entryCount(), 2);
  // The assigned entry keeps its place in the bucket.
  IntArray k;
  ASSERT_TRUE(map.nextInBucket(1, k, value));
  EXPECT_EQ(k, key({1, 2}));
  EXPECT_EQ(value, 3);
  EXPECT_TRUE(map.insertOrAssign(key({5, 1}), 4));
  EXPECT_EQ(map.entryCount(), 3);
}

TEST(TupleMap, HashesChooseTheBucket) {
  TupleIndexMap byFirst(3, firstElementHash);
  EXPECT_EQ(byFirst.bucketOf(key({2, 9, 9})), 2);
  EXPECT_EQ(byFirst.bucketOf(key({4, 0})), 1);
  TupleIndexMap bySum(5, tupleSumHash(7));
  EXPECT_EQ(bySum.bucketOf(key({1, 2})), bySum.bucketOf(key({2, 1})));
  EXPECT_EQ(bySum.bucketOf(key({4, 5})), 2);  // 9 mod 7
  int a = 1;
  int b = 2;
  EXPECT_TRUE(bySum.insertIfAbsent(key({1, 2}), a));
  EXPECT_TRUE(bySum.insertIfAbsent(key({2, 1}), b));
  EXPECT_TRUE(bySum.lookup(key({2, 1}), a));
  EXPECT_EQ(a, 2);

  // The mixing hash spreads the pairs of a range, which share few sums, over the buckets.
  TupleIndexMap mixed(2000, [](const IntArray& k) { return mixedHash(k.data(), k.count()); });
  std::vector<int> load(2000, 0);
  for (int i = 0; i < 60; ++i)
    for (int j = i + 1; j < 60; ++j) ++load[mixed.bucketOf(key({i, j}))];
  EXPECT_LE(*std::max_element(load.begin(), load.end()), 6);
  EXPECT_NE(mixed.bucketOf(key({1, 2})), mixed.bucketOf(key({2, 1})));
}

TEST(TupleMap, WalksKeepInsertionOrderAndRestart) {
  ThreeInOneBucket s;
  TupleIndexMap::View view{};
  std::vector<int> seen;
  while (s.map.nextInBucket(0, view)) seen.push_back(view.key[0] * 100 + *view.value);
  EXPECT_EQ(seen, (std::vector<int>{110, 220, 330}));
  EXPECT_EQ(walk(s.map, 0), (std::vector<int>{1, 2, 3}));
}

TEST(TupleMap, SearchesStartAfterTheCursorAndLeaveItAtTheHead) {
  ThreeInOneBucket s;
  EXPECT_TRUE(s.map.cursorsAtHead());
  s.walkTo(2);
  int value = 0;
  EXPECT_FALSE(s.map.lookup(key({1, 0}), value));
  EXPECT_EQ(s.next(), 1);

  s.walkTo(2);
  EXPECT_NE(s.map.find(key({3, 0})), nullptr);
  EXPECT_EQ(s.next(), 1);

  // A peek searches from the same place but leaves the walk where it was; only a walk run to its
  // end (or restarted by a search) leaves every cursor at its head.
  s.walkTo(2);
  EXPECT_FALSE(s.map.cursorsAtHead());
  EXPECT_EQ(s.map.peek(key({1, 0})), nullptr);
  ASSERT_NE(s.map.peek(key({3, 0})), nullptr);
  EXPECT_EQ(*s.map.peek(key({3, 0})), 30);
  EXPECT_EQ(s.next(), 3);
  EXPECT_EQ(s.next(), -1);
  EXPECT_TRUE(s.map.cursorsAtHead());

  // An insertion into the walked bucket sends the walk back to its first entry.
  s.walkTo(2);
  value = 40;
  EXPECT_TRUE(s.map.insertIfAbsent(key({4, 0}), value));
  EXPECT_EQ(walk(s.map, 0), (std::vector<int>{1, 2, 3, 4}));
}

TEST(TupleMap, EraseKeepsAWalkGoing) {
  ThreeInOneBucket s;
  s.walkTo(2);
  EXPECT_TRUE(s.map.erase(key({3, 0})));
  EXPECT_EQ(s.next(), -1);
  EXPECT_EQ(s.map.entryCount(), 2);

  ThreeInOneBucket t;
  t.walkTo(2);
  EXPECT_TRUE(t.map.erase(key({1, 0})));
  EXPECT_EQ(t.next(), 3);

  // Erasing the entry the walk stands on: the walk goes on with the entry after it.
  ThreeInOneBucket u;
  u.walkTo(2);
  EXPECT_TRUE(u.map.erase(key({2, 0})));
  EXPECT_EQ(u.next(), 3);
  EXPECT_EQ(u.next(), -1);
  EXPECT_EQ(walk(u.map, 0), (std::vector<int>{1, 3}));
  u.walkTo(1);
  EXPECT_TRUE(u.map.erase(key({1, 0})));
  EXPECT_EQ(u.next(), 3);
  EXPECT_FALSE(u.map.erase(key({1, 0})));
}

TEST(TupleMap, EraseOfTheOnlyEntryEmptiesTheBucket) {
  TupleIndexMap map(2, firstElementHash);
  int value = 5;
  map.insertIfAbsent(key({1, 1}), value);
  EXPECT_TRUE(map.erase(key({1, 1})));
  EXPECT_EQ(map.entryCount(), 0);
  EXPECT_TRUE(walk(map, 1).empty());
  EXPECT_TRUE(map.insertIfAbsent(key({1, 1}), value));
  EXPECT_EQ(walk(map, 1), (std::vector<int>{1}));
}

TEST(TupleMap, RemoveAtCursor) {
  ThreeInOneBucket s;
  s.map.removeAtCursor(0);  // at the head: nothing to remove
  EXPECT_EQ(walk(s.map, 0), (std::vector<int>{1, 2, 3}));

  s.walkTo(2);
  s.map.removeAtCursor(0);
  EXPECT_EQ(s.next(), 3);
  EXPECT_EQ(s.next(), -1);
  EXPECT_EQ(s.map.entryCount(), 3);  // the count is not changed by this removal
  int value = 0;
  EXPECT_FALSE(s.map.lookup(key({2, 0}), value));

  // Removing the first and the last entry keeps the list usable at both ends.
  s.walkTo(1);
  s.map.removeAtCursor(0);
  EXPECT_EQ(s.next(), 3);
  s.map.removeAtCursor(0);
  EXPECT_EQ(s.next(), -1);
  value = 5;
  EXPECT_TRUE(s.map.insertIfAbsent(key({5, 0}), value));
  EXPECT_EQ(walk(s.map, 0), (std::vector<int>{5}));
}

// Many entries over a few buckets, erased and added again, against a list per bucket: the walks
// keep insertion order, values keep their places while others come and go, and freed slots serve
// new entries.
TEST(TupleMap, ManyEntriesKeepOrderAndPlaces) {
  constexpr int buckets = 3;
  TupleIndexMap map(buckets, firstElementHash);
  std::vector<std::vector<int>> model(buckets);
  auto add = [&](int first) {
    int value = first * 2;
    ASSERT_TRUE(map.insertIfAbsent(key({first, 7}), value));
    model[first % buckets].push_back(first);
  };
  for (int v = 0; v < 10000; ++v) add(v);
  const int* kept = map.find(key({9998, 7}));
  for (int v = 0; v < 10000; v += 3) {
    ASSERT_TRUE(map.erase(key({v, 7})));
    std::erase(model[v % buckets], v);
  }
  for (int v = 10000; v < 13000; ++v) add(v);
  EXPECT_EQ(map.entryCount(), 13000 - 3334);
  EXPECT_EQ(map.find(key({9998, 7})), kept);
  EXPECT_EQ(*kept, 19996);
  for (int b = 0; b < buckets; ++b) EXPECT_EQ(walk(map, b), model[b]) << "bucket " << b;
  bool inserted = true;
  int* present = map.insertIfAbsent(key({12999, 7}), 5, inserted);
  EXPECT_FALSE(inserted);
  EXPECT_EQ(*present, 25998);
  *map.insertIfAbsent(key({13000, 7}), 0, inserted) = 6;
  EXPECT_TRUE(inserted);
  EXPECT_EQ(*map.find(key({13000, 7})), 6);
}

TEST(TupleMap, VectorValuesAreCopies) {
  TupleMap<Matrix> map(2, firstElementHash);
  Matrix column(3, 1, "fill");
  map.insertIfAbsent(key({0, 4}), column);
  column[0] = 100.0f;
  Matrix stored;
  ASSERT_TRUE(map.lookup(key({0, 4}), stored));
  EXPECT_EQ(stored, Matrix(3, 1, "fill"));
  stored[1] = 50.0f;
  const Matrix* found = map.find(key({0, 4}));
  ASSERT_NE(found, nullptr);
  EXPECT_EQ((*found)[1], 1.0f);
}

// Tuples of the lengths a split names nodes by, enough to make every table grow several times:
// each is found with its first value, a repeat keeps that value, and a tuple that differs in one
// element is absent.
TEST(TupleIndexTable, FindsWhatWasStoredFirstAcrossGrowth) {
  TupleIndexTable table;
  auto tuple = [](int length, int i) {
    std::vector<int> t(static_cast<size_t>(length));
    for (int e = 0; e < length; ++e) t[e] = i * 7 + e * (i % 5 + 1);
    return t;
  };
  const int count = 5000;
  for (int length : {2, 6, 8}) {
    for (int i = 0; i < count; ++i) {
      int value = length * count + i;
      ASSERT_TRUE(table.insertIfAbsent(tuple(length, i).data(), length, value));
    }
  }
  for (int length : {2, 6, 8}) {
    for (int i = 0; i < count; ++i) {
      std::vector<int> t = tuple(length, i);
      int repeat = 0;
      EXPECT_FALSE(table.insertIfAbsent(t.data(), length, repeat));
      EXPECT_EQ(repeat, length * count + i);
      const int* found = table.find(t.data(), length);
      ASSERT_NE(found, nullptr);
      EXPECT_EQ(*found, length * count + i);
      t.back() = -1;
      EXPECT_EQ(table.find(t.data(), length), nullptr);
    }
  }
}

}  // namespace
}  // namespace cagewarp
