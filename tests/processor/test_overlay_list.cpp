// The overlay list: IDs, show-time windows (wall clock and frame time),
// flicker, expiry, and drawing only what shows.
#include "CTextItem.h"
#include "COverlayList.h"
#include "overlay_test_util.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr time_t kNow = 1700000000;

std::vector<LONG> Ids(const COverlayList& list)
{
    std::vector<LONG> ids;
    list.ForEach([&](const COverlayItem& item) { ids.push_back(item.id); });
    return ids;
}

const COverlayItem* Find(const COverlayList& list, LONG id)
{
    const COverlayItem* found = nullptr;
    list.ForEach([&](const COverlayItem& item) {
        if (item.id == id && !found)
            found = &item;
    });
    return found;
}

LONG AddEllipseEx(COverlayList& list, LONG id, LONGLONG start = 0, LONGLONG end = 0,
                  DWORD flicker = 0)
{
    EXPECT_EQ(
        list.AddEllipseOverlayEx(&id, start, end, flicker, 255, 0, 0, 10, 10, 40, 30, 0, nullptr),
        S_OK);
    return id;
}

// A list whose clock the test sets.
class OverlayListClock : public ::testing::Test {
protected:
    void SetUp() override
    {
        list.SetClock([this] { return now; });
    }
    COverlayList list;
    OverlayNow now{kNow, 0};
};

TEST(OverlayListIds, SimpleAddsTakeNewIdsExAddsKeepTheirs)
{
    COverlayList list;
    const LOGFONTA lf = Arial(-16);
    LONG simple = 5;
    ASSERT_EQ(list.AddTextOverlay("hello", 5, 255, 255, 255, lf, 10, 10, &simple), S_OK);
    EXPECT_GE(simple, 1000);
    LONG ex = 5;
    ASSERT_EQ(
        list.AddTextOverlayEx(&ex, 0, 0, 0, 255, 255, 255, 10, 40, &lf, 5, "world", 0, nullptr),
        S_OK);
    EXPECT_EQ(ex, 5);
    // A simple add given an application ID uses it as it is.
    LONG given = 4321;
    ASSERT_EQ(list.AddCircleOverlay(1, 2, 3, 50, 50, 10, &given), S_OK);
    EXPECT_EQ(given, 4321);

    EXPECT_EQ(list.RemoveAllOverlay(), S_OK);
    EXPECT_EQ(Ids(list), std::vector<LONG>{5});
}

TEST(OverlayListIds, SharedIdsAreRemovedTogether)
{
    COverlayList list;
    AddEllipseEx(list, 2000);
    AddEllipseEx(list, 3000);
    AddEllipseEx(list, 2000);
    EXPECT_EQ(list.Count(), 3u);
    EXPECT_EQ(list.RemoveOverlay(2000), S_OK);
    EXPECT_EQ(Ids(list), std::vector<LONG>{3000});
    EXPECT_EQ(list.RemoveOverlay(12345), S_OK); // unknown: nothing happens
    EXPECT_EQ(list.Count(), 1u);
}

TEST(OverlayListIds, NewOverlayIdSkipsIdsInUse)
{
    COverlayList list;
    AddEllipseEx(list, 1000);
    AddEllipseEx(list, 1001);
    LONG id = 0;
    ASSERT_EQ(list.NewOverlayID(&id), S_OK);
    EXPECT_EQ(id, 1002);
    ASSERT_EQ(list.NewOverlayID(&id), S_OK);
    EXPECT_EQ(id, 1003);
    // The next automatic ID only grows: removing items does not give IDs back.
    list.RemoveOverlay(1000);
    ASSERT_EQ(list.NewOverlayID(&id), S_OK);
    EXPECT_EQ(id, 1004);
    EXPECT_EQ(list.NewOverlayID(nullptr), E_FAIL);
}

TEST(OverlayListIds, AddsRefuseWhatTheyCannotBuild)
{
    COverlayList list;
    const LOGFONTA lf = Arial(-16);
    LONG id = 0;
    EXPECT_EQ(list.AddTextOverlay(nullptr, 4, 1, 2, 3, lf, 0, 0, &id), E_FAIL);
    EXPECT_EQ(list.AddTextOverlay("text", 0, 1, 2, 3, lf, 0, 0, &id), E_FAIL);
    EXPECT_EQ(id, 0); // nothing was added, no ID was taken
    EXPECT_EQ(list.AddTextOverlayEx(&id, 0, 0, 0, 1, 2, 3, 0, 0, &lf, -1, "text", 0, nullptr),
              E_FAIL);
    EXPECT_EQ(list.AddEllipseOverlayEx(nullptr, 0, 0, 0, 1, 2, 3, 0, 0, 9, 9, 0, nullptr), E_FAIL);
    EXPECT_EQ(list.AddEllipseOverlayEx(&id, 0, 0, 0, 1, 2, 3, 0, 0, 9, 9, 4, nullptr), E_FAIL);
    EXPECT_EQ(list.AddBitmapOverlay(INVALID_HANDLE_VALUE, 0, 0, 0, &id), E_FAIL);
    EXPECT_TRUE(list.Empty());
}

