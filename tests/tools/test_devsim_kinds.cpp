// Every stream kind the simulator makes, read back the way the splitter reads
// it (detection, sequence header, stream information) and decoded by libavcodec.
#include "DevSimTestKit.h"

#include "ByteOrder.h"
#include "CodecKind.h"
#include "ContainerKind.h"
#include "DeviceFrameHeader.h"
#include "JP2KFieldHeader.h"
#include "QBox.h"
#include "SequenceHeader.h"
#include "StreamDetect.h"
#include "StreamInfo.h"
#include "TSParser.h"
#include "TestPattern.h"
#include "VoiceFrame.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

using namespace tvdevsim;
using devsimtest::Decoded;

namespace {

constexpr int kFrames = 12;

struct KindCase {
    SimKind kind;
    int width, height; // asked for
    int codecKind, containerKind;
    int expectWidth, expectHeight; // as the formats code reports it
};

// How GoogleTest shows a case (in failures and in the list of tests).
void PrintTo(const KindCase& c, std::ostream* os)
{
    *os << KindName(c.kind) << " " << c.width << "x" << c.height << " -> codec " << c.codecKind
        << ", container " << c.containerKind << ", " << c.expectWidth << "x" << c.expectHeight;
}

// Small pictures keep the suite quick; the HD transport stream is reported as
// 1920 x 1080 whatever it holds, so it is made at that size.
const KindCase kCases[] = {
    {SimKind::Device40, 176, 144, CodecDeviceH264, ContainerUnknown, 176, 144},
    {SimKind::Device36, 176, 144, CodecDeviceH264, ContainerUnknown, 176, 144},
    {SimKind::DeviceFieldD1, 0, 0, CodecDeviceH264, ContainerUnknown, 704, 576},
    {SimKind::Jp2kFields, 176, 144, CodecJP2K, ContainerUnknown, 176, 72},
    {SimKind::QBoxH264, 320, 180, CodecHDH264, ContainerQBox, 320, 180},
    {SimKind::QBoxMjpeg, 320, 180, CodecMjpeg, ContainerQBox, 320, 180},
    {SimKind::QBoxMjpegInterlaced, 320, 180, CodecMjpeg, ContainerQBox, 320, 180},
    {SimKind::TsMpeg2, 176, 144, CodecMpeg2, ContainerTransport, 176, 144},
    {SimKind::TsMpeg4, 176, 144, CodecMpeg4, ContainerTransport, 176, 144},
    {SimKind::TsH264, 176, 144, CodecDeviceH264, ContainerTransport, 176, 144},
    {SimKind::Ts192H264, 1920, 1080, CodecHDH264, ContainerTransport, 1920, 1080},
    {SimKind::EsMpeg2, 176, 144, CodecMpeg2, ContainerUnknown, 176, 144},
    {SimKind::EsMpeg4, 176, 144, CodecMpeg4, ContainerUnknown, 176, 144},
    {SimKind::EsH264, 176, 144, CodecDeviceH264, ContainerUnknown, 176, 144},
};

GeneratorConfig ConfigFor(const KindCase& c)
{
    GeneratorConfig g;
    g.kind = c.kind;
    g.width = c.width;
    g.height = c.height;
    g.gop = 5;
    g.bitrateKbps = 0;
    return g;
}

bool IsTs(SimKind k)
{
    return k == SimKind::TsMpeg2 || k == SimKind::TsMpeg4 || k == SimKind::TsH264 ||
           k == SimKind::Ts192H264;
}

// Device stream: video payloads (one per frame) and voice payloads.
void SplitDeviceStream(const std::vector<uint8_t>& s, std::vector<std::vector<uint8_t>>& video,
                       std::vector<std::vector<uint8_t>>& voice,
                       std::vector<DeviceFrameHeader>* headers = nullptr)
{
    size_t at = 0;
    while (at < s.size()) {
        DeviceFrameHeader h;
        ASSERT_TRUE(ReadDeviceFrameHeader(std::span<const uint8_t>(s).subspan(at), h))
            << "at " << at;
        ASSERT_GE(h.PayloadLength(), 0);
        ASSERT_LE(at + static_cast<size_t>(h.totalLength), s.size());
        std::vector<uint8_t> payload(s.begin() + static_cast<ptrdiff_t>(at + h.HeaderSize()),
                                     s.begin() + static_cast<ptrdiff_t>(at + h.totalLength));
        (h.voice ? voice : video).push_back(std::move(payload));
        if (headers)
            headers->push_back(h);
        at += static_cast<size_t>(h.totalLength);
    }
}

// Decodes the pictures of a stream of this kind; the picture count must be kFrames.
void DecodeAllPictures(SimKind kind, const std::vector<uint8_t>& s, int width, int height)
{
    Decoded d;
    switch (kind) {
    case SimKind::Device40:
    case SimKind::Device36:
    case SimKind::DeviceFieldD1: {
        std::vector<std::vector<uint8_t>> video, voice;
        SplitDeviceStream(s, video, voice);
        ASSERT_EQ(video.size(), static_cast<size_t>(kFrames));
        d = devsimtest::DecodePackets("h264", video);
        break;
    }
    case SimKind::Jp2kFields: {
        std::vector<std::vector<uint8_t>> fields;
        size_t at = 0;
        while (at + kJP2KFieldHeaderSize <= s.size()) {
            JP2KFieldHeader h;
            ASSERT_TRUE(ReadJP2KFieldHeader(std::span<const uint8_t>(s).subspan(at), h));
            fields.emplace_back(
                s.begin() + static_cast<ptrdiff_t>(at + kJP2KFieldHeaderSize),
                s.begin() + static_cast<ptrdiff_t>(at + kJP2KFieldHeaderSize + h.codestreamLength));
            at += kJP2KFieldHeaderSize + h.codestreamLength;
        }
        ASSERT_EQ(at, s.size());
        ASSERT_EQ(fields.size(), 2u * kFrames);
        d = devsimtest::DecodePackets("jpeg2000", fields);
        EXPECT_EQ(d.pictures, 2 * kFrames);
        EXPECT_EQ(d.width, width);
        EXPECT_EQ(d.height, height / 2);
        EXPECT_EQ(d.errors, 0);
        return;
    }
    case SimKind::QBoxH264: {
        std::vector<uint8_t> es;
        QBoxWalker walker(s);
        QBoxRef box;
        while (walker.Next(box)) {
            size_t off = 0, len = 0;
            if (IsQBoxH264Stream(box.header.streamType) &&
                LocateQBoxMedia(box.header, box.bytes, off, len))
                AppendNalUnitsAsStartCodes(box.bytes.subspan(off, len), es);
        }
        d = devsimtest::DecodeElementary("h264", es);
        break;
    }
    case SimKind::QBoxMjpeg:
    case SimKind::QBoxMjpegInterlaced: {
        std::vector<std::vector<uint8_t>> jpegs;
        QBoxWalker walker(s);
        QBoxRef box;
        while (walker.Next(box)) {
            size_t off = 0, len = 0;
            ASSERT_TRUE(LocateQBoxMedia(box.header, box.bytes, off, len));
            ASSERT_EQ(box.header.streamType, kQBoxStreamJpeg);
            const auto media = box.bytes.subspan(off, len);
            // An interlaced box holds two pictures: split at the second SOI.
            size_t cut = len;
            for (size_t i = 2; kind == SimKind::QBoxMjpegInterlaced && i + 3 < len; ++i)
                if (media[i] == 0xFF && media[i + 1] == 0xD8 && media[i - 2] == 0xFF &&
                    media[i - 1] == 0xD9) {
                    cut = i;
                    break;
                }
            jpegs.emplace_back(media.begin(), media.begin() + static_cast<ptrdiff_t>(cut));
            if (cut < len)
                jpegs.emplace_back(media.begin() + static_cast<ptrdiff_t>(cut), media.end());
        }
        const int perFrame = kind == SimKind::QBoxMjpegInterlaced ? 2 : 1;
        ASSERT_EQ(jpegs.size(), static_cast<size_t>(perFrame * kFrames));
        d = devsimtest::DecodePackets("mjpeg", jpegs);
        EXPECT_EQ(d.pictures, perFrame * kFrames);
        EXPECT_EQ(d.width, width);
        EXPECT_EQ(d.height, height / perFrame);
        EXPECT_EQ(d.errors, 0);
        return;
    }
    default: {
        std::vector<uint8_t> es = s;
        if (IsTs(kind)) {
            TSParser ts;
            ASSERT_EQ(ts.InitParser(s.data(), s.size()), 0);
            ASSERT_TRUE(ts.FindProgram());
            ASSERT_TRUE(ts.ReassembleSpan());
            es.assign(ts.Payload().begin(), ts.Payload().end());
        }
        const bool mpeg2 = kind == SimKind::TsMpeg2 || kind == SimKind::EsMpeg2;
        const bool mpeg4 = kind == SimKind::TsMpeg4 || kind == SimKind::EsMpeg4;
        d = devsimtest::DecodeElementary(mpeg2 ? "mpeg2video" : mpeg4 ? "mpeg4" : "h264", es);
        break;
    }
    }
    EXPECT_EQ(d.pictures, kFrames);
    EXPECT_EQ(d.width, width);
    EXPECT_EQ(d.height, height);
    EXPECT_EQ(d.errors, 0);
}

class DevSimKinds : public ::testing::TestWithParam<KindCase> {};

TEST_P(DevSimKinds, DetectedDescribedAndDecoded)
{
    const KindCase& c = GetParam();
    GeneratorConfig config = ConfigFor(c);
    CStreamGenerator probe;
    ASSERT_TRUE(probe.Open(config)) << probe.Error();
    const int width = probe.Width(), height = probe.Height();
    const std::vector<uint8_t> s = devsimtest::Generate(config, kFrames);
    ASSERT_FALSE(s.empty());

    StreamKinds kinds;
    TSParser ts;
    DetectStream(s, kinds, ts);
    EXPECT_EQ(kinds.codecKind, c.codecKind);
    EXPECT_EQ(kinds.containerKind, c.containerKind);

    // Geometry as the splitter takes it: the sequence header from the buffered
    // bytes (transport streams: from the video PID's payload), then StreamInfo.
    std::vector<uint8_t> buffered = s;
    if (IsTs(c.kind)) {
        ASSERT_TRUE(ts.ReassembleSpan());
        buffered.assign(ts.Payload().begin(), ts.Payload().end());
    }
    uint8_t header[kSequenceHeaderCapacity];
    const size_t n = ExtractSequenceHeader(
        buffered, kinds.codecKind, IsTs(c.kind) ? ContainerRaw : kinds.containerKind, header);
    ASSERT_GT(n, 0u);
    StreamFormat format;
    ASSERT_TRUE(DescribeStream(buffered, kinds.codecKind,
                               IsTs(c.kind) ? ContainerRaw : kinds.containerKind,
                               std::span<const uint8_t>(header, n), format));
    EXPECT_EQ(format.width, c.expectWidth);
    EXPECT_EQ(format.height, c.expectHeight);

    DecodeAllPictures(c.kind, s, width, height);
}

INSTANTIATE_TEST_SUITE_P(EveryKind, DevSimKinds, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<KindCase>& info) {
                             std::string name = KindName(info.param.kind);
                             for (char& ch : name)
                                 if (ch == '-')
                                     ch = '_';
                             return name;
                         });

