#include "array/parallel_for.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

namespace cagewarp {

int threadCount(int requested) {
  if (requested > 0) return requested;
  return static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
}

void parallelFor(int64_t count, int threads, const std::function<void(int64_t, int64_t)>& body) {
  if (count <= 0) return;
  const int workers = static_cast<int>(std::min<int64_t>(threadCount(threads), count));
  if (workers == 1) {
    body(0, count);
    return;
  }
  // Ranges handed out one at a time, several per thread, so that uneven work evens out.
  const int64_t chunk = std::max<int64_t>(1, count / (int64_t{workers} * 16));
  std::atomic<int64_t> next{0};
  std::mutex failureLock;
  std::exception_ptr failure;
  auto work = [&] {
    try {
      for (int64_t begin = next.fetch_add(chunk); begin < count; begin = next.fetch_add(chunk))
        body(begin, std::min(count, begin + chunk));
    } catch (...) {
      const std::lock_guard<std::mutex> hold(failureLock);
      if (!failure) failure = std::current_exception();
      next.store(count);
    }
  };
  std::vector<std::thread> pool;
  pool.reserve(workers - 1);
  for (int i = 1; i < workers; ++i) {
    // Fewer threads than asked for only make the run slower.
    try {
      pool.emplace_back(work);
    } catch (const std::system_error&) {
      break;
    }
  }
  work();
  for (std::thread& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
}

namespace {

// The shared state of formatInOrder: pieces are formatted into a ring of slots, at most a window
// ahead of the next one to hand over, and handed over by whichever thread finds it ready while
// no other is handing one over. No thread waits for a round to end.
class OrderedPieces {
 public:
  OrderedPieces(int64_t count, int64_t perPiece, int64_t window,
                const std::function<void(int64_t, int64_t, std::string&)>& format,
                const std::function<void(int64_t, int64_t, const std::string&)>& consume)
      : count_(count),
        perPiece_(perPiece),
        pieces_((count + perPiece - 1) / perPiece),
        window_(window),
        slots_(static_cast<size_t>(window)),
        ready_(static_cast<size_t>(window), false),
        format_(format),
        consume_(consume) {}

  void work() {
    std::unique_lock<std::mutex> hold(lock_);
    while (!failure_ && handedOver_ < pieces_) {
      if (!handingOver_ && ready_[slot(handedOver_)]) {
        handingOver_ = true;
        const int64_t p = handedOver_;
        if (!run(hold, [&] { consume_(begin(p), end(p), slots_[slot(p)]); })) return;
        ready_[slot(p)] = false;
        ++handedOver_;
        handingOver_ = false;
      } else if (formatted_ < pieces_ && formatted_ < handedOver_ + window_) {
        const int64_t p = formatted_++;
        if (!run(hold, [&] {
              slots_[slot(p)].clear();
              format_(begin(p), end(p), slots_[slot(p)]);
            }))
          return;
        ready_[slot(p)] = true;
      } else {
        changed_.wait(hold);
        continue;
      }
      changed_.notify_all();
    }
  }

  void rethrowFailure() const {
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  size_t slot(int64_t piece) const { return static_cast<size_t>(piece % window_); }
  int64_t begin(int64_t piece) const { return piece * perPiece_; }
  int64_t end(int64_t piece) const { return std::min(count_, (piece + 1) * perPiece_); }

  // Runs `step` without the lock; false, with every thread told to stop, when it threw.
  template <typename Step>
  bool run(std::unique_lock<std::mutex>& hold, const Step& step) {
    hold.unlock();
    std::exception_ptr thrown;
    try {
      step();
    } catch (...) {
      thrown = std::current_exception();
    }
    hold.lock();
    if (!thrown) return true;
    if (!failure_) failure_ = thrown;
    changed_.notify_all();
    return false;
  }

  const int64_t count_, perPiece_, pieces_, window_;
  std::vector<std::string> slots_;
  std::vector<bool> ready_;
  const std::function<void(int64_t, int64_t, std::string&)>& format_;
  const std::function<void(int64_t, int64_t, const std::string&)>& consume_;
  std::mutex lock_;
  std::condition_variable changed_;
  int64_t formatted_ = 0, handedOver_ = 0;
  bool handingOver_ = false;
  std::exception_ptr failure_;
};

}  // namespace

void formatInOrder(int64_t count, int64_t perPiece, int threads,
                   const std::function<void(int64_t, int64_t, std::string&)>& format,
                   const std::function<void(int64_t, int64_t, const std::string&)>& consume) {
  if (count <= 0) return;
  perPiece = std::max<int64_t>(perPiece, 1);
  // Several pieces per thread in flight, so that pieces of uneven length even out.
  constexpr int piecesPerThread = 4;
  const int64_t pieces = (count + perPiece - 1) / perPiece;
  const int workers = static_cast<int>(std::min<int64_t>(threadCount(threads), pieces));
  OrderedPieces state(count, perPiece, int64_t{workers} * piecesPerThread, format, consume);
  std::vector<std::thread> pool;
  pool.reserve(workers - 1);
  for (int i = 1; i < workers; ++i) {
    // Fewer threads than asked for only make the run slower.
    try {
      pool.emplace_back([&state] { state.work(); });
    } catch (const std::system_error&) {
      break;
    }
  }
  state.work();
  for (std::thread& t : pool) t.join();
  state.rethrowFailure();
}

}  // namespace cagewarp
