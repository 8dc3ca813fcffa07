// Walking QBox streams and taking their payloads apart: boxes found by their
// "qbox" type, H.264 payloads (NAL units behind 4-byte lengths) turned into
// start-code form, and AAC payloads behind a "qmed" header.
//
// Pure functions and a small iterator over caller-owned bytes; any thread.
#pragma once

#include "QBoxHeader.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// One box as the walker found it.
struct QBoxRef {
    size_t offset = 0;              // box start in the walked buffer
    QBoxHeader header;              // read from 28 buffered bytes (a box may be smaller)
    std::span<const uint8_t> bytes; // from the box start to its end or the buffer end
    bool complete = false;          // the whole box (header.boxSize bytes) is buffered
};

// Finds boxes the way the splitter does: search "qbox" (from offset 4 at first), a
// box starting 4 bytes before it, then continue the search where the next box's
// type is expected (type offset + box size), so sizes that are not a multiple of
// 4 or stray bytes between boxes are passed over. The walk ends at a box whose
// size has bit 31 set or is 0, or whose 28 header bytes are not all buffered.
class QBoxWalker {
public:
    explicit QBoxWalker(std::span<const uint8_t> buffer) : m_buffer(buffer) {}
    bool Next(QBoxRef& box);

private:
    std::span<const uint8_t> m_buffer;
    size_t m_search = 4;
    bool m_done = false;
};

// Appends the NAL units of an H.264 payload to out, each behind 00 00 00 01 in
// place of its 4-byte length. Stops at a length with bit 31 set, a zero length
// or one running past the payload. Returns the number of units appended; when
// unitStarts is given, the offset in out of each unit's 00 00 00 01 is added to it.
size_t AppendNalUnitsAsStartCodes(std::span<const uint8_t> payload, std::vector<uint8_t>& out,
                                  std::vector<size_t>* unitStarts = nullptr);

// The same in place: each valid 4-byte length becomes 00 00 00 01. Returns the
// number of units rewritten; bytes from the first invalid length on are left.
size_t RewriteNalLengthsInPlace(std::span<uint8_t> payload);

// The media of an H.264 box whose NAL lengths chain exactly to its end. Some
// encoders pad a box whose size is not a multiple of 4 between its header and
// its payload (the size leaves the padding out, so the box takes the size
// rounded up to 4); when the payload does not chain where the header puts it,
// the padded place is tried. bytes run from the box start and may go on past
// the box. False when the media cannot be located at all; true with the
// header's place when neither chains.
bool LocateQBoxH264Media(const QBoxHeader& header, std::span<const uint8_t> bytes, size_t& offset,
                         size_t& length);

// ---- AAC ----

inline constexpr uint8_t kQmedType[4] = {'q', 'm', 'e', 'd'};
inline constexpr size_t kQmedMinHeaderSize = 42; // through the AudioSpecificConfig

struct QmedAacConfig {
    uint32_t headerSize = 0;   // the raw AAC frame starts here in the payload
    uint8_t objectType = 0;    // 2 (AAC LC)
    uint8_t samplingIndex = 0; // 0..12
    uint8_t channels = 0;      // 1 or 2
};

// Checks the "qmed" header at the start of an AAC payload: 4-byte big-endian size
// (at least 42 and within the payload), "qmed", a non-zero 32-bit value with bit
// 31 clear at 36, and at 40-41 an AudioSpecificConfig with object type 2, a
// sampling-frequency index up to 12 and 1 or 2 channels.
bool ReadQmedHeader(std::span<const uint8_t> payload, QmedAacConfig& config);

// Writes a payload the reader accepts: a headerSize-byte "qmed" header (at least
// 42) carrying value36 and the AudioSpecificConfig, followed by the raw frame.
bool AppendQmedPayload(std::vector<uint8_t>& out, uint8_t samplingIndex, uint8_t channels,
                       std::span<const uint8_t> rawFrame, uint32_t value36 = 1024,
                       uint32_t headerSize = 44);

// The media of an AAC box as one ADTS frame appended to out: only when the box's
// sample flags announce a "qmed" header (SampleFlagsSayQmed) and that header is
// valid. False, with nothing appended, for anything else.
bool AppendQmedMediaAsAdts(uint32_t sampleFlags, std::span<const uint8_t> media,
                           std::vector<uint8_t>& out);
// An AAC box (stream type 1, complete, its media as above) as one ADTS frame
// appended to out. False, with nothing appended, for anything else.
bool AppendQBoxAacAsAdts(const QBoxRef& box, std::vector<uint8_t>& out);
