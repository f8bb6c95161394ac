#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
#include <vector>

#include "array/check.h"
#include "array/memory_advice.h"
#include "array/parallel_for.h"

namespace cagewarp {

namespace detail {

struct FreeDeleter {
  void operator()(void* p) const noexcept { std::free(p); }
};

// Product of the sizes, or -1 when a size is negative or the product does not fit an int.
inline int64_t elementCount(const int* sizes, int n) {
  int64_t count = 1;
  for (int d = 0; d < n; ++d) {
    if (sizes[d] < 0) return -1;
    count *= sizes[d];
    if (count > std::numeric_limits<int>::max()) return -1;
  }
  return count;
}

// The product of sizes 1..n-1 (the column count of an array of any row count), or -1 when it
// does not fit in an int. Checked before every multiplication, so nothing overflows.
inline int64_t columnCount(const int* sizes, int n) {
  for (int d = 1; d < n; ++d)
    if (sizes[d] == 0) return 0;
  int64_t count = 1;
  for (int d = 1; d < n; ++d) {
    if (sizes[d] < 0) return -1;
    count *= sizes[d];
    if (count > std::numeric_limits<int>::max()) return -1;
  }
  return count;
}

// Below this many keys a sort stays on one thread.
constexpr int sharedSortLeast = 1 << 14;

// The ascending quicksort that fixes the order of equal keys (pivot = first element of the
// range, Hoare-style crossing indices), over the index ranges in `ranges`. Ranges are kept on an
// explicit stack: the two parts of a partition are disjoint, so the order in which they are
// sorted does not change the result. A range of at most `aside` keys is left unsorted and
// returned, to be sorted on its own; with `aside` 0 every range is sorted.
template <typename T>
std::vector<std::pair<int, int>> quicksortRanges(T* a, int* p,
                                                 std::vector<std::pair<int, int>> ranges,
                                                 int aside) {
  std::vector<std::pair<int, int>> setAside;
  while (!ranges.empty()) {
    auto [lo, hi] = ranges.back();
    ranges.pop_back();
    if (hi - lo < aside) {
      setAside.emplace_back(lo, hi);
      continue;
    }
    const T pivot = a[lo];
    int i = lo;
    int j = hi;
    while (i <= j) {
      while (a[i] < pivot) ++i;
      while (a[j] > pivot) --j;
      if (i <= j) {
        std::swap(a[i], a[j]);
        std::swap(p[i], p[j]);
        ++i;
        --j;
      }
    }
    if (lo < j) ranges.emplace_back(lo, j);
    if (i < hi) ranges.emplace_back(i, hi);
  }
  return setAside;
}

// The quicksort above over a[0, count), p permuted alike. Once the parts are small enough to
// share out evenly, they are sorted on `threads` threads, each part as a whole by one of them.
template <typename T>
void quicksortWithIndex(T* a, int* p, int count, int threads = 1) {
  if (count < 2) return;
  const int workers = threadCount(threads);
  const int aside = workers > 1 && count >= sharedSortLeast ? count / (16 * workers) : 0;
  const std::vector<std::pair<int, int>> parts = quicksortRanges(a, p, {{0, count - 1}}, aside);
  parallelFor(static_cast<int64_t>(parts.size()), threads, [&](int64_t begin, int64_t end) {
    for (int64_t k = begin; k < end; ++k) quicksortRanges(a, p, {parts[k]}, 0);
  });
}

// Sorts `items` ascending by `less` on `threads` threads: a piece per thread, then the pieces
// merged pairwise. Items that compare equal may end in any order.
template <typename Item, typename Less>
void sortInPieces(std::vector<Item>& items, int threads, Less less) {
  const auto n = static_cast<int64_t>(items.size());
  const int pieces =
      static_cast<int>(std::min<int64_t>(threadCount(threads), n / sharedSortLeast + 1));
  std::vector<int64_t> bound(static_cast<size_t>(pieces) + 1);
  for (int k = 0; k <= pieces; ++k) bound[k] = n * k / pieces;
  const auto at = [&](int k) { return items.begin() + bound[std::min(k, pieces)]; };
  parallelFor(pieces, threads, [&](int64_t begin, int64_t end) {
    for (auto k = static_cast<int>(begin); k < end; ++k) std::sort(at(k), at(k + 1), less);
  });
  for (int width = 1; width < pieces; width *= 2) {
    parallelFor((pieces + 2 * width - 1) / (2 * width), threads, [&](int64_t begin, int64_t end) {
      for (auto m = static_cast<int>(begin); m < end; ++m) {
        const int first = 2 * width * m;
        if (first + width < pieces)
          std::inplace_merge(at(first), at(first + width), at(first + 2 * width), less);
      }
    });
  }
}

}  // namespace detail

// A dense n-dimensional array of one element type, elements in column-major order ("lower
// dimensions first"). An empty array has no shape and no data; an array with a zero size still
// has a shape. Copies are deep. The cursor serves next() and push().
template <typename T>
class NdArray {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  using value_type = T;

