// The player classes themselves: the defaults of CPlayerBase, Login's device-type
// check, the played-percent arithmetic over slots 15-17, the slot order of the
// virtual table, and players whose graph cannot be built.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <windows.h>

#include "CFilePlayer.h"
#include "CPlayerBase.h"
#include "CStreamPlayer.h"

namespace {

TEST(PlayerBaseDefaults, OperationsAnswerNotImplemented)
{
    CPlayerBase player(nullptr);
    int i = 0;
    double d = 0;
    BYTE bytes[8] = {};
    POINT pt = {0, 0};
    char text[16] = "";
    const std::vector<std::pair<const char*, std::function<int()>>> plain = {
        {"OpenStream", [&] { return player.OpenStream("127.0.0.1", 8001, 2, 0); }},
        {"OpenPeriod", [&] { return player.OpenPeriod(0, 1, 2); }},
        {"OpenRemoteFile", [&] { return player.OpenRemoteFile("f"); }},
        {"OpenLocalFile", [&] { return player.OpenLocalFile("f"); }},
        {"InputData", [&] { return player.InputData(bytes, 8); }},
        {"Pause", [&] { return player.Pause(); }},
        {"Play", [&] { return player.Play(); }},
        {"Stop", [&] { return player.Stop(); }},
        {"Close", [&] { return player.Close(); }},
        {"GetState", [&] { return player.GetState(&i); }},
        {"SetRate", [&] { return player.SetRate(2.0); }},
        {"GetRate", [&] { return player.GetRate(&d); }},
        {"StepForward", [&] { return player.StepForward(); }},
        {"StepBackward", [&] { return player.StepBackward(); }},
        {"GetDuration", [&] { return player.GetDuration(&i); }},
        {"GetPosition", [&] { return player.GetPosition(&i); }},
        {"SetPosition", [&] { return player.SetPosition(1000); }},
        {"GetTotalFrames", [&] { return player.GetTotalFrames(&i); }},
        {"GetPlayValue2", [&] { return player.GetPlayValue2(&i); }},
        {"SetPlayValue", [&] { return player.SetPlayValue(1); }},
        {"GetVodRange", [&] { return player.GetVodRange(&i); }},
        {"SetVodRange", [&] { return player.SetVodRange(1, 2); }},
        {"SetVodCallBack", [&] { return player.SetVodCallBack(nullptr, 0); }},
        {"VodCBResponsed", [&] { return player.VodCBResponsed(1); }},
        {"RemoveOverlay", [&] { return player.RemoveOverlay(1000); }},
        {"RemoveAllOverlay", [&] { return player.RemoveAllOverlay(); }},
        {"StartRecord", [&] { return player.StartRecord("/tmp", "a.tvx"); }},
        {"StopRecord", [&] { return player.StopRecord(); }},
        {"GetDownloadPosition", [&] { return player.GetDownloadPosition(1, &i); }},
        {"StopDownload", [&] { return player.StopDownload(1); }},
        {"SetReduceLevel", [&] { return player.SetReduceLevel(1, 1); }},
        {"GetReduceLevel", [&] { return player.GetReduceLevel(&i, &i); }},
        {"SetVideoCut", [&] { return player.SetVideoCut(0, 10, 0, 10); }},
        {"GetVideoCut", [&] { return player.GetVideoCut(&i, &i, &i, &i); }},
        {"SetSourceRect", [&] { return player.SetSourceRect(0, 0, 10, 10); }},
        {"GetSourceRect", [&] { return player.GetSourceRect(&i, &i, &i, &i); }},
        {"GetVideoSize", [&] { return player.GetVideoSize(&i, &i); }},
        {"SetVolume", [&] { return player.SetVolume(50); }},
        {"GetVolume", [&] { return player.GetVolume(&i); }},
        {"SetColor", [&] { return player.SetColor(1, 2, 3, 4); }},
        {"GetColor", [&] { return player.GetColor(&i, &i, &i, &i); }},
        {"SetFullScreenMode", [&] { return player.SetFullScreenMode(1); }},
        {"GetFullScreenMode", [&] { return player.GetFullScreenMode(&i); }},
        {"GrabPicture", [&] { return player.GrabPicture("/tmp/x.bmp"); }},
        {"SetDecCB", [&] { return player.SetDecCB(nullptr, nullptr); }},
        {"QueryDataDelivered", [&] { return player.QueryDataDelivered(100, &i, &i); }},
        {"GetVersions", [&] { return player.GetVersions(text, &i); }},
        {"SetYUVFrameCallBack", [&] { return player.SetYUVFrameCallBack(nullptr, nullptr); }},
        {"SetLoginHandle", [&] { return player.SetLoginHandle(3); }},
        {"ReSize", [&] { return player.ReSize(0, 0); }},
        {"GetStatistics", [&] { return player.GetStatistics(text, sizeof text); }},
    };
    for (const auto& [name, call] : plain) {
        TpSetLastError(12345);
        EXPECT_EQ(call(), E_NOTIMPL) << name;
        EXPECT_EQ(TpGetLastError(), 12345) << name << " must leave the last error alone";
    }

    const std::vector<std::pair<const char*, std::function<int()>>> minusOne = {
        {"AddTextOverlay", [&] { return player.AddTextOverlay(1, 2, "t", 0xFF, nullptr, 0, 0); }},
        {"AddSysTimeOverlay", [&] { return player.AddSysTimeOverlay(1, 2, 0xFF, nullptr, 0, 0); }},
        {"AddBitmapOverlay", [&] { return player.AddBitmapOverlay(1, 2, 3, 0, 0, 0); }},
        {"AddRectangleOverlay", [&] { return player.AddRectangleOverlay(&pt, &pt, 0xFF, 0, 0); }},
        {"AddCircleOverlay", [&] { return player.AddCircleOverlay(&pt, 5, 0xFF, 0, 0); }},
        {"AddEllipseOverlay", [&] { return player.AddEllipseOverlay(&pt, &pt, 0xFF, 0, 0); }},
        {"AddPolygonOverlay", [&] { return player.AddPolygonOverlay(&pt, 1, 0xFF, 0, 0); }},
        {"SetFlickerTime", [&] { return player.SetFlickerTime(1000, 0x00640064); }},
        {"GetItemsByIndex", [&] { return player.GetItemsByIndex(1000, bytes, &i, &i); }},
        {"AddOverlaysFromFile", [&] { return player.AddOverlaysFromFile("/tmp/o.dat", &i); }},
        {"AddOverlaysFromByte", [&] { return player.AddOverlaysFromByte(bytes, 8, &i); }},
        {"DownloadByTime", [&] { return player.DownloadByTime(1, 0, 10, "/tmp/d"); }},
    };
    for (const auto& [name, call] : minusOne) {
        TpSetLastError(12345);
        EXPECT_EQ(call(), -1) << name;
        EXPECT_EQ(TpGetLastError(), E_NOTIMPL) << name;
    }

    TpSetLastError(0);
    EXPECT_EQ(player.GetEventSink(), nullptr);
    EXPECT_EQ(TpGetLastError(), E_NOTIMPL);
}

TEST(PlayerBaseDefaults, LoginChecksTheDeviceTypeOnly)
{
    CPlayerBase player(nullptr);
    for (int type : {1, 2, 3, 4, 5, 7, 9, 10, 11, 12, 13, 14, 512}) {
        int loginId = -7;
        EXPECT_EQ(player.Login(type, "10.0.0.1", 8000, "admin", "pw", &loginId), 0) << type;
        EXPECT_EQ(loginId, -7) << "Login logs in to nothing";
    }
    for (int type : {0, 6, 8, 15, 256, 511, 513, -1})
        EXPECT_EQ(player.Login(type, nullptr, 0, nullptr, nullptr, nullptr), TP_ERR_UNSUPPORTED)
            << type;
}

// A player with a timeline: slots 15-17 answer from fields.
class TimelinePlayer : public CPlayerBase {
public:
    TimelinePlayer() : CPlayerBase(nullptr) {}
    int GetDuration(int* ms) override
    {
        if (durationResult == 0)
            *ms = duration;
        return durationResult;
    }
    int GetPosition(int* ms) override
    {
        if (positionResult == 0)
            *ms = position;
        return positionResult;
    }
    int SetPosition(int ms) override
    {
        setPositions.push_back(ms);
        return 0;
    }
    int duration = 0, position = 0;
    int durationResult = 0, positionResult = 0;
    std::vector<int> setPositions;
};

TEST(PlayedPercent, ComputedFromDurationAndPosition)
{
    TimelinePlayer player;
    int percent = -1;
    player.duration = 200000;
    player.position = 50000;
    EXPECT_EQ(player.GetPlayedPercent(&percent), 0);
    EXPECT_EQ(percent, 25);

    // Long files: position x 100 does not fit an int.
    player.duration = 30000000;
    player.position = 25000000;
    EXPECT_EQ(player.GetPlayedPercent(&percent), 0);
    EXPECT_EQ(percent, 83);

    player.duration = 0;
    percent = -1;
    EXPECT_EQ(player.GetPlayedPercent(&percent), 0);
    EXPECT_EQ(percent, 0);

    player.duration = 1000;
    player.positionResult = E_FAIL;
    percent = -1;
    EXPECT_EQ(player.GetPlayedPercent(&percent), E_FAIL);
    EXPECT_EQ(percent, 0);

    player.durationResult = TP_ERR_INVALID_HANDLE;
    percent = -1;
    EXPECT_EQ(player.GetPlayedPercent(&percent), TP_ERR_INVALID_HANDLE);
    EXPECT_EQ(percent, 0);

    EXPECT_EQ(player.GetPlayedPercent(nullptr), E_POINTER);
}

TEST(PlayedPercent, SetDividesTheDurationFirst)
{
    TimelinePlayer player;
    player.duration = 1999;
    EXPECT_EQ(player.SetPlayedPercent(50), 0);
    player.duration = 100000;
    EXPECT_EQ(player.SetPlayedPercent(37), 0);
    EXPECT_EQ(player.setPositions, (std::vector<int>{50 * 19, 37000}));

    player.durationResult = E_NOTIMPL;
    EXPECT_EQ(player.SetPlayedPercent(10), E_NOTIMPL);
    EXPECT_EQ(player.setPositions.size(), 2u);
}

TEST(PlayedPercent, DefaultsOfAPlayerWithoutTimeline)
{
    CPlayerBase player(nullptr);
    int percent = 42;
    EXPECT_EQ(player.GetPlayedPercent(&percent), E_NOTIMPL);
    EXPECT_EQ(percent, 0);
    EXPECT_EQ(player.SetPlayedPercent(50), E_NOTIMPL);
}

// ---- Slot order ----

// The vtable index a pointer to a virtual member function designates (Itanium
// C++ ABI: the pointer field holds 1 + the byte offset into the vtable).
template <typename PMF> size_t VtableIndex(PMF pmf)
{
    struct {
        uintptr_t ptr;
        ptrdiff_t adj;
    } rep;
    static_assert(sizeof(pmf) == sizeof(rep));
    std::memcpy(&rep, &pmf, sizeof rep);
    EXPECT_EQ(rep.ptr & 1, 1u) << "not a virtual function";
    return (rep.ptr - 1) / sizeof(void*);
}

// Slot 0 is the virtual destructor, which the Itanium ABI lays out as two
// entries (complete-object destructor at index 0, deleting destructor at index
// 1). So slot k >= 1 sits at vtable index k + 1.
constexpr size_t IndexOfSlot(int slot)
{
    return static_cast<size_t>(slot) + 1;
}

TEST(PlayerSlots, EveryOperationSitsInItsSlot)
{
    EXPECT_EQ(VtableIndex(&CPlayerBase::OpenStream), IndexOfSlot(1));
    EXPECT_EQ(VtableIndex(&CPlayerBase::OpenPeriod), IndexOfSlot(2));
    EXPECT_EQ(VtableIndex(&CPlayerBase::OpenRemoteFile), IndexOfSlot(3));
    EXPECT_EQ(VtableIndex(&CPlayerBase::OpenLocalFile), IndexOfSlot(4));
    EXPECT_EQ(VtableIndex(&CPlayerBase::InputData), IndexOfSlot(5));
    EXPECT_EQ(VtableIndex(&CPlayerBase::Pause), IndexOfSlot(6));
    EXPECT_EQ(VtableIndex(&CPlayerBase::Play), IndexOfSlot(7));
    EXPECT_EQ(VtableIndex(&CPlayerBase::Stop), IndexOfSlot(8));
    EXPECT_EQ(VtableIndex(&CPlayerBase::Close), IndexOfSlot(9));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetState), IndexOfSlot(10));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetRate), IndexOfSlot(11));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetRate), IndexOfSlot(12));
    EXPECT_EQ(VtableIndex(&CPlayerBase::StepForward), IndexOfSlot(13));
    EXPECT_EQ(VtableIndex(&CPlayerBase::StepBackward), IndexOfSlot(14));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetDuration), IndexOfSlot(15));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetPosition), IndexOfSlot(16));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetPosition), IndexOfSlot(17));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetPlayedPercent), IndexOfSlot(18));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetPlayedPercent), IndexOfSlot(19));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetTotalFrames), IndexOfSlot(20));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetPlayValue2), IndexOfSlot(21));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetPlayValue), IndexOfSlot(22));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetVodRange), IndexOfSlot(23));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetVodRange), IndexOfSlot(24));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetVodCallBack), IndexOfSlot(25));
    EXPECT_EQ(VtableIndex(&CPlayerBase::VodCBResponsed), IndexOfSlot(26));
    EXPECT_EQ(VtableIndex(&CPlayerBase::AddTextOverlay), IndexOfSlot(27));
    EXPECT_EQ(VtableIndex(&CPlayerBase::AddSysTimeOverlay), IndexOfSlot(28));
    EXPECT_EQ(VtableIndex(&CPlayerBase::AddBitmapOverlay), IndexOfSlot(29));
    EXPECT_EQ(VtableIndex(&CPlayerBase::AddRectangleOverlay), IndexOfSlot(30));
    EXPECT_EQ(VtableIndex(&CPlayerBase::AddCircleOverlay), IndexOfSlot(31));
    EXPECT_EQ(VtableIndex(&CPlayerBase::AddEllipseOverlay), IndexOfSlot(32));
    EXPECT_EQ(VtableIndex(&CPlayerBase::AddPolygonOverlay), IndexOfSlot(33));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetFlickerTime), IndexOfSlot(34));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetItemsByIndex), IndexOfSlot(35));
    EXPECT_EQ(VtableIndex(&CPlayerBase::AddOverlaysFromFile), IndexOfSlot(36));
    EXPECT_EQ(VtableIndex(&CPlayerBase::AddOverlaysFromByte), IndexOfSlot(37));
    EXPECT_EQ(VtableIndex(&CPlayerBase::RemoveOverlay), IndexOfSlot(38));
    EXPECT_EQ(VtableIndex(&CPlayerBase::RemoveAllOverlay), IndexOfSlot(39));
    EXPECT_EQ(VtableIndex(&CPlayerBase::StartRecord), IndexOfSlot(40));
    EXPECT_EQ(VtableIndex(&CPlayerBase::StopRecord), IndexOfSlot(41));
    EXPECT_EQ(VtableIndex(&CPlayerBase::DownloadByTime), IndexOfSlot(42));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetDownloadPosition), IndexOfSlot(43));
    EXPECT_EQ(VtableIndex(&CPlayerBase::StopDownload), IndexOfSlot(44));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetReduceLevel), IndexOfSlot(45));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetReduceLevel), IndexOfSlot(46));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetVideoCut), IndexOfSlot(47));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetVideoCut), IndexOfSlot(48));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetSourceRect), IndexOfSlot(49));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetSourceRect), IndexOfSlot(50));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetVideoSize), IndexOfSlot(51));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetVolume), IndexOfSlot(52));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetVolume), IndexOfSlot(53));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetColor), IndexOfSlot(54));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetColor), IndexOfSlot(55));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetFullScreenMode), IndexOfSlot(56));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetFullScreenMode), IndexOfSlot(57));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GrabPicture), IndexOfSlot(58));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetDecCB), IndexOfSlot(59));
    EXPECT_EQ(VtableIndex(&CPlayerBase::QueryDataDelivered), IndexOfSlot(60));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetVersions), IndexOfSlot(61));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetYUVFrameCallBack), IndexOfSlot(62));
    EXPECT_EQ(VtableIndex(&CPlayerBase::Login), IndexOfSlot(63));
    EXPECT_EQ(VtableIndex(&CPlayerBase::SetLoginHandle), IndexOfSlot(64));
    EXPECT_EQ(VtableIndex(&CPlayerBase::ReSize), IndexOfSlot(65));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetEventSink), IndexOfSlot(66));
    EXPECT_EQ(VtableIndex(&CPlayerBase::GetStatistics), IndexOfSlot(67));
    // The graph players' one addition follows the base's 68 slots.
    EXPECT_EQ(VtableIndex(&CGraphPlayer::BuildGraph), IndexOfSlot(68));
    EXPECT_EQ(VtableIndex(&CStreamPlayer::BuildGraph), IndexOfSlot(68));
    EXPECT_EQ(VtableIndex(&CFilePlayer::BuildGraph), IndexOfSlot(68));
}

