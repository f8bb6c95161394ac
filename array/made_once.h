#pragma once

#include <atomic>
#include <cstddef>
#include <memory>

namespace cagewarp {

// For each of a number of items, lets the first thread that needs the item make it while any
// other that needs it meanwhile waits; later needs cost one atomic load. Unlike std::call_once,
// making an item takes no system call unless a thread actually waits. An exception thrown while
// making an item leaves it to be made by the next thread that needs it.
class MadeOnce {
 public:
  explicit MadeOnce(size_t count) : state_(std::make_unique<std::atomic<int>[]>(count)) {}

  template <class Make>
  void ensure(size_t i, Make&& make) {
    std::atomic<int>& state = state_[i];
    for (;;) {
      int seen = state.load(std::memory_order_acquire);
      if (seen == ready) return;
      if (seen == absent &&
          state.compare_exchange_strong(seen, making, std::memory_order_acquire)) {
        try {
          make();
        } catch (...) {
          state.store(absent, std::memory_order_release);
          state.notify_all();
          throw;
        }
        state.store(ready, std::memory_order_release);
        state.notify_all();
        return;
      }
      if (seen == making) state.wait(making, std::memory_order_acquire);
    }
  }

 private:
  enum : int { absent, making, ready };
  std::unique_ptr<std::atomic<int>[]> state_;
};

}  // namespace cagewarp
