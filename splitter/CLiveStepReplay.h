// CLiveStepReplay: runs a CLiveStep over a byte stream the way the filter's
// Receive and delivery thread do, on one thread and without waiting: each
// chunk is appended to a receive ring, then steps run until one neither moves
// the read position nor hands anything on. What the steps hand on is kept (or
// given to a sink). For the live-step tests, the fuzzer and the benchmark.
#pragma once

#include "CLiveStep.h"
#include "CReceiveRing.h"

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

struct LiveUnit {
    LiveStepResult::Kind kind = LiveStepResult::Kind::Video;
    std::vector<uint8_t> bytes; // the sample's bytes, or the audio handed on
    bool piece = false;
    bool clocked = false;
    int64_t captureTimeUs = 0;

    bool operator==(const LiveUnit&) const = default;
};

class CLiveStepReplay {
public:
    // Called with each result that hands something on, and its bytes.
    using Sink = std::function<void(const LiveStepResult&, std::span<const uint8_t>)>;

    CLiveStepReplay(int32_t codecKind, int32_t containerKind, int32_t videoPid,
                    size_t sampleSize = 0x100000, size_t ringSize = CReceiveRing::kDefaultSize);

    CLiveStep& Step() { return m_step; }
    CReceiveRing& Ring() { return m_ring; }
    // Replaces keeping the units (Units() then stays empty).
    void SetSink(Sink sink) { m_sink = std::move(sink); }

    // Receive: appends the bytes, then steps until idle. False when the ring
    // overflowed (and was emptied) on the way.
    bool Push(std::span<const uint8_t> bytes);
    // The end of the stream: steps with no minimum of buffered bytes until idle.
    void Drain();

    const std::vector<LiveUnit>& Units() const { return m_units; }
    size_t Steps() const { return m_steps; }

private:
    void RunUntilIdle();

    CReceiveRing m_ring;
    CLiveStep m_step;
    std::vector<uint8_t> m_sample;
    std::vector<uint8_t> m_audio;
    std::vector<LiveUnit> m_units;
    Sink m_sink;
    size_t m_steps = 0;
};

// Consecutive pieces joined into one unit: what two replays of the same bytes
// must agree on, however the bytes were chunked.
std::vector<LiveUnit> JoinPieces(const std::vector<LiveUnit>& units);
