#include "array/arena.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "array/made_once.h"
#include "array/memory_advice.h"
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

// A pool's chunks passed to another are what that pool's arenas take first, however small the
// pieces; a piece larger than every spare chunk comes from new memory, and pieces stay disjoint.
TEST(ArenaPool, PassedChunksAreTakenBeforeNewMemory) {
  const size_t large = size_t{5} << 20;  // a chunk of its own, mapped apart from the heap
  ArenaPool first;
  ArenaPool second;
  unsigned char* old = nullptr;
  {
    const BorrowedArena arena(first);
    old = (*arena).take<unsigned char>(large);
  }
  first.passChunksTo(second);
  const BorrowedArena arena(second);
  unsigned char* reused = (*arena).take<unsigned char>(1000);
  EXPECT_EQ(reused, old);
  unsigned char* fresh = (*arena).take<unsigned char>(large + 1);
  EXPECT_TRUE(fresh >= old + large || fresh + large + 1 <= old);
  std::memset(old, 1, large);
  std::memset(fresh, 2, large + 1);
  EXPECT_EQ(old[large - 1], 1);
  second.dropSpareChunks();
}

// Vectors whose large blocks come in huge pages keep their elements as they grow past the
// huge-block size and shrink below it again (each block freed the way it was taken), and a large
// block starts on a huge-page boundary. One that leaves new elements unfilled still fills what it
// is given.
TEST(HugePageVector, KeepsElementsAcrossBlockSizes) {
  constexpr size_t hugePage = size_t{2} << 20;
  constexpr int count = static_cast<int>(2 * hugePage / sizeof(int));
  HugePageVector<int> v;
  for (int i = 0; i < count; ++i) v.push_back(7 * i);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(v.data()) % hugePage, 0u);
  v.resize(100);
  v.shrink_to_fit();
  for (int i = 0; i < 100; ++i) ASSERT_EQ(v[i], 7 * i);

  std::vector<int, UnfilledAllocator<int>> unfilled(static_cast<size_t>(count), 5);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(unfilled.data()) % hugePage, 0u);
  EXPECT_EQ(unfilled.front(), 5);
  EXPECT_EQ(unfilled.back(), 5);
  unfilled.resize(2 * static_cast<size_t>(count));
  for (size_t i = count; i < unfilled.size(); ++i) unfilled[i] = static_cast<int>(i);
  EXPECT_EQ(unfilled[count - 1], 5);
  EXPECT_EQ(unfilled.back(), 2 * count - 1);
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
