#pragma once

#include <string_view>

#include "array/nd_array.h"

namespace cagewarp {

// A 2-D float array with the single-precision vector and matrix operations of the geometry.
// Every stored intermediate is rounded to float, in the order each operation documents.
class Matrix : public FloatArray {
 public:
  Matrix() = default;
  // rows x cols, all zero.
  Matrix(int rows, int cols);
  // Named constructors, name compared without regard to ASCII case: "" (zeros), "fill"
  // (element k = k), "ones", "eye" (ones on the diagonal), "nchoosek" (one column of binomial
  // coefficients C(rows-1, i)).
  Matrix(int rows, int cols, std::string_view name);
  explicit Matrix(const FloatArray& base) : FloatArray(base) {}
  explicit Matrix(FloatArray&& base) noexcept : FloatArray(std::move(base)) {}
  ~Matrix() override = default;
  Matrix(const Matrix&) = default;
  Matrix(Matrix&&) noexcept = default;
  Matrix& operator=(const Matrix&) = default;
  Matrix& operator=(Matrix&&) noexcept = default;

  float& operator()(int r, int c) { return at(r, c); }
  float operator()(int r, int c) const { return at(r, c); }

  // Divides the elements by their p-norm (0: maximum, 1: sum, 2: Euclidean) and returns the
  // norm; a norm not above 1e-20, or another p, returns 0 and changes nothing.
  float normalize(int p);
  // Sum of products over the shorter of the two arrays.
  float dot(const FloatArray& other) const;
  // this x other for 3-vectors (elements 0..2); further elements of the result are zero.
  Matrix cross(const FloatArray& other) const;
  Matrix& crossInPlace(const FloatArray& other);
  // Element-wise difference over the common length; further elements keep this array's values.
  Matrix operator-(const FloatArray& other) const;
  // Matrix product, accumulated column by column, inner index, then row.
  Matrix operator*(const Matrix& other) const;
  // Replaces this r x m matrix by this * b (b is m x c), summing over j in ascending order.
  Matrix& rightMultiplyInPlace(const Matrix& b);
  // 1 where the element is greater than x, else 0 (NaN gives 0).
  Matrix greaterThan(float x) const;
};

class IntMatrix : public IntArray {
 public:
  IntMatrix() = default;
  // rows x cols, all zero.
  IntMatrix(int rows, int cols);
  explicit IntMatrix(const IntArray& base) : IntArray(base) {}
  explicit IntMatrix(IntArray&& base) noexcept : IntArray(std::move(base)) {}
  ~IntMatrix() override = default;
  IntMatrix(const IntMatrix&) = default;
  IntMatrix(IntMatrix&&) noexcept = default;
  IntMatrix& operator=(const IntMatrix&) = default;
  IntMatrix& operator=(IntMatrix&&) noexcept = default;
};

// Comparisons with the tie rules the geometry relies on.
inline const float& largerOf(const float& a, const float& b) {
  return a > b ? a : b;
}
inline const float& smallerOf(const float& a, const float& b) {
  return a >= b ? b : a;
}
inline const int& smallerOf(const int& a, const int& b) {
  return a < b ? a : b;
}

}  // namespace cagewarp
