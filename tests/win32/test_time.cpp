// Clocks, calendar time and multimedia timers.
#include "win32/sync.h"
#include "win32/timefn.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>

namespace {

ULONGLONG SteadyMilliseconds()
{
    return ULONGLONG(std::chrono::duration_cast<std::chrono::milliseconds>(
                         std::chrono::steady_clock::now().time_since_epoch())
                         .count());
}

// ---- Clocks ----

TEST(Clocks, TickCountsReadTheMonotonicClock)
{
    const ULONGLONG before = SteadyMilliseconds();
    const ULONGLONG ticks = GetTickCount64();
    const DWORD tick32 = GetTickCount();
    const DWORD mm = timeGetTime();
    const ULONGLONG after = SteadyMilliseconds();
    EXPECT_GE(ticks, before);
    EXPECT_LE(ticks, after);
    // The 32-bit readings are the same clock, wrapped.
    EXPECT_LE(DWORD(tick32 - DWORD(before)), DWORD(after - before));
    EXPECT_LE(DWORD(mm - DWORD(before)), DWORD(after - before));
}

TEST(Clocks, PerformanceCounterRunsAtTenMegahertz)
{
    LARGE_INTEGER frequency, counter;
    EXPECT_TRUE(QueryPerformanceFrequency(&frequency));
    EXPECT_EQ(frequency.QuadPart, 10000000);
    const ULONGLONG before = SteadyMilliseconds();
    EXPECT_TRUE(QueryPerformanceCounter(&counter));
    const ULONGLONG after = SteadyMilliseconds();
    EXPECT_GE(ULONGLONG(counter.QuadPart / 10000), before);
    EXPECT_LE(ULONGLONG(counter.QuadPart / 10000), after);
    EXPECT_FALSE(QueryPerformanceCounter(nullptr));

    LARGE_INTEGER later;
    Sleep(5);
    QueryPerformanceCounter(&later);
    EXPECT_GE(later.QuadPart - counter.QuadPart, 5 * 10000);
}

// ---- Calendar time ----

// The calendar fields of `st` as a struct tm.
tm ToTm(const SYSTEMTIME& st)
{
    tm t{};
    t.tm_year = st.wYear - 1900;
    t.tm_mon = st.wMonth - 1;
    t.tm_mday = st.wDay;
    t.tm_hour = st.wHour;
    t.tm_min = st.wMinute;
    t.tm_sec = st.wSecond;
    t.tm_isdst = -1;
    return t;
}

TEST(CalendarTime, LocalTimeAgreesWithTime)
{
    const time_t before = time(nullptr);
    SYSTEMTIME st;
    GetLocalTime(&st);
    const time_t after = time(nullptr);

    tm t = ToTm(st);
    const time_t seconds = mktime(&t);
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
    tm check;
    localtime_r(&seconds, &check);
    EXPECT_EQ(st.wDayOfWeek, check.tm_wday);
    EXPECT_LT(st.wMilliseconds, 1000);
}

TEST(CalendarTime, SystemTimeIsUtc)
{
    const time_t before = time(nullptr);
    SYSTEMTIME st;
    GetSystemTime(&st);
    const time_t after = time(nullptr);

    tm t = ToTm(st);
    const time_t seconds = timegm(&t);
    EXPECT_GE(seconds, before);
    EXPECT_LE(seconds, after);
    // 1 January 1970 was a Thursday (4, counting Sunday as 0).
    EXPECT_EQ(st.wDayOfWeek, (seconds / 86400 + 4) % 7);
    EXPECT_LT(st.wMilliseconds, 1000);
}

// ---- Multimedia timers ----

struct TimerProbe {
    std::atomic<int> calls{0};
    std::atomic<UINT> lastId{0};
    std::atomic<bool> badArguments{false};
    std::atomic<bool> inside{false};
    HANDLE reached = CreateEvent(nullptr, TRUE, FALSE, nullptr);
    int signalAt = 1;
    DWORD holdMs = 0; // time each callback takes
    bool killSelf = false;
    ~TimerProbe() { CloseHandle(reached); }
};

void ProbeCallback(UINT id, UINT msg, DWORD_PTR user, DWORD_PTR dw1, DWORD_PTR dw2)
{
    auto* probe = reinterpret_cast<TimerProbe*>(user);
    probe->inside = true;
    if (msg != 0 || dw1 != 0 || dw2 != 0)
        probe->badArguments = true;
    probe->lastId = id;
    const int n = ++probe->calls;
    if (probe->killSelf && timeKillEvent(id) != MMSYSERR_NOERROR)
        probe->badArguments = true;
    if (n == probe->signalAt)
        SetEvent(probe->reached);
    if (probe->holdMs != 0)
        Sleep(probe->holdMs);
    probe->inside = false;
}

TEST(MultimediaTimers, PeriodicRunsUntilKilled)
{
    TimerProbe probe;
    probe.signalAt = 4;
    const ULONGLONG start = GetTickCount64();
    const UINT id = timeSetEvent(5, 1, ProbeCallback, DWORD_PTR(&probe),
                                 TIME_PERIODIC | TIME_CALLBACK_FUNCTION);
    ASSERT_NE(id, 0u);
    ASSERT_EQ(WaitForSingleObject(probe.reached, 5000), WAIT_OBJECT_0);
    // Four periods must have passed before the fourth call.
    EXPECT_GE(GetTickCount64() - start, 4 * 5u);
    EXPECT_EQ(timeKillEvent(id), MMRESULT(MMSYSERR_NOERROR));
    const int calls = probe.calls.load();
    Sleep(30);
    EXPECT_EQ(probe.calls.load(), calls) << "callback after timeKillEvent returned";
    EXPECT_EQ(probe.lastId.load(), id);
    EXPECT_FALSE(probe.badArguments.load());
    EXPECT_EQ(timeKillEvent(id), MMRESULT(MMSYSERR_INVALPARAM));
}

TEST(MultimediaTimers, OneShotRunsOnceAndEndsItself)
{
    TimerProbe probe;
    const ULONGLONG start = GetTickCount64();
    const UINT id = timeSetEvent(10, 0, ProbeCallback, DWORD_PTR(&probe), TIME_ONESHOT);
    ASSERT_NE(id, 0u);
    ASSERT_EQ(WaitForSingleObject(probe.reached, 5000), WAIT_OBJECT_0);
    EXPECT_GE(GetTickCount64() - start, 10u);
    Sleep(40);
    EXPECT_EQ(probe.calls.load(), 1);
    EXPECT_EQ(timeKillEvent(id), MMRESULT(MMSYSERR_INVALPARAM));
}

TEST(MultimediaTimers, KillWaitsForTheRunningCallback)
{
    TimerProbe probe;
    probe.holdMs = 60;
    const UINT id = timeSetEvent(2, 0, ProbeCallback, DWORD_PTR(&probe), TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    ASSERT_EQ(WaitForSingleObject(probe.reached, 5000),
              WAIT_OBJECT_0); // the first callback is running
    EXPECT_EQ(timeKillEvent(id), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_FALSE(probe.inside.load()) << "timeKillEvent returned while the callback ran";
    const int calls = probe.calls.load();
    EXPECT_EQ(calls, 1);
    Sleep(20);
    EXPECT_EQ(probe.calls.load(), calls);
}

TEST(MultimediaTimers, KillFromItsOwnCallbackDoesNotDeadlock)
{
    TimerProbe probe;
    probe.killSelf = true;
    const UINT id = timeSetEvent(2, 0, ProbeCallback, DWORD_PTR(&probe), TIME_PERIODIC);
    ASSERT_NE(id, 0u);
    ASSERT_EQ(WaitForSingleObject(probe.reached, 5000), WAIT_OBJECT_0);
    Sleep(20);
    EXPECT_EQ(probe.calls.load(), 1);
    EXPECT_FALSE(probe.badArguments.load()) << "the callback's own timeKillEvent failed";
    EXPECT_EQ(timeKillEvent(id), MMRESULT(MMSYSERR_INVALPARAM));
}

TEST(MultimediaTimers, EventCallbacksSetOrPulseTheEvent)
{
    HANDLE event = CreateEvent(nullptr, FALSE, FALSE, nullptr);
    const UINT id = timeSetEvent(5, 0, reinterpret_cast<LPTIMECALLBACK>(event), 0,
                                 TIME_ONESHOT | TIME_CALLBACK_EVENT_SET);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);

    // A periodic pulse reaches a thread that keeps waiting.
    const UINT pulse = timeSetEvent(2, 0, reinterpret_cast<LPTIMECALLBACK>(event), 0,
                                    TIME_PERIODIC | TIME_CALLBACK_EVENT_PULSE);
    ASSERT_NE(pulse, 0u);
    EXPECT_EQ(WaitForSingleObject(event, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(timeKillEvent(pulse), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_TIMEOUT) << "a pulse left the event set";
    CloseHandle(event);
}

TEST(MultimediaTimers, SeveralTimersRunSideBySide)
{
    TimerProbe fast, slow;
    fast.signalAt = 6;
    slow.signalAt = 2;
    const UINT a = timeSetEvent(3, 0, ProbeCallback, DWORD_PTR(&fast), TIME_PERIODIC);
    const UINT b = timeSetEvent(8, 0, ProbeCallback, DWORD_PTR(&slow), TIME_PERIODIC);
    ASSERT_NE(a, 0u);
    ASSERT_NE(b, 0u);
    EXPECT_NE(a, b);
    HANDLE both[] = {fast.reached, slow.reached};
    EXPECT_EQ(WaitForMultipleObjects(2, both, TRUE, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(timeKillEvent(a), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(timeKillEvent(b), MMRESULT(MMSYSERR_NOERROR));
    EXPECT_EQ(fast.lastId.load(), a);
    EXPECT_EQ(slow.lastId.load(), b);
}

TEST(MultimediaTimers, BadArgumentsAreRefused)
{
    TimerProbe probe;
    EXPECT_EQ(timeSetEvent(0, 0, ProbeCallback, DWORD_PTR(&probe), TIME_ONESHOT), 0u);
    EXPECT_EQ(timeSetEvent(5, 0, nullptr, 0, TIME_ONESHOT), 0u);
    EXPECT_EQ(timeKillEvent(0), MMRESULT(MMSYSERR_INVALPARAM));
    EXPECT_EQ(timeKillEvent(0xDEADBEEF), MMRESULT(MMSYSERR_INVALPARAM));
}

} // namespace
