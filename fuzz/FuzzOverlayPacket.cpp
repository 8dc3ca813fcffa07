// The "Overlay Input" pin's packets: parsed, turned into the caption and the
// time line, and drawn into a picture of the output size the first four
// bytes choose (the rest is the packet; only exactly 128 bytes are used).
#include "FuzzCheck.h"
#include "FuzzOverlayDraw.h"

#include "COverlayList.h"
#include "CTextItem.h"
#include "OverlayInfoPacket.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 4)
        return 0;
    // Output sizes from 2 x 1 to 512 x 256 pixels.
    const LONG width = 2 + 2 * LONG(data[0] | (data[1] & 0x01) << 8) % 256;
    const LONG height = 1 + LONG(data[2] | (data[3] & 0x01) << 8) % 256;
    data += 4;
    size -= 4;

    OverlayInfoPacket packet;
    const bool parsed = ParseOverlayInfoPacket(data, size, &packet);
    FUZZ_CHECK(parsed == (size == kOverlayInfoPacketBytes && std::memcmp(data, ">>>>", 4) == 0));
    if (!parsed)
        return 0;
    FUZZ_CHECK(packet.caption.size() <= 30);
    FUZZ_CHECK(packet.caption.find('\0') == std::string::npos);

    COverlayList list;
    ApplyOverlayInfo(list, packet, OverlayInfoLayoutFor(width, height));
    ApplyOverlayInfo(list, packet, OverlayInfoLayoutFor(width, height)); // replaces, never adds
    FUZZ_CHECK(list.FrameTime() == packet.frameTime);
    size_t captions = 0, lines = 0;
    list.ForEach([&](const COverlayItem& item) {
        FUZZ_CHECK(item.GetKind() == COverlayItem::kText);
        const std::string& text = static_cast<const CTextItem&>(item).Text();
        if (item.id == 0) {
            ++captions;
            FUZZ_CHECK(text == packet.caption + std::string(1, '\0'));
        } else {
            FUZZ_CHECK(item.id == 1);
            ++lines;
        }
    });
    FUZZ_CHECK(captions == (packet.caption.empty() ? 0u : 1u));
    FUZZ_CHECK(lines == (packet.timeText.empty() ? 0u : 1u));

    FuzzDrawYuy2(list, width, height);
    return 0;
}
