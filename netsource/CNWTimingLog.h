// The receiver's per-packet timing log: one line for every received block that
// starts with the device frame marker ">>>>", giving the time since the
// previous such block and flagging gaps above 70 ms with "***".
//
// The log is "C:\\SoftDecLog\\nwsource_time_<i>.txt" with the first index i of
// 0 to 9 whose file does not exist yet; without that folder (or with all ten
// files present) there is no log and every call does nothing.
//
// Used by the receive thread only (after Open, which runs before it starts).
#pragma once

#include "win32/types.h"

#include <cstdio>

class CNWTimingLog {
public:
    CNWTimingLog() = default;
    ~CNWTimingLog() { Close(); }
    CNWTimingLog(const CNWTimingLog&) = delete;
    CNWTimingLog& operator=(const CNWTimingLog&) = delete;

    // Takes the first free index and starts the gap measurement at `now`
    // (milliseconds, GetTickCount).
    void Open(DWORD now);
    void Close();
    bool IsOpen() const { return m_pFile != nullptr; }

    // One received block at tick `now`.
    void OnBlock(const BYTE* block, LONG length, DWORD now);

    // The gap above which a line is flagged.
    static constexpr DWORD kLateGapMs = 70;

private:
    FILE* m_pFile = nullptr;
    DWORD m_lastTick = 0;
    LONG m_markedBlocks = 0;
};
