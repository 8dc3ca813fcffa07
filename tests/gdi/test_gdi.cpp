// Objects, shapes and GetDIBits of the small GDI.
#include "gdi_test_util.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

HGDIOBJ Obj(HBITMAP h)
{
    return reinterpret_cast<HGDIOBJ>(h);
}
HGDIOBJ Obj(HPEN h)
{
    return reinterpret_cast<HGDIOBJ>(h);
}

TEST(GdiObjects, SelectionRulesAndHandleChecks)
{
    HDC a = CreateCompatibleDC(nullptr);
    HDC b = CreateCompatibleDC(a);
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    HBITMAP bmp = CreateBitmap(10, 4, 1, 1, nullptr);
    ASSERT_NE(bmp, nullptr);

    HGDIOBJ oldA = SelectObject(a, Obj(bmp));
    ASSERT_NE(oldA, nullptr);                      // the DC's default bitmap comes back
    EXPECT_EQ(SelectObject(b, Obj(bmp)), nullptr); // one bitmap, one DC
    EXPECT_FALSE(DeleteObject(Obj(bmp)));          // still selected
    EXPECT_EQ(SelectObject(a, oldA), Obj(bmp));
    EXPECT_TRUE(DeleteObject(Obj(bmp)));
    EXPECT_FALSE(DeleteObject(Obj(bmp))); // stale handle refused, not dereferenced

    HPEN pen = CreatePen(PS_SOLID, 3, RGB(0, 0, 0));
    HGDIOBJ oldPenA = SelectObject(a, Obj(pen));
    HGDIOBJ oldPenB = SelectObject(b, Obj(pen)); // pens may sit in several DCs
    EXPECT_NE(oldPenB, nullptr);
    SelectObject(a, oldPenA);
    EXPECT_FALSE(DeleteObject(Obj(pen)));
    SelectObject(b, oldPenB);
    EXPECT_TRUE(DeleteObject(Obj(pen)));

    EXPECT_TRUE(DeleteObject(GetStockObject(WHITE_PEN))); // stock objects stay
    EXPECT_NE(SelectObject(a, GetStockObject(WHITE_PEN)), nullptr);
    EXPECT_EQ(GetStockObject(12345), nullptr);
    EXPECT_EQ(CreatePen(1, 1, 0), nullptr); // only solid pens

    EXPECT_TRUE(DeleteDC(a));
    EXPECT_TRUE(DeleteDC(b));
    EXPECT_FALSE(DeleteDC(a));
    EXPECT_EQ(SelectObject(a, GetStockObject(BLACK_PEN)), nullptr);
    EXPECT_FALSE(Rectangle(a, 0, 0, 1, 1));
}