// The field-coded D1 stream: every key picture is two field slices that
// libavcodec decodes into the exact 704 x 576 test pattern wherever it is coded
// as I_PCM, and the flat macroblocks predict exact mid-grey.
TEST(DevSimFieldD1, KeyPictureDecodesToThePattern)
{
    GeneratorConfig config;
    config.kind = SimKind::DeviceFieldD1;
    config.gop = 1;
    config.audio = false;
    const std::vector<uint8_t> s = devsimtest::Generate(config, 1);
    std::vector<std::vector<uint8_t>> video, voice;
    SplitDeviceStream(s, video, voice);
    ASSERT_EQ(video.size(), 1u);
    // Two slices with field_pic_flag: look at the NAL types in order.
    std::vector<int> types;
    for (size_t i = 0; i + 4 < video[0].size(); ++i)
        if (video[0][i] == 0 && video[0][i + 1] == 0 && video[0][i + 2] == 1)
            types.push_back(video[0][i + 3] & 31);
    EXPECT_EQ(types, (std::vector<int>{7, 8, 5, 1}));
    int width = 0, height = 0;
    const std::vector<uint8_t> luma = devsimtest::DecodeFirstLuma("h264", video, width, height);
    ASSERT_EQ(width, 704);
    ASSERT_EQ(height, 576);
    YuvPicture pattern;
    DrawTestPattern(pattern, 704, 576, 0, true);
    // I_PCM stores the samples as they are (0 is raised to 1); flat grey is predicted.
    size_t differing = 0;
    for (size_t i = 0; i < luma.size(); ++i)
        differing += luma[i] != std::max<uint8_t>(1, pattern.y[i]) ? 1 : 0;
    EXPECT_EQ(luma.size(), pattern.y.size());
    EXPECT_EQ(differing, 0u);
}