  NdArray() = default;
  NdArray(int n, const int* sizes, T fill) { allocate(n, sizes, fill); }
  NdArray(std::initializer_list<int> sizes, T fill)
      : NdArray(static_cast<int>(sizes.size()), sizes.begin(), fill) {}
  NdArray(const NdArray& other) { copyFrom(other); }
  NdArray(NdArray&& other) noexcept { moveFrom(other); }
  NdArray& operator=(const NdArray& other) {
    if (this != &other) copyFrom(other);
    return *this;
  }
  NdArray& operator=(NdArray&& other) noexcept {
    if (this != &other) moveFrom(other);
    return *this;
  }
  virtual ~NdArray() = default;

  // A 1-D array holding the given values.
  static NdArray fromValues(std::initializer_list<T> values) {
    NdArray a({static_cast<int>(values.size())}, T{});
    std::copy(values.begin(), values.end(), a.data());
    return a;
  }

  bool isEmpty() const { return shape_.empty(); }
  int n() const { return n_; }
  int count() const { return count_; }
  int size(int d) const { return shape_[d]; }
  const int* sizes() const { return shape_.data(); }
  int cursor() const { return shape_.empty() ? 0 : shape_[n_]; }
  void setCursor(int c) { shape_[n_] = c; }
  // Rows: the first size. Columns: the product of the other sizes.
  int rows() const { return n_ > 0 ? shape_[0] : 0; }
  int cols() const { return n_ > 0 && shape_[0] > 0 ? count_ / shape_[0] : colsFromShape(); }

  T* data() { return data_.get(); }
  const T* data() const { return data_.get(); }
  T& operator[](int i) { return data_.get()[i]; }
  const T& operator[](int i) const { return data_.get()[i]; }
  T& at(int i) { return data_.get()[i]; }
  const T& at(int i) const { return data_.get()[i]; }
  T& at(int i, int j) { return data_.get()[i + shape_[0] * j]; }
  const T& at(int i, int j) const { return data_.get()[i + shape_[0] * j]; }
  T* column(int j) { return data_.get() + static_cast<int64_t>(rows()) * j; }
  const T* column(int j) const { return data_.get() + static_cast<int64_t>(rows()) * j; }

  bool sameShape(const NdArray& other) const { return shape(*this) == shape(other); }
  bool operator==(const NdArray& other) const {
    if (isEmpty() || other.isEmpty()) return isEmpty() && other.isEmpty();
    return sameShape(other) && std::equal(data(), data() + count_, other.data());
  }

  // Element at the cursor; after the last element reading wraps to element 0.
  T next() {
    CAGEWARP_CHECK(count_ > 0);
    int& c = shape_[n_];
    if (c < count_) return data_.get()[c++];
    c = 1;
    return data_.get()[0];
  }
  void push(T value) {
    int& c = shape_[n_];
    CAGEWARP_CHECK(c < count_);
    data_.get()[c++] = value;
  }

  // Concatenation along the last dimension (a matrix gains other's columns).
  void appendCols(const NdArray& other) {
    CAGEWARP_CHECK(!isEmpty() && !other.isEmpty() && n_ == other.n_ && n_ > 0);
    const int64_t total = int64_t{count_} + other.count_;
    const int64_t last = int64_t{shape_[n_ - 1]} + other.shape_[n_ - 1];
    requireIndexable(std::max(total, last));
    auto block = allocateBlock(total, false, T{});
    copyElements(block.get(), data(), count_);
    copyElements(block.get() + count_, other.data(), other.count_);
    data_ = std::move(block);
    shape_[n_ - 1] = static_cast<int>(last);
    count_ = static_cast<int>(total);
  }

