// Overlay items end to end: rendering with GDI or from a BMP file, then
// drawing into YUY2 frames.
#include "CBitmapItem.h"
#include "CEllipseItem.h"
#include "CPolygonItem.h"
#include "CTextItem.h"
#include "overlay_test_util.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace {

bool DrawOn(COverlayItem& item, TestFrame& tf)
{
    TestLayoutSource src(tf.Layout());
    return item.Draw(tf.Data(), tf.Bytes(), src);
}

// Columns of visible row r whose luma is y.
int CountY(TestFrame& tf, LONG row, BYTE y)
{
    int n = 0;
    for (LONG x = 0; x < tf.Width(); ++x)
        n += tf.Y(x, row) == y;
    return n;
}

TEST(OverlayShapes, EllipseHalfOutsideTheLeftEdge)
{
    TestFrame inside(80, 48), half(80, 48);
    CEllipseItem a(20, 10, 60, 40, 255, 0, 0);
    CEllipseItem b(-20, 10, 20, 40, 255, 0, 0);
    ASSERT_TRUE(DrawOn(a, inside));
    ASSERT_TRUE(DrawOn(b, half));
    EXPECT_TRUE(half.GuardsIntact());
    int drawn = 0;
    for (LONG r = 0; r < 48; ++r)
        for (LONG x = 0; x < 80; ++x) {
            // The visible half equals the right half of the same ellipse drawn inside.
            BYTE expect = x < 20 ? inside.Y(x + 40, r) : 100;
            ASSERT_EQ(half.Y(x, r), expect) << x << "," << r;
            drawn += x < 20 && half.Y(x, r) == 76;
        }
    EXPECT_GT(drawn, 30);
    // Entirely outside: drawn "successfully" as nothing.
    TestFrame untouched(80, 48);
    CEllipseItem c(-100, 10, -60, 40, 255, 0, 0);
    EXPECT_TRUE(DrawOn(c, untouched));
    EXPECT_EQ(untouched.Picture(), TestFrame(80, 48).Picture());
}

TEST(OverlayShapes, EllipseBoxIsOrderedAndEven)
{
    CEllipseItem e(31, 40, 11, 10, 1, 2, 3);
    EXPECT_EQ(e.X0(), 10);
    EXPECT_EQ(e.X1(), 30);
    EXPECT_EQ(e.Y0(), 10);
    EXPECT_EQ(e.Y1(), 40);
}

// A polygon with a horizontal middle segment: its thickness is the pen width.
TEST(OverlayShapes, PenWidthFollowsTheFrameHeight)
{
    for (auto [height, pen] : {std::pair<LONG, int>{288, 2}, {576, 3}, {1080, 6}}) {
        TestFrame tf(128, height);
        POINT pts[4] = {{10, 20}, {10, 60}, {110, 60}, {110, 100}};
        CPolygonItem poly(pts, 4, 0, 0, 0);
        ASSERT_TRUE(DrawOn(poly, tf));
        EXPECT_EQ(poly.PenWidth(), pen);
        int thick = 0;
        for (LONG r = 0; r < height; ++r)
            thick += tf.Y(60, r) == 0;
        EXPECT_EQ(thick, pen) << height;
        // The segment sits at y = 60 above the bottom edge.
        EXPECT_EQ(tf.Y(60, 60), 0);
    }
}

TEST(OverlayShapes, PolygonPointsLandAtTheirOwnY)
{
    TestFrame tf(64, 200);
    POINT pts[3] = {{10, 30}, {50, 30}, {50, 90}}; // lowest y first: a flip would show
    CPolygonItem poly(pts, 3, 0, 0, 0);
    EXPECT_EQ(poly.X0(), 10);
    EXPECT_EQ(poly.Y0(), 30);
    EXPECT_EQ(poly.X1(), 51);
    EXPECT_EQ(poly.Y1(), 91);
    ASSERT_TRUE(DrawOn(poly, tf));
    EXPECT_EQ(tf.Y(30, 30), 0);   // on the horizontal segment
    EXPECT_EQ(tf.Y(30, 89), 100); // not mirrored to the top of the box
    EXPECT_EQ(tf.Y(49, 80), 0);   // on the vertical segment (its last, odd column is no pair)
    EXPECT_EQ(tf.Y(20, 80), 100);
    const std::vector<POINT> back = poly.Points();
    ASSERT_EQ(back.size(), 3u);
    EXPECT_EQ(back[2].x, 50);
    EXPECT_EQ(back[2].y, 90);
}

