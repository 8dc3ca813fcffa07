// The overlay record format: round trips of every kind through
// GetItemsByIndex/GetItems and AddOverlaysFromByte/File, the trust rule, the
// body checks, and records that lie.
#include "CBitmapItem.h"
#include "CPolygonItem.h"
#include "CTextItem.h"
#include "COverlayList.h"
#include "OverlayRecord.h"
#include "overlay_test_util.h"

#include "win32/file.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::vector<BYTE> Records(COverlayList& list, LONG id, LONG* count = nullptr)
{
    std::vector<BYTE> buffer(1 << 16);
    LONG size = LONG(buffer.size());
    LONG n = -1;
    EXPECT_EQ(list.GetItemsByIndex(id, buffer.data(), &size, &n), S_OK);
    buffer.resize(size_t(size));
    if (count)
        *count = n;
    return buffer;
}

LONG Load(COverlayList& list, const std::vector<BYTE>& bytes)
{
    LONG count = -1;
    EXPECT_EQ(list.AddOverlaysFromByte(bytes.data(), LONG(bytes.size()), &count), S_OK);
    return count;
}

const COverlayItem* Only(const COverlayList& list)
{
    const COverlayItem* found = nullptr;
    size_t n = 0;
    list.ForEach([&](const COverlayItem& item) {
        found = &item;
        ++n;
    });
    return n == 1 ? found : nullptr;
}

void Put32(std::vector<BYTE>& v, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        v[at + size_t(i)] = BYTE(value >> (8 * i));
}

uint32_t Get32(const std::vector<BYTE>& v, size_t at)
{
    uint32_t value = 0;
    std::memcpy(&value, &v[at], 4);
    return value;
}

// A record of an ellipse, a polygon and a text, built by the list itself.
std::vector<BYTE> EllipseRecord(LONG id = 1234)
{
    COverlayList list;
    EXPECT_EQ(list.AddEllipseOverlayEx(&id, 0, 0, 0, 1, 2, 3, 10, 20, 30, 40, 0, nullptr), S_OK);
    return Records(list, id);
}

TEST(OverlayRecords, TextRoundTripKeepsItsNul)
{
    COverlayList list;
    const LOGFONTA lf = Arial(-18);
    const BYTE extra[4] = {9, 8, 7, 6};
    LONG id = 1200;
    // Given without its NUL: the item appends one, and the record carries it.
    ASSERT_EQ(list.AddTextOverlayEx(&id, 111, 222, 0x00C80032, 10, 20, 30, 51, 60, &lf, 4, "Gate",
                                    4, extra),
              S_OK);
    LONG count = 0;
    const std::vector<BYTE> rec = Records(list, id, &count);
    ASSERT_EQ(count, 1);
    ASSERT_EQ(rec.size(), size_t(109 + 5 + 4));
    EXPECT_EQ(rec[0], 0xFB);
    EXPECT_EQ(Get32(rec, 1), rec.size());
    EXPECT_EQ(rec[5], 0x00);
    EXPECT_EQ(Get32(rec, 101), 5u); // T includes the NUL

    COverlayList copy;
    ASSERT_EQ(Load(copy, rec), 1);
    const auto* text = static_cast<const CTextItem*>(Only(copy));
    ASSERT_NE(text, nullptr);
    ASSERT_EQ(text->GetKind(), COverlayItem::kText);
    EXPECT_EQ(text->Text(), std::string("Gate", 5));
    EXPECT_EQ(text->id, 1200);
    EXPECT_EQ(text->X0(), 50);
    EXPECT_EQ(text->Y0(), 60);
    EXPECT_EQ(text->start, 111);
    EXPECT_EQ(text->end, 222);
    EXPECT_EQ(text->flickerOn, 200);
    EXPECT_EQ(text->flickerOff, 50);
    EXPECT_EQ(text->G(), 20);
    EXPECT_EQ(std::memcmp(&text->Font(), &lf, sizeof(lf)), 0);
    EXPECT_EQ(text->extra, std::vector<BYTE>(extra, extra + 4));
    // And it writes back the same bytes.
    EXPECT_EQ(Records(copy, 1200), rec);
}

TEST(OverlayRecords, PolygonRoundTripAtTheSamePlace)
{
    COverlayList list;
    const POINT pts[4] = {{13, 40}, {70, 45}, {33, 90}, {13, 40}};
    LONG id = 1300;
    ASSERT_EQ(list.AddPolygonOverlayEx(&id, 0, 0, 0, 0, 255, 0, 4, pts, 0, nullptr), S_OK);
    const std::vector<BYTE> rec = Records(list, id);
    EXPECT_EQ(rec.size(), size_t(41 + 8 * 4));
    EXPECT_EQ(Get32(rec, 37), 13u); // absolute coordinates

    COverlayList copy;
    ASSERT_EQ(Load(copy, rec), 1);
    const auto* poly = static_cast<const CPolygonItem*>(Only(copy));
    ASSERT_NE(poly, nullptr);
    const std::vector<POINT> back = poly->Points();
    ASSERT_EQ(back.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(back[i].x, pts[i].x);
        EXPECT_EQ(back[i].y, pts[i].y);
    }
    EXPECT_EQ(poly->X0(), 12);
    EXPECT_EQ(poly->X1(), 70);
    EXPECT_EQ(poly->Y1(), 91);
}