// The luma of the first picture of a device H.264 stream of the given size,
// encoded and decoded again.
std::vector<uint8_t> FirstDeviceLuma(int w, int h, int& width, int& height)
{
    GeneratorConfig config;
    config.kind = SimKind::Device40;
    config.width = w;
    config.height = h;
    config.audio = false;
    const std::vector<uint8_t> s = devsimtest::Generate(config, 1);
    std::vector<std::vector<uint8_t>> video, voice;
    SplitDeviceStream(s, video, voice);
    return devsimtest::DecodeFirstLuma("h264", video, width, height);
}

// libx264 pictures carry the pattern: the first decoded picture is close to the
// drawing (a PSNR above 30 dB on luma).
TEST(DevSimPattern, EncodedPicturesResembleTheDrawing)
{
    int width = 0, height = 0;
    const std::vector<uint8_t> luma = FirstDeviceLuma(176, 144, width, height);
    YuvPicture pattern;
    DrawTestPattern(pattern, 176, 144, 0, false);
    ASSERT_EQ(luma.size(), pattern.y.size());
    double se = 0;
    for (size_t i = 0; i < luma.size(); ++i)
        se += (luma[i] - pattern.y[i]) * (luma[i] - pattern.y[i]);
    const double mse = se / static_cast<double>(luma.size());
    EXPECT_GT(10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-9)), 30.0);
    // A later frame shows a different number: the pattern moves.
    YuvPicture later;
    DrawTestPattern(later, 176, 144, 1, false);
    EXPECT_NE(later.y, pattern.y);
}

