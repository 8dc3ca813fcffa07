// What an indexed frame's bytes become when read: device frames walked into
// video and voice, QBox spans into start codes and ADTS, JPEG 2000 pairs; and
// the index file's name and header, the trick-play modes.
#include "ByteOrder.h"
#include "DeviceFrameHeader.h"
#include "JP2KFieldHeader.h"
#include "QBox.h"
#include "QBoxHeader.h"
#include "RecordFrameRead.h"
#include "RecordIndexFile.h"
#include "StreamBuilders.h"
#include "TrickPlay.h"

#include <gtest/gtest.h>

namespace {

std::vector<uint8_t> Bytes(size_t n, uint8_t fill)
{
    return std::vector<uint8_t>(n, fill);
}

struct WalkPart {
    enum Kind { Loose, Video, Voice, BadLength, ShortTail } kind;
    size_t length;
    uint8_t fill;
};

struct WalkCase {
    const char* name;
    DeviceHeaderLayout layout;
    std::vector<WalkPart> parts;
    std::vector<uint8_t> video; // expected
    std::vector<std::vector<uint8_t>> voice;
};

std::vector<uint8_t> BuildWalk(const WalkCase& c)
{
    std::vector<uint8_t> s;
    DeviceFrameFields f;
    f.layout = c.layout;
    for (const WalkPart& p : c.parts) {
        const std::vector<uint8_t> bytes = Bytes(p.length, p.fill);
        switch (p.kind) {
        case WalkPart::Loose:
            Append(s, bytes);
            break;
        case WalkPart::Video:
            EXPECT_TRUE(AppendDeviceFrame(s, f, bytes));
            break;
        case WalkPart::Voice:
            EXPECT_TRUE(AppendVoiceFrame(s, f, bytes));
            break;
        case WalkPart::BadLength: {
            // A header whose total length (39) is below the header's own size.
            std::vector<uint8_t> h(kDeviceHeader40Size + p.length, p.fill);
            EXPECT_TRUE(WriteDeviceFrameHeader(h, f, 0));
            h[14] = 39;
            Append(s, h);
            break;
        }
        case WalkPart::ShortTail: {
            std::vector<uint8_t> h(kDeviceHeader40Size, 0);
            EXPECT_TRUE(WriteDeviceFrameHeader(h, f, 100));
            Append(s, h);
            break;
        }
        }
    }
    return s;
}

const WalkCase kWalkCases[] = {
    {"no header: the whole span",
     DeviceHeaderLayout::Header40,
     {{WalkPart::Loose, 70, 0x11}},
     Bytes(70, 0x11),
     {}},
    {"video, voice, video",
     DeviceHeaderLayout::Header40,
     {{WalkPart::Loose, 10, 0x11}, {WalkPart::Voice, 12, 0x22}, {WalkPart::Video, 50, 0x33}},
     [] {
         auto v = Bytes(10, 0x11);
         Append(v, Bytes(50, 0x33));
         return v;
     }(),
     {Bytes(12, 0x22)}},
    {"36-byte headers",
     DeviceHeaderLayout::Header36,
     {{WalkPart::Video, 20, 0x44},
      {WalkPart::Voice, 8, 0x55},
      {WalkPart::Voice, 9, 0x56},
      {WalkPart::Video, 30, 0x66}},
     [] {
         auto v = Bytes(20, 0x44);
         Append(v, Bytes(30, 0x66));
         return v;
     }(),
     {Bytes(8, 0x55), Bytes(9, 0x56)}},
    {"total length 39 ends the walk",
     DeviceHeaderLayout::Header40,
     {{WalkPart::Loose, 25, 0x11}, {WalkPart::BadLength, 30, 0x77}, {WalkPart::Video, 20, 0x33}},
     Bytes(25, 0x11),
     {}},
    {"a bad header before any video keeps the span",
     DeviceHeaderLayout::Header40,
     {{WalkPart::BadLength, 30, 0x77}},
     {},
     {}},
    {"the next frame's header at the end is dropped",
     DeviceHeaderLayout::Header40,
     {{WalkPart::Loose, 60, 0x11}, {WalkPart::ShortTail, 0, 0}},
     Bytes(60, 0x11),
     {}},
};

class DeviceWalkTest : public testing::TestWithParam<WalkCase> {};

} // namespace

