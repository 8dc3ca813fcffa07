#include "win32/trace.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>

namespace {

// The channel names of TARVO_TRACE, read once; "all" stands for every channel.
const std::set<std::string>& Channels()
{
    static const std::set<std::string> channels = [] {
        std::set<std::string> words;
        const char* list = std::getenv("TARVO_TRACE");
        if (!list)
            return words;
        const std::string text(list);
        size_t start = 0;
        while (start <= text.size()) {
            size_t end = text.find_first_of(", :", start);
            if (end == std::string::npos)
                end = text.size();
            if (end > start)
                words.insert(text.substr(start, end - start));
            start = end + 1;
        }
        return words;
    }();
    return channels;
}

} // namespace

bool TvTraceEnabled(const char* channel)
{
    const std::set<std::string>& channels = Channels();
    if (channels.empty() || !channel)
        return false;
    return channels.count("all") != 0 || channels.count(channel) != 0;
}

void TvTrace(const char* channel, const char* format, ...)
{
    char line[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(line, sizeof(line), format, args);
    va_end(args);
    // One fprintf per line keeps lines from several threads whole.
    std::fprintf(stderr, "%s: %s\n", channel ? channel : "trace", line);
}
