// The stream-type code the splitter works with. It is an int everywhere it
// crosses an interface (ITarvoSplt::SetStreamType, the player's format type, the
// index file), so the enumerators convert to and from int32_t freely.
#pragma once

#include <cstdint>

enum CodecKind : int32_t {
    CodecUnknown = 0,
    CodecMpeg2 = 1,
    CodecMpeg4 = 2,
    CodecDeviceH264 = 3, // standard definition, DeviceFrameHeaders with voice frames
    CodecJP2K = 4,       // JPEG 2000 fields behind JP2KFieldHeaders
    CodecNone = 5,       // accepted but no parser exists for it
    CodecHDH264 = 6,
    CodecMjpeg = 7,               // Motion JPEG in QBox
    CodecDeviceH264Clocked = 256, // live device H.264 paced by its own timestamps
    CodecFrameQueue = 512,        // frames pushed one by one into the frame queue
};

// Kinds whose frames are device H.264 (same media type, same SPS reading).
inline bool IsDeviceH264Kind(int32_t kind)
{
    return kind == CodecDeviceH264 || kind == CodecDeviceH264Clocked || kind == CodecFrameQueue;
}

// Kinds whose elementary stream is H.264 NAL units.
inline bool IsH264Kind(int32_t kind)
{
    return IsDeviceH264Kind(kind) || kind == CodecHDH264;
}
