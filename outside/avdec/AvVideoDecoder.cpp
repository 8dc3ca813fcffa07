#include "AvVideoDecoder.h"

#include <algorithm>
#include <cstring>
#include <iterator>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
}

namespace {

// A video object layer start code (00 00 01 20..2F) in the bytes.
bool HasVolStartCode(std::span<const uint8_t> b)
{
    for (size_t i = 0; i + 3 < b.size(); ++i)
        if (b[i] == 0 && b[i + 1] == 0 && b[i + 2] == 1 && (b[i + 3] & 0xF0) == 0x20)
            return true;
    return false;
}

} // namespace

struct CAvVideoDecoder::Impl {
    const AVCodec* codec = nullptr;
    AVCodecContext* ctx = nullptr;
    AVCodecParserContext* parser = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    // The input buffer: one sample's bytes with the zeroed tail the parsers
    // may read ahead into.
    std::vector<uint8_t> input;

    ~Impl()
    {
        if (parser)
            av_parser_close(parser);
        av_frame_free(&frame);
        av_packet_free(&packet);
        avcodec_free_context(&ctx);
    }
};

CAvVideoDecoder::CAvVideoDecoder() = default;
CAvVideoDecoder::~CAvVideoDecoder() = default;

bool CAvVideoDecoder::Open(AVCodecID codecId, std::span<const uint8_t> config, std::string* why)
{
    Close();
    auto impl = std::make_unique<Impl>();
    auto fail = [why](const char* reason) {
        if (why)
            *why = reason;
        return false;
    };
    impl->codec = avcodec_find_decoder(codecId);
    if (!impl->codec)
        return fail("libavcodec has no decoder for the codec");
    impl->ctx = avcodec_alloc_context3(impl->codec);
    impl->packet = av_packet_alloc();
    impl->frame = av_frame_alloc();
    if (!impl->ctx || !impl->packet || !impl->frame)
        return fail("out of memory");
    // One thread per stream: capacity comes from streams decoded side by
    // side, and a picture leaves as soon as it is decoded.
    impl->ctx->thread_count = 1;
    impl->ctx->flags &= ~AV_CODEC_FLAG_OUTPUT_CORRUPT;
    if (!config.empty()) {
        if (config.size() > 65536)
            return fail("codec configuration too large");
        impl->ctx->extradata =
            static_cast<uint8_t*>(av_mallocz(config.size() + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!impl->ctx->extradata)
            return fail("out of memory");
        std::memcpy(impl->ctx->extradata, config.data(), config.size());
        impl->ctx->extradata_size = static_cast<int>(config.size());
    }
    if (avcodec_open2(impl->ctx, impl->codec, nullptr) < 0)
        return fail("libavcodec refuses to open the decoder");
    impl->parser = av_parser_init(codecId);
    m_impl = std::move(impl);
    m_waitForKey = true;
    m_needVol = codecId == AV_CODEC_ID_MPEG4 && !HasVolStartCode(config);
    std::fill(std::begin(m_volTail), std::end(m_volTail), 0xFF);
    return true;
}

void CAvVideoDecoder::Close()
{
    m_impl.reset();
}

bool CAvVideoDecoder::IsOpen() const
{
    return m_impl != nullptr;
}

bool CAvVideoDecoder::RestartParser()
{
    if (!m_impl->parser)
        return true;
    av_parser_close(m_impl->parser);
    m_impl->parser = av_parser_init(m_impl->codec->id);
    return m_impl->parser != nullptr;
}

void CAvVideoDecoder::Reset()
{
    if (!m_impl)
        return;
    avcodec_flush_buffers(m_impl->ctx);
    RestartParser();
    m_waitForKey = true;
}

CAvVideoDecoder::Status CAvVideoDecoder::Collect(const PictureSink& sink)
{
    Impl& d = *m_impl;
    Status status = Status::Ok;
    while (avcodec_receive_frame(d.ctx, d.frame) == 0) {
        const bool damaged =
            d.frame->decode_error_flags != 0 || (d.frame->flags & AV_FRAME_FLAG_CORRUPT) != 0;
        const bool key = d.frame->key_frame || d.frame->pict_type == AV_PICTURE_TYPE_I;
        bool show = false;
        if (damaged) {
            ++m_counters.damaged;
            m_waitForKey = true;
            status = Status::Damaged;
        } else if (m_needVol || (m_waitForKey && !key)) {
            ++m_counters.beforeKeyPicture;
        } else {
            m_waitForKey = false;
            show = d.frame->width > 0 && d.frame->height > 0 && d.frame->data[0];
        }
        if (show) {
            ++m_counters.pictures;
            if (!sink(*d.frame)) {
                av_frame_unref(d.frame);
                return Status::Stopped;
            }
        }
        av_frame_unref(d.frame);
    }
    return status;
}

CAvVideoDecoder::Status CAvVideoDecoder::Send(const uint8_t* data, int size,
                                              const PictureSink& sink)
{
    Impl& d = *m_impl;
    // Not reference-counted: libavcodec copies what it keeps.
    d.packet->data = const_cast<uint8_t*>(data);
    d.packet->size = size;
    int rc = avcodec_send_packet(d.ctx, d.packet);
    Status status = Status::Ok;
    if (rc == AVERROR(EAGAIN)) {
        // The decoder wants its pictures taken first.
        status = Collect(sink);
        if (status == Status::Stopped)
            return status;
        rc = avcodec_send_packet(d.ctx, d.packet);
    }
    d.packet->data = nullptr;
    d.packet->size = 0;
    if (rc < 0 && rc != AVERROR(EAGAIN) && rc != AVERROR_EOF) {
        ++m_counters.damaged;
        m_waitForKey = true;
        status = Status::Damaged;
    }
    const Status collected = Collect(sink);
    return collected == Status::Ok ? status : collected;
}

CAvVideoDecoder::Status CAvVideoDecoder::Decode(std::span<const uint8_t> bytes,
                                                const PictureSink& sink)
{
    if (!m_impl || bytes.size() > kInputBufferBytes) {
        ++m_counters.refusedSamples;
        Reset();
        return Status::Refused;
    }
    if (bytes.empty())
        return Status::Ok;
    if (m_needVol)
        LookForVol(bytes);
    Impl& d = *m_impl;
    d.input.resize(bytes.size() + AV_INPUT_BUFFER_PADDING_SIZE);
    std::memcpy(d.input.data(), bytes.data(), bytes.size());
    std::memset(d.input.data() + bytes.size(), 0, AV_INPUT_BUFFER_PADDING_SIZE);

    if (!d.parser)
        return Send(d.input.data(), static_cast<int>(bytes.size()), sink);
    Status status = Status::Ok;
    const uint8_t* in = d.input.data();
    int left = static_cast<int>(bytes.size());
    while (left > 0) {
        uint8_t* out = nullptr;
        int outSize = 0;
        const int used = av_parser_parse2(d.parser, d.ctx, &out, &outSize, in, left, AV_NOPTS_VALUE,
                                          AV_NOPTS_VALUE, 0);
        if (used < 0 || (used == 0 && outSize == 0)) {
            // The parser is stuck on these bytes: drop them and start over.
            ++m_counters.damaged;
            Reset();
            return Status::Damaged;
        }
        in += used;
        left -= used;
        if (outSize > 0) {
            const Status s = Send(out, outSize, sink);
            if (s == Status::Stopped)
                return s;
            if (s != Status::Ok)
                status = s;
        }
    }
    return status;
}

void CAvVideoDecoder::LookForVol(std::span<const uint8_t> bytes)
{
    // A start code may straddle two samples: the last three bytes of the ones
    // before are looked at with the first three of these.
    uint8_t joint[6];
    size_t n = 0;
    for (uint8_t b : m_volTail)
        joint[n++] = b;
    for (size_t i = 0; i < 3 && i < bytes.size(); ++i)
        joint[n++] = bytes[i];
    if (HasVolStartCode({joint, n}) || HasVolStartCode(bytes))
        m_needVol = false;
    uint8_t tail[3];
    for (size_t i = 0; i < 3; ++i) {
        const size_t back = 3 - i; // place from the end of everything seen
        tail[i] = back <= bytes.size() ? bytes[bytes.size() - back]
                                       : m_volTail[3 - (back - bytes.size())];
    }
    std::copy(tail, tail + 3, m_volTail);
}

CAvVideoDecoder::Status CAvVideoDecoder::Drain(const PictureSink& sink)
{
    if (!m_impl)
        return Status::Refused;
    Impl& d = *m_impl;
    Status status = Status::Ok;
    if (d.parser) {
        uint8_t* out = nullptr;
        int outSize = 0;
        av_parser_parse2(d.parser, d.ctx, &out, &outSize, nullptr, 0, AV_NOPTS_VALUE,
                         AV_NOPTS_VALUE, 0);
        if (outSize > 0)
            status = Send(out, outSize, sink);
    }
    if (status != Status::Stopped) {
        avcodec_send_packet(d.ctx, nullptr);
        const Status s = Collect(sink);
        if (s != Status::Ok)
            status = s;
    }
    Reset();
    return status;
}
