#pragma once

#include <array>

namespace cagewarp {

// A point or direction in double precision, for geometry that is worked out in double and
// rounded to float once at the end.
using Vector3 = std::array<double, 3>;

inline Vector3 difference(const Vector3& a, const Vector3& b) {
  return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}

inline Vector3 cross(const Vector3& a, const Vector3& b) {
  return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

inline double dot(const Vector3& a, const Vector3& b) {
  return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

}  // namespace cagewarp
