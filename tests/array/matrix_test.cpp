#include "array/matrix.h"

#include <gtest/gtest.h>

namespace cagewarp {
namespace {

Matrix vector3(float x, float y, float z) {
  Matrix v(3, 1);
  v[0] = x;
  v[1] = y;
  v[2] = z;
  return v;
}

TEST(Matrix, NamedConstructors) {
  Matrix eye(3, 3, "EYE");
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) EXPECT_EQ(eye(r, c), r == c ? 1.0f : 0.0f);
  Matrix zero(2, 2, "");
  for (int i = 0; i < 4; ++i) EXPECT_EQ(zero[i], 0.0f);
  Matrix binomial(4, 1, "nchoosek");
  EXPECT_EQ(binomial[0], 1.0f);
  EXPECT_EQ(binomial[1], 3.0f);
  EXPECT_EQ(binomial[2], 3.0f);
  EXPECT_EQ(binomial[3], 1.0f);
  Matrix fill(2, 3, "fill");
  EXPECT_EQ(fill(0, 0), 0.0f);
  EXPECT_EQ(fill(0, 1), 2.0f);
  EXPECT_EQ(fill(0, 2), 4.0f);
  Matrix ones(2, 2, "Ones");
  EXPECT_EQ(ones[3], 1.0f);
}

TEST(Matrix, NormalizeByEachNorm) {
  Matrix v = vector3(3, 4, 0);
  EXPECT_EQ(v.normalize(2), 5.0f);
  EXPECT_FLOAT_EQ(v[0], 0.6f);
  EXPECT_FLOAT_EQ(v[1], 0.8f);
  Matrix w(2, 1);
  w[0] = -2;
  w[1] = 1;
  EXPECT_EQ(w.normalize(0), 2.0f);
  EXPECT_EQ(w[0], -1.0f);
  EXPECT_EQ(w[1], 0.5f);
  Matrix u(2, 1);
  u[0] = 1;
  u[1] = -3;
  EXPECT_EQ(u.normalize(1), 4.0f);
  EXPECT_EQ(u[0], 0.25f);
  EXPECT_EQ(u[1], -0.75f);
  Matrix tiny = vector3(1e-21f, 0, 0);
  EXPECT_EQ(tiny.normalize(2), 0.0f);
  EXPECT_EQ(tiny[0], 1e-21f);
  Matrix other = vector3(1, 2, 3);
  EXPECT_EQ(other.normalize(5), 0.0f);
  EXPECT_EQ(other[2], 3.0f);
}

TEST(Matrix, CrossDotAndDifference) {
  Matrix x = vector3(1, 0, 0);
  Matrix y = vector3(0, 1, 0);
  Matrix z = x.cross(y);
  EXPECT_EQ(z[0], 0.0f);
  EXPECT_EQ(z[1], 0.0f);
  EXPECT_EQ(z[2], 1.0f);
  x.crossInPlace(y);
  EXPECT_EQ(x[2], 1.0f);
  Matrix self = vector3(1, 2, 3);
  self.crossInPlace(self);
  EXPECT_EQ(self[0], 0.0f);
  EXPECT_EQ(self[1], 0.0f);
  EXPECT_EQ(self[2], 0.0f);

  Matrix four(4, 1, "ones");
  EXPECT_EQ(four.dot(vector3(1, 2, 3)), 6.0f);
  Matrix diff = four - vector3(1, 1, 1);
  EXPECT_EQ(diff[0], 0.0f);
  EXPECT_EQ(diff[3], 1.0f);
}

TEST(Matrix, ProductShapesAndValues) {
  Matrix a(2, 3, "fill");  // columns (0,1), (2,3), (4,5)
  Matrix b(3, 2, "ones");
  Matrix c = a * b;
  ASSERT_EQ(c.rows(), 2);
  ASSERT_EQ(c.cols(), 2);
  EXPECT_EQ(c(0, 0), 6.0f);
  EXPECT_EQ(c(1, 1), 9.0f);
  Matrix empty = a * Matrix(3, 0);
  EXPECT_EQ(empty.rows(), 2);
  EXPECT_EQ(empty.cols(), 0);
  a.rightMultiplyInPlace(Matrix(3, 1, "ones"));
  ASSERT_EQ(a.cols(), 1);
  EXPECT_EQ(a(0, 0), 6.0f);
  EXPECT_EQ(a(1, 0), 9.0f);
}

// The product accumulates over the inner index in ascending order, each step rounded to float:
// 1e8 + 1 - 1e8 is 0 in that order, not 1.
TEST(Matrix, ProductAccumulatesInInnerIndexOrder) {
  Matrix a(1, 3);
  a[0] = 1e8f;
  a[1] = 1.0f;
  a[2] = -1e8f;
  EXPECT_EQ((a * Matrix(3, 1, "ones"))[0], 0.0f);
}

TEST(Matrix, GreaterThanMarksPositiveElements) {
  Matrix v = vector3(0, 1, -1);
  Matrix g = v.greaterThan(0);
  EXPECT_EQ(g[0], 0.0f);
  EXPECT_EQ(g[1], 1.0f);
  EXPECT_EQ(g[2], 0.0f);
  EXPECT_FALSE(g.allNonZero());
  Matrix nan = vector3(std::nanf(""), 1, 1);
  EXPECT_EQ(nan.greaterThan(0)[0], 0.0f);
}

}  // namespace
}  // namespace cagewarp
