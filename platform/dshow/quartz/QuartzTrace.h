// The graph manager's debug channel: set TARVO_TRACE to a list containing
// "quartz" (or "all") to log each graph-building and state-change call with its
// arguments and result on standard error. Off by default.
#pragma once

bool TvQuartzTraceEnabled();
void TvQuartzTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));

#define QUARTZ_TRACE(...)                                                                          \
    do {                                                                                           \
        if (TvQuartzTraceEnabled())                                                                \
            TvQuartzTrace(__VA_ARGS__);                                                            \
    } while (0)
