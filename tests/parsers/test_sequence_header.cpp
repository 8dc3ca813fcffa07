#include "StreamBuilders.h"

#include "CodecKind.h"
#include "ContainerKind.h"
#include "JP2KFieldHeader.h"
#include "QBoxHeader.h"
#include "SequenceHeader.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Tail()
{
    return Bytes(100, 0x80); // the part no search looks at
}

Bytes Extract(const Bytes& buffer, int32_t codec, int32_t container = 0, size_t capacity = 512)
{
    Bytes dest(capacity, 0);
    size_t n = ExtractSequenceHeader(buffer, codec, container, dest);
    dest.resize(n);
    return dest;
}

TEST(SequenceHeaderExtraction, Mpeg2NeedsTheSequenceExtension)
{
    Bytes seq = BuildMpeg2SequenceHeader(720, 576, 3);
    Bytes ext = BuildMpeg2SequenceExtension();
    Bytes b;
    Append(b, Bytes(7, 0x80));
    Append(b, seq);
    Append(b, ext);
    Append(b, Bytes{0, 0, 1, 0xB8, 1, 2, 3, 4});
    Append(b, Tail());
    Bytes expected = seq;
    Append(expected, ext);
    EXPECT_EQ(Extract(b, CodecMpeg2), expected);

    // A sequence header followed directly by a GOP (no extension) is not taken.
    Bytes noExt;
    Append(noExt, seq);
    Append(noExt, Bytes{0, 0, 1, 0xB8, 1, 2, 3, 4});
    Append(noExt, Tail());
    EXPECT_TRUE(Extract(noExt, CodecMpeg2).empty());

    // An extension of another kind (id 2) is not a sequence extension.
    Bytes other = b;
    other[7 + seq.size() + 4] = 0x24;
    EXPECT_TRUE(Extract(other, CodecMpeg2).empty());

    // Too long for the destination: not taken.
    EXPECT_TRUE(Extract(b, CodecMpeg2, 0, expected.size() - 1).empty());
    EXPECT_EQ(Extract(b, CodecMpeg2, 0, expected.size()), expected);
}

TEST(SequenceHeaderExtraction, Mpeg4VolToTheNextStartCode)
{
    Bytes vol = BuildVol({});
    Bytes b = {0, 0, 1, 0xB0, 1, 0, 0, 1, 0xB5, 9};
    Append(b, vol);
    Append(b, Bytes{0, 0, 1, 0xB6, 0x40});
    Append(b, Tail());
    EXPECT_EQ(Extract(b, CodecMpeg4), vol);
}

TEST(SequenceHeaderExtraction, H264FromSpsThroughPps)
{
    Bytes sps = BuildSps({});
    Bytes pps = Nal(0x68, 3, 0xCE);
    Bytes b = Nal(0x09, 1);  // access unit delimiter
    Append(b, Nal(0x06, 5)); // SEI before the SPS
    Append(b, sps);
    Append(b, pps);
    Append(b, Nal(0x65, 50));
    Append(b, Tail());
    // From the SPS start code to the next NAL's (00 00 01), the zero in front of it included.
    Bytes expected = sps;
    Append(expected, pps);
    expected.push_back(0);
    for (int32_t kind : {3, 6, 256, 512})
        EXPECT_EQ(Extract(b, kind), expected) << kind;
}

TEST(SequenceHeaderExtraction, H264SkipsIgnoredNalHeadersAndNeedsBothSets)
{
    Bytes sps = BuildSps({});
    Bytes b = sps;
    Append(b, Nal(0x08, 2)); // PPS with nal_ref_idc 0 (value <= 32): not counted
    Append(b, Nal(0x65, 20));
    Append(b, Tail());
    EXPECT_TRUE(Extract(b, CodecDeviceH264).empty());

    // A PPS before the SPS does not count.
    Bytes c = Nal(0x68, 2);
    Append(c, sps);
    Append(c, Nal(0x65, 20));
    Append(c, Tail());
    EXPECT_TRUE(Extract(c, CodecDeviceH264).empty());
}

