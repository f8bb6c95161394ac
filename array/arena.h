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

// A block of an arena's memory, freed with it.
struct ArenaChunk {
  struct Free {
    void operator()(std::byte* p) const noexcept { std::free(p); }
  };
  std::unique_ptr<std::byte[], Free> memory;
  size_t size = 0;
};

// Chunks that arenas used before and hand on to others. Memory the system gave once and took no
// pages back from costs nothing to use again, where a new block of the same size has every page
// cleared by the system on its first touch. Taken and given under a lock by the threads of a pool.
class SpareChunks {
 public:
  // A chunk of at least `bytes` bytes, or an empty one when none is that large.
  ArenaChunk take(size_t bytes);
  void add(std::vector<ArenaChunk>& chunks);
  // Moves every chunk here to `other`.
  void passTo(SpareChunks& other);
  void clear();

 private:
  std::mutex lock_;
  std::vector<ArenaChunk> chunks_;
};

// Memory handed out in pieces from large chunks that are all freed together with the arena: for
// many small records that are made once and kept until the end of a phase. Each piece starts on
// a 16-byte boundary, and a piece never straddles two chunks. Chunks grow with the arena, doubling
// from 64 KiB up to the arena's largest chunk size.
class Arena {
 public:
  // The usual largest chunk: small enough to fit the holes that earlier phases leave in the
  // allocator's heap, which costs no new memory.
  static constexpr size_t smallChunks = size_t{1} << 20;
  // For arenas that grow to hundreds of megabytes, more than the heap's holes hold: chunks this
  // large are backed by huge pages where the system has them, which takes far fewer page faults.
  static constexpr size_t largeChunks = size_t{32} << 20;

  // `spares`, when given, are chunks to take before asking the system for new ones.
  explicit Arena(size_t largestChunk = smallChunks, SpareChunks* spares = nullptr)
      : largestChunk_(largestChunk), spares_(spares) {}

  template <class T>
  T* take(size_t count) {
    static_assert(std::is_trivially_copyable_v<T> && alignof(T) <= 16);
    return static_cast<T*>(takeBytes(count * sizeof(T)));
  }

 private:
  friend class ArenaPool;
  void* takeBytes(size_t bytes);

  std::vector<ArenaChunk> chunks_;
  std::byte* at_ = nullptr;
  size_t left_ = 0;
  size_t chunkSize_ = size_t{1} << 15;
  size_t largestChunk_;
  SpareChunks* spares_;
};

// Arenas lent to the ranges of a parallel loop one range at a time, so that at most one arena
// per thread is partly filled however many ranges there are. What was taken stays until the
// pool goes.
class ArenaPool {
 public:
  // The pool's arenas have chunks of up to `largestChunk` bytes.
  explicit ArenaPool(size_t largestChunk = Arena::smallChunks) : largestChunk_(largestChunk) {}
  Arena& borrow();
  void giveBack(Arena& arena);
  // Frees every arena, what was taken from them and the chunks passed in; none may be borrowed.
  void clear();
  // Empties the pool as clear() does, but hands the arenas' chunks to `other`, whose arenas take
  // them before new memory; nothing taken from this pool may be used after. A large phase that
  // ends as the next one starts passes its memory on rather than having the system clear it again.
  void passChunksTo(ArenaPool& other);
  // Frees the chunks passed in that no arena took.
  void dropSpareChunks() { spares_.clear(); }

 private:
  size_t largestChunk_;
  SpareChunks spares_;
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
