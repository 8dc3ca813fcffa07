#include "VoiceDecoder.h"

#include <atomic>
#include <cstring>

namespace {

std::atomic<const VoiceDecoderCalls*> g_voiceDecoder{nullptr};

} // namespace

void InstallVoiceDecoder(const VoiceDecoderCalls* calls)
{
    g_voiceDecoder.store(calls, std::memory_order_release);
}

CVoiceDecoder::CVoiceDecoder() : m_calls(g_voiceDecoder.load(std::memory_order_acquire))
{
    if (!m_calls || !m_calls->decReset || !m_calls->decodeFrame) {
        m_calls = nullptr;
        return;
    }
    // At least one byte, so that the state pointer is never null.
    m_state = std::make_unique<uint8_t[]>(m_calls->stateSize > 0 ? m_calls->stateSize : 1);
    m_resetFailed = m_calls->decReset(m_state.get(), 1) != 0;
}

CVoiceDecoder::~CVoiceDecoder() = default;

size_t CVoiceDecoder::DecodeAppend(std::span<const uint8_t> payload, std::vector<uint8_t>& out,
                                   size_t maxBytes)
{
    if (!m_calls || payload.empty())
        return 0;
    int16_t pcm[kMaxFrameSamples];
    uint32_t count = kMaxFrameSamples;
    if (m_calls->decodeFrame(m_state.get(), payload.data(), payload.size(), pcm, &count) != 0)
        return 0;
    const size_t samples = count & 0xFFFF;
    if (samples == 0 || samples > kMaxFrameSamples || out.size() > maxBytes ||
        maxBytes - out.size() < samples * 2)
        return 0;
    const size_t at = out.size();
    out.resize(at + samples * 2);
    for (size_t i = 0; i < samples; ++i) {
        const auto v = static_cast<uint16_t>(pcm[i]);
        out[at + 2 * i] = static_cast<uint8_t>(v);
        out[at + 2 * i + 1] = static_cast<uint8_t>(v >> 8);
    }
    return samples;
}
