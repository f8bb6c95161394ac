#include "formats/coordinate_sites.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace cagewarp {
namespace {

bool same(const CoordinateSite& a, const CoordinateSite& b) {
  return a.offset == b.offset && a.length == b.length && a.vertex == b.vertex && a.axis == b.axis &&
         a.encoding == b.encoding;
}

// Sites come back as added, whatever the steps between them: text after text, a vertex repeated
// (an STL corner merged into an earlier vertex), offsets going back, and the extremes of a 16 GiB
// file and of the vertex numbers.
TEST(CoordinateSites, GiveBackWhatWasAddedInOrder) {
  const std::vector<CoordinateSite> added = {
      {12, 3, 0, 0, CoordinateEncoding::text},
      {16, 8, 0, 1, CoordinateEncoding::text},
      {25, 1, 0, 2, CoordinateEncoding::text},
      {27, 4, 1, 0, CoordinateEncoding::float32Little},
      {31, 8, 1, 1, CoordinateEncoding::float64Big},
      {5, 2, 0, 2, CoordinateEncoding::text},
      {int64_t{1} << 34, int64_t{1} << 33, INT32_MAX, 2, CoordinateEncoding::float32Big},
      {0, 0, 0, 0, CoordinateEncoding::float64Little},
      {(int64_t{1} << 34) + 9, 1, INT32_MAX - 7, 1, CoordinateEncoding::text},
  };
  CoordinateSites sites;
  EXPECT_TRUE(sites.empty());
  for (const CoordinateSite& site : added) sites.add(site);
  ASSERT_EQ(sites.size(), added.size());
  size_t k = 0;
  for (const CoordinateSite& site : sites) {
    ASSERT_LT(k, added.size());
    EXPECT_TRUE(same(site, added[k])) << "site " << k;
    ++k;
  }
  EXPECT_EQ(k, added.size());
}

}  // namespace
}  // namespace cagewarp
