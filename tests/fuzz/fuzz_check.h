#pragma once

#include <cstdio>
#include <cstdlib>

// A broken property of a fuzz target: print it and abort, so libFuzzer keeps the input.
#define FUZZ_CHECK(condition, ...)                                                       \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::fprintf(stderr, __VA_ARGS__);                                                 \
      std::fprintf(stderr, "\n");                                                        \
      std::abort();                                                                      \
    }                                                                                    \
  } while (false)