// The frame number reads back from the drawing, from the drawing shown at half
// its size (a camera-wall tile), and from an encoded and decoded picture; a
// picture without the pattern, or too small for its digits (where the
// drawing leaves out what falls outside), reads as -1.
TEST(DevSimPattern, FrameNumbersReadBack)
{
    struct Case {
        int width, height;
        int64_t frame;
        bool sparse;
        int64_t want;
    };
    const Case cases[] = {
        {1920, 1080, 0, false, 0},
        {1920, 1080, 123456, false, 123456},
        {1920, 1080, 1000007, false, 7},
        {704, 576, 42, true, 42},
        {352, 288, 999999, false, 999999},
        {176, 144, 9, false, 9},
        {16, 16, 5, false, -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << "x" << c.height << " frame " << c.frame);
        YuvPicture p;
        DrawTestPattern(p, c.width, c.height, c.frame, c.sparse);
        const auto full = [&](int x, int y) {
            return int(p.y[size_t(y) * size_t(c.width) + size_t(x)]);
        };
        EXPECT_EQ(c.want, ReadFrameNumber(c.width, c.height, full));
        // Half size: each shown pixel the mean of the 2 x 2 it stands for.
        const int hw = c.width / 2;
        std::vector<int> half(size_t(hw) * size_t(c.height / 2));
        for (int y = 0; y < c.height / 2; ++y)
            for (int x = 0; x < hw; ++x)
                half[size_t(y) * size_t(hw) + size_t(x)] =
                    (full(2 * x, 2 * y) + full(2 * x + 1, 2 * y) + full(2 * x, 2 * y + 1) +
                     full(2 * x + 1, 2 * y + 1) + 2) /
                    4;
        // (Where a segment stays at least two shown pixels thick.)
        if (c.width >= 352) {
            EXPECT_EQ(c.want, ReadFrameNumber(c.width, c.height, [&](int x, int y) {
                          return half[size_t(y / 2) * size_t(hw) + size_t(x / 2)];
                      }));
        }
    }
    const auto grey = [](int, int) { return 128; };
    EXPECT_EQ(-1, ReadFrameNumber(1920, 1080, grey));

    int width = 0, height = 0;
    const std::vector<uint8_t> luma = FirstDeviceLuma(352, 288, width, height);
    ASSERT_EQ(size_t(352 * 288), luma.size());
    EXPECT_EQ(0, ReadFrameNumber(width, height, [&](int x, int y) {
                  return int(luma[size_t(y) * size_t(width) + size_t(x)]);
              }));
}

