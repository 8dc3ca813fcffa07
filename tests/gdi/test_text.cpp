// Fonts, text extents, text drawing and the ANSI code page.
#include "gdi_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

HGDIOBJ Obj(HFONT h)
{
    return reinterpret_cast<HGDIOBJ>(h);
}

LOGFONTA Font(LONG height, const char* face = "Arial", LONG weight = FW_NORMAL)
{
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = weight;
    std::strncpy(lf.lfFaceName, face, LF_FACESIZE - 1);
    return lf;
}

// Extent of text in a font, measured on a fresh DC.
SIZE Extent(const LOGFONTA& lf, const std::string& text)
{
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT f = CreateFontIndirectA(&lf);
    HGDIOBJ old = SelectObject(dc, Obj(f));
    SIZE sz{-1, -1};
    EXPECT_TRUE(GetTextExtentPoint32A(dc, text.data(), int(text.size()), &sz));
    SelectObject(dc, old);
    DeleteObject(Obj(f));
    DeleteDC(dc);
    return sz;
}

// Draws text at (x, y) on a white canvas the size of the extent plus a margin.
MonoImage Draw(const LOGFONTA& lf, const std::string& text, int margin = 4, UINT options = 0,
               const RECT* clip = nullptr)
{
    SIZE sz = Extent(lf, text);
    MaskCanvas c(sz.cx + 2 * margin, sz.cy + 2 * margin);
    HFONT f = CreateFontIndirectA(&lf);
    HGDIOBJ old = SelectObject(c.dc(), Obj(f));
    EXPECT_TRUE(ExtTextOutA(c.dc(), margin, margin, options, clip, text.data(), UINT(text.size()),
                            nullptr));
    SelectObject(c.dc(), old);
    DeleteObject(Obj(f));
    return c.Read();
}

class CodePageGuard {
public:
    ~CodePageGuard() { TvSetAnsiCodePage(CP_UTF8); }
};

TEST(GdiFonts, HeightInTheWindowsSense)
{
    // Arial resolves to a metric-compatible face: winAscent 1854 and
    // winDescent 434 of 2048 units.
    SIZE neg = Extent(Font(-20), "Hg");
    EXPECT_EQ(neg.cy, 19 + 4); // character height 20: ascent 18.1 up, descent 4.2
    SIZE pos = Extent(Font(22), "Hg");
    EXPECT_EQ(pos.cy, 22); // cell height as asked
    SIZE big = Extent(Font(-100), "Hg");
    EXPECT_EQ(big.cy, 91 + 21);
    // Width grows with the text and with the weight.
    SIZE one = Extent(Font(-20), "Wide text");
    SIZE two = Extent(Font(-20), "Wide textWide text");
    EXPECT_GT(one.cx, 50);
    EXPECT_EQ(two.cx, 2 * one.cx);
    EXPECT_GT(Extent(Font(-20, "Arial", FW_BOLD), "Wide text").cx, one.cx);
    EXPECT_EQ(Extent(Font(-20), "").cx, 0);
    EXPECT_EQ(Extent(Font(-20), "").cy, neg.cy);
}

TEST(GdiFonts, UnknownFaceIsSubstituted)
{
    SIZE sz = Extent(Font(-16, "No Such Face 123"), "abc");
    EXPECT_GT(sz.cx, 0);
    EXPECT_GT(sz.cy, 0);
    MonoImage img = Draw(Font(-16, "No Such Face 123"), "abc");
    EXPECT_GT(img.CountBlack(), 0);
    // A zero height and an empty face name still give a usable font.
    EXPECT_GT(Extent(Font(0, ""), "x").cy, 0);
    // Extreme heights do not overflow.
    EXPECT_GT(Extent(Font(LONG(0x80000000)), "x").cy, 0);
}

