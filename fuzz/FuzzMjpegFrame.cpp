// The Motion JPEG decoder's frame decoding on any bytes: a frame either gives
// whole rows within the output or is dropped, the same bytes always give the
// same picture, and the decoder takes the next frame after any failure.
//
// Input: byte 0 picks the agreed picture size, byte 1 how much of the picture
// the output holds; the rest is the frame. libjpeg warns on standard error:
// run with -close_fd_mask=2 to keep the console readable.
#include "FuzzCheck.h"

#include "MjpegFrameDecoder.h"

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Sizes of the seed pictures, and a few others.
constexpr int kSizes[][2] = {{16, 16}, {64, 48}, {101, 37}, {176, 144}, {8, 8}, {320, 240}};

CMjpegFrameDecoder& Decoder()
{
    static CMjpegFrameDecoder decoder;
    return decoder;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const int* wh = kSizes[data[0] % std::size(kSizes)];
    const int width = wh[0], height = wh[1];
    const size_t stride = (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
    // Most runs get the whole picture; some a part of it.
    const size_t rows = data[1] < 200 ? static_cast<size_t>(height) : data[1] % (height + 1);
    const std::span<const uint8_t> frame(data + 2, size - 2);

    std::vector<uint8_t> first(stride * rows + 1), second(first.size());
    const std::span<uint8_t> out1(first.data(), stride * rows);
    const std::span<uint8_t> out2(second.data(), stride * rows);
    first.back() = second.back() = 0x5A; // a guard byte behind the output
    size_t written1 = 0, written2 = 0;
    const bool ok1 = Decoder().Decode(frame, width, height, stride, out1, &written1);
    const bool ok2 = Decoder().Decode(frame, width, height, stride, out2, &written2);
    FUZZ_CHECK(ok1 == ok2);
    FUZZ_CHECK(first.back() == 0x5A && second.back() == 0x5A);
    if (ok1) {
        FUZZ_CHECK(written1 == written2);
        FUZZ_CHECK(written1 <= out1.size() && written1 % stride == 0);
        FUZZ_CHECK(std::memcmp(first.data(), second.data(), written1) == 0);
    } else {
        FUZZ_CHECK(written1 == 0 && written2 == 0);
    }
    return 0;
}
