#include "formats/number_format.h"

#include <bit>
#include <cmath>
#include <cstring>

namespace cagewarp {
namespace {

constexpr int significantDigits = 6;
constexpr int preciseDigits = 9;
// 10^k as the nearest double (the compiler rounds each literal correctly), for k from minScale
// to maxScale: the comparisons that fix a float's decimal exponent, and the scale factors that
// bring it to six digits before the point.
constexpr int minScale = -45;
constexpr int maxScale = 51;
constexpr double powersOfTen[maxScale - minScale + 1] = {
    1e-45, 1e-44, 1e-43, 1e-42, 1e-41, 1e-40, 1e-39, 1e-38, 1e-37, 1e-36, 1e-35, 1e-34, 1e-33,
    1e-32, 1e-31, 1e-30, 1e-29, 1e-28, 1e-27, 1e-26, 1e-25, 1e-24, 1e-23, 1e-22, 1e-21, 1e-20,
    1e-19, 1e-18, 1e-17, 1e-16, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10, 1e-9,  1e-8,  1e-7,
    1e-6,  1e-5,  1e-4,  1e-3,  1e-2,  1e-1,  1e0,   1e1,   1e2,   1e3,   1e4,   1e5,   1e6,
    1e7,   1e8,   1e9,   1e10,  1e11,  1e12,  1e13,  1e14,  1e15,  1e16,  1e17,  1e18,  1e19,
    1e20,  1e21,  1e22,  1e23,  1e24,  1e25,  1e26,  1e27,  1e28,  1e29,  1e30,  1e31,  1e32,
    1e33,  1e34,  1e35,  1e36,  1e37,  1e38,  1e39,  1e40,  1e41,  1e42,  1e43,  1e44,  1e45,
    1e46,  1e47,  1e48,  1e49,  1e50,  1e51};

// "00" to "99", two characters each.
constexpr char digitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

// The general path: correct for every float but several times slower.
char* formatFloatExactly(char* out, float value) {
  return std::to_chars(out, out + maxNumberText, value, std::chars_format::general,
                       significantDigits)
      .ptr;
}

// Writes digits[from, to).
char* copyDigits(char* out, const char* digits, int from, int to) {
  std::memcpy(out, digits + from, static_cast<size_t>(to - from));
  return out + (to - from);
}

}  // namespace

// A float widened to double is exact, and scaling it by a rounded power of ten errs by a few
// units in the double's last place: far below what can move a six-digit rounding, unless the
// scaled value lies within a hair of a rounding boundary (exact ties among them), which is left
// to the general path.
char* formatFloat(char* out, float value) {
  const uint32_t bits = std::bit_cast<uint32_t>(value);
  const uint32_t magnitudeBits = bits & 0x7fffffffu;
  if (magnitudeBits >= 0x7f800000u) return formatFloatExactly(out, value);  // inf, nan
  char* p = out;
  if (bits >> 31) *p++ = '-';
  if (magnitudeBits == 0) {
    *p++ = '0';
    return p;
  }
  const double v = std::bit_cast<float>(magnitudeBits);
  // floor(log10(v)) is the estimate from the binary exponent or one more.
  const int binaryExponent = static_cast<int>((std::bit_cast<uint64_t>(v) >> 52) & 0x7ff) - 1023;
  int exponent = (binaryExponent * 78913) >> 18;  // floor(binaryExponent * log10(2))
  if (v >= powersOfTen[exponent + 1 - minScale]) ++exponent;
  const double scaled = v * powersOfTen[significantDigits - 1 - exponent - minScale];
  // Truncation is the floor: the scaled value is positive and below 2^32.
  auto digitsValue = static_cast<uint32_t>(scaled);
  const double fraction = scaled - digitsValue;
  if (std::fabs(fraction - 0.5) < 1e-7) return formatFloatExactly(out, value);
  digitsValue += fraction > 0.5 ? 1 : 0;
  if (digitsValue == 1000000) {
    digitsValue = 100000;
    ++exponent;
  }
  if (digitsValue < 100000 || digitsValue > 999999) return formatFloatExactly(out, value);

  char digits[significantDigits];
  std::memcpy(digits, digitPairs + 2 * (digitsValue / 10000), 2);
  std::memcpy(digits + 2, digitPairs + 2 * (digitsValue / 100 % 100), 2);
  std::memcpy(digits + 4, digitPairs + 2 * (digitsValue % 100), 2);
  int length = significantDigits;
  while (digits[length - 1] == '0') --length;

  if (exponent >= -4 && exponent < significantDigits) {
    if (exponent >= 0) {
      p = copyDigits(p, digits, 0, exponent + 1);
      if (length > exponent + 1) {
        *p++ = '.';
        p = copyDigits(p, digits, exponent + 1, length);
      }
    } else {
      *p++ = '0';
      *p++ = '.';
      for (int i = 0; i < -exponent - 1; ++i) *p++ = '0';
      p = copyDigits(p, digits, 0, length);
    }
    return p;
  }
  *p++ = digits[0];
  if (length > 1) {
    *p++ = '.';
    p = copyDigits(p, digits, 1, length);
  }
  *p++ = 'e';
  *p++ = exponent < 0 ? '-' : '+';
  const int magnitude = exponent < 0 ? -exponent : exponent;
  *p++ = static_cast<char>('0' + magnitude / 10);
  *p++ = static_cast<char>('0' + magnitude % 10);
  return p;
}

char* formatFloatPrecise(char* out, float value) {
  return std::to_chars(out, out + maxNumberText, value, std::chars_format::general, preciseDigits)
      .ptr;
}

}  // namespace cagewarp
