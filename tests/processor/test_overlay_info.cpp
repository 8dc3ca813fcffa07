// The frame information packets of the "Overlay Input" pin: parsing, where
// the caption and the time line go, and how they replace items 0 and 1.
#include "CTextItem.h"
#include "OverlayInfoPacket.h"
#include "overlay_test_util.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {

std::vector<BYTE> Packet(uint32_t seconds, uint32_t micros, const char* caption,
                         size_t captionBytes)
{
    std::vector<BYTE> p(128, 0x5A);
    std::memcpy(p.data(), ">>>>", 4);
    for (int i = 0; i < 4; ++i) {
        p[32 + size_t(i)] = BYTE(seconds >> (24 - 8 * i));
        p[36 + size_t(i)] = BYTE(micros >> (24 - 8 * i));
    }
    std::memset(&p[40], 0, 30);
    std::memcpy(&p[40], caption, captionBytes);
    return p;
}

std::string LocalTime(time_t t, int millis)
{
    struct tm tm;
    localtime_r(&t, &tm);
    char text[64];
    std::snprintf(text, sizeof(text), "%4d-%02d-%02d %02d:%02d:%02d.%03d", tm.tm_year + 1900,
                  tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, millis);
    return text;
}

TEST(OverlayInfoPacket, Parses)
{
    const std::vector<BYTE> p = Packet(1700000000u, 123456u, "Gate 4", 7);
    OverlayInfoPacket packet;
    ASSERT_TRUE(ParseOverlayInfoPacket(p.data(), p.size(), &packet));
    EXPECT_EQ(packet.frameTime, 1700000000LL * 1000000 + 123456);
    EXPECT_EQ(packet.caption, "Gate 4");
    EXPECT_EQ(packet.timeText, LocalTime(1700000000, 123));
}

TEST(OverlayInfoPacket, CaptionOfThirtyCharactersWithoutNul)
{
    const char caption[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123"; // 30 characters, no room for the NUL
    std::vector<BYTE> p = Packet(1, 0, caption, 30);
    OverlayInfoPacket packet;
    ASSERT_TRUE(ParseOverlayInfoPacket(p.data(), p.size(), &packet));
    EXPECT_EQ(packet.caption, std::string(caption, 30));
}

TEST(OverlayInfoPacket, RefusesOtherSizesAndMarkers)
{
    std::vector<BYTE> p = Packet(1, 0, "x", 1);
    OverlayInfoPacket packet;
    EXPECT_FALSE(ParseOverlayInfoPacket(p.data(), 127, &packet));
    p.push_back(0);
    EXPECT_FALSE(ParseOverlayInfoPacket(p.data(), 129, &packet));
    p.pop_back();
    p[3] = '<';
    EXPECT_FALSE(ParseOverlayInfoPacket(p.data(), p.size(), &packet));
    EXPECT_FALSE(ParseOverlayInfoPacket(nullptr, 128, &packet));
}

TEST(OverlayInfoPacket, LayoutFollowsTheOutputWidth)
{
    struct {
        LONG w, h;
        LONG fontHeight, x, captionY, timeY;
    } cases[] = {
        {1920, 1080, -48, 64, 1080 - 137, 1080 - 80},
        {704, 576, -17, 23, 576 - 50, 576 - 29},
        {704, -576, -17, 23, 576 - 50, 576 - 29}, // the height's sign does not matter
    };
    for (const auto& c : cases) {
        const OverlayInfoLayout l = OverlayInfoLayoutFor(c.w, c.h);
        EXPECT_EQ(l.font.lfHeight, c.fontHeight);
        EXPECT_STREQ(l.font.lfFaceName, "Arial");
        EXPECT_EQ(l.font.lfWeight, 0);
        EXPECT_EQ(l.x, c.x);
        EXPECT_EQ(l.captionY, c.captionY);
        EXPECT_EQ(l.timeY, c.timeY);
    }
}

TEST(OverlayInfoPacket, ReplacesCaptionAndTimeLine)
{
    COverlayList list;
    LONG app = 1000;
    ASSERT_EQ(list.AddEllipseOverlayEx(&app, 0, 0, 0, 1, 2, 3, 0, 0, 9, 9, 0, nullptr), S_OK);
    const OverlayInfoLayout layout = OverlayInfoLayoutFor(704, 576);
    for (uint32_t second : {1700000000u, 1700000001u}) {
        OverlayInfoPacket packet;
        const std::vector<BYTE> p = Packet(second, 500000, "Cam", 3);
        ASSERT_TRUE(ParseOverlayInfoPacket(p.data(), p.size(), &packet));
        ApplyOverlayInfo(list, packet, layout);
    }
    EXPECT_EQ(list.FrameTime(), 1700000001LL * 1000000 + 500000);
    std::vector<std::pair<LONG, std::string>> texts;
    list.ForEach([&](const COverlayItem& item) {
        if (item.GetKind() == COverlayItem::kText)
            texts.emplace_back(item.id, static_cast<const CTextItem&>(item).Text());
        EXPECT_TRUE(item.id == 1000 || item.GetKind() == COverlayItem::kText);
    });
    ASSERT_EQ(texts.size(), 2u);
    EXPECT_EQ(texts[0], std::make_pair(LONG(0), std::string("Cam", 4)));
    EXPECT_EQ(texts[1], std::make_pair(LONG(1), LocalTime(1700000001, 500) + std::string(1, '\0')));
    EXPECT_EQ(list.Count(), 3u);

    // An empty caption removes the caption and adds none.
    OverlayInfoPacket empty;
    const std::vector<BYTE> p = Packet(1700000002u, 0, "", 0);
    ASSERT_TRUE(ParseOverlayInfoPacket(p.data(), p.size(), &empty));
    ApplyOverlayInfo(list, empty, layout);
    EXPECT_EQ(list.Count(), 2u);
}

} // namespace
