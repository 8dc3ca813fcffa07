// Finding a tone in captured 16-bit PCM: the Goertzel filter's power at one
// frequency, and the strongest frequency of a scan. For the audio tests, which
// check that what came out of a decoder or a renderer is the simulator's tone.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <numbers>
#include <span>
#include <string>
#include <vector>

// Power of the samples at hz (sampled at rate), normalised by the sample count
// so that windows of different lengths compare.
inline double GoertzelPower(std::span<const int16_t> samples, double hz, double rate)
{
    const double w = 2 * std::numbers::pi * hz / rate;
    const double coeff = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (int16_t x : samples) {
        const double s0 = x + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double power = s1 * s1 + s2 * s2 - coeff * s1 * s2;
    return samples.empty() ? 0 : power / static_cast<double>(samples.size());
}

// The frequency from..to (step apart) with the most power.
inline double StrongestFrequency(std::span<const int16_t> samples, double rate, double from,
                                 double to, double step)
{
    double best = from, bestPower = -1;
    for (double hz = from; hz <= to; hz += step) {
        const double p = GoertzelPower(samples, hz, rate);
        if (p > bestPower) {
            bestPower = p;
            best = hz;
        }
    }
    return best;
}

// Every channel-th sample starting at channel: one channel of interleaved PCM.
inline std::vector<int16_t> OneChannel(std::span<const int16_t> interleaved, size_t channels,
                                       size_t channel)
{
    std::vector<int16_t> out;
    for (size_t i = channel; i < interleaved.size(); i += channels)
        out.push_back(interleaved[i]);
    return out;
}

// One channel of interleaved 16-bit PCM held as bytes (a recording read from
// a file); a trailing odd byte is left out.
inline std::vector<int16_t> OneChannelOfBytes(const std::string& bytes, size_t channels,
                                              size_t channel)
{
    std::vector<int16_t> all(bytes.size() / 2);
    std::memcpy(all.data(), bytes.data(), all.size() * 2);
    return OneChannel(all, channels, channel);
}
