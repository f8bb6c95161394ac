#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "array/check.h"
#include "array/matrix.h"
#include "array/memory_advice.h"

namespace cagewarp {

// Hash of a tuple; the bucket is the value taken as unsigned, modulo the bucket count.
using TupleHash = std::function<uint32_t(const IntArray&)>;

// Bucket i is the home of the tuples that start with vertex i.
inline uint32_t firstElementHash(const IntArray& key) {
  return static_cast<uint32_t>(key[0]);
}

// The sum of all elements modulo `modulus`.
inline TupleHash tupleSumHash(int modulus) {
  return [modulus](const IntArray& key) {
    int64_t sum = 0;
    for (int i = 0; i < key.count(); ++i) sum += key[i];
    return static_cast<uint32_t>(sum % modulus);
  };
}

// Mixes every element of key[0..length) in, so that the many tuples of a grid that share a sum
// spread over the buckets.
inline uint32_t mixedHash(const int* key, int length) {
  uint64_t h = 0x9e3779b97f4a7c15ull ^ static_cast<uint64_t>(length);
  for (int i = 0; i < length; ++i) {
    h = (h ^ static_cast<uint32_t>(key[i])) * 0xff51afd7ed558ccdull;
    h ^= h >> 32;
  }
  return static_cast<uint32_t>(h);
}

// A hash map from short int tuples to values with a fixed bucket count. Each bucket keeps its
// entries in insertion order and carries a cursor for walks:
// - lookup, find, insertIfAbsent and insertOrAssign scan from the entry after the cursor to the
//   end and leave the cursor at the head, so inserting into a walked bucket restarts its walk;
// - erase scans the whole bucket and leaves the cursor where it was (if it erases the entry the
//   cursor stands on, the cursor steps back, so the walk goes on with the following entry);
// - removeAtCursor removes the entry at the cursor and steps the cursor back.
// The entries live in blocks that never move, chained per bucket by index: a big refinement holds
// millions of them, and an allocation per entry cost a tenth of its time. A stored value stays
// where it is until its entry is removed, whatever is added meanwhile.
// Keys hold at most MaxKeyLength elements, kept in each entry.
template <typename V, int MaxKeyLength = 10>
class TupleMap {
 public:
  static constexpr int maxKeyLength = MaxKeyLength;

  TupleMap(int bucketCount, TupleHash hash) : hash_(std::move(hash)) {
    CAGEWARP_CHECK(bucketCount >= 1);
    assignInHugePages(buckets_, static_cast<size_t>(bucketCount), Bucket{});
  }

  int bucketCount() const { return static_cast<int>(buckets_.size()); }
  int entryCount() const { return entryCount_; }
  int bucketOf(const IntArray& key) const {
    return static_cast<int>(hash_(key) % static_cast<uint32_t>(buckets_.size()));
  }

