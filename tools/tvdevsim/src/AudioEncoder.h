// The simulator's sound: a sine tone, coded as device voice frames (see
// VoiceFrame.h) or as raw AAC frames for QBox audio boxes, with libavcodec.
#pragma once

#include "VoiceFrame.h"

#include <cstdint>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace tvdevsim {

// Libavcodec encoder around a tone generator; one instance per stream.
class CToneEncoder {
public:
    CToneEncoder() = default;
    ~CToneEncoder();
    CToneEncoder(const CToneEncoder&) = delete;
    CToneEncoder& operator=(const CToneEncoder&) = delete;

    // Voice: 8000 Hz mono in the given codec, 320 samples (40 ms) per frame for
    // G.711, one 256-byte block (505 samples) for IMA ADPCM.
    bool OpenVoice(VoiceCodec codec, int toneHz, std::string& error);
    // AAC LC, 48000 Hz stereo, 1024 samples per frame.
    bool OpenAac(int toneHz, std::string& error);

    int SampleRate() const { return m_rate; }
    int Channels() const { return m_channels; }
    // Samples per channel that one coded frame carries.
    int FrameSamples() const { return m_frameSamples; }

    // The next coded frame: for voice, the whole voice-frame payload with its
    // header; for AAC, one raw frame. False on an encoder error.
    bool Next(std::vector<uint8_t>& out);

private:
    bool Open(const char* name, int rate, int channels, std::string& error);
    void Close();
    void FillTone();

    AVCodecContext* m_ctx = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    bool m_voice = false;
    VoiceCodec m_voiceCodec = VoiceCodec::MuLaw;
    uint16_t m_sequence = 0;
    int m_rate = 0;
    int m_channels = 0;
    int m_frameSamples = 0;
    int m_toneHz = 440;
    int64_t m_sampleIndex = 0;
};

} // namespace tvdevsim
