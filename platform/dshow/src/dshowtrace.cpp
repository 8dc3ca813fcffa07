// The base classes' debug channel (TARVO_TRACE contains "dshow" or "all").
#include "dshowtrace.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <string>

bool TvDshowTraceEnabled()
{
    static const bool enabled = [] {
        const char* list = getenv("TARVO_TRACE");
        if (!list)
            return false;
        const std::string text(list);
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find_first_of(", :", start);
            if (end == std::string::npos)
                end = text.size();
            const std::string word = text.substr(start, end - start);
            if (word == "dshow" || word == "all")
                return true;
            start = end + 1;
        }
        return false;
    }();
    return enabled;
}

void TvDshowTrace(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    fprintf(stderr, "dshow: %s\n", line);
}

std::string TvDshowTraceName(const WCHAR* name)
{
    return name ? TvWideToUtf8(name) : std::string("(null)");
}
