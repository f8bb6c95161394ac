#pragma once

#include <cstdio>
#include <cstdlib>

// Internal invariant check: names file and line and aborts. It guards preconditions whose
// violation would otherwise corrupt memory, so it stays on in every build.
#define CAGEWARP_CHECK(condition)                                                                \
  do {                                                                                           \
    if (!(condition)) {                                                                          \
      std::fprintf(stderr, "cagewarp: internal check failed at %s:%d: %s\n", __FILE__, __LINE__, \
                   #condition);                                                                  \
      std::abort();                                                                              \
    }                                                                                            \
  } while (false)
