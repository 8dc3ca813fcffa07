// Streams of the device simulator for the H.264 decoder tests: the samples the
// splitter delivers for device H.264 (header and payload of each video frame)
// and the simulator's own drawing of a frame to compare pictures with.
#pragma once

#include "TestPattern.h"
#include "tvdevsim/StreamGenerator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace h264test {

struct VideoSample {
    std::vector<uint8_t> bytes;
    int64_t frameIndex = 0;
    bool key = false;
};

// The video samples of the first `frames` frames; a picture too large for one
// 40-byte-header frame comes in several samples of the same frame index.
inline std::vector<VideoSample> DeviceVideo(tvdevsim::SimKind kind, int width, int height,
                                            int frames, int gop)
{
    tvdevsim::GeneratorConfig config;
    config.kind = kind;
    config.width = width;
    config.height = height;
    config.gop = gop;
    config.audio = false;
    tvdevsim::CStreamGenerator generator;
    std::vector<VideoSample> out;
    if (!generator.Open(config)) {
        ADD_FAILURE() << generator.Error();
        return out;
    }
    tvdevsim::StreamUnit unit;
    while (generator.Next(unit)) {
        if (!unit.video)
            continue;
        if (unit.frameIndex >= frames)
            break;
        // One sample per device frame, as the splitter cuts them.
        const std::vector<uint8_t>& b = unit.bytes;
        size_t pos = 0;
        while (pos + 40 <= b.size()) {
            const bool header40 = (b[pos + 5] >> 4) == 1;
            const size_t total = header40 ? (b[pos + 14] | (b[pos + 15] << 8))
                                          : (b[pos + 20] | (b[pos + 21] << 8) |
                                             (b[pos + 22] << 16) | (size_t(b[pos + 23]) << 24));
            if (total < 36 || pos + total > b.size())
                break;
            out.push_back({std::vector<uint8_t>(b.begin() + pos, b.begin() + pos + total),
                           unit.frameIndex, unit.key});
            pos += total;
        }
        EXPECT_EQ(pos, b.size());
    }
    return out;
}

// The luma the simulator drew for a frame (sparse: the field-coded kind).
inline tvdevsim::YuvPicture Drawing(int width, int height, int64_t frame, bool sparse)
{
    tvdevsim::YuvPicture p;
    tvdevsim::DrawTestPattern(p, width, height, frame, sparse);
    return p;
}

// The frame-number plate at the top left, where the simulator draws it.
struct Region {
    int x, y, width, height;
};
inline Region NumberPlate(int height)
{
    const int s = std::max(1, height / 72);
    return {0, 0, 6 * (4 * s + 2 * s) + 6 * s, 7 * s + 6 * s};
}

// PSNR in dB of a luma region: got is read through its own stride and step
// (2 for the Y bytes of YUY2).
inline double RegionPsnr(const uint8_t* got, ptrdiff_t stride, int step,
                         const tvdevsim::YuvPicture& want, Region r)
{
    double se = 0;
    for (int y = r.y; y < r.y + r.height; ++y)
        for (int x = r.x; x < r.x + r.width; ++x) {
            const double d =
                got[y * stride + x * step] - want.y[static_cast<size_t>(y) * want.width + x];
            se += d * d;
        }
    const double mse = se / (static_cast<double>(r.width) * r.height);
    return 10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-9));
}

} // namespace h264test
