// The video renderer's exact 2:1 reductions (YUY2 and 32-bit RGB): every
// kernel the CPU runs against a plain per-pixel box average, over sizes that
// leave vector tails, unaligned rows, padded and negative strides; and the
// converter taking that path for a window of exactly half the picture.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "video/FrameConverter.h"
#include "video/PictureHalve.h"

namespace {

std::vector<uint8_t> Noise(size_t n, uint32_t seed)
{
    std::vector<uint8_t> v(n);
    std::mt19937 rng(seed);
    for (auto& b : v)
        b = uint8_t(rng());
    return v;
}

// The half picture as three planes, rows packed.
struct Half {
    int width = 0, height = 0;
    std::vector<uint8_t> y, u, v;
    Planar422 Planes() { return Planar422{y.data(), u.data(), v.data(), width, width / 2}; }
    bool operator==(const Half& o) const { return y == o.y && u == o.u && v == o.v; }
};

Half EmptyHalf(int w, int h)
{
    Half half;
    half.width = w / 2;
    half.height = h / 2;
    half.y.resize(size_t(half.width) * size_t(half.height));
    half.u.resize(half.y.size() / 2);
    half.v.resize(half.y.size() / 2);
    return half;
}

// The box average in pixel terms: luma of output pixel (x, y) from input
// pixels 2x, 2x+1 of rows 2y, 2y+1; the chroma of output pair k from the
// chroma of input pairs 2k and 2k+1 of both rows.
Half BoxHalf(const uint8_t* src, ptrdiff_t stride, int w, int h)
{
    auto luma = [&](int x, int y) { return int(src[ptrdiff_t(y) * stride + 2 * x]); };
    auto chroma = [&](int pair, int y, int which) {
        return int(src[ptrdiff_t(y) * stride + 4 * pair + 1 + 2 * which]);
    };
    Half half = EmptyHalf(w, h);
    const int ow = half.width;
    for (int y = 0; y < half.height; ++y) {
        for (int x = 0; x < ow; ++x) {
            int sum = 0;
            for (int dy = 0; dy < 2; ++dy)
                for (int dx = 0; dx < 2; ++dx)
                    sum += luma(2 * x + dx, 2 * y + dy);
            half.y[size_t(y) * size_t(ow) + size_t(x)] = uint8_t((sum + 2) / 4);
        }
        for (int k = 0; k < ow / 2; ++k)
            for (int which = 0; which < 2; ++which) {
                int sum = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int p = 0; p < 2; ++p)
                        sum += chroma(2 * k + p, 2 * y + dy, which);
                auto& plane = which == 0 ? half.u : half.v;
                plane[size_t(y) * size_t(ow / 2) + size_t(k)] = uint8_t((sum + 2) / 4);
            }
    }
    return half;
}

// The half picture back in YUY2, to convert it the ordinary way.
std::vector<uint8_t> Yuy2Of(const Half& half)
{
    std::vector<uint8_t> out(half.y.size() * 2);
    for (size_t i = 0; i < half.y.size(); ++i) {
        const size_t row = i / size_t(half.width), pair = (i % size_t(half.width)) / 2;
        out[2 * i] = half.y[i];
        const auto& plane = i % 2 == 0 ? half.u : half.v;
        out[2 * i + 1] = plane[row * size_t(half.width / 2) + pair];
    }
    return out;
}

std::vector<HalveKernel> Kernels()
{
    std::vector<HalveKernel> k = {HalveKernel::Scalar, HalveKernel::Sse2};
    if (HalveKernelAvailable(HalveKernel::Avx2))
        k.push_back(HalveKernel::Avx2);
    return k;
}

const char* KernelName(HalveKernel k)
{
    return k == HalveKernel::Avx2 ? "avx2" : k == HalveKernel::Sse2 ? "sse2" : "scalar";
}

} // namespace

