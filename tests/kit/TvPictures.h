// Pictures for video tests: YUY2 colours (BT.601, studio range) and what
// they convert to, YUY2 pictures, pixel comparison with a tolerance, what the
// video renderer presented (its offscreen snapshot), and waiting on a
// delivery that may block.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <future>
#include <vector>

#include <streams.h>

#include "TvInterfaces.h"
#include "offscreen.h"

// ---- YUY2 pictures ----

struct Yuv {
    uint8_t y, u, v;
};
constexpr Yuv kWhite{235, 128, 128};
constexpr Yuv kBlack{16, 128, 128};
constexpr Yuv kRed{81, 90, 240};
constexpr Yuv kBlue{41, 240, 110};

struct Bgr {
    int b, g, r;
};
constexpr Bgr kWhiteRgb{255, 255, 255};
constexpr Bgr kBlackRgb{0, 0, 0};
constexpr Bgr kRedRgb{0, 0, 254};
constexpr Bgr kBlueRgb{254, 0, 0};

template <class F> std::vector<uint8_t> Yuy2Picture(int width, int height, F colourAt)
{
    std::vector<uint8_t> frame(size_t(width) * 2 * size_t(height));
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; x += 2) {
            Yuv c = colourAt(x, y);
            uint8_t* p = frame.data() + (size_t(y) * size_t(width) + size_t(x)) * 2;
            p[0] = c.y;
            p[1] = c.u;
            p[2] = c.y;
            p[3] = c.v;
        }
    }
    return frame;
}

inline std::vector<uint8_t> Yuy2Uniform(int width, int height, Yuv c)
{
    return Yuy2Picture(width, height, [c](int, int) { return c; });
}

inline ::testing::AssertionResult PixelNear(const uint8_t* bgrx, Bgr want, int tolerance = 4)
{
    int got[3] = {bgrx[0], bgrx[1], bgrx[2]};
    int exp[3] = {want.b, want.g, want.r};
    for (int i = 0; i < 3; ++i) {
        if (std::abs(got[i] - exp[i]) > tolerance)
            return ::testing::AssertionFailure()
                   << "pixel B,G,R = " << got[0] << "," << got[1] << "," << got[2] << " want "
                   << exp[0] << "," << exp[1] << "," << exp[2];
    }
    return ::testing::AssertionSuccess();
}

// The renderer's last picture.
struct Picture {
    HRESULT hr = E_FAIL;
    LONG width = 0, height = 0;
    std::vector<uint8_t> pixels;
    const uint8_t* At(int x, int y) const
    {
        return pixels.data() + (size_t(y) * size_t(width) + size_t(x)) * 4;
    }
};

inline Picture Snapshot(IUnknown* renderer)
{
    Picture p;
    IOffscreenSnapshot* snap = Query<IOffscreenSnapshot>(renderer, IID_IOffscreenSnapshot);
    if (!snap)
        return p;
    snap->GetSurfaceInfo(&p.width, &p.height, nullptr, nullptr);
    p.pixels.resize(size_t(p.width) * size_t(p.height) * 4);
    p.hr = snap->CopyLastFrame(p.pixels.data(), LONG(p.pixels.size()), &p.width, &p.height);
    snap->Release();
    return p;
}

inline LONGLONG FramesPresented(IUnknown* renderer)
{
    IOffscreenSnapshot* snap = Query<IOffscreenSnapshot>(renderer, IID_IOffscreenSnapshot);
    LONGLONG frames = -1;
    if (snap) {
        snap->GetSurfaceInfo(nullptr, nullptr, &frames, nullptr);
        snap->Release();
    }
    return frames;
}

// True when the future is still running after a short look (the thread is
// blocked where the test expects it to be; a wrong renderer returns at once).
template <class T> bool StillBlocked(std::future<T>& f, int ms = 100)
{
    return f.wait_for(std::chrono::milliseconds(ms)) == std::future_status::timeout;
}

// The future's result, with a generous safety limit against a hung test.
template <class T> T Result(std::future<T>& f, T onHang)
{
    if (f.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        ADD_FAILURE() << "a delivery never returned";
        return onHang;
    }
    return f.get();
}