TEST(GdiText, GlyphsStayInsideTheTextCell)
{
    const int margin = 4;
    LOGFONTA lf = Font(-24);
    SIZE sz = Extent(lf, "Hello, Wg!");
    MonoImage img = Draw(lf, "Hello, Wg!", margin);
    int inside = img.CountBlack(margin, margin, margin + sz.cx, margin + sz.cy);
    EXPECT_GT(inside, 100);
    EXPECT_EQ(img.CountBlack(), inside);
    // The "H" stem: a solid black column near the left at cap height.
    bool stem = false;
    for (int x = margin; x < margin + 6; ++x)
        stem = stem || (!img.White(x, margin + 8) && !img.White(x, margin + 16));
    EXPECT_TRUE(stem);
    // No antialiasing: drawing the same text twice gives the same bits.
    MonoImage again = Draw(lf, "Hello, Wg!", margin);
    EXPECT_EQ(img.rows, again.rows);
}

TEST(GdiText, ClippingAndOpaqueRectangle)
{
    LOGFONTA lf = Font(-24);
    SIZE sz = Extent(lf, "MMMM");
    RECT half = {0, 0, 4 + sz.cx / 2, 100};
    MonoImage img = Draw(lf, "MMMM", 4, ETO_CLIPPED, &half);
    EXPECT_GT(img.CountBlack(0, 0, half.right), 0);
    EXPECT_EQ(img.CountBlack(half.right, 0), 0);
    // ETO_OPAQUE paints the rectangle with the background (white) first.
    MaskCanvas c(20, 20);
    HBRUSH brush = reinterpret_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    HGDIOBJ oldBrush = SelectObject(c.dc(), reinterpret_cast<HGDIOBJ>(brush));
    HGDIOBJ oldPen = SelectObject(c.dc(), GetStockObject(BLACK_PEN));
    Rectangle(c.dc(), 0, 0, 20, 20); // all black now
    SelectObject(c.dc(), oldBrush);
    SelectObject(c.dc(), oldPen);
    RECT r = {5, 5, 15, 15};
    EXPECT_TRUE(ExtTextOutA(c.dc(), 5, 5, ETO_OPAQUE, &r, "", 0, nullptr));
    MonoImage after = c.Read();
    EXPECT_EQ(after.CountBlack(5, 5, 15, 15), 0);
    EXPECT_EQ(after.CountBlack(), 400 - 100);
}

TEST(GdiText, UnderlineAddsARowBelowTheBaseline)
{
    LOGFONTA plain = Font(-20);
    LOGFONTA under = plain;
    under.lfUnderline = 1;
    MonoImage a = Draw(plain, "ooo");
    MonoImage b = Draw(under, "ooo");
    EXPECT_GT(b.CountBlack(), a.CountBlack() + 20);
}

TEST(GdiText, ChineseFromUtf8AndFromCodePage936)
{
    CodePageGuard guard;
    LOGFONTA lf = Font(-24);
    const std::string utf8 = "\xE4\xB8\xAD\xE6\x96\x87"; // 中文
    SIZE sz = Extent(lf, utf8);
    EXPECT_GE(sz.cx, 40); // two wide glyphs from a CJK fallback face
    MonoImage fromUtf8 = Draw(lf, utf8);
    EXPECT_GT(fromUtf8.CountBlack(), 60);

    EXPECT_EQ(GetACP(), UINT(CP_UTF8));
    EXPECT_FALSE(TvSetAnsiCodePage(123456));
    EXPECT_EQ(GetACP(), UINT(CP_UTF8));
    ASSERT_TRUE(TvSetAnsiCodePage(936));
    EXPECT_EQ(GetACP(), 936u);
    const std::string gbk = "\xD6\xD0\xCE\xC4"; // 中文 in GBK
    EXPECT_EQ(Extent(lf, gbk).cx, sz.cx);
    MonoImage fromGbk = Draw(lf, gbk);
    EXPECT_EQ(fromGbk.rows, fromUtf8.rows);
    // A cut-off double-byte character does not read past the count.
    SIZE cut = Extent(lf, std::string("\xD6\xD0\xCE", 3));
    EXPECT_GT(cut.cx, sz.cx / 2);
}