// Voice frames: interleaved by time, each with a valid voice frame header, and
// libavcodec turns the codec bytes of each into the samples the header states.
TEST(DevSimVoice, EveryCodecDecodesToItsSampleCount)
{
    struct Case {
        VoiceCodec codec;
        const char* decoder;
    };
    for (Case vc : {Case{VoiceCodec::MuLaw, "pcm_mulaw"}, Case{VoiceCodec::ALaw, "pcm_alaw"},
                    Case{VoiceCodec::ImaAdpcm, "adpcm_ima_wav"}}) {
        SCOPED_TRACE(vc.decoder);
        GeneratorConfig config;
        config.kind = SimKind::Device36;
        config.width = 176;
        config.height = 144;
        config.voiceCodec = vc.codec;
        const std::vector<uint8_t> s = devsimtest::Generate(config, 25); // one second
        std::vector<std::vector<uint8_t>> video, voice;
        std::vector<DeviceFrameHeader> headers;
        SplitDeviceStream(s, video, voice, &headers);
        ASSERT_FALSE(voice.empty());
        int64_t stated = 0;
        uint16_t expectSeq = 0;
        int64_t lastTime = -1;
        for (const DeviceFrameHeader& h : headers) {
            const int64_t t = int64_t{h.captureSeconds} * 1000000 + h.captureMicros;
            EXPECT_GE(t, lastTime); // audio and video in time order
            lastTime = t;
        }
        for (const auto& payload : voice) {
            VoiceFrameInfo info;
            std::span<const uint8_t> data;
            ASSERT_TRUE(ReadVoiceFrame(payload, info, &data));
            EXPECT_EQ(info.codec, vc.codec);
            EXPECT_EQ(info.sequence, expectSeq++);
            EXPECT_EQ(payload.size(), kVoiceFrameHeaderSize + info.dataLength);
            stated += info.samples;
        }
        // About one second of 8 kHz sound up to the last video frame.
        EXPECT_GT(stated, 7000);
        EXPECT_LT(stated, 8800);
        int64_t decoded = 0;
        for (const auto& payload : voice) {
            VoiceFrameInfo info;
            std::span<const uint8_t> data;
            ASSERT_TRUE(ReadVoiceFrame(payload, info, &data));
            // Each frame on its own, as the voice decoder takes them.
            const Decoded d = devsimtest::DecodeVoice(vc.decoder, data);
            EXPECT_EQ(d.errors, 0);
            EXPECT_EQ(d.samples, info.samples);
            decoded += d.samples;
        }
        EXPECT_EQ(decoded, stated);
    }
}

// A 40-byte header counts at most 65535 bytes: a larger picture goes out in
// consecutive frames whose payloads join into one decodable byte stream.
TEST(DevSimDevice, LargePicturesSpanSeveral40ByteFrames)
{
    GeneratorConfig config;
    config.kind = SimKind::Device40;
    config.width = 704;
    config.height = 576;
    config.gop = 1;
    config.bitrateKbps = 60000; // about 300 KB per key picture
    config.audio = false;
    const std::vector<uint8_t> s = devsimtest::Generate(config, 3);
    std::vector<std::vector<uint8_t>> video, voice;
    std::vector<DeviceFrameHeader> headers;
    SplitDeviceStream(s, video, voice, &headers);
    EXPECT_GT(video.size(), 3u);
    std::vector<uint8_t> es;
    for (const auto& v : video)
        es.insert(es.end(), v.begin(), v.end());
    const Decoded d = devsimtest::DecodeElementary("h264", es);
    EXPECT_EQ(d.pictures, 3);
    EXPECT_EQ(d.errors, 0);
}

// The 36-byte headers of the frame-queue generation carry the frame type.
TEST(DevSimDevice, FrameTypesInThe36ByteHeader)
{
    GeneratorConfig config;
    config.kind = SimKind::Device36;
    config.width = 64;
    config.height = 64;
    config.gop = 3;
    config.audio = false;
    config.frameTypesInHeader = true;
    const std::vector<uint8_t> s = devsimtest::Generate(config, 6);
    std::vector<std::vector<uint8_t>> video, voice;
    std::vector<DeviceFrameHeader> headers;
    SplitDeviceStream(s, video, voice, &headers);
    ASSERT_EQ(headers.size(), 6u);
    for (size_t i = 0; i < headers.size(); ++i)
        EXPECT_EQ(headers[i].frameType, i % 3 == 0 ? 1 : 2) << i;
}

