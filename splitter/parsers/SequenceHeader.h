// The codec configuration the splitter keeps for its media type (up to 512 bytes)
// and how it is found in the buffered bytes once the CodecKind is known.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

inline constexpr size_t kSequenceHeaderCapacity = 512;
// The tail of the buffer no search looks at (it may hold a unit still arriving).
inline constexpr size_t kSequenceSearchMargin = 100;
inline constexpr size_t kJP2KSequenceSearchMargin = 160;

struct SequenceHeader {
    uint8_t data[kSequenceHeaderCapacity] = {};
    int32_t length = 0; // 0 = not found yet
};

// Searches buffer for the kind's configuration and copies it to dest; returns the
// number of bytes taken, 0 when none was found or it does not fit dest.
//  1: 00 00 01 B3 whose next start code is a sequence extension (00 00 01 B5 with
//     high nibble 1 in the next byte); the bytes from B3 to the start code after that.
//  2: from 00 00 01 20 to the next start code.
//  3, 6, 256, 512: an SPS (NAL type 7) then a PPS (type 8), counting only NAL header
//     bytes below 0x80 and above 32; the bytes from the SPS start code to the next
//     other NAL. With containerKind 3 the search runs over the H.264 box payloads of
//     the complete boxes, rewritten to start-code form.
//  4: the first ">>>>" with 0xFF at 128-130 and byte 6 bit 5 clear; 160 bytes.
//  7: nothing is needed: returns dest.size() and writes nothing.
// The last 100 bytes (160 for kind 4) of the searched bytes are never looked at.
size_t ExtractSequenceHeader(std::span<const uint8_t> buffer, int32_t codecKind,
                             int32_t containerKind, std::span<uint8_t> dest);
