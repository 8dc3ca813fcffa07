// Invariant checks for the fuzz targets: a broken promise (an offset outside the
// input, a length that does not add up) stops the run like a memory error does.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                           \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond);          \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

// The TSParser reports on standard output; keep the fuzzer's console readable.
inline void SilenceStdout()
{
    if (!std::freopen("/dev/null", "w", stdout))
        std::abort();
}
