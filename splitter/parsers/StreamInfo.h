// Picture geometry and timing read from a SequenceHeader, and the format the
// splitter settles on once the device headers of a QBox stream have had their say.
#pragma once

#include "DeviceFrameHeader.h"

#include <cstdint>
#include <span>

struct StreamInfo {
    int32_t width = 0;
    int32_t height = 0;
    int32_t frameDuration = 0; // 100-ns units
    int32_t frameRate = 0;     // frames per second
    int32_t fiveSixthsWidth = 0;
    int32_t interlaced = 0;
};

// Reads the header of the given kind into info (fields a kind does not give keep
// their value). False when the header does not hold what the kind requires.
//  1: 00 00 01 B3; 12-bit width and height, frame-rate codes 1-8.
//  2: more than 12 bytes from 00 00 01 20; the video object layer read bit by bit.
//  3, 256, 512: an SPS (at least 16 bytes, non-zero profile and level); width and
//     height the visible picture (the macroblock counts, both fields of a
//     field-coded stream, less the frame cropping), height doubled for a width of
//     at least 700 with a height below 300; rate 25.
//  4: a first JPEG 2000 field header with 160 bytes; 5/6 flag from byte 8 bit 7;
//     rate from byte 6 bits 0-4 (0 means 25), duration 10000000 / rate.
//  6: 1920 x 1080, rate 30, duration 400000. 7: 1920 x 1080, rate 5, duration 2000000.
bool ParseStreamInfo(int32_t codecKind, std::span<const uint8_t> header, StreamInfo& info);

// Frame-rate code of an MPEG-2 sequence header to rate and duration; false for
// codes outside 1..8.
bool Mpeg2FrameRate(int code, int32_t& rate, int32_t& duration);

// What the splitter stores for the stream.
struct StreamFormat {
    int32_t width = 0;
    int32_t height = 0;
    int32_t frameRate = 0;
    int32_t frameDuration = 0;
    int32_t displayWidth = 0; // width x 5 / 6 when the stream asks for it, else width
    int32_t interlaced = 0;
    int32_t pictureMode = 0;
};

// The first DeviceFrameHeader in buffer that is not a voice frame (the voice flag
// read as its layout keeps it), with 40 bytes available and a known layout;
// false when there is none.
bool FindDeviceGeometry(std::span<const uint8_t> buffer, DeviceGeometry& geometry);

// StreamInfo from the sequence header; for ContainerKind 3 with CodecKind 6 or 7
// the first device header in the buffered bytes then gives width, height, rate
// (duration 10000000 / rate), interlaced flag (always 0 for kind 7) and picture
// mode. False when the sequence header does not parse.
bool DescribeStream(std::span<const uint8_t> buffered, int32_t codecKind, int32_t containerKind,
                    std::span<const uint8_t> sequenceHeader, StreamFormat& format);