TEST(Yuy2Halve, EveryKernelGivesTheBoxAverageOverSizesAndAlignments)
{
    struct Size {
        int w, h;
    };
    // Widths around the vector steps (64 and 128 input bytes a row give one
    // step of SSE2 and AVX2), and one full HD row pair.
    const Size sizes[] = {{4, 2},   {8, 2},   {12, 4},  {28, 2},   {32, 6},
                          {36, 2},  {60, 4},  {64, 2},  {68, 4},   {124, 2},
                          {128, 4}, {132, 6}, {196, 2}, {1920, 4}, {1924, 2}};
    const size_t offsets[] = {0, 1, 3, 17};
    const int paddings[] = {0, 6};
    constexpr uint8_t kGuard = 0xA5;
    uint32_t seed = 1;
    for (HalveKernel kernel : Kernels())
        for (const Size& size : sizes)
            for (size_t offset : offsets)
                for (int padding : paddings) {
                    SCOPED_TRACE(testing::Message()
                                 << KernelName(kernel) << " " << size.w << "x" << size.h
                                 << " offset " << offset << " padding " << padding);
                    const ptrdiff_t stride = size.w * 2 + padding;
                    auto in = Noise(offset + size_t(stride) * size_t(size.h), seed++);
                    const uint8_t* src = in.data() + offset;
                    const Half want = BoxHalf(src, stride, size.w, size.h);
                    // Each plane at an odd place in a buffer of guard bytes,
                    // its rows padded: what is outside the rows must survive.
                    const int ow = want.width, oh = want.height;
                    const ptrdiff_t yStride = ow + padding + 1, cStride = ow / 2 + padding + 3;
                    std::vector<uint8_t> ybuf(offset + size_t(yStride) * size_t(oh) + 64, kGuard);
                    std::vector<uint8_t> ubuf(offset + size_t(cStride) * size_t(oh) + 64, kGuard);
                    std::vector<uint8_t> vbuf(ubuf);
                    HalveYuy2(kernel, src, stride, size.w, size.h,
                              Planar422{ybuf.data() + offset, ubuf.data() + offset,
                                        vbuf.data() + offset, yStride, cStride});
                    struct Plane {
                        const char* name;
                        const std::vector<uint8_t>& buf;
                        const std::vector<uint8_t>& want;
                        ptrdiff_t stride;
                        int width;
                    };
                    const Plane planes[] = {{"Y", ybuf, want.y, yStride, ow},
                                            {"U", ubuf, want.u, cStride, ow / 2},
                                            {"V", vbuf, want.v, cStride, ow / 2}};
                    for (const Plane& p : planes) {
                        std::vector<uint8_t> expected(p.buf.size(), kGuard);
                        for (int y = 0; y < oh; ++y)
                            std::memcpy(expected.data() + offset + size_t(y) * size_t(p.stride),
                                        p.want.data() + size_t(y) * size_t(p.width),
                                        size_t(p.width));
                        ASSERT_EQ(expected, p.buf) << p.name << " plane";
                    }
                }
}

TEST(Yuy2Halve, ANegativeStrideWalksThePictureBottomRowFirst)
{
    const int w = 132, h = 6;
    auto in = Noise(size_t(w) * 2 * h, 99);
    // The same rows in the opposite order, read through a negative stride.
    std::vector<uint8_t> flipped(in.size());
    for (int y = 0; y < h; ++y)
        std::memcpy(flipped.data() + size_t(h - 1 - y) * w * 2, in.data() + size_t(y) * w * 2,
                    size_t(w) * 2);
    const Half want = BoxHalf(in.data(), w * 2, w, h);
    for (HalveKernel kernel : Kernels()) {
        Half got = EmptyHalf(w, h);
        HalveYuy2(kernel, flipped.data() + size_t(h - 1) * w * 2, -ptrdiff_t(w) * 2, w, h,
                  got.Planes());
        EXPECT_TRUE(want == got) << KernelName(kernel);
    }
}

