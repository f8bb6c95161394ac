#include "driver/progress_display.h"

#include <utility>

namespace cagewarp {

ProgressDisplay::ProgressDisplay(Sink sink, Clock clock, std::chrono::milliseconds delay)
    : sink_(std::move(sink)), clock_(std::move(clock)), showFrom_(clock_() + delay) {}

void ProgressDisplay::show(std::string what) {
  showCount(std::move(what), nullptr, 0, "");
}

void ProgressDisplay::showCount(std::string what, const std::atomic<int64_t>* done, int64_t total,
                                std::string unit) {
  const std::lock_guard<std::mutex> hold(lock_);
  what_ = std::move(what);
  done_ = done;
  total_ = total;
  unit_ = std::move(unit);
}

std::string ProgressDisplay::textLocked() const {
  if (done_ == nullptr) return what_;
  return what_ + " " + std::to_string(done_->load(std::memory_order_relaxed)) + " of " +
         std::to_string(total_) + " " + unit_;
}

void ProgressDisplay::refresh() {
  const std::lock_guard<std::mutex> hold(lock_);
  if (clock_() < showFrom_) return;
  const std::string text = textLocked();
  if (text == drawn_) return;
  // Blanks over what is left of a longer earlier text.
  std::string line(1, '\r');
  line += text;
  if (drawn_.size() > text.size()) line.append(drawn_.size() - text.size(), ' ');
  line += '\r';
  line += text;
  sink_(line);
  drawn_ = text;
}

void ProgressDisplay::clear() {
  const std::lock_guard<std::mutex> hold(lock_);
  clearLocked();
}

void ProgressDisplay::clearFor(const std::function<void()>& output) {
  const std::lock_guard<std::mutex> hold(lock_);
  clearLocked();
  output();
}

void ProgressDisplay::clearLocked() {
  if (drawn_.empty()) return;
  std::string blank(drawn_.size() + 2, ' ');
  blank.front() = '\r';
  blank.back() = '\r';
  sink_(blank);
  drawn_.clear();
}

ProgressTicker::ProgressTicker(ProgressDisplay& display, std::chrono::milliseconds period)
    : thread_([this, &display, period] {
        std::unique_lock<std::mutex> hold(lock_);
        while (!wake_.wait_for(hold, period, [this] { return stop_; })) {
          hold.unlock();
          display.refresh();
          hold.lock();
        }
      }) {}

ProgressTicker::~ProgressTicker() {
  {
    const std::lock_guard<std::mutex> hold(lock_);
    stop_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

}  // namespace cagewarp
