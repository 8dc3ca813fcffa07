// The live cutting rules over a byte stream that arrives in pieces, as the
// delivery loop applies them to the receive ring.
#include "FuzzCheck.h"

#include "LiveCutter.h"

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

// Feeds the stream `chunk` bytes at a time; cut returns how far to move.
template <typename Cut> void Walk(std::span<const uint8_t> stream, size_t chunk, Cut cut)
{
    size_t read = 0, write = 0;
    int idle = 0;
    while (idle < 3) {
        bool grew = write < stream.size();
        write = std::min(stream.size(), write + chunk);
        size_t moved = cut(stream.subspan(read, write - read));
        FUZZ_CHECK(moved <= write - read);
        read += moved;
        idle = (moved == 0 && !grew) ? idle + 1 : 0;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    size_t chunk = 16 + data[0] * 8;
    std::span<const uint8_t> stream(data + 1, size - 1);

    Walk(stream, chunk, [](std::span<const uint8_t> b) {
        DeviceFrameCut cut = CutDeviceFrame(b);
        if (cut.result == LiveCut::Video || cut.result == LiveCut::Voice)
            FUZZ_CHECK(cut.payloadOffset + cut.payloadLength <= cut.consumed);
        return cut.consumed;
    });
    Walk(stream, chunk, [](std::span<const uint8_t> b) {
        size_t n = CutElementaryUnit(b);
        FUZZ_CHECK(n <= b.size());
        // The unit ends where a start code begins (or 2 bytes before the end).
        FUZZ_CHECK(n == 0 || n + 2 == b.size() ||
                   (n + 3 <= b.size() && b[n] == 0 && b[n + 1] == 0 && b[n + 2] == 1));
        return n;
    });
    size_t packetSize = (data[0] & 1) ? 192 : 188;
    Walk(stream, chunk, [packetSize](std::span<const uint8_t> b) {
        TsPacketCut cut = CutTransportPacket(b, packetSize, 0x100);
        if (cut.result == LiveCut::Video)
            FUZZ_CHECK(cut.payload.offset + cut.payload.length <= b.size() &&
                       cut.payload.length > 0);
        return cut.consumed;
    });
    Walk(stream, chunk, [](std::span<const uint8_t> b) {
        JP2KFrameCut cut = CutJP2KFrame(b);
        if (cut.result == LiveCut::Video)
            FUZZ_CHECK(cut.frameOffset + cut.frameLength == cut.consumed);
        return cut.consumed;
    });
    QBoxLiveCutter qbox;
    std::vector<uint8_t> sample(4096 + data[0] * 16);
    std::vector<uint8_t> audio;
    Walk(stream, chunk, [&](std::span<const uint8_t> b) {
        QBoxCut cut = qbox.Step(b, sample, audio);
        FUZZ_CHECK(cut.sampleLength <= sample.size());
        if (cut.h264)
            FUZZ_CHECK(cut.sampleLength == cut.consumed);
        if (audio.size() > 1 << 20)
            audio.clear();
        return cut.consumed;
    });
    return 0;
}
