// libavcodec video encoders as the simulator uses them: one picture in, one
// coded picture out, no B-frames, no delay, single-threaded (so the bytes depend
// only on the pictures and settings).
#pragma once

#include "TestPattern.h"

#include <cstdint>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace tvdevsim {

struct VideoEncoderSettings {
    std::string codec; // "libx264", "mpeg2video", "mpeg4", "mjpeg"
    int width = 0;
    int height = 0;
    int frameRate = 25;
    int gop = 25;
    int bitrateKbps = 0;
    std::string profile; // libx264: "baseline", "main", "high"
};

class CVideoEncoder {
public:
    CVideoEncoder() = default;
    ~CVideoEncoder();
    CVideoEncoder(const CVideoEncoder&) = delete;
    CVideoEncoder& operator=(const CVideoEncoder&) = delete;

    // False with a message in error when the encoder is missing or refuses.
    bool Open(const VideoEncoderSettings& settings, std::string& error);
    // Encodes one picture (its size must match); key forces a key picture.
    // The coded bytes replace out; false on an encoder error.
    bool Encode(const YuvPicture& picture, bool key, std::vector<uint8_t>& out, bool& isKey);

private:
    void Close();

    AVCodecContext* m_ctx = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    int64_t m_pts = 0;
    bool m_yuvj = false; // mjpeg takes full-range planes
};

} // namespace tvdevsim