TEST(OverlayShapes, DegeneratePolygonsAndFarOutsideShapes)
{
    TestFrame tf(64, 64);
    POINT one[1] = {{5, 5}};
    CPolygonItem single(one, 1, 0, 0, 0);
    EXPECT_FALSE(single.HasShape());
    EXPECT_FALSE(DrawOn(single, tf));
    CPolygonItem none(nullptr, 5, 0, 0, 0);
    EXPECT_FALSE(DrawOn(none, tf));
    POINT same[2] = {{8, 8}, {8, 8}}; // zero-sized: a 1 x 1 box
    CPolygonItem dot(same, 2, 0, 0, 0);
    EXPECT_TRUE(DrawOn(dot, tf));
    EXPECT_EQ(dot.Image().width, 1);

    POINT far[2] = {{INT_MIN, INT_MIN}, {INT_MAX, INT_MAX}};
    CPolygonItem huge(far, 2, 0, 0, 0);
    EXPECT_FALSE(DrawOn(huge, tf)); // a box no bitmap can hold is not rendered
    CEllipseItem wide(-2000000000, 0, 2000000000, 10, 0, 0, 0);
    EXPECT_FALSE(DrawOn(wide, tf));
    CEllipseItem away(INT_MAX - 100, INT_MAX - 100, INT_MAX, INT_MAX, 0, 0, 0);
    EXPECT_TRUE(DrawOn(away, tf)); // renders, lies outside, draws nothing
    EXPECT_TRUE(tf.GuardsIntact());
}

TEST(OverlayItemLayout, LearnedOnceAndCheckedAgainstTheBuffer)
{
    TestFrame tf(64, 48);
    CEllipseItem e(0, 0, 20, 20, 0, 0, 0);
    TestLayoutSource refuse(tf.Layout(), false);
    EXPECT_FALSE(e.Draw(tf.Data(), tf.Bytes(), refuse));
    EXPECT_TRUE(e.Image().Empty());
    TestLayoutSource src(tf.Layout());
    EXPECT_TRUE(e.Draw(tf.Data(), tf.Bytes(), src));
    EXPECT_TRUE(e.Draw(tf.Data(), tf.Bytes(), src));
    EXPECT_EQ(src.queries, 1);
    // A smaller buffer than the learned layout is never written.
    TestFrame small(32, 24);
    std::vector<BYTE> before = small.Picture();
    EXPECT_FALSE(e.Draw(small.Data(), small.Bytes(), src));
    EXPECT_EQ(small.Picture(), before);
    e.ResetLayout();
    TestLayoutSource smallSrc(small.Layout());
    EXPECT_TRUE(e.Draw(small.Data(), small.Bytes(), smallSrc));
    EXPECT_NE(small.Picture(), before);

    // A new layout of another height renders again with its own pen width.
    POINT pts[4] = {{2, 5}, {2, 30}, {60, 30}, {60, 40}};
    CPolygonItem poly(pts, 4, 0, 0, 0);
    TestFrame low(64, 288), high(64, 1080);
    ASSERT_TRUE(DrawOn(poly, low));
    EXPECT_EQ(poly.PenWidth(), 2);
    poly.ResetLayout();
    ASSERT_TRUE(DrawOn(poly, high));
    EXPECT_EQ(poly.PenWidth(), 6);
    int thick = 0;
    for (LONG r = 0; r < 1080; ++r)
        thick += high.Y(30, r) == 0;
    EXPECT_EQ(thick, 6);
}

// ---- bitmaps ----

// Bottom row: red, transparent (white), blue, green; top row: all transparent.
std::vector<BYTE> FourWide()
{
    return {0,   0,   255, 255, 255, 255, 255, 0,   0,   0,   255, 0, // B G R per pixel
            255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255};
}

