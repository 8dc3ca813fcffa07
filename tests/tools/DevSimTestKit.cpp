#include "DevSimTestKit.h"

#include <arpa/inet.h>
#include <cstdio>
#include <string>
#include <fstream>
#include <iterator>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
}

namespace devsimtest {

std::vector<uint8_t> Generate(const tvdevsim::GeneratorConfig& config, int frames,
                              std::vector<tvdevsim::StreamUnit>* units)
{
    tvdevsim::CStreamGenerator gen;
    std::vector<uint8_t> out;
    if (!gen.Open(config))
        return out;
    int video = 0;
    tvdevsim::StreamUnit unit;
    while (video < frames && gen.Next(unit)) {
        if (unit.video)
            ++video;
        out.insert(out.end(), unit.bytes.begin(), unit.bytes.end());
        if (units)
            units->push_back(unit);
    }
    return out;
}

namespace {

struct Codec {
    AVCodecContext* ctx = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    Decoded result;
    std::vector<uint8_t> firstLuma; // kept when keepLuma is set
    bool keepLuma = false;

    explicit Codec(const char* name, int voiceBlock = 0)
    {
        av_log_set_level(AV_LOG_FATAL);
        const AVCodec* codec = avcodec_find_decoder_by_name(name);
        if (!codec)
            return;
        ctx = avcodec_alloc_context3(codec);
        ctx->thread_count = 1;
        if (voiceBlock > 0) {
            ctx->sample_rate = 8000;
            av_channel_layout_default(&ctx->ch_layout, 1);
            ctx->block_align = voiceBlock;
            ctx->bits_per_coded_sample = std::string(name) == "adpcm_ima_wav" ? 4 : 8;
        }
        if (avcodec_open2(ctx, codec, nullptr) < 0)
            avcodec_free_context(&ctx);
        frame = av_frame_alloc();
        packet = av_packet_alloc();
    }
    ~Codec()
    {
        avcodec_free_context(&ctx);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }
    void Drain()
    {
        while (avcodec_receive_frame(ctx, frame) == 0) {
            if (ctx->codec_type == AVMEDIA_TYPE_VIDEO) {
                if (keepLuma && result.pictures == 0) {
                    for (int y = 0; y < frame->height; ++y)
                        firstLuma.insert(firstLuma.end(), frame->data[0] + y * frame->linesize[0],
                                         frame->data[0] + y * frame->linesize[0] + frame->width);
                }
                ++result.pictures;
                result.width = frame->width;
                result.height = frame->height;
            } else {
                result.samples += frame->nb_samples;
                result.sampleRate = frame->sample_rate;
                result.channels = frame->ch_layout.nb_channels;
            }
            av_frame_unref(frame);
        }
    }
    void Send(const uint8_t* data, size_t size)
    {
        av_packet_unref(packet);
        if (av_new_packet(packet, static_cast<int>(size)) < 0)
            return;
        std::copy(data, data + size, packet->data);
        if (avcodec_send_packet(ctx, packet) < 0)
            ++result.errors;
        Drain();
    }
    void Flush()
    {
        avcodec_send_packet(ctx, nullptr);
        Drain();
    }
};

} // namespace

Decoded DecodePackets(const char* decoder, const std::vector<std::vector<uint8_t>>& packets)
{
    Codec c(decoder);
    if (!c.ctx) {
        c.result.errors = -1;
        return c.result;
    }
    for (const auto& p : packets)
        c.Send(p.data(), p.size());
    c.Flush();
    return c.result;
}

std::vector<uint8_t> DecodeFirstLuma(const char* decoder,
                                     const std::vector<std::vector<uint8_t>>& packets, int& width,
                                     int& height)
{
    Codec c(decoder);
    if (!c.ctx)
        return {};
    c.keepLuma = true;
    for (const auto& p : packets)
        c.Send(p.data(), p.size());
    c.Flush();
    width = c.result.width;
    height = c.result.height;
    return c.firstLuma;
}

Decoded DecodeVoice(const char* decoder, std::span<const uint8_t> data)
{
    Codec c(decoder, static_cast<int>(data.size()));
    if (!c.ctx) {
        c.result.errors = -1;
        return c.result;
    }
    c.Send(data.data(), data.size());
    c.Flush();
    return c.result;
}

Decoded DecodeElementary(const char* decoder, const std::vector<uint8_t>& es)
{
    Codec c(decoder);
    if (!c.ctx) {
        c.result.errors = -1;
        return c.result;
    }
    AVCodecParserContext* parser = av_parser_init(c.ctx->codec_id);
    if (!parser) {
        c.result.errors = -1;
        return c.result;
    }
    std::vector<uint8_t> padded(es);
    padded.resize(es.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    const uint8_t* data = padded.data();
    size_t left = es.size();
    for (;;) {
        uint8_t* out = nullptr;
        int outSize = 0;
        const bool flushing = left == 0; // an empty buffer gives out what the parser holds
        const int used =
            av_parser_parse2(parser, c.ctx, &out, &outSize, data, static_cast<int>(left),
                             AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
        data += used;
        left -= static_cast<size_t>(used);
        if (outSize > 0)
            c.Send(out, static_cast<size_t>(outSize));
        if (flushing && outSize == 0)
            break;
    }
    av_parser_close(parser);
    c.Flush();
    return c.result;
}

std::vector<uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

std::string TempPath(const std::string& name)
{
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/tvdevsim-test-" +
           std::to_string(::getpid()) + "-" + name;
}

int BindUdp(int& port)
{
    const int s = ::socket(AF_INET, SOCK_DGRAM, 0);
    int buf = 8 << 20;
    setsockopt(s, SOL_SOCKET, SO_RCVBUF, &buf, sizeof buf);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0) {
        ::close(s);
        return -1;
    }
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return s;
}

int ListenTcp(int& port)
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) < 0 || ::listen(s, 4) < 0) {
        ::close(s);
        return -1;
    }
    socklen_t len = sizeof a;
    getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return s;
}

std::vector<uint8_t> ReadUntilClosed(int socket)
{
    std::vector<uint8_t> out;
    uint8_t buf[65536];
    for (;;) {
        pollfd p{socket, POLLIN, 0};
        if (::poll(&p, 1, 10000) <= 0)
            break; // a stuck sender must not hang the test
        const ssize_t n = ::recv(socket, buf, sizeof buf, 0);
        if (n <= 0)
            break;
        out.insert(out.end(), buf, buf + n);
    }
    return out;
}

std::vector<std::vector<uint8_t>> ReceiveDatagrams(int socket, uint64_t bytes, int idleMs)
{
    std::vector<std::vector<uint8_t>> out;
    uint64_t got = 0;
    std::vector<uint8_t> buf(65536);
    while (got < bytes) {
        pollfd p{socket, POLLIN, 0};
        if (::poll(&p, 1, idleMs) <= 0)
            break;
        const ssize_t n = ::recv(socket, buf.data(), buf.size(), 0);
        if (n < 0)
            break;
        out.emplace_back(buf.begin(), buf.begin() + n);
        got += static_cast<uint64_t>(n);
    }
    return out;
}

} // namespace devsimtest
