// Blending rendered images into YUY2 frames: colours, layout, clipping, row
// mapping and the three blend tables.
#include "overlay_test_util.h"

#include <gtest/gtest.h>

#include <random>

namespace {

void ExpectPair(const BYTE* p, int y0, int u, int y1, int v, const char* what)
{
    EXPECT_EQ(p[0], y0) << what;
    EXPECT_EQ(p[1], u) << what;
    EXPECT_EQ(p[2], y1) << what;
    EXPECT_EQ(p[3], v) << what;
}

TEST(OverlayColour, RgbToYuv)
{
    auto check = [](BYTE r, BYTE g, BYTE b, int y, int u, int v) {
        OverlayYuv c = OverlayRgbToYuv(r, g, b);
        EXPECT_EQ(c.y, y);
        EXPECT_EQ(c.u, u);
        EXPECT_EQ(c.v, v);
    };
    check(255, 0, 0, 76, 90, 255); // V clamped from 284.8
    check(0, 0, 255, 29, 239, 102);
    check(0, 255, 0, 149, 54, 0); // V clamped
    check(0, 0, 0, 0, 128, 128);
    // White's V is 128 in exact arithmetic, just below it in floating point.
    check(255, 255, 255, 255, 128, 127);
}

TEST(OverlayLayout, FromHeaderAndPenWidth)
{
    OverlayFrameLayout l;
    ASSERT_TRUE(OverlayLayoutFromHeader(1920, 1080, 16, &l));
    EXPECT_EQ(l.format, OVERLAY_FORMAT_YUY2);
    EXPECT_EQ(l.width, 1920);
    EXPECT_EQ(l.height, 1080);
    EXPECT_EQ(l.stride, 3840);
    EXPECT_EQ(l.upright, 1);
    ASSERT_TRUE(OverlayLayoutFromHeader(701, -576, 16, &l));
    EXPECT_EQ(l.height, 576);
    EXPECT_EQ(l.upright, 0);
    EXPECT_EQ(l.stride, 1404); // 1402 rounded up to 4
    ASSERT_TRUE(OverlayLayoutFromHeader(640, 480, 0, &l));
    EXPECT_EQ(l.stride, 640);
    ASSERT_TRUE(OverlayLayoutFromHeader(640, 480, 12, &l));
    EXPECT_EQ(l.stride, 640);
    EXPECT_FALSE(OverlayLayoutFromHeader(0, 480, 16, &l));
    EXPECT_FALSE(OverlayLayoutFromHeader(640, 0, 16, &l));
    EXPECT_FALSE(OverlayLayoutFromHeader(640, LONG(0x80000000), 16, &l));

    EXPECT_EQ(OverlayPenWidth(288), 2);
    EXPECT_EQ(OverlayPenWidth(300), 2);
    EXPECT_EQ(OverlayPenWidth(480), 3);
    EXPECT_EQ(OverlayPenWidth(576), 3);
    EXPECT_EQ(OverlayPenWidth(720), 4);
    EXPECT_EQ(OverlayPenWidth(1080), 6);
    EXPECT_EQ(OverlayPenWidth(2160), 6);
}

TEST(OverlayLayout, FrameMustFitItsBuffer)
{
    std::vector<BYTE> buf(64 * 2 * 10);
    OverlayFrameLayout l;
    OverlayLayoutFromHeader(64, 10, 16, &l);
    OverlayFrame f;
    EXPECT_TRUE(f.Init(buf.data(), buf.size(), l));
    EXPECT_FALSE(f.Init(buf.data(), buf.size() - 1, l)); // layout of a larger picture
    EXPECT_FALSE(f.Init(nullptr, buf.size(), l));
    OverlayLayoutFromHeader(64, 10, 0, &l); // stride = width: rows too short for YUY2
    EXPECT_FALSE(f.Init(buf.data(), buf.size(), l));
}

TEST(OverlayClip, VisibleBoxAndOffsets)
{
    TestFrame tf(100, 50);
    OverlayFrame f = tf.Frame();
    OverlayClip c;
    ASSERT_TRUE(OverlayClipImage(-20, -5, 40, 10, f, &c));
    EXPECT_EQ(c.vx0, 0);
    EXPECT_EQ(c.vy0, 0);
    EXPECT_EQ(c.ox, 20);
    EXPECT_EQ(c.oy, 5);
    EXPECT_EQ(c.cols, 20);
    EXPECT_EQ(c.rows, 5);
    ASSERT_TRUE(OverlayClipImage(90, 45, 40, 10, f, &c));
    EXPECT_EQ(c.cols, 10);
    EXPECT_EQ(c.rows, 5);
    EXPECT_EQ(c.ox, 0);
    EXPECT_FALSE(OverlayClipImage(-40, 0, 40, 10, f, &c)); // touches the left edge from outside
    EXPECT_FALSE(OverlayClipImage(100, 0, 40, 10, f, &c));
    EXPECT_FALSE(OverlayClipImage(0, 50, 40, 10, f, &c));
    EXPECT_FALSE(OverlayClipImage(INT32_MIN, INT32_MIN, 32767, 32767, f, &c));
    EXPECT_FALSE(OverlayClipImage(INT32_MAX, 0, 32767, 10, f, &c));
}

// The mask table on one row of four pairs: both, first only, second only, neither.
TEST(OverlayMaskBlend, PairTable)
{
    TestFrame tf(8, 1, true, 100, 61, 201);
    OverlayImage mask = MaskFromRows({"###..#.."});
    OverlayBlendMask(tf.Frame(), mask, 0, 0, false, OverlayYuv{10, 21, 31});
    ExpectPair(tf.Pixel(0, 0), 10, 21, 10, 31, "both");
    ExpectPair(tf.Pixel(2, 0), 10, 40, 100, 115, "first only"); // 61/2 + 21/2, 201/2 + 31/2
    ExpectPair(tf.Pixel(4, 0), 100, 40, 10, 115, "second only");
    ExpectPair(tf.Pixel(6, 0), 100, 61, 100, 201, "neither");
    EXPECT_TRUE(tf.GuardsIntact());
}

TEST(OverlayMaskBlend, RowsMapToTheBottomEdgeAndPolygonsFlip)
{
    // A mask 2 wide, 3 high: only its top row drawn.
    OverlayImage mask = MaskFromRows({"##", "..", ".."});
    OverlayYuv c{0, 0, 0};
    {
        TestFrame tf(4, 10, true); // upright: visible row r is memory row 9 - r
        OverlayBlendMask(tf.Frame(), mask, 2, 4, false, c);
        // The image's top row is visible row y0 + 2 = 6.
        for (LONG r = 0; r < 10; ++r)
            EXPECT_EQ(tf.Y(2, r), r == 6 ? 0 : 100) << r;
        EXPECT_EQ(tf.Data()[(9 - 6) * 8 + 4], 0); // memory row 3
    }
    {
        TestFrame tf(4, 10, true);
        OverlayBlendMask(tf.Frame(), mask, 2, 4, true, c);
        // Polygons take rows top-down: the mask's top row (point y = lowest y) lands at y0.
        for (LONG r = 0; r < 10; ++r)
            EXPECT_EQ(tf.Y(2, r), r == 4 ? 0 : 100) << r;
    }
    {
        TestFrame tf(4, 10, false); // bottom-up memory: visible row r is memory row r
        OverlayBlendMask(tf.Frame(), mask, 2, 4, true, c);
        EXPECT_EQ(tf.Data()[6 * 8 + 4], 0); // no flip without the upright flag
        for (LONG r = 0; r < 10; ++r)
            EXPECT_EQ(tf.Y(2, r), r == 6 ? 0 : 100) << r;
    }
}

TEST(OverlayMaskBlend, ClippedOnEverySideWithoutStrayWrites)
{
    std::vector<const char*> rows(40, "################################");
    OverlayImage mask = MaskFromRows(rows); // 32 x 40, all drawn
    for (LONG x0 : {-30, -16, 0, 20, 30, 40}) {
        for (LONG y0 : {-39, -10, 0, 5, 19}) {
            TestFrame tf(34, 20);
            OverlayBlendMask(tf.Frame(), mask, x0, y0, false, OverlayYuv{0, 0, 0});
            EXPECT_TRUE(tf.GuardsIntact());
            for (LONG r = 0; r < 20; ++r)
                for (LONG x = 0; x < 34; ++x) {
                    bool inside = x >= x0 && x < x0 + 32 && r >= y0 && r < y0 + 40;
                    // A last column alone (odd visible width) is not a pair and stays.
                    bool pairComplete = (x & ~1) + 1 < std::min<LONG>(34, x0 + 32);
                    EXPECT_EQ(tf.Y(x, r), inside && pairComplete ? 0 : 100)
                        << x0 << "," << y0 << " " << x << "," << r;
                }
        }
    }
}

TEST(OverlayBitmapBlend, OpaqueAndTransparentPairs)
{
    TestFrame tf(8, 1, true, 100, 61, 201);
    OverlayPixel red{76, 90, 255, 1}, blue{29, 239, 102, 1}, clear{0, 0, 0, 0};
    std::vector<OverlayPixel> px = {red, blue, red, clear, clear, blue, clear, clear};
    OverlayBlendBitmap(tf.Frame(), px, 8, 1, 0, 0);
    ExpectPair(tf.Pixel(0, 0), 76, 239 / 2 + 90 / 2, 29, 102 / 2 + 255 / 2, "both");
    ExpectPair(tf.Pixel(2, 0), 76, 61 / 2 + 90 / 2, 100, 201 / 2 + 255 / 2,
               "first only keeps second luma");
    ExpectPair(tf.Pixel(4, 0), 100, 61 / 2 + 239 / 2, 29, 201 / 2 + 102 / 2,
               "second only keeps first luma");
    ExpectPair(tf.Pixel(6, 0), 100, 61, 100, 201, "transparent");
    // A pixel list that does not match the size is not used.
    OverlayBlendBitmap(tf.Frame(), px, 8, 2, 0, 0);
    EXPECT_TRUE(tf.GuardsIntact());
}

TEST(OverlayTextBlend, GlyphPairsAndTheirOutline)
{
    // One drawn pair in the middle of a 6 x 3 image placed at (4, 2).
    OverlayImage mask = MaskFromRows({"......", "..##..", "......"});
    TestFrame tf(14, 7, true, 100, 60, 200);
    OverlayYuv text{250, 20, 30}, outline{0, 128, 128};
    OverlayBlendText(tf.Frame(), mask, 4, 2, text, outline);
    // The glyph pair at image column 2, visible row 3: frame pixels 6 and 7.
    ExpectPair(tf.Pixel(6, 3), 250, 20, 250, 30, "glyph");
    for (LONG r = 2; r <= 4; ++r)
        for (LONG x : {4, 6, 8}) {
            if (r == 3 && x == 6)
                continue;
            ExpectPair(tf.Pixel(x, r), 0, 128, 0, 128, "outline");
        }
    // Nothing beyond the eight neighbours.
    for (LONG r = 0; r < 7; ++r)
        for (LONG x = 0; x < 14; x += 2)
            if (r < 2 || r > 4 || x < 4 || x > 8)
                ExpectPair(tf.Pixel(x, r), 100, 60, 100, 200, "untouched");
}

TEST(OverlayTextBlend, HalfDrawnPairAndNeighboursWithGlyphPixels)
{
    OverlayImage mask = MaskFromRows({"#..."}); // first pixel of pair 0 only
    TestFrame tf(8, 3, true, 100, 61, 201);
    OverlayBlendText(tf.Frame(), mask, 2, 1, OverlayYuv{250, 21, 31}, OverlayYuv{0, 128, 128});
    ExpectPair(tf.Pixel(2, 1), 250, 61 / 2 + 21 / 2, 0, 201 / 2 + 31 / 2,
               "first drawn, second outline luma");
    ExpectPair(tf.Pixel(4, 1), 0, 128, 0, 128, "right neighbour");
    ExpectPair(tf.Pixel(0, 1), 0, 128, 0, 128, "left neighbour, outside the image");
    ExpectPair(tf.Pixel(2, 0), 0, 128, 0, 128, "below");
    ExpectPair(tf.Pixel(2, 2), 0, 128, 0, 128, "above");

    // A neighbour with a glyph pixel is never painted over.
    OverlayImage two = MaskFromRows({"#.#."});
    TestFrame tf2(8, 1, true, 100, 61, 201);
    OverlayBlendText(tf2.Frame(), two, 0, 0, OverlayYuv{250, 21, 31}, OverlayYuv{0, 128, 128});
    EXPECT_EQ(tf2.Pixel(0, 0)[0], 250);
    EXPECT_EQ(tf2.Pixel(2, 0)[0], 250);
    ExpectPair(tf2.Pixel(4, 0), 0, 128, 0, 128, "right of the glyphs");
}

TEST(OverlayTextBlend, NoOutlineAboveTheTopRow)
{
    OverlayImage mask = MaskFromRows({"####", "####"});
    TestFrame tf(8, 4, true, 100, 60, 200);
    // Image rows 2..3: its top row is the picture's top row (memory row 0).
    OverlayBlendText(tf.Frame(), mask, 2, 2, OverlayYuv{250, 20, 30}, OverlayYuv{0, 128, 128});
    EXPECT_TRUE(tf.GuardsIntact());
    EXPECT_EQ(tf.Pixel(2, 3)[0], 250);
    ExpectPair(tf.Pixel(2, 1), 0, 128, 0, 128, "below");
    ExpectPair(tf.Pixel(0, 3), 0, 128, 0, 128, "left");
    ExpectPair(tf.Pixel(6, 3), 0, 128, 0, 128, "right");
    ExpectPair(tf.Pixel(2, 0), 100, 60, 100, 200, "two rows below");
    // And at the bottom-left corner of a bottom-up frame.
    TestFrame low(8, 4, false, 100, 60, 200);
    OverlayBlendText(low.Frame(), mask, 0, 0, OverlayYuv{250, 20, 30}, OverlayYuv{0, 128, 128});
    EXPECT_TRUE(low.GuardsIntact());
    ExpectPair(low.Pixel(0, 2), 0, 128, 0, 128, "above");
}

// The planned blends write exactly what the plain ones write, for masks
// of any shape inside, across and outside the frame's edges.
TEST(OverlayPlannedBlend, EqualsPlainBlend)
{
    std::mt19937 rng(99);
    int wholeInside = 0, ringInside = 0;
    for (int n = 0; n < 1000; ++n) {
        OverlayImage mask;
        mask.width = LONG(1 + rng() % 23);
        mask.height = LONG(1 + rng() % 9);
        mask.stride = OverlayImage::MaskStride(mask.width);
        mask.bits.assign(size_t(mask.stride) * mask.height, 0);
        const unsigned density = rng() % 4;
        for (auto& b : mask.bits) {
            b = BYTE(rng());
            for (unsigned k = 0; k < density; ++k)
                b |= BYTE(rng()); // denser background
        }
        OverlayMaskPlan plan, shapePlan;
        plan.Build(mask, true);
        shapePlan.Build(mask, false);
        const LONG fw = 2 * LONG(8 + rng() % 16), fh = LONG(6 + rng() % 14);
        const LONG x0 = 2 * (LONG(rng() % 24) - 4), y0 = LONG(rng() % 22) - 3;
        const bool upright = rng() % 2;
        if (x0 >= 0 && y0 >= 0 && x0 + mask.width <= fw && y0 + mask.height <= fh) {
            ++wholeInside;
            ringInside += x0 >= 2 && y0 >= 1 && x0 + mask.width + 3 < fw && y0 + mask.height < fh;
        }
        TestFrame a(fw, fh, upright, 100, 61, 201), b(fw, fh, upright, 100, 61, 201);
        OverlayBlendText(a.Frame(), mask, x0, y0, OverlayYuv{250, 21, 31}, OverlayYuv{3, 128, 127});
        OverlayBlendTextPlanned(b.Frame(), mask, plan, x0, y0, OverlayYuv{250, 21, 31},
                                OverlayYuv{3, 128, 127});
        ASSERT_EQ(a.Picture(), b.Picture())
            << "case " << n << " mask " << mask.width << "x" << mask.height << " at " << x0 << ","
            << y0 << " frame " << fw << "x" << fh;
        ASSERT_TRUE(b.GuardsIntact());
        // And the shape blend, polygon rows or not.
        const bool polygon = rng() % 2;
        TestFrame c(fw, fh, upright, 100, 61, 201), d(fw, fh, upright, 100, 61, 201);
        OverlayBlendMask(c.Frame(), mask, x0, y0, polygon, OverlayYuv{9, 201, 55});
        OverlayBlendMaskPlanned(d.Frame(), mask, shapePlan, x0, y0, polygon,
                                OverlayYuv{9, 201, 55});
        ASSERT_EQ(c.Picture(), d.Picture()) << "shape case " << n;
        // A plan of the wrong kind is not used.
        TestFrame e(fw, fh, upright, 100, 61, 201);
        OverlayBlendTextPlanned(e.Frame(), mask, shapePlan, x0, y0, OverlayYuv{250, 21, 31},
                                OverlayYuv{3, 128, 127});
        ASSERT_EQ(a.Picture(), e.Picture()) << "mismatched plan, case " << n;
    }
    EXPECT_GT(wholeInside, 100); // the plan was used, not only the fallback
    EXPECT_GT(ringInside, 20);
}

} // namespace
