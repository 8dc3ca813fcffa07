#include "AudioEncoder.h"

#include <cmath>
#include <numbers>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
}

namespace tvdevsim {

CToneEncoder::~CToneEncoder()
{
    Close();
}

void CToneEncoder::Close()
{
    avcodec_free_context(&m_ctx);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
}

bool CToneEncoder::Open(const char* name, int rate, int channels, std::string& error)
{
    Close();
    const AVCodec* codec = avcodec_find_encoder_by_name(name);
    if (!codec) {
        error = std::string("this libavcodec has no \"") + name + "\" encoder";
        return false;
    }
    m_ctx = avcodec_alloc_context3(codec);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_ctx || !m_frame || !m_packet) {
        error = "out of memory";
        return false;
    }
    m_rate = rate;
    m_channels = channels;
    m_ctx->sample_rate = rate;
    m_ctx->time_base = AVRational{1, rate};
    m_ctx->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
    av_channel_layout_default(&m_ctx->ch_layout, channels);
    m_ctx->thread_count = 1;
    if (std::string(name) == "aac")
        m_ctx->bit_rate = 96000;
    if (std::string(name) == "adpcm_ima_wav")
        av_opt_set_int(m_ctx->priv_data, "block_size", 256, 0);
    const int rc = avcodec_open2(m_ctx, codec, nullptr);
    if (rc < 0) {
        char text[128];
        av_strerror(rc, text, sizeof text);
        error = std::string("cannot open the \"") + name + "\" encoder: " + text;
        return false;
    }
    m_frameSamples = m_ctx->frame_size > 0 ? m_ctx->frame_size : 320;
    m_frame->format = m_ctx->sample_fmt;
    m_frame->nb_samples = m_frameSamples;
    m_frame->sample_rate = rate;
    av_channel_layout_copy(&m_frame->ch_layout, &m_ctx->ch_layout);
    if (av_frame_get_buffer(m_frame, 0) < 0) {
        error = "out of memory";
        return false;
    }
    return true;
}

bool CToneEncoder::OpenVoice(VoiceCodec codec, int toneHz, std::string& error)
{
    m_voice = true;
    m_voiceCodec = codec;
    m_toneHz = toneHz;
    const char* name = codec == VoiceCodec::MuLaw  ? "pcm_mulaw"
                       : codec == VoiceCodec::ALaw ? "pcm_alaw"
                                                   : "adpcm_ima_wav";
    if (!Open(name, static_cast<int>(kVoiceSampleRate), 1, error))
        return false;
    if (m_frameSamples > kVoiceMaxSamples) {
        error = "voice frames would exceed 800 samples";
        return false;
    }
    return true;
}

bool CToneEncoder::OpenAac(int toneHz, std::string& error)
{
    m_voice = false;
    m_toneHz = toneHz;
    return Open("aac", 48000, 2, error);
}

void CToneEncoder::FillTone()
{
    av_frame_make_writable(m_frame);
    const bool planar = av_sample_fmt_is_planar(m_ctx->sample_fmt);
    for (int i = 0; i < m_frameSamples; ++i) {
        const double t = static_cast<double>(m_sampleIndex + i) / m_rate;
        // A tone that beeps: on for 0.5 s, quieter for 0.5 s, so a listener hears it move.
        const double level = (static_cast<int64_t>(t * 2) & 1) ? 0.1 : 0.3;
        const double s = level * std::sin(2 * std::numbers::pi * m_toneHz * t);
        for (int c = 0; c < m_channels; ++c) {
            if (m_ctx->sample_fmt == AV_SAMPLE_FMT_FLTP || m_ctx->sample_fmt == AV_SAMPLE_FMT_FLT) {
                float* p = reinterpret_cast<float*>(m_frame->data[planar ? c : 0]);
                p[planar ? i : i * m_channels + c] = static_cast<float>(s);
            } else {
                int16_t* p = reinterpret_cast<int16_t*>(m_frame->data[planar ? c : 0]);
                p[planar ? i : i * m_channels + c] = static_cast<int16_t>(std::lrint(s * 32767));
            }
        }
    }
    m_frame->pts = m_sampleIndex;
    m_sampleIndex += m_frameSamples;
}

bool CToneEncoder::Next(std::vector<uint8_t>& out)
{
    if (!m_ctx)
        return false;
    // Encoders with look-ahead (AAC) take several frames before the first comes out.
    for (int guard = 0; guard < 16; ++guard) {
        const int rc = avcodec_receive_packet(m_ctx, m_packet);
        if (rc == 0) {
            std::vector<uint8_t> coded(m_packet->data, m_packet->data + m_packet->size);
            av_packet_unref(m_packet);
            out.clear();
            if (!m_voice) {
                out = std::move(coded);
                return true;
            }
            const uint16_t samples = static_cast<uint16_t>(m_frameSamples);
            return AppendVoiceFramePayload(out, m_voiceCodec, samples, m_sequence++, coded);
        }
        if (rc != AVERROR(EAGAIN))
            return false;
        FillTone();
        if (avcodec_send_frame(m_ctx, m_frame) < 0)
            return false;
    }
    return false;
}

} // namespace tvdevsim
