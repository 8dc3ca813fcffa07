// The audio pin's buffer with its faad2 decoder on any bytes: blocks of either
// kind handed in, samples taken out in sizes of all kinds. Every turn either
// gives bytes or moves past some input, nothing is taken beyond the sample, and
// the buffers stay within their sizes.
//
// Input: a run of blocks, each a 3-byte head (kind and length: bit 7 of byte 0
// PCM, else AAC; 15-bit length; byte 2 the sample size in 64-byte steps, 0 for
// the full 512000) followed by its bytes.
#include "FuzzCheck.h"

#include "CAudioBuffer.h"

#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // The decoder reports refused frames on standard output.
    SilenceStdout();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // One buffer for the run (its 600 KB are not made afresh per input); Clear
    // also gives each input a fresh decoder.
    static CAudioBuffer buffer;
    static std::vector<uint8_t> out(CAudioBuffer::kInputSize + 1);
    buffer.Clear();
    size_t at = 0;
    while (at + 3 <= size) {
        const AudioKind kind = (data[at] & 0x80) ? AudioKind::Pcm : AudioKind::Aac;
        const size_t length = ((data[at] & 0x7F) << 8) | data[at + 1];
        const size_t sampleSize =
            data[at + 2] ? data[at + 2] * size_t{64} : CAudioBuffer::kInputSize;
        at += 3;
        const size_t n = std::min(length, size - at);
        buffer.Add(std::span<const uint8_t>(data + at, n), kind);
        at += n;
        FUZZ_CHECK(buffer.Buffered() <= CAudioBuffer::kInputSize);
        out.back() = 0x5A;
        for (int turn = 0; buffer.Buffered() > 0; ++turn) {
            FUZZ_CHECK(turn < 1000000);
            const size_t before = buffer.Buffered();
            const size_t got = buffer.Take(std::span<uint8_t>(out.data(), sampleSize));
            FUZZ_CHECK(got <= sampleSize);
            FUZZ_CHECK(got > 0 || buffer.Buffered() < before);
            FUZZ_CHECK(buffer.WorkBuffered() <= CAudioBuffer::kWorkSize);
            FUZZ_CHECK(out.back() == 0x5A);
        }
    }
    return 0;
}
