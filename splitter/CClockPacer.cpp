#include "CClockPacer.h"

#include <algorithm>
#include <cmath>

uint32_t CClockPacer::Pace(int64_t t, int64_t nowUs)
{
    uint32_t wait = 0;
    if (m_streamAnchor < 0 || m_wallAnchor < 0 || t < m_lastStream || t - m_lastStream > kJumpUs) {
        wait = kReanchorMs;
        m_streamAnchor = t;
        m_wallAnchor = nowUs + static_cast<int64_t>(kReanchorMs) * 1000;
    } else {
        int64_t w = ((t - m_streamAnchor) - (nowUs - m_wallAnchor)) / 1000;
        if (w < 0) {
            m_streamAnchor = t;
            m_wallAnchor = nowUs;
        }
        wait = static_cast<uint32_t>(std::clamp<int64_t>(w, 0, kMaxWaitMs));
    }
    m_lastStream = t;
    return wait;
}

void CClockPacer::Reset()
{
    m_streamAnchor = -1;
    m_wallAnchor = -1;
    m_lastStream = -1;
}

int64_t FileFrameWaitMs(int64_t ts, int64_t prevTs, bool rateKnown, double rate, bool newSegment,
                        int64_t prevDeliveryMs, int64_t nowMs)
{
    if (!rateKnown || (rate > -0.1 && rate < 0.05))
        rate = 1.0;
    double distanceMs = std::fabs(static_cast<double>(ts - prevTs)) / 10000.0;
    int64_t wait =
        std::clamp<int64_t>(static_cast<int64_t>(std::fabs(distanceMs / rate)), 10, 2000);
    if (!newSegment && prevDeliveryMs >= 0)
        wait = nowMs < prevDeliveryMs ? 0 : wait - (nowMs - prevDeliveryMs);
    return wait;
}
