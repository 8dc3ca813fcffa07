// The colour conversions and the deinterlacer's picture work: the vector
// paths equal their scalar references on odd sizes and strides, and the
// references give the BT.601 colours and the comb removal they promise.
#include "ColorConvert.h"
#include "CombDeinterlace.h"
#include "VideoFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace {

struct Size {
    int width;
    int height;
};

// Odd and even widths around the 8- and 16-pixel vector steps.
const Size kSizes[] = {{1, 1},  {2, 1},  {3, 2},  {7, 3},  {8, 2},  {9, 5},
                       {15, 4}, {16, 3}, {17, 7}, {33, 2}, {64, 4}, {130, 3}};

std::vector<uint8_t> Random(size_t n, uint32_t seed)
{
    std::mt19937 rng(seed);
    std::vector<uint8_t> v(n);
    for (uint8_t& b : v)
        b = static_cast<uint8_t>(rng());
    return v;
}

class ConvertSizes : public ::testing::TestWithParam<Size> {};

TEST_P(ConvertSizes, Yuy2ToBgrxVectorEqualsScalar)
{
    const auto [w, h] = GetParam();
    const ptrdiff_t srcStride = Yuy2Stride(w) + 4; // rows with room behind them
    const ptrdiff_t dstStride = w * 4 + 12;
    const std::vector<uint8_t> src = Random(srcStride * h, w * 31 + h);
    std::vector<uint8_t> vec(dstStride * h, 0xAA), ref(dstStride * h, 0xAA);
    Yuy2ToBgrx(src.data(), srcStride, w, h, vec.data(), dstStride, ConvertPath::Vector);
    Yuy2ToBgrx(src.data(), srcStride, w, h, ref.data(), dstStride, ConvertPath::Scalar);
    EXPECT_EQ(vec, ref);
    // Nothing is written past a row's w pixels.
    for (int r = 0; r < h; ++r)
        for (ptrdiff_t i = w * 4; i < dstStride; ++i)
            ASSERT_EQ(vec[r * dstStride + i], 0xAA);
}

TEST_P(ConvertSizes, Bgr24ToYuy2VectorEqualsScalar)
{
    const auto [w, h] = GetParam();
    const ptrdiff_t srcStride = w * 3 + 5;
    const ptrdiff_t dstStride = Yuy2Stride(w) + 8;
    const std::vector<uint8_t> src = Random(srcStride * h, w * 17 + h);
    std::vector<uint8_t> vec(dstStride * h, 0xAA), ref(dstStride * h, 0xAA);
    Bgr24ToYuy2(src.data(), srcStride, w, h, vec.data(), dstStride, ConvertPath::Vector);
    Bgr24ToYuy2(src.data(), srcStride, w, h, ref.data(), dstStride, ConvertPath::Scalar);
    EXPECT_EQ(vec, ref);
    for (int r = 0; r < h; ++r)
        for (ptrdiff_t i = Yuy2Stride(w); i < dstStride; ++i)
            ASSERT_EQ(vec[r * dstStride + i], 0xAA);
}

TEST_P(ConvertSizes, DeinterlaceVectorEqualsScalar)
{
    const auto [w, h] = GetParam();
    const int rowBytes = w * 3;
    const ptrdiff_t stride = rowBytes + 7;
    const std::vector<uint8_t> src = Random(stride * h, w * 5 + h);
    std::vector<uint8_t> vec(stride * h, 0xAA), ref(stride * h, 0xAA);
    for (int threshold : {0, 12, 40}) {
        DeinterlaceFrame(src.data(), stride, vec.data(), stride, rowBytes, h, threshold,
                         ConvertPath::Vector);
        DeinterlaceFrame(src.data(), stride, ref.data(), stride, rowBytes, h, threshold,
                         ConvertPath::Scalar);
        EXPECT_EQ(vec, ref) << "threshold " << threshold;
    }
}

INSTANTIATE_TEST_SUITE_P(OddAndEven, ConvertSizes, ::testing::ValuesIn(kSizes));

