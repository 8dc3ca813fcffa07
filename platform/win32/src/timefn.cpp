// Clocks and calendar time.
#include "win32/timefn.h"

#include <ctime>

namespace {

ULONGLONG MonotonicNanoseconds()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return ULONGLONG(now.tv_sec) * 1000000000ull + ULONGLONG(now.tv_nsec);
}

void FillSystemTime(LPSYSTEMTIME out, const tm& t, long nanoseconds)
{
    out->wYear = WORD(t.tm_year + 1900);
    out->wMonth = WORD(t.tm_mon + 1);
    out->wDayOfWeek = WORD(t.tm_wday);
    out->wDay = WORD(t.tm_mday);
    out->wHour = WORD(t.tm_hour);
    out->wMinute = WORD(t.tm_min);
    // A leap second shows as second 60 in struct tm; SYSTEMTIME has no such second.
    out->wSecond = WORD(t.tm_sec > 59 ? 59 : t.tm_sec);
    out->wMilliseconds = WORD(nanoseconds / 1000000L);
}

} // namespace

extern "C" ULONGLONG GetTickCount64(void)
{
    return MonotonicNanoseconds() / 1000000ull;
}

extern "C" DWORD GetTickCount(void)
{
    return DWORD(GetTickCount64());
}

extern "C" DWORD timeGetTime(void)
{
    return DWORD(GetTickCount64());
}

extern "C" BOOL QueryPerformanceCounter(LARGE_INTEGER* counter)
{
    if (counter == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    counter->QuadPart = LONGLONG(MonotonicNanoseconds() / 100ull);
    return TRUE;
}

extern "C" BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency)
{
    if (frequency == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    frequency->QuadPart = 10000000;
    return TRUE;
}

extern "C" void GetLocalTime(LPSYSTEMTIME out)
{
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm t;
    localtime_r(&now.tv_sec, &t);
    FillSystemTime(out, t, now.tv_nsec);
}

extern "C" void GetSystemTime(LPSYSTEMTIME out)
{
    timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    tm t;
    gmtime_r(&now.tv_sec, &t);
    FillSystemTime(out, t, now.tv_nsec);
}

extern "C" MMRESULT timeBeginPeriod(UINT period)
{
    return period == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR;
}

extern "C" MMRESULT timeEndPeriod(UINT period)
{
    return period == 0 ? TIMERR_NOCANDO : TIMERR_NOERROR;
}

extern "C" MMRESULT timeGetDevCaps(LPTIMECAPS caps, UINT size)
{
    if (caps == nullptr || size < sizeof(TIMECAPS))
        return TIMERR_NOCANDO;
    caps->wPeriodMin = 1;
    caps->wPeriodMax = 1000000;
    return TIMERR_NOERROR;
}