TEST(OverlayRecords, EllipseAndTimeRoundTrip)
{
    COverlayList list;
    const LOGFONTA lf = Arial(-12);
    LONG id = 1400;
    ASSERT_EQ(list.AddEllipseOverlayEx(&id, 0, 0, 0, 1, 2, 3, 31, 40, 10, 20, 0, nullptr), S_OK);
    ASSERT_EQ(list.AddSysTimeOverlayEx(&id, 5, 6, 0, 4, 5, 6, 8, 9, &lf, 0, nullptr), S_OK);
    LONG count = 0;
    const std::vector<BYTE> recs = Records(list, id, &count);
    ASSERT_EQ(count, 2);
    EXPECT_EQ(recs.size(), size_t(53 + 105));

    COverlayList copy;
    ASSERT_EQ(Load(copy, recs), 2);
    std::vector<const COverlayItem*> items;
    copy.ForEach([&](const COverlayItem& item) { items.push_back(&item); });
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]->GetKind(), COverlayItem::kEllipse);
    EXPECT_EQ(items[0]->X0(), 10);
    EXPECT_EQ(items[0]->Y0(), 20);
    EXPECT_EQ(items[0]->X1(), 31);
    EXPECT_EQ(items[0]->Y1(), 40);
    EXPECT_EQ(items[1]->GetKind(), COverlayItem::kSysTime);
    EXPECT_EQ(items[1]->X0(), 8);
    EXPECT_EQ(items[1]->end, 6);
}

// A temporary folder of the test's own (so that nothing else running makes
// files in it) and the number of files in it.
class PrivateTempDir {
public:
    PrivateTempDir()
    {
        char dir[] = "/tmp/overlay_tmp_XXXXXX";
        if (mkdtemp(dir))
            m_dir = dir;
        const char* old = std::getenv("TMPDIR");
        m_old = old ? old : "";
        m_hadOld = old != nullptr;
        setenv("TMPDIR", m_dir.c_str(), 1);
    }
    ~PrivateTempDir()
    {
        if (m_hadOld)
            setenv("TMPDIR", m_old.c_str(), 1);
        else
            unsetenv("TMPDIR");
        rmdir(m_dir.c_str());
    }
    size_t Files() const
    {
        size_t n = 0;
        if (DIR* dir = opendir(m_dir.c_str())) {
            while (dirent* e = readdir(dir))
                n += e->d_name[0] != '.';
            closedir(dir);
        }
        return n;
    }

private:
    std::string m_dir, m_old;
    bool m_hadOld = false;
};

TEST(OverlayRecords, BitmapRoundTripThroughAFileOfItsOwn)
{
    // Two pixels: red and (transparent) white, bottom-up, one row.
    const std::vector<BYTE> bmp = MakeBmp(2, 1, {0, 0, 255, 255, 255, 255});
    TempFile file(bmp);
    COverlayList list;
    LONG id = 0;
    ASSERT_EQ(list.AddBitmapOverlay(TvHandleFromFd(file.Fd()), 6, 2, 0x00FFFFFF, &id), S_OK);
    const std::vector<BYTE> rec = Records(list, id);
    ASSERT_EQ(rec.size(), 49 + bmp.size());
    EXPECT_EQ(Get32(rec, 41), uint32_t(bmp.size()) | 0x80000000u);

    PrivateTempDir tmp;
    {
        COverlayList copy;
        ASSERT_EQ(Load(copy, rec), 1);
        const auto* item = static_cast<const CBitmapItem*>(Only(copy));
        ASSERT_NE(item, nullptr);
        std::vector<BYTE> back;
        ASSERT_TRUE(item->ReadFileBytes(&back));
        EXPECT_EQ(back, bmp);
        EXPECT_EQ(item->R(), 255);
        // The file's name is gone at once; only the item can reach it.
        EXPECT_EQ(tmp.Files(), 0u);
        // It draws like the original.
        TestFrame frame(16, 8);
        TestLayoutSource source(frame.Layout());
        copy.Draw(frame.Data(), frame.Bytes(), source);
        EXPECT_EQ(frame.Y(6, 2), 76);  // red
        EXPECT_EQ(frame.Y(7, 2), 100); // transparent: the background
    }
    EXPECT_EQ(tmp.Files(), 0u);
}