// QBox audio: AAC boxes with a "qmed" header that the formats code turns into
// ADTS frames, which libavcodec decodes to 48 kHz stereo.
TEST(DevSimAac, BoxesBecomeDecodableAdts)
{
    GeneratorConfig config;
    config.kind = SimKind::QBoxH264;
    config.width = 320;
    config.height = 180;
    const std::vector<uint8_t> s = devsimtest::Generate(config, 25);
    std::vector<uint8_t> adts;
    int boxes = 0;
    QBoxWalker walker(s);
    QBoxRef box;
    while (walker.Next(box)) {
        if (box.header.streamType != kQBoxStreamAac)
            continue;
        ++boxes;
        ASSERT_TRUE(AppendQBoxAacAsAdts(box, adts));
    }
    // 1 s at 48 kHz in 1024-sample frames.
    EXPECT_GE(boxes, 45);
    const Decoded d = devsimtest::DecodeElementary("aac", adts);
    EXPECT_EQ(d.errors, 0);
    EXPECT_EQ(d.sampleRate, 48000);
    EXPECT_EQ(d.channels, 2);
    EXPECT_EQ(d.samples, int64_t{boxes} * 1024);
}

// JPEG 2000 headers: frame numbers equal in both fields and counting up,
// second-field bit on the second, capture times one frame apart.
TEST(DevSimJp2k, FieldHeadersNumberAndTimeTheFrames)
{
    GeneratorConfig config;
    config.kind = SimKind::Jp2kFields;
    config.width = 64;
    config.height = 64;
    config.frameRate = 25;
    const std::vector<uint8_t> s = devsimtest::Generate(config, 4);
    size_t at = 0;
    std::vector<JP2KFieldHeader> fields;
    while (at < s.size()) {
        JP2KFieldHeader h;
        ASSERT_TRUE(ReadJP2KFieldHeader(std::span<const uint8_t>(s).subspan(at), h));
        EXPECT_EQ(IsJP2KFirstFieldStart(std::span<const uint8_t>(s).subspan(at)),
                  fields.size() % 2 == 0);
        fields.push_back(h);
        at += kJP2KFieldHeaderSize + h.codestreamLength;
    }
    ASSERT_EQ(fields.size(), 8u);
    for (size_t i = 0; i < fields.size(); ++i) {
        EXPECT_EQ(fields[i].frameNumber, i / 2);
        EXPECT_EQ(fields[i].secondField, i % 2 == 1);
        EXPECT_EQ(fields[i].frameRate, 25);
        EXPECT_EQ(fields[i].CaptureTimeUs(),
                  fields[0].CaptureTimeUs() + static_cast<int64_t>(i / 2) * 40000);
    }
}

TEST(DevSimKindNames, EveryKindHasANameAndARecordExtension)
{
    for (SimKind k : kAllKinds) {
        SimKind parsed{};
        ASSERT_TRUE(ParseKind(KindName(k), parsed));
        EXPECT_EQ(parsed, k);
        const std::string ext = RecordExtension(k);
        EXPECT_TRUE(ext == ".tvx" || ext == ".tvx2" || ext == ".tvx4" || ext == ".t264" ||
                    ext == ".tmj2" || ext == ".tavc")
            << ext;
    }
    SimKind k{};
    EXPECT_FALSE(ParseKind("dev41", k));
    EXPECT_EQ(CDeviceSimulator::RecordPathFor("/x/clip", SimKind::Jp2kFields), "/x/clip.tmj2");
    EXPECT_EQ(CDeviceSimulator::RecordPathFor("/x/clip.tvx", SimKind::EsMpeg2), "/x/clip.tvx2");
    EXPECT_EQ(CDeviceSimulator::RecordPathFor("/x/clip.tvx2", SimKind::EsMpeg2), "/x/clip.tvx2");
    EXPECT_EQ(CDeviceSimulator::RecordPathFor("/x/clip.bin", SimKind::Device40), "/x/clip.bin.tvx");
}

} // namespace
