// The big-endian header in front of every QBox payload.
//
//  off  size
//    0   4   box size including the header; bit 31 must be clear
//    4   4   "qbox"
//    8   1   version; 1 = 64-bit timestamp
//    9   3   box flags; bit 0 = sample data present
//   12   2   sample stream type: 1 AAC, 2 or 5 H.264, 13 JPEG
//   14   2   sample stream id
//   16   4   sample flags: 0x40 = 16 more header bytes before the media,
//            0x200 with bit 0 clear = AAC payload behind a "qmed" header
//   20 4/8   composition timestamp, 90 kHz (version 0: 32 bits, 1: 64 bits)
//
// The payload is box size - 24 (version 0) or - 28 (version 1) bytes long when the
// sample-data flag is set and starts right after the timestamp; otherwise its
// length is the 32-bit value at 28 (version 0) or 32 (version 1) and it follows
// that value.
//
// Pure functions over caller-owned bytes; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

inline constexpr size_t kQBoxHeaderSize = 28;
inline constexpr uint8_t kQBoxType[4] = {'q', 'b', 'o', 'x'};

inline constexpr uint16_t kQBoxStreamAac = 1;
inline constexpr uint16_t kQBoxStreamH264 = 2;
inline constexpr uint16_t kQBoxStreamH264Alt = 5;
inline constexpr uint16_t kQBoxStreamJpeg = 13;

inline constexpr uint32_t kQBoxFlagSampleData = 0x1;
inline constexpr uint32_t kQBoxSampleFlagExtraHeader = 0x40;
inline constexpr uint32_t kQBoxSampleFlagQmed = 0x200;
inline constexpr size_t kQBoxExtraHeaderSize = 16;

inline bool IsQBoxH264Stream(uint16_t streamType)
{
    return streamType == kQBoxStreamH264 || streamType == kQBoxStreamH264Alt;
}

// Sample flags announcing an AAC payload behind a "qmed" header: 0x200 set,
// bit 0 clear. Only such boxes are audio.
inline bool SampleFlagsSayQmed(uint32_t sampleFlags)
{
    return (sampleFlags & kQBoxSampleFlagQmed) != 0 && (sampleFlags & 1) == 0;
}

struct QBoxHeader {
    uint32_t boxSize = 0;
    uint8_t version = 0;
    uint32_t boxFlags = 0; // 24 bits
    uint16_t streamType = 0;
    uint16_t streamId = 0;
    uint32_t sampleFlags = 0;
    uint64_t compositionTime = 0; // 90 kHz

    bool HasSampleData() const { return (boxFlags & kQBoxFlagSampleData) != 0; }
    // An AAC payload behind a "qmed" header.
    bool HasQmedHeader() const { return SampleFlagsSayQmed(sampleFlags); }
};

// Reads the header at the start of box. False with fewer than 28 bytes, without
// "qbox" at 4, or when the size has bit 31 set.
bool ReadQBoxHeader(std::span<const uint8_t> box, QBoxHeader& out);

// Payload length as the header states it: box size - 24 / - 28 with sample data,
// else the 32-bit value at 28 / 32 (which must be within box). -1 when the value
// is not available or the box is too small for its own header.
int64_t QBoxPayloadLength(const QBoxHeader& header, std::span<const uint8_t> box);

// Where the payload starts in the box (the 16 extra header bytes of sample-flag
// 0x40 not skipped).
size_t QBoxPayloadOffset(const QBoxHeader& header);

// The media bytes of a box: payload with the 16 extra header bytes skipped when
// sample-flag 0x40 is set. False when they do not lie within both the box size
// and the given bytes.
bool LocateQBoxMedia(const QBoxHeader& header, std::span<const uint8_t> box, size_t& offset,
                     size_t& length);

// 90 kHz composition time to the splitter's 100-ns units (x 1000 / 9),
// saturating at INT64_MAX.
int64_t QBoxTimeTo100ns(uint64_t compositionTime);

// ---- writing ----

struct QBoxFields {
    uint8_t version = 1;
    uint32_t boxFlags = kQBoxFlagSampleData;
    uint16_t streamType = kQBoxStreamH264;
    uint16_t streamId = 0;
    uint32_t sampleFlags = 0;
    uint64_t compositionTime = 0;
};

// Appends one box around payload (the caller includes the 16 extra header bytes
// when it sets sample flag 0x40). Version 0 keeps the low 32 bits of the time.
// False (nothing appended) for a version other than 0 or 1, a box flag above 24
// bits, or a box larger than 0x7FFFFFFF bytes.
bool AppendQBox(std::vector<uint8_t>& stream, const QBoxFields& fields,
                std::span<const uint8_t> payload);