TEST(OverlayRecords, StrayBytesBetweenRecords)
{
    const std::vector<BYTE> first = EllipseRecord(1001);
    const std::vector<BYTE> second = EllipseRecord(1002);
    struct {
        std::vector<BYTE> stray;
        LONG expect;
    } cases[] = {
        // The first record's length lands on a marker, so it is trusted; the
        // stray marker's own length is a lie and the scan moves on to the second.
        {{0xFB, 0x00, 0x7F}, 2},
        // Its length lands on a byte that is no marker: the first record is
        // not trusted, only the second one is read.
        {{0x00, 0xFB, 0x7F}, 1},
    };
    for (const auto& c : cases) {
        std::vector<BYTE> bytes = first;
        bytes.insert(bytes.end(), c.stray.begin(), c.stray.end());
        bytes.insert(bytes.end(), second.begin(), second.end());
        COverlayList list;
        EXPECT_EQ(Load(list, bytes), c.expect) << int(c.stray[0]);
    }
}

TEST(OverlayRecords, LyingRecordsAreSkipped)
{
    const std::vector<BYTE> good = EllipseRecord();
    struct Case {
        const char* name;
        std::vector<BYTE> bytes;
        LONG expect;
    };
    std::vector<Case> cases;
    auto with = [&](const char* name, std::vector<BYTE> bytes, LONG expect) {
        cases.push_back(Case{name, std::move(bytes), expect});
    };
    {
        std::vector<BYTE> b = good;
        Put32(b, 1, uint32_t(b.size() + 1)); // runs past the end
        with("length past the end", b, 0);
    }
    {
        std::vector<BYTE> b = good;
        Put32(b, 1, uint32_t(b.size() - 1)); // ends on a byte that is no marker
        b.push_back(0);
        with("length short of the end", b, 0);
    }
    {
        std::vector<BYTE> b(40, 0);
        b[0] = 0xFB; // length 0: would stay on the marker for ever
        with("length 0", b, 0);
        b.insert(b.end(), good.begin(), good.end());
        with("length 0, then a good one", b, 1);
    }
    {
        std::vector<BYTE> b = good;
        b[5] = 0x50; // a kind no one knows
        with("unknown kind", b, 0);
    }
    {
        std::vector<BYTE> b = good;
        Put32(b, 49, 0x7FFFFFF0u); // extra data far past the body
        with("extra length past the body", b, 0);
    }
    {
        std::vector<BYTE> b = good;
        Put32(b, 49, 0xFFFFFFFFu); // a negative extra length: no extra data
        with("negative extra length", b, 1);
    }
    for (const Case& c : cases) {
        COverlayList list;
        EXPECT_EQ(Load(list, c.bytes), c.expect) << c.name;
    }
}

TEST(OverlayRecords, BodyChecksOfEachKind)
{
    COverlayList source;
    const LOGFONTA lf = Arial(-12);
    LONG text = 1500, poly = 1501, bmpId = 1502;
    ASSERT_EQ(source.AddTextOverlayEx(&text, 0, 0, 0, 1, 1, 1, 0, 0, &lf, 3, "abc", 0, nullptr),
              S_OK);
    const POINT pts[3] = {{0, 0}, {10, 10}, {20, 0}};
    ASSERT_EQ(source.AddPolygonOverlayEx(&poly, 0, 0, 0, 1, 1, 1, 3, pts, 0, nullptr), S_OK);
    const std::vector<BYTE> bmp = MakeBmp(2, 2, {});
    TempFile file(bmp);
    ASSERT_EQ(source.AddBitmapOverlayEx(&bmpId, 0, 0, 0, 0, 0, 0, 0, 0, TvHandleFromFd(file.Fd()),
                                        0, nullptr),
              S_OK);

    struct Case {
        const char* name;
        LONG id;
        size_t field;
        uint32_t value;
    } cases[] = {
        {"text length past the body", text, 101, 200},
        {"text length 0", text, 101, 0},
        {"text length negative", text, 101, 0x80000000u},
        {"polygon count past the body", poly, 33, 1000},
        {"polygon of one point", poly, 33, 1},
        {"polygon count negative", poly, 33, 0xFFFFFFFEu},
        {"BMP length past the body", bmpId, 41, 0x80000000u | uint32_t(bmp.size() + 1)},
        {"BMP length 0", bmpId, 41, 0x80000000u},
    };
    for (const Case& c : cases) {
        std::vector<BYTE> rec = Records(source, c.id);
        ASSERT_GT(rec.size(), c.field + 4) << c.name;
        COverlayList check;
        ASSERT_EQ(Load(check, rec), 1) << c.name << " (unchanged)";
        Put32(rec, c.field, c.value);
        COverlayList list;
        EXPECT_EQ(Load(list, rec), 0) << c.name;
        EXPECT_TRUE(list.Empty()) << c.name;
    }
}

