#include "array/memory_advice.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace cagewarp {
namespace {

constexpr size_t hugePage = size_t{1} << 21;
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

void* allocateInHugePages(size_t bytes) {
  if (bytes < hugePage) return std::malloc(std::max<size_t>(bytes, 1));
  const size_t size = roundUp(bytes, hugePage);
  void* p = std::aligned_alloc(hugePage, size);
  if (p != nullptr) madvise(p, size, MADV_HUGEPAGE);
  return p;
}

void returnFreedMemory() {
#if defined(__GLIBC__)
  malloc_trim(0);
#endif
}

}  // namespace cagewarp
