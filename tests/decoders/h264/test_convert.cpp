// The pure picture code of the H.264 decoder filter: 4:2:0 to YUY2, line
// doubling and the field deinterlacer, vector paths against their scalar
// references on sizes that are not multiples of the vector width.
#include "FieldDeinterlacer.h"
#include "Yuv420ToYuy2.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

struct Planes {
    int width, height, yStride, uvStride;
    std::vector<uint8_t> y, u, v;
    Planes(int w, int h, int ys, int uvs, uint32_t seed)
        : width(w), height(h), yStride(ys), uvStride(uvs), y(static_cast<size_t>(ys) * h),
          u(static_cast<size_t>(uvs) * ((h + 1) / 2)), v(u.size())
    {
        std::mt19937 rng(seed);
        for (auto* plane : {&y, &u, &v})
            for (auto& b : *plane)
                b = static_cast<uint8_t>(rng());
    }
    Yuv420Planes View() const
    {
        Yuv420Planes p;
        p.y = y.data();
        p.u = u.data();
        p.v = v.data();
        p.yStride = yStride;
        p.uvStride = uvStride;
        return p;
    }
};

} // namespace

TEST(Yuv420ToYuy2, PacksPairsWithSharedChroma)
{
    // 2 x 2 pixels: both rows take the one chroma pair.
    const uint8_t y[] = {10, 11, 20, 21};
    const uint8_t u[] = {100};
    const uint8_t v[] = {200};
    Yuv420Planes p{y, u, v, 2, 1};
    uint8_t out[8] = {};
    Yuv420ToYuy2(p, 2, 2, out, 4);
    const uint8_t expected[] = {10, 100, 11, 200, 20, 100, 21, 200};
    EXPECT_EQ(std::vector<uint8_t>(out, out + 8), std::vector<uint8_t>(expected, expected + 8));
}

TEST(Yuv420ToYuy2, VectorPathsEqualScalarOnOddSizes)
{
    // dstStride 0: 2 x width + 6, rows on no boundary (plain stores);
    // otherwise the stride as given on a buffer at offset bytes past a 32-byte
    // boundary: rows on 32-byte boundaries stream through the AVX2 pass, rows
    // on 16 only through the SSE2 pass. Widths around 16, 32 and 64 pixels
    // reach every step of each pass and the scalar finish behind it.
    struct Case {
        int width, height, yStride, uvStride, dstStride, offset;
    } cases[] = {{16, 2, 16, 8, 0, 0},
                 {17, 3, 17, 9, 0, 0},
                 {31, 5, 40, 20, 0, 0},
                 {33, 7, 33, 17, 0, 0},
                 {1, 1, 1, 1, 0, 0},
                 {63, 3, 63, 32, 0, 0},
                 {64, 2, 64, 32, 0, 0},
                 {65, 5, 65, 33, 0, 0},
                 {97, 4, 100, 50, 0, 0},
                 {113, 3, 113, 57, 0, 0},
                 {127, 6, 128, 64, 0, 0},
                 {704, 576, 768, 384, 0, 0},
                 {130, 9, 144, 72, 0, 0},
                 {1919, 11, 1920, 960, 0, 0},
                 {16, 2, 16, 8, 48, 0},
                 {47, 5, 48, 24, 112, 0},
                 {64, 3, 64, 32, 128, 0},
                 {64, 3, 64, 32, 128, 16},
                 {81, 5, 96, 48, 176, 0},
                 {1920, 7, 1920, 960, 3840, 0},
                 {1920, 7, 1920, 960, 3840, 16},
                 {1919, 9, 1920, 960, 3856, 0},
                 {1889, 9, 1920, 960, 3808, 0}};
    const Yuy2Path paths[] = {Yuy2Path::Best, Yuy2Path::Sse2};
    for (const Case& c : cases) {
        const Planes src(c.width, c.height, c.yStride, c.uvStride, c.width * 31u + c.height);
        const ptrdiff_t stride = c.dstStride ? c.dstStride : 2 * c.width + 6;
        std::vector<uint8_t> ref(stride * c.height, 0xEE);
        Yuv420ToYuy2Scalar(src.View(), c.width, c.height, ref.data(), stride);
        // Spot-check the reference itself at the last pixel of the last row.
        const int r = c.height - 1, x = c.width - 1;
        EXPECT_EQ(ref[r * stride + 2 * x], src.y[r * c.yStride + x]);
        EXPECT_EQ(ref[r * stride + 2 * x + 1],
                  (x % 2 ? src.v : src.u)[(r / 2) * c.uvStride + x / 2]);
        for (Yuy2Path path : paths) {
            SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " stride " << stride
                                            << " offset " << c.offset << " path " << int(path));
            // Padding bytes past each row and past the picture must stay untouched.
            std::vector<uint8_t> buffer(stride * c.height + 32 + c.offset + 64, 0xEE);
            uint8_t* vec =
                buffer.data() + (32 - reinterpret_cast<uintptr_t>(buffer.data()) % 32) + c.offset;
            Yuv420ToYuy2(src.View(), c.width, c.height, vec, stride, path);
            EXPECT_EQ(std::vector<uint8_t>(vec, vec + ref.size()), ref);
            EXPECT_EQ(std::vector<uint8_t>(vec + ref.size(), vec + ref.size() + 64),
                      std::vector<uint8_t>(64, 0xEE));
            if (stride > 2 * c.width) {
                EXPECT_EQ(vec[r * stride + 2 * c.width], 0xEE);
            }
        }
    }
}

