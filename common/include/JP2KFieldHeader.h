// The 144-byte header in front of each JPEG 2000 field (a frame is two fields).
// Fields from offset 26 on are big-endian.
//
//  off  size
//    0   4   ">>>>"
//    6   1   bit 5 = second field of the frame; bits 0-4 frame rate
//    8   1   bit 7 = show the picture at 5/6 of its coded width
//   26   4   codestream length behind the header (above 307200 read as 307200)
//   32   4   capture seconds
//   36   4   capture microseconds
//  128   4   marker 0xFF 0xFF 0xFF 0xF0 or 0xF1
//  132   4   frame number, equal in both fields of a frame
//
// The codestream follows at 144 with its SOC and SIZ markers, so the low halves
// of Xsiz and Ysiz (picture width and height) sit at offsets 154 and 158 of the
// field; the 160 bytes from the header start are the stream's SequenceHeader.
//
// Pure functions over caller-owned bytes; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

inline constexpr size_t kJP2KFieldHeaderSize = 144;
inline constexpr size_t kJP2KSequenceHeaderSize = 160;
inline constexpr uint32_t kJP2KMaxCodestreamLength = 307200;
inline constexpr size_t kJP2KMarkerOffset = 128;

// The test the splitter uses to find a frame start: ">>>>" at 0, 0xFF at 128, 129
// and 130, and byte 6 bit 5 clear (a first field). Needs 144 bytes.
bool IsJP2KFirstFieldStart(std::span<const uint8_t> bytes);
// ">>>>" at 0 and the full marker (0xFF 0xFF 0xFF 0xF0/0xF1) at 128. Needs 144 bytes.
bool HasJP2KFieldMarkers(std::span<const uint8_t> bytes);

struct JP2KFieldHeader {
    bool secondField = false;
    int32_t frameRate = 0;
    bool fiveSixthsWidth = false;
    uint32_t codestreamLength = 0; // already limited to kJP2KMaxCodestreamLength
    uint32_t captureSeconds = 0;
    uint32_t captureMicros = 0;
    uint8_t marker = 0; // 0xF0 or 0xF1
    uint32_t frameNumber = 0;

    // Capture time in microseconds.
    int64_t CaptureTimeUs() const
    {
        return static_cast<int64_t>(captureSeconds) * 1000000 + captureMicros;
    }
};

// False when fewer than 144 bytes are given or HasJP2KFieldMarkers fails.
bool ReadJP2KFieldHeader(std::span<const uint8_t> bytes, JP2KFieldHeader& out);
// Width and height from a first field's first 160 bytes (offsets 154 and 158).
bool ReadJP2KPictureSize(std::span<const uint8_t> bytes, int32_t& width, int32_t& height);

// ---- writing ----

struct JP2KFieldFields {
    int32_t frameRate = 25; // 5 bits
    bool fiveSixthsWidth = false;
    uint32_t captureSeconds = 0;
    uint32_t captureMicros = 0;
    uint8_t marker = 0xF0; // 0xF0 or 0xF1
    uint32_t frameNumber = 0;
};

// Writes one field header; false when out is shorter than 144 bytes, the rate
// does not fit 5 bits, the marker is not 0xF0/0xF1 or the length is above 307200.
bool WriteJP2KFieldHeader(std::span<uint8_t> out, const JP2KFieldFields& fields, bool secondField,
                          size_t codestreamLength);
// Appends a frame: first field header and codestream, then the second field with
// the same frame number. Nothing is appended on failure.
bool AppendJP2KFrame(std::vector<uint8_t>& stream, const JP2KFieldFields& fields,
                     std::span<const uint8_t> firstCodestream,
                     std::span<const uint8_t> secondCodestream);