TEST(OverlayBitmap, FourPixelsWideRendersWithTransparency)
{
    std::vector<BYTE> bmp = MakeBmp(4, 2, FourWide());
    ASSERT_EQ(bmp.size(), 54u + 2 * 12); // row stride 12 bytes
    TempFile file(bmp);
    lseek(file.Fd(), 7, SEEK_SET);
    CBitmapItem item(file.Fd(), 11, 3, 255, 255, 255); // x made even: 10
    TestFrame tf(16, 8, true, 100, 61, 201);
    ASSERT_TRUE(DrawOn(item, tf));
    EXPECT_EQ(lseek(file.Fd(), 0, SEEK_CUR), 7); // the handle's position is left alone
    EXPECT_EQ(item.X0(), 10);
    EXPECT_EQ(item.X1(), 14);
    EXPECT_EQ(item.Y1(), 5);
    EXPECT_EQ(item.Image().stride, 12);
    // Bottom row at y = 3: red | transparent, then blue | green.
    const BYTE* p = tf.Pixel(10, 3);
    EXPECT_EQ(p[0], 76);  // red's own luma
    EXPECT_EQ(p[2], 100); // the transparent pixel keeps the picture's
    EXPECT_EQ(p[1], 61 / 2 + 90 / 2);
    EXPECT_EQ(p[3], 201 / 2 + 255 / 2);
    const BYTE* q = tf.Pixel(12, 3);
    EXPECT_EQ(q[0], 29);
    EXPECT_EQ(q[2], 149);
    EXPECT_EQ(q[1], 54 / 2 + 239 / 2);
    EXPECT_EQ(q[3], 0 / 2 + 102 / 2);
    // The transparent top row leaves the picture unchanged.
    for (LONG x = 10; x < 14; x += 2) {
        EXPECT_EQ(tf.Pixel(x, 4)[0], 100);
        EXPECT_EQ(tf.Pixel(x, 4)[1], 61);
    }
}

TEST(OverlayBitmap, RefusesBadFiles)
{
    auto renders = [](std::vector<BYTE> bytes) {
        TempFile file(bytes);
        CBitmapItem item(file.Fd(), 0, 0, 1, 2, 3);
        TestFrame tf(16, 8);
        bool drawn = DrawOn(item, tf);
        EXPECT_TRUE(tf.GuardsIntact());
        if (!drawn) {
            EXPECT_EQ(tf.Picture(), TestFrame(16, 8).Picture());
        }
        return drawn;
    };
    EXPECT_TRUE(renders(MakeBmp(4, 2, FourWide())));
    EXPECT_FALSE(renders(MakeBmp(4, -2, FourWide())));    // top-down
    EXPECT_FALSE(renders(MakeBmp(4, 2, FourWide(), 32))); // 32-bit
    std::vector<BYTE> good = MakeBmp(4, 2, FourWide());
    std::vector<BYTE> truncated(good.begin(), good.end() - 5);
    EXPECT_FALSE(renders(truncated)); // bfSize claims more than the file holds
    std::vector<BYTE> lying = good;
    lying[18] = 200; // width 200 with the pixel bytes of width 4
    EXPECT_FALSE(renders(lying));
    lying = good;
    lying[22] = 0; // height 0
    EXPECT_FALSE(renders(lying));
    lying = good;
    lying[10] = 0xFF;
    lying[11] = 0xFF; // pixels start past the end
    EXPECT_FALSE(renders(lying));
    lying = good;
    lying[2] = 10; // bfSize inside the headers
    lying[3] = lying[4] = lying[5] = 0;
    EXPECT_FALSE(renders(lying));
    lying = good;
    lying[1] = 'X';
    EXPECT_FALSE(renders(lying));
    EXPECT_FALSE(renders(std::vector<BYTE>(good.begin(), good.begin() + 40)));
    EXPECT_FALSE(renders({}));
    CBitmapItem noFile(-1, 0, 0, 0, 0, 0);
    TestFrame tf(16, 8);
    EXPECT_FALSE(DrawOn(noFile, tf));
}

// ---- text and time ----

TEST(OverlayText, LinesStackAndEmptyLinesCountTheirHeight)
{
    const LOGFONTA lf = Arial(-16);
    auto height = [&](const char* text) {
        CTextItem item(0, 0, lf, text, std::strlen(text), 255, 255, 255);
        TestFrame tf(400, 200);
        EXPECT_TRUE(DrawOn(item, tf)) << text;
        return item.Y1() - item.Y0();
    };
    const LONG one = height("Ab");
    EXPECT_EQ(one, 18); // ascent 15 + descent 3 of a 16-pixel Arial
    EXPECT_EQ(height("Ab\r\nCd"), 2 * one);
    EXPECT_EQ(height("Ab\n\rCd"), 2 * one);
    EXPECT_EQ(height("Ab\r\rCd"), 3 * one);
    EXPECT_EQ(height("Ab\n\nCd"), 3 * one);
    EXPECT_EQ(height("\nAb"), 2 * one);
    EXPECT_EQ(height("Ab\n"), one);
    // Width is the widest line; the text is stored with a NUL.
    CTextItem wide(0, 0, lf, "a\nwwwwww", 8, 255, 255, 255);
    CTextItem narrow(0, 0, lf, "wwwwww", 6, 255, 255, 255);
    TestFrame tf(400, 200);
    DrawOn(wide, tf);
    DrawOn(narrow, tf);
    EXPECT_EQ(wide.X1() - wide.X0(), narrow.X1() - narrow.X0());
    EXPECT_EQ(narrow.Text(), std::string("wwwwww", 7));
    CTextItem withNul(0, 0, lf, "ab", 3, 255, 255, 255);
    EXPECT_EQ(withNul.Text().size(), 3u);
}

