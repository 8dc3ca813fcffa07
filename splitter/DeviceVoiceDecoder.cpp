#include "DeviceVoiceDecoder.h"

#include "HiVoiceDec.h"

#include <algorithm>
#include <limits>

namespace {

int Reset(void* state, int mode)
{
    return HI_VOICE_DecReset(static_cast<HI_VOICE_DEC_STATE*>(state), mode);
}

int Decode(void* state, const uint8_t* frame, size_t frameLength, int16_t* out, uint32_t* count)
{
    // A voice frame is a few hundred bytes; a longer span only has trailing
    // bytes the library ignores.
    const auto length =
        static_cast<uint32_t>(std::min<size_t>(frameLength, std::numeric_limits<uint32_t>::max()));
    return HI_VOICE_DecodeFrame(static_cast<HI_VOICE_DEC_STATE*>(state), frame, length, out, count);
}

const VoiceDecoderCalls kDeviceVoice = {sizeof(HI_VOICE_DEC_STATE), Reset, Decode};

} // namespace

const VoiceDecoderCalls& DeviceVoiceDecoderCalls()
{
    return kDeviceVoice;
}
