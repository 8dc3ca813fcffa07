#include "SplitterConfig.h"

#include "win32/file.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

namespace {

constexpr size_t kConfigBytes = 260;

} // namespace

size_t PrebufferThresholdFromText(std::string_view text, size_t ringSize)
{
    text = text.substr(0, kConfigBytes);
    size_t eq = text.find('=');
    if (eq == std::string_view::npos)
        return std::min(kDefaultPrebufferThreshold, ringSize);
    size_t i = eq + 1;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    if (i >= text.size() || !std::isdigit(static_cast<unsigned char>(text[i])))
        return std::min(kDefaultPrebufferThreshold, ringSize);
    // Anything beyond the ring is the ring: stop counting digits there.
    int64_t n = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
        n = std::min<int64_t>(n * 10 + (text[i] - '0'), INT64_C(1) << 40);
    if (negative || n == 0)
        n = 100;
    return static_cast<size_t>(std::min<int64_t>(n * 1024, static_cast<int64_t>(ringSize)));
}

size_t ReadPrebufferThreshold(const char* path, size_t ringSize)
{
    FILE* f = TvFopen(path, "rb");
    if (!f)
        return std::min(kDefaultPrebufferThreshold, ringSize);
    char text[kConfigBytes];
    size_t n = std::fread(text, 1, sizeof(text), f);
    std::fclose(f);
    return PrebufferThresholdFromText(std::string_view(text, n), ringSize);
}
