// The header in front of every frame of a device stream, on the wire and in
// record files. Two layouts exist, told apart by the high nibble of byte 5:
// 1 = 40 bytes, 2 = 36 bytes. Multi-byte fields are little-endian.
//
//  off  40-byte layout                     36-byte layout
//   0   ">>>>"                             ">>>>"
//   4   -                                  flags, bit 0 = voice frame
//   5   0x1?, bit 3 = voice frame          0x2?
//   6   bits 0-4 rate, bits 5-7 res. code  bits 0-6 rate
//   7   -                                  bit 7 = progressive
//  10   width (int16)                      width (int16)
//  12   height (int16)                     bits 0-13 height, 14-15 picture mode
//  13   -                                  bits 4-6 frame type (as the frame queue reads it)
//  14   total length (uint16, >= 40)       -
//  20   -                                  total length (int32)
//  28   -                                  capture seconds (uint32)
//  32   capture time, us (int64)           capture microseconds (uint32)
//
// The 36-byte layout shares byte 13 between the top of the height field and
// the frame type, so a header that carries a frame type reads back a larger
// height when read for geometry; the two readings belong to different device
// generations and are kept apart here as the streams use them.
//
// Pure functions over caller-owned bytes; any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

inline constexpr uint8_t kDeviceFrameMagic[4] = {0x3E, 0x3E, 0x3E, 0x3E};
inline constexpr size_t kDeviceHeader40Size = 40;
inline constexpr size_t kDeviceHeader36Size = 36;
// A payload above this (or below 0) ends the walk through a frame.
inline constexpr int64_t kDeviceMaxPayload = 0x100000;
inline constexpr int32_t kDeviceDefaultFrameRate = 25;

enum class DeviceHeaderLayout { Unknown, Header40, Header36 };

// Layout from byte 5 alone.
DeviceHeaderLayout DeviceHeaderLayoutOf(uint8_t byte5);
size_t DeviceHeaderSize(DeviceHeaderLayout layout);
bool HasDeviceFrameMagic(std::span<const uint8_t> bytes);

// Every field either layout defines, as read from the wire.
struct DeviceFrameHeader {
    DeviceHeaderLayout layout = DeviceHeaderLayout::Unknown;
    bool voice = false;          // 40: byte 5 bit 3; 36: byte 4 bit 0
    int32_t frameRate = 0;       // 0 on the wire already replaced by 25
    int32_t resolutionCode = 0;  // 40 only: byte 6 bits 5-7
    bool progressive = false;    // 36 only: byte 7 bit 7
    int16_t width = 0;           // offset 10
    int16_t heightField = 0;     // offset 12, all 16 bits
    int32_t frameType = 0;       // 36 only: byte 13 bits 4-6 (1 key, 2 P, 3 B)
    int64_t totalLength = 0;     // header plus payload
    uint32_t captureSeconds = 0; // 36 only
    uint32_t captureMicros = 0;  // 36 only
    int64_t captureTimeUs = 0;   // 40 only

    size_t HeaderSize() const { return DeviceHeaderSize(layout); }
    // Total length minus the header; may be negative for a damaged header.
    int64_t PayloadLength() const { return totalLength - static_cast<int64_t>(HeaderSize()); }
};

// Reads the header at the start of bytes. False without the magic, with an
// unknown layout, or when fewer bytes than the layout's header are given.
bool ReadDeviceFrameHeader(std::span<const uint8_t> bytes, DeviceFrameHeader& out);

// Picture geometry as the splitter takes it from a device header.
struct DeviceGeometry {
    int32_t width = 0;
    int32_t height = 0;
    int32_t frameRate = kDeviceDefaultFrameRate;
    int32_t interlaced = 0;
    int32_t pictureMode = 0; // 40: 3 or 7 for the 1600-wide codes; 36: bits 14-15 of offset 12
};

// 40-byte layout: resolution codes 0-2 interlaced, 3-5 progressive, 6 = 1600 x 1080
// (mode 3), 7 = 1600 x 1200 (mode 7). 36-byte layout: the height is bits 0-13, a
// non-zero picture mode gives 1600 x 1080, interlaced is the inverse of the
// progressive bit.
DeviceGeometry DeviceHeaderGeometry(const DeviceFrameHeader& header);

// ---- writing ----

// What a writer puts into a header; fields the layout lacks are ignored.
struct DeviceFrameFields {
    DeviceHeaderLayout layout = DeviceHeaderLayout::Header40;
    bool voice = false;
    int32_t frameRate = kDeviceDefaultFrameRate; // 40: 5 bits, 36: 7 bits
    int32_t resolutionCode = 0;                  // 40: 3 bits
    bool progressive = false;                    // 36
    int16_t width = 0;
    int16_t height = 0;          // 36: 14 bits
    int32_t pictureMode = 0;     // 36: 2 bits
    int32_t frameType = 0;       // 36: 3 bits, 0 = leave the byte-13 bits to the height
    uint32_t captureSeconds = 0; // 36
    uint32_t captureMicros = 0;  // 36
    int64_t captureTimeUs = 0;   // 40
};

// Writes the header for a payload of payloadLength bytes into out. False when out
// is shorter than the header, a field does not fit its bits, or the total length
// does not fit the layout (40: 65535, 36: header + kDeviceMaxPayload).
bool WriteDeviceFrameHeader(std::span<uint8_t> out, const DeviceFrameFields& fields,
                            size_t payloadLength);
// Appends header and payload; false (nothing appended) when the header cannot be written.
bool AppendDeviceFrame(std::vector<uint8_t>& stream, const DeviceFrameFields& fields,
                       std::span<const uint8_t> payload);
// A voice frame: one voice payload behind a header with the layout's voice flag.
bool AppendVoiceFrame(std::vector<uint8_t>& stream, DeviceFrameFields fields,
                      std::span<const uint8_t> voicePayload);
