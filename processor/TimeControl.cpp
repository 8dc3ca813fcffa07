#include "TimeControl.h"

#include "win32/registry.h"

#include <algorithm>

namespace {

bool QueryDword(HKEY key, const char* name, DWORD* value)
{
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&data), &size) !=
        ERROR_SUCCESS)
        return false;
    *value = data;
    return true;
}

} // namespace

TimeControlSettings ApplyTimeControlValues(const DWORD* enable, const DWORD* frameBufferCount,
                                           const DWORD* maxBufferCount, const DWORD* minBufferCount)
{
    TimeControlSettings s;
    if (enable && *enable == 0)
        s.enabled = false;
    if (!s.enabled)
        return s;
    // Unsigned comparisons: a "negative" value is a large one and is ignored.
    if (frameBufferCount && *frameBufferCount >= 1 && *frameBufferCount <= 19)
        s.frameBufferCount = LONG(*frameBufferCount);
    if (maxBufferCount && *maxBufferCount >= 1 && *maxBufferCount <= DWORD(s.frameBufferCount - 2))
        s.maxBufferCount = LONG(*maxBufferCount);
    s.maxBufferCount = std::max<LONG>(std::min<LONG>(s.maxBufferCount, s.frameBufferCount - 2), 0);
    if (minBufferCount && *minBufferCount >= 1 && *minBufferCount <= DWORD(s.maxBufferCount))
        s.minBufferCount = LONG(*minBufferCount);
    s.minBufferCount = std::max<LONG>(std::min(s.minBufferCount, s.maxBufferCount), 0);
    return s;
}

TimeControlSettings ReadTimeControlSettings()
{
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tarvo", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return TimeControlSettings{};
    DWORD values[4];
    bool present[4];
    const char* names[4] = {"bEnableTimeControl", "FrameBufferCount", "MaxBufferCount",
                            "MinBufferCount"};
    for (int i = 0; i < 4; ++i)
        present[i] = QueryDword(key, names[i], &values[i]);
    RegCloseKey(key);
    return ApplyTimeControlValues(
        present[0] ? &values[0] : nullptr, present[1] ? &values[1] : nullptr,
        present[2] ? &values[2] : nullptr, present[3] ? &values[3] : nullptr);
}

LONG TimeControlDivisor(LONG frameBufferCount)
{
    return ((frameBufferCount + 13) / 13) * 13;
}

LONG TimeControlDuration(const TimeControlSettings& s, LONG intervalMs, LONG queued)
{
    const LONG step = intervalMs / TimeControlDivisor(s.frameBufferCount);
    if (queued >= s.frameBufferCount)
        return intervalMs - intervalMs / 2;
    if (queued < s.minBufferCount)
        return intervalMs + step * (s.minBufferCount - queued);
    if (queued > s.maxBufferCount)
        return intervalMs - step * (queued - s.maxBufferCount);
    return intervalMs;
}
