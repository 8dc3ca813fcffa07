#include "FaultInjector.h"

namespace tvdevsim {

CFaultInjector::CFaultInjector(const FaultConfig& c)
{
    auto init = [&](Fault& f, const FaultRate& r, uint64_t salt) {
        f.rate = r;
        f.rng.seed(c.seed * 0x9E3779B97F4A7C15ULL + salt);
    };
    init(m_loss, c.loss, 1);
    init(m_reorder, c.reorder, 2);
    init(m_garbage, c.garbage, 3);
    init(m_truncate, c.truncate, 4);
    m_garbageMax = c.garbageMaxBytes > 0 ? c.garbageMaxBytes : 1;
}

bool CFaultInjector::Strike(Fault& f)
{
    ++f.units;
    // Draw for every unit whether or not the rate is used, so a schedule and a
    // rate combine without changing each other's picks.
    const double draw = Uniform(f.rng);
    if (f.rate.every > 0 && f.units % static_cast<uint64_t>(f.rate.every) == 0)
        return true;
    return f.rate.rate > 0 && draw < f.rate.rate;
}

bool CFaultInjector::GarbageBeforeFrame(std::vector<uint8_t>& garbage)
{
    if (!Strike(m_garbage))
        return false;
    const size_t n = 1 + static_cast<size_t>(m_garbage.rng() % static_cast<uint64_t>(m_garbageMax));
    garbage.resize(n);
    for (uint8_t& b : garbage)
        b = static_cast<uint8_t>(m_garbage.rng());
    return true;
}

size_t CFaultInjector::TruncatedLength(size_t length)
{
    if (!Strike(m_truncate) || length < 2)
        return length;
    return 1 + static_cast<size_t>(m_truncate.rng() % (length - 1));
}

} // namespace tvdevsim
