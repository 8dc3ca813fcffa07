// CAvVideoDecoder: one libavcodec video decoder behind its bitstream parser,
// for streams that arrive in arbitrary pieces (one start-code unit per sample
// from an elementary stream, one packet payload from a transport stream, NAL
// units from QBox boxes): the parser finds the pictures, the decoder decodes
// them, and the pictures that are fit to show are handed to the caller in
// display order.
//
// Fit to show: nothing before the first key picture (intra-coded, or an H.264
// recovery point); after a damaged picture or a bitstream error, nothing until
// the next key picture. MPEG-4 Part 2 pictures need the video object layer
// header, which encoders may send only at the start of a stream: until one
// has come (in the configuration or in the stream) nothing is shown, since
// libavcodec would decode them with guessed parameters into garbage. A sample larger than the input
// buffer is refused whole, which loses stream data: the decoder starts over at the next key
// picture.
//
// Not thread-safe: the owning filter calls it under its receive lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/codec_id.h>
}

struct AVFrame;

class CAvVideoDecoder {
public:
    // Bytes one sample may carry; the decoder's input buffer.
    static constexpr size_t kInputBufferBytes = 4 * 1024 * 1024;

    // Called for each picture fit to show; false stops the decoding of the
    // current sample (the receiver cannot take more).
    using PictureSink = std::function<bool(const AVFrame& picture)>;

    enum class Status {
        Ok,      // everything was taken (pictures may have been handed out)
        Refused, // the sample was too large or the decoder is not open
        Damaged, // the bytes held an error; waiting for the next key picture
        Stopped, // the sink said stop
    };

    struct Counters {
        uint64_t pictures = 0;         // handed out
        uint64_t beforeKeyPicture = 0; // decoded but held back (no key picture yet)
        uint64_t damaged = 0;          // pictures or packets with errors
        uint64_t refusedSamples = 0;
    };

    CAvVideoDecoder();
    ~CAvVideoDecoder();
    CAvVideoDecoder(const CAvVideoDecoder&) = delete;
    CAvVideoDecoder& operator=(const CAvVideoDecoder&) = delete;

    // Opens the decoder for a codec with its configuration (an MPEG sequence
    // header, H.264 parameter sets in start-code form; may be empty). False,
    // with the reason in *why, when libavcodec lacks the codec or refuses it.
    bool Open(AVCodecID codec, std::span<const uint8_t> config, std::string* why);
    void Close();
    bool IsOpen() const;

    Status Decode(std::span<const uint8_t> bytes, const PictureSink& sink);
    // End of stream: the pictures the parser and the decoder still hold are
    // handed out; then the decoder is ready for a new stream (from a key
    // picture).
    Status Drain(const PictureSink& sink);
    // Drops everything held; the next picture shown is a key picture.
    void Reset();

    const Counters& GetCounters() const { return m_counters; }

private:
    struct Impl;
    Status Send(const uint8_t* data, int size, const PictureSink& sink);
    Status Collect(const PictureSink& sink);
    bool RestartParser();

    void LookForVol(std::span<const uint8_t> bytes);

    std::unique_ptr<Impl> m_impl;
    Counters m_counters;
    bool m_waitForKey = true;
    bool m_needVol = false;    // MPEG-4 without a video object layer header yet
    uint8_t m_volTail[3] = {}; // the last bytes looked at, for a start code across samples
};
