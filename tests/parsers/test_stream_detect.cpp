#include "StreamBuilders.h"

#include "CodecKind.h"
#include "ContainerKind.h"
#include "QBox.h"
#include "StreamDetect.h"
#include "TsWriter.h"
#include "win32/trace.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Filler(size_t n)
{
    return Bytes(n, 0x80);
}

// A word that passes the time-code test when shifted right by `shift`.
uint32_t TimeCodeWord(int shift, bool valid)
{
    uint32_t code = (12u << 13) | (34u << 7) | (1u << 6) | 56u;
    if (!valid)
        code &= ~(1u << 6); // marker bit clear
    return code << shift;
}

Bytes StartCodeWith(uint8_t code, uint32_t next)
{
    Bytes b = {0, 0, 1, code, 0, 0, 0, 0};
    WriteBE32(&b[4], next);
    return b;
}

TEST(TimeCodeTest, EachFieldLimit)
{
    uint32_t good = (23u << 13) | (59u << 7) | (1u << 6) | 59u;
    EXPECT_TRUE(PassesTimeCodeTest(good));
    EXPECT_FALSE(PassesTimeCodeTest(good + (1u << 13)));      // hour 24
    EXPECT_FALSE(PassesTimeCodeTest((60u << 7) | (1u << 6))); // minute 60
    EXPECT_FALSE(PassesTimeCodeTest((1u << 6) | 60u));        // second 60
    EXPECT_FALSE(PassesTimeCodeTest(good & ~(1u << 6)));      // marker
    EXPECT_TRUE(PassesTimeCodeTest(1u << 6));
}

TEST(StreamScoring, CountsEachMark)
{
    Bytes b;
    Append(b, StartCodeWith(0xB3, TimeCodeWord(14, true)));           // S+1, V+1
    Append(b, StartCodeWith(0xB3, TimeCodeWord(14, false)));          // S+1
    Append(b, StartCodeWith(0xB8, TimeCodeWord(13, true)));           // S+2
    Append(b, StartCodeWith(0xB8, TimeCodeWord(13, false)));          // nothing
    Append(b, Bytes{0, 0, 1, 0xB6, 0x40});                            // V+1
    Append(b, Bytes{0, 0, 1, 0x67, 77});                              // B+5
    Append(b, Bytes{0, 0, 1, 0x27, 88});                              // B+5
    Append(b, Bytes{0, 0, 1, 0x67, 100});                             // H+5
    Append(b, Bytes{0, 0, 1, 0x07, 66});                              // n <= 32: nothing
    Append(b, Bytes{0, 0, 1, 0x47, 66});                              // n == 0x47: nothing
    Append(b, Bytes{0, 0, 1, 0xE7, 66});                              // bit 7 set: nothing
    Append(b, Bytes{0, 0, 1, 0x67, 99});                              // other profile: nothing
    Append(b, Bytes{0xFF, 0x4F, 0xFF, 0x51, 0xFF, 0x4F, 0xFF, 0x51}); // J+2
    StreamScores s = ScoreStream(b);
    EXPECT_EQ(s.S, 4);
    EXPECT_EQ(s.V, 2);
    EXPECT_EQ(s.B, 10);
    EXPECT_EQ(s.H, 5);
    EXPECT_EQ(s.J, 2);
}

TEST(StreamScoring, MarksCutByTheBufferEnd)
{
    // A B3 whose next word is missing counts for S only; an SPS without its profile byte nothing.
    StreamScores s = ScoreStream(Bytes{0, 0, 1, 0xB3, 0x00, 0x00});
    EXPECT_EQ(s.S, 1);
    EXPECT_EQ(s.V, 0);
    s = ScoreStream(Bytes{0, 0, 1, 0x67});
    EXPECT_EQ(s.B + s.H, 0);
    s = ScoreStream(Bytes{0xFF, 0x4F, 0xFF});
    EXPECT_EQ(s.J, 0);
}

