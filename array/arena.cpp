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
    ArenaChunk chunk = spares_ != nullptr ? spares_->take(size) : ArenaChunk{};
    if (!chunk.memory) {
      // A chunk of a huge page or more can be backed by huge pages whole.
      chunk.memory.reset(static_cast<std::byte*>(allocateInHugePages(size)));
      chunk.size = size;
      // Running out of memory travels as an exception, as for every other allocation.
      if (!chunk.memory) throw std::bad_alloc();
    }
    at_ = chunk.memory.get();
    left_ = chunk.size;
    chunks_.push_back(std::move(chunk));
  }
  void* piece = at_;
  at_ += bytes;
  left_ -= bytes;
  return piece;
}

ArenaChunk SpareChunks::take(size_t bytes) {
  const std::lock_guard<std::mutex> hold(lock_);
  for (ArenaChunk& chunk : chunks_) {
    if (chunk.size < bytes) continue;
    ArenaChunk taken = std::move(chunk);
    chunk = std::move(chunks_.back());
    chunks_.pop_back();
    return taken;
  }
  return {};
}

void SpareChunks::add(std::vector<ArenaChunk>& chunks) {
  const std::lock_guard<std::mutex> hold(lock_);
  for (ArenaChunk& chunk : chunks) chunks_.push_back(std::move(chunk));
  chunks.clear();
}

void SpareChunks::passTo(SpareChunks& other) {
  const std::lock_guard<std::mutex> hold(lock_);
  other.add(chunks_);
}

void SpareChunks::clear() {
  const std::lock_guard<std::mutex> hold(lock_);
  chunks_.clear();
}

Arena& ArenaPool::borrow() {
  const std::lock_guard<std::mutex> hold(lock_);
  if (idle_.empty()) return arenas_.emplace_back(largestChunk_, &spares_);
  Arena* arena = idle_.back();
  idle_.pop_back();
  return *arena;
}

void ArenaPool::clear() {
  const std::lock_guard<std::mutex> hold(lock_);
  idle_.clear();
  arenas_.clear();
  spares_.clear();
}

void ArenaPool::passChunksTo(ArenaPool& other) {
  const std::lock_guard<std::mutex> hold(lock_);
  for (Arena& arena : arenas_) other.spares_.add(arena.chunks_);
  spares_.passTo(other.spares_);
  idle_.clear();
  arenas_.clear();
}

void ArenaPool::giveBack(Arena& arena) {
  const std::lock_guard<std::mutex> hold(lock_);
  idle_.push_back(&arena);
}

}  // namespace cagewarp
