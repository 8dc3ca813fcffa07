// The audio pin's buffer: the rules for blocks handed to it, PCM moved out as
// it is, and AAC decoded by faad2 frame by frame (the simulator's tone, frames
// gathered into samples, and the faults a stream may carry).
#include "CAudioBuffer.h"

#include "Adts.h"
#include "QBox.h"
#include "ToneCheck.h"
#include "tvdevsim/StreamGenerator.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <numeric>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Pattern(size_t n, uint8_t seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(seed + i * 13);
    return b;
}

// Everything the buffer gives in turns of sampleSize bytes until it is empty.
std::vector<Bytes> Drain(CAudioBuffer& buffer, size_t sampleSize = 512000)
{
    std::vector<Bytes> samples;
    Bytes out(sampleSize);
    for (int guard = 0; buffer.Buffered() > 0 && guard < 100000; ++guard) {
        const size_t n = buffer.Take(out);
        samples.emplace_back(out.begin(), out.begin() + static_cast<ptrdiff_t>(n));
    }
    return samples;
}

Bytes Joined(const std::vector<Bytes>& parts)
{
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

struct AddCase {
    const char* name;
    std::vector<std::pair<Bytes, AudioKind>> blocks;
    Bytes expected; // what comes out as PCM
};

TEST(AudioBuffer, BlocksAppendReplaceOrEmpty)
{
    const Bytes a = Pattern(300000, 1), b = Pattern(300000, 2);
    const Bytes small1 = Pattern(1000, 3), small2 = Pattern(640, 4);
    const Bytes huge = Pattern(512001, 5), full = Pattern(512000, 6);
    Bytes appended = small1;
    appended.insert(appended.end(), small2.begin(), small2.end());
    const AddCase cases[] = {
        {"two 300000-byte blocks: the second replaces the first",
         {{a, AudioKind::Pcm}, {b, AudioKind::Pcm}},
         b},
        {"blocks that fit are appended",
         {{small1, AudioKind::Pcm}, {small2, AudioKind::Pcm}},
         appended},
        {"a block longer than the buffer empties it",
         {{small1, AudioKind::Pcm}, {huge, AudioKind::Pcm}},
         {}},
        {"a block of exactly the buffer's size is kept", {{full, AudioKind::Pcm}}, full},
        {"a block of the other kind replaces what is buffered",
         {{small1, AudioKind::Aac}, {small2, AudioKind::Pcm}},
         small2},
    };
    for (const AddCase& c : cases) {
        SCOPED_TRACE(c.name);
        CAudioBuffer buffer;
        for (const auto& [bytes, kind] : c.blocks)
            buffer.Add(bytes, kind);
        EXPECT_EQ(buffer.Buffered(), c.expected.size());
        EXPECT_EQ(Joined(Drain(buffer)), c.expected);
    }
}

TEST(AudioBuffer, PcmGoesOutInSampleSizedPiecesInOrder)
{
    CAudioBuffer buffer;
    const Bytes pcm = Pattern(2500, 9);
    buffer.Add(pcm, AudioKind::Pcm);
    const std::vector<Bytes> samples = Drain(buffer, 1000);
    ASSERT_EQ(samples.size(), 3u);
    EXPECT_EQ(samples[0].size(), 1000u);
    EXPECT_EQ(samples[2].size(), 500u);
    EXPECT_EQ(Joined(samples), pcm);
    Bytes out(16);
    EXPECT_EQ(buffer.Take(out), 0u);
}

// A decoder that gives a fixed number of bytes (its frame's first byte) per
// ADTS frame, so that what the buffer does with small results shows.
class CCountingDecoder : public CAacDecoder {
public:
    Step Decode(std::span<const uint8_t> in, std::span<uint8_t> out) override
    {
        size_t length = 0;
        Step step;
        if (!ReadAdtsFrameLength(in, length) || length > in.size()) {
            step.consumed = FindAdtsSync(in, 1);
            return step;
        }
        step.consumed = length;
        step.produced = std::min<size_t>(in[7], out.size());
        std::memset(out.data(), in[7], step.produced);
        return step;
    }
};

Bytes FakeAacFrame(uint8_t produces)
{
    Bytes frame;
    EXPECT_TRUE(AppendAdtsFrame(frame, 3, 2, Bytes{produces, 0, 0, 0}));
    return frame;
}

TEST(AudioBuffer, ShortAacFramesAreGatheredUntilMoreThan239Bytes)
{
    const struct {
        const char* name;
        std::vector<uint8_t> frames; // bytes each frame decodes to
        std::vector<size_t> samples; // lengths of the samples that go out
        size_t left;                 // bytes still in the work buffer
    } cases[] = {
        {"three of 100 make one sample of 300", {100, 100, 100}, {300}, 0},
        {"240 goes out alone", {240}, {240}, 0},
        {"239 waits for more", {239}, {}, 239},
        {"239 then 1 is 240", {239, 1}, {240}, 0},
        {"frames giving nothing do not stop the gathering", {100, 0, 100, 0, 100}, {300}, 0},
        {"gathering goes on across samples", {200, 50, 200, 50}, {250, 250}, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CAudioBuffer buffer(std::make_unique<CCountingDecoder>());
        Bytes stream;
        for (uint8_t f : c.frames) {
            const Bytes frame = FakeAacFrame(f);
            stream.insert(stream.end(), frame.begin(), frame.end());
        }
        buffer.Add(stream, AudioKind::Aac);
        std::vector<size_t> lengths;
        for (const Bytes& s : Drain(buffer))
            if (!s.empty())
                lengths.push_back(s.size());
        EXPECT_EQ(lengths, c.samples);
        EXPECT_EQ(buffer.WorkBuffered(), c.left);
        EXPECT_EQ(buffer.Buffered(), 0u);
    }
}

// The simulator's QBox AAC (48 kHz stereo, its tone) as the ADTS frames the
// splitter makes of it.
std::vector<Bytes> SimulatorAdtsFrames(size_t count, int toneHz)
{
    tvdevsim::GeneratorConfig config;
    config.kind = tvdevsim::SimKind::QBoxH264;
    config.width = 64;
    config.height = 64;
    config.toneHz = toneHz;
    tvdevsim::CStreamGenerator generator;
    EXPECT_TRUE(generator.Open(config)) << generator.Error();
    std::vector<Bytes> frames;
    tvdevsim::StreamUnit unit;
    while (frames.size() < count && generator.Next(unit)) {
        if (unit.video)
            continue;
        QBoxWalker walker(unit.bytes);
        QBoxRef box;
        while (walker.Next(box)) {
            Bytes adts;
            if (AppendQBoxAacAsAdts(box, adts))
                frames.push_back(adts);
        }
    }
    return frames;
}

constexpr size_t kAacFrameBytes = 1024 * 2 * 2; // 1024 stereo 16-bit samples

TEST(AudioBuffer, DecodesTheSimulatorsAacToneAtItsRate)
{
    const std::vector<Bytes> frames = SimulatorAdtsFrames(94, 440); // about 2 s
    ASSERT_EQ(frames.size(), 94u);
    CAudioBuffer buffer;
    std::vector<Bytes> samples;
    for (const Bytes& f : frames) {
        buffer.Add(f, AudioKind::Aac);
        for (const Bytes& s : Drain(buffer))
            if (!s.empty())
                samples.push_back(s);
    }
    // Every frame gives one sample of 1024 stereo samples, but the decoder's
    // first frame, which primes it.
    ASSERT_GE(samples.size(), frames.size() - 1);
    for (const Bytes& s : samples)
        EXPECT_EQ(s.size(), kAacFrameBytes);
    const Bytes pcm = Joined(samples);
    std::vector<int16_t> all(pcm.size() / 2);
    std::memcpy(all.data(), pcm.data(), all.size() * 2);
    for (size_t channel : {size_t{0}, size_t{1}}) {
        const std::vector<int16_t> one = OneChannel(all, 2, channel);
        EXPECT_NEAR(StrongestFrequency(one, 48000, 100, 4000, 5), 440, 5);
        EXPECT_GT(GoertzelPower(one, 440, 48000), 100 * GoertzelPower(one, 1500, 48000));
    }
}

struct FaultCase {
    const char* name;
    Bytes fault; // put between two runs of good frames
};

Bytes WithAdtsLength(Bytes frame, size_t length)
{
    frame[3] = static_cast<uint8_t>((frame[3] & ~3) | ((length >> 11) & 3));
    frame[4] = static_cast<uint8_t>((length >> 3) & 0xFF);
    frame[5] = static_cast<uint8_t>((frame[5] & 0x1F) | ((length & 7) << 5));
    return frame;
}

TEST(AudioBuffer, AacFaultsCostTheirOwnFrameOnly)
{
    const std::vector<Bytes> good = SimulatorAdtsFrames(12, 440);
    ASSERT_EQ(good.size(), 12u);
    Bytes corrupt = good[3];
    for (size_t i = 7; i < corrupt.size(); ++i)
        corrupt[i] = static_cast<uint8_t>(i * 37);
    const FaultCase cases[] = {
        {"a length shorter than the header", WithAdtsLength(good[2], 3)},
        {"a length past the block", WithAdtsLength(good[2], 8000)},
        {"a length into the next frame", WithAdtsLength(good[2], good[2].size() + 40)},
        {"a length cutting the frame short", WithAdtsLength(good[2], good[2].size() - 30)},
        {"bytes without a sync word", Pattern(333, 0x11)},
        {"a raw frame of noise", corrupt},
        {"a header alone", Bytes(good[2].begin(), good[2].begin() + 7)},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.name);
        CAudioBuffer buffer;
        Bytes stream;
        for (size_t i = 0; i < 6; ++i)
            stream.insert(stream.end(), good[i].begin(), good[i].end());
        stream.insert(stream.end(), c.fault.begin(), c.fault.end());
        for (size_t i = 6; i < good.size(); ++i)
            stream.insert(stream.end(), good[i].begin(), good[i].end());
        buffer.Add(stream, AudioKind::Aac);
        size_t full = 0;
        for (const Bytes& s : Drain(buffer))
            full += s.size() == kAacFrameBytes ? 1 : 0;
        EXPECT_EQ(buffer.Buffered(), 0u);
        // The six frames behind the fault still play (the first frame primes
        // the decoder; a fault may cost the frame it runs into).
        EXPECT_GE(full, good.size() - 3);
    }
}

TEST(AudioBuffer, FailedInitialisationDecodesNothingUntilCleared)
{
    const std::vector<Bytes> good = SimulatorAdtsFrames(4, 440);
    ASSERT_EQ(good.size(), 4u);
    // Sampling-frequency index 15 is not one the decoder can start from.
    Bytes bad = good[0];
    bad[2] = static_cast<uint8_t>((bad[2] & ~0x3C) | (15 << 2));
    CAudioBuffer buffer;
    buffer.Add(bad, AudioKind::Aac);
    std::fflush(stdout);
    testing::internal::CaptureStdout();
    EXPECT_EQ(Joined(Drain(buffer)).size(), 0u);
    for (const Bytes& f : good) {
        buffer.Add(f, AudioKind::Aac);
        EXPECT_EQ(Joined(Drain(buffer)).size(), 0u);
    }
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error initializing decoder library.\n");
    buffer.Clear();
    size_t produced = 0;
    for (const Bytes& f : good) {
        buffer.Add(f, AudioKind::Aac);
        produced += Joined(Drain(buffer)).size();
    }
    EXPECT_GE(produced, 3 * kAacFrameBytes);
}

} // namespace