TEST(Yuv420ToYuy2, ScalarPathIsTheReference)
{
    const Planes src(37, 5, 40, 20, 7);
    const ptrdiff_t stride = 80;
    std::vector<uint8_t> ref(stride * 5, 0xEE), viaPath(ref.size(), 0xEE);
    Yuv420ToYuy2Scalar(src.View(), 37, 5, ref.data(), stride);
    Yuv420ToYuy2(src.View(), 37, 5, viaPath.data(), stride, Yuy2Path::Scalar);
    EXPECT_EQ(viaPath, ref);
}

TEST(Yuv420ToYuy2, LineDoublingSpreadsTheUpperHalf)
{
    struct Case {
        int width, height;
    } cases[] = {{4, 6}, {3, 5}, {8, 2}};
    for (const Case& c : cases) {
        const ptrdiff_t stride = 2 * c.width;
        std::vector<uint8_t> pic(stride * c.height);
        for (int r = 0; r < c.height; ++r)
            for (int i = 0; i < stride; ++i)
                pic[r * stride + i] = static_cast<uint8_t>(r * 16 + i);
        const std::vector<uint8_t> before = pic;
        DoubleLinesYuy2(pic.data(), stride, c.width, c.height);
        for (int r = 0; r < c.height; ++r) {
            // Odd heights keep their last row.
            const int from = (c.height % 2 && r == c.height - 1) ? r : r / 2;
            EXPECT_TRUE(std::equal(pic.begin() + r * stride, pic.begin() + (r + 1) * stride,
                                   before.begin() + from * stride))
                << c.width << "x" << c.height << " row " << r;
        }
    }
}

TEST(FieldDeinterlacer, CreationResults)
{
    struct Case {
        int width, fieldHeight, srcY, srcUV, dstY, dstUV;
        int result;
    } cases[] = {
        {704, 288, 704, 352, 704, 352, FieldDeinterlacer::kOk},
        {128, 4, 128, 64, 128, 64, FieldDeinterlacer::kOk},
        {127, 288, 704, 352, 704, 352, FieldDeinterlacer::kBadSize},
        {704, 3, 704, 352, 704, 352, FieldDeinterlacer::kBadSize},
        {704, 288, 703, 352, 704, 352, FieldDeinterlacer::kBadSize},
        {704, 288, 704, 351, 704, 352, FieldDeinterlacer::kBadSize},
        {704, 288, 704, 352, 704, 351, FieldDeinterlacer::kBadSize},
    };
    for (const Case& c : cases) {
        FieldDeinterlacer* d = reinterpret_cast<FieldDeinterlacer*>(1);
        EXPECT_EQ(
            FieldDeinterlacer::Create(&d, c.width, c.fieldHeight, c.srcY, c.srcUV, c.dstY, c.dstUV),
            c.result);
        EXPECT_EQ(d == nullptr, c.result != FieldDeinterlacer::kOk);
        delete d;
    }
    EXPECT_EQ(FieldDeinterlacer::Create(nullptr, 704, 288, 704, 352, 704, 352),
              FieldDeinterlacer::kNoPointer);
}

