// One Motion JPEG frame to a B G R picture: the agreed size, the byte order and
// row layout, and what corrupt, truncated, oversized or empty frames give.
#include "MjpegFrameDecoder.h"
#include "win32/trace.h"

#include "JpegTestImages.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

using Bytes = std::vector<uint8_t>;

struct Picture {
    bool decoded = false;
    size_t written = 0;
    Bytes bytes;
    std::string error;
};

Picture Decode(CMjpegFrameDecoder& decoder, const Bytes& jpeg, int width, int height,
               size_t capacity = 0)
{
    Picture p;
    const size_t stride = Stride(width);
    p.bytes.assign(capacity ? capacity : stride * static_cast<size_t>(height), 0xCD);
    p.decoded = decoder.Decode(jpeg, width, height, stride, p.bytes, &p.written);
    p.error = decoder.LastError();
    return p;
}

TEST(MjpegFrameDecoder, PicturesComeOutAsTheLibraryDecodesThemInBgrOrder)
{
    const struct {
        const char* name;
        int width, height;
        JpegKind kind;
    } cases[] = {
        {"1216 x 1024, rows of 3648 bytes", 1216, 1024, JpegKind::Colour},
        {"704 x 576", 704, 576, JpegKind::Colour},
        {"progressive", 352, 288, JpegKind::Progressive},
        {"an odd width keeps its rows 4-byte aligned", 101, 37, JpegKind::Colour},
    };
    CMjpegFrameDecoder decoder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes jpeg = EncodeJpeg(c.width, c.height, c.kind);
        const Picture p = Decode(decoder, jpeg, c.width, c.height);
        ASSERT_TRUE(p.decoded) << p.error;
        EXPECT_EQ(p.written, Stride(c.width) * c.height);
        EXPECT_EQ(p.error, "");
        // Padding bytes at the row ends are left as they were.
        EXPECT_EQ(p.bytes, ReferenceBgr(jpeg, c.width, c.height));
    }
    EXPECT_EQ(Stride(1216), 3648u);
}

TEST(MjpegFrameDecoder, ColoursLandInTheRendererByteOrder)
{
    const int width = 256, height = 64;
    CMjpegFrameDecoder decoder;
    const Picture p =
        Decode(decoder, EncodeJpeg(width, height, JpegKind::Colour, 100), width, height);
    ASSERT_TRUE(p.decoded);
    // The middle of each bar, B G R within the coding error.
    for (int bar = 0; bar < 8; ++bar) {
        uint8_t rgb[3];
        const int x = bar * width / 8 + width / 16;
        PatternRgb(x, 8, width, height, rgb);
        const uint8_t* px = p.bytes.data() + 8 * Stride(width) + static_cast<size_t>(x) * 3;
        EXPECT_NEAR(px[0], rgb[2], 6) << "bar " << bar;
        EXPECT_NEAR(px[1], rgb[1], 6) << "bar " << bar;
        EXPECT_NEAR(px[2], rgb[0], 6) << "bar " << bar;
    }
}

TEST(MjpegFrameDecoder, GreyPicturesBecomeThreeEqualBytes)
{
    const int width = 160, height = 64;
    CMjpegFrameDecoder decoder;
    const Picture p = Decode(decoder, EncodeJpeg(width, height, JpegKind::Grey), width, height);
    ASSERT_TRUE(p.decoded) << p.error;
    ASSERT_EQ(p.written, Stride(width) * height);
    size_t unequal = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint8_t* px = p.bytes.data() + y * Stride(width) + x * 3;
            unequal += (px[0] != px[1] || px[1] != px[2]) ? 1 : 0;
        }
    EXPECT_EQ(unequal, 0u);
}

Bytes Cut(const Bytes& b, size_t n)
{
    return Bytes(b.begin(), b.begin() + static_cast<ptrdiff_t>(std::min(n, b.size())));
}

// The frame header's height and width (SOF0 at its usual place behind the
// tables) replaced.
Bytes WithSize(Bytes jpeg, int width, int height)
{
    for (size_t i = 0; i + 8 < jpeg.size(); ++i) {
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<uint8_t>(height);
            jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<uint8_t>(width);
            break;
        }
    }
    return jpeg;
}

