// CLiveStep: one turn of the splitter's delivery thread in push mode, without
// the pins: it looks at the receive ring, cuts at most one unit for the kinds
// of the stream into the sample buffer, moves the read position, and says what
// the thread does next (deliver video, hand audio over, wait). The waits, the
// clock pacing of CodecKind 256 and the delivery itself are the caller's, so
// that they happen outside the ring lock.
//
// The rules per kind (the order they are tried in):
//   256       device frames paced by their capture times, after a prebuffer
//   4         JPEG 2000 field pairs
//   3         device frames with voice frames, when the stream is framed by
//             DeviceFrameHeaders (decided once from the buffered bytes: a
//             detected "device H.264" stream may also be a bare H.264
//             elementary stream or a transport stream)
//   container 0/1   one elementary-stream unit (up to the next start code)
//   container 2     one transport packet of the video PID
//   container 3     QBox: H.264 units, JPEG boxes, AAC boxes as ADTS
// A turn with fewer than 192 bytes buffered waits.
//
// Not thread-safe: the filter calls Step on its delivery thread with the ring
// lock held, and the setters under the same lock.
#pragma once

#include "CReceiveRing.h"
#include "LiveCutter.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Whether CodecKind 3 bytes are cut by their device headers.
enum class DeviceFraming {
    Undecided,  // decided at the next turn from the buffered bytes
    Device,     // DeviceFrameHeaders; bytes between frames are dropped
    Elementary, // no device headers: the container rules alone
};

// Prebuffering of CodecKind 256.
struct PrebufferLevels {
    size_t initial = 256000; // the first fill (the configuration file's value)
    size_t refill = 51200;   // every fill after the first
    size_t low = 2048;       // fewer bytes than this start a fill again
};

struct LiveStepResult {
    enum class Kind {
        Wait,    // nothing to hand on
        Video,   // sampleLength bytes in the sample
        Voice,   // a device voice payload in the audio buffer (for the voice decoder)
        Aac,     // one ADTS frame in the audio buffer
        Dropped, // bytes were dropped and nothing is handed on
    };
    Kind kind = Kind::Wait;
    size_t sampleLength = 0;
    // The video is a piece of a byte stream cut where the bytes happened to end
    // (an elementary-stream unit, or H.264 units of a QBox copied as they
    // arrive): consecutive pieces make the stream, not each one a frame.
    bool piece = false;
    uint32_t sleepMs = 0; // what the thread waits after the turn
    // CodecKind 256: the sample is a whole device frame to pace by this capture
    // time (microseconds) before it is delivered.
    bool clocked = false;
    int64_t captureTimeUs = 0;
};

class CLiveStep {
public:
    static constexpr size_t kMinBuffered = 192;
    // Device frames of CodecKind 256 longer than this are passed over by 4 bytes.
    static constexpr int64_t kMaxClockedFrame = 1000000;
    // Pieces of one picture joined at most (more full pieces than the video
    // pin's buffer holds).
    static constexpr size_t kMaxDevicePieces = 32;

    // The stream's kinds and the transport stream's video PID; the framing of
    // CodecKind 3, the QBox state and the prebuffer start afresh.
    void Configure(int32_t codecKind, int32_t containerKind, int32_t videoPid);
    // Stop and BreakConnect: the QBox partial state goes and prebuffering starts
    // again (the levels stay as they are).
    void Reset();

    void SetPrebufferLevels(const PrebufferLevels& levels);
    // The threshold the next fill waits for.
    size_t PrebufferThreshold() const { return m_threshold; }
    bool Prebuffering() const { return m_prebuffer; }
    DeviceFraming Framing() const { return m_framing; }
    void SetFraming(DeviceFraming framing) { m_framing = framing; }
    // Lowers the 192-byte minimum (a test's or fuzzer's final drain).
    void SetMinBuffered(size_t bytes) { m_minBuffered = bytes; }

    // One turn. sample: the delivery buffer (its size bounds every unit);
    // audio receives a voice payload or an ADTS frame (cleared first).
    LiveStepResult Step(CReceiveRing& ring, std::span<uint8_t> sample, std::vector<uint8_t>& audio);

    // True when bytes hold a plausible DeviceFrameHeader: the magic, a known
    // layout and a total length from the header size to header + 0x100000.
    static bool HasDeviceFrameHeader(std::span<const uint8_t> bytes);

private:
    LiveStepResult StepClocked(CReceiveRing& ring, std::span<uint8_t> sample);
    LiveStepResult StepJP2K(CReceiveRing& ring, std::span<uint8_t> sample);
    // One video frame, or the pieces of a picture sent in consecutive frames
    // joined (waits until the last piece is buffered).
    LiveStepResult StepDevicePicture(CReceiveRing& ring, std::span<uint8_t> sample,
                                     const DeviceFrameCut& first);
    LiveStepResult StepDevice(CReceiveRing& ring, std::span<uint8_t> sample,
                              std::vector<uint8_t>& audio);
    LiveStepResult StepElementary(CReceiveRing& ring, std::span<uint8_t> sample);
    LiveStepResult StepTransport(CReceiveRing& ring, std::span<uint8_t> sample);
    LiveStepResult StepQBox(CReceiveRing& ring, std::span<uint8_t> sample,
                            std::vector<uint8_t>& audio);

    int32_t m_codecKind = 0;
    int32_t m_containerKind = 0;
    int32_t m_videoPid = -1;
    DeviceFraming m_framing = DeviceFraming::Undecided;
    QBoxLiveCutter m_qbox;
    PrebufferLevels m_levels;
    size_t m_threshold = PrebufferLevels{}.initial;
    bool m_prebuffer = true;
    bool m_firstFillDone = false;
    size_t m_minBuffered = kMinBuffered;
};
