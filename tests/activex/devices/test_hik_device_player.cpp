// The network SDK's device player: what it asks the SDK for, in which order,
// and how it maps the SDK's answers.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <thread>

#include "CPlayerBase.h"
#include "DevicePlayers.h"
#include "DeviceTestSupport.h"
#include "HCNetSDK.h"
#include "HCNetSDKSim.h"

namespace {

constexpr int kStart = 1800000000; // inside the simulated device's records
constexpr int kEnd = kStart + 3600;

std::string LocalText(time_t value)
{
    std::tm tm{};
    localtime_r(&value, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

class HikDevicePlayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        HcSimReset();
        m_player.reset(TvNewHikDevicePlayer(m_window.Handle(), -1));
        ASSERT_TRUE(m_player);
        int id = -1;
        ASSERT_EQ(m_player->Login(6, "127.0.0.1", 8000, "admin", "12345", &id), 0);
        ASSERT_EQ(id, 0);
    }
    void TearDown() override { m_player.reset(); }

    // Opens live view (channel) or a playback by time, then forgets the calls so far.
    void OpenLive(int channel = 2)
    {
        ASSERT_EQ(m_player->OpenStream("", 0, 0, channel), 0);
        HcSimCalls().Clear();
    }
    void OpenPlayback()
    {
        ASSERT_EQ(m_player->OpenPeriod(1, kStart, kEnd), 0);
        HcSimCalls().Clear();
    }
    std::vector<std::string> Commands() const
    {
        std::vector<std::string> commands;
        for (const auto& args : ArgsOf(HcSimCalls(), "NET_DVR_PlayBackControl"))
            commands.push_back(args[1]);
        return commands;
    }

    CTestWindow m_window;
    CScratchFolder m_folder;
    PlayerPtr m_player;
};

TEST_F(HikDevicePlayer, LiveViewAsksForTheChannelInTheControlsWindow)
{
    ASSERT_EQ(m_player->OpenStream("ignored", 0, 0, 3), 0);
    EXPECT_EQ(ArgsOf(HcSimCalls(), "NET_DVR_SetAudioMode"),
              (std::vector<std::vector<std::string>>{{"2"}}));
    EXPECT_EQ(ArgsOf(HcSimCalls(), "NET_DVR_RealPlay"),
              (std::vector<std::vector<std::string>>{
                  {"0", "3", "2147483648", m_window.Text(), "0.0.0.0"}}));
    EXPECT_EQ(m_player->OpenStream("", 0, 0, -1), TV_ERR_NEGATIVE_CHANNEL);
    EXPECT_EQ(m_player->OpenStream("", 0, 0, 9), TV_ERR_HIK_BASE + kHcErrChannel);
}

TEST_F(HikDevicePlayer, PlayAfterStopOnLiveViewReopensTheKeptChannel)
{
    OpenLive(2);
    ASSERT_EQ(m_player->Stop(), 0);
    ASSERT_EQ(m_player->Play(), 0);
    EXPECT_EQ(NamesOf(HcSimCalls()),
              (std::vector<std::string>{"NET_DVR_StopRealPlay", "NET_DVR_SetAudioMode",
                                        "NET_DVR_RealPlay"}));
    EXPECT_EQ(ArgsOf(HcSimCalls(), "NET_DVR_RealPlay")[0][1], "2");
    // Live view has no pause: the playback operations say so.
    EXPECT_EQ(m_player->Pause(), E_FAIL);
    EXPECT_EQ(m_player->SetRate(2.0), E_FAIL);
    EXPECT_EQ(m_player->StepForward(), E_FAIL);
}

TEST_F(HikDevicePlayer, PlaybackByTimeGivesTheLocalTimesAndStarts)
{
    ASSERT_EQ(m_player->OpenPeriod(1, kStart, kEnd), 0);
    EXPECT_EQ(ArgsOf(HcSimCalls(), "NET_DVR_PlayBackByTime"),
              (std::vector<std::vector<std::string>>{
                  {"0", "1", LocalText(kStart), LocalText(kEnd), m_window.Text()}}));
    EXPECT_EQ(Commands(), std::vector<std::string>{"1"});
    // Stopped, then played again: the same channel and times.
    HcSimCalls().Clear();
    ASSERT_EQ(m_player->Stop(), 0);
    ASSERT_EQ(m_player->Play(), 0);
    EXPECT_EQ(ArgsOf(HcSimCalls(), "NET_DVR_PlayBackByTime").at(0)[2], LocalText(kStart));
    EXPECT_EQ(Commands(), (std::vector<std::string>{"2", "1"}));
}

TEST_F(HikDevicePlayer, PauseAndPlayResume)
{
    OpenPlayback();
    EXPECT_EQ(m_player->Pause(), 0);
    EXPECT_EQ(m_player->Play(), 0);
    EXPECT_EQ(m_player->StepForward(), 0);
    EXPECT_EQ(m_player->Pause(), 0); // single-stepping: nothing to pause
    EXPECT_EQ(m_player->Play(), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"3", "4", "8", "7"}));
}

