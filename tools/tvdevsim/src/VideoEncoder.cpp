#include "VideoEncoder.h"

#include <algorithm>
#include <array>
#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

namespace tvdevsim {

CVideoEncoder::~CVideoEncoder()
{
    Close();
}

void CVideoEncoder::Close()
{
    avcodec_free_context(&m_ctx);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
}

bool CVideoEncoder::Open(const VideoEncoderSettings& s, std::string& error)
{
    Close();
    // The encoders' own statistics would bury the simulator's output.
    if (av_log_get_level() > AV_LOG_ERROR)
        av_log_set_level(AV_LOG_ERROR);
    const AVCodec* codec = avcodec_find_encoder_by_name(s.codec.c_str());
    if (!codec) {
        error = "this libavcodec has no \"" + s.codec + "\" encoder";
        return false;
    }
    m_ctx = avcodec_alloc_context3(codec);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_ctx || !m_frame || !m_packet) {
        error = "out of memory";
        return false;
    }
    m_yuvj = s.codec == "mjpeg";
    m_ctx->width = s.width;
    m_ctx->height = s.height;
    m_ctx->time_base = AVRational{1, s.frameRate};
    m_ctx->framerate = AVRational{s.frameRate, 1};
    m_ctx->pix_fmt = m_yuvj ? AV_PIX_FMT_YUVJ420P : AV_PIX_FMT_YUV420P;
    m_ctx->gop_size = s.gop;
    m_ctx->max_b_frames = 0;
    m_ctx->thread_count = 1;
    // One picture in, one picture out: mpeg2video otherwise holds a picture back.
    if (s.codec == "mpeg2video")
        m_ctx->flags |= AV_CODEC_FLAG_LOW_DELAY;
    if (s.bitrateKbps > 0)
        m_ctx->bit_rate = int64_t{s.bitrateKbps} * 1000;
    else if (s.codec != "libx264")
        m_ctx->bit_rate = int64_t{s.width} * s.height * s.frameRate / 8; // ~0.12 bit per pixel
    AVDictionary* opts = nullptr;
    if (s.codec == "libx264") {
        av_dict_set(&opts, "preset", "ultrafast", 0);
        av_dict_set(&opts, "tune", "zerolatency", 0);
        if (!s.profile.empty())
            av_dict_set(&opts, "profile", s.profile.c_str(), 0);
        av_dict_set(&opts, "threads", "1", 0);
        if (s.bitrateKbps <= 0)
            av_dict_set(&opts, "crf", "26", 0);
        // No scene-cut key frames: the key-frame cadence is the GOP, as on the device.
        // High profile needs a High tool in use, or x264 signals a lower profile.
        av_dict_set(&opts, "x264-params",
                    s.profile == "high" ? "scenecut=0:open-gop=0:8x8dct=1:cabac=1"
                                        : "scenecut=0:open-gop=0",
                    0);
    } else if (s.codec == "mjpeg") {
        m_ctx->bit_rate = 0;
        m_ctx->flags |= AV_CODEC_FLAG_QSCALE;
        m_ctx->global_quality = FF_QP2LAMBDA * 4;
    }
    const int rc = avcodec_open2(m_ctx, codec, &opts);
    av_dict_free(&opts);
    if (rc < 0) {
        char text[128];
        av_strerror(rc, text, sizeof text);
        error = "cannot open the \"" + s.codec + "\" encoder: " + text;
        return false;
    }
    m_frame->format = m_ctx->pix_fmt;
    m_frame->width = s.width;
    m_frame->height = s.height;
    if (av_frame_get_buffer(m_frame, 0) < 0) {
        error = "out of memory";
        return false;
    }
    return true;
}

namespace {

// Studio-range values (low .. low + span) stretched to 0..255 (chroma keeps
// 128 in the middle: low 16, span 224).
std::array<uint8_t, 256> RangeTable(int low, int span)
{
    std::array<uint8_t, 256> t{};
    for (int v = 0; v < 256; ++v) {
        const int full = ((v - low) * 255 + span / 2) / span;
        t[static_cast<size_t>(v)] = static_cast<uint8_t>(std::clamp(full, 0, 255));
    }
    return t;
}

} // namespace

bool CVideoEncoder::Encode(const YuvPicture& p, bool key, std::vector<uint8_t>& out, bool& isKey)
{
    if (!m_ctx || p.width != m_ctx->width || p.height != m_ctx->height)
        return false;
    if (av_frame_make_writable(m_frame) < 0)
        return false;
    // The picture is drawn in the studio range; a JPEG's planes are full
    // range (JFIF), so mjpeg gets them stretched, or every decoder would show
    // grey blacks and dull whites.
    static const auto kFullLuma = RangeTable(16, 219);
    static const auto kFullChroma = RangeTable(16, 224);
    const auto copy = [&](uint8_t* to, const uint8_t* from, int n,
                          const std::array<uint8_t, 256>& t) {
        if (!m_yuvj) {
            std::memcpy(to, from, n);
            return;
        }
        for (int i = 0; i < n; ++i)
            to[i] = t[from[i]];
    };
    for (int y = 0; y < p.height; ++y)
        copy(m_frame->data[0] + y * m_frame->linesize[0], &p.y[y * p.width], p.width, kFullLuma);
    for (int y = 0; y < p.ChromaHeight(); ++y) {
        copy(m_frame->data[1] + y * m_frame->linesize[1], &p.u[y * p.ChromaWidth()],
             p.ChromaWidth(), kFullChroma);
        copy(m_frame->data[2] + y * m_frame->linesize[2], &p.v[y * p.ChromaWidth()],
             p.ChromaWidth(), kFullChroma);
    }
    m_frame->pts = m_pts++;
    m_frame->pict_type = key ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_NONE;
    if (key)
        m_frame->key_frame = 1;
    else
        m_frame->key_frame = 0;
    if (int rc = avcodec_send_frame(m_ctx, m_frame); rc < 0) {
        av_log(m_ctx, AV_LOG_ERROR, "send_frame %d\n", rc);
        return false;
    }
    out.clear();
    isKey = false;
    for (;;) {
        const int rc = avcodec_receive_packet(m_ctx, m_packet);
        if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
            break;
        if (rc < 0) {
            av_log(m_ctx, AV_LOG_ERROR, "receive_packet %d\n", rc);
            return false;
        }
        out.insert(out.end(), m_packet->data, m_packet->data + m_packet->size);
        isKey = isKey || (m_packet->flags & AV_PKT_FLAG_KEY) != 0;
        av_packet_unref(m_packet);
    }
    return !out.empty();
}

} // namespace tvdevsim
