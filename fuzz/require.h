// Checks inside fuzz targets: a broken promise of the library is reported and aborts, so the
// fuzzer keeps the input that broke it.
#ifndef RECFILEREADER_FUZZ_REQUIRE_H
#define RECFILEREADER_FUZZ_REQUIRE_H

#include <cstdio>
#include <cstdlib>

#define Require(condition)                                                  \
  do {                                                                      \
    if (!(condition)) {                                                     \
      std::fprintf(stderr, "broken: %s (line %d)\n", #condition, __LINE__); \
      std::abort();                                                         \
    }                                                                       \
  } while (false)

#endif  // RECFILEREADER_FUZZ_REQUIRE_H
