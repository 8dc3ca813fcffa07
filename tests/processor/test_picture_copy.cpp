// The processor's geometry (SetCutRect, SetCutMode, a new input size) and the
// picture copy: whole, cropped with padded rows, and the cut-mode-6 tiles.
#include "PictureCopy.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

ProcesserCut Input(LONG w, LONG h)
{
    ProcesserCut c;
    CutFitInput(c, w, h);
    return c;
}

TEST(ProcesserCut, SetCutRect)
{
    struct Case {
        LONG x, y, w, h;
        HRESULT hr;
        LONG ex, ey, ew, eh;
    } cases[] = {
        {101, 10, 200, 100, S_OK, 100, 10, 200, 100}, // x made even
        {-8, -3, 100, 100, S_OK, 0, 0, 100, 100},     // offsets clamped at 0
        {700, 570, 100, 100, S_OK, 700, 570, 4, 6},   // size cut at the input's edge
        {900, 900, 10, 10, S_OK, 704, 576, 0, 0},     // offsets clamped at the size
        {2, 0, 0x7FFFFFFF, 0x7FFFFFFF, S_OK, 2, 0, 702, 576},
        {0, 0, -1, 10, E_INVALIDARG, 0, 0, 704, 576},
        {0, 0, 10, -1, E_INVALIDARG, 0, 0, 704, 576},
    };
    for (const Case& c : cases) {
        ProcesserCut cut = Input(704, 576);
        EXPECT_EQ(CutSetRect(cut, c.x, c.y, c.w, c.h), c.hr) << c.x << "," << c.y;
        EXPECT_EQ(cut.x, c.ex);
        EXPECT_EQ(cut.y, c.ey);
        EXPECT_EQ(cut.outWidth, c.ew);
        EXPECT_EQ(cut.outHeight, c.eh);
    }
}

TEST(ProcesserCut, SetCutMode)
{
    struct Case {
        LONG w, h, mode;
        LONG ex, ey, ew, eh;
    } cases[] = {
        {640, 480, 3, 32, 20, 640, 480},   // the middle of a 704-wide input
        {640, 480, 1, 64, 20, 640, 480},   // the right edge
        {640, 480, 2, 0, 20, 640, 480},    // the left edge
        {640, 480, 0, 10, 20, 640, 480},   // other modes keep x
        {800, 600, 3, 0, 20, 704, 576},    // cut to the input
        {602, 480, 3, 50, 20, 602, 480},   // (704 - 602) / 2 = 51, kept even
        {1600, 1200, 6, 0, 0, 1600, 1200}, // tiles: the size as given, offsets 0
    };
    for (const Case& c : cases) {
        ProcesserCut cut = Input(704, 576);
        cut.x = 10;
        cut.y = 20;
        EXPECT_EQ(CutSetMode(cut, c.w, c.h, c.mode), S_OK);
        EXPECT_EQ(cut.mode, c.mode);
        EXPECT_EQ(cut.x, c.ex) << "mode " << c.mode << " width " << c.w;
        EXPECT_EQ(cut.y, c.ey);
        EXPECT_EQ(cut.outWidth, c.ew);
        EXPECT_EQ(cut.outHeight, c.eh);
    }
    ProcesserCut cut = Input(704, 576);
    EXPECT_EQ(CutSetMode(cut, -1, 10, 3), E_INVALIDARG);
    EXPECT_EQ(cut.mode, 0);
}

TEST(ProcesserCut, NewInputKeepsAnOutputThatFits)
{
    ProcesserCut cut = Input(704, 576);
    ASSERT_EQ(CutSetRect(cut, 100, 50, 320, 240), S_OK);
    CutFitInput(cut, 640, 480); // 100 + 320 and 50 + 240 still fit
    EXPECT_EQ(cut.outWidth, 320);
    EXPECT_EQ(cut.x, 100);
    CutFitInput(cut, 400, 480); // 100 + 320 does not
    EXPECT_EQ(cut.outWidth, 400);
    EXPECT_EQ(cut.outHeight, 480);
    EXPECT_EQ(cut.x, 0);
    EXPECT_EQ(cut.y, 0);

    ProcesserCut tiles;
    ASSERT_EQ(CutSetMode(tiles, 1600, 1200, 6), S_OK);
    CutFitInput(tiles, 1280, 720); // the tile layout keeps its size whatever comes in
    EXPECT_EQ(tiles.outWidth, 1600);
    EXPECT_EQ(tiles.outHeight, 1200);
}

// A YUY2 picture whose every byte tells where it is: (row * 7 + byte) & 0xFF.
std::vector<BYTE> Pattern(LONG width, LONG height)
{
    const int64_t stride = Yuy2Stride(width);
    std::vector<BYTE> p(size_t(stride * height));
    for (LONG r = 0; r < height; ++r)
        for (int64_t b = 0; b < stride; ++b)
            p[size_t(r * stride + b)] = BYTE((r * 7 + b) & 0xFF);
    return p;
}