TEST(StreamScoring, DecisionOrder)
{
    auto kind = [](int64_t S, int64_t V, int64_t B, int64_t J, int64_t H) {
        return DecideCodecKind(StreamScores{S, V, B, J, H});
    };
    EXPECT_EQ(kind(0, 0, 0, 0, 0), CodecUnknown);
    EXPECT_EQ(kind(5, 5, 5, 5, 5), CodecUnknown); // nothing reaches 6
    EXPECT_EQ(kind(0, 0, 0, 6, 0), CodecJP2K);    // six SOC/SIZ words
    EXPECT_EQ(kind(0, 0, 0, 0, 25), CodecHDH264); // five High-profile SPS
    EXPECT_EQ(kind(0, 0, 25, 0, 0), CodecDeviceH264);
    EXPECT_EQ(kind(0, 6, 0, 0, 0), CodecMpeg4);
    EXPECT_EQ(kind(6, 0, 0, 0, 0), CodecMpeg2);
    EXPECT_EQ(kind(6, 6, 0, 0, 0), CodecMpeg2);        // V must beat S'
    EXPECT_EQ(kind(0, 0, 10, 0, 10), CodecDeviceH264); // H must beat B; B beats S'=5
    EXPECT_EQ(kind(0, 0, 10, 10, 0), CodecDeviceH264); // J must beat B
    EXPECT_EQ(kind(0, 10, 10, 0, 0), CodecMpeg4);      // B must beat V; V beats S'
    EXPECT_EQ(kind(0, 10, 11, 0, 0), CodecDeviceH264);
    EXPECT_EQ(kind(7, 7, 7, 7, 7), CodecMpeg2);
    EXPECT_EQ(kind(3, 6, 0, 0, 0), CodecMpeg4); // S' = 5
}

// At the end of a stream the floor and the 6 to reach fall away, the order
// stays; what the live decision finds is kept.
TEST(StreamScoring, DecisionAtTheEndOfAStream)
{
    struct Case {
        StreamScores scores; // S, V, B, J, H
        int32_t kind;
    };
    const Case cases[] = {
        {{0, 0, 0, 0, 0}, CodecUnknown},
        {{0, 0, 5, 0, 0}, CodecDeviceH264}, // one Baseline SPS
        {{0, 0, 0, 0, 5}, CodecHDH264},     // one High-profile SPS
        {{0, 0, 5, 0, 5}, CodecDeviceH264}, // H must beat B
        {{0, 0, 0, 2, 0}, CodecJP2K},
        {{0, 0, 5, 5, 0}, CodecDeviceH264}, // J must beat B
        {{0, 1, 0, 0, 0}, CodecMpeg4},
        {{1, 1, 0, 0, 0}, CodecMpeg2}, // V must beat S
        {{3, 0, 0, 0, 0}, CodecMpeg2}, // a sequence header and a picture group
        {{3, 1, 5, 0, 0}, CodecDeviceH264},
        {{0, 6, 0, 0, 0}, CodecMpeg4}, // as the live decision
        {{7, 7, 7, 7, 7}, CodecMpeg2}, // as the live decision
        {{3, 6, 0, 0, 0}, CodecMpeg4}, // as the live decision (S' = 5)
        {{0, 0, 10, 0, 10}, CodecDeviceH264},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "S " << c.scores.S << " V " << c.scores.V << " B " << c.scores.B << " J "
                     << c.scores.J << " H " << c.scores.H);
        EXPECT_EQ(DecideCodecKind(c.scores, true), c.kind);
    }
}

TEST(StreamDetection, OneSequenceHeaderTellsTheKindOnlyAtTheStreamsEnd)
{
    Bytes h264;
    Append(h264, BuildSps({}));
    Append(h264, Nal(0x68, 4));
    Append(h264, Nal(0x65, 300));
    Bytes mpeg2 = BuildMpeg2SequenceHeader(720, 576, 3);
    Append(mpeg2, Filler(200));
    const struct {
        const char* name;
        const Bytes& bytes;
        int32_t kind;
    } cases[] = {{"H.264", h264, CodecDeviceH264}, {"MPEG-2", mpeg2, CodecMpeg2}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TSParser ts;
        StreamKinds live;
        DetectStream(c.bytes, live, ts);
        EXPECT_EQ(live.codecKind, CodecUnknown); // more may come
        StreamKinds end;
        DetectStream(c.bytes, end, ts, true);
        EXPECT_EQ(end.codecKind, c.kind);
        EXPECT_EQ(end.containerKind, 0);
    }
}

TEST(StreamDetection, SixJpeg2000CodestreamStartsGiveKind4)
{
    Bytes b;
    for (int i = 0; i < 6; ++i) {
        Append(b, BuildJ2KCodestream(704, 576, 300));
        Append(b, Filler(100));
    }
    StreamKinds k;
    TSParser ts;
    DetectStream(b, k, ts);
    EXPECT_EQ(k.codecKind, CodecJP2K);
    EXPECT_EQ(k.containerKind, 0);

    // Five are not enough.
    Bytes five(b.begin(), b.begin() + 5 * 400);
    StreamKinds k5;
    DetectStream(five, k5, ts);
    EXPECT_EQ(k5.codecKind, CodecUnknown);
}

