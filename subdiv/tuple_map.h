#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <iterator>
#include <list>
#include <vector>

#include "array/check.h"
#include "array/matrix.h"

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

// A hash map from short int tuples to values with a fixed bucket count. Each bucket keeps its
// entries in insertion order and carries a cursor for walks:
// - lookup, find, insertIfAbsent and insertOrAssign scan from the entry after the cursor to the
//   end and leave the cursor at the head, so inserting into a walked bucket restarts its walk;
// - erase scans the whole bucket and leaves the cursor where it was (if it erases the entry the
//   cursor stands on, the cursor steps back, so the walk goes on with the following entry);
// - removeAtCursor removes the entry at the cursor and steps the cursor back.
template <typename V>
class TupleMap {
 public:
  static constexpr int maxKeyLength = 10;

  TupleMap(int bucketCount, TupleHash hash) : buckets_(bucketCount), hash_(std::move(hash)) {
    CAGEWARP_CHECK(bucketCount >= 1);
    for (Bucket& b : buckets_) b.cursor = b.entries.end();
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
    auto it = search(b, Key(key));
    return it == b.entries.end() ? nullptr : &it->value;
  }
  // Appends (key, value) unless the key is present; if present, value receives the stored one.
  bool insertIfAbsent(const IntArray& key, V& value) {
    Bucket& b = bucketFor(key);
    Key k(key);
    auto it = search(b, k);
    if (it != b.entries.end()) {
      value = it->value;
      return false;
    }
    append(b, k, value);
    return true;
  }
  // Replaces the value of a present key in place, or appends a new entry.
  bool insertOrAssign(const IntArray& key, const V& value) {
    Bucket& b = bucketFor(key);
    Key k(key);
    auto it = search(b, k);
    if (it != b.entries.end()) {
      it->value = value;
      return false;
    }
    append(b, k, value);
    return true;
  }
  bool erase(const IntArray& key) {
    Bucket& b = bucketFor(key);
    Key k(key);
    for (auto it = b.entries.begin(); it != b.entries.end(); ++it) {
      if (it->key == k) {
        if (b.cursor == it) stepBack(b);
        b.entries.erase(it);
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
    if (b.cursor == b.entries.end()) return;
    auto it = b.cursor;
    stepBack(b);
    b.entries.erase(it);
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
  struct Entry {
    Key key;
    V value;
  };
  using List = std::list<Entry>;
  // cursor == entries.end() stands for the head (before the first entry).
  struct Bucket {
    List entries;
    typename List::iterator cursor;
  };

  Bucket& bucketFor(const IntArray& key) { return buckets_[bucketOf(key)]; }
  typename List::iterator search(Bucket& b, const Key& k) {
    auto it = b.cursor == b.entries.end() ? b.entries.begin() : std::next(b.cursor);
    b.cursor = b.entries.end();
    for (; it != b.entries.end(); ++it)
      if (it->key == k) return it;
    return b.entries.end();
  }
  void append(Bucket& b, const Key& k, const V& value) {
    b.entries.push_back(Entry{k, value});
    b.cursor = b.entries.end();
    ++entryCount_;
  }
  void stepBack(Bucket& b) {
    b.cursor = b.cursor == b.entries.begin() ? b.entries.end() : std::prev(b.cursor);
  }
  const Entry* advance(int bucket) {
    Bucket& b = buckets_[bucket];
    b.cursor = b.cursor == b.entries.end() ? b.entries.begin() : std::next(b.cursor);
    return b.cursor == b.entries.end() ? nullptr : &*b.cursor;
  }

  std::vector<Bucket> buckets_;
  TupleHash hash_;
  int entryCount_ = 0;
};

using TupleIndexMap = TupleMap<int>;

}  // namespace cagewarp
