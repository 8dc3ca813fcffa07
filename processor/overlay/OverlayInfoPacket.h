// The frame information packet that the JPEG 2000 decoder sends with every
// picture to the processor's "Overlay Input" pin: 128 bytes starting with
// ">>>>", the capture time as big-endian seconds (offset 32) and microseconds
// (offset 36), and a 30-byte caption (offset 40). The pin turns it into the
// picture's frame time and two text items: the time line and the caption.
// Pure code.
#pragma once

#include "COverlayList.h"

#include <string>

constexpr size_t kOverlayInfoPacketBytes = 128;

struct OverlayInfoPacket {
    LONGLONG frameTime = 0; // microseconds since 1970
    std::string timeText;   // "YYYY-MM-DD hh:mm:ss.mmm" in local time; empty if it has none
    std::string caption;    // up to its first NUL, at most 30 characters
};

// False for anything but 128 bytes starting with ">>>>".
bool ParseOverlayInfoPacket(const BYTE* data, size_t length, OverlayInfoPacket* packet);

// Where the two texts go on an output picture of width x height: a font
// 1/40 of the width high ("Arial"), x at 1/30 of the width, the time line
// width/24 and the caption width/14 below the top edge (y counts upward).
struct OverlayInfoLayout {
    LOGFONTA font{};
    LONG x = 0;
    LONG captionY = 0;
    LONG timeY = 0;
};
OverlayInfoLayout OverlayInfoLayoutFor(LONG outWidth, LONG outHeight);

// The packet's frame time, caption and time line into the list (IDs 0 and 1).
void ApplyOverlayInfo(COverlayList& list, const OverlayInfoPacket& packet,
                      const OverlayInfoLayout& layout);