TEST(GdiObjects, BitmapSizeLimits)
{
    EXPECT_EQ(CreateBitmap(0, 5, 1, 1, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(5, -1, 1, 1, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(TV_GDI_MAX_BITMAP_DIM + 1, 1, 1, 1, nullptr), nullptr);
    EXPECT_EQ(CreateBitmap(4, 4, 1, 8, nullptr), nullptr);
    EXPECT_EQ(CreateCompatibleBitmap(nullptr, 1, 0), nullptr);
    HBITMAP wide = CreateCompatibleBitmap(nullptr, TV_GDI_MAX_BITMAP_DIM, 1);
    ASSERT_NE(wide, nullptr);
    DeleteObject(Obj(wide));
}

TEST(GdiDib, WhiteRectangleAndRowOrder)
{
    const int w = 37, h = 5; // a width that leaves padding bits and bytes
    MaskCanvas c(w, h);
    // A black line along the top row.
    HPEN black = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    HGDIOBJ old = SelectObject(c.dc(), Obj(black));
    POINT pts[2] = {{0, 0}, {w - 1, 0}};
    ASSERT_TRUE(Polyline(c.dc(), pts, 2));
    SelectObject(c.dc(), old);
    DeleteObject(Obj(black));

    DibWithPalette info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    ASSERT_EQ(GetDIBits(c.dc(), c.bitmap(), 0, h, nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                        DIB_RGB_COLORS),
              h);
    EXPECT_EQ(info.header.biWidth, w);
    EXPECT_EQ(info.header.biHeight, h);
    EXPECT_EQ(info.header.biBitCount, 1);
    EXPECT_EQ(info.header.biSizeImage, 8u * h);

    std::vector<BYTE> bits(8 * h, 0x55);
    ASSERT_EQ(GetDIBits(c.dc(), c.bitmap(), 0, h, bits.data(), reinterpret_cast<BITMAPINFO*>(&info),
                        DIB_RGB_COLORS),
              h);
    EXPECT_EQ(info.colors[0].rgbRed, 0);
    EXPECT_EQ(info.colors[1].rgbRed, 255);
    EXPECT_EQ(info.colors[1].rgbBlue, 255);
    // Bottom-up: the first stored row is the bottom row (all white), the last
    // the top row (all black). 37 pixels: 4 full bytes, 5 bits, then zero padding.
    const BYTE white[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0xF8, 0, 0, 0};
    const BYTE allBlack[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    for (int row = 0; row < h - 1; ++row)
        EXPECT_EQ(std::memcmp(bits.data() + 8 * row, white, 8), 0) << row;
    EXPECT_EQ(std::memcmp(bits.data() + 8 * (h - 1), allBlack, 8), 0);

    // Part of the lines, and a top-down read.
    std::vector<BYTE> two(16, 0x55);
    EXPECT_EQ(GetDIBits(c.dc(), c.bitmap(), 3, 10, two.data(), reinterpret_cast<BITMAPINFO*>(&info),
                        DIB_RGB_COLORS),
              2);
    EXPECT_EQ(std::memcmp(two.data() + 8, allBlack, 8), 0);
    info.header.biHeight = -h;
    EXPECT_EQ(GetDIBits(c.dc(), c.bitmap(), 0, 1, two.data(), reinterpret_cast<BITMAPINFO*>(&info),
                        DIB_RGB_COLORS),
              1);
    EXPECT_EQ(std::memcmp(two.data(), allBlack, 8), 0);

    // Layouts it cannot produce are refused.
    info.header.biHeight = h;
    info.header.biWidth = w + 1;
    EXPECT_EQ(GetDIBits(c.dc(), c.bitmap(), 0, h, bits.data(), reinterpret_cast<BITMAPINFO*>(&info),
                        DIB_RGB_COLORS),
              0);
    info.header.biWidth = w;
    info.header.biBitCount = 24;
    EXPECT_EQ(GetDIBits(c.dc(), c.bitmap(), 0, h, bits.data(), reinterpret_cast<BITMAPINFO*>(&info),
                        DIB_RGB_COLORS),
              0);
}

TEST(GdiDib, CreateBitmapBitsRoundTrip)
{
    // 10 x 2, rows padded to 16 bits, top-down.
    const BYTE rows[4] = {0xA5, 0x40, 0x0F, 0xC0};
    HBITMAP bmp = CreateBitmap(10, 2, 1, 1, rows);
    ASSERT_NE(bmp, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    MonoImage img;
    ASSERT_TRUE(ReadMono(dc, bmp, 10, 2, &img));
    const char* expect[2] = {"1010010101", "0000111111"};
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 10; ++x)
            EXPECT_EQ(img.White(x, y), expect[y][x] == '1') << x << "," << y;
    DeleteDC(dc);
    DeleteObject(Obj(bmp));
}

TEST(GdiShapes, RectangleCoversLeftTopToRightBottomExclusive)
{
    MaskCanvas c(12, 10);
    HPEN black = CreatePen(PS_SOLID, 1, RGB(0, 0, 0));
    HGDIOBJ old = SelectObject(c.dc(), Obj(black));
    ASSERT_TRUE(Rectangle(c.dc(), 2, 3, 8, 7));
    SelectObject(c.dc(), old);
    DeleteObject(Obj(black));
    MonoImage img = c.Read();
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) {
            bool border = (x == 2 || x == 7) && y >= 3 && y <= 6;
            border = border || ((y == 3 || y == 6) && x >= 2 && x <= 7);
            EXPECT_EQ(img.White(x, y), !border) << x << "," << y;
        }
}

TEST(GdiShapes, EllipseIsAnOutlineWithAWhiteInside)
{
    const int w = 40, h = 30;
    MaskCanvas c(w, h);
    HPEN black = CreatePen(PS_SOLID, 2, RGB(0, 0, 0));
    HGDIOBJ old = SelectObject(c.dc(), Obj(black));
    ASSERT_TRUE(Ellipse(c.dc(), 0, 0, w, h));
    SelectObject(c.dc(), old);
    DeleteObject(Obj(black));
    MonoImage img = c.Read();
    EXPECT_FALSE(img.White(0, h / 2));     // leftmost point
    EXPECT_FALSE(img.White(w - 1, h / 2)); // rightmost
    EXPECT_FALSE(img.White(w / 2, 0));     // top
    EXPECT_FALSE(img.White(w / 2, h - 1)); // bottom
    EXPECT_TRUE(img.White(w / 2, h / 2));  // inside stays white
    EXPECT_TRUE(img.White(0, 0));          // corners are outside the ellipse
    EXPECT_TRUE(img.White(w - 1, h - 1));
    EXPECT_EQ(img.CountBlack(8, 8, w - 8, h - 8), 0);
    // Symmetric left to right and top to bottom.
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            EXPECT_EQ(img.White(x, y), img.White(w - 1 - x, y)) << x << "," << y;
            EXPECT_EQ(img.White(x, y), img.White(x, h - 1 - y)) << x << "," << y;
        }
}

TEST(GdiShapes, PenWidthGivesLineThickness)
{
    for (int width : {1, 2, 3, 6}) {
        MaskCanvas c(30, 30);
        HPEN pen = CreatePen(PS_SOLID, width, RGB(0, 0, 0));
        HGDIOBJ old = SelectObject(c.dc(), Obj(pen));
        POINT pts[2] = {{5, 15}, {25, 15}};
        ASSERT_TRUE(Polyline(c.dc(), pts, 2));
        SelectObject(c.dc(), old);
        DeleteObject(Obj(pen));
        MonoImage img = c.Read();
        int thick = 0;
        for (int y = 0; y < 30; ++y)
            thick += !img.White(15, y);
        EXPECT_EQ(thick, width) << "pen width " << width;
    }
}

TEST(GdiShapes, DegenerateAndFarOutsideFiguresAreSafe)
{
    MaskCanvas c(16, 16);
    POINT one = {3, 3};
    EXPECT_FALSE(Polyline(c.dc(), &one, 1));
    EXPECT_FALSE(Polyline(c.dc(), nullptr, 3));
    HPEN pen = CreatePen(PS_SOLID, 2, RGB(0, 0, 0));
    HGDIOBJ old = SelectObject(c.dc(), Obj(pen));
    EXPECT_TRUE(Ellipse(c.dc(), 4, 4, 5, 12)); // one pixel wide
    EXPECT_TRUE(Ellipse(c.dc(), 4, 4, 4, 12)); // empty
    POINT far[3] = {{-2000000000, -2000000000}, {2000000000, 5}, {7, 2000000000}};
    EXPECT_TRUE(Polyline(c.dc(), far, 3));
    EXPECT_GT(c.Read().CountBlack(), 0);
    // The white inside of a huge rectangle covers everything; its outline is off the bitmap.
    EXPECT_TRUE(Rectangle(c.dc(), -2000000000, -5, 2000000000, 2000000000));
    EXPECT_EQ(c.Read().CountBlack(), 0);
    SelectObject(c.dc(), old);
    DeleteObject(Obj(pen));
}

} // namespace