  // Copies the value of a present key into `value`.
  bool lookup(const IntArray& key, V& value) {
    const V* found = find(key);
    if (found) value = *found;
    return found != nullptr;
  }
  // The stored value of a present key, or null; same search rules as lookup.
  const V* find(const IntArray& key) {
    Bucket& b = bucketFor(key);
    const int i = search(b, Key(key));
    return i == none ? nullptr : &entry(i).value;
  }
  // As find, but the cursor stays where it is, so that several threads may search a map nobody
  // changes meanwhile. Same result as find whenever the bucket's cursor is at its head.
  const V* peek(const IntArray& key) const {
    const Bucket& b = buckets_[bucketOf(key)];
    const Key k(key);
    for (int i = b.cursor == none ? b.head : entry(b.cursor).next; i != none; i = entry(i).next)
      if (entry(i).key == k) return &entry(i).value;
    return nullptr;
  }
  // Whether every bucket's cursor stands at its head: then peek finds what find would, and a find
  // leaves the map as it was.
  bool cursorsAtHead() const {
    return std::all_of(buckets_.begin(), buckets_.end(),
                       [](const Bucket& b) { return b.cursor == none; });
  }
  // Appends (key, value) unless the key is present; if present, value receives the stored one.
  bool insertIfAbsent(const IntArray& key, V& value) {
    Bucket& b = bucketFor(key);
    Key k(key);
    const int i = search(b, k);
    if (i != none) {
      value = entry(i).value;
      return false;
    }
    append(b, k, value);
    return true;
  }
  // As insertIfAbsent, with the value moved in; the stored value (new or present), which the
  // caller may fill in later as long as no other entry is removed meanwhile.
  V* insertIfAbsent(const IntArray& key, V&& value, bool& inserted) {
    Bucket& b = bucketFor(key);
    Key k(key);
    int i = search(b, k);
    inserted = i == none;
    if (inserted) i = append(b, k, std::move(value));
    return &entry(i).value;
  }
  // Replaces the value of a present key in place, or appends a new entry.
  bool insertOrAssign(const IntArray& key, const V& value) {
    Bucket& b = bucketFor(key);
    Key k(key);
    const int i = search(b, k);
    if (i != none) {
      entry(i).value = value;
      return false;
    }
    append(b, k, value);
    return true;
  }
  bool erase(const IntArray& key) {
    Bucket& b = bucketFor(key);
    Key k(key);
    for (int i = b.head; i != none; i = entry(i).next) {
      if (entry(i).key == k) {
        if (b.cursor == i) stepBack(b);
        release(b, i);
        --entryCount_;
        return true;
      }
    }
    return false;
  }
  // Moves the bucket's cursor to its next entry and copies it out; at the end of the list the
  // cursor returns to the head and the result is false.
  bool nextInBucket(int bucket, IntArray& key, V& value) {
    const Entry* e = advance(bucket);
    if (!e) return false;
    key = e->key.toArray();
    value = e->value;
    return true;
  }
  // As nextInBucket, without copies: the entry's key (as a tuple) and value, or null at the end.
  struct View {
    const int* key;
    int length;
    const V* value;
  };
  bool nextInBucket(int bucket, View& view) {
    const Entry* e = advance(bucket);
    if (!e) return false;
    view = {e->key.elements.data(), e->key.length, &e->value};
    return true;
  }
  // Removes the entry at the bucket's cursor; the cursor steps back. Entry count unchanged.
  void removeAtCursor(int bucket) {
    Bucket& b = buckets_[bucket];
    if (b.cursor == none) return;
    const int i = b.cursor;
    stepBack(b);
    release(b, i);
  }

 private:
  struct Key {
    std::array<int, maxKeyLength> elements{};
    int length = 0;
    Key() = default;
    explicit Key(const IntArray& a) : length(a.count()) {
      CAGEWARP_CHECK(length <= maxKeyLength);
      for (int i = 0; i < length; ++i) elements[i] = a[i];
    }
    bool operator==(const Key& o) const {
      if (length != o.length) return false;
      for (int i = 0; i < length; ++i)
        if (elements[i] != o.elements[i]) return false;
      return true;
    }
    IntArray toArray() const {
      IntArray a({length}, 0);
      for (int i = 0; i < length; ++i) a[i] = elements[i];
      return a;
    }
  };
  static constexpr int none = -1;
  struct Entry {
    Key key;
    V value;
    int previous;
    int next;
  };
  // Entry indices; cursor == none stands for the head (before the first entry).
  struct Bucket {
    int head = none;
    int tail = none;
    int cursor = none;
  };
  // Blocks are reserved whole and filled by appending, so they never reallocate; a block's pages
  // are only taken as it fills, and in huge pages where the system has them.
  static constexpr int blockBits = 16;
  static constexpr int blockSize = 1 << blockBits;

  Entry& entry(int i) { return blocks_[i >> blockBits][i & (blockSize - 1)]; }
  const Entry& entry(int i) const { return blocks_[i >> blockBits][i & (blockSize - 1)]; }
  Bucket& bucketFor(const IntArray& key) { return buckets_[bucketOf(key)]; }
  int search(Bucket& b, const Key& k) {
    int i = b.cursor == none ? b.head : entry(b.cursor).next;
    b.cursor = none;
    for (; i != none; i = entry(i).next)
      if (entry(i).key == k) return i;
    return none;
  }
  // A free slot holding the entry, linked at the end of the bucket.
  template <typename W>
  int append(Bucket& b, const Key& k, W&& value) {
    int i = free_;
    if (i != none) {
      free_ = entry(i).next;
      Entry& e = entry(i);
      e.key = k;
      e.value = std::forward<W>(value);
    } else {
      if (slots_ == static_cast<int>(blocks_.size()) * blockSize) {
        CAGEWARP_CHECK(blocks_.size() < (size_t{1} << (31 - blockBits)));
        blocks_.emplace_back().reserve(blockSize);
      }
      i = slots_++;
      blocks_.back().push_back(Entry{k, std::forward<W>(value), none, none});
    }
    Entry& e = entry(i);
    e.previous = b.tail;
    e.next = none;
    if (b.tail == none)
      b.head = i;
    else
      entry(b.tail).next = i;
    b.tail = i;
    b.cursor = none;
    ++entryCount_;
    return i;
  }
  // Unlinks entry i from its bucket, frees what its value holds and keeps the slot for reuse.
  void release(Bucket& b, int i) {
    Entry& e = entry(i);
    (e.previous == none ? b.head : entry(e.previous).next) = e.next;
    (e.next == none ? b.tail : entry(e.next).previous) = e.previous;
    e.value = V();
    e.next = free_;
    free_ = i;
  }
  void stepBack(Bucket& b) { b.cursor = b.cursor == b.head ? none : entry(b.cursor).previous; }
  const Entry* advance(int bucket) {
    Bucket& b = buckets_[bucket];
    b.cursor = b.cursor == none ? b.head : entry(b.cursor).next;
    return b.cursor == none ? nullptr : &entry(b.cursor);
  }

