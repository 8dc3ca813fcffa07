#include "OverlayInfoPacket.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

uint32_t Be32(const BYTE* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

constexpr size_t kSecondsOffset = 32;
constexpr size_t kMicrosOffset = 36;
constexpr size_t kCaptionOffset = 40;
constexpr size_t kCaptionBytes = 30;

} // namespace

bool ParseOverlayInfoPacket(const BYTE* data, size_t length, OverlayInfoPacket* packet)
{
    if (!data || length != kOverlayInfoPacketBytes || std::memcmp(data, ">>>>", 4) != 0)
        return false;
    const uint32_t seconds = Be32(data + kSecondsOffset);
    const uint32_t micros = Be32(data + kMicrosOffset);
    packet->frameTime = LONGLONG(seconds) * 1000000 + micros;

    packet->timeText.clear();
    const time_t t = time_t(seconds);
    struct tm tm;
    if (localtime_r(&t, &tm)) {
        char text[64];
        const int n = std::snprintf(text, sizeof(text), "%4d-%02d-%02d %02d:%02d:%02d.%03d",
                                    tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
                                    tm.tm_min, tm.tm_sec, int(micros / 1000));
        if (n > 0 && size_t(n) < sizeof(text))
            packet->timeText.assign(text, size_t(n));
    }

    const char* caption = reinterpret_cast<const char*>(data + kCaptionOffset);
    packet->caption.assign(caption, strnlen(caption, kCaptionBytes));
    return true;
}

OverlayInfoLayout OverlayInfoLayoutFor(LONG outWidth, LONG outHeight)
{
    OverlayInfoLayout layout;
    layout.font.lfHeight = -(outWidth / 40);
    std::strcpy(layout.font.lfFaceName, "Arial");
    const int64_t height = std::llabs(outHeight);
    layout.x = outWidth / 30;
    layout.captionY = LONG(std::min<int64_t>(height - outWidth / 14, INT32_MAX));
    layout.timeY = LONG(std::min<int64_t>(height - outWidth / 24, INT32_MAX));
    return layout;
}

void ApplyOverlayInfo(COverlayList& list, const OverlayInfoPacket& packet,
                      const OverlayInfoLayout& layout)
{
    list.SetFrameTime(packet.frameTime);
    list.ReplaceText(PROCESSER_OVERLAY_CAPTION_ID, packet.caption, layout.font, layout.x,
                     layout.captionY);
    list.ReplaceText(PROCESSER_OVERLAY_TIMELINE_ID, packet.timeText, layout.font, layout.x,
                     layout.timeY);
}
