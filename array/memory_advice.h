#pragma once

#include <cstddef>
#include <vector>

namespace cagewarp {

// Hints to the system about memory. Results never depend on them.

// Asks the system to back the whole 2 MiB pages within [p, p + bytes) with transparent huge
// pages, where it offers them, when the block is large (4 MiB or more). Touching such memory the
// first time then costs one fault per 2 MiB instead of one per 4 KiB.
void adviseHugePages(void* p, size_t bytes);

// `v` made `count` copies of `value` in a new block, advised as above before it is filled.
template <typename T>
void assignInHugePages(std::vector<T>& v, size_t count, const T& value) {
  std::vector<T>().swap(v);
  v.reserve(count);
  adviseHugePages(v.data(), count * sizeof(T));
  v.assign(count, value);
}

// Hands the whole pages of freed heap memory back to the system, where the allocator allows it
// (glibc). The allocator keeps what a phase frees for later allocations; a phase that frees much
// and then needs one large new block would otherwise hold both.
void returnFreedMemory();

}  // namespace cagewarp