TEST(MjpegFrameDecoder, FramesThatCannotBeShownAreDropped)
{
    const Bytes good = EncodeJpeg(1216, 1024);
    Bytes noise(5000);
    for (size_t i = 0; i < noise.size(); ++i)
        noise[i] = static_cast<uint8_t>(i * 131 + 7);
    Bytes noSos = good;
    for (size_t i = 0; i + 1 < noSos.size(); ++i)
        if (noSos[i] == 0xFF && noSos[i + 1] == 0xDA) {
            noSos = Cut(noSos, i);
            break;
        }
    const struct {
        const char* name;
        Bytes jpeg;
        const char* error; // the start of the reason
    } cases[] = {
        {"704 x 576 at an agreed 1216 x 1024", EncodeJpeg(704, 576), "picture 704x576"},
        {"a header claiming 60000 x 60000", WithSize(good, 60000, 60000), "picture 60000x60000"},
        {"empty", {}, "Empty input file"},
        {"noise", noise, "Not a JPEG file"},
        {"start of image only", Cut(good, 2), "JPEG datastream contains no image"},
        {"a frame header without scans", noSos, "Invalid JPEG file structure: missing SOS"},
        {"CMYK (no conversion to B G R)", EncodeJpeg(1216, 1024, JpegKind::Cmyk),
         "Unsupported color conversion request"},
    };
    CMjpegFrameDecoder decoder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Picture p = Decode(decoder, c.jpeg, 1216, 1024);
        EXPECT_FALSE(p.decoded);
        EXPECT_EQ(p.written, 0u);
        EXPECT_EQ(p.error.rfind(c.error, 0), 0u) << p.error;
        // The decoder goes on with the next frame.
        const Picture next = Decode(decoder, good, 1216, 1024);
        EXPECT_TRUE(next.decoded) << next.error;
    }
}

TEST(MjpegFrameDecoder, ATruncatedFrameStillGivesAPicture)
{
    const int width = 320, height = 240;
    const Bytes jpeg = EncodeJpeg(width, height);
    const Bytes full = ReferenceBgr(jpeg, width, height);
    CMjpegFrameDecoder decoder;
    Picture p;
    // The library's warning goes to the channel, not to standard error.
    const auto lines = TvTraceCapture(
        "mjpegdec", [&] { p = Decode(decoder, Cut(jpeg, jpeg.size() / 2), width, height); });
    ASSERT_TRUE(p.decoded) << p.error;
    EXPECT_NE(std::find_if(lines.begin(), lines.end(),
                           [](const std::string& l) {
                               return l.find("Premature end of JPEG file") != std::string::npos;
                           }),
              lines.end());
    EXPECT_EQ(p.written, Stride(width) * height);
    // The first rows are whole; the last ones are not what the full frame has.
    const size_t row = Stride(width);
    EXPECT_TRUE(std::equal(full.begin(), full.begin() + 16 * row, p.bytes.begin()));
    EXPECT_FALSE(std::equal(full.end() - 16 * row, full.end(), p.bytes.end() - 16 * row));
}

TEST(MjpegFrameDecoder, RowsThatDoNotFitAreLeftOut)
{
    const int width = 64, height = 48;
    const Bytes jpeg = EncodeJpeg(width, height);
    const Bytes full = ReferenceBgr(jpeg, width, height);
    const size_t row = Stride(width);
    const struct {
        size_t capacity;
        size_t rows;
    } cases[] = {{row * 20, 20}, {row * 20 + row - 1, 20}, {row - 1, 0}, {row * 48, 48}};
    CMjpegFrameDecoder decoder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.capacity);
        const Picture p = Decode(decoder, jpeg, width, height, c.capacity);
        ASSERT_TRUE(p.decoded) << p.error;
        EXPECT_EQ(p.written, c.rows * row);
        EXPECT_TRUE(std::equal(full.begin(), full.begin() + c.rows * row, p.bytes.begin()));
        EXPECT_TRUE(std::all_of(p.bytes.begin() + c.rows * row, p.bytes.end(),
                                [](uint8_t b) { return b == 0xCD; }));
    }
}