void** VtableOf(void* object)
{
    return *static_cast<void***>(object);
}

TEST(PlayerSlots, RawVtableCallsReachTheOperations)
{
    CPlayerBase base(nullptr);
    using LoginFn = int (*)(void*, int, const char*, int, const char*, const char*, int*);
    auto login = reinterpret_cast<LoginFn>(VtableOf(&base)[IndexOfSlot(63)]);
    EXPECT_EQ(login(&base, 6, "a", 1, "u", "p", nullptr), TP_ERR_UNSUPPORTED);
    EXPECT_EQ(login(&base, 512, "a", 1, "u", "p", nullptr), 0);

    using AddTextFn = int (*)(void*, int, int, const char*, int, void*, int, int);
    auto addText = reinterpret_cast<AddTextFn>(VtableOf(&base)[IndexOfSlot(27)]);
    TpSetLastError(0);
    EXPECT_EQ(addText(&base, 1, 2, "x", 0, nullptr, 0, 0), -1);
    EXPECT_EQ(TpGetLastError(), E_NOTIMPL);

    // An override occupies the base's slot: slot 18 computes from the overridden 15-16.
    TimelinePlayer timeline;
    timeline.duration = 400;
    timeline.position = 100;
    using PercentFn = int (*)(void*, int*);
    auto percent = reinterpret_cast<PercentFn>(VtableOf(&timeline)[IndexOfSlot(18)]);
    int value = -1;
    EXPECT_EQ(percent(&timeline, &value), 0);
    EXPECT_EQ(value, 25);
}

