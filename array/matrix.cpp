#include "array/matrix.h"

#include <cctype>
#include <cmath>

namespace cagewarp {
namespace {

bool sameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

float absolute(float x) {
  return x > 0 ? x : -x;
}

}  // namespace

Matrix::Matrix(int rows, int cols) : FloatArray({rows, cols}, 0.0f) {}

Matrix::Matrix(int rows, int cols, std::string_view name) : Matrix(rows, cols) {
  float* e = data();
  if (sameName(name, "fill")) {
    for (int k = 0; k < count(); ++k) e[k] = static_cast<float>(k);
  } else if (sameName(name, "ones")) {
    std::fill(e, e + count(), 1.0f);
  } else if (sameName(name, "eye")) {
    for (int64_t k = 0; k < count(); k += int64_t{cols} + 1) e[k] = 1.0f;
  } else if (sameName(name, "nchoosek") && cols == 1 && rows > 0) {
    e[0] = 1.0f;
    for (int i = 1; i < rows; ++i)
      e[i] = e[i - 1] * static_cast<float>(rows - i) / static_cast<float>(i);
  }
}

float Matrix::normalize(int p) {
  float norm = 0.0f;
  float* e = data();
  switch (p) {
    case 0:
      for (int i = 0; i < count(); ++i) norm = largerOf(absolute(e[i]), norm);
      break;
    case 1:
      for (int i = 0; i < count(); ++i) norm = absolute(e[i]) + norm;
      break;
    case 2:
      for (int i = 0; i < count(); ++i) norm = norm + e[i] * e[i];
      norm = static_cast<float>(std::sqrt(static_cast<double>(norm)));
      break;
    default:
      break;
  }
  if (!(norm > 1e-20)) return 0.0f;
  const float r = 1.0f / norm;
  for (int i = 0; i < count(); ++i) e[i] = r * e[i];
  return norm;
}

float Matrix::dot(const FloatArray& other) const {
  const int m = std::min(count(), other.count());
  float sum = 0.0f;
  for (int i = 0; i < m; ++i) sum = sum + (*this)[i] * other[i];
  return sum;
}

Matrix Matrix::cross(const FloatArray& other) const {
  Matrix result(rows(), cols());
  const Matrix& a = *this;
  const FloatArray& b = other;
  result[0] = b[2] * a[1] - b[1] * a[2];
  result[1] = b[0] * a[2] - b[2] * a[0];
  result[2] = b[1] * a[0] - b[0] * a[1];
  return result;
}

Matrix& Matrix::crossInPlace(const FloatArray& other) {
  const Matrix& a = *this;
  const FloatArray& b = other;
  const float x = b[2] * a[1] - b[1] * a[2];
  const float y = b[0] * a[2] - b[2] * a[0];
  const float z = b[1] * a[0] - b[0] * a[1];
  (*this)[0] = x;
  (*this)[1] = y;
  (*this)[2] = z;
  return *this;
}

Matrix Matrix::operator-(const FloatArray& other) const {
  Matrix result(*this);
  const int m = std::min(count(), other.count());
  for (int i = 0; i < m; ++i) result[i] = (*this)[i] - other[i];
  return result;
}

Matrix Matrix::operator*(const Matrix& other) const {
  const int r = rows();
  const int m = cols();
  const int c = other.cols();
  Matrix result(r, c);
  for (int i = 0; i < c; ++i) {
    float* out = result.column(i);
    for (int j = 0; j < m; ++j) {
      const float b = other(j, i);
      const float* a = column(j);
      for (int k = 0; k < r; ++k) out[k] = a[k] * b + out[k];
    }
  }
  return result;
}

Matrix& Matrix::rightMultiplyInPlace(const Matrix& b) {
  *this = *this * b;
  return *this;
}

Matrix Matrix::greaterThan(float x) const {
  Matrix result(rows(), cols());
  for (int i = 0; i < count(); ++i) result[i] = (*this)[i] > x ? 1.0f : 0.0f;
  return result;
}

IntMatrix::IntMatrix(int rows, int cols) : IntArray({rows, cols}, 0) {}

}  // namespace cagewarp
