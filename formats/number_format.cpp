#include "formats/number_format.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>

#include <fmt/format.h>

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

// How many of a digit pair's characters remain once trailing zeros go: 2 for "x1".."x9", 1 for
// "10".."90", 0 for "00".
constexpr auto pairLengths = [] {
  std::array<int8_t, 100> lengths{};
  for (int i = 0; i < 100; ++i) lengths[i] = static_cast<int8_t>(i % 10 != 0 ? 2 : i != 0 ? 1 : 0);
  return lengths;
}();

// Copies eight bytes: the digit texts are written whole and the end pointer then placed after the
// characters that count, which spares a length-dependent copy per number. Every text fits with
// its overrun in maxNumberText bytes.
void copyEight(char* out, const char* from) {
  std::memcpy(out, from, 8);
}

// "e", the sign and the two digits of a decimal exponent of a float (below 100 in magnitude).
char* putExponent(char* p, int exponent) {
  const int magnitude = exponent < 0 ? -exponent : exponent;
  p[0] = 'e';
  p[1] = exponent < 0 ? '-' : '+';
  std::memcpy(p + 2, digitPairs + 2 * magnitude, 2);
  return p + 4;
}

// Eight digits of n < 10^8 as text, the first in the lowest byte: n splits into two halves of
// four digits in 32-bit lanes, those into pairs in 16-bit lanes, those into digits in bytes, each
// by a multiply and shift that divides every lane at once.
uint64_t eightDigits(uint32_t n) {
  uint64_t v = (n / 10000) | (uint64_t{n % 10000} << 32);
  const uint64_t hundreds = ((v * 10486) >> 20) & 0x0000007f0000007full;
  v = hundreds | ((v - hundreds * 100) << 16);
  const uint64_t tens = ((v * 103) >> 10) & 0x000f000f000f000full;
  v = tens | ((v - tens * 10) << 8);
  return v + 0x3030303030303030ull;
}

void storeEight(char* out, uint64_t bytes) {
  std::memcpy(out, &bytes, 8);
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

  // The six digits, then zeros, so that an eight-byte copy from any digit stays in the array.
  char digits[16];
  const uint32_t high = digitsValue / 10000;
  const uint32_t middle = digitsValue / 100 % 100;
  const uint32_t low = digitsValue % 100;
  std::memcpy(digits, digitPairs + 2 * high, 2);
  std::memcpy(digits + 2, digitPairs + 2 * middle, 2);
  std::memcpy(digits + 4, digitPairs + 2 * low, 2);
  std::memcpy(digits + 6, "0000000000", 10);
  // Significant digits without trailing zeros; the leading digit is never zero.
  const int length = low != 0      ? 4 + pairLengths[low]
                     : middle != 0 ? 2 + pairLengths[middle]
                                   : pairLengths[high];

  if (exponent >= 0 && exponent < significantDigits) {
    // Integer digits, then the point and the rest when any is left.
    copyEight(p, digits);
    if (length <= exponent + 1) return p + exponent + 1;
    p[exponent + 1] = '.';
    copyEight(p + exponent + 2, digits + exponent + 1);
    return p + length + 1;
  }
  if (exponent < 0 && exponent >= -4) {
    // "0.", -exponent - 1 zeros, the digits.
    copyEight(p, "0.000000");
    copyEight(p + 1 - exponent, digits);
    return p + 1 - exponent + length;
  }
  p[0] = digits[0];
  p[1] = '.';
  copyEight(p + 2, digits + 1);
  return putExponent(p + (length > 1 ? length + 1 : 1), exponent);
}

// The digits come from the fmt library's Dragonbox (fmt exports it only among its internals); the
// text is laid out here as std::to_chars lays out the same digits, by whole words written to
// `out`. About a fifth faster than std::to_chars on a refined cage's weights.
char* formatFloatShortest(char* out, float value) {
  const uint32_t bits = std::bit_cast<uint32_t>(value);
  const uint32_t magnitudeBits = bits & 0x7fffffffu;
  if (magnitudeBits == 0 || magnitudeBits >= 0x7f800000u)  // zeros, inf, nan
    return std::to_chars(out, out + maxShortestText, value).ptr;
  const auto decimal = fmt::detail::dragonbox::to_decimal(std::bit_cast<float>(magnitudeBits));
  // The value is significand * 10^e, the significand of at most nine digits without trailing
  // zeros; its leading digit stands for 10^x.
  uint32_t significand = decimal.significand;
  const int e = decimal.exponent;
  int length = 9;
  for (; significand < 100000000; --length)
    significand *= 10;  // nine digits, the last ones the zeros it did not have
  const int x = length - 1 + e;
  // Texts of either notation, sign apart; a float's decimal exponent has at most two digits.
  const int exponentLength = length + (length > 1 ? 1 : 0) + 4;
  const int fixedLength = e >= 0 ? length + e : x >= 0 ? length + 1 : length + 1 - x;
  // An integer past the float's exact range is written in full in fixed notation, which the
  // digits alone do not give.
  if (e > 0 && fixedLength <= exponentLength)
    return std::to_chars(out, out + maxShortestText, value).ptr;

  const char first = static_cast<char>('0' + significand / 100000000);
  const uint64_t rest = eightDigits(significand % 100000000);  // digits 2 to 9
  char* p = out;
  *p = '-';
  p += bits >> 31;
  if (fixedLength > exponentLength) {
    p[0] = first;
    p[1] = '.';
    storeEight(p + 2, rest);
    return putExponent(p + (length > 1 ? length + 1 : 1), x);
  }
  if (x < 0) {
    // "0.", -x - 1 zeros (at most four), the digits.
    storeEight(p, 0x3030303030302e30ull);  // "0.000000"
    p[1 - x] = first;
    storeEight(p + 2 - x, rest);
    return p + 1 - x + length;
  }
  // x + 1 digits before the point, the rest after it; an integer (e = 0) has no point.
  p[0] = first;
  storeEight(p + 1, rest);
  if (e == 0) return p + length;
  storeEight(p + x + 2, rest >> (8 * x));  // x < length - 1, at most 7
  p[x + 1] = '.';
  return p + length + 1;
}

char* formatFloatPrecise(char* out, float value) {
  return std::to_chars(out, out + maxNumberText, value, std::chars_format::general, preciseDigits)
      .ptr;
}

}  // namespace cagewarp