TEST(StreamDetection, DetectionIsTracedOnTheParsersChannel)
{
    Bytes b;
    for (int i = 0; i < 6; ++i) {
        Append(b, BuildJ2KCodestream(704, 576, 300));
        Append(b, Filler(100));
    }
    const auto detect = [&] {
        StreamKinds k;
        TSParser ts;
        DetectStream(b, k, ts);
    };
    const std::string n = std::to_string(b.size());
    EXPECT_EQ(TvTraceCapture("parsers", detect),
              (std::vector<std::string>{
                  "parsers: TSParser::InitParser(" + n + " bytes) -> 0: 188-byte packets",
                  "parsers: TSParser::FindProgram() over " + n +
                      " bytes -> false: 0 program maps, video PID -1, codec 0",
                  "parsers: DetectStream(" + n +
                      " bytes, codec 0, container 0) -> codec 4, container 0"}));
    EXPECT_TRUE(TvTraceCapture("processor", detect).empty());
}

TEST(StreamDetection, FiveHighProfileSpsGiveKind6)
{
    Bytes b;
    SpsFields f;
    f.profile = 100;
    for (int i = 0; i < 5; ++i) {
        Append(b, BuildSps(f));
        Append(b, Filler(64));
    }
    StreamKinds k;
    TSParser ts;
    DetectStream(b, k, ts);
    EXPECT_EQ(ScoreStream(b).H, 25);
    EXPECT_EQ(k.codecKind, CodecHDH264);
}

TEST(StreamDetection, BaselineSpsGiveKind3AndMpegStreamsTheirKinds)
{
    Bytes h264;
    for (int i = 0; i < 2; ++i) {
        Append(h264, BuildSps({}));
        Append(h264, Nal(0x68, 4));
        Append(h264, Nal(0x65, 300));
    }
    StreamKinds k;
    TSParser ts;
    DetectStream(h264, k, ts);
    EXPECT_EQ(k.codecKind, CodecDeviceH264);

    Bytes mpeg2;
    for (int i = 0; i < 3; ++i) {
        Append(mpeg2, BuildMpeg2SequenceHeader(720, 576, 3));
        Append(mpeg2, StartCodeWith(0xB8, TimeCodeWord(13, true)));
        Append(mpeg2, Filler(200));
    }
    StreamKinds k2;
    DetectStream(mpeg2, k2, ts);
    EXPECT_EQ(k2.codecKind, CodecMpeg2);

    Bytes mpeg4 = BuildVol({});
    for (int i = 0; i < 6; ++i) {
        Append(mpeg4, Bytes{0, 0, 1, 0xB6, 0x40});
        Append(mpeg4, Filler(200));
    }
    StreamKinds k4;
    DetectStream(mpeg4, k4, ts);
    EXPECT_EQ(k4.codecKind, CodecMpeg4);
}

Bytes QBoxStream(uint16_t type, int boxes, size_t payload)
{
    Bytes b;
    QBoxFields f;
    f.streamType = type;
    for (int i = 0; i < boxes; ++i)
        EXPECT_TRUE(AppendQBox(b, f, Bytes(payload, 0x33)));
    return b;
}

TEST(StreamDetection, QBoxTest)
{
    TSParser ts;
    StreamKinds k;
    DetectStream(QBoxStream(kQBoxStreamH264, 3, 50), k, ts);
    EXPECT_EQ(k.containerKind, ContainerQBox);
    EXPECT_EQ(k.codecKind, CodecHDH264);

    k = {};
    DetectStream(QBoxStream(kQBoxStreamH264Alt, 1, 0), k, ts);
    EXPECT_EQ(k.codecKind, CodecHDH264);

    k = {};
    DetectStream(QBoxStream(kQBoxStreamJpeg, 2, 10), k, ts);
    EXPECT_EQ(k.containerKind, ContainerQBox);
    EXPECT_EQ(k.codecKind, CodecMjpeg);

    // Audio boxes alone fix the container only.
    k = {};
    DetectStream(QBoxStream(kQBoxStreamAac, 2, 10), k, ts);
    EXPECT_EQ(k.containerKind, ContainerQBox);
    EXPECT_EQ(k.codecKind, CodecUnknown);

    // A box whose header is not all buffered is not looked at.
    Bytes cut = QBoxStream(kQBoxStreamJpeg, 1, 10);
    cut.resize(27);
    k = {};
    DetectQBox(cut, k);
    EXPECT_EQ(k.containerKind, 0);
    // A "qbox" at offset 0 has no size in front of it.
    Bytes early = {'q', 'b', 'o', 'x'};
    early.resize(64, 0);
    DetectQBox(early, k);
    EXPECT_EQ(k.containerKind, 0);
}