struct RateCase {
    const char* name;
    double rate;
    int result;
    std::vector<std::string> commands;
    double rateAfter;
};

class HikDeviceRate : public HikDevicePlayer, public ::testing::WithParamInterface<RateCase> {};

TEST_P(HikDeviceRate, StepsByHalvingAndDoubling)
{
    const RateCase& c = GetParam();
    OpenPlayback();
    EXPECT_EQ(m_player->SetRate(c.rate), c.result);
    EXPECT_EQ(Commands(), c.commands);
    double rate = 0;
    ASSERT_EQ(m_player->GetRate(&rate), 0);
    EXPECT_DOUBLE_EQ(rate, c.rateAfter);
}

INSTANTIATE_TEST_SUITE_P(Rates, HikDeviceRate,
                         ::testing::Values(RateCase{"Point3", 0.3, 0, {"6", "6", "5"}, 0.5},
                                           RateCase{"Normal", 1.0, 0, {"7"}, 1.0},
                                           RateCase{"Double", 2.0, 0, {"5"}, 2.0},
                                           RateCase{"Three", 3.0, 0, {"5", "5"}, 4.0},
                                           RateCase{"Fastest", 8.0, 0, {"5", "5", "5"}, 8.0},
                                           RateCase{"Slowest", 0.125, 0, {"6", "6", "6"}, 0.125},
                                           RateCase{"Ten", 10.0, TV_ERR_DEVICE_RATE, {}, 1.0},
                                           RateCase{"TooSlow", 0.1, TV_ERR_DEVICE_RATE, {}, 1.0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HikDevicePlayer, ARefusedSpeedCommandEndsTheCallWithTheSdkError)
{
    OpenPlayback();
    HcSimCalls().FailNext("NET_DVR_PlayBackControl", kHcErrCommand);
    EXPECT_EQ(m_player->SetRate(0.25), TV_ERR_HIK_BASE + kHcErrCommand);
    EXPECT_EQ(Commands(), std::vector<std::string>{"6"});
}

struct RecordCase {
    const char* name;
    bool live;
    const char* directory; // "@" stands for the scratch folder
    const char* file;
    int result;
    const char* call;
    const char* path; // "@" as above
};

class HikDeviceRecord : public HikDevicePlayer, public ::testing::WithParamInterface<RecordCase> {
protected:
    std::string Expand(const char* text) const
    {
        std::string s = text;
        const size_t at = s.find('@');
        if (at != std::string::npos)
            s.replace(at, 1, m_folder.Path());
        return s;
    }
};

TEST_P(HikDeviceRecord, RecordsIntoAnMp4BesideTheGivenName)
{
    const RecordCase& c = GetParam();
    if (c.live)
        OpenLive();
    else
        OpenPlayback();
    const std::string directory = Expand(c.directory);
    // The SDK writes into a folder that exists; the player makes none.
    if (!directory.empty())
        std::filesystem::create_directories(directory);
    EXPECT_EQ(m_player->StartRecord(directory.c_str(), c.file), c.result);
    if (!*c.call) {
        EXPECT_EQ(HcSimCalls().Calls().size(), 0u);
        return;
    }
    const auto calls = ArgsOf(HcSimCalls(), c.call);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0][1], Expand(c.path));
    // The SDK wrote it where the path says, on this platform's paths.
    EXPECT_EQ(FileStart(Expand(c.path), 4), "TVSM");
}

