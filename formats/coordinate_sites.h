#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <iterator>

namespace cagewarp {

// How one stored coordinate is spelled in a model file.
enum class CoordinateEncoding : uint8_t {
  text,  // a decimal number
  float32Little,
  float32Big,
  float64Little,
  float64Big,
};

// Where one coordinate (axis 0, 1, 2 = x, y, z) of a model vertex sits in the file's bytes. A
// vertex has one site per axis; an STL vertex has one per axis of every corner merged into it.
struct CoordinateSite {
  int64_t offset = 0;
  int64_t length = 0;
  int32_t vertex = 0;
  uint8_t axis = 0;
  CoordinateEncoding encoding = CoordinateEncoding::text;
};

// The sites of a file's coordinates in the order they were added, read back in that order. A
// model keeps one for every number it holds, so they are stored as the differences from the site
// before (where this one starts after that one's end, its length, its vertex when not the same or
// the next): two or three bytes a site in a text file, against its 24 as a struct; and in blocks,
// so that growing never copies what was stored.
class CoordinateSites {
 public:
  class Iterator {
   public:
    using iterator_category = std::input_iterator_tag;
    using value_type = CoordinateSite;
    using difference_type = std::ptrdiff_t;
    using pointer = const CoordinateSite*;
    using reference = CoordinateSite;

    Iterator() = default;
    CoordinateSite operator*() const { return site_; }
    const CoordinateSite* operator->() const { return &site_; }
    Iterator& operator++();
    Iterator operator++(int) {
      Iterator before = *this;
      ++*this;
      return before;
    }
    bool operator==(const Iterator& other) const { return index_ == other.index_; }

   private:
    friend class CoordinateSites;
    Iterator(const CoordinateSites* sites, size_t index) : sites_(sites), index_(index) {}
    void decode();

    const CoordinateSites* sites_ = nullptr;
    size_t index_ = 0;     // the site's number
    size_t position_ = 0;  // where its bytes start
    CoordinateSite site_;  // the site, once decoded
  };

  void add(const CoordinateSite& site);
  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  Iterator begin() const;
  Iterator end() const { return {this, count_}; }

 private:
  std::deque<uint8_t> bytes_;
  size_t count_ = 0;
  CoordinateSite last_;  // the site added last, which the next one is stored against
};

}  // namespace cagewarp
