#pragma once

#include <cstdio>
#include <cstdlib>

// Names the broken invariant, then aborts so that libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "invariant failed: %s (line %d)\n", #condition, __LINE__);        \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