// An encoder's SEI (nal_ref_idc 0, so passed over) between the parameter sets
// and the first slice would make the run too long for the buffer: the sets
// end at the SEI instead, so the first key picture's header is found. A run
// that fits keeps ending at the slice.
TEST(SequenceHeaderExtraction, H264LongSeiAfterTheParameterSets)
{
    Bytes sps = BuildSps({});
    Bytes pps = Nal(0x68, 3, 0xCE);
    Bytes expected = sps;
    Append(expected, pps);
    expected.push_back(0);
    struct Case {
        const char* name;
        size_t seiBytes;
        bool endsAtSei;
    } cases[] = {{"long SEI", 600, true}, {"short SEI", 20, false}};
    for (const Case& c : cases) {
        Bytes b = sps;
        Append(b, pps);
        const Bytes sei = Nal(0x06, c.seiBytes);
        Append(b, sei);
        Append(b, Nal(0x65, 50));
        Append(b, Tail());
        Bytes want = expected;
        if (!c.endsAtSei) {
            want.pop_back();
            Append(want, sei);
            want.push_back(0);
        }
        EXPECT_EQ(Extract(b, CodecDeviceH264), want) << c.name;
    }
}

TEST(SequenceHeaderExtraction, TheLastHundredBytesAreNotSearched)
{
    Bytes b = BuildSps({});
    Append(b, Nal(0x68, 2));
    Append(b, Nal(0x65, 0));
    size_t codeByte = b.size() - 1; // the IDR's NAL header ends the header
    b.resize(codeByte + 100, 0x55);
    EXPECT_TRUE(Extract(b, CodecDeviceH264).empty());
    b.push_back(0x55);
    EXPECT_FALSE(Extract(b, CodecDeviceH264).empty());
    EXPECT_TRUE(Extract(Bytes(100, 0), CodecDeviceH264).empty());
    EXPECT_TRUE(Extract({}, CodecMpeg2).empty());
}

TEST(SequenceHeaderExtraction, QBoxPayloadsAreRewrittenToStartCodes)
{
    Bytes sps = BuildSps({});
    Bytes spsBody(sps.begin() + 3, sps.end());
    Bytes ppsBody = {0x68, 0xCE, 0x3C, 0x80};
    auto lengthPrefixed = [](const Bytes& nal) {
        Bytes out(4);
        WriteBE32(out.data(), static_cast<uint32_t>(nal.size()));
        Append(out, nal);
        return out;
    };
    Bytes payload = lengthPrefixed(spsBody);
    Append(payload, lengthPrefixed(ppsBody));
    Append(payload, lengthPrefixed(Bytes(200, 0x65)));
    QBoxFields f;
    Bytes b;
    ASSERT_TRUE(AppendQBox(b, f, payload));
    Append(b, Tail());

    Bytes expected = {0, 0, 1};
    Append(expected, spsBody);
    Append(expected, Bytes{0, 0, 0, 1});
    Append(expected, ppsBody);
    expected.push_back(0);
    EXPECT_EQ(Extract(b, CodecHDH264, ContainerQBox), expected);
    // The same bytes read as a raw stream hold no start codes at all.
    EXPECT_TRUE(Extract(b, CodecHDH264, ContainerRaw).empty());
    // The buffer is only read.
    Bytes copy = b;
    Extract(b, CodecHDH264, ContainerQBox);
    EXPECT_EQ(b, copy);
}

TEST(SequenceHeaderExtraction, QBoxExtraHeaderBytesAndBadLengths)
{
    Bytes spsBody = BuildSps({});
    spsBody.erase(spsBody.begin(), spsBody.begin() + 3);
    Bytes payload(16, 0xEE); // the 16 bytes of sample flag 0x40
    Bytes len(4);
    WriteBE32(len.data(), static_cast<uint32_t>(spsBody.size()));
    Append(payload, len);
    Append(payload, spsBody);
    Append(payload, Bytes{0, 0, 0, 2, 0x68, 0xCE, 0, 0, 0, 200, 0x65});
    payload.resize(payload.size() + 199, 0x77);
    QBoxFields f;
    f.sampleFlags = 0x40;
    Bytes b;
    ASSERT_TRUE(AppendQBox(b, f, payload));
    Append(b, Tail());
    EXPECT_FALSE(Extract(b, CodecHDH264, ContainerQBox).empty());

    // A length running past the box ends that box's units: no PPS, no header.
    Bytes bad = b;
    WriteBE32(&bad[28 + 16 + 4 + spsBody.size()], 0x1000);
    EXPECT_TRUE(Extract(bad, CodecHDH264, ContainerQBox).empty());
}

