#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace cagewarp {

// The number of threads a request for `requested` threads gets: 0 or less means every core.
int threadCount(int requested);

// Calls body(begin, end) on disjoint ranges covering [0, count), on up to threadCount(threads)
// threads (the caller is one of them), and returns when all ranges are done. Results must not
// depend on which thread ran a range. An exception thrown by the body (running out of memory)
// is passed on to the caller once every thread has stopped.
void parallelFor(int64_t count, int threads, const std::function<void(int64_t, int64_t)>& body);

// Makes the text of items [0, count) in pieces of up to `perPiece` items, format(begin, end,
// text) appending a piece's text to an empty string, on up to threadCount(threads) threads (the
// caller is one of them); hands each piece to consume(begin, end, text) in order, one at a time,
// on whichever thread is free. Memory stays at a few pieces per thread however long the text. An
// exception thrown by either stops the others and is passed on to the caller.
void formatInOrder(int64_t count, int64_t perPiece, int threads,
                   const std::function<void(int64_t, int64_t, std::string&)>& format,
                   const std::function<void(int64_t, int64_t, const std::string&)>& consume);

}  // namespace cagewarp
