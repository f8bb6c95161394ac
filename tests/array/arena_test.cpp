#include "array/arena.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "array/made_once.h"
#include "array/parallel_for.h"

namespace cagewarp {
namespace {

void checkPieces(size_t largestChunk) {
  Arena arena(largestChunk);
  const size_t sizes[] = {0, 1, 3, 17, 4096, 1 << 16, 7, 1, 100, 40000};
  std::vector<std::pair<unsigned char*, size_t>> pieces;
  for (size_t round = 0; round < 40; ++round) {
    for (const size_t size : sizes) {
      // Once, a piece larger than any chunk.
      const size_t bytes = round == 20 && size == 7 ? largestChunk + (size_t{3} << 20) : size;
      unsigned char* p = arena.take<unsigned char>(bytes);
      ASSERT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);
      std::memset(p, static_cast<int>(pieces.size() & 0xff), bytes);
      pieces.emplace_back(p, bytes);
    }
  }
  for (size_t i = 0; i < pieces.size(); ++i) {
    const auto [p, size] = pieces[i];
    for (size_t j = 0; j < size; j += 997) ASSERT_EQ(p[j], i & 0xff) << "piece " << i;
  }
}

// Pieces of every size, from none to several chunks, are aligned, disjoint and keep their bytes
// while later pieces are taken, with small chunks and with large ones.
TEST(Arena, PiecesAreAlignedDisjointAndKept) {
  for (const size_t largestChunk : {Arena::smallChunks, Arena::largeChunks}) {
    SCOPED_TRACE(largestChunk);
    checkPieces(largestChunk);
  }
}

// Items shared out among threads are each made once, whichever thread needs them first; an item
// whose making failed is made by the next thread that needs it.
TEST(MadeOnce, MakesEachItemOnceOnAnyThreads) {
  constexpr int items = 2000;
  for (const int threads : {1, 2, 7}) {
    MadeOnce made(items);
    std::vector<std::atomic<int>> makings(items);
    std::vector<int> value(items, 0);
    std::atomic<bool> failed{false};
    // Every item is needed by many ranges, most of them on other threads.
    parallelFor(int64_t{items} * 16, threads, [&](int64_t begin, int64_t end) {
      for (int64_t i = begin; i < end; ++i) {
        const auto item = static_cast<size_t>(i % items);
        try {
          made.ensure(item, [&] {
            makings[item].fetch_add(1);
            if (item == 5 && !failed.exchange(true)) throw std::runtime_error("first try");
            value[item] = static_cast<int>(item) + 1;
          });
        } catch (const std::runtime_error&) {
          continue;
        }
        ASSERT_EQ(value[item], static_cast<int>(item) + 1);
      }
    });
    for (int i = 0; i < items; ++i) EXPECT_EQ(makings[i].load(), i == 5 ? 2 : 1) << i;
  }
}

}  // namespace
}  // namespace cagewarp
