// Pacing of the splitter's delivery thread.
//
// CClockPacer: live device frames of CodecKind 256 carry their capture time;
// the thread delivers each one when the wall clock (UTC) has moved on from an
// anchor as far as the capture time has. A capture time that goes back, or
// jumps ahead by more than half a second, starts a new anchor half a second
// from now (the wait then lets the stream build up again).
//
// FileFrameWaitMs: record files are paced by the distance between the
// timestamps of consecutive frames, scaled by the playback rate, less the time
// already gone since the last delivery.
//
// Pure: the callers pass the clocks in. CClockPacer is used by one thread (the
// delivery thread).
#pragma once

#include <cstdint>

class CClockPacer {
public:
    static constexpr int64_t kJumpUs = 500000;
    static constexpr uint32_t kReanchorMs = 500;
    static constexpr uint32_t kMaxWaitMs = 1000;

    // The wait in milliseconds before the frame with capture time t
    // (microseconds) is delivered, now being the UTC time in microseconds.
    uint32_t Pace(int64_t t, int64_t nowUs);
    void Reset();

    int64_t StreamAnchor() const { return m_streamAnchor; }
    int64_t WallAnchor() const { return m_wallAnchor; }
    int64_t LastStreamTime() const { return m_lastStream; }

private:
    int64_t m_streamAnchor = -1;
    int64_t m_wallAnchor = -1;
    int64_t m_lastStream = -1;
};

// The wait before a file frame with timestamp ts (100 ns) is delivered after the
// frame with prevTs: the distance in milliseconds divided by the rate (1.0 when
// the rate could not be read or lies between -0.1 and 0.05), limited to 10..2000;
// unless a new segment starts or nothing was delivered yet (prevDeliveryMs < 0),
// less the milliseconds since the last delivery, and 0 when the clock reads
// earlier than that delivery. Not positive: no wait.
int64_t FileFrameWaitMs(int64_t ts, int64_t prevTs, bool rateKnown, double rate, bool newSegment,
                        int64_t prevDeliveryMs, int64_t nowMs);
