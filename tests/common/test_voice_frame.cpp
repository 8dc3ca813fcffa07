// The voice frame that follows a device header with the voice flag: fixed
// vectors from its table, read back and written, and the headers it refuses.
#include "ByteLayout.h"
#include "VoiceFrame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct VoiceVector {
    const char* name;
    VoiceCodec codec;
    uint16_t samples;
    uint16_t sequence;
    std::vector<uint8_t> data;
    std::vector<uint8_t> bytes; // header and codec bytes as the table lays them out
};

const VoiceVector kVoiceVectors[] = {
    // Marker 'V', codec 1, 3 samples, 3 codec bytes, sequence 0x1234 (LE).
    {"MuLaw",
     VoiceCodec::MuLaw,
     3,
     0x1234,
     {0xFF, 0x7F, 0x00},
     {0x56, 0x01, 0x03, 0x00, 0x03, 0x00, 0x34, 0x12, 0xFF, 0x7F, 0x00}},
    // A-law: one codec byte a sample; the sequence wraps at 0xFFFF.
    {"ALaw",
     VoiceCodec::ALaw,
     2,
     0xFFFF,
     {0xD5, 0x55},
     {0x56, 0x02, 0x02, 0x00, 0x02, 0x00, 0xFF, 0xFF, 0xD5, 0x55}},
    // IMA ADPCM, 5 samples: a 4-byte block head and two samples a byte.
    {"ImaAdpcm",
     VoiceCodec::ImaAdpcm,
     5,
     1,
     {0x10, 0x00, 0x05, 0x00, 0x21, 0x43},
     {0x56, 0x03, 0x05, 0x00, 0x06, 0x00, 0x01, 0x00, 0x10, 0x00, 0x05, 0x00, 0x21, 0x43}},
};

class VoiceFrameVectors : public ::testing::TestWithParam<VoiceVector> {};

TEST_P(VoiceFrameVectors, WriterProducesAndReaderDecodesTheTableLayout)
{
    const VoiceVector& v = GetParam();
    std::vector<uint8_t> written;
    ASSERT_TRUE(AppendVoiceFramePayload(written, v.codec, v.samples, v.sequence, v.data));
    EXPECT_EQ(written, v.bytes) << ByteDiff(written, v.bytes);

    VoiceFrameInfo info;
    std::span<const uint8_t> data;
    ASSERT_TRUE(ReadVoiceFrame(v.bytes, info, &data));
    EXPECT_EQ(info.codec, v.codec);
    EXPECT_EQ(info.samples, v.samples);
    EXPECT_EQ(info.dataLength, v.data.size());
    EXPECT_EQ(info.sequence, v.sequence);
    EXPECT_EQ(std::vector<uint8_t>(data.begin(), data.end()), v.data);
}

INSTANTIATE_TEST_SUITE_P(Table, VoiceFrameVectors, ::testing::ValuesIn(kVoiceVectors), CaseName());

TEST(VoiceFrame, RefusesWhatTheTableDoesNotAllow)
{
    const std::vector<uint8_t> good = {0x56, 0x01, 0x02, 0x00, 0x02, 0x00, 0x00, 0x00, 0x01, 0x02};
    VoiceFrameInfo info;
    ASSERT_TRUE(ReadVoiceFrame(good, info));
    struct Damage {
        const char* what;
        size_t offset;
        uint8_t value;
    };
    const Damage damages[] = {
        {"another marker", 0, 0x57},
        {"codec 0", 1, 0x00},
        {"codec 4", 1, 0x04},
        {"no samples", 2, 0x00},
        {"more codec bytes than the samples need", 4, 0x03},
    };
    for (const Damage& d : damages) {
        std::vector<uint8_t> bad = good;
        bad[d.offset] = d.value;
        EXPECT_FALSE(ReadVoiceFrame(bad, info)) << d.what;
    }
    // 801 samples (0x0321) are more than a frame carries.
    std::vector<uint8_t> tooMany = good;
    tooMany[2] = 0x21;
    tooMany[3] = 0x03;
    EXPECT_FALSE(ReadVoiceFrame(tooMany, info));
    // Codec bytes beyond what was given, and a header cut short.
    EXPECT_FALSE(ReadVoiceFrame(std::span(good).first(9), info));
    EXPECT_FALSE(ReadVoiceFrame(std::span(good).first(7), info));
    // An ADPCM block needs an odd count of at least 3 samples.
    std::vector<uint8_t> out;
    EXPECT_FALSE(AppendVoiceFramePayload(out, VoiceCodec::ImaAdpcm, 4, 0, good));
    EXPECT_FALSE(
        AppendVoiceFramePayload(out, VoiceCodec::MuLaw, 801, 0, std::vector<uint8_t>(801)));
    EXPECT_TRUE(out.empty());
}

} // namespace