TEST(OverlayListIds, ShapesFromTheSimpleAdds)
{
    COverlayList list;
    LONG rect = 0, circle = 0;
    ASSERT_EQ(list.AddRectangleOverlay(9, 8, 7, 10, 20, 50, 60, &rect), S_OK);
    ASSERT_EQ(list.AddCircleOverlay(9, 8, 7, 100, 100, 25, &circle), S_OK);
    const COverlayItem* r = Find(list, rect);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->GetKind(), COverlayItem::kPolygon);
    EXPECT_EQ(r->X0(), 10);
    EXPECT_EQ(r->Y0(), 20);
    EXPECT_EQ(r->X1(), 51);
    EXPECT_EQ(r->Y1(), 61);
    const COverlayItem* c = Find(list, circle);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->GetKind(), COverlayItem::kEllipse);
    EXPECT_EQ(c->X0(), 74); // 75 made even
    EXPECT_EQ(c->Y0(), 75);
    EXPECT_EQ(c->X1(), 124);
    EXPECT_EQ(c->Y1(), 125);
    EXPECT_EQ(r->R(), 9);
    EXPECT_EQ(c->B(), 7);
}

TEST(OverlayListIds, ExAddsOrderTheirWindowAndKeepExtraData)
{
    COverlayList list;
    const BYTE extra[3] = {1, 2, 3};
    LONG id = 1500;
    ASSERT_EQ(list.AddEllipseOverlayEx(&id, 9000, 3000, 0x01F40064, 1, 2, 3, 0, 0, 8, 8, 3, extra),
              S_OK);
    const COverlayItem* item = Find(list, 1500);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->start, 3000);
    EXPECT_EQ(item->end, 9000);
    EXPECT_EQ(item->flickerOn, 500);
    EXPECT_EQ(item->flickerOff, 100);
    EXPECT_EQ(item->extra, std::vector<BYTE>(extra, extra + 3));
}

// ---- show windows and flicker ----

TEST(OverlayListShow, FlickerOnAndOff)
{
    COverlayItem* item = nullptr;
    COverlayList list;
    AddEllipseEx(list, 1000, 0, 0, (500u << 16) | 500u);
    list.ForEach([&](const COverlayItem& it) { item = const_cast<COverlayItem*>(&it); });
    ASSERT_NE(item, nullptr);
    // 500 ms on, 500 ms off, counted from the wall clock's milliseconds.
    for (int ms : {0, 250, 499, 1000, 1499})
        EXPECT_EQ(COverlayList::Decide(*item, 0, OverlayNow{kNow, ms % 1000}),
                  COverlayList::Show::kDraw)
            << ms;
    for (int ms : {500, 750, 999})
        EXPECT_EQ(COverlayList::Decide(*item, 0, OverlayNow{kNow, ms}), COverlayList::Show::kHide)
            << ms;
    // On time 0 with an off time hides the item for good.
    list.SetFlickerTime(1000, 100);
    for (int ms : {0, 50, 100, 999})
        EXPECT_EQ(COverlayList::Decide(*item, 0, OverlayNow{kNow, ms}), COverlayList::Show::kHide);
    // An off time of 0 never hides it.
    list.SetFlickerTime(1000, 100u << 16);
    EXPECT_EQ(COverlayList::Decide(*item, 0, OverlayNow{kNow, 700}), COverlayList::Show::kDraw);
}

TEST_F(OverlayListClock, ShowTimeForTenSecondsFromNow)
{
    AddEllipseEx(list, 1000);
    ASSERT_EQ(list.SetShowTime(1000, 0, 10), S_OK);
    const COverlayItem* item = Find(list, 1000);
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->showTimeMode, 1);
    EXPECT_EQ(item->wallStart, LONG(kNow));
    EXPECT_EQ(item->duration, 10);

    TestFrame frame(64, 48);
    TestLayoutSource source(frame.Layout());
    for (time_t t : {kNow, kNow + 5, kNow + 10}) {
        now.seconds = t;
        list.Draw(frame.Data(), frame.Bytes(), source);
        EXPECT_EQ(list.Count(), 1u) << "at +" << (t - kNow);
    }
    now.seconds = kNow + 11;
    list.Draw(frame.Data(), frame.Bytes(), source);
    EXPECT_TRUE(list.Empty());
}

