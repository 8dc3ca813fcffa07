// How the codec's bytes are packed on the wire and in record files.
#pragma once

#include <cstdint>

enum ContainerKind : int32_t {
    ContainerUnknown = 0, // not decided yet; read as a raw byte stream
    ContainerRaw = 1,     // elementary stream, or device stream with DeviceFrameHeaders
    ContainerTransport = 2,
    ContainerQBox = 3,
};

inline bool IsRawContainer(int32_t kind)
{
    return kind == ContainerUnknown || kind == ContainerRaw;
}
