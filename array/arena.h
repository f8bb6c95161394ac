#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <deque>
#include <memory>
#include <mutex>
#include <type_traits>
#include <vector>

namespace cagewarp {

// Memory handed out in pieces from large chunks that are all freed together with the arena: for
// many small records that are made once and kept until the end of a phase. Each piece starts on
// a 16-byte boundary, and a piece never straddles two chunks. Chunks grow with the arena.
class Arena {
 public:
  template <class T>
  T* take(size_t count) {
    static_assert(std::is_trivially_copyable_v<T> && alignof(T) <= 16);
    return static_cast<T*>(takeBytes(count * sizeof(T)));
  }

 private:
  struct FreeChunk {
    void operator()(std::byte* p) const noexcept { std::free(p); }
  };
  void* takeBytes(size_t bytes);

  std::vector<std::unique_ptr<std::byte[], FreeChunk>> chunks_;
  std::byte* at_ = nullptr;
  size_t left_ = 0;
  size_t chunkSize_ = size_t{1} << 15;
};

// Arenas lent to the ranges of a parallel loop one range at a time, so that at most one arena
// per thread is partly filled however many ranges there are. What was taken stays until the
// pool goes.
class ArenaPool {
 public:
  Arena& borrow();
  void giveBack(Arena& arena);

 private:
  std::mutex lock_;
  std::deque<Arena> arenas_;  // a deque: adding an arena moves no other
  std::vector<Arena*> idle_;
};

// Borrows an arena of a pool for the scope it lives in.
class BorrowedArena {
 public:
  explicit BorrowedArena(ArenaPool& pool) : pool_(pool), arena_(pool.borrow()) {}
  ~BorrowedArena() { pool_.giveBack(arena_); }
  BorrowedArena(const BorrowedArena&) = delete;
  BorrowedArena& operator=(const BorrowedArena&) = delete;
  Arena& operator*() const { return arena_; }

 private:
  ArenaPool& pool_;
  Arena& arena_;
};

}  // namespace cagewarp
