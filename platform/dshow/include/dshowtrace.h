// The DirectShow base classes' debug channel: set TARVO_TRACE to a list
// containing "dshow" (or "all") to log connections, state changes, flushes,
// allocator commits and filter registration, with their arguments and results,
// on standard error. Off by default; per-sample calls are not logged.
#pragma once

#include <string>

#include <objbase.h>

// Any thread. The environment is read once.
bool TvDshowTraceEnabled();
void TvDshowTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// A wide name as UTF-8 for a trace line (never null; "(null)" for null).
std::string TvDshowTraceName(const WCHAR* name);

#define DSHOW_TRACE(...)                                                                           \
    do {                                                                                           \
        if (TvDshowTraceEnabled())                                                                 \
            TvDshowTrace(__VA_ARGS__);                                                             \
    } while (0)
