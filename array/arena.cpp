#include "array/arena.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

namespace cagewarp {
namespace {

constexpr size_t hugePage = size_t{1} << 21;
constexpr size_t chunkBytes = size_t{1} << 20;
// Blocks this large are mostly mappings of their own (glibc maps blocks from 128 KiB, raising
// that to at most 32 MiB as mapped blocks are freed).
constexpr size_t ownMappingBytes = size_t{4} << 20;

size_t roundUp(size_t bytes, size_t to) {
  return (bytes + to - 1) / to * to;
}

}  // namespace

void adviseHugePages(void* p, size_t bytes) {
  // The advice outlives the block: where it lay in the allocator's heap, later small blocks in
  // its place get huge pages too, which for small blocks would cost more memory than it saves.
  if (bytes < ownMappingBytes) return;
  const auto from = reinterpret_cast<uintptr_t>(p);
  const uintptr_t begin = roundUp(from, hugePage);
  const uintptr_t end = (from + bytes) / hugePage * hugePage;
  // A failure (no transparent huge pages here) leaves ordinary pages.
  if (end > begin) madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
}

void* Arena::takeBytes(size_t bytes) {
  bytes = roundUp(std::max<size_t>(bytes, 1), 16);
  if (bytes > left_) {
    // Chunks double from 64 KiB, so that a small arena stays small, up to 1 MiB: small enough
    // to fit the holes that earlier phases leave in the allocator's heap.
    chunkSize_ = std::min(chunkSize_ * 2, chunkBytes);
    const size_t size = std::max(bytes, chunkSize_);
    std::unique_ptr<std::byte[], FreeChunk> chunk(static_cast<std::byte*>(std::malloc(size)));
    // Running out of memory travels as an exception, as for every other allocation.
    if (!chunk) throw std::bad_alloc();
    chunks_.push_back(std::move(chunk));
    at_ = chunks_.back().get();
    left_ = size;
  }
  void* piece = at_;
  at_ += bytes;
  left_ -= bytes;
  return piece;
}

Arena& ArenaPool::borrow() {
  const std::lock_guard<std::mutex> hold(lock_);
  if (idle_.empty()) return arenas_.emplace_back();
  Arena* arena = idle_.back();
  idle_.pop_back();
  return *arena;
}

void ArenaPool::giveBack(Arena& arena) {
  const std::lock_guard<std::mutex> hold(lock_);
  idle_.push_back(&arena);
}

}  // namespace cagewarp
