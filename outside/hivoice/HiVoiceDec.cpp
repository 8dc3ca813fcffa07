#include "HiVoiceDec.h"

#include "VoiceFrame.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

#include <cstring>
#include <memory>
#include <span>

namespace {

// Layout of the state's words (the caller sees only the 64-byte area).
constexpr uint32_t kStateMagic = 0x44565648; // "HVVD"
enum StateWord : size_t {
    kMagic = 0,
    kFramesDecoded = 1,
    kFramesRefused = 2,
    kLastSequence = 3,
};

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};

AVCodecID CodecIdOf(VoiceCodec codec)
{
    switch (codec) {
    case VoiceCodec::MuLaw:
        return AV_CODEC_ID_PCM_MULAW;
    case VoiceCodec::ALaw:
        return AV_CODEC_ID_PCM_ALAW;
    case VoiceCodec::ImaAdpcm:
        return AV_CODEC_ID_ADPCM_IMA_WAV;
    }
    return AV_CODEC_ID_NONE;
}

// libavcodec's decoder for a codec, looked up once: the lookup walks the
// library's whole codec list, and voice frames come 25 to 50 times a second a
// stream. The codec descriptions are the library's constants, shared by every
// thread; nothing here belongs to a state.
const AVCodec* DecoderFor(VoiceCodec codec)
{
    static const AVCodec* const muLaw = avcodec_find_decoder(CodecIdOf(VoiceCodec::MuLaw));
    static const AVCodec* const aLaw = avcodec_find_decoder(CodecIdOf(VoiceCodec::ALaw));
    static const AVCodec* const imaAdpcm = avcodec_find_decoder(CodecIdOf(VoiceCodec::ImaAdpcm));
    switch (codec) {
    case VoiceCodec::MuLaw:
        return muLaw;
    case VoiceCodec::ALaw:
        return aLaw;
    case VoiceCodec::ImaAdpcm:
        return imaAdpcm;
    }
    return nullptr;
}

// libavcodec takes an IMA ADPCM WAV block as whole groups of 4 data bytes (8
// samples); a device block may end inside a group. It is padded with zero
// nibbles and the samples behind the frame's count are dropped.
constexpr size_t kAdpcmGroup = 4;
constexpr size_t kMaxDecodedSamples = kVoiceMaxSamples + 2 * kAdpcmGroup;

size_t AdpcmBlockAlign(size_t dataLength)
{
    const size_t head = 4;
    const size_t body = dataLength - head;
    return head + (body + kAdpcmGroup - 1) / kAdpcmGroup * kAdpcmGroup;
}

// An opened decoder per codec, kept by the thread that decodes: opening one
// (the context's option defaults, the codec's set-up) cost more than decoding
// a frame, and voice frames come 25 to 50 times a second a stream. Every frame
// is self-contained (G.711 has no memory, an ADPCM WAV block carries its own
// predictor and step index), so a decoder reused across frames, and across
// the states of several streams decoding on one thread, gives the samples a
// fresh one would; the caller's state needs no teardown, and the thread's end
// frees what it opened. A decoder whose last frame went wrong is not reused.
struct OpenDecoders {
    std::unique_ptr<AVCodecContext, CodecContextFree> contexts[3];
    int blockAlign[3] = {};
    std::unique_ptr<AVPacket, PacketFree> packet{av_packet_alloc()};
    std::unique_ptr<AVFrame, FrameFree> frame{av_frame_alloc()};
};

// Where OpenDecoders keeps a codec's decoder (one of the three DecoderFor knows).
size_t SlotOf(VoiceCodec codec)
{
    return static_cast<size_t>(codec) - static_cast<size_t>(VoiceCodec::MuLaw);
}

// The thread's decoder for the codec, opened for blocks of packetLength bytes.
AVCodecContext* OpenDecoderFor(OpenDecoders& open, VoiceCodec codec, size_t packetLength)
{
    const AVCodec* decoder = DecoderFor(codec);
    if (!decoder)
        return nullptr;
    const size_t slot = SlotOf(codec);
    const int blockAlign = codec == VoiceCodec::ImaAdpcm ? static_cast<int>(packetLength) : 0;
    auto& ctx = open.contexts[slot];
    if (ctx && open.blockAlign[slot] == blockAlign)
        return ctx.get();
    ctx.reset();
    std::unique_ptr<AVCodecContext, CodecContextFree> fresh(avcodec_alloc_context3(decoder));
    if (!fresh)
        return nullptr;
    fresh->sample_rate = static_cast<int>(kVoiceSampleRate);
    av_channel_layout_default(&fresh->ch_layout, 1);
    if (codec == VoiceCodec::ImaAdpcm) {
        fresh->block_align = blockAlign;
        fresh->bits_per_coded_sample = 4;
    }
    if (avcodec_open2(fresh.get(), decoder, nullptr) < 0)
        return nullptr;
    ctx = std::move(fresh);
    open.blockAlign[slot] = blockAlign;
    return ctx.get();
}

