#include "array/parallel_for.h"

#include <gtest/gtest.h>

#include <new>
#include <string>

namespace cagewarp {
namespace {

// Pieces come back in order, cover every item once and carry their own text, for any piece
// size and thread count, including more threads than pieces.
TEST(FormatInOrder, HandsOverEveryPieceInOrder) {
  struct Case {
    int64_t count, perPiece;
    int threads;
  };
  const Case cases[] = {{0, 3, 2}, {1, 1, 7}, {10, 3, 1}, {10, 3, 2}, {1000, 7, 3}, {50, 100, 2}};
  for (const Case& c : cases) {
    std::string expected, got;
    for (int64_t i = 0; i < c.count; ++i) expected += std::to_string(i) + " ";
    int64_t next = 0;
    formatInOrder(
        c.count, c.perPiece, c.threads,
        [](int64_t begin, int64_t end, std::string& text) {
          for (int64_t i = begin; i < end; ++i) text += std::to_string(i) + " ";
        },
        [&](int64_t begin, int64_t end, const std::string& text) {
          EXPECT_EQ(begin, next);
          EXPECT_LE(end - begin, c.perPiece);
          next = end;
          got += text;
        });
    EXPECT_EQ(got, expected) << c.count << " items by " << c.perPiece << " on " << c.threads;
  }
}

TEST(FormatInOrder, PassesOnAFailureAndStops) {
  for (int threads : {1, 2, 5}) {
    int64_t handedOver = 0;
    EXPECT_THROW(formatInOrder(
                     1000, 1, threads,
                     [](int64_t begin, int64_t, std::string& text) {
                       if (begin == 100) throw std::bad_alloc();
                       text.push_back('x');
                     },
                     [&](int64_t, int64_t, const std::string&) { ++handedOver; }),
                 std::bad_alloc);
    EXPECT_LE(handedOver, 100) << threads << " threads";
  }
}

}  // namespace
}  // namespace cagewarp