TEST(FieldDeinterlacer, ProcessRefusesMissingPointersAndStructures)
{
    FieldDeinterlacer* d = nullptr;
    ASSERT_EQ(FieldDeinterlacer::Create(&d, 128, 4, 128, 64, 128, 64), FieldDeinterlacer::kOk);
    std::vector<uint8_t> y(128 * 8), u(64 * 4), v(64 * 4), fy(128 * 4, 1), fu(64 * 2), fv(64 * 2);
    EXPECT_EQ(d->Process(nullptr, u.data(), v.data(), fy.data(), fu.data(), fv.data(), 2),
              FieldDeinterlacer::kNoPointer);
    EXPECT_EQ(d->Process(y.data(), u.data(), v.data(), fy.data(), nullptr, fv.data(), 1),
              FieldDeinterlacer::kNoPointer);
    EXPECT_EQ(d->Process(y.data(), u.data(), v.data(), fy.data(), fu.data(), fv.data(), 0),
              FieldDeinterlacer::kBadStructure);
    EXPECT_EQ(d->Process(y.data(), u.data(), v.data(), fy.data(), fu.data(), fv.data(), 3),
              FieldDeinterlacer::kBadStructure);
    delete d;
}

// A top field of rows 10, 20, 30, ... and a bottom field: the frame's even rows
// are the top field, its odd rows the vertical mean (a flat picture has no
// better diagonal), rows 0/1 and the last two repeat the top field's edge rows;
// chroma rows come from the top field, each twice.
TEST(FieldDeinterlacer, FirstFrameInterpolatesTheTopField)
{
    const int w = 128, fh = 6;
    FieldDeinterlacer* d = nullptr;
    ASSERT_EQ(FieldDeinterlacer::Create(&d, w, fh, w, w / 2, w, w / 2), FieldDeinterlacer::kOk);
    std::vector<uint8_t> top(w * fh), bottom(w * fh, 7), tu(w / 2 * 3), tv(w / 2 * 3);
    for (int r = 0; r < fh; ++r)
        std::fill_n(top.begin() + r * w, w, static_cast<uint8_t>(10 * (r + 1)));
    for (int r = 0; r < 3; ++r) {
        std::fill_n(tu.begin() + r * w / 2, w / 2, static_cast<uint8_t>(100 + r));
        std::fill_n(tv.begin() + r * w / 2, w / 2, static_cast<uint8_t>(200 + r));
    }
    std::vector<uint8_t> y(w * 2 * fh, 0), u(w / 2 * fh, 0), v(w / 2 * fh, 0);
    EXPECT_EQ(d->Process(y.data(), u.data(), v.data(), top.data(), tu.data(), tv.data(), 1),
              FieldDeinterlacer::kOk);
    EXPECT_EQ(y, std::vector<uint8_t>(y.size(), 0)); // a top field alone writes nothing
    const std::vector<uint8_t> bu(w / 2 * 3, 1), bv(w / 2 * 3, 1);
    EXPECT_EQ(d->Process(y.data(), u.data(), v.data(), bottom.data(), bu.data(), bv.data(), 2),
              FieldDeinterlacer::kOk);
    const int expectedRows[12] = {10, 10, 20, 25, 30, 35, 40, 45, 50, 55, 60, 60};
    for (int r = 0; r < 2 * fh; ++r)
        for (int x = 0; x < w; ++x) {
            // The two pixels at each end of an interpolated row copy the row above.
            const bool edge = x < 2 || x >= w - 2;
            const bool interpolated = r % 2 == 1 && r > 1 && r < 2 * fh - 1;
            const int expected = edge && interpolated ? expectedRows[r - 1] : expectedRows[r];
            ASSERT_EQ(y[r * w + x], expected) << "row " << r << " x " << x;
        }
    for (int r = 0; r < fh; ++r) {
        EXPECT_EQ(u[r * w / 2 + 5], 100 + r / 2);
        EXPECT_EQ(v[r * w / 2 + 5], 200 + r / 2);
    }
    delete d;
}

