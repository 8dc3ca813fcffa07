// The media types of the splitter's output pins, built from what it knows of
// the stream. Pure functions; any thread.
#pragma once

#include "StreamInfo.h"

#include <streams.h>

#include <cstdint>
#include <span>

// FOURCCs in biCompression.
inline constexpr DWORD kFourccRgbSpace = 0x20424752; // "RGB "
inline constexpr DWORD kFourccH264 = 0x34363248;     // "H264"
inline constexpr DWORD kFourccJP2K = 0x4B32504A;     // "JP2K"
inline constexpr DWORD kFourccMJPF = 0x46504A4D;     // "MJPF"
inline constexpr DWORD kFourccMJPG = 0x47504A4D;     // "MJPG"

// "Video Out", position 0. Without a sequence header, or for a kind without a
// row of its own, an empty type (null major type, subtype and format) with
// S_OK. interlaced: the splitter's interlaced flag.
//  1     MPEG-2: MPEG2VIDEOINFO + sequence header, width x height, 4:3
//  2     "divx", VIDEOINFOHEADER, "RGB " 24 bits, 333667
//  3, 256, 512  device H.264: as 2 with "H264"
//  4     JPEG 2000: "JP2K", 333667, target from (width - display width) / 2 to display width
//  6     "AVC1": MPEG2VIDEOINFO + sequence header, 1920 x 1080, 30:17, profile 100, level 40
//  7     Motion JPEG: MJPF when interlaced else MJPG, target as 4
HRESULT BuildVideoMediaType(int32_t codecKind, const StreamFormat& format, int32_t interlaced,
                            std::span<const uint8_t> sequenceHeader, CMediaType* pmt);

// "Audio Out": 16-bit PCM, stereo 48000 Hz for CodecKind 6 and 7, else mono 8000 Hz.
HRESULT BuildAudioMediaType(int32_t codecKind, CMediaType* pmt);
