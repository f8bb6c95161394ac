#include "driver/progress_display.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace cagewarp {
namespace {

using std::chrono::milliseconds;

// One step of a display's life and what the terminal receives from it.
struct Step {
  int atMs;  // the fake clock's time, from the display's start
  std::function<void(ProgressDisplay&, std::atomic<int64_t>&)> action;
  std::string written;
};

void refresh(ProgressDisplay& d, std::atomic<int64_t>&) {
  d.refresh();
}
void clear(ProgressDisplay& d, std::atomic<int64_t>&) {
  d.clear();
}
auto show(std::string what) {
  return [what](ProgressDisplay& d, std::atomic<int64_t>&) { d.show(what); };
}
auto count(int64_t done) {
  return [done](ProgressDisplay& d, std::atomic<int64_t>& counter) {
    counter = done;
    d.showCount("locating", &counter, 900, "model vertices");
  };
}

TEST(ProgressDisplay, DrawsLateRedrawsOnChangeAndClearsInPlace) {
  const Step steps[] = {
      {0, show("refinement step 1 of 3"), ""},
      {500, refresh, ""},  // a run shorter than the delay shows nothing
      {999, clear, ""},    // nothing to take away
      {1000, refresh, "\rrefinement step 1 of 3\rrefinement step 1 of 3"},
      {1250, refresh, ""},  // unchanged: not drawn again
      {1300, count(12), ""},
      {1500, refresh, "\rlocating 12 of 900 model vertices\rlocating 12 of 900 model vertices"},
      {1750, count(900), ""},
      {1750, refresh, "\rlocating 900 of 900 model vertices\rlocating 900 of 900 model vertices"},
      // A shorter text blanks out the rest of the longer one.
      {2000, show("writing D"), ""},
      {2000, refresh, "\rwriting D" + std::string(25, ' ') + "\rwriting D"},
      {2100, clear, "\r         \r"},
      {2100, clear, ""},
      {2250, refresh, "\rwriting D\rwriting D"},  // back after other output
  };
  const auto start = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
  auto now = start;
  std::string written;
  ProgressDisplay display([&written](std::string_view text) { written += text; },
                          [&now] { return now; }, milliseconds(1000));
  std::atomic<int64_t> counter{0};
  for (const Step& step : steps) {
    now = start + milliseconds(step.atMs);
    written.clear();
    step.action(display, counter);
    EXPECT_EQ(written, step.written) << "at " << step.atMs << " ms";
  }
}

// The ticker redraws on its own thread until it is gone, then never again.
TEST(ProgressDisplay, TickerRefreshesUntilDestroyed) {
  std::atomic<int> draws{0};
  std::atomic<int64_t> counter{0};
  ProgressDisplay display([&draws](std::string_view) { ++draws; },
                          [] { return std::chrono::steady_clock::now(); }, milliseconds(0));
  display.showCount("locating", &counter, 1'000'000, "model vertices");
  {
    ProgressTicker ticker(display, milliseconds(1));
    for (int i = 0; i < 2000 && draws < 3; ++i) {
      counter += 1000;
      std::this_thread::sleep_for(milliseconds(1));
    }
  }
  EXPECT_GE(draws.load(), 3);
  const int after = draws;
  counter += 1000;
  std::this_thread::sleep_for(milliseconds(20));
  EXPECT_EQ(draws.load(), after);
}

}  // namespace
}  // namespace cagewarp