TEST(StreamDetection, QBoxWalkFollowsSizesAndStopsAtBadOnes)
{
    // An audio box, then a JPEG box: the second is found through the first's size,
    // also when that size is not a multiple of 4 (padding bytes in between).
    Bytes b;
    QBoxFields audio;
    audio.streamType = kQBoxStreamAac;
    ASSERT_TRUE(AppendQBox(b, audio, Bytes(13, 0)));
    b.insert(b.end(), 3, 0);
    QBoxFields jpeg;
    jpeg.streamType = kQBoxStreamJpeg;
    ASSERT_TRUE(AppendQBox(b, jpeg, Bytes(20, 0)));
    StreamKinds k;
    DetectQBox(b, k);
    EXPECT_EQ(k.codecKind, CodecMjpeg);

    // Size with bit 31 set: the walk stops after that box.
    Bytes top = b;
    top[0] |= 0x80;
    k = {};
    DetectQBox(top, k);
    EXPECT_EQ(k.containerKind, ContainerQBox);
    EXPECT_EQ(k.codecKind, CodecUnknown);
    // Size 0 stops it as well.
    Bytes zero = b;
    WriteBE32(zero.data(), 0);
    k = {};
    DetectQBox(zero, k);
    EXPECT_EQ(k.codecKind, CodecUnknown);
}

Bytes TransportStream(size_t packetSize, uint8_t streamType, int extraPrograms = 0)
{
    TsWriter w(packetSize);
    Bytes out;
    std::vector<TsProgram> programs;
    for (int i = 0; i < extraPrograms; ++i)
        programs.push_back({static_cast<uint16_t>(10 + i), static_cast<uint16_t>(0x200 + i)});
    programs.push_back({1, 0x1000});
    w.AppendSection(out, 0, BuildPatSection(programs));
    TsElementaryStream audio{0x0F, 0x101};
    TsElementaryStream video{streamType, 0x100};
    TsElementaryStream streams[] = {audio, video};
    w.AppendSection(out, 0x1000, BuildPmtSection(1, 0x100, streams));
    for (int i = 0; i < 6; ++i)
        w.AppendPes(out, 0x100, Bytes(300, 0x10));
    return out;
}

TEST(StreamDetection, TransportStreams)
{
    TSParser ts;
    const std::pair<uint8_t, int32_t> types[] = {
        {2, CodecMpeg2}, {16, CodecMpeg4}, {27, CodecDeviceH264}};
    for (auto [type, kind] : types) {
        StreamKinds k;
        DetectStream(TransportStream(188, type), k, ts);
        EXPECT_EQ(k.containerKind, ContainerTransport) << int(type);
        EXPECT_EQ(k.codecKind, kind) << int(type);
        EXPECT_EQ(ts.VideoPid(), 0x100);
    }
    // 192-byte packets are HD H.264 whatever the PMT lists.
    for (auto [type, kind] : types) {
        StreamKinds k;
        TSParser fresh;
        DetectStream(TransportStream(192, type), k, fresh);
        EXPECT_EQ(k.containerKind, ContainerTransport);
        EXPECT_EQ(k.codecKind, CodecHDH264) << int(kind);
        EXPECT_EQ(fresh.PacketSize(), 192u);
    }
    // An unknown video type leaves the stream to the scoring.
    StreamKinds k;
    TSParser fresh;
    DetectStream(TransportStream(188, 0x24), k, fresh);
    EXPECT_EQ(k.containerKind, 0);
    EXPECT_EQ(fresh.VideoPid(), -1);
}

TEST(StreamDetection, TenMegabytesOfRandomBytesStayUnknown)
{
    std::mt19937 rng(1234);
    Bytes b(10 * 1024 * 1024);
    for (auto& x : b)
        x = static_cast<uint8_t>(rng());
    StreamKinds k;
    TSParser ts;
    DetectStream(b, k, ts);
    EXPECT_EQ(k.codecKind, CodecUnknown);
    EXPECT_EQ(k.containerKind, 0);
    EXPECT_EQ(ScoreStream(b).J, 0);
    // Not even as a whole file.
    StreamKinds whole;
    DetectStream(b, whole, ts, true);
    EXPECT_EQ(whole.codecKind, CodecUnknown);
}

} // namespace