  // Concatenation along the first dimension (other's rows go below this array's).
  void appendRows(const NdArray& other) {
    CAGEWARP_CHECK(!isEmpty() && !other.isEmpty() && cols() == other.cols());
    const int c = cols();
    const int r1 = rows();
    const int r2 = other.rows();
    const int64_t r = int64_t{r1} + r2;
    const int64_t total = r * c;
    requireIndexable(std::max(total, r));
    auto block = allocateBlock(total, false, T{});
    for (int j = 0; j < c; ++j) {
      T* dst = block.get() + r * j;
      copyElements(dst, data() + int64_t{r1} * j, r1);
      copyElements(dst + r1, other.data() + int64_t{r2} * j, r2);
    }
    data_ = std::move(block);
    shape_[0] = static_cast<int>(r);
    count_ = static_cast<int>(total);
  }

  // Grows the first size to r; the added rows are zero.
  void resizeRows(int r) {
    CAGEWARP_CHECK(!isEmpty() && r >= rows());
    const int c = cols();
    const int r1 = rows();
    const int64_t total = int64_t{r} * c;
    requireIndexable(total);
    auto block = allocateBlock(total, true, T{});
    for (int j = 0; j < c; ++j)
      copyElements(block.get() + int64_t{r} * j, data() + int64_t{r1} * j, r1);
    data_ = std::move(block);
    shape_[0] = r;
    count_ = static_cast<int>(total);
  }

  NdArray& operator*=(T k) {
    for (int i = 0; i < count_; ++i) data_.get()[i] = k * data_.get()[i];
    return *this;
  }
  NdArray& operator+=(const NdArray& other) {
    const int m = std::min(count_, other.count_);
    for (int i = 0; i < m; ++i) data_.get()[i] = data_.get()[i] + other[i];
    return *this;
  }
  NdArray& operator-=(const NdArray& other) {
    const int m = std::min(count_, other.count_);
    for (int i = 0; i < m; ++i) data_.get()[i] = data_.get()[i] - other[i];
    return *this;
  }

  // Smallest element and the index of its first occurrence.
  T argMin(int& index) const {
    CAGEWARP_CHECK(count_ >= 1);
    index = 0;
    for (int i = 1; i < count_; ++i)
      if (data_.get()[i] < data_.get()[index]) index = i;
    return data_.get()[index];
  }
  // Largest element and the index of its first occurrence.
  T argMax(int& index) const {
    CAGEWARP_CHECK(count_ >= 1);
    index = 0;
    for (int i = 1; i < count_; ++i)
      if (data_.get()[i] > data_.get()[index]) index = i;
    return data_.get()[index];
  }
  bool indexOf(T value, int& position) const {
    for (int i = 0; i < count_; ++i) {
      if (data_.get()[i] == value) {
        position = i;
        return true;
      }
    }
    return false;
  }
  // Rotates the elements left by k positions.
  void rotate(int k) {
    CAGEWARP_CHECK(k >= 0 && k <= count_);
    std::rotate(data(), data() + k, data() + count_);
  }

  // Linear indices of the non-zero elements, ascending.
  NdArray<int> find() const {
    int nonZero = 0;
    for (int i = 0; i < count_; ++i) nonZero += data_.get()[i] != T{0};
    NdArray<int> result({nonZero}, 0);
    for (int i = 0, k = 0; i < count_; ++i)
      if (data_.get()[i] != T{0}) result[k++] = i;
    return result;
  }
  bool allNonZero() const {
    for (int i = 0; i < count_; ++i)
      if (data_.get()[i] == T{0}) return false;
    return true;
  }

  // Sorts ascending in place and returns p, p[k] = former position of the element now at k,
  // on `threads` threads. Equal keys are ordered as the reference quicksort orders them; without
  // equal keys (the common case) the permutation is unique, so a faster sort gives the same answer.
  NdArray<int> sortWithIndex(int threads = 1) {
    NdArray<int> p({count_}, 0);
    for (int i = 0; i < count_; ++i) p[i] = i;
    if (count_ < 2) return p;
    std::vector<std::pair<T, int>> pairs(count_);
    bool orderable = true;
    for (int i = 0; i < count_; ++i) {
      pairs[i] = {data_.get()[i], i};
      if constexpr (std::is_floating_point_v<T>)
        orderable = orderable && !std::isnan(pairs[i].first);
    }
    if (orderable) {
      detail::sortInPieces(pairs, threads,
                           [](const auto& a, const auto& b) { return a.first < b.first; });
      bool distinct = true;
      for (int i = 1; i < count_ && distinct; ++i) distinct = pairs[i - 1].first < pairs[i].first;
      if (distinct) {
        for (int i = 0; i < count_; ++i) {
          data_.get()[i] = pairs[i].first;
          p[i] = pairs[i].second;
        }
        return p;
      }
    }
    detail::quicksortWithIndex(data(), p.data(), count_, threads);
    return p;
  }