TEST(PictureCopy, WholePictureIsCopiedAsItIs)
{
    const std::vector<BYTE> in = Pattern(352, 288);
    const PicturePlan plan = PicturePlan::For(Input(352, 288));
    ASSERT_EQ(plan.kind, PicturePlan::Kind::kWhole);
    std::vector<BYTE> out(in.size(), 0xEE);
    size_t written = 0;
    ASSERT_TRUE(CopyPicture(plan, in.data(), in.size(), out.data(), out.size(), &written));
    EXPECT_EQ(written, in.size());
    EXPECT_EQ(out, in);
    // An output buffer smaller than the input fails and writes nothing.
    std::vector<BYTE> small(in.size() - 1, 0xEE);
    EXPECT_FALSE(CopyPicture(plan, in.data(), in.size(), small.data(), small.size(), &written));
    EXPECT_EQ(small, std::vector<BYTE>(in.size() - 1, 0xEE));
}

TEST(PictureCopy, CropTakesRowsAndZeroesThePadding)
{
    ProcesserCut cut = Input(64, 32);
    ASSERT_EQ(CutSetRect(cut, 6, 5, 11, 9), S_OK); // odd width: rows padded to 24 bytes
    const PicturePlan plan = PicturePlan::For(cut);
    ASSERT_EQ(plan.kind, PicturePlan::Kind::kCrop);
    EXPECT_EQ(plan.outStride, 24);
    const std::vector<BYTE> in = Pattern(64, 32);
    std::vector<BYTE> out(size_t(plan.outBytes) + 16, 0xEE);
    size_t written = 0;
    ASSERT_TRUE(CopyPicture(plan, in.data(), in.size(), out.data(), out.size(), &written));
    EXPECT_EQ(written, size_t(24 * 9));
    for (LONG r = 0; r < 9; ++r)
        for (LONG b = 0; b < 24; ++b) {
            const BYTE want = b < 22 ? in[size_t((5 + r) * 128 + 12 + b)] : 0;
            ASSERT_EQ(out[size_t(r * 24 + b)], want) << "row " << r << " byte " << b;
        }
    EXPECT_EQ(out[written], 0xEE); // nothing past the picture
}

TEST(PictureCopy, RefusesPicturesThatDisagreeWithThePlan)
{
    ProcesserCut cut = Input(64, 32);
    ASSERT_EQ(CutSetRect(cut, 0, 16, 64, 16), S_OK);
    const PicturePlan plan = PicturePlan::For(cut);
    const std::vector<BYTE> in = Pattern(64, 32);
    std::vector<BYTE> out(size_t(plan.outBytes));
    size_t written = 0;
    // An input shorter than the rows the crop reads.
    EXPECT_FALSE(CopyPicture(plan, in.data(), in.size() - 1, out.data(), out.size(), &written));
    // An output buffer smaller than the cropped picture.
    EXPECT_FALSE(CopyPicture(plan, in.data(), in.size(), out.data(), out.size() - 1, &written));
    // No geometry yet.
    EXPECT_FALSE(CopyPicture(PicturePlan::For(ProcesserCut{}), in.data(), in.size(), out.data(),
                             out.size(), &written));
    EXPECT_EQ(written, 0u);
}

TEST(PictureCopy, TileLayoutOf1080pInto1600x1200)
{
    ProcesserCut cut = Input(1920, 1080);
    ASSERT_EQ(CutSetMode(cut, 1600, 1200, 6), S_OK);
    const PicturePlan plan = PicturePlan::For(cut);
    ASSERT_EQ(plan.kind, PicturePlan::Kind::kTiles);
    const std::vector<BYTE> in = Pattern(1920, 1080);
    std::vector<BYTE> out(size_t(plan.outBytes), 0xEE);
    size_t written = 0;
    ASSERT_TRUE(CopyPicture(plan, in.data(), in.size(), out.data(), out.size(), &written));
    ASSERT_EQ(written, size_t(1600 * 2 * 1200));
    auto inAt = [&](LONG row, LONG col) { return in[size_t(row) * 3840 + size_t(col) * 2]; };
    auto outAt = [&](LONG row, LONG col) { return out[size_t(row) * 3200 + size_t(col) * 2]; };
    for (LONG tile = 0; tile < 8; ++tile)
        for (LONG row : {0, 59, 119})
            for (LONG col : {0, 1, 199}) {
                ASSERT_EQ(outAt(row, tile * 200 + col), inAt(135 * tile + row, 1720 + col))
                    << "tile " << tile << " row " << row << " col " << col;
            }
    for (LONG row : {0, 540, 1079})
        for (LONG col : {0, 800, 1599})
            ASSERT_EQ(outAt(120 + row, col), inAt(row, col)) << row << "," << col;
}

TEST(PictureCopy, TileLayoutRefuses720p)
{
    ProcesserCut cut = Input(1280, 720);
    ASSERT_EQ(CutSetMode(cut, 1600, 1200, 6), S_OK);
    const PicturePlan plan = PicturePlan::For(cut);
    EXPECT_EQ(plan.kind, PicturePlan::Kind::kInvalid);
    const std::vector<BYTE> in = Pattern(1280, 720);
    std::vector<BYTE> out(1600 * 2 * 1200);
    size_t written = 0;
    EXPECT_FALSE(CopyPicture(plan, in.data(), in.size(), out.data(), out.size(), &written));
}

} // namespace
