#include "formats/number_format.h"

#include <gtest/gtest.h>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>
#include <vector>

namespace cagewarp {
namespace {

std::string printfText(float value, const char* format = "%g") {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, static_cast<double>(value));
  return buffer;
}

std::string preciseText(float value) {
  char buffer[maxNumberText];
  return std::string(buffer, formatFloatPrecise(buffer, value));
}

TEST(NumberFormat, SpecialValuesMatchPrintf) {
  const float specials[] = {0.0f,
                            -0.0f,
                            1.0f,
                            0.5f,
                            1.0f / 3,
                            1e-7f,
                            100000.0f,
                            1000000.0f,
                            123456.5f,
                            999999.5f,
                            0.0001f,
                            0.00001f,
                            std::numeric_limits<float>::infinity(),
                            -std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN(),
                            -std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::denorm_min(),
                            std::numeric_limits<float>::min(),
                            std::numeric_limits<float>::max(),
                            -std::numeric_limits<float>::max()};
  for (float v : specials) EXPECT_EQ(floatText(v), printfText(v)) << printfText(v);
}

TEST(NumberFormat, MillionsOfRandomFloatsMatchPrintf) {
  std::mt19937 random(2026);
  int mismatches = 0;
  for (int i = 0; i < 3'000'000 && mismatches < 5; ++i) {
    // Random bit patterns cover every exponent, denormals and NaN payloads.
    const float v = std::bit_cast<float>(static_cast<uint32_t>(random()));
    const std::string ours = floatText(v);
    const std::string theirs = printfText(v);
    if (ours != theirs) {
      ++mismatches;
      ADD_FAILURE() << std::bit_cast<uint32_t>(v) << ": " << ours << " vs " << theirs;
    }
  }
  EXPECT_EQ(mismatches, 0);
}

// Runs of consecutive floats where six-digit rounding is delicate: exact ties (a spacing of 1/2
// or finer at six-digit integers), decade edges, and the fixed/exponent switch.
TEST(NumberFormat, ConsecutiveFloatsAtRoundingEdgesMatchPrintf) {
  const float starts[] = {100000.0f, 131072.0f,  999990.0f, 0.000099999f, 9.99990e-5f,
                          1e-5f,     9.9999e37f, 1e-38f,    0.1f,         3.40282e38f};
  for (float start : starts) {
    uint32_t bits = std::bit_cast<uint32_t>(start);
    int mismatches = 0;
    for (int i = 0; i < 200'000 && mismatches < 3; ++i, ++bits) {
      const float v = std::bit_cast<float>(bits);
      if (floatText(v) == printfText(v)) continue;
      ++mismatches;
      ADD_FAILURE() << bits << ": " << floatText(v) << " vs " << printfText(v);
    }
  }
}

// Every count of significant digits (trailing zeros dropped) at every decimal exponent and both
// signs: random bit patterns almost always give six digits, and each place of the decimal point
// is laid out apart.
TEST(NumberFormat, ShortDigitStringsAtEveryExponentMatchPrintf) {
  const char* const digitStrings[] = {"1",      "9",       "1.2",     "5.05",    "9.87", "1.001",
                                      "3.3333", "2.00004", "9.99999", "1.00001", "4.5"};
  int mismatches = 0;
  for (const char* digits : digitStrings) {
    for (int exponent = -46; exponent <= 39 && mismatches < 5; ++exponent) {
      for (const char* sign : {"", "-"}) {
        const std::string text = sign + std::string(digits) + "e" + std::to_string(exponent);
        const float v = std::strtof(text.c_str(), nullptr);
        if (floatText(v) == printfText(v)) continue;
        ++mismatches;
        ADD_FAILURE() << text << ": " << floatText(v) << " vs " << printfText(v);
      }
    }
  }
}

// The nine-digit form over every exponent, denormals, NaN payloads and the longest texts.
TEST(NumberFormat, PreciseFloatsMatchPrintf) {
  std::mt19937 random(2027);
  std::vector<float> values = {0.0f,
                               -0.0f,
                               1.0f,
                               0.1f,
                               -std::numeric_limits<float>::min(),
                               -std::numeric_limits<float>::denorm_min(),
                               std::numeric_limits<float>::max(),
                               std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::quiet_NaN()};
  for (int i = 0; i < 100'000; ++i)
    values.push_back(std::bit_cast<float>(static_cast<uint32_t>(random())));
  int mismatches = 0;
  for (float v : values) {
    if (preciseText(v) == printfText(v, "%.9g") || ++mismatches > 5) continue;
    ADD_FAILURE() << std::bit_cast<uint32_t>(v) << ": " << preciseText(v) << " vs "
                  << printfText(v, "%.9g");
  }
}

// The shortest form against std::to_chars: random bit patterns (every exponent, denormals, NaN
// payloads), then runs of consecutive floats where the layout or the digit count changes.
TEST(NumberFormat, ShortestFloatsMatchToChars) {
  std::mt19937 random(2028);
  std::vector<float> values = {0.0f, -0.0f, std::numeric_limits<float>::infinity(),
                               -std::numeric_limits<float>::quiet_NaN()};
  for (int i = 0; i < 1'000'000; ++i)
    values.push_back(std::bit_cast<float>(static_cast<uint32_t>(random())));
  // Decade edges, the fixed/exponent switches on both sides, integers past the exact range,
  // the ends of the normal and denormal ranges.
  for (float start : {1e-5f, 9.9999e-5f, 0.001f, 0.1f, 1.0f, 9.99999f, 1e5f, 1e7f, 16777216.0f,
                      1.2345678e8f, 1e10f, 3.4e38f, 1.1754e-38f, 0.0f}) {
    uint32_t bits = std::bit_cast<uint32_t>(start);
    for (int i = 0; i < 50'000; ++i, ++bits) {
      values.push_back(std::bit_cast<float>(bits));
      values.push_back(-std::bit_cast<float>(bits));
    }
  }
  int mismatches = 0;
  for (float v : values) {
    char ours[maxShortestText], theirs[32];
    const std::string a(ours, formatFloatShortest(ours, v));
    const std::string b(theirs, std::to_chars(theirs, theirs + sizeof theirs, v).ptr);
    if (a == b || ++mismatches > 5) continue;
    ADD_FAILURE() << std::bit_cast<uint32_t>(v) << ": " << a << " vs " << b;
  }
}

TEST(NumberFormat, IntsInPlainDecimal) {
  char buffer[maxNumberText];
  EXPECT_EQ(std::string(buffer, formatInt(buffer, -2147483647 - 1)), "-2147483648");
  EXPECT_EQ(std::string(buffer, formatInt(buffer, 0)), "0");
}

}  // namespace
}  // namespace cagewarp
