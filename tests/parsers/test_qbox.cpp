#include "StreamBuilders.h"

#include "Adts.h"
#include "QBox.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes LengthPrefixed(std::initializer_list<Bytes> units)
{
    Bytes out;
    for (const Bytes& u : units) {
        Bytes len(4);
        WriteBE32(len.data(), static_cast<uint32_t>(u.size()));
        Append(out, len);
        Append(out, u);
    }
    return out;
}

TEST(QBoxWalker, FollowsSizesIncludingOnesNotAMultipleOfFour)
{
    Bytes b(5, 0xEE); // junk before the first box
    QBoxFields f;
    f.streamType = kQBoxStreamH264;
    ASSERT_TRUE(AppendQBox(b, f, Bytes(13, 1))); // size 41
    b.insert(b.end(), 3, 0);                     // padding to a multiple of 4
    f.streamType = kQBoxStreamAac;
    f.version = 0;
    ASSERT_TRUE(AppendQBox(b, f, Bytes(10, 2)));
    b.insert(b.end(), 3, 0); // fills the last header up to 28 bytes
    f.streamType = kQBoxStreamJpeg;
    f.version = 1;
    ASSERT_TRUE(AppendQBox(b, f, Bytes(100, 3)));
    b.resize(b.size() - 50); // the last box is still arriving

    QBoxWalker walker(b);
    QBoxRef box;
    ASSERT_TRUE(walker.Next(box));
    EXPECT_EQ(box.offset, 5u);
    EXPECT_EQ(box.header.boxSize, 41u);
    EXPECT_TRUE(box.complete);
    EXPECT_EQ(box.bytes.size(), 41u);
    ASSERT_TRUE(walker.Next(box));
    EXPECT_EQ(box.offset, 49u);
    EXPECT_EQ(box.header.streamType, kQBoxStreamAac);
    EXPECT_EQ(box.header.version, 0);
    ASSERT_TRUE(walker.Next(box));
    EXPECT_EQ(box.header.streamType, kQBoxStreamJpeg);
    EXPECT_FALSE(box.complete);
    EXPECT_EQ(box.bytes.size(), 128u - 50);
    EXPECT_FALSE(walker.Next(box));
    EXPECT_FALSE(walker.Next(box));
}

TEST(QBoxWalker, StopsAtTopBitAndZeroSizesAndPartialHeaders)
{
    QBoxFields f;
    Bytes one;
    ASSERT_TRUE(AppendQBox(one, f, Bytes(8, 0)));
    Bytes b = one;
    Append(b, one);
    for (uint32_t bad : {0x80000024u, 0u}) {
        Bytes c = b;
        WriteBE32(c.data(), bad);
        QBoxWalker walker(c);
        QBoxRef box;
        EXPECT_FALSE(walker.Next(box)) << bad;
        EXPECT_FALSE(walker.Next(box)) << bad;
    }
    QBoxWalker partial(std::span<const uint8_t>(b).first(27));
    QBoxRef box;
    EXPECT_FALSE(partial.Next(box));
    QBoxWalker empty({});
    EXPECT_FALSE(empty.Next(box));
}

TEST(NalUnits, LengthsBecomeStartCodes)
{
    Bytes payload = LengthPrefixed({{0x67, 1, 2}, {0x68, 3}, {0x65, 4, 5, 6}});
    Bytes out;
    EXPECT_EQ(AppendNalUnitsAsStartCodes(payload, out), 3u);
    Bytes expected = {0, 0, 0, 1, 0x67, 1, 2, 0, 0, 0, 1, 0x68, 3, 0, 0, 0, 1, 0x65, 4, 5, 6};
    EXPECT_EQ(out, expected);
    Bytes inPlace = payload;
    EXPECT_EQ(RewriteNalLengthsInPlace(inPlace), 3u);
    EXPECT_EQ(inPlace, expected);
}

