// The read step of every record-file parser over an arbitrary frame span: the
// device walk (video moved to the front, voice handed out), QBox spans to start
// codes and ADTS, the JPEG 2000 pair extent, and transport-stream reassembly.
// Everything handed out lies inside the span or within the caller's limits.
//
// The first input byte picks the reader.
#include "FuzzCheck.h"

#include "RecordFrameRead.h"
#include "TSParser.h"

#include <cstdint>
#include <span>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool silenced = (SilenceStdout(), true);
    (void)silenced;
    if (size < 1)
        return 0;
    const uint8_t which = data[0];
    std::vector<uint8_t> span(data + 1, data + size);
    const size_t maxAudio = (which >> 3) * 64;

    switch (which % 6) {
    case 0: {
        const std::vector<uint8_t> original = span;
        size_t voiceBytes = 0;
        const size_t video = WalkDeviceFrame(span, [&](std::span<const uint8_t> payload) {
            FUZZ_CHECK(!payload.empty());
            FUZZ_CHECK(payload.data() >= span.data() &&
                       payload.data() + payload.size() <= span.data() + span.size());
            voiceBytes += payload.size();
        });
        FUZZ_CHECK(video <= span.size());
        FUZZ_CHECK(video + voiceBytes <= span.size());
        if (video == span.size())
            FUZZ_CHECK(span == original);
        break;
    }
    case 1:
    case 2: {
        std::vector<uint8_t> video, audio;
        const QBoxSpanContents c = UnpackQBoxH264Span(span, video, audio, maxAudio);
        FUZZ_CHECK(video.size() <= span.size());
        FUZZ_CHECK(audio.size() <= maxAudio);
        if (c.videoBoxes == 0)
            FUZZ_CHECK(video.empty() && c.timestamp == 0);
        break;
    }
    case 3: {
        size_t offset = 0, length = 0;
        std::vector<uint8_t> audio;
        UnpackQBoxMjpegSpan(span, offset, length, audio, maxAudio);
        FUZZ_CHECK(offset + length <= span.size());
        FUZZ_CHECK(length == 0 || length >= 4);
        FUZZ_CHECK(audio.size() <= maxAudio);
        break;
    }
    case 4: {
        int64_t timeUs = 0;
        const size_t extent = JP2KFrameExtent(span, timeUs);
        FUZZ_CHECK(extent <= span.size());
        break;
    }
    default: {
        TSParser ts;
        ts.SetPacketSize((which & 0x40) ? TSParser::kTimestampedPacketSize : TSParser::kPacketSize);
        if (ts.InitParser(span.data(), span.size()) != 0)
            break;
        ts.SetVideoPid((which & 0x80) ? 0x100 : -1);
        if (ts.ReassembleSpan())
            FUZZ_CHECK(ts.Payload().size() <= span.size() &&
                       ts.Payload().size() <= TSParser::kReassemblyBufferSize);
        break;
    }
    }
    return 0;
}
