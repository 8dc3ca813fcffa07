// Pacing: live device frames against the wall clock, record-file frames by the
// distance of their timestamps.
#include "CClockPacer.h"

#include <gtest/gtest.h>

namespace {

constexpr int64_t kStart = 1700000000000000LL; // some UTC time in microseconds

// A stream of frames 40 ms apart delivered on time waits 40 ms each after the
// first; the first frame waits 500 ms and anchors half a second ahead.
TEST(ClockPacer, SteadyStreamFollowsItsTimestamps)
{
    CClockPacer pacer;
    int64_t now = kStart;
    int64_t t = 123456789;
    EXPECT_EQ(pacer.Pace(t, now), 500u);
    EXPECT_EQ(pacer.StreamAnchor(), t);
    EXPECT_EQ(pacer.WallAnchor(), now + 500000);
    now += 500000;
    for (int i = 1; i <= 10; ++i) {
        t += 40000;
        EXPECT_EQ(pacer.Pace(t, now), 40u) << i;
        now += 40000;
    }
}

// Jumps of the device clock: 0.6 s ahead and back each give one 500 ms wait and
// a new anchor; 0.5 s ahead is still within the stream.
TEST(ClockPacer, JumpsForwardAndBackReanchor)
{
    struct Case {
        const char* name;
        int64_t step; // from the previous frame
        uint32_t wait;
        bool reanchored;
    };
    const Case cases[] = {
        {"0.6 s ahead", 600000, 500, true},
        {"back in time", -40000, 500, true},
        {"0.5 s ahead", 500000, 500, false}, // on the anchored line: 500 ms away
        {"same time again", 0, 0, false},
    };
    for (const Case& c : cases) {
        CClockPacer pacer;
        int64_t now = kStart;
        int64_t t = 1000000;
        pacer.Pace(t, now);
        now += 500000;
        const int64_t anchor = pacer.StreamAnchor();
        EXPECT_EQ(pacer.Pace(t + c.step, now), c.wait) << c.name;
        EXPECT_EQ(pacer.StreamAnchor() != anchor, c.reanchored) << c.name;
        EXPECT_EQ(pacer.LastStreamTime(), t + c.step) << c.name;
    }
}

// Late frames go out at once and move the anchor to now; waits are capped at
// one second.
TEST(ClockPacer, LateFramesReanchorAndWaitsAreCapped)
{
    CClockPacer pacer;
    int64_t now = kStart;
    pacer.Pace(0, now);
    now += 500000 + 300000; // 300 ms behind
    EXPECT_EQ(pacer.Pace(40000, now), 0u);
    EXPECT_EQ(pacer.StreamAnchor(), 40000);
    EXPECT_EQ(pacer.WallAnchor(), now);
    // 480 ms ahead of the clock in steps within the jump limit: the wait is
    // the distance, up to one second.
    EXPECT_EQ(pacer.Pace(520000, now), 480u);
    EXPECT_EQ(pacer.Pace(1000000, now), 960u);
    EXPECT_EQ(pacer.Pace(1490000, now), 1000u);
}

TEST(FilePacing, WaitFromTimestampsRateAndElapsedTime)
{
    struct Case {
        const char* name;
        int64_t ts, prevTs;
        bool rateKnown;
        double rate;
        bool newSegment;
        int64_t prevDeliveryMs, nowMs;
        int64_t wait;
    };
    const Case cases[] = {
        {"40 ms at rate 1, new segment", 400000, 0, true, 1.0, true, 1000, 1000, 40},
        {"rate 2 halves it", 400000, 0, true, 2.0, true, -1, 0, 20},
        {"rate -1 plays back at the same pace", 0, 400000, true, -1.0, true, -1, 0, 40},
        {"rate 0.01 counts as 1", 400000, 0, true, 0.01, true, -1, 0, 40},
        {"rate -0.05 counts as 1", 400000, 0, true, -0.05, true, -1, 0, 40},
        {"unknown rate counts as 1", 400000, 0, false, 8.0, true, -1, 0, 40},
        {"at least 10 ms", 10000, 0, true, 1.0, true, -1, 0, 10},
        {"at most 2000 ms", 100000000, 0, true, 1.0, true, -1, 0, 2000},
        {"less the time since the last frame", 400000, 0, true, 1.0, false, 1000, 1015, 25},
        {"nothing left to wait", 400000, 0, true, 1.0, false, 1000, 1100, -60},
        {"clock before the last delivery", 400000, 0, true, 1.0, false, 1000, 900, 0},
        {"no delivery yet", 400000, 0, true, 1.0, false, -1, 5000, 40},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FileFrameWaitMs(c.ts, c.prevTs, c.rateKnown, c.rate, c.newSegment,
                                  c.prevDeliveryMs, c.nowMs),
                  c.wait)
            << c.name;
}

} // namespace
