// The assembler of pushed device frames: which frames a byte stream yields, and
// that every way of cutting the stream into pushes yields the same frames.
#include "DeviceFrameAssembler.h"

#include "ByteOrder.h"
#include "DeviceFrameHeader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// A frame's place in the test stream.
struct Span {
    size_t offset;
    size_t length;
    bool operator==(const Span&) const = default;
};

// Builds a stream and remembers where the frames the assembler must find are.
class StreamBuilder {
public:
    // A 36-byte-header frame with a payload of payloadLength bytes of fill.
    // expected: whether the assembler must hand it out.
    StreamBuilder& Frame(size_t payloadLength, bool expected = true, uint8_t fill = 0x55)
    {
        DeviceFrameFields f;
        f.layout = DeviceHeaderLayout::Header36;
        f.frameType = 1;
        f.captureSeconds = 7;
        f.captureMicros = static_cast<uint32_t>(m_stream.size());
        const size_t at = m_stream.size();
        EXPECT_TRUE(AppendDeviceFrame(m_stream, f, Bytes(payloadLength, fill)));
        if (expected)
            m_frames.push_back({at, m_stream.size() - at});
        return *this;
    }
    // A frame whose header claims totalLength, whatever follows.
    StreamBuilder& Header(int32_t totalLength, uint8_t layoutByte = 0x20)
    {
        Bytes h(kDeviceHeader36Size, 0x11);
        h[0] = h[1] = h[2] = h[3] = 0x3E;
        h[4] = 0;
        h[5] = layoutByte;
        WriteLE32(h.data() + 20, static_cast<uint32_t>(totalLength));
        m_stream.insert(m_stream.end(), h.begin(), h.end());
        return *this;
    }
    StreamBuilder& Raw(const Bytes& bytes)
    {
        m_stream.insert(m_stream.end(), bytes.begin(), bytes.end());
        return *this;
    }
    // Overwrites bytes of the stream (to plant a header inside a payload).
    StreamBuilder& Patch(size_t at, const Bytes& bytes)
    {
        std::copy(bytes.begin(), bytes.end(), m_stream.begin() + at);
        return *this;
    }
    // The last complete frame is expected to be cut short by a patch.
    StreamBuilder& NotExpectedLast()
    {
        m_frames.pop_back();
        return *this;
    }
    size_t Size() const { return m_stream.size(); }
    const Bytes& Stream() const { return m_stream; }
    const std::vector<Span>& Frames() const { return m_frames; }

private:
    Bytes m_stream;
    std::vector<Span> m_frames;
};

const Bytes kCandidate = {0x3E, 0x3E, 0x3E, 0x3E, 0x00, 0x20};

// Pushes the stream cut at the given sizes (cycled) and returns the frames as
// spans of the stream (found by content and checked to be exact copies).
std::vector<Span> Assemble(const Bytes& stream, const std::vector<size_t>& cuts,
                           size_t* pending = nullptr)
{
    DeviceFrameAssembler assembler;
    std::vector<Span> out;
    size_t consumedUpTo = 0; // frames come in stream order
    auto sink = [&](std::span<const uint8_t> frame, const DeviceFrameHeader& header) {
        EXPECT_EQ(static_cast<int64_t>(frame.size()), header.totalLength);
        // The frame's microseconds field holds its offset in the stream.
        const size_t at = header.captureMicros;
        ASSERT_GE(at, consumedUpTo);
        ASSERT_LE(at + frame.size(), stream.size());
        EXPECT_TRUE(std::equal(frame.begin(), frame.end(), stream.begin() + at));
        consumedUpTo = at + frame.size();
        out.push_back({at, frame.size()});
    };
    size_t pos = 0;
    for (size_t i = 0; pos < stream.size(); ++i) {
        const size_t n = std::min(cuts[i % cuts.size()], stream.size() - pos);
        assembler.Push({stream.data() + pos, n}, sink);
        pos += n;
    }
    if (pending)
        *pending = assembler.Pending();
    return out;
}

struct AssemblyCase {
    std::string name;
    std::function<StreamBuilder()> build;
};

class DeviceFrameAssemblyTest : public ::testing::TestWithParam<AssemblyCase> {};

