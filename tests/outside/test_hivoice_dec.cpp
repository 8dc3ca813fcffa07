#include "HiVoiceDec.h"

#include "DeviceFrameHeader.h"
#include "ToneCheck.h"
#include "VoiceFrame.h"
#include "tvdevsim/StreamGenerator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>
#include <vector>

namespace {

std::vector<uint8_t> VoiceFrame(VoiceCodec codec, uint16_t samples, std::vector<uint8_t> data)
{
    std::vector<uint8_t> frame;
    EXPECT_TRUE(AppendVoiceFramePayload(frame, codec, samples, 7, data));
    return frame;
}

struct Decoded {
    int32_t result = 0;
    uint32_t count = 0;
    std::vector<int16_t> samples;
};

Decoded Decode(HI_VOICE_DEC_STATE& state, const std::vector<uint8_t>& frame, uint32_t room,
               size_t length)
{
    Decoded d;
    d.samples.assign(std::max<size_t>(room, 1), int16_t{0x5A5A});
    d.count = room;
    d.result = HI_VOICE_DecodeFrame(&state, frame.data(), static_cast<uint32_t>(length),
                                    d.samples.data(), &d.count);
    d.samples.resize(d.count & 0xFFFF);
    return d;
}

struct ExactCase {
    const char* name;
    VoiceCodec codec;
    std::vector<uint8_t> data;
    std::vector<int16_t> expected;
};

// The G.711 code points with their well-known values, and an ADPCM block whose
// steps are the same under every IMA rounding: the head's predictor comes
// first, then the nibbles low one first.
const ExactCase kExact[] = {
    {"mulaw", VoiceCodec::MuLaw, {0xFF, 0x7F, 0x00, 0x80, 0xF0}, {0, 0, -32124, 32124, 120}},
    {"alaw", VoiceCodec::ALaw, {0xD5, 0x55, 0xAA, 0x2A}, {8, -8, 32256, -32256}},
    {"adpcm",
     VoiceCodec::ImaAdpcm,
     {0xE8, 0x03, 0x00, 0x00, 0x04, 0x00, 0x00},
     {1000, 1007, 1008, 1009, 1009, 1009, 1009}},
};

TEST(HiVoiceDec, DecodesKnownCodePoints)
{
    for (const ExactCase& c : kExact) {
        SCOPED_TRACE(c.name);
        HI_VOICE_DEC_STATE state;
        ASSERT_EQ(HI_VOICE_DecReset(&state, HI_VOICE_RESET_DECODE), HI_VOICE_OK);
        const auto frame = VoiceFrame(c.codec, static_cast<uint16_t>(c.expected.size()), c.data);
        // Bytes behind the frame (the next device header) are not part of it.
        auto padded = frame;
        padded.insert(padded.end(), {0x3E, 0x3E, 0x3E, 0x3E});
        const Decoded d = Decode(state, padded, HI_VOICE_MAX_FRAME_SAMPLES, padded.size());
        EXPECT_EQ(d.result, HI_VOICE_OK);
        EXPECT_EQ(d.count, c.expected.size());
        EXPECT_EQ(d.samples, c.expected);
    }
}

// A thread keeps its decoders open between frames: frames of every codec and
// of ADPCM blocks of two sizes, interleaved on one thread, decode exactly as
// each does alone on a thread of its own.
TEST(HiVoiceDec, InterleavedCodecsAndBlockSizesDecodeAsAlone)
{
    std::vector<std::vector<uint8_t>> frames;
    for (const ExactCase& c : kExact)
        frames.push_back(VoiceFrame(c.codec, static_cast<uint16_t>(c.expected.size()), c.data));
    // A longer ADPCM block: 4 head bytes and 12 data bytes, 25 samples.
    frames.push_back(VoiceFrame(VoiceCodec::ImaAdpcm, 25,
                                {0x10, 0x27, 0x20, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE,
                                 0xF0, 0x0F, 0xED, 0xCB, 0xA9}));
    auto decodeOne = [](const std::vector<uint8_t>& frame) {
        HI_VOICE_DEC_STATE state;
        HI_VOICE_DecReset(&state, HI_VOICE_RESET_DECODE);
        return Decode(state, frame, HI_VOICE_MAX_FRAME_SAMPLES, frame.size());
    };
    std::vector<Decoded> alone(frames.size());
    for (size_t i = 0; i < frames.size(); ++i) {
        std::thread([&, i] { alone[i] = decodeOne(frames[i]); }).join();
        ASSERT_EQ(alone[i].result, HI_VOICE_OK) << i;
    }
    ASSERT_EQ(alone[3].count, 25u);
    const size_t order[] = {2, 0, 3, 1, 2, 3, 3, 0, 2, 1};
    std::thread([&] {
        for (size_t i : order) {
            const Decoded d = decodeOne(frames[i]);
            EXPECT_EQ(d.result, HI_VOICE_OK) << i;
            EXPECT_EQ(d.samples, alone[i].samples) << i;
        }
    }).join();
}

struct RefusalCase {
    const char* name;
    std::vector<uint8_t> frame;
    uint32_t room;
    int lengthCut; // bytes held back from the frame length given
    int32_t result;
};

std::vector<uint8_t> WithByte(std::vector<uint8_t> frame, size_t at, uint8_t value)
{
    frame[at] = value;
    return frame;
}

TEST(HiVoiceDec, RefusesWhatIsNotAWholeVoiceFrameThatFits)
{
    const auto mulaw = VoiceFrame(VoiceCodec::MuLaw, 4, {1, 2, 3, 4});
    const RefusalCase cases[] = {
        {"bad marker", WithByte(mulaw, 0, 'W'), 800, 0, HI_VOICE_ERR_FRAME},
        {"codec 0", WithByte(mulaw, 1, 0), 800, 0, HI_VOICE_ERR_FRAME},
        {"unknown codec 4", WithByte(mulaw, 1, 4), 800, 0, HI_VOICE_ERR_FRAME},
        {"sample count against length", WithByte(mulaw, 2, 5), 800, 0, HI_VOICE_ERR_FRAME},
        {"no samples", WithByte(WithByte(mulaw, 2, 0), 4, 0), 800, 0, HI_VOICE_ERR_FRAME},
        {"801 samples", WithByte(WithByte(WithByte(WithByte(mulaw, 2, 0x21), 3, 3), 4, 0x21), 5, 3),
         800, 0, HI_VOICE_ERR_FRAME},
        {"codec bytes past the frame", mulaw, 800, 1, HI_VOICE_ERR_FRAME},
        {"header only", mulaw, 800, 4, HI_VOICE_ERR_FRAME},
        {"shorter than a header", mulaw, 800, 9, HI_VOICE_ERR_FRAME},
        {"room for 3 of 4 samples", mulaw, 3, 0, HI_VOICE_ERR_SPACE},
        {"no room", mulaw, 0, 0, HI_VOICE_ERR_SPACE},
        {"ADPCM with an even count",
         WithByte(VoiceFrame(VoiceCodec::ImaAdpcm, 3, {0, 0, 0, 0, 0}), 2, 2), 800, 0,
         HI_VOICE_ERR_FRAME},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        HI_VOICE_DEC_STATE state;
        ASSERT_EQ(HI_VOICE_DecReset(&state, HI_VOICE_RESET_DECODE), HI_VOICE_OK);
        const Decoded d = Decode(state, c.frame, c.room, c.frame.size() - c.lengthCut);
        EXPECT_EQ(d.result, c.result);
        EXPECT_EQ(d.count, 0u);
        // A refused frame leaves the caller's buffer alone; the state goes on.
        const Decoded good = Decode(state, mulaw, 800, mulaw.size());
        EXPECT_EQ(good.result, HI_VOICE_OK);
        EXPECT_EQ(good.count, 4u);
    }
}

TEST(HiVoiceDec, RefusedFrameWritesNothing)
{
    HI_VOICE_DEC_STATE state;
    ASSERT_EQ(HI_VOICE_DecReset(&state, HI_VOICE_RESET_DECODE), HI_VOICE_OK);
    const auto frame = VoiceFrame(VoiceCodec::ALaw, 6, {1, 2, 3, 4, 5, 6});
    std::vector<int16_t> out(8, 0x5A5A);
    uint32_t count = 5;
    EXPECT_EQ(HI_VOICE_DecodeFrame(&state, frame.data(), static_cast<uint32_t>(frame.size()),
                                   out.data(), &count),
              HI_VOICE_ERR_SPACE);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(out, std::vector<int16_t>(8, 0x5A5A));
}

TEST(HiVoiceDec, ArgumentsAndReset)
{
    const auto frame = VoiceFrame(VoiceCodec::MuLaw, 2, {0xFF, 0xFF});
    const uint32_t length = static_cast<uint32_t>(frame.size());
    int16_t out[800];
    uint32_t count = 800;

    HI_VOICE_DEC_STATE state{};
    EXPECT_EQ(HI_VOICE_DecodeFrame(&state, frame.data(), length, out, &count), HI_VOICE_ERR_STATE);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(HI_VOICE_DecReset(&state, 0), HI_VOICE_ERR_ARG);
    EXPECT_EQ(HI_VOICE_DecReset(&state, 2), HI_VOICE_ERR_ARG);
    EXPECT_EQ(HI_VOICE_DecReset(nullptr, HI_VOICE_RESET_DECODE), HI_VOICE_ERR_ARG);
    ASSERT_EQ(HI_VOICE_DecReset(&state, HI_VOICE_RESET_DECODE), HI_VOICE_OK);

    count = 800;
    EXPECT_EQ(HI_VOICE_DecodeFrame(nullptr, frame.data(), length, out, &count), HI_VOICE_ERR_ARG);
    count = 800;
    EXPECT_EQ(HI_VOICE_DecodeFrame(&state, nullptr, length, out, &count), HI_VOICE_ERR_ARG);
    count = 800;
    EXPECT_EQ(HI_VOICE_DecodeFrame(&state, frame.data(), length, nullptr, &count),
              HI_VOICE_ERR_ARG);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(HI_VOICE_DecodeFrame(&state, frame.data(), length, out, nullptr), HI_VOICE_ERR_ARG);
    count = 800;
    EXPECT_EQ(HI_VOICE_DecodeFrame(&state, nullptr, 0, out, &count), HI_VOICE_ERR_FRAME);
    count = 0xFFFF0800;
    EXPECT_EQ(HI_VOICE_DecodeFrame(&state, frame.data(), length, out, &count), HI_VOICE_OK);
    EXPECT_EQ(count, 2u);
}

// The simulator's tone, voice frame by voice frame, as a live stream carries
// it: every frame decodes to the count its header gives, and a second of it
// holds the tone at its frequency.
TEST(HiVoiceDec, DecodesTheSimulatorsToneInEveryCodec)
{
    const VoiceCodec codecs[] = {VoiceCodec::MuLaw, VoiceCodec::ALaw, VoiceCodec::ImaAdpcm};
    for (VoiceCodec codec : codecs) {
        SCOPED_TRACE(static_cast<int>(codec));
        tvdevsim::GeneratorConfig config;
        config.kind = tvdevsim::SimKind::Device40;
        config.width = 64;
        config.height = 64;
        config.voiceCodec = codec;
        config.toneHz = 440;
        tvdevsim::CStreamGenerator generator;
        ASSERT_TRUE(generator.Open(config)) << generator.Error();
        HI_VOICE_DEC_STATE state;
        ASSERT_EQ(HI_VOICE_DecReset(&state, HI_VOICE_RESET_DECODE), HI_VOICE_OK);

        std::vector<int16_t> pcm;
        int frames = 0;
        tvdevsim::StreamUnit unit;
        while (pcm.size() < kVoiceSampleRate && generator.Next(unit)) {
            if (unit.video)
                continue;
            DeviceFrameHeader header;
            ASSERT_TRUE(ReadDeviceFrameHeader(unit.bytes, header));
            ASSERT_TRUE(header.voice);
            const auto payload = std::span<const uint8_t>(unit.bytes).subspan(header.HeaderSize());
            VoiceFrameInfo info;
            ASSERT_TRUE(ReadVoiceFrame(payload, info));
            int16_t out[HI_VOICE_MAX_FRAME_SAMPLES];
            uint32_t count = HI_VOICE_MAX_FRAME_SAMPLES;
            ASSERT_EQ(HI_VOICE_DecodeFrame(&state, payload.data(),
                                           static_cast<uint32_t>(payload.size()), out, &count),
                      HI_VOICE_OK);
            ASSERT_EQ(count, info.samples);
            pcm.insert(pcm.end(), out, out + count);
            ++frames;
        }
        ASSERT_GE(pcm.size(), kVoiceSampleRate);
        EXPECT_GT(frames, 1);
        EXPECT_NEAR(StrongestFrequency(pcm, kVoiceSampleRate, 100, 3900, 5), 440, 5);
        EXPECT_GT(GoertzelPower(pcm, 440, kVoiceSampleRate),
                  100 * GoertzelPower(pcm, 1000, kVoiceSampleRate));
    }
}

} // namespace