// Bottom-up pictures are read from their top row with a negative stride.
TEST(ColorConvert, NegativeStridesReadRowsUpwards)
{
    const int w = 19, h = 4;
    const ptrdiff_t stride = w * 3 + 1;
    const std::vector<uint8_t> src = Random(stride * h, 7);
    std::vector<uint8_t> up(Yuy2Stride(w) * h), rows(Yuy2Stride(w) * h);
    Bgr24ToYuy2(src.data() + (h - 1) * stride, -stride, w, h, up.data(), Yuy2Stride(w));
    for (int r = 0; r < h; ++r)
        Bgr24ToYuy2(src.data() + (h - 1 - r) * stride, stride, w, 1,
                    rows.data() + r * Yuy2Stride(w), Yuy2Stride(w), ConvertPath::Scalar);
    EXPECT_EQ(up, rows);
}

// The fixed-point reference against the BT.601 equations in floating point.
TEST(ColorConvert, Yuy2ColoursFollowBt601)
{
    struct Case {
        uint8_t y, u, v;
    };
    const Case cases[] = {{16, 128, 128}, {235, 128, 128}, {81, 90, 240},
                          {145, 54, 34},  {41, 240, 110},  {126, 128, 128},
                          {0, 0, 0},      {255, 255, 255}, {200, 20, 230}};
    for (const Case& c : cases) {
        const uint8_t yuy2[4] = {c.y, c.u, c.y, c.v};
        uint8_t bgrx[8];
        Yuy2ToBgrx(yuy2, 4, 2, 1, bgrx, 8, ConvertPath::Scalar);
        const double yy = 1.164383 * (c.y - 16), d = c.u - 128, e = c.v - 128;
        const double want[3] = {yy + 2.017232 * d, yy - 0.391762 * d - 0.812968 * e,
                                yy + 1.596027 * e};
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(bgrx[k], std::clamp(want[k], 0.0, 255.0), 1.0)
                << int(c.y) << " " << int(c.u) << " " << int(c.v) << " channel " << k;
        EXPECT_EQ(bgrx[3], 255);
        EXPECT_EQ(std::vector<uint8_t>(bgrx, bgrx + 4), std::vector<uint8_t>(bgrx + 4, bgrx + 8));
    }
}

TEST(ColorConvert, Bgr24ColoursFollowBt601)
{
    struct Case {
        uint8_t r, g, b;
    };
    const Case cases[] = {{0, 0, 0},   {255, 255, 255}, {255, 0, 0},  {0, 255, 0},
                          {0, 0, 255}, {128, 64, 200},  {10, 250, 90}};
    for (const Case& c : cases) {
        const uint8_t bgr[6] = {c.b, c.g, c.r, c.b, c.g, c.r};
        uint8_t yuy2[4];
        Bgr24ToYuy2(bgr, 6, 2, 1, yuy2, 4, ConvertPath::Scalar);
        const double y = 16 + 0.256788 * c.r + 0.504129 * c.g + 0.097906 * c.b;
        const double u = 128 - 0.148223 * c.r - 0.290993 * c.g + 0.439216 * c.b;
        const double v = 128 + 0.439216 * c.r - 0.367788 * c.g - 0.071427 * c.b;
        EXPECT_NEAR(yuy2[0], y, 1.0);
        EXPECT_EQ(yuy2[0], yuy2[2]);
        EXPECT_NEAR(yuy2[1], u, 1.0);
        EXPECT_NEAR(yuy2[3], v, 1.0);
    }
}

// A colour through both conversions comes back within the rounding of each.
TEST(ColorConvert, RoundTripKeepsColours)
{
    const int w = 64;
    std::vector<uint8_t> bgr(w * 3), yuy2(w * 2), back(w * 4);
    std::mt19937 rng(3);
    for (int x = 0; x < w; x += 2) // both pixels of a pair alike: chroma is shared
        for (int k = 0; k < 3; ++k)
            bgr[3 * x + k] = bgr[3 * x + 3 + k] = static_cast<uint8_t>(rng());
    Bgr24ToYuy2(bgr.data(), 0, w, 1, yuy2.data(), 0);
    Yuy2ToBgrx(yuy2.data(), 0, w, 1, back.data(), 0);
    for (int x = 0; x < w; ++x)
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(back[4 * x + k], bgr[3 * x + k], 3) << "pixel " << x << " channel " << k;
}

