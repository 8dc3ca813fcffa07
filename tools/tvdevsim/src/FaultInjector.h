// Decides, deterministically for a seed, which units the configured faults
// strike. Each fault draws from its own generator, so switching one fault on
// does not move the others.
//
// Single-threaded: the sender thread owns it.
#pragma once

#include "tvdevsim/DeviceSimulator.h"

#include <cstdint>
#include <random>
#include <vector>

namespace tvdevsim {

class CFaultInjector {
public:
    explicit CFaultInjector(const FaultConfig& config);

    bool LoseDatagram() { return Strike(m_loss); }
    bool ReorderDatagram() { return Strike(m_reorder); }
    // Fills garbage (1..garbageMaxBytes random bytes) when the fault strikes.
    bool GarbageBeforeFrame(std::vector<uint8_t>& garbage);
    // The length to send of a frame of `length` bytes (shorter when it strikes).
    size_t TruncatedLength(size_t length);

private:
    struct Fault {
        FaultRate rate;
        std::mt19937_64 rng;
        uint64_t units = 0;
    };
    static double Uniform(std::mt19937_64& rng)
    {
        return static_cast<double>(rng() >> 11) * (1.0 / 9007199254740992.0);
    }
    static bool Strike(Fault& f);

    Fault m_loss, m_reorder, m_garbage, m_truncate;
    int m_garbageMax = 64;
};

} // namespace tvdevsim