TEST(MjpegFrameDecoder, ProgressiveFramesWithEndlessScansAreDropped)
{
    // A progressive frame whose scans repeat far past any real encoder's:
    // the frame's last scan copied until the count passes the limit.
    const Bytes jpeg = EncodeJpeg(64, 64, JpegKind::Progressive);
    size_t lastSos = 0;
    for (size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA)
            lastSos = i;
    ASSERT_GT(lastSos, 0u);
    const Bytes scan(jpeg.begin() + static_cast<ptrdiff_t>(lastSos), jpeg.end() - 2);
    Bytes many(jpeg.begin(), jpeg.end() - 2);
    for (int i = 0; i < CMjpegFrameDecoder::kMaxScans; ++i)
        many.insert(many.end(), scan.begin(), scan.end());
    many.push_back(0xFF);
    many.push_back(0xD9);
    CMjpegFrameDecoder decoder;
    const Picture p = Decode(decoder, many, 64, 64);
    EXPECT_FALSE(p.decoded);
    EXPECT_EQ(p.error, "more than 256 scans");
    EXPECT_TRUE(Decode(decoder, jpeg, 64, 64).decoded);
}

// An interlaced camera sends its two fields as two JPEGs of half the height,
// top field first, in one frame: they become one picture, the top field's
// rows in the even rows and the bottom field's in the odd ones. Without a
// bottom field that decodes, each top field row fills the row below it too.
TEST(MjpegFrameDecoder, FieldPairsAreWovenAndALoneTopFieldIsLineDoubled)
{
    const auto join = [](std::initializer_list<Bytes> parts) {
        Bytes all;
        for (const Bytes& p : parts)
            all.insert(all.end(), p.begin(), p.end());
        return all;
    };
    const Bytes junk = {0x00, 0x11, 0xFF, 0x00, 0x22};
    const struct {
        const char* name;
        int width, height;
        Bytes top, bottom; // bottom empty: the top field's rows twice
        Bytes frame;
    } cases[] = {
        {"a field pair", 176, 144, EncodeJpeg(176, 72), EncodeJpeg(176, 72, JpegKind::Grey),
         join({EncodeJpeg(176, 72), EncodeJpeg(176, 72, JpegKind::Grey)})},
        {"bytes between the fields", 176, 144, EncodeJpeg(176, 72),
         EncodeJpeg(176, 72, JpegKind::Grey),
         join({EncodeJpeg(176, 72), junk, EncodeJpeg(176, 72, JpegKind::Grey)})},
        {"an odd height: the top field has the extra row", 64, 37, EncodeJpeg(64, 19),
         EncodeJpeg(64, 18, JpegKind::Grey),
         join({EncodeJpeg(64, 19), EncodeJpeg(64, 18, JpegKind::Grey)})},
        {"a top field alone", 176, 144, EncodeJpeg(176, 72), {}, EncodeJpeg(176, 72)},
        {"a bottom field that is no JPEG",
         176,
         144,
         EncodeJpeg(176, 72),
         {},
         join({EncodeJpeg(176, 72), {0xFF, 0xD8, 0xFF, 0x00, 0x00}})},
        {"a bottom field of another size",
         176,
         144,
         EncodeJpeg(176, 72),
         {},
         join({EncodeJpeg(176, 72), EncodeJpeg(176, 36)})},
    };
    CMjpegFrameDecoder decoder;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const int topRows = (c.height + 1) / 2;
        const Bytes top = ReferenceBgr(c.top, c.width, topRows);
        const Bytes bottom = c.bottom.empty() ? top : ReferenceBgr(c.bottom, c.width, c.height / 2);
        const size_t row = Stride(c.width);
        const Picture p = Decode(decoder, c.frame, c.width, c.height);
        ASSERT_TRUE(p.decoded) << p.error;
        EXPECT_EQ(p.error, "");
        ASSERT_EQ(p.written, row * c.height);
        for (int y = 0; y < c.height; ++y) {
            const Bytes& field = y % 2 ? bottom : top;
            ASSERT_TRUE(std::equal(p.bytes.begin() + y * row,
                                   p.bytes.begin() + y * row + c.width * 3,
                                   field.begin() + (y / 2) * row))
                << "row " << y;
        }
    }
    // Half the height at another width is no field.
    const Picture p = Decode(decoder, EncodeJpeg(88, 72), 176, 144);
    EXPECT_FALSE(p.decoded);
    EXPECT_EQ(p.error.rfind("picture 88x72", 0), 0u) << p.error;
}

} // namespace
