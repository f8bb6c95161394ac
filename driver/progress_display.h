#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace cagewarp {

// A one-line display of what a long run is doing, for a terminal: redrawn in place with a
// carriage return, drawn only once the run has lasted `delay`, and taken away before any other
// output. Safe to use from the run's thread and one redrawing thread.
class ProgressDisplay {
 public:
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  using Sink = std::function<void(std::string_view)>;

  ProgressDisplay(Sink sink, Clock clock, std::chrono::milliseconds delay);

  // What the run does now.
  void show(std::string what);
  // The same, with `done` of `total` counted while it runs ("locating 5 of 9 model vertices":
  // `what` "locating", `unit` "model vertices"); `done` must outlive the phase.
  void showCount(std::string what, const std::atomic<int64_t>* done, int64_t total,
                 std::string unit);
  // Draws the line if the run has lasted long enough and its text changed.
  void refresh();
  // Takes the line away, before other output or at the end; refresh draws it again.
  void clear();
  // Takes the line away and calls `output` before it can be drawn again.
  void clearFor(const std::function<void()>& output);

 private:
  std::string textLocked() const;
  void clearLocked();

  std::mutex lock_;
  Sink sink_;
  Clock clock_;
  std::chrono::steady_clock::time_point showFrom_;
  std::string what_, unit_;
  const std::atomic<int64_t>* done_ = nullptr;
  int64_t total_ = 0;
  std::string drawn_;  // the text on the terminal now; empty when none
};

// Calls display.refresh() a few times a second on a thread of its own until destroyed.
class ProgressTicker {
 public:
  ProgressTicker(ProgressDisplay& display, std::chrono::milliseconds period);
  ~ProgressTicker();
  ProgressTicker(const ProgressTicker&) = delete;
  ProgressTicker& operator=(const ProgressTicker&) = delete;

 private:
  std::mutex lock_;
  std::condition_variable wake_;
  bool stop_ = false;
  std::thread thread_;
};

}  // namespace cagewarp