TEST(Yuy2Halve, OnlyExactHalvesOfWholeChromaPairsQualify)
{
    struct Case {
        int sw, sh, dw, dh;
        bool ok;
    };
    const Case cases[] = {
        {1920, 1080, 960, 540, true},
        {704, 576, 352, 288, true},
        {4, 2, 2, 1, true},
        {1920, 1080, 960, 541, false},
        {1920, 1080, 961, 540, false},
        {1922, 1080, 961, 540, false},
        {1920, 1081, 960, 540, false},
        {1920, 1080, 1920, 1080, false},
        {0, 0, 0, 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.ok, CanHalveYuy2(c.sw, c.sh, c.dw, c.dh))
            << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh;
}

TEST(Yuy2Halve, TheConverterShowsTheBoxAverageAtExactlyHalfSize)
{
    // A window of exactly half the picture shows the box average, converted
    // without scaling (through planar 4:2:2, whose conversion may round a
    // colour one step differently from the packed one).
    const int w = 68, h = 10;
    auto in = Noise(size_t(w) * 2 * h, 7);
    const FrameFormat format{PixelLayout::YUY2, w, h, w * 2, false};

    auto convert = [](const FrameFormat& f, const uint8_t* frame, RECT src, int ow, int oh) {
        std::vector<uint8_t> pixels(size_t(ow) * 4 * size_t(oh) + kSurfacePadding);
        SurfaceView view{pixels.data(), ow, oh, ow * 4, SurfaceKind::BGRX32};
        CFrameConverter converter;
        EXPECT_TRUE(converter.Convert(f, frame, src, view, RECT{0, 0, ow, oh}));
        pixels.resize(size_t(ow) * 4 * size_t(oh));
        return pixels;
    };
    auto expectNear = [](const std::vector<uint8_t>& want, const std::vector<uint8_t>& got) {
        ASSERT_EQ(want.size(), got.size());
        int worst = 0;
        for (size_t i = 0; i < want.size(); ++i)
            worst = std::max(worst, std::abs(int(want[i]) - int(got[i])));
        EXPECT_LE(worst, 2);
    };
    const auto half = Yuy2Of(BoxHalf(in.data(), w * 2, w, h));
    const FrameFormat halfFormat{PixelLayout::YUY2, w / 2, h / 2, w, false};
    expectNear(convert(halfFormat, half.data(), RECT{0, 0, w / 2, h / 2}, w / 2, h / 2),
               convert(format, in.data(), RECT{0, 0, w, h}, w / 2, h / 2));
    // A source rectangle inside the picture halves the same way.
    const auto inner = Yuy2Of(BoxHalf(in.data() + 2 * w * 2 + 8, w * 2, 32, 6));
    const FrameFormat innerFormat{PixelLayout::YUY2, 16, 3, 32, false};
    expectNear(convert(innerFormat, inner.data(), RECT{0, 0, 16, 3}, 16, 3),
               convert(format, in.data(), RECT{4, 2, 36, 8}, 16, 3));
}

namespace {

// The 32-bit box average in pixel terms, rows packed; the fourth byte 255.
std::vector<uint8_t> BoxHalfRgb32(const uint8_t* src, ptrdiff_t stride, int w, int h)
{
    const int ow = w / 2, oh = h / 2;
    std::vector<uint8_t> out(size_t(ow) * 4 * size_t(oh));
    for (int y = 0; y < oh; ++y)
        for (int x = 0; x < ow; ++x) {
            for (int c = 0; c < 3; ++c) {
                int sum = 0;
                for (int dy = 0; dy < 2; ++dy)
                    for (int dx = 0; dx < 2; ++dx)
                        sum += src[ptrdiff_t(2 * y + dy) * stride + (2 * x + dx) * 4 + c];
                out[(size_t(y) * size_t(ow) + size_t(x)) * 4 + size_t(c)] = uint8_t((sum + 2) / 4);
            }
            out[(size_t(y) * size_t(ow) + size_t(x)) * 4 + 3] = 255;
        }
    return out;
}

} // namespace

TEST(Rgb32Halve, EveryKernelGivesTheBoxAverageOverSizesAndAlignments)
{
    // Widths around the 4- and 8-pixel vector steps; rows walked downwards
    // and, through a negative stride, upwards.
    const int widths[] = {2, 4, 6, 8, 14, 16, 18, 30, 32, 34, 62, 64, 66, 1920};
    const int heights[] = {2, 6};
    const size_t offsets[] = {0, 1, 3, 17};
    const int paddings[] = {0, 6};
    constexpr uint8_t kGuard = 0x5A;
    uint32_t seed = 1000;
    for (HalveKernel kernel : Kernels())
        for (int w : widths)
            for (int h : heights)
                for (size_t offset : offsets)
                    for (int padding : paddings)
                        for (bool upwards : {false, true}) {
                            SCOPED_TRACE(testing::Message()
                                         << KernelName(kernel) << " " << w << "x" << h << " offset "
                                         << offset << " padding " << padding
                                         << (upwards ? " upwards" : ""));
                            const ptrdiff_t stride = w * 4 + padding;
                            auto in = Noise(offset + size_t(stride) * size_t(h), seed++);
                            const uint8_t* top = in.data() + offset;
                            // The rows as read: from the last upwards, or as stored.
                            std::vector<uint8_t> rows(size_t(w) * 4 * size_t(h));
                            for (int y = 0; y < h; ++y)
                                std::memcpy(rows.data() + size_t(y) * size_t(w) * 4,
                                            top + (upwards ? h - 1 - y : y) * stride,
                                            size_t(w) * 4);
                            const auto want = BoxHalfRgb32(rows.data(), w * 4, w, h);
                            const int ow = w / 2, oh = h / 2;
                            const ptrdiff_t outStride = ow * 4 + padding + 1;
                            std::vector<uint8_t> out(offset + size_t(outStride) * size_t(oh) + 64,
                                                     kGuard);
                            HalveRgb32(kernel, upwards ? top + (h - 1) * stride : top,
                                       upwards ? -stride : stride, w, h, out.data() + offset,
                                       outStride);
                            std::vector<uint8_t> expected(out.size(), kGuard);
                            for (int y = 0; y < oh; ++y)
                                std::memcpy(
                                    expected.data() + offset + size_t(y) * size_t(outStride),
                                    want.data() + size_t(y) * size_t(ow) * 4, size_t(ow) * 4);
                            ASSERT_EQ(expected, out);
                        }
}

TEST(Rgb32Halve, OnlyExactHalvesQualify)
{
    struct Case {
        int sw, sh, dw, dh;
        bool ok;
    };
    const Case cases[] = {
        {1920, 1080, 960, 540, true},  {2, 2, 1, 1, true},
        {1922, 1080, 961, 540, true},  {1921, 1080, 960, 540, false},
        {1920, 1081, 960, 540, false}, {1920, 1080, 960, 541, false},
        {0, 0, 0, 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.ok, CanHalveRgb32(c.sw, c.sh, c.dw, c.dh))
            << c.sw << "x" << c.sh << " -> " << c.dw << "x" << c.dh;
}

TEST(Rgb32Halve, TheConverterPutsTheBoxAverageIntoTheSurface)
{
    // A bottom-up DIB (as a colour converter upstream delivers it) shown at
    // exactly half size, whole and from a source rectangle into a rectangle
    // of a larger surface, whose other pixels stay.
    const int w = 36, h = 10;
    auto in = Noise(size_t(w) * 4 * h, 11);
    const FrameFormat format{PixelLayout::RGB32, w, h, w * 4, true};
    std::vector<uint8_t> topDown(in.size());
    for (int y = 0; y < h; ++y)
        std::memcpy(topDown.data() + size_t(y) * w * 4, in.data() + size_t(h - 1 - y) * w * 4,
                    size_t(w) * 4);
    struct Case {
        RECT src, dst;
    };
    const Case cases[] = {{RECT{0, 0, w, h}, RECT{0, 0, w / 2, h / 2}},
                          {RECT{4, 2, 28, 10}, RECT{3, 1, 15, 5}}};
    for (const Case& c : cases) {
        const int sw = c.src.right - c.src.left, sh = c.src.bottom - c.src.top;
        const auto want = BoxHalfRgb32(
            topDown.data() + size_t(c.src.top) * w * 4 + size_t(c.src.left) * 4, w * 4, sw, sh);
        const int surfaceW = 20, surfaceH = 7;
        std::vector<uint8_t> pixels(size_t(surfaceW) * 4 * surfaceH + kSurfacePadding, 0x33);
        SurfaceView view{pixels.data(), surfaceW, surfaceH, surfaceW * 4, SurfaceKind::BGRX32};
        CFrameConverter converter;
        ASSERT_TRUE(converter.Convert(format, in.data(), c.src, view, c.dst));
        for (int y = 0; y < surfaceH; ++y)
            for (int x = 0; x < surfaceW; ++x) {
                const uint8_t* got = pixels.data() + (size_t(y) * surfaceW + size_t(x)) * 4;
                const bool inside =
                    x >= c.dst.left && x < c.dst.right && y >= c.dst.top && y < c.dst.bottom;
                const uint8_t* expect =
                    want.data() +
                    (size_t(y - c.dst.top) * size_t(sw / 2) + size_t(x - c.dst.left)) * 4;
                for (int b = 0; b < 4; ++b)
                    ASSERT_EQ(inside ? expect[b] : 0x33, got[b])
                        << "pixel " << x << "," << y << " byte " << b;
            }
    }
}
