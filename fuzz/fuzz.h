// What the harnesses share: a failed property aborts, so libFuzzer keeps the input that broke it.
#ifndef BRINDLECORE_FUZZ_FUZZ_H_
#define BRINDLECORE_FUZZ_FUZZ_H_

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                               \
  do {                                                                                      \
    if (!(condition)) {                                                                     \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                         \
    }                                                                                       \
  } while (0)

#endif  // BRINDLECORE_FUZZ_FUZZ_H_
