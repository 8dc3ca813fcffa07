// The splitter's live step (the delivery thread's cutting per stream kind) as a
// differential check: the same bytes received whole and received in chunks of
// random sizes must come out as the same units (frames, voice and AAC frames;
// pieces of elementary streams and QBox H.264 joined, since those are cut
// where the bytes happened to end). Every unit must also fit the sample.
//
// Input: byte 0 picks the stream kind, byte 1 the sample size, bytes 2-3 seed
// the chunk sizes; the rest is the stream.
#include "FuzzCheck.h"

#include "CLiveStepReplay.h"
#include "CodecKind.h"
#include "ContainerKind.h"

#include <cstdint>
#include <random>
#include <vector>

namespace {

struct Config {
    int32_t codecKind;
    int32_t containerKind;
    DeviceFraming framing;
};

constexpr Config kConfigs[] = {
    {CodecDeviceH264, ContainerUnknown, DeviceFraming::Device},
    {CodecDeviceH264, ContainerUnknown, DeviceFraming::Elementary},
    {CodecDeviceH264Clocked, ContainerRaw, DeviceFraming::Undecided},
    {CodecJP2K, ContainerUnknown, DeviceFraming::Undecided},
    {CodecMpeg2, ContainerUnknown, DeviceFraming::Undecided},
    {CodecHDH264, ContainerRaw, DeviceFraming::Undecided},
    {CodecMpeg2, ContainerTransport, DeviceFraming::Undecided},
    {CodecDeviceH264, ContainerTransport, DeviceFraming::Elementary},
    {CodecHDH264, ContainerTransport, DeviceFraming::Undecided},
    {CodecHDH264, ContainerQBox, DeviceFraming::Undecided},
    {CodecMjpeg, ContainerQBox, DeviceFraming::Undecided},
};
constexpr int32_t kVideoPid = 0x100; // the simulator's video PID

std::vector<LiveUnit> Replay(const Config& c, size_t sampleSize, std::span<const uint8_t> stream,
                             std::mt19937* chunks)
{
    CLiveStepReplay replay(c.codecKind, c.containerKind, kVideoPid, sampleSize, stream.size() + 1);
    replay.Step().SetFraming(c.framing);
    // No prebuffering: it only delays, and its refill depends on arrival.
    replay.Step().SetPrebufferLevels(PrebufferLevels{0, 0, 0});
    if (!chunks) {
        FUZZ_CHECK(replay.Push(stream));
    } else {
        size_t at = 0;
        while (at < stream.size()) {
            size_t n = std::uniform_int_distribution<size_t>(1, 2048)(*chunks);
            n = std::min(n, stream.size() - at);
            FUZZ_CHECK(replay.Push(stream.subspan(at, n)));
            at += n;
        }
    }
    replay.Drain();
    for (const LiveUnit& u : replay.Units()) {
        if (u.kind == LiveStepResult::Kind::Video)
            FUZZ_CHECK(u.bytes.size() <= sampleSize);
    }
    return JoinPieces(replay.Units());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 5)
        return 0;
    const Config& config = kConfigs[data[0] % std::size(kConfigs)];
    const size_t sampleSize = 1024 + size_t{data[1]} * 1024;
    std::mt19937 chunks(static_cast<uint32_t>(data[2] | (data[3] << 8)));
    std::span<const uint8_t> stream(data + 4, size - 4);
    FUZZ_CHECK(Replay(config, sampleSize, stream, nullptr) ==
               Replay(config, sampleSize, stream, &chunks));
    return 0;
}
