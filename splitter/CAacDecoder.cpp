#include "CAacDecoder.h"

#include "Adts.h"

#include <neaacdec.h>

#include <cstdio>
#include <cstring>

namespace {

constexpr size_t kFramePadding = 16;

} // namespace

CAacDecoder::CAacDecoder() : m_frame(kAdtsMaxFrameLength + kFramePadding)
{
    NeAACDecHandle handle = NeAACDecOpen();
    if (!handle)
        return;
    NeAACDecConfigurationPtr config = NeAACDecGetCurrentConfiguration(handle);
    if (config) {
        config->defObjectType = LC;
        config->outputFormat = FAAD_FMT_16BIT;
        config->downMatrix = 0;
        config->useOldADTSFormat = 0;
        NeAACDecSetConfiguration(handle, config);
    }
    m_handle = handle;
}

CAacDecoder::~CAacDecoder()
{
    Close();
}

void CAacDecoder::Close()
{
    if (m_handle)
        NeAACDecClose(static_cast<NeAACDecHandle>(m_handle));
    m_handle = nullptr;
}

CAacDecoder::Step CAacDecoder::Decode(std::span<const uint8_t> in, std::span<uint8_t> out)
{
    Step step;
    if (in.empty())
        return step;
    if (!m_handle) {
        step.consumed = in.size();
        return step;
    }
    size_t length = 0;
    if (!ReadAdtsFrameLength(in, length) || length > in.size()) {
        // Not a frame we can take whole: move on to the next sync word.
        step.consumed = FindAdtsSync(in, 1);
        return step;
    }
    step.consumed = length;
    std::memcpy(m_frame.data(), in.data(), length);
    std::memset(m_frame.data() + length, 0, kFramePadding);
    auto* handle = static_cast<NeAACDecHandle>(m_handle);
    if (!m_initialised) {
        unsigned long rate = 0;
        unsigned char channels = 0;
        if (NeAACDecInit(handle, m_frame.data(), static_cast<unsigned long>(length), &rate,
                         &channels) < 0) {
            std::fputs("Error initializing decoder library.\n", stdout);
            Close();
            step.consumed = in.size();
            return step;
        }
        m_initialised = true;
        m_sampleRate = rate;
        m_channels = channels;
    }
    NeAACDecFrameInfo info{};
    void* samples =
        NeAACDecDecode(handle, &info, m_frame.data(), static_cast<unsigned long>(length));
    if (info.error != 0) {
        std::printf("Error: %s\n", NeAACDecGetErrorMessage(info.error));
        return step;
    }
    const size_t bytes = static_cast<size_t>(info.samples) * 2;
    if (samples && bytes <= out.size()) {
        std::memcpy(out.data(), samples, bytes);
        step.produced = bytes;
    }
    return step;
}