INSTANTIATE_TEST_SUITE_P(
    Paths, HikDeviceRecord,
    ::testing::Values(RecordCase{"LiveLinuxFolder", true, "@", "clip.avi", 0,
                                 "NET_DVR_SaveRealData", "@/clip.mp4"},
                      RecordCase{"LiveFolderWithSlash", true, "@/", "clip", 0,
                                 "NET_DVR_SaveRealData", "@/clip.mp4"},
                      RecordCase{"PlaybackDotInFolderOnly", false, "@/a.b", "clip", 0,
                                 "NET_DVR_PlayBackSaveData", "@/a.b/clip.mp4"},
                      RecordCase{"NoName", true, "@", "", TV_ERR_RECORD_NAME, "", ""},
                      RecordCase{"NoFolder", true, "", "clip.avi", TV_ERR_RECORD_NAME, "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HikDevicePlayer, AWindowsFolderIsJoinedWithABackslash)
{
    OpenLive();
    // A drive path: the SDK maps it below the drive's root.
    setenv("TARVO_DRIVE_C", m_folder.Path().c_str(), 1);
    EXPECT_EQ(m_player->StartRecord("C:\\rec", "clip.avi"), TV_ERR_HIK_BASE + kHcErrFile);
    ASSERT_EQ(ArgsOf(HcSimCalls(), "NET_DVR_SaveRealData").size(), 1u);
    EXPECT_EQ(ArgsOf(HcSimCalls(), "NET_DVR_SaveRealData")[0][1], "C:\\rec\\clip.mp4");
    unsetenv("TARVO_DRIVE_C");
}

struct DownloadCase {
    const char* name;
    int position;
    bool stops;
};

class HikDeviceDownload : public HikDevicePlayer,
                          public ::testing::WithParamInterface<DownloadCase> {};

TEST_P(HikDeviceDownload, StopsOnlyATransferUnderWay)
{
    const DownloadCase& c = GetParam();
    const std::string path = m_folder / "down.mp4";
    const int handle = m_player->DownloadByTime(1, kStart, kEnd, path.c_str());
    ASSERT_GE(handle, 0);
    EXPECT_EQ(TpGetLastError(), TV_ERR_HIK_BASE);
    EXPECT_EQ(ArgsOf(HcSimCalls(), "NET_DVR_PlayBackControl"),
              (std::vector<std::vector<std::string>>{{std::to_string(handle), "1", "0"}}));
    HcSimSetDownloadPosition(handle, c.position);
    int position = -1;
    ASSERT_EQ(m_player->GetDownloadPosition(handle, &position), 0);
    EXPECT_EQ(position, c.position);
    EXPECT_EQ(m_player->StopDownload(handle), 0);
    EXPECT_EQ(HcSimCalls().Count("NET_DVR_StopGetFile"), c.stops ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(Positions, HikDeviceDownload,
                         ::testing::Values(DownloadCase{"NotBegun", 0, false},
                                           DownloadCase{"Half", 50, true},
                                           DownloadCase{"Done", 100, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HikDevicePlayer, DownloadFailuresAreMinusOneWithTheSdkError)
{
    EXPECT_EQ(m_player->DownloadByTime(7, kStart, kEnd, "x.mp4"), -1);
    EXPECT_EQ(TpGetLastError(), TV_ERR_HIK_BASE + kHcErrChannel);
    int position = 0;
    EXPECT_EQ(m_player->GetDownloadPosition(-1, &position), TV_ERR_HIK_BASE + kHcErrChannel);
}

TEST_F(HikDevicePlayer, ADownloadAdvancesToTheWholeFile)
{
    HcSimSetDownloadMillis(50);
    const std::string path = m_folder / "whole.mp4";
    const int handle = m_player->DownloadByTime(1, kStart, kEnd, path.c_str());
    ASSERT_GE(handle, 0);
    int position = 0;
    for (int i = 0; i < 500 && position < 100; ++i) {
        ASSERT_EQ(m_player->GetDownloadPosition(handle, &position), 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(position, 100);
    EXPECT_EQ(FileStart(path, 4), "TVSM");
}

TEST_F(HikDevicePlayer, CaptureMakesTheMissingFoldersAndWritesABitmap)
{
    OpenLive();
    const std::string path = m_folder / "a/b/c/live.bmp";
    ASSERT_EQ(m_player->GrabPicture(path.c_str()), 0);
    EXPECT_EQ(FileStart(path, 2), "BM");
    EXPECT_EQ(FileLe32(path, 18), 352);
    OpenPlayback();
    const std::string back = m_folder / "d/back.bmp";
    ASSERT_EQ(m_player->GrabPicture(back.c_str()), 0);
    EXPECT_EQ(ArgsOf(HcSimCalls(), "NET_DVR_PlayBackCaptureFile").size(), 1u);
    EXPECT_EQ(FileStart(back, 2), "BM");
    // A folder that cannot be made: a file stands in its way.
    const std::string blocked = path + "/x.bmp";
    EXPECT_EQ(m_player->GrabPicture(blocked.c_str()), E_FAIL);
}

TEST_F(HikDevicePlayer, ColourGoesToTheSdkInTwelfths)
{
    OpenLive();
    ASSERT_EQ(m_player->SetColor(60, 72, 120, 0), 0);
    EXPECT_EQ(ArgsOf(HcSimCalls(), "NET_DVR_ClientSetVideoEffect"),
              (std::vector<std::vector<std::string>>{{"0", "5", "6", "10", "0"}}));
    int b = 0, c = 0, s = 0, h = -1;
    ASSERT_EQ(m_player->GetColor(&b, &c, &s, &h), 0);
    EXPECT_EQ((std::vector<int>{b, c, s, h}), (std::vector<int>{60, 72, 120, 0}));
}

TEST_F(HikDevicePlayer, VolumeUsesTheSharedSoundLiveAndAudioCommandsInPlayback)
{
    OpenLive();
    ASSERT_EQ(m_player->SetVolume(40), 0);
    ASSERT_EQ(m_player->SetVolume(-1), 0);
    EXPECT_EQ(NamesOf(HcSimCalls()),
              (std::vector<std::string>{"NET_DVR_OpenSoundShare", "NET_DVR_Volume",
                                        "NET_DVR_CloseSoundShare"}));
    OpenPlayback();
    ASSERT_EQ(m_player->SetVolume(40), 0);
    ASSERT_EQ(m_player->SetVolume(-1), 0);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"9", "11", "10"}));
    EXPECT_EQ(ArgsOf(HcSimCalls(), "NET_DVR_PlayBackControl")[1][2], "40");
}

TEST_F(HikDevicePlayer, DurationAndFramesComeFromThePlayback)
{
    OpenPlayback();
    int value = 0;
    ASSERT_EQ(m_player->GetDuration(&value), 0);
    EXPECT_EQ(value, 600 * 1000);
    ASSERT_EQ(m_player->GetTotalFrames(&value), 0);
    EXPECT_EQ(value, 600 * 25);
    EXPECT_EQ(Commands(), (std::vector<std::string>{"17", "16"}));
}

TEST_F(HikDevicePlayer, PlaybackByNameIsOpenedAgainByName)
{
    ASSERT_EQ(m_player->OpenRemoteFile("ch2_record"), 0);
    ASSERT_EQ(m_player->Stop(), 0);
    HcSimCalls().Clear();
    ASSERT_EQ(m_player->Play(), 0);
    EXPECT_EQ(ArgsOf(HcSimCalls(), "NET_DVR_PlayBackByName"),
              (std::vector<std::vector<std::string>>{{"0", "ch2_record", m_window.Text()}}));
    EXPECT_EQ(m_player->OpenRemoteFile("nothing"), TV_ERR_HIK_BASE + kHcErrNoRecord);
}

TEST_F(HikDevicePlayer, ThePlayerNeedsItsLoginAndAPlayHandle)
{
    EXPECT_EQ(m_player->Pause(), TV_ERR_NO_PLAY_HANDLE);
    PlayerPtr unlogged(TvNewHikDevicePlayer(m_window.Handle(), -1));
    EXPECT_EQ(unlogged->OpenStream("", 0, 0, 1), TV_ERR_NO_LOGIN_ID);
    EXPECT_EQ(unlogged->SetLoginHandle(-2), TV_ERR_NEGATIVE_LOGIN);
    EXPECT_EQ(unlogged->SetLoginHandle(0), 0);
    EXPECT_EQ(unlogged->OpenStream("", 0, 0, 1), 0);
    // A login handle given at creation is the player's.
    PlayerPtr given(TvNewHikDevicePlayer(m_window.Handle(), 0));
    EXPECT_EQ(given->OpenStream("", 0, 0, 1), 0);
}

TEST_F(HikDevicePlayer, AnSdkThatWillNotInitialiseLeavesThePlayerUnusable)
{
    HcSimCalls().FailNext("NET_DVR_Init", kHcErrNotInit, 2);
    PlayerPtr player(TvNewHikDevicePlayer(m_window.Handle(), 0));
    EXPECT_EQ(player->OpenStream("", 0, 0, 1), TV_ERR_HIK_NOT_INITIALISED);
    int id = 0;
    EXPECT_EQ(player->Login(6, "127.0.0.1", 8000, "admin", "12345", &id),
              TV_ERR_HIK_NOT_INITIALISED);
}

TEST_F(HikDevicePlayer, DeletingThePlayerStopsAndCleansTheSdkUp)
{
    OpenLive();
    const int before = HcSimInitCount();
    m_player.reset();
    EXPECT_EQ(HcSimInitCount(), before - 1);
    EXPECT_EQ(NamesOf(HcSimCalls()),
              (std::vector<std::string>{"NET_DVR_StopSaveRealData", "NET_DVR_StopRealPlay",
                                        "NET_DVR_Cleanup"}));
}

} // namespace