TEST(NalUnits, InvalidLengthsStopTheRewrite)
{
    const uint32_t bad[] = {0, 0x80000003u, 100};
    for (uint32_t length : bad) {
        Bytes payload = LengthPrefixed({{0x67, 1, 2}});
        Bytes tail(4);
        WriteBE32(tail.data(), length);
        Append(payload, tail);
        Append(payload, Bytes{0x65, 9, 9});
        Bytes out;
        EXPECT_EQ(AppendNalUnitsAsStartCodes(payload, out), 1u) << length;
        EXPECT_EQ(out.size(), 7u);
        Bytes inPlace = payload;
        EXPECT_EQ(RewriteNalLengthsInPlace(inPlace), 1u);
        EXPECT_EQ(Bytes(inPlace.begin() + 7, inPlace.end()),
                  Bytes(payload.begin() + 7, payload.end()));
    }
    // A length word cut by the payload end.
    Bytes out;
    EXPECT_EQ(AppendNalUnitsAsStartCodes(Bytes{0, 0, 0}, out), 0u);
    EXPECT_TRUE(out.empty());
}

Bytes QmedPayload(uint8_t index, uint8_t channels, const Bytes& raw)
{
    Bytes p;
    EXPECT_TRUE(AppendQmedPayload(p, index, channels, raw));
    return p;
}

TEST(Qmed, AcceptsAacLcWithItsConfig)
{
    Bytes raw = {0x21, 0x10, 0x05};
    Bytes p = QmedPayload(3, 2, raw);
    QmedAacConfig c;
    ASSERT_TRUE(ReadQmedHeader(p, c));
    EXPECT_EQ(c.headerSize, 44u);
    EXPECT_EQ(c.objectType, 2);
    EXPECT_EQ(c.samplingIndex, 3);
    EXPECT_EQ(c.channels, 2);
    // The index straddles bytes 40 and 41.
    EXPECT_EQ(p[40], (2 << 3) | (3 >> 1));
    EXPECT_EQ(p[41], ((3 & 1) << 7) | (2 << 3));
    for (uint8_t index = 0; index <= 12; ++index) {
        ASSERT_TRUE(ReadQmedHeader(QmedPayload(index, 1, raw), c));
        EXPECT_EQ(c.samplingIndex, index);
    }
}

TEST(Qmed, EachCheck)
{
    Bytes good = QmedPayload(4, 1, {1, 2, 3});
    QmedAacConfig c;
    auto rejects = [&](auto change) {
        Bytes p = good;
        change(p);
        return !ReadQmedHeader(p, c);
    };
    EXPECT_TRUE(rejects([](Bytes& p) { p[4] = 'Q'; }));
    EXPECT_TRUE(rejects([](Bytes& p) { WriteBE32(&p[36], 0); }));
    EXPECT_TRUE(rejects([](Bytes& p) { WriteBE32(&p[36], 0x80000001u); }));
    EXPECT_TRUE(rejects([](Bytes& p) { p[40] = (5 << 3) | 2; })); // object type 5
    EXPECT_TRUE(rejects([](Bytes& p) {
        p[40] = (2 << 3) | 6;
        p[41] = 0x88;
    }));                                                                       // index 13
    EXPECT_TRUE(rejects([](Bytes& p) { p[41] = (p[41] & 0x87) | (3 << 3); })); // 3 channels
    EXPECT_TRUE(rejects([](Bytes& p) { p[41] = p[41] & 0x87; }));              // 0 channels
    EXPECT_TRUE(rejects([](Bytes& p) { WriteBE32(&p[0], 41); }));              // header too small
    EXPECT_TRUE(rejects([](Bytes& p) { WriteBE32(&p[0], static_cast<uint32_t>(p.size() + 1)); }));
    EXPECT_TRUE(rejects([](Bytes& p) { p.resize(41); }));
    EXPECT_FALSE(rejects([](Bytes& p) { WriteBE32(&p[0], static_cast<uint32_t>(p.size())); }));
    Bytes out;
    EXPECT_FALSE(AppendQmedPayload(out, 13, 1, {}));
    EXPECT_FALSE(AppendQmedPayload(out, 1, 3, {}));
    EXPECT_FALSE(AppendQmedPayload(out, 1, 1, {}, 0));
    EXPECT_FALSE(AppendQmedPayload(out, 1, 1, {}, 1, 41));
    EXPECT_TRUE(out.empty());
}