TEST_P(DeviceWalkTest, VideoAndVoice)
{
    const WalkCase& c = GetParam();
    std::vector<uint8_t> span = BuildWalk(c);
    const std::vector<uint8_t> original = span;
    std::vector<std::vector<uint8_t>> voice;
    const size_t n = WalkDeviceFrame(span, [&](std::span<const uint8_t> payload) {
        voice.emplace_back(payload.begin(), payload.end());
    });
    const std::vector<uint8_t> video(span.begin(), span.begin() + n);
    EXPECT_EQ(video, c.video.empty() ? original : c.video);
    EXPECT_EQ(voice, c.voice);
}

INSTANTIATE_TEST_SUITE_P(Spans, DeviceWalkTest, testing::ValuesIn(kWalkCases),
                         [](const testing::TestParamInfo<WalkCase>& info) {
                             std::string n = info.param.name;
                             for (char& ch : n)
                                 ch = isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return n;
                         });

// A QBox span: H.264 boxes to start-code form (after the 16 extra header bytes
// when a box has them), AAC boxes to ADTS frames, the last video box's time;
// incomplete boxes are passed over.
TEST(QBoxReadTest, H264SpanToStartCodesAndAdts)
{
    std::vector<uint8_t> span;
    QBoxFields video;
    video.compositionTime = 90000;
    ASSERT_TRUE(
        AppendQBox(span, video, std::vector<uint8_t>{0, 0, 0, 3, 0x65, 1, 2, 0, 0, 0, 1, 0x06}));
    std::vector<uint8_t> aac;
    ASSERT_TRUE(AppendQmedPayload(aac, 3, 2, Bytes(10, 0x21)));
    QBoxFields audio;
    audio.streamType = kQBoxStreamAac;
    audio.sampleFlags = kQBoxSampleFlagQmed;
    ASSERT_TRUE(AppendQBox(span, audio, aac));
    QBoxFields extra = video;
    extra.compositionTime = 93600;
    extra.sampleFlags = kQBoxSampleFlagExtraHeader;
    std::vector<uint8_t> payload = Bytes(16, 0xEE);
    Append(payload, {0, 0, 0, 2, 0x41, 9});
    ASSERT_TRUE(AppendQBox(span, extra, payload));
    std::vector<uint8_t> cut;
    ASSERT_TRUE(AppendQBox(cut, video, Bytes(40, 0x99)));
    span.insert(span.end(), cut.begin(), cut.begin() + 50);

    std::vector<uint8_t> v, a;
    QBoxSpanContents contents = UnpackQBoxH264Span(span, v, a, 512000);
    EXPECT_EQ(
        v, (std::vector<uint8_t>{0, 0, 0, 1, 0x65, 1, 2, 0, 0, 0, 1, 0x06, 0, 0, 0, 1, 0x41, 9}));
    std::vector<uint8_t> adts = {0xFF, 0xF1, 0x4C, 0x80, 0x02, 0x3F, 0xFC};
    Append(adts, Bytes(10, 0x21));
    EXPECT_EQ(a, adts);
    EXPECT_EQ(contents.videoBoxes, 2u);
    EXPECT_EQ(contents.timestamp, 93600 * 1000 / 9);

    // With no room for audio the video is the same and the audio stays empty.
    std::vector<uint8_t> v2, a2;
    UnpackQBoxH264Span(span, v2, a2, 0);
    EXPECT_EQ(v2, v);
    EXPECT_TRUE(a2.empty());
}