struct DestructionProbe : CPlayerBase {
    explicit DestructionProbe(bool* flag) : CPlayerBase(nullptr), m_flag(flag) {}
    ~DestructionProbe() override { *m_flag = true; }
    bool* m_flag;
};

TEST(PlayerSlots, SlotZeroIsTheDestructor)
{
    bool destroyed = false;
    auto* probe = new DestructionProbe(&destroyed);
    // Index 1: the deleting destructor (destroys and frees, as delete does).
    using DeletingDtor = void (*)(void*);
    auto deleting = reinterpret_cast<DeletingDtor>(VtableOf(probe)[1]);
    deleting(probe);
    EXPECT_TRUE(destroyed);
}

// ---- Players whose graph cannot be built ----

class NoGraphPlayers : public ::testing::Test {
protected:
    static int CountBox(HWND, LPCSTR, LPCSTR, UINT, void* user)
    {
        ++*static_cast<int*>(user);
        return IDOK;
    }
    void SetUp() override
    {
        m_window = TvCreateVirtualWindow(64, 48);
        TvSetMessageBoxHandler(CountBox, &m_boxes);
    }
    void TearDown() override
    {
        TvSetMessageBoxHandler(nullptr, nullptr);
        DestroyWindow(m_window);
    }
    HWND m_window = nullptr;
    int m_boxes = 0;
};