// ---- the deinterlacer ----

std::vector<uint8_t> Frame(int rowBytes, int rows, uint8_t (*value)(int row, int byte))
{
    std::vector<uint8_t> f(static_cast<size_t>(rowBytes) * rows);
    for (int r = 0; r < rows; ++r)
        for (int i = 0; i < rowBytes; ++i)
            f[r * rowBytes + i] = value(r, i);
    return f;
}

TEST(CombDeinterlace, StillPicturesPassUnchanged)
{
    // Vertical detail the fields agree on: a ramp, and a 2-row stripe pattern.
    const int rowBytes = 48, rows = 9;
    for (auto value : {+[](int r, int i) { return static_cast<uint8_t>(20 * r + i); },
                       +[](int r, int) { return static_cast<uint8_t>((r / 2) % 2 ? 200 : 40); }}) {
        const std::vector<uint8_t> in = Frame(rowBytes, rows, value);
        std::vector<uint8_t> out(in.size());
        DeinterlaceFrame(in.data(), rowBytes, out.data(), rowBytes, rowBytes, rows);
        EXPECT_EQ(out, in);
    }
}

TEST(CombDeinterlace, CombsBecomeTheMeanOfTheFirstField)
{
    // The two fields disagree everywhere: even rows 40, odd rows 200.
    const int rowBytes = 33, rows = 6;
    const std::vector<uint8_t> in =
        Frame(rowBytes, rows, [](int r, int) { return static_cast<uint8_t>(r % 2 ? 200 : 40); });
    std::vector<uint8_t> out(in.size());
    DeinterlaceFrame(in.data(), rowBytes, out.data(), rowBytes, rowBytes, rows);
    for (int r = 0; r < rows; ++r)
        for (int i = 0; i < rowBytes; ++i)
            ASSERT_EQ(out[r * rowBytes + i], 40) << "row " << r << " byte " << i;
}

TEST(CombDeinterlace, OnlyBytesBeyondTheThresholdChange)
{
    const int rowBytes = 4, rows = 3;
    // Row 1 against rows 0 (100) and 2 (120): inside, at the threshold on
    // either side, and one beyond on either side.
    const uint8_t in[rows][rowBytes] = {
        {100, 100, 100, 100}, {110, 132, 87, 133}, {120, 120, 120, 120}};
    uint8_t out[rows][rowBytes];
    DeinterlaceFrame(&in[0][0], rowBytes, &out[0][0], rowBytes, rowBytes, rows, 12);
    const uint8_t want[rowBytes] = {110, 132, 110, 110};
    for (int i = 0; i < rowBytes; ++i)
        EXPECT_EQ(out[1][i], want[i]) << "byte " << i;
}

// ---- packed rows ----

TEST(PackedRows, TheSampleLengthTellsPaddedFromPacked)
{
    struct Case {
        int width, height, bpp;
        long length;
        int stride, rows;
    };
    const Case cases[] = {
        {5, 4, 3, 16 * 4, 16, 4}, // DIB rows of 16 bytes
        {5, 4, 3, 15 * 4, 15, 4}, // rows packed as the decoder writes them
        {5, 4, 3, 15 * 3, 15, 3}, // short: the rows that fit, packed
        {8, 2, 3, 24 * 2, 24, 2}, // both layouts agree
        {3, 2, 2, 8 * 2, 8, 2},   // YUY2 of odd width, rows padded
        {4, 3, 4, 1000, 16, 3},   // more than enough
        {4, 3, 4, 0, 0, 0},       // nothing
    };
    for (const Case& c : cases) {
        const PackedRows r = LayoutPackedRows(c.width, c.height, c.bpp, c.length);
        EXPECT_EQ(r.stride, c.stride) << c.width << "x" << c.height << " " << c.length;
        EXPECT_EQ(r.rows, c.rows) << c.width << "x" << c.height << " " << c.length;
    }
}

} // namespace