TEST(OverlayText, EmptyTextAndMissingFont)
{
    TestFrame tf(200, 100);
    CTextItem empty(0, 0, Arial(-16), "", 0, 255, 255, 255);
    EXPECT_FALSE(DrawOn(empty, tf));
    CTextItem onlyNul(0, 0, Arial(-16), "\0abc", 4, 255, 255, 255);
    EXPECT_FALSE(DrawOn(onlyNul, tf));
    EXPECT_EQ(tf.Picture(), TestFrame(200, 100).Picture());

    LOGFONTA missing = Arial(-16);
    std::strcpy(missing.lfFaceName, "Face That Is Not Here");
    CTextItem text(4, 4, missing, "Hello", 5, 255, 255, 255);
    EXPECT_TRUE(DrawOn(text, tf));
    EXPECT_GT(CountY(tf, 10, 255) + CountY(tf, 12, 255), 0);
}

TEST(OverlayText, WhiteTextWithOutlineAndNothingAboveTheTop)
{
    const LOGFONTA lf = Arial(-20);
    CTextItem probe(0, 0, lf, "HIH", 3, 255, 255, 255);
    TestFrame scratch(200, 100);
    ASSERT_TRUE(DrawOn(probe, scratch));
    const LONG h = probe.Y1() - probe.Y0();

    // Place the text so its image's top row is the picture's top row, and
    // the "H" stems (which reach the cell's top area) come close to it.
    const LONG frameH = 40;
    TestFrame tf(200, frameH, true, 100, 128, 128);
    CTextItem item(10, frameH - h, lf, "HIH", 3, 255, 255, 255);
    ASSERT_TRUE(DrawOn(item, tf));
    EXPECT_TRUE(tf.GuardsIntact());
    int glyph = 0, outline = 0;
    for (LONG r = 0; r < frameH; ++r)
        for (LONG x = 0; x < 200; ++x) {
            glyph += tf.Y(x, r) == 255;
            outline += tf.Y(x, r) == 0;
        }
    EXPECT_GT(glyph, 50);
    EXPECT_GT(outline, glyph / 2);
    // Every outline pixel lies within one pair and one row of a glyph pixel.
    for (LONG r = 0; r < frameH; ++r)
        for (LONG x = 0; x < 200; ++x) {
            if (tf.Y(x, r) != 0)
                continue;
            bool near = false;
            for (LONG dr = -1; dr <= 1 && !near; ++dr)
                for (LONG dx = -3; dx <= 3 && !near; ++dx) {
                    LONG rr = r + dr, xx = x + dx;
                    near = rr >= 0 && rr < frameH && xx >= 0 && xx < 200 && tf.Y(xx, rr) == 255;
                }
            EXPECT_TRUE(near) << x << "," << r;
        }
}

class ClockedTimeItem : public CSysTimeItem {
public:
    ClockedTimeItem(LONG x, LONG y, const LOGFONTA& lf) : CSysTimeItem(x, y, lf, 255, 255, 255) {}
    time_t now = 0;

protected:
    time_t Now() const override { return now; }
};

TEST(OverlayTime, ShowsTheNewSecondOnTheNextFrame)
{
    ClockedTimeItem item(0, 0, Arial(-16));
    EXPECT_TRUE(item.RerenderEachFrame());
    item.now = 1700000000;
    std::string expect;
    ASSERT_TRUE(CSysTimeItem::FormatTime(item.now, &expect));
    ASSERT_EQ(expect.size(), 19u); // "YYYY-MM-DD hh:mm:ss"

    TestFrame a(300, 40), b(300, 40), c(300, 40);
    ASSERT_TRUE(DrawOn(item, a));
    EXPECT_EQ(item.Text(), expect + '\0');
    ASSERT_TRUE(DrawOn(item, b));
    EXPECT_EQ(a.Picture(), b.Picture()); // same second, same picture
    item.now += 1;
    ASSERT_TRUE(DrawOn(item, c));
    EXPECT_NE(item.Text(), expect + '\0');
    EXPECT_NE(a.Picture(), c.Picture());
    std::string next;
    CSysTimeItem::FormatTime(item.now, &next);
    EXPECT_EQ(item.Text(), next + '\0');
}