TEST_F(NoGraphPlayers, StreamPlayerStaysWithoutGraphAndDeletesCleanly)
{
    auto* player = new CStreamPlayer(m_window, 1, 6);
    EXPECT_FALSE(player->HasGraph());
    EXPECT_FALSE(player->IsPolling());
    EXPECT_EQ(player->FormatType(), 6);
    EXPECT_EQ(player->PlayMode(), 1);
    EXPECT_EQ(player->Window(), m_window);
    // The filter graph manager is the first thing built; its absence shows no message.
    EXPECT_EQ(m_boxes, 0);
    // Building again reports why: the graph manager could not be created, which the
    // stream player reports as a failed common part.
    EXPECT_EQ(player->CGraphPlayer::BuildGraph(), TP_ERR_NO_PLAYER);
    EXPECT_EQ(player->BuildGraph(), TP_ERR_INVALID_HANDLE);
    TpSetLastError(0);
    EXPECT_EQ(player->GetEventSink(), nullptr);
    EXPECT_EQ(TpGetLastError(), 0);
    EXPECT_EQ(player->Close(), 0);
    EXPECT_EQ(player->Close(), 0);
    delete player;
}

TEST_F(NoGraphPlayers, FilePlayerStaysWithoutGraph)
{
    CFilePlayer player(m_window);
    EXPECT_FALSE(player.HasGraph());
    EXPECT_EQ(player.BuildGraph(), TP_ERR_INVALID_HANDLE);
    EXPECT_EQ(m_boxes, 0);
}

} // namespace
