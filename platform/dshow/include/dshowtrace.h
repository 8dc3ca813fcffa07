// The DirectShow base classes' debug channel, "dshow" (win32/trace.h): set
// TARVO_TRACE to a list containing "dshow" (or "all") to log connections,
// state changes, flushes, allocator commits and filter registration, with
// their arguments and results, on standard error. Off by default; per-sample
// calls are not logged.
#pragma once

#include <string>

#include <objbase.h>

#include "win32/text.h"
#include "win32/trace.h"

#define DSHOW_TRACE(...) TV_TRACE("dshow", __VA_ARGS__)

// A wide name as UTF-8 for a trace line (never null; "(null)" for null).
inline std::string TvDshowTraceName(const WCHAR* name)
{
    return name ? TvWideToUtf8(name) : std::string("(null)");
}
