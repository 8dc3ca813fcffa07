// Stream detection with SequenceHeader extraction and StreamInfo parsing, as the
// splitter runs them on every buffered byte range.
#include "FuzzCheck.h"

#include "CodecKind.h"
#include "SequenceHeader.h"
#include "StreamDetect.h"
#include "StreamInfo.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SilenceStdout();
    return 0;
}

namespace {

void ExtractAndDescribe(std::span<const uint8_t> buffer, int32_t codec, int32_t container)
{
    // Destinations of exact size on the heap so that any overrun is caught.
    for (size_t capacity : {kSequenceHeaderCapacity, size_t{160}, size_t{17}}) {
        std::vector<uint8_t> dest(capacity);
        size_t n = ExtractSequenceHeader(buffer, codec, container, dest);
        FUZZ_CHECK(n <= capacity);
        if (n == 0)
            continue;
        std::vector<uint8_t> header(dest.begin(), dest.begin() + static_cast<ptrdiff_t>(n));
        StreamInfo info;
        ParseStreamInfo(codec, header, info);
        StreamFormat format;
        if (DescribeStream(buffer, codec, container, header, format))
            FUZZ_CHECK(format.frameRate >= 0 && format.frameDuration >= 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static TSParser ts;
    std::span<const uint8_t> buffer(data, size);
    StreamKinds kinds;
    DetectStream(buffer, kinds, ts);
    if (kinds.codecKind != 0)
        ExtractAndDescribe(buffer, kinds.codecKind, kinds.containerKind);
    // Every kind over the same bytes, the way a stream type set by the player would.
    if (size > 0) {
        static const int32_t kKinds[] = {1, 2, 3, 4, 6, 7, 256, 512};
        int32_t codec = kKinds[data[0] % 8];
        int32_t container = (data[0] >> 3) & 3;
        ExtractAndDescribe(buffer.subspan(1), codec, container);
        StreamInfo info;
        ParseStreamInfo(codec, buffer.subspan(1), info);
    }
    return 0;
}
