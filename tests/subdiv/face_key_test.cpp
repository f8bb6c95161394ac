#include "subdiv/face_key.h"

#include <gtest/gtest.h>

namespace cagewarp {
namespace {

IntArray tuple(std::initializer_list<int> elements) {
  return IntArray::fromValues(elements);
}

TEST(FaceKey, TurnsTheSmallestVertexToTheFrontAndAppendsTheTag) {
  EXPECT_EQ(faceKey(tuple({7, 3, 5}), 3), tuple({3, 5, 7, 3}));
  EXPECT_EQ(faceKey(tuple({9, 4, 6, 2}), 4), tuple({2, 9, 4, 6, 4}));
  EXPECT_EQ(faceKey(tuple({8, 1}), 2), tuple({1, 8, 2}));
  EXPECT_EQ(faceKey(tuple({1, 8}), 2), tuple({1, 8, 2}));
  // A repeated smallest vertex: its first occurrence leads.
  EXPECT_EQ(faceKey(tuple({5, 2, 7, 2}), 4), tuple({2, 7, 2, 5, 4}));
  const IntArray face = tuple({7, 3, 5});
  faceKey(face, 3);
  EXPECT_EQ(face, tuple({7, 3, 5}));
}

TEST(FaceKey, ReversalKeepsTheEndsAndMeetsTheNeighboursKey) {
  EXPECT_EQ(reversedFaceKey(tuple({3, 5, 7, 3})), tuple({3, 7, 5, 3}));
  EXPECT_EQ(reversedFaceKey(tuple({2, 9, 4, 6, 4})), tuple({2, 6, 4, 9, 4}));
  EXPECT_EQ(reversedFaceKey(tuple({1, 8, 2})), tuple({1, 8, 2}));
  // The neighbour lists the shared face the other way round, from any starting corner.
  EXPECT_EQ(reversedFaceKey(faceKey(tuple({4, 9, 6, 2}), 4)), faceKey(tuple({6, 9, 4, 2}), 4));
  EXPECT_EQ(reversedFaceKey(faceKey(tuple({7, 3, 5}), 3)), faceKey(tuple({5, 3, 7}), 3));
}

}  // namespace
}  // namespace cagewarp