TEST(QBoxReadTest, MjpegSpanTakesTheFirstJpegBox)
{
    std::vector<uint8_t> span;
    std::vector<uint8_t> aac;
    ASSERT_TRUE(AppendQmedPayload(aac, 4, 1, Bytes(6, 0x21)));
    QBoxFields audio;
    audio.streamType = kQBoxStreamAac;
    audio.sampleFlags = kQBoxSampleFlagQmed;
    QBoxFields jpeg;
    jpeg.streamType = kQBoxStreamJpeg;
    jpeg.compositionTime = 180000;
    jpeg.sampleFlags = kQBoxSampleFlagExtraHeader;
    std::vector<uint8_t> payload = Bytes(16, 0xEE);
    Append(payload, {0xFF, 0xD8, 0xFF, 0xD9});
    ASSERT_TRUE(AppendQBox(span, jpeg, payload));
    ASSERT_TRUE(AppendQBox(span, audio, aac));
    ASSERT_TRUE(AppendQBox(span, jpeg, Bytes(20, 0xD8)));

    size_t offset = 0, length = 0;
    std::vector<uint8_t> a;
    QBoxSpanContents contents = UnpackQBoxMjpegSpan(span, offset, length, a, 512000);
    EXPECT_EQ(offset, 44u);
    EXPECT_EQ(length, 4u);
    EXPECT_EQ(contents.timestamp, 180000 * 1000 / 9);
    EXPECT_EQ(a.size(), 13u);
    EXPECT_EQ(a[2], 0x40 | (4 << 2));

    // A JPEG box too short to be a picture gives no frame.
    std::vector<uint8_t> tiny;
    jpeg.sampleFlags = 0;
    ASSERT_TRUE(AppendQBox(tiny, jpeg, std::vector<uint8_t>{0xFF, 0xD8, 0xFF}));
    UnpackQBoxMjpegSpan(tiny, offset, length, a, 512000);
    EXPECT_EQ(length, 0u);
}

// A JPEG 2000 span: both fields when they pair up, the whole span otherwise,
// nothing when it does not start with a field header.
TEST(JP2KReadTest, FrameExtent)
{
    auto field = [](bool second, uint32_t number, size_t length) {
        std::vector<uint8_t> f(kJP2KFieldHeaderSize + length, 0x42);
        JP2KFieldFields fields;
        fields.frameNumber = number;
        fields.captureSeconds = 7;
        fields.captureMicros = 5;
        EXPECT_TRUE(WriteJP2KFieldHeader(f, fields, second, length));
        return f;
    };
    std::vector<uint8_t> span = field(false, 1, 30);
    Append(span, field(true, 1, 20));
    const size_t pair = span.size();
    Append(span, field(false, 2, 10)); // a lone first field the index passed over
    int64_t time = 0;
    EXPECT_EQ(JP2KFrameExtent(span, time), pair);
    EXPECT_EQ(time, 7000005);
    std::vector<uint8_t> unpaired = field(false, 1, 30);
    Append(unpaired, field(true, 2, 20));
    EXPECT_EQ(JP2KFrameExtent(unpaired, time), unpaired.size());
    EXPECT_EQ(JP2KFrameExtent(Bytes(300, 0x11), time), 0u);
}

TEST(RecordIndexFileTest, IndexNames)
{
    const std::pair<const char*, const char*> cases[] = {
        {"/rec/clip.tvx", "/rec/clip.idx"},
        {"/rec/clip.2024.tvx2", "/rec/clip.2024.idx"},
        {"/rec.d/clip", "/rec.d/clip.idx"},
        {"C:\\rec.d\\clip", "C:\\rec.d\\clip.idx"},
        {"C:\\rec\\clip.t264", "C:\\rec\\clip.idx"},
        {"clip", "clip.idx"},
        {"", ""},
    };
    for (const auto& [media, index] : cases)
        EXPECT_EQ(MakeRecordIndexName(media), index) << media;
}

