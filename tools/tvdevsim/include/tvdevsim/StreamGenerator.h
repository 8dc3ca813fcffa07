// The encoder half of the device simulator: turns a moving test pattern and a
// tone into the byte stream of one stream kind, one unit (a frame, a voice frame,
// an audio box) at a time, in the order an encoder sends them.
//
// Single-threaded: one generator per stream; the simulator's sender thread owns it.
// Everything but the wall-clock timestamps of live mode is a function of the
// configuration, so two generators with the same settings give the same bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "VoiceFrame.h"

namespace tvdevsim {

enum class SimKind {
    Device40,            // device H.264, 40-byte headers, voice frames
    Device36,            // device H.264, 36-byte headers, voice frames
    DeviceFieldD1,       // device H.264 field-coded at D1 (704 x 288 fields), 36-byte headers
    Jp2kFields,          // JPEG 2000 field pairs behind 144-byte headers
    QBoxH264,            // QBox HD H.264 with AAC boxes
    QBoxMjpeg,           // QBox Motion JPEG, progressive
    QBoxMjpegInterlaced, // QBox Motion JPEG, two field pictures per box
    TsMpeg2,             // 188-byte TS, MPEG-2 video
    TsMpeg4,             // 188-byte TS, MPEG-4 video
    TsH264,              // 188-byte TS, H.264
    Ts192H264,           // 192-byte TS, HD H.264
    EsMpeg2,             // elementary MPEG-2
    EsMpeg4,             // elementary MPEG-4
    EsH264,              // elementary H.264
};

inline constexpr SimKind kAllKinds[] = {
    SimKind::Device40, SimKind::Device36,  SimKind::DeviceFieldD1,       SimKind::Jp2kFields,
    SimKind::QBoxH264, SimKind::QBoxMjpeg, SimKind::QBoxMjpegInterlaced, SimKind::TsMpeg2,
    SimKind::TsMpeg4,  SimKind::TsH264,    SimKind::Ts192H264,           SimKind::EsMpeg2,
    SimKind::EsMpeg4,  SimKind::EsH264,
};

// Short name used on the command line ("dev40", "ts-mpeg2", ...).
const char* KindName(SimKind kind);
// One line for --help and the start-up message.
const char* KindDescription(SimKind kind);
bool ParseKind(const std::string& name, SimKind& kind);
// The record-file extension for the kind (".tvx", ".tvx2", ".tvx4", ".t264",
// ".tmj2" or ".tavc").
const char* RecordExtension(SimKind kind);
// The picture size the kind uses when none is asked for (the field-coded D1 kind
// is always 704 x 576).
void DefaultPictureSize(SimKind kind, int& width, int& height);
// Whether the kind carries timestamps that live mode and the jump fault change.
bool KindHasTimestamps(SimKind kind);

struct GeneratorConfig {
    SimKind kind = SimKind::Device40;
    int width = 0; // 0: DefaultPictureSize
    int height = 0;
    int frameRate = 25;
    int gop = 25;        // frames from one key frame to the next
    int bitrateKbps = 0; // 0: the encoder's own choice for the size
    bool audio = true;   // voice frames (device kinds) or AAC boxes (QBox H.264)
    VoiceCodec voiceCodec = VoiceCodec::MuLaw;
    int toneHz = 440;
    // 36-byte layouts: put the frame type (1 key, 2 P) into byte 13 bits 4-6, as
    // the generation of encoders whose frames go to the frame queue does. It
    // overlays the top of the height field, so geometry readers see a larger height.
    bool frameTypesInHeader = false;
    // Timestamps from the wall clock (live) instead of a fixed start.
    bool live = false;
};

// One unit of the stream as it goes on the wire.
struct StreamUnit {
    std::vector<uint8_t> bytes;
    int64_t streamTimeUs = 0; // from the stream's start: when a real-time sender sends it
    bool video = true;
    bool key = false;
    int64_t frameIndex = -1; // video frames: 0, 1, ...
};

class CStreamGenerator {
public:
    CStreamGenerator();
    ~CStreamGenerator();
    CStreamGenerator(const CStreamGenerator&) = delete;
    CStreamGenerator& operator=(const CStreamGenerator&) = delete;

    // Opens the encoders. False with a message in Error() when an encoder is
    // missing or refuses the settings.
    bool Open(const GeneratorConfig& config);
    const std::string& Error() const { return m_error; }
    const GeneratorConfig& Config() const { return m_config; }
    int Width() const { return m_width; }
    int Height() const { return m_height; }

    // The next unit in send order (video frames and audio interleaved by time).
    // False after an encoder failure (see Error()).
    bool Next(StreamUnit& unit);

    // Offset added to every timestamp written from now on (the jump fault).
    void SetTimestampOffsetUs(int64_t offset) { m_tsOffsetUs = offset; }
    int64_t TimestampOffsetUs() const { return m_tsOffsetUs; }
    // Live mode: stamps from now on read the wall clock again as of this point of
    // the stream (after the sender paused, e.g. while no player was connected).
    void RestartLiveClock(int64_t streamTimeUs);

private:
    struct Impl;
    bool NextVideo(StreamUnit& unit);
    bool NextAudio(StreamUnit& unit);
    int64_t StampUs(int64_t streamTimeUs) const;
    uint64_t QBoxTime(int64_t stampUs) const;

    GeneratorConfig m_config;
    std::string m_error;
    int m_width = 0;
    int m_height = 0;
    int64_t m_videoIndex = 0;
    int64_t m_audioSamples = 0; // samples emitted so far (at the audio rate)
    int64_t m_tsOffsetUs = 0;
    int64_t m_liveBaseUs = 0;
    uint16_t m_voiceSequence = 0;
    std::vector<StreamUnit> m_pendingVideo; // encoder output waiting for its turn
    std::unique_ptr<Impl> m_impl;
};

} // namespace tvdevsim
