// The 7-byte ADTS header the splitter puts in front of each raw AAC frame taken
// from a QBox stream: FF F1, 0x40 | (index << 2), (channels << 6) | ((L >> 11) & 3),
// (L >> 3) & 255, ((L << 5) | 0x1F) & 255, 0xFC, with L = raw length + 7.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

inline constexpr size_t kAdtsHeaderSize = 7;
// The 13-bit frame length field bounds header plus raw frame.
inline constexpr size_t kAdtsMaxFrameLength = 0x1FFF;

// False when the index is above 12, channels is not 1 or 2, or the frame length
// does not fit its 13 bits (the header would describe another frame).
bool WriteAdtsHeader(uint8_t out[kAdtsHeaderSize], uint8_t samplingIndex, uint8_t channels,
                     size_t rawLength);
bool AppendAdtsFrame(std::vector<uint8_t>& out, uint8_t samplingIndex, uint8_t channels,
                     std::span<const uint8_t> rawFrame);

// ---- reading ----

// The frame at the start of bytes: its length (header included) from the 13-bit
// field, when bytes start with the 12-bit sync word 0xFFF and hold a whole header
// whose length is at least the header's own. False otherwise. Whether the whole
// frame is present is the caller's check.
bool ReadAdtsFrameLength(std::span<const uint8_t> bytes, size_t& length);
// The first offset at or after from where a sync word (0xFFF) starts;
// bytes.size() when there is none.
size_t FindAdtsSync(std::span<const uint8_t> bytes, size_t from);