TEST(GdiText, InvalidUtf8IsReplacedNotOverread)
{
    LOGFONTA lf = Font(-16);
    const char bad[] = "a\xE4\xB8"; // a lead byte cut short at the end of the count
    SIZE sz = Extent(lf, std::string(bad, 3));
    EXPECT_GT(sz.cx, Extent(lf, "a").cx);
    HDC dc = CreateCompatibleDC(nullptr);
    SIZE none;
    EXPECT_FALSE(GetTextExtentPoint32A(dc, nullptr, 3, &none));
    EXPECT_FALSE(GetTextExtentPoint32A(dc, "abc", -1, &none));
    EXPECT_FALSE(GetTextExtentPoint32A(dc, "abc", 3, nullptr));
    DeleteDC(dc);
}

} // namespace

namespace {

// Several streams render captions at once, sharing resolved fonts.
TEST(GdiText, ConcurrentRenderingGivesTheSameBits)
{
    const std::string texts[3] = {"Camera 12", "\xE4\xB8\xAD\xE6\x96\x87 gate",
                                  "2024-01-02 03:04:05"};
    const LONG heights[2] = {-18, -26};
    MonoImage expect[3][2];
    for (int t = 0; t < 3; ++t)
        for (int h = 0; h < 2; ++h)
            expect[t][h] = Draw(Font(heights[h]), texts[t]);
    std::vector<std::thread> threads;
    std::atomic<int> mismatches{0};
    for (int n = 0; n < 4; ++n)
        threads.emplace_back([&, n] {
            for (int round = 0; round < 10; ++round)
                for (int t = 0; t < 3; ++t) {
                    const int h = (n + round + t) % 2;
                    if (Draw(Font(heights[h]), texts[t]).rows != expect[t][h].rows)
                        ++mismatches;
                }
        });
    for (auto& th : threads)
        th.join();
    EXPECT_EQ(mismatches.load(), 0);
}

} // namespace

namespace {

// One font shared by two streams: one caption needs a fallback face (loaded
// on first use) while the other stream keeps measuring Latin text.
TEST(GdiText, FallbackFaceLoadsWhileAnotherThreadMeasures)
{
    const std::string cjk = "\xE4\xB8\xAD\xE6\x96\x87"; // 中文
    for (int round = 0; round < 16; ++round) {
        const LOGFONTA lf = Font(-(40 + round)); // a face no other test has resolved
        HFONT f = CreateFontIndirectA(&lf);
        ASSERT_NE(f, nullptr);
        HDC dcs[2] = {CreateCompatibleDC(nullptr), CreateCompatibleDC(nullptr)};
        HGDIOBJ olds[2] = {SelectObject(dcs[0], Obj(f)), SelectObject(dcs[1], Obj(f))};
        std::atomic<bool> go{false};
        std::atomic<int> failures{0};
        std::thread latin([&] {
            while (!go)
                std::this_thread::yield();
            for (int i = 0; i < 200; ++i) {
                SIZE sz{0, 0};
                if (!GetTextExtentPoint32A(dcs[0], "Gate", 4, &sz) || sz.cx <= 0)
                    ++failures;
            }
        });
        std::thread wide([&] {
            while (!go)
                std::this_thread::yield();
            SIZE sz{0, 0};
            if (!GetTextExtentPoint32A(dcs[1], cjk.data(), int(cjk.size()), &sz) || sz.cx < 40)
                ++failures;
        });
        go = true;
        latin.join();
        wide.join();
        EXPECT_EQ(failures.load(), 0);
        for (int i = 0; i < 2; ++i) {
            SelectObject(dcs[i], olds[i]);
            DeleteDC(dcs[i]);
        }
        EXPECT_TRUE(DeleteObject(Obj(f)));
    }
}

} // namespace