// The header's fields at their offsets, little-endian.
TEST(RecordIndexFileTest, HeaderLayout)
{
    RecordIndexHeader h;
    h.fileLength = 0x0102030405LL;
    h.frameDuration = 400000;
    h.entryCount = 31;
    h.gopLength = 25;
    h.bFrames = 16;
    h.pFrames = 8;
    h.width = 704;
    h.height = 576;
    h.containerKind = 2;
    h.codecKind = 6;
    h.videoPid = -1;
    uint8_t out[kRecordIndexHeaderSize];
    WriteRecordIndexHeader(h, out);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(out), 4), "idx0");
    EXPECT_EQ(ReadLE64(out + 4), 0x0102030405ULL);
    const std::pair<size_t, uint32_t> fields[] = {
        {12, 400000}, {16, 31},  {20, 25}, {24, 16}, {28, 8},
        {32, 704},    {36, 576}, {40, 2},  {44, 6},  {48, 0xFFFFFFFF}};
    for (const auto& [at, value] : fields)
        EXPECT_EQ(ReadLE32(out + at), value) << at;
}

namespace {

struct ModeCase {
    double rate;
    int32_t gop;
    int32_t b;
    bool taken;
    TrickPlayMode mode;
};

TrickPlayMode KeyOnly(int32_t k)
{
    TrickPlayMode m;
    m.keyFramesOnly = true;
    m.keyInterval = k;
    return m;
}

TrickPlayMode KeepB(int32_t interval)
{
    TrickPlayMode m;
    m.bKeepInterval = interval;
    return m;
}

TrickPlayMode DropB(bool lastP)
{
    TrickPlayMode m;
    m.dropAllB = true;
    m.dropLastP = lastP;
    return m;
}

const ModeCase kModes[] = {
    {1.0, 25, 16, true, {}},
    {1.9, 25, 16, true, {}},
    {0.3, 25, 16, true, {}},
    {0.05, 25, 16, false, {}},
    {-0.49, 25, 16, false, {}},
    {-0.5, 25, 16, true, {}},
    {2.0, 25, 16, true, KeepB(4)},
    {-2.0, 25, 16, true, KeepB(4)},
    {3.0, 25, 16, true, DropB(false)},
    {4.0, 25, 16, true, DropB(true)},
    {21.0, 25, 16, true, DropB(true)},
    {22.0, 25, 16, true, KeyOnly(1)},
    {44.0, 25, 16, true, KeyOnly(2)},
    {2.0, 25, 0, true, KeyOnly(1)}, // 12 frames must go, and there are no B frames
    {5.0, 25, 10, true, KeyOnly(1)},
    {2.0, 1, 0, true, KeyOnly(2)},
    {2.0, 0, 0, false, {}},
    {1e300, 25, 16, true, KeyOnly(1000000000 / 22)},
};

} // namespace

TEST(TrickPlayTest, ModeForRate)
{
    for (const ModeCase& c : kModes) {
        SCOPED_TRACE(testing::Message() << c.rate << " G " << c.gop << " B " << c.b);
        TrickPlayMode mode = KeyOnly(77); // a result leaves it, or replaces it
        EXPECT_EQ(ComputeTrickPlayMode(c.rate, c.gop, c.b, mode), c.taken);
        EXPECT_EQ(mode, c.taken ? c.mode : KeyOnly(77));
    }
}

// The frames a mode takes from two GOPs (I, then P B B eight times).
TEST(TrickPlayTest, CounterTakesFramesInPlayOrder)
{
    std::vector<int> types;
    for (int g = 0; g < 2; ++g) {
        types.push_back(1);
        for (int k = 0; k < 8; ++k)
            types.insert(types.end(), {2, 3, 3});
    }
    struct Case {
        TrickPlayMode mode;
        std::vector<int> taken;
    };
    const Case cases[] = {
        {KeepB(4), {0,  1,  4,  6,  7,  10, 12, 13, 16, 18, 19, 22, 24,
                    25, 26, 29, 31, 32, 35, 37, 38, 41, 43, 44, 47, 49}},
        {DropB(true), {0, 1, 4, 7, 10, 13, 16, 19, 25, 26, 29, 32, 35, 38, 41, 44}},
        {KeyOnly(2), {0}},
    };
    for (const Case& c : cases) {
        CTrickPlayCounter counter;
        std::vector<int> taken;
        for (size_t i = 0; i < types.size(); ++i) {
            if (counter.Take(c.mode, types[i], 8))
                taken.push_back(static_cast<int>(i));
        }
        EXPECT_EQ(taken, c.taken);
    }
}