TEST_F(OverlayListClock, ShowTimeInTheFutureHidesUntilThen)
{
    AddEllipseEx(list, 1000);
    ASSERT_EQ(list.SetShowTime(1000, kNow + 60, 0), S_OK);
    const COverlayItem* item = Find(list, 1000);
    EXPECT_EQ(COverlayList::Decide(*item, 0, now), COverlayList::Show::kHide);
    EXPECT_EQ(COverlayList::Decide(*item, 0, OverlayNow{kNow + 60, 0}), COverlayList::Show::kDraw);
    // Duration 0: no end.
    EXPECT_EQ(COverlayList::Decide(*item, 0, OverlayNow{kNow + 100000, 0}),
              COverlayList::Show::kDraw);
}

TEST(OverlayListShow, FrameTimeWindow)
{
    COverlayList list;
    AddEllipseEx(list, 1000, 5000, 9000);
    const COverlayItem* item = Find(list, 1000);
    const OverlayNow now{kNow, 0};
    struct {
        LONGLONG frameTime;
        COverlayList::Show show;
    } cases[] = {
        {4999, COverlayList::Show::kHide}, {5000, COverlayList::Show::kDraw},
        {9000, COverlayList::Show::kDraw}, {9001, COverlayList::Show::kExpired},
        {0, COverlayList::Show::kDraw}, // no frame time: the window is not looked at
        {-7, COverlayList::Show::kDraw},
    };
    for (const auto& c : cases)
        EXPECT_EQ(COverlayList::Decide(*item, c.frameTime, now), c.show) << c.frameTime;
}

TEST(OverlayListShow, SetTimeRange)
{
    COverlayList list;
    AddEllipseEx(list, 1000, 100, 200);
    const COverlayItem* item = Find(list, 1000);
    struct {
        LONGLONG frameTime, start, end;
        LONGLONG expectStart, expectEnd;
    } cases[] = {
        {0, 2000, 1000, 1000, 2000},  // stored in order
        {0, 3000, 0, 1000, 2000},     // end 0: nothing changes
        {0, -5, 4000, 1000, 2000},    // a negative start: nothing changes
        {0, -1, 4000, 1000, 2000},    // "now" without a frame time yet: nothing
        {7000, -1, 9000, 7000, 9000}, // -1 is the current frame time
        {8000, 5000, -1, 5000, 8000}, {8000, -1, -1, 8000, 8000},
    };
    for (const auto& c : cases) {
        list.SetFrameTime(c.frameTime);
        EXPECT_EQ(list.SetTimeRange(1000, c.start, c.end), S_OK);
        EXPECT_EQ(item->start, c.expectStart) << c.start << ".." << c.end;
        EXPECT_EQ(item->end, c.expectEnd) << c.start << ".." << c.end;
    }
}

TEST_F(OverlayListClock, DrawsOnlyWhatShowsAndDropsWhatExpired)
{
    TestFrame frame(64, 48);
    TestLayoutSource source(frame.Layout());
    const std::vector<BYTE> blank = frame.Picture();
    AddEllipseEx(list, 1000, 0, 0, 100); // hidden for good
    list.Draw(frame.Data(), frame.Bytes(), source);
    EXPECT_EQ(frame.Picture(), blank);

    AddEllipseEx(list, 1001, 5000, 6000);
    list.SetFrameTime(5500);
    list.Draw(frame.Data(), frame.Bytes(), source);
    EXPECT_NE(frame.Picture(), blank);
    EXPECT_TRUE(frame.GuardsIntact());

    list.SetFrameTime(6001);
    list.Draw(frame.Data(), frame.Bytes(), source);
    EXPECT_EQ(Ids(list), std::vector<LONG>{1000});
}

TEST(OverlayListText, ReplaceTextSwapsTheItemsOfAnId)
{
    COverlayList list;
    const LOGFONTA lf = Arial(-16);
    AddEllipseEx(list, 0);
    AddEllipseEx(list, 0);
    AddEllipseEx(list, 1000);
    list.ReplaceText(0, "caption", lf, 10, 20);
    EXPECT_EQ(Ids(list), (std::vector<LONG>{1000, 0}));
    const auto* text = static_cast<const CTextItem*>(Find(list, 0));
    ASSERT_EQ(text->GetKind(), COverlayItem::kText);
    EXPECT_EQ(text->Text(), std::string("caption", 8));
    EXPECT_EQ(text->R(), 255);
    list.ReplaceText(0, "", lf, 10, 20); // an empty text only removes
    EXPECT_EQ(Ids(list), std::vector<LONG>{1000});
}

} // namespace