TEST(SequenceHeaderExtraction, Jpeg2000FirstFieldOf160Bytes)
{
    JP2KFieldFields f;
    Bytes codestream = BuildJ2KCodestream(704, 288, 400);
    Bytes b(10, 0x3E); // stray magic bytes in front
    ASSERT_TRUE(AppendJP2KFrame(b, f, codestream, codestream));
    Append(b, Bytes(160, 0));
    Bytes header = Extract(b, CodecJP2K);
    ASSERT_EQ(header.size(), 160u);
    EXPECT_EQ(Bytes(header.begin(), header.end()), Bytes(b.begin() + 10, b.begin() + 170));

    // A second field alone is not a start; nor is anything in the last 160 bytes.
    Bytes second(b.begin() + 10 + 144 + 400, b.end());
    EXPECT_TRUE(Extract(second, CodecJP2K).empty());
    Bytes shortBuf(b.begin() + 10, b.begin() + 10 + 163);
    EXPECT_TRUE(Extract(shortBuf, CodecJP2K).empty());
    Bytes justEnough(b.begin() + 10, b.begin() + 10 + 164);
    EXPECT_EQ(Extract(justEnough, CodecJP2K).size(), 160u);
    EXPECT_TRUE(Extract(b, CodecJP2K, 0, 159).empty());
}

TEST(SequenceHeaderExtraction, MjpegNeedsNothingAndOtherKindsFindNothing)
{
    Bytes dest(512, 0xAA);
    EXPECT_EQ(ExtractSequenceHeader({}, CodecMjpeg, ContainerQBox, dest), 512u);
    EXPECT_EQ(dest[0], 0xAA);
    Bytes b = BuildSps({});
    Append(b, Nal(0x68, 2));
    Append(b, Nal(0x65, 200));
    EXPECT_EQ(ExtractSequenceHeader(b, CodecNone, 0, dest), 0u);
    EXPECT_EQ(ExtractSequenceHeader(b, CodecUnknown, 0, dest), 0u);
}

} // namespace

namespace {

Bytes LengthPrefixedBox(std::initializer_list<Bytes> nals)
{
    Bytes payload;
    for (const Bytes& n : nals) {
        Bytes len(4);
        WriteBE32(len.data(), static_cast<uint32_t>(n.size()));
        Append(payload, len);
        Append(payload, n);
    }
    Bytes box;
    EXPECT_TRUE(AppendQBox(box, {}, payload));
    return box;
}

TEST(SequenceHeaderExtraction, QBoxHeaderTooLongIsPassedForALaterOne)
{
    Bytes bigSps = BuildSps({});
    bigSps.erase(bigSps.begin(), bigSps.begin() + 3);
    bigSps.resize(600, 0x11); // does not fit 512 bytes
    Bytes sps = BuildSps({});
    sps.erase(sps.begin(), sps.begin() + 3);
    Bytes pps = {0x68, 0xCE, 0x3C, 0x80};
    Bytes b = LengthPrefixedBox({bigSps, pps, Bytes(300, 0x65)});
    for (int i = 0; i < 3; ++i)
        Append(b, LengthPrefixedBox({Bytes(200, 0x41)}));
    Append(b, LengthPrefixedBox({sps, pps, Bytes(300, 0x65)}));
    Bytes expected = {0, 0, 1};
    Append(expected, sps);
    Append(expected, Bytes{0, 0, 0, 1});
    Append(expected, pps);
    expected.push_back(0);
    EXPECT_EQ(Extract(b, CodecHDH264, ContainerQBox), expected);
}

} // namespace