  // Sorts a 1-D array and keeps one of each run of equal elements at the front.
  void sortUnique() {
    CAGEWARP_CHECK(n_ == 1 && count_ >= 1);
    sortWithIndex();
    int kept = 1;
    for (int i = 1; i < count_; ++i)
      if (data_.get()[i] != data_.get()[kept - 1]) data_.get()[kept++] = data_.get()[i];
    count_ = kept;
    shape_[0] = kept;
  }

  // A new array made of the listed columns (second size = number of listed columns).
  NdArray selectColumns(const NdArray<int>& columns) const {
    std::vector<int> newShape(shape_.begin(), shape_.begin() + n_);
    newShape[1] = columns.count();
    NdArray result(n_, newShape.data(), T{});
    const int r = rows();
    for (int i = 0; i < columns.count(); ++i) copyElements(result.column(i), column(columns[i]), r);
    return result;
  }

 private:
  using Block = std::unique_ptr<T[], detail::FreeDeleter>;

  static std::vector<int> shape(const NdArray& a) {
    return std::vector<int>(a.shape_.begin(), a.shape_.begin() + a.n_);
  }
  int colsFromShape() const {
    return n_ > 0 ? static_cast<int>(detail::columnCount(shape_.data(), n_)) : 0;
  }
  // Element counts and sizes are ints: an array past that range is more than the program can
  // hold, so it fails the way an allocation does. Sizes come from input (a cage of 50,000
  // vertices asks for an identity of 2.5e9 elements), and the run ends with the out-of-memory
  // message rather than an abort.
  static void requireIndexable(int64_t count) {
    if (count > std::numeric_limits<int>::max()) throw std::bad_alloc();
  }
  // Zero-filled blocks come from calloc, so large zero matrices cost no page writes up front.
  static Block allocateBlock(int64_t count, bool zero, T fill) {
    const size_t bytes = static_cast<size_t>(std::max<int64_t>(count, 1)) * sizeof(T);
    // A block to be filled now is taken in huge pages where it is large.
    T* p = static_cast<T*>(zero ? std::calloc(1, bytes) : allocateInHugePages(bytes));
    // Running out of memory is the one failure that travels as an exception: it can strike any
    // allocation, and the run's top level turns it into a message.
    if (p == nullptr) throw std::bad_alloc();
    // Before the first touch, so that a large block's pages come as huge pages.
    if (zero)
      adviseHugePages(p, bytes);
    else
      std::fill(p, p + count, fill);
    return Block(p);
  }
  static void copyElements(T* dst, const T* src, int64_t count) {
    if (count > 0) std::memcpy(dst, src, static_cast<size_t>(count) * sizeof(T));
  }
  void allocate(int n, const int* sizes, T fill) {
    CAGEWARP_CHECK(n >= 0);
    for (int d = 0; d < n; ++d) CAGEWARP_CHECK(sizes[d] >= 0);
    const int64_t count = detail::elementCount(sizes, n);
    if (count < 0 || detail::columnCount(sizes, n) < 0) throw std::bad_alloc();
    T zero{};
    const bool zeroFill = std::memcmp(&fill, &zero, sizeof(T)) == 0;
    data_ = allocateBlock(count, zeroFill, fill);
    shape_.assign(sizes, sizes + n);
    shape_.push_back(0);
    n_ = n;
    count_ = static_cast<int>(count);
  }
  void copyFrom(const NdArray& other) {
    if (other.isEmpty()) {
      *this = NdArray();
      return;
    }
    Block block = allocateBlock(other.count_, false, T{});
    copyElements(block.get(), other.data(), other.count_);
    data_ = std::move(block);
    shape_ = other.shape_;
    n_ = other.n_;
    count_ = other.count_;
  }
  void moveFrom(NdArray& other) {
    data_ = std::move(other.data_);
    shape_ = std::move(other.shape_);
    n_ = std::exchange(other.n_, 0);
    count_ = std::exchange(other.count_, 0);
    other.shape_.clear();
  }

  int n_ = 0;
  int count_ = 0;
  Block data_;
  std::vector<int> shape_;  // the n sizes, then the cursor; empty for an empty array
};

using IntArray = NdArray<int32_t>;
using FloatArray = NdArray<float>;
using ByteArray = NdArray<int8_t>;

}  // namespace cagewarp
