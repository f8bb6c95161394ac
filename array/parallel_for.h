#pragma once

#include <cstdint>
#include <functional>

namespace cagewarp {

// The number of threads a request for `requested` threads gets: 0 or less means every core.
int threadCount(int requested);

// Calls body(begin, end) on disjoint ranges covering [0, count), on up to threadCount(threads)
// threads (the caller is one of them), and returns when all ranges are done. Results must not
// depend on which thread ran a range. An exception thrown by the body (running out of memory)
// is passed on to the caller once every thread has stopped.
void parallelFor(int64_t count, int threads, const std::function<void(int64_t, int64_t)>& body);

}  // namespace cagewarp