TEST(Adts, HeaderBytes)
{
    uint8_t h[7];
    ASSERT_TRUE(WriteAdtsHeader(h, 3, 2, 100));
    // L = 107 = 0b000'0000'0110'1011
    const uint8_t expected[7] = {
        0xFF,         0xF1,     0x40 | (3 << 2),
        (2 << 6) | 0, 107 >> 3, static_cast<uint8_t>(((107 << 5) | 0x1F) & 0xFF),
        0xFC};
    EXPECT_EQ(Bytes(h, h + 7), Bytes(expected, expected + 7));
    ASSERT_TRUE(WriteAdtsHeader(h, 11, 1, 0x1FFF - 7));
    EXPECT_EQ(h[3], (1 << 6) | 3);
    EXPECT_EQ(h[4], 0xFF);
    EXPECT_EQ(h[5], 0xFF);
    // A frame the 13-bit length cannot describe, or a config ADTS cannot carry.
    EXPECT_FALSE(WriteAdtsHeader(h, 11, 1, 0x1FFF - 6));
    EXPECT_FALSE(WriteAdtsHeader(h, 13, 1, 10));
    EXPECT_FALSE(WriteAdtsHeader(h, 3, 0, 10));
}

TEST(Adts, AacBoxBecomesAnAdtsFrame)
{
    Bytes raw = {9, 8, 7, 6, 5};
    QBoxFields f;
    f.streamType = kQBoxStreamAac;
    f.sampleFlags = 0x200;
    Bytes box;
    ASSERT_TRUE(AppendQBox(box, f, QmedPayload(3, 2, raw)));
    QBoxWalker walker(box);
    QBoxRef ref;
    ASSERT_TRUE(walker.Next(ref));
    Bytes out;
    ASSERT_TRUE(AppendQBoxAacAsAdts(ref, out));
    ASSERT_EQ(out.size(), 7u + raw.size());
    EXPECT_EQ(out[0], 0xFF);
    EXPECT_EQ(out[2], 0x40 | (3 << 2));
    EXPECT_EQ(Bytes(out.begin() + 7, out.end()), raw);

    // Not AAC, or a bad header: nothing appended.
    Bytes other = box;
    other[13] = kQBoxStreamJpeg;
    QBoxWalker w2(other);
    ASSERT_TRUE(w2.Next(ref));
    out.clear();
    EXPECT_FALSE(AppendQBoxAacAsAdts(ref, out));
    other = box;
    other[28 + 4] = 'x';
    QBoxWalker w3(other);
    ASSERT_TRUE(w3.Next(ref));
    EXPECT_FALSE(AppendQBoxAacAsAdts(ref, out));
    EXPECT_TRUE(out.empty());
}

TEST(Adts, OnlySampleFlagsAnnouncingQmedMakeAudio)
{
    const struct {
        uint32_t sampleFlags;
        bool audio;
    } cases[] = {
        {0x200, true},  {0x240, true},  {0xA00, true},  {0x000, false},
        {0x201, false}, {0x001, false}, {0x040, false}, {0x100, false},
    };
    const Bytes raw = {1, 2, 3};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sampleFlags);
        QBoxFields f;
        f.streamType = kQBoxStreamAac;
        f.sampleFlags = c.sampleFlags;
        Bytes payload;
        if (c.sampleFlags & kQBoxSampleFlagExtraHeader)
            payload.assign(kQBoxExtraHeaderSize, 0xEE);
        Append(payload, QmedPayload(4, 1, raw));
        Bytes box;
        ASSERT_TRUE(AppendQBox(box, f, payload));
        QBoxWalker walker(box);
        QBoxRef ref;
        ASSERT_TRUE(walker.Next(ref));
        EXPECT_EQ(ref.header.HasQmedHeader(), c.audio);
        Bytes out;
        EXPECT_EQ(AppendQBoxAacAsAdts(ref, out), c.audio);
        EXPECT_EQ(out.size(), c.audio ? kAdtsHeaderSize + raw.size() : 0u);
    }
}

} // namespace
