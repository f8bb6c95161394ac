#pragma once

#include <cstddef>
#include <cstdlib>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

namespace cagewarp {

// Hints to the system about memory. Results never depend on them.

// Asks the system to back the whole 2 MiB pages within [p, p + bytes) with transparent huge
// pages, where it offers them, when the block is large (4 MiB or more). Touching such memory the
// first time then costs one fault per 2 MiB instead of one per 4 KiB.
void adviseHugePages(void* p, size_t bytes);

// A block of at least `bytes` bytes, freed by std::free; null if there is no memory. A block of
// 2 MiB or more starts on a 2 MiB boundary and is advised as above whatever its size, so that all
// of it, not only the whole huge pages that happen to lie within it, can come as huge pages.
// Smaller blocks come from the usual heap.
void* allocateInHugePages(size_t bytes);

// An allocator whose blocks come from allocateInHugePages: touching a large block the first time
// takes one fault per 2 MiB instead of one per 4 KiB.
template <typename T>
struct HugePageAllocator {
  using value_type = T;

  HugePageAllocator() = default;
  template <typename U>
  HugePageAllocator(const HugePageAllocator<U>&) noexcept {}  // implicit, as std::allocator's

  T* allocate(size_t n) {
    if (n > std::numeric_limits<size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
    void* p = allocateInHugePages(n * sizeof(T));
    if (p == nullptr) throw std::bad_alloc();
    return static_cast<T*>(p);
  }
  void deallocate(T* p, size_t) noexcept { std::free(p); }
  friend bool operator==(const HugePageAllocator&, const HugePageAllocator&) { return true; }
};

// A vector for large arrays that are touched all over: its large blocks come in huge pages.
template <typename T>
using HugePageVector = std::vector<T, HugePageAllocator<T>>;

// As HugePageAllocator, but a container's value-initialisation of trivial elements leaves them
// unset: a vector grown by `resize` does not write its new elements. Whoever writes them first then
// takes the fresh pages' faults, so threads that fill disjoint parts share that cost.
template <typename T>
struct UnfilledAllocator : HugePageAllocator<T> {
  template <typename U>
  struct rebind {
    using other = UnfilledAllocator<U>;
  };
  UnfilledAllocator() = default;
  template <typename U>
  UnfilledAllocator(const UnfilledAllocator<U>&) noexcept {}  // implicit, as std::allocator's

  template <typename U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// A vector whose `resize` leaves new trivial elements unwritten, in huge pages where large.
template <typename T>
using UnfilledVector = std::vector<T, UnfilledAllocator<T>>;

// `v` made `count` copies of `value` in a new block (in huge pages where it is large).
template <typename T>
void assignInHugePages(HugePageVector<T>& v, size_t count, const T& value) {
  HugePageVector<T>().swap(v);
  v.assign(count, value);
}

// Hands the whole pages of freed heap memory back to the system, where the allocator allows it
// (glibc). The allocator keeps what a phase frees for later allocations; a phase that frees much
// and then needs one large new block would otherwise hold both.
void returnFreedMemory();

}  // namespace cagewarp
