// The voice decoder on any bytes: a frame either decodes to exactly the samples
// its header announces, within the room given, or is refused with nothing
// counted; the same frame always decodes to the same samples.
//
// Input: bytes 0-1 the room in samples (little-endian, up to 1023); the rest is
// the frame. libavcodec logs refused packets on standard error: run with
// -close_fd_mask=2 to keep the console readable.
#include "FuzzCheck.h"

#include "HiVoiceDec.h"
#include "VoiceFrame.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint32_t room = (data[0] | (data[1] << 8)) & 0x3FF;
    const uint8_t* frame = data + 2;
    const uint32_t length = static_cast<uint32_t>(size - 2);

    HI_VOICE_DEC_STATE state;
    FUZZ_CHECK(HI_VOICE_DecReset(&state, HI_VOICE_RESET_DECODE) == HI_VOICE_OK);
    std::vector<int16_t> first(room + 1, 0x5A5A), second(room + 1, 0x5A5A);
    uint32_t count1 = room, count2 = room;
    const int32_t r1 = HI_VOICE_DecodeFrame(&state, frame, length, first.data(), &count1);
    const int32_t r2 = HI_VOICE_DecodeFrame(&state, frame, length, second.data(), &count2);
    FUZZ_CHECK(r1 == r2 && count1 == count2);
    FUZZ_CHECK(first.back() == 0x5A5A && second.back() == 0x5A5A);
    VoiceFrameInfo info;
    const bool valid = ReadVoiceFrame(std::span<const uint8_t>(frame, length), info);
    if (r1 == HI_VOICE_OK) {
        FUZZ_CHECK(valid && count1 == info.samples && count1 <= room);
        FUZZ_CHECK(std::memcmp(first.data(), second.data(), count1 * sizeof(int16_t)) == 0);
    } else {
        FUZZ_CHECK(count1 == 0);
        FUZZ_CHECK(r1 != HI_VOICE_ERR_FRAME || !valid);
        FUZZ_CHECK(r1 != HI_VOICE_ERR_SPACE || (valid && info.samples > room));
    }
    return 0;
}
