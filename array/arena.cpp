#include "array/arena.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <utility>

#include "array/memory_advice.h"

namespace cagewarp {
namespace {

size_t roundUp(size_t bytes, size_t to) {
  return (bytes + to - 1) / to * to;
}

}  // namespace

void* Arena::takeBytes(size_t bytes) {
  bytes = roundUp(std::max<size_t>(bytes, 1), 16);
  if (bytes > left_) {
    // Chunks double from 64 KiB, so that a small arena stays small.
    chunkSize_ = std::min(chunkSize_ * 2, largestChunk_);
    const size_t size = std::max(bytes, chunkSize_);
    // A chunk of a huge page or more can be backed by huge pages whole.
    std::unique_ptr<std::byte[], FreeChunk> chunk(
        static_cast<std::byte*>(allocateInHugePages(size)));
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
  if (idle_.empty()) return arenas_.emplace_back(largestChunk_);
  Arena* arena = idle_.back();
  idle_.pop_back();
  return *arena;
}

void ArenaPool::clear() {
  const std::lock_guard<std::mutex> hold(lock_);
  idle_.clear();
  arenas_.clear();
}

void ArenaPool::giveBack(Arena& arena) {
  const std::lock_guard<std::mutex> hold(lock_);
  idle_.push_back(&arena);
}

}  // namespace cagewarp
