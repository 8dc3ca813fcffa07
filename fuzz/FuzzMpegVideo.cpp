// The MPEG-1/2 and MPEG-4 Part 2 input path (parser and libavcodec decoder
// behind the outside decoder filter) on any bytes, cut into samples as a
// network delivers them: no crash, and every picture handed out is one the
// decoder may show: a size it can have, planes present, never before a key
// picture was seen.
//
// Input: byte 0 bit 0 picks MPEG-2 or MPEG-4, the other bits seed the cut
// points; the rest is the stream. libavcodec logs damage on standard error:
// run with -close_fd_mask=2.
#include "FuzzCheck.h"

#include "AvVideoDecoder.h"

extern "C" {
#include <libavutil/frame.h>
}

#include <cstdint>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const AVCodecID codec = (data[0] & 1) ? AV_CODEC_ID_MPEG4 : AV_CODEC_ID_MPEG2VIDEO;
    uint32_t seed = data[0] >> 1;
    const std::span<const uint8_t> stream(data + 1, size - 1);

    CAvVideoDecoder decoder;
    std::string why;
    FUZZ_CHECK(decoder.Open(codec, {}, &why));
    uint64_t shown = 0;
    const CAvVideoDecoder::PictureSink sink = [&](const AVFrame& picture) {
        FUZZ_CHECK(picture.width > 0 && picture.height > 0);
        FUZZ_CHECK(picture.width <= 16384 && picture.height <= 16384);
        FUZZ_CHECK(picture.data[0] != nullptr);
        ++shown;
        return true;
    };
    size_t at = 0;
    while (at < stream.size()) {
        seed = seed * 1103515245u + 12345u;
        const size_t piece = std::min<size_t>(stream.size() - at, 1 + (seed >> 16) % 4096);
        decoder.Decode(stream.subspan(at, piece), sink);
        at += piece;
    }
    decoder.Drain(sink);
    FUZZ_CHECK(decoder.GetCounters().pictures == shown);
    return 0;
}
