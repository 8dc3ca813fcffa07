// Reference time: 64-bit counts of 100 nanoseconds (REFERENCE_TIME), and
// CRefTime, a value class over it with millisecond helpers.
#pragma once

#include "strmif.h"

const LONGLONG MILLISECONDS = 1000;       // 10^3
const LONGLONG NANOSECONDS = 1000000000;  // 10^9
const LONGLONG UNITS = NANOSECONDS / 100; // 10^7: REFERENCE_TIME units per second

#define MILLISECONDS_TO_100NS_UNITS(lMs) (((LONGLONG)(lMs)) * (UNITS / MILLISECONDS))

class CRefTime {
public:
    REFERENCE_TIME m_time = 0;

    CRefTime() = default;
    // Milliseconds (a LONG argument), as DirectShow's CRefTime has it.
    CRefTime(LONG msecs) : m_time(MILLISECONDS_TO_100NS_UNITS(msecs)) {}
    CRefTime(REFERENCE_TIME rt) : m_time(rt) {}

    operator REFERENCE_TIME() const { return m_time; }
    CRefTime& operator=(const REFERENCE_TIME& rt)
    {
        m_time = rt;
        return *this;
    }
    CRefTime& operator+=(const CRefTime& rt)
    {
        m_time += rt.m_time;
        return *this;
    }
    CRefTime& operator-=(const CRefTime& rt)
    {
        m_time -= rt.m_time;
        return *this;
    }
    // Whole milliseconds, rounded toward zero.
    LONG Millisecs() const { return (LONG)(m_time / (UNITS / MILLISECONDS)); }
    LONGLONG GetUnits() const { return m_time; }
};
