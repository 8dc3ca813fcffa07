#include "TrickPlay.h"

#include <cmath>

bool ComputeTrickPlayMode(double rate, int32_t gopLength, int32_t bFramesPerGop,
                          TrickPlayMode& mode)
{
    if (gopLength <= 0 || std::isnan(rate) || (rate > -0.5 && rate < 0.1))
        return false;
    const double whole = std::trunc(std::fabs(rate));
    const int64_t d = whole > 1e9 ? int64_t{1000000000} : static_cast<int64_t>(whole);
    const int64_t g = gopLength;
    const int64_t keyThreshold = g - g / 8;
    TrickPlayMode m;
    if (d <= 1) {
        mode = m;
        return true;
    }
    if (d >= keyThreshold) {
        m.keyFramesOnly = true;
        m.keyInterval = static_cast<int32_t>(d / keyThreshold);
        mode = m;
        return true;
    }
    const int64_t drop = g - (g + d - 1) / d;
    const int64_t b = bFramesPerGop > 0 ? bFramesPerGop : 0;
    if (drop < b) {
        m.bKeepInterval = static_cast<int32_t>(b / (b - drop));
    } else if (drop == b) {
        m.dropAllB = true;
    } else if (drop / 2 < b) {
        m.dropAllB = true;
        m.dropLastP = true;
    } else {
        m.keyFramesOnly = true;
        m.keyInterval = 1;
    }
    mode = m;
    return true;
}

bool CTrickPlayCounter::Take(const TrickPlayMode& mode, int32_t type, int32_t pFramesPerGop)
{
    if (mode.keyFramesOnly) {
        if (type != 1)
            return false;
        return TakeKey(mode);
    }
    switch (type) {
    case 1:
        m_bSkipped = 0;
        m_pSeen = 0;
        return true;
    case 3:
        if (mode.dropAllB)
            return false;
        if (mode.bKeepInterval > 1 && m_bSkipped + 1 < mode.bKeepInterval) {
            ++m_bSkipped;
            return false;
        }
        m_bSkipped = 0;
        return true;
    case 2:
        ++m_pSeen;
        return !(mode.dropLastP && m_pSeen == pFramesPerGop);
    default:
        return true;
    }
}

bool CTrickPlayCounter::TakeKey(const TrickPlayMode& mode)
{
    if (!mode.keyFramesOnly || mode.keyInterval <= 1) {
        m_key = 0;
        return true;
    }
    const bool take = m_key == 0;
    m_key = (m_key + 1) % mode.keyInterval;
    return take;
}