// A still picture: after three still field pairs the odd rows come from the
// bottom fields (mean of this and the last one) instead of the top field.
TEST(FieldDeinterlacer, StillAreasTakeTheBottomField)
{
    const int w = 128, fh = 8;
    FieldDeinterlacer* d = nullptr;
    ASSERT_EQ(FieldDeinterlacer::Create(&d, w, fh, w, w / 2, w, w / 2), FieldDeinterlacer::kOk);
    std::vector<uint8_t> top(w * fh, 100), bottom(w * fh, 100), c(w / 2 * 4, 128);
    std::vector<uint8_t> y(w * 2 * fh), u(w / 2 * fh), v(w / 2 * fh);
    std::vector<int> oddRowValue;
    for (int frame = 0; frame < 6; ++frame) {
        // The bottom field differs from the top only by a small constant, which
        // the top-field interpolation cannot produce.
        std::fill(bottom.begin(), bottom.end(), static_cast<uint8_t>(110 + (frame & 1)));
        d->Process(y.data(), u.data(), v.data(), top.data(), c.data(), c.data(), 1);
        d->Process(y.data(), u.data(), v.data(), bottom.data(), c.data(), c.data(), 2);
        oddRowValue.push_back(y[3 * w + 40]);
    }
    // The first pair sees motion from the grey start (the ring holds 0x80),
    // then the counter counts 1, 2, 3 over the still pairs.
    EXPECT_EQ(oddRowValue, (std::vector<int>{100, 100, 100, 100, 111, 111}));
    delete d;
}

// Both vector paths (AVX2 where the processor has it, and SSE2 alone) equal
// the scalar reference, on widths that leave every kind of row remainder.
TEST(FieldDeinterlacer, VectorPathsEqualScalarOnOddSizes)
{
    struct Case {
        int width, fieldHeight, srcY, srcUV;
    } cases[] = {{128, 4, 128, 64},    {131, 5, 140, 70},  {137, 7, 137, 69},
                 {704, 40, 1536, 768}, {250, 9, 256, 128}, {147, 6, 160, 80}};
    for (const auto path : {FieldDeinterlacer::Path::Vector, FieldDeinterlacer::Path::Sse2})
        for (const Case& c : cases) {
            SCOPED_TRACE(testing::Message()
                         << c.width << "x" << c.fieldHeight << " path " << static_cast<int>(path));
            FieldDeinterlacer *vec = nullptr, *ref = nullptr;
            const int cw = (c.width + 1) / 2;
            ASSERT_EQ(FieldDeinterlacer::Create(&vec, c.width, c.fieldHeight, c.srcY, c.srcUV,
                                                c.width, cw, path),
                      FieldDeinterlacer::kOk);
            ASSERT_EQ(FieldDeinterlacer::Create(&ref, c.width, c.fieldHeight, c.srcY, c.srcUV,
                                                c.width, cw, FieldDeinterlacer::Path::Scalar),
                      FieldDeinterlacer::kOk);
            const size_t frameBytes = static_cast<size_t>(c.width) * 2 * c.fieldHeight;
            std::mt19937 rng(c.width);
            // A textured, mostly still picture with a moving patch and noise, so
            // that both thresholds, every counter value and every branch occur.
            std::vector<uint8_t> base(static_cast<size_t>(c.srcY) * c.fieldHeight);
            for (auto& b : base)
                b = static_cast<uint8_t>(rng() % 64 + ((rng() & 7) == 0 ? 150 : 60));
            for (int field = 0; field < 16; ++field) {
                Planes f(c.width, c.fieldHeight, c.srcY, c.srcUV, 1000 + field);
                for (size_t i = 0; i < base.size(); ++i) {
                    const int x = static_cast<int>(i % c.srcY);
                    const bool moving =
                        x >= (field * 7) % c.width && x < (field * 7) % c.width + 20;
                    f.y[i] = moving ? f.y[i] : static_cast<uint8_t>(base[i] + (rng() % 5));
                }
                std::vector<uint8_t> vy(frameBytes, 1), vu(cw * c.fieldHeight, 1), vv(vu.size(), 1);
                std::vector<uint8_t> ry(vy), ru(vu), rv(vv);
                const int structure = 1 + (field & 1);
                ASSERT_EQ(vec->Process(vy.data(), vu.data(), vv.data(), f.y.data(), f.u.data(),
                                       f.v.data(), structure),
                          FieldDeinterlacer::kOk);
                ASSERT_EQ(ref->Process(ry.data(), ru.data(), rv.data(), f.y.data(), f.u.data(),
                                       f.v.data(), structure),
                          FieldDeinterlacer::kOk);
                ASSERT_EQ(vy, ry) << "field " << field;
                ASSERT_EQ(vu, ru);
                ASSERT_EQ(vv, rv);
            }
            delete vec;
            delete ref;
        }
}
