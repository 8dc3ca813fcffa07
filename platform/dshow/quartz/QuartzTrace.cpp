#include "QuartzTrace.h"

#include "win32/trace.h"

#include <stdarg.h>
#include <stdio.h>

bool TvQuartzTraceEnabled()
{
    return TvTraceEnabled("quartz");
}

void TvQuartzTrace(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    TvTrace("quartz", "%s", line);
}
