#include "formats/coordinate_sites.h"

namespace cagewarp {
namespace {

// A site's first byte: its axis (bits 0-1), its encoding (bits 2-4) and how its vertex follows
// from the one before (bits 5-6).
enum VertexStep : uint8_t { sameVertex = 0, nextVertex = 1, otherVertex = 2 };

uint64_t zigzag(int64_t value) {
  return (static_cast<uint64_t>(value) << 1) ^ static_cast<uint64_t>(value >> 63);
}

int64_t unzigzag(uint64_t value) {
  return static_cast<int64_t>(value >> 1) ^ -static_cast<int64_t>(value & 1);
}

void putVarint(std::deque<uint8_t>& bytes, uint64_t value) {
  while (value >= 0x80) {
    bytes.push_back(static_cast<uint8_t>(value | 0x80));
    value >>= 7;
  }
  bytes.push_back(static_cast<uint8_t>(value));
}

uint64_t getVarint(const std::deque<uint8_t>& bytes, size_t& position) {
  uint64_t value = 0;
  for (int shift = 0;; shift += 7) {
    const uint8_t byte = bytes[position++];
    value |= static_cast<uint64_t>(byte & 0x7f) << shift;
    if (byte < 0x80) return value;
  }
}

}  // namespace

void CoordinateSites::add(const CoordinateSite& site) {
  // The first site is stored against an empty one at offset 0 of vertex 0.
  const int64_t vertexStep = static_cast<int64_t>(site.vertex) - last_.vertex;
  const uint8_t step = vertexStep == 0 ? sameVertex : vertexStep == 1 ? nextVertex : otherVertex;
  bytes_.push_back(
      static_cast<uint8_t>(site.axis | static_cast<uint8_t>(site.encoding) << 2 | step << 5));
  putVarint(bytes_, zigzag(site.offset - (last_.offset + last_.length)));
  putVarint(bytes_, static_cast<uint64_t>(site.length));
  if (step == otherVertex) putVarint(bytes_, zigzag(vertexStep));
  last_ = site;
  ++count_;
}

CoordinateSites::Iterator CoordinateSites::begin() const {
  Iterator first(this, 0);
  if (count_ > 0) first.decode();
  return first;
}

CoordinateSites::Iterator& CoordinateSites::Iterator::operator++() {
  if (++index_ < sites_->count_) decode();
  return *this;
}

void CoordinateSites::Iterator::decode() {
  const std::deque<uint8_t>& bytes = sites_->bytes_;
  const uint8_t head = bytes[position_++];
  const int64_t end = site_.offset + site_.length;
  site_.axis = head & 3;
  site_.encoding = static_cast<CoordinateEncoding>(head >> 2 & 7);
  site_.offset = end + unzigzag(getVarint(bytes, position_));
  site_.length = static_cast<int64_t>(getVarint(bytes, position_));
  const uint8_t step = head >> 5 & 3;
  if (step == nextVertex) ++site_.vertex;
  if (step == otherVertex)
    site_.vertex = static_cast<int32_t>(site_.vertex + unzigzag(getVarint(bytes, position_)));
}

}  // namespace cagewarp
