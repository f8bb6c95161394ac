#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <system_error>

namespace cagewarp {

// Longest text of one number: sign, 6 digits, point, exponent ("-1.23457e-38"), or "-nan".
inline constexpr int maxNumberText = 16;

// Writes a float as printf's "%g" (precision 6) does: six significant digits, the shorter of
// fixed and exponent notation, trailing zeros dropped. Returns the end of the text. The bytes
// after the text, up to maxNumberText from `out`, may be overwritten.
char* formatFloat(char* out, float value);
// Room formatFloatShortest needs at `out`: the longest text ("-1.17549435e-38", 15 characters)
// and the whole eight-byte words it writes past a shorter one.
inline constexpr int maxShortestText = 24;

// Writes a float as std::to_chars without a format does: the fewest significant digits that read
// back as the same float (the nearest such digits where several are as short), in the shorter of
// fixed and exponent notation, fixed on a tie. Returns the end of the text. The bytes after the
// text, up to maxShortestText from `out`, may be overwritten.
char* formatFloatShortest(char* out, float value);
// Writes a float as printf's "%.9g" does: nine significant digits, enough for every float to
// read back as itself. Returns the end of the text.
char* formatFloatPrecise(char* out, float value);

inline char* formatInt(char* out, int32_t value) {
  return std::to_chars(out, out + maxNumberText, value).ptr;
}
inline std::string floatText(float value) {
  char buffer[maxNumberText];
  return std::string(buffer, formatFloat(buffer, value));
}

}  // namespace cagewarp