TEST(OverlayText, FarOutsideTextIsSafe)
{
    TestFrame tf(64, 32);
    CTextItem right(INT_MAX - 1, 0, Arial(-16), "far", 3, 255, 255, 255);
    EXPECT_TRUE(DrawOn(right, tf));
    EXPECT_EQ(right.X1(), INT_MAX); // saturated, not wrapped
    CTextItem below(0, INT_MIN, Arial(-16), "far", 3, 255, 255, 255);
    EXPECT_TRUE(DrawOn(below, tf));
    EXPECT_EQ(tf.Picture(), TestFrame(64, 32).Picture());
    EXPECT_TRUE(tf.GuardsIntact());
}

// ---- only the part that can reach the frame is rendered ----

// Each kind of mask item at places that cut it on every side (and wholly
// inside and outside), in upright and top-down frames of two pen widths: the
// picture equals the one drawn from the whole image, and the image rendered
// stays within the frame and the ring an outline looks at.
TEST(OverlayClippedRender, EqualsTheWholeImageWherePartOfItShows)
{
    using Make = std::function<std::unique_ptr<COverlayItem>(LONG x, LONG y)>;
    const LOGFONTA big = Arial(-60);
    const char* lines = "Gate 3\nWWW\n\nyjg";
    const std::vector<std::pair<const char*, Make>> kinds = {
        {"text",
         [&](LONG x, LONG y) {
             return std::make_unique<CTextItem>(x, y, big, lines, std::strlen(lines), 255, 0, 0);
         }},
        {"ellipse",
         [](LONG x, LONG y) {
             return std::make_unique<CEllipseItem>(x, y, x + 301, y + 177, 0, 255, 0);
         }},
        {"polygon", [](LONG x, LONG y) {
             const POINT pts[5] = {
                 {x, y}, {x + 250, y + 7}, {x + 31, y + 199}, {x + 203, y + 120}, {x + 3, y + 60}};
             return std::make_unique<CPolygonItem>(pts, 5, 0, 0, 255);
         }}};
    const std::pair<LONG, LONG> places[] = {{-151, -90}, {-40, 5},    {10, -33}, {37, 20},
                                            {60, 70},    {-3, -1},    {98, 3},   {-500, 10},
                                            {10, 400},   {-251, -199}};
    for (const auto& [name, make] : kinds)
        for (const bool upright : {true, false})
            for (const auto& [fw, fh] : {std::pair<LONG, LONG>{120, 96}, {160, 320}})
                for (const auto& [x, y] : places) {
                    SCOPED_TRACE(testing::Message() << name << " at " << x << "," << y << " in "
                                                    << fw << "x" << fh << (upright ? " up" : ""));
                    auto clipped = make(x, y), whole = make(x, y);
                    whole->RenderWholeMaskForTesting();
                    TestFrame a(fw, fh, upright), b(fw, fh, upright);
                    ASSERT_TRUE(DrawOn(*clipped, a));
                    ASSERT_TRUE(DrawOn(*whole, b));
                    ASSERT_EQ(a.Picture(), b.Picture());
                    EXPECT_TRUE(a.GuardsIntact());
                    EXPECT_LE(clipped->Image().width, fw + 4);
                    EXPECT_LE(clipped->Image().height, fh + 2);
                }
}

// Texts in the largest font (two lines of 4096-pixel letters) and a
// 20000-pixel ellipse on a CIF picture render picture-sized masks.
TEST(OverlayClippedRender, AHugeItemCostsAPictureSizedMask)
{
    TestFrame tf(352, 288);
    CTextItem text(-4000, -3000, Arial(-4096), "WWW\nWW", 6, 255, 255, 255);
    ASSERT_TRUE(DrawOn(text, tf));
    EXPECT_GT(text.X1() - text.X0(), 9000); // the item keeps its whole box
    EXPECT_GT(text.Y1() - text.Y0(), 8192);
    EXPECT_LE(text.Image().width, 352 + 4);
    EXPECT_LE(text.Image().height, 288 + 2);
    CEllipseItem ellipse(-10000, -10000, 10000, 10000, 0, 0, 0);
    ASSERT_TRUE(DrawOn(ellipse, tf));
    EXPECT_LE(ellipse.Image().width, 352 + 4);
    EXPECT_LE(ellipse.Image().height, 288 + 2);
    EXPECT_TRUE(tf.GuardsIntact());
}

} // namespace