TEST_P(DeviceFrameAssemblyTest, FindsTheSameFramesHoweverTheStreamIsCut)
{
    const StreamBuilder b = GetParam().build();
    const std::vector<std::vector<size_t>> cutsList = {
        {b.Size()}, {1}, {5}, {35}, {36}, {37}, {4096}, {3, 200, 1, 17, 100000},
    };
    for (const auto& cuts : cutsList) {
        SCOPED_TRACE("first cut " + std::to_string(cuts[0]));
        EXPECT_EQ(Assemble(b.Stream(), cuts), b.Frames());
    }
    std::mt19937 rng(1234);
    for (int round = 0; round < 20; ++round) {
        std::vector<size_t> cuts(16);
        for (auto& c : cuts)
            c = 1 + rng() % 700;
        SCOPED_TRACE("random round " + std::to_string(round));
        EXPECT_EQ(Assemble(b.Stream(), cuts), b.Frames());
    }
}

const AssemblyCase kAssemblyCases[] = {
    {"TwoFramesBackToBack", [] { return StreamBuilder().Frame(100).Frame(2000); }},
    {"HeaderOnlyFrame", [] { return StreamBuilder().Frame(0).Frame(10); }},
    {"GarbageBeforeBetweenAndAfter",
     [] {
         return StreamBuilder()
             .Raw({1, 2, 0x3E, 0x3E, 9})
             .Frame(50)
             .Raw(Bytes(300, 0x3E))
             .Frame(60)
             .Raw({0x3E, 0x3E, 0x3E});
     }},
    {"FrameCutShortByTheNextHeader",
     [] {
         // The first header claims 500 bytes; the next frame starts after 100.
         StreamBuilder b;
         b.Header(500).Raw(Bytes(64, 0x55)).Frame(80);
         return b;
     }},
    {"TotalLengthAboveTheBufferIsRejected",
     [] {
         return StreamBuilder()
             .Header(static_cast<int32_t>(DeviceFrameAssembler::kCapacity) + 1)
             .Raw(Bytes(100, 0x55))
             .Frame(20);
     }},
    {"TotalLengthBelowTheHeaderIsRejected",
     [] { return StreamBuilder().Header(35).Raw(Bytes(10, 0x55)).Frame(20); }},
    {"NegativeTotalLengthIsRejected",
     [] { return StreamBuilder().Header(-40).Raw(Bytes(10, 0x55)).Frame(20); }},
    {"FortyByteLayoutIsNoFrame",
     [] { return StreamBuilder().Header(100, 0x10).Raw(Bytes(64, 0x55)).Frame(20); }},
    {"FrameFillingTheWholeBuffer",
     [] {
         return StreamBuilder()
             .Frame(DeviceFrameAssembler::kCapacity - kDeviceHeader36Size)
             .Frame(1);
     }},
    {"HeaderInsideThePayloadCutsTheFrame",
     [] {
         // A whole candidate header inside the frame: the frame was cut short
         // and assembly restarts there (the planted header's length, read from
         // payload bytes, is then rejected).
         StreamBuilder b;
         b.Frame(400).NotExpectedLast().Patch(36 + 100, kCandidate);
         b.Frame(30);
         return b;
     }},
    {"HeaderPrefixInTheLastBytesDoesNotCut",
     [] {
         // A candidate starting 30 bytes before the frame's end cannot be a
         // whole header inside it.
         StreamBuilder b;
         b.Frame(200);
         b.Patch(b.Size() - 30, kCandidate);
         b.Frame(10);
         return b;
     }},
    {"IncompleteLastFrameIsHeldBack",
     [] {
         StreamBuilder b;
         b.Frame(30);
         Bytes partial;
         DeviceFrameFields f;
         f.layout = DeviceHeaderLayout::Header36;
         AppendDeviceFrame(partial, f, Bytes(500, 0x55));
         partial.resize(300);
         return b.Raw(partial);
     }},
};

INSTANTIATE_TEST_SUITE_P(Streams, DeviceFrameAssemblyTest, ::testing::ValuesIn(kAssemblyCases),
                         [](const auto& info) { return info.param.name; });

TEST(DeviceFrameAssembler, HoldsAnIncompleteFrameAndForgetsItOnReset)
{
    StreamBuilder b;
    b.Frame(1000);
    const Bytes& s = b.Stream();
    DeviceFrameAssembler assembler;
    int frames = 0;
    auto sink = [&](std::span<const uint8_t>, const DeviceFrameHeader&) { ++frames; };
    assembler.Push({s.data(), 600}, sink);
    EXPECT_EQ(assembler.Pending(), 600u);
    assembler.Reset();
    EXPECT_EQ(assembler.Pending(), 0u);
    // The rest alone is no frame; a whole one after it is.
    assembler.Push({s.data() + 600, s.size() - 600}, sink);
    EXPECT_EQ(frames, 0);
    assembler.Push(s, sink);
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(assembler.Pending(), 0u);
}

} // namespace
