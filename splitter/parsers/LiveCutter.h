// How the delivery loop cuts the live byte stream into samples. Each routine looks
// at the buffered bytes from the read position on and says how far the read
// position moves and which bytes make the sample; it never copies out of range
// and keeps no state except the QBox cutter's two partial counters.
//
// Called on the splitter's delivery thread under the ring lock.
#pragma once

#include "DeviceFrameHeader.h"
#include "TSParser.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

enum class LiveCut {
    NotFound, // nothing of this kind here (the caller tries its next rule)
    NeedMore, // wait for more bytes; `consumed` bytes may be dropped already
    Drop,     // `consumed` bytes are dropped and no sample is made
    Video,    // a video sample: payload bytes
    Voice,    // a device voice frame: payload bytes for the voice decoder
    Audio,    // an AAC frame as ADTS was appended to the caller's audio buffer
};

// ---- device frames (CodecKind 3) ----

struct DeviceFrameCut {
    LiveCut result = LiveCut::NotFound;
    size_t consumed = 0; // read position advance
    size_t payloadOffset = 0;
    size_t payloadLength = 0;
    // A video frame of the 40-byte layout whose 16-bit total length is full:
    // a piece of a larger picture that goes on in the next frame.
    bool continues = false;
};

// Searches ">>>>"; none: NotFound. A frame is handled when more than 40 bytes follow
// the magic and the whole frame is buffered (else NeedMore, the bytes before the
// magic consumed). A total length below the header size drops the header and the
// frame; a voice flag gives Voice, anything else Video; the read position then
// moves past the frame. Headers with byte 5 high nibble 2 are read in the 36-byte
// layout (total length at 20, at most 36 + 0x100000), all others in the 40-byte one.
// A frame that came short (a datagram lost, a frame cut) has the next frame's
// header inside its total length: it is dropped up to that header (Drop) as soon
// as the header is buffered, rather than taking the next frame with it.
// A 40-byte video frame of total length 0xFFFF is marked `continues`.
DeviceFrameCut CutDeviceFrame(std::span<const uint8_t> buffered);

// A valid device frame header inside the first `length` bytes of the frame
// that begins `frame` (after its own magic): Drop with its offset; NeedMore
// when a magic there has not all its header buffered yet, or the buffered
// bytes end in the first bytes of a magic that starts there; else NotFound.
struct InnerDeviceHeader {
    LiveCut result = LiveCut::NotFound;
    size_t offset = 0;
};
InnerDeviceHeader FindInnerDeviceHeader(std::span<const uint8_t> frame, size_t length);

// Whether bytes begin with a device frame header a stream can carry: the magic,
// a known layout, the whole header, and a total length from the header size to
// the header plus kDeviceMaxPayload.
bool IsDeviceFrameHeader(std::span<const uint8_t> bytes);

// ---- elementary streams (ContainerKind 0 or 1, other CodecKinds) ----

// Length of the unit at the read position: up to the next 00 00 01 after it (the
// read position's own start code, also in its 00 00 00 01 form, does not count);
// without one, all bytes but the last 2. 0 when there is nothing to cut.
size_t CutElementaryUnit(std::span<const uint8_t> buffered);

// ---- transport streams (ContainerKind 2) ----

struct TsPacketCut {
    LiveCut result = LiveCut::NotFound;
    size_t consumed = 0;
    TsPacketPayload payload; // offset relative to the buffered bytes
};

// Syncs when the read position is not on 0x47. Without sync: NotFound, and once
// every offset the search tries (below 3 x size + 5) could be tested with four
// packets behind it, those offsets are consumed. A whole packet gives Video when
// it belongs to videoPid and carries payload, else Drop; the read position moves
// by one packet.
TsPacketCut CutTransportPacket(std::span<const uint8_t> buffered, size_t packetSize,
                               int32_t videoPid);

// ---- JPEG 2000 fields (CodecKind 4) ----

struct JP2KFrameCut {
    LiveCut result = LiveCut::NotFound;
    size_t consumed = 0; // skipped bytes, plus the frame for Video
    size_t frameOffset = 0;
    size_t frameLength = 0; // both field headers and codestreams
};

// In window: a first field, its second field (same frame number) right behind it,
// and the next ">>>>" present after the pair. Video when found and shorter than
// window's size; NeedMore when the pair is not all there yet; skipped bytes are
// those before the first field, or all but the last 3 when none is in the window.
JP2KFrameCut CutJP2KFrame(std::span<const uint8_t> window);

// ---- QBox (ContainerKind 3) ----

struct QBoxCut {
    LiveCut result = LiveCut::NotFound;
    size_t consumed = 0;
    size_t sampleLength = 0; // bytes written to the sample
    bool h264 = false;       // the sample holds H.264 units
};

// The live QBox rules with their partial state (box remainder, unit remainder):
// H.264 boxes are delivered unit by unit in start-code form as the bytes arrive,
// JPEG boxes as one sample once whole, AAC boxes as ADTS frames appended to audio.
class QBoxLiveCutter {
public:
    // sample is the delivery buffer; its size bounds what one step copies.
    QBoxCut Step(std::span<const uint8_t> buffered, std::span<uint8_t> sample,
                 std::vector<uint8_t>& audio);
    void Reset()
    {
        m_boxRemain = 0;
        m_unitRemain = 0;
    }
    size_t BoxRemain() const { return m_boxRemain; }
    size_t UnitRemain() const { return m_unitRemain; }

private:
    QBoxCut ContinueUnits(std::span<const uint8_t> buffered, std::span<uint8_t> sample);

    size_t m_boxRemain = 0;
    size_t m_unitRemain = 0;
};