bool DecodeWith(AVCodecContext* ctx, AVPacket* packet, AVFrame* frame, const VoiceFrameInfo& info,
                std::span<const uint8_t> data, size_t packetLength, int16_t* out)
{
    // The packet is a padded copy: libavcodec may read a little past the end of
    // the bytes it is given, and an ADPCM block may need its last group filled.
    if (av_new_packet(packet, static_cast<int>(packetLength)) < 0)
        return false;
    std::memcpy(packet->data, data.data(), data.size());
    std::memset(packet->data + data.size(), 0, packetLength - data.size());
    const int sent = avcodec_send_packet(ctx, packet);
    av_packet_unref(packet);
    if (sent < 0)
        return false;
    int16_t decoded[kMaxDecodedSamples];
    size_t written = 0;
    int received = 0;
    while ((received = avcodec_receive_frame(ctx, frame)) >= 0) {
        const bool s16 = frame->format == AV_SAMPLE_FMT_S16 || frame->format == AV_SAMPLE_FMT_S16P;
        const size_t n = frame->nb_samples > 0 ? static_cast<size_t>(frame->nb_samples) : 0;
        const bool fits = s16 && n <= kMaxDecodedSamples - written;
        if (fits) {
            // Mono: the packed and the planar layout are the same one plane.
            std::memcpy(decoded + written, frame->data[0], n * sizeof(int16_t));
            written += n;
        }
        av_frame_unref(frame);
        if (!fits)
            return false;
    }
    if (received != AVERROR(EAGAIN) || written < info.samples)
        return false;
    std::memcpy(out, decoded, info.samples * sizeof(int16_t));
    return true;
}

// Decodes the codec bytes of one frame into out (info.samples samples).
bool DecodeWithLibavcodec(const VoiceFrameInfo& info, std::span<const uint8_t> data, int16_t* out)
{
    thread_local OpenDecoders open;
    if (!open.packet || !open.frame)
        return false;
    const size_t packetLength =
        info.codec == VoiceCodec::ImaAdpcm ? AdpcmBlockAlign(data.size()) : data.size();
    AVCodecContext* ctx = OpenDecoderFor(open, info.codec, packetLength);
    if (!ctx)
        return false;
    if (DecodeWith(ctx, open.packet.get(), open.frame.get(), info, data, packetLength, out))
        return true;
    // Whatever it still holds must not come out with the next frame.
    open.contexts[SlotOf(info.codec)].reset();
    return false;
}

} // namespace

extern "C" int32_t HI_VOICE_DecReset(HI_VOICE_DEC_STATE* state, int32_t mode)
{
    if (!state || mode != HI_VOICE_RESET_DECODE)
        return HI_VOICE_ERR_ARG;
    std::memset(state, 0, sizeof(*state));
    state->words[kMagic] = kStateMagic;
    return HI_VOICE_OK;
}

extern "C" int32_t HI_VOICE_DecodeFrame(HI_VOICE_DEC_STATE* state, const uint8_t* frame,
                                        uint32_t frameLength, int16_t* output,
                                        uint32_t* sampleCount)
{
    if (!sampleCount)
        return HI_VOICE_ERR_ARG;
    const uint32_t room = *sampleCount;
    *sampleCount = 0;
    if (!state || !output || (!frame && frameLength > 0))
        return HI_VOICE_ERR_ARG;
    if (state->words[kMagic] != kStateMagic)
        return HI_VOICE_ERR_STATE;
    auto refuse = [state](int32_t result) {
        ++state->words[kFramesRefused];
        return result;
    };
    VoiceFrameInfo info;
    std::span<const uint8_t> data;
    if (!ReadVoiceFrame(std::span<const uint8_t>(frame, frameLength), info, &data))
        return refuse(HI_VOICE_ERR_FRAME);
    if (info.samples > room)
        return refuse(HI_VOICE_ERR_SPACE);
    if (!DecodeWithLibavcodec(info, data, output))
        return refuse(HI_VOICE_ERR_DECODE);
    ++state->words[kFramesDecoded];
    state->words[kLastSequence] = info.sequence;
    *sampleCount = info.samples;
    return HI_VOICE_OK;
}
