// The base classes' debug channel (TARVO_TRACE contains "dshow" or "all").
#include "dshowtrace.h"

#include "win32/trace.h"

#include <stdarg.h>
#include <stdio.h>

bool TvDshowTraceEnabled()
{
    return TvTraceEnabled("dshow");
}

void TvDshowTrace(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    TvTrace("dshow", "%s", line);
}

std::string TvDshowTraceName(const WCHAR* name)
{
    return name ? TvWideToUtf8(name) : std::string("(null)");
}
