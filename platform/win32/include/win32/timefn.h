// Clocks, calendar time and multimedia timers with the Win32 names and values.
// (Named timefn.h so that it never shadows the C library's <time.h>.)
#pragma once

#include "win32/types.h"

typedef UINT MMRESULT;

#define TIMERR_NOERROR 0
#define TIMERR_NOCANDO 97
#define MMSYSERR_NOERROR 0
#define MMSYSERR_INVALPARAM 11

// ---- Clocks ----

// Milliseconds on the monotonic clock, wrapping as a DWORD (about every 49.7 days);
// compare two readings by unsigned difference.
extern "C" DWORD timeGetTime(void);
extern "C" DWORD GetTickCount(void);
// The same clock without the wrap.
extern "C" ULONGLONG GetTickCount64(void);
// The monotonic clock in 100-nanosecond ticks (frequency 10 MHz). Always TRUE;
// FALSE with ERROR_INVALID_PARAMETER only for a null pointer.
extern "C" BOOL QueryPerformanceCounter(LARGE_INTEGER* counter);
extern "C" BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency);

// ---- Calendar time ----

// The wall-clock time in the local time zone / in UTC, to the millisecond.
// wDayOfWeek counts from 0 = Sunday.
extern "C" void GetLocalTime(LPSYSTEMTIME time);
extern "C" void GetSystemTime(LPSYSTEMTIME time);

// ---- Timer resolution ----

typedef struct timecaps_tag {
    UINT wPeriodMin;
    UINT wPeriodMax;
} TIMECAPS, *PTIMECAPS, *LPTIMECAPS;

// The system timer already has millisecond resolution: these only check the period
// (TIMERR_NOCANDO for 0).
extern "C" MMRESULT timeBeginPeriod(UINT period);
extern "C" MMRESULT timeEndPeriod(UINT period);
extern "C" MMRESULT timeGetDevCaps(LPTIMECAPS caps, UINT size);

// ---- Multimedia timers ----

typedef void (*LPTIMECALLBACK)(UINT timerId, UINT msg, DWORD_PTR user, DWORD_PTR dw1,
                               DWORD_PTR dw2);

#define TIME_ONESHOT 0x0000u
#define TIME_PERIODIC 0x0001u
#define TIME_CALLBACK_FUNCTION 0x0000u
#define TIME_CALLBACK_EVENT_SET 0x0010u
#define TIME_CALLBACK_EVENT_PULSE 0x0020u
#define TIME_KILL_SYNCHRONOUS 0x0100u

// Calls `callback(id, 0, user, 0, 0)` after `delay` ms, once (TIME_ONESHOT) or every
// `delay` ms (TIME_PERIODIC, on a fixed schedule that does not drift). With
// TIME_CALLBACK_EVENT_SET / _PULSE, `callback` is an event handle that is set /
// pulsed instead. Returns the timer id, or 0 for a delay of 0 or a null callback.
// All callbacks of the process run one at a time on one timer thread, so a callback
// that blocks delays the others, as on Windows. `resolution` is ignored.
extern "C" MMRESULT timeSetEvent(UINT delay, UINT resolution, LPTIMECALLBACK callback,
                                 DWORD_PTR user, UINT flags);
// Cancels the timer. Returns only when no callback of it is running, so after it
// returns the callback's data may be freed; called from inside that timer's own
// callback it returns at once (the running callback is the caller). A one-shot timer
// is cancelled automatically after its callback. MMSYSERR_INVALPARAM for an unknown
// or already cancelled id.
extern "C" MMRESULT timeKillEvent(UINT timerId);
