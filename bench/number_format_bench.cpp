// Time per value of the float texts D is written in: six significant digits (.mat), the shortest
// text that reads back (.mtx) against std::to_chars, which gives the same bytes, and nine digits
// (precise cage text). The values are like a refined cage's weights, the output buffer touched
// before the clock starts.
//   number_format_bench [COUNT]
#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

#include "formats/number_format.h"

namespace {

template <class Format>
double nanosecondsPerValue(const std::vector<float>& values, std::vector<char>& out,
                           Format format) {
  const auto start = std::chrono::steady_clock::now();
  char* p = out.data();
  for (float v : values) {
    p = format(p, v);
    *p++ = ' ';
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return seconds * 1e9 / static_cast<double>(values.size());
}

}  // namespace

int main(int argc, char** argv) {
  using namespace cagewarp;
  const long count = argc > 1 ? std::atol(argv[1]) : 10'000'000;
  if (count <= 0) {
    std::fprintf(stderr, "usage: number_format_bench [COUNT]\n");
    return 2;
  }
  std::mt19937 random(1);
  std::uniform_real_distribution<float> weight(-0.05f, 0.35f);
  std::vector<float> values(static_cast<size_t>(count));
  for (float& v : values) v = weight(random);
  std::vector<char> out(values.size() * (maxShortestText + 1), ' ');
  for (int round = 0; round < 3; ++round) {
    std::printf(
        "six digits %.1f ns, shortest %.1f ns (std::to_chars %.1f ns), nine digits %.1f ns\n",
        nanosecondsPerValue(values, out, formatFloat),
        nanosecondsPerValue(values, out, formatFloatShortest),
        nanosecondsPerValue(
            values, out,
            [](char* p, float v) { return std::to_chars(p, p + maxShortestText, v).ptr; }),
        nanosecondsPerValue(values, out, formatFloatPrecise));
  }
  return 0;
}
