// The decoder of device voice frames as the splitter calls it: reset once per
// owner (the filter for live streams, each CH264Parser for files), then one
// voice payload at a time into 16-bit PCM, 8000 Hz mono.
//
// The decoder itself is an outside library (HI_VOICE_DecReset and
// HI_VOICE_DecodeFrame); it is plugged in here with InstallVoiceDecoder, in the
// form below (the splitter module does so when it loads, see
// DeviceVoiceDecoder.h; the hook is per module, and the parsers' tests install
// a stand-in of their own). Until it is, voice frames decode to nothing and
// are dropped, as frames that fail to decode are; video is not affected.
//
// InstallVoiceDecoder: any thread, before the owners that should use it are
// made (each CVoiceDecoder takes the calls installed at its construction). A
// CVoiceDecoder is used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

struct VoiceDecoderCalls {
    // Bytes of decoder state per owner.
    size_t stateSize = 0;
    // HI_VOICE_DecReset(state, 1); 0 = success.
    int (*decReset)(void* state, int mode) = nullptr;
    // HI_VOICE_DecodeFrame(state, frame, out, count): frame is one voice payload
    // (frameLength bytes); *count holds the room at out in samples on entry and
    // the samples written (its low 16 bits) on return; 0 = success.
    int (*decodeFrame)(void* state, const uint8_t* frame, size_t frameLength, int16_t* out,
                       uint32_t* count) = nullptr;
};

// Installs the decoder (null removes it). The table must outlive its users.
void InstallVoiceDecoder(const VoiceDecoderCalls* calls);

class CVoiceDecoder {
public:
    // A voice frame never decodes to more samples than this.
    static constexpr uint32_t kMaxFrameSamples = 800;

    // Takes the installed decoder and resets it.
    CVoiceDecoder();
    ~CVoiceDecoder();
    CVoiceDecoder(const CVoiceDecoder&) = delete;
    CVoiceDecoder& operator=(const CVoiceDecoder&) = delete;

    // A decoder is installed.
    bool Available() const { return m_calls != nullptr; }
    // Its reset failed (the owner tells the user; decoding is still tried).
    bool ResetFailed() const { return m_resetFailed; }

    // Decodes one voice payload and appends its PCM (little-endian 16-bit) to out
    // when out then stays within maxBytes. Returns the samples appended; 0 when
    // the frame fails to decode, decodes to nothing or does not fit.
    size_t DecodeAppend(std::span<const uint8_t> payload, std::vector<uint8_t>& out,
                        size_t maxBytes);

private:
    const VoiceDecoderCalls* m_calls;
    std::unique_ptr<uint8_t[]> m_state;
    bool m_resetFailed = false;
};
