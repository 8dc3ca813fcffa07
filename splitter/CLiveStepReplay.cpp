#include "CLiveStepReplay.h"

CLiveStepReplay::CLiveStepReplay(int32_t codecKind, int32_t containerKind, int32_t videoPid,
                                 size_t sampleSize, size_t ringSize)
    : m_ring(ringSize), m_sample(sampleSize)
{
    m_step.Configure(codecKind, containerKind, videoPid);
}

bool CLiveStepReplay::Push(std::span<const uint8_t> bytes)
{
    bool overflow = m_ring.Append(bytes) == CReceiveRing::AppendResult::Overflow;
    RunUntilIdle();
    return !overflow;
}

void CLiveStepReplay::Drain()
{
    m_step.SetMinBuffered(1);
    RunUntilIdle();
    m_step.SetMinBuffered(CLiveStep::kMinBuffered);
}

void CLiveStepReplay::RunUntilIdle()
{
    using Kind = LiveStepResult::Kind;
    for (;;) {
        const size_t readBefore = m_ring.ReadPosition();
        const size_t writeBefore = m_ring.WritePosition();
        LiveStepResult r = m_step.Step(m_ring, m_sample, m_audio);
        ++m_steps;
        const bool handsOn = r.kind == Kind::Video || r.kind == Kind::Voice || r.kind == Kind::Aac;
        if (handsOn) {
            std::span<const uint8_t> bytes =
                r.kind == Kind::Video ? std::span<const uint8_t>(m_sample).first(r.sampleLength)
                                      : std::span<const uint8_t>(m_audio);
            if (m_sink)
                m_sink(r, bytes);
            else
                m_units.push_back(LiveUnit{
                    r.kind, {bytes.begin(), bytes.end()}, r.piece, r.clocked, r.captureTimeUs});
        }
        const bool moved =
            m_ring.ReadPosition() != readBefore || m_ring.WritePosition() != writeBefore;
        if (!handsOn && !moved)
            return;
    }
}

std::vector<LiveUnit> JoinPieces(const std::vector<LiveUnit>& units)
{
    std::vector<LiveUnit> joined;
    for (const LiveUnit& u : units) {
        if (u.piece && !joined.empty() && joined.back().piece) {
            joined.back().bytes.insert(joined.back().bytes.end(), u.bytes.begin(), u.bytes.end());
            continue;
        }
        joined.push_back(u);
    }
    return joined;
}