  HugePageVector<Bucket> buckets_;
  TupleHash hash_;
  std::vector<HugePageVector<Entry>> blocks_;
  int slots_ = 0;
  int free_ = none;
  int entryCount_ = 0;
};

using TupleIndexMap = TupleMap<int>;

// A map from short int tuples to non-negative ints that is only searched, never walked, so it
// keeps no order: open addressing (linear probing) in one array per tuple length, each slot the
// tuple then its value, so that a search mostly touches one place in memory. A big refinement
// names millions of nodes by their tuples; a TupleMap search there costs two cache misses.
class TupleIndexTable {
 public:
  static constexpr int maxKeyLength = 8;

  // The value stored for key[0..length), or null.
  const int* find(const int* key, int length) const {
    CAGEWARP_CHECK(length >= 1 && length <= maxKeyLength);
    const Table& table = tables_[length];
    if (table.slots.empty()) return nullptr;
    const int* slot = table.slotFor(key, length);
    return slot[length] == empty ? nullptr : slot + length;
  }
  // Brings the slot where a search for key[0..length) starts towards the cache, for a search
  // soon after; changes nothing.
  void prefetch(const int* key, int length) const {
    const Table& table = tables_[length];
    if (table.slots.empty()) return;
    const size_t i = mixedHash(key, length) & (table.capacity() - 1);
    __builtin_prefetch(table.slots.data() + i * table.stride);
  }
  // Stores (key, value) unless the key is present, in which case value receives the stored one.
  // True when stored.
  bool insertIfAbsent(const int* key, int length, int& value) {
    CAGEWARP_CHECK(length >= 1 && length <= maxKeyLength && value >= 0);
    Table& table = tables_[length];
    if (2 * (table.count + 1) > table.capacity()) table.grow(length);
    int* slot = table.slotFor(key, length);
    if (slot[length] != empty) {
      value = slot[length];
      return false;
    }
    std::copy_n(key, length, slot);
    slot[length] = value;
    ++table.count;
    return true;
  }

 private:
  static constexpr int empty = -1;
  struct Table {
    HugePageVector<int> slots;  // capacity() slots of length + 1 ints
    size_t count = 0;
    int stride = 1;

    size_t capacity() const { return slots.size() / stride; }
    // The slot holding the key, or the empty slot where it would go.
    int* slotFor(const int* key, int length) {
      return const_cast<int*>(std::as_const(*this).slotFor(key, length));
    }
    const int* slotFor(const int* key, int length) const {
      const size_t mask = capacity() - 1;
      for (size_t i = mixedHash(key, length) & mask;; i = (i + 1) & mask) {
        const int* slot = slots.data() + i * stride;
        if (slot[length] == empty || std::equal(key, key + length, slot)) return slot;
      }
    }
    // Doubles the slots (at least 1024) and places the entries again.
    void grow(int length) {
      HugePageVector<int> old;
      old.swap(slots);
      stride = length + 1;
      const size_t oldCapacity = old.size() / stride;
      const size_t size = std::max<size_t>(1024, 2 * oldCapacity) * stride;
      // Probes land anywhere in the slots; in huge pages, where the system has them, they miss
      // far less often in the address translation cache.
      assignInHugePages(slots, size, empty);
      for (size_t i = 0; i < oldCapacity; ++i) {
        const int* entry = old.data() + i * stride;
        if (entry[length] == empty) continue;
        std::copy_n(entry, stride, slotFor(entry, length));
      }
    }
  };
  std::array<Table, maxKeyLength + 1> tables_;
};

}  // namespace cagewarp
