#include "array/parallel_for.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
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

void formatInOrder(int64_t count, int64_t perPiece, int threads,
                   const std::function<void(int64_t, int64_t, std::string&)>& format,
                   const std::function<void(int64_t, int64_t, const std::string&)>& consume) {
  // Several pieces per thread and round, so that pieces of uneven length even out.
  constexpr int piecesPerThread = 4;
  perPiece = std::max<int64_t>(perPiece, 1);
  const int64_t perRound = int64_t{threadCount(threads)} * piecesPerThread;
  std::vector<std::string> pieces(static_cast<size_t>(perRound));
  for (int64_t first = 0; first < count; first += perRound * perPiece) {
    const int64_t round = std::min(perRound, (count - first + perPiece - 1) / perPiece);
    parallelFor(round, threads, [&](int64_t begin, int64_t end) {
      for (int64_t p = begin; p < end; ++p) {
        const int64_t from = first + p * perPiece;
        pieces[p].clear();
        format(from, std::min(count, from + perPiece), pieces[p]);
      }
    });
    for (int64_t p = 0; p < round; ++p) {
      const int64_t from = first + p * perPiece;
      consume(from, std::min(count, from + perPiece), pieces[p]);
    }
  }
}

}  // namespace cagewarp