TEST(OverlayRecords, BmpThatLiesAboutItsSizeLoadsButNeverDraws)
{
    // The record is sound, the BMP inside it is not: bfSize claims more than
    // the file holds. The item is added; rendering refuses it.
    std::vector<BYTE> bmp = MakeBmp(2, 2, {});
    Put32(bmp, 2, 100000);
    TempFile file(bmp);
    COverlayList source;
    LONG id = 1600;
    ASSERT_EQ(source.AddBitmapOverlayEx(&id, 0, 0, 0, 0, 0, 0, 0, 0, TvHandleFromFd(file.Fd()), 0,
                                        nullptr),
              S_OK);
    COverlayList list;
    ASSERT_EQ(Load(list, Records(source, id)), 1);
    TestFrame frame(16, 16);
    TestLayoutSource layout(frame.Layout());
    const std::vector<BYTE> blank = frame.Picture();
    list.Draw(frame.Data(), frame.Bytes(), layout);
    EXPECT_EQ(frame.Picture(), blank);
    EXPECT_EQ(list.Count(), 1u);
}

TEST(OverlayRecords, TooSmallBufferReportsTheWholeRecordsThatFit)
{
    COverlayList list;
    for (LONG id : {2000, 2000, 2000}) {
        LONG i = id;
        list.AddEllipseOverlayEx(&i, 0, 0, 0, 1, 2, 3, 0, 0, 10, 10, 0, nullptr);
    }
    std::vector<BYTE> buffer(200);
    LONG size = 120; // two ellipse records of 53 bytes fit, the third does not
    LONG count = -7;
    EXPECT_EQ(list.GetItemsByIndex(2000, buffer.data(), &size, &count), E_FAIL);
    EXPECT_EQ(size, 106);
    EXPECT_EQ(count, -7);
    size = 200;
    EXPECT_EQ(list.GetItemsByIndex(2000, nullptr, &size, &count), E_FAIL);
    EXPECT_EQ(list.GetItemsByIndex(2000, buffer.data(), &size, &count), S_OK);
    EXPECT_EQ(size, 159);
    EXPECT_EQ(count, 3);
}

TEST(OverlayRecords, GetItemsSelectsApplicationItemsInTheWindow)
{
    COverlayList list;
    struct {
        LONG id;
        LONGLONG start, end;
    } items[] = {
        {1, 0, 0},        // the processor's own: never
        {1000, 0, 0},     // no window of its own: always
        {1001, 100, 0},   // only a start: always
        {1002, 100, 200}, // inside
        {1003, 300, 400}, // after the window's end
        {1004, 10, 40},   // before the window's start
        {1005, -50, 150}, // a negative bound
    };
    for (const auto& it : items) {
        LONG id = it.id;
        ASSERT_EQ(
            list.AddEllipseOverlayEx(&id, it.start, it.end, 0, 1, 2, 3, 0, 0, 4, 4, 0, nullptr),
            S_OK);
    }
    auto selected = [&](LONGLONG start, LONGLONG end) {
        std::vector<BYTE> buffer(4096);
        LONG size = LONG(buffer.size()), count = 0;
        EXPECT_EQ(list.GetItems(buffer.data(), &size, &count, start, end), S_OK);
        std::vector<LONG> ids;
        OverlayParseRecords(buffer.data(), size_t(size), [&](const OverlayRecord& rec) {
            ids.push_back(rec.id);
            return true;
        });
        EXPECT_EQ(LONG(ids.size()), count);
        return ids;
    };
    EXPECT_EQ(selected(50, 250), (std::vector<LONG>{1000, 1001, 1002}));
    EXPECT_EQ(selected(0, 0), (std::vector<LONG>{1000, 1001, 1002, 1003, 1004, 1005}));
}

TEST(OverlayRecords, FromFile)
{
    std::vector<BYTE> bytes = EllipseRecord(1700);
    const std::vector<BYTE> more = EllipseRecord(1701);
    bytes.insert(bytes.end(), more.begin(), more.end());
    char path[] = "/tmp/overlay_records_XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), ssize_t(bytes.size()));
    close(fd);
    COverlayList list;
    LONG count = -1;
    EXPECT_EQ(list.AddOverlaysFromFile(path, &count), S_OK);
    EXPECT_EQ(count, 2);
    unlink(path);
    EXPECT_EQ(list.AddOverlaysFromFile(path, &count), E_FAIL);
    EXPECT_EQ(list.AddOverlaysFromFile(nullptr, &count), E_FAIL);
}

} // namespace
