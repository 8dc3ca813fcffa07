// The PlayM4 file player: its calls on port 99, its rate steps, and the
// capture its display callback writes on the library's thread.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "CPlayerBase.h"
#include "DevicePlayers.h"
#include "DeviceTestSupport.h"
#include "PlayM4.h"
#include "PlayM4Sim.h"
#include "SdkMedia.h"

namespace {

class HikFilePlayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        Pm4SimReset();
        SdkMediaInfo info;
        info.frameCount = 25 * 60;
        ASSERT_TRUE(SdkWriteMediaFile(m_file.c_str(), info));
        m_player.reset(TvNewHikFilePlayer(m_window.Handle()));
        ASSERT_TRUE(m_player);
    }
    void TearDown() override
    {
        m_player.reset();
        Pm4SimReset();
    }
    void Open()
    {
        ASSERT_EQ(m_player->OpenLocalFile(m_file.c_str()), 0);
        Pm4SimCalls().Clear();
    }
    std::vector<std::string> Names() const { return NamesOf(Pm4SimCalls()); }

    CTestWindow m_window;
    CScratchFolder m_folder;
    std::string m_file = m_folder / "clip.mp4";
    PlayerPtr m_player;
};

TEST_F(HikFilePlayer, OpensOnPort99AndPlaysIntoTheWindow)
{
    ASSERT_EQ(m_player->OpenLocalFile(m_file.c_str()), 0);
    EXPECT_EQ(Pm4SimCalls().Calls(),
              (std::vector<SdkCall>{{"PlayM4_OpenFile", {"99", m_file}},
                                    {"PlayM4_GetFileTime", {"99"}},
                                    {"PlayM4_SetDisplayCallBack", {"99", "ptr"}},
                                    {"PlayM4_Play", {"99", m_window.Text()}}}));
    int ms = 0;
    ASSERT_EQ(m_player->GetDuration(&ms), 0);
    EXPECT_EQ(ms, 60 * 1000);
}

struct OpenCase {
    const char* name;
    const char* content; // the file's bytes; "" a recording of no length, "*" one of a minute
    const char* failCall;
    int result;
    std::vector<std::string> calls;
};

class HikFileOpen : public HikFilePlayer, public ::testing::WithParamInterface<OpenCase> {};

TEST_P(HikFileOpen, AFileThatDoesNotPlayIsClosedAgain)
{
    const OpenCase& c = GetParam();
    if (std::string(c.content) == "*") {
        // SetUp wrote it.
    } else if (*c.content) {
        FILE* f = std::fopen(m_file.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs(c.content, f);
        std::fclose(f);
    } else {
        SdkMediaInfo empty;
        empty.frameCount = 0;
        ASSERT_TRUE(SdkWriteMediaFile(m_file.c_str(), empty));
    }
    if (*c.failCall)
        Pm4SimCalls().FailNext(c.failCall, kPm4ErrOrder);
    EXPECT_EQ(m_player->OpenLocalFile(m_file.c_str()), c.result);
    EXPECT_EQ(Names(), c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Files, HikFileOpen,
    ::testing::Values(OpenCase{"NotARecording",
                               "not a recording",
                               "",
                               TV_ERR_PLAYM4_BASE + kPm4ErrOpenFile,
                               {"PlayM4_OpenFile"}},
                      OpenCase{"NoLength",
                               "",
                               "",
                               TV_ERR_PLAYM4_BASE,
                               {"PlayM4_OpenFile", "PlayM4_GetFileTime", "PlayM4_CloseFile"}},
                      OpenCase{"PlayRefused",
                               "*",
                               "PlayM4_Play",
                               TV_ERR_PLAYM4_BASE + kPm4ErrOrder,
                               {"PlayM4_OpenFile", "PlayM4_GetFileTime",
                                "PlayM4_SetDisplayCallBack", "PlayM4_Play", "PlayM4_CloseFile"}}),
    [](const auto& info) { return std::string(info.param.name); });

struct FileRateCase {
    const char* name;
    double rate;
    int result;
    std::vector<std::string> calls;
    int speedLevel;
};

class HikFileRate : public HikFilePlayer, public ::testing::WithParamInterface<FileRateCase> {};

TEST_P(HikFileRate, DoublesAndHalvesUpTo16)
{
    const FileRateCase& c = GetParam();
    Open();
    EXPECT_EQ(m_player->SetRate(c.rate), c.result);
    EXPECT_EQ(Names(), c.calls);
    EXPECT_EQ(Pm4SimSpeedLevel(99), c.speedLevel);
}

const std::string F = "PlayM4_Fast";
const std::string S = "PlayM4_Slow";

INSTANTIATE_TEST_SUITE_P(
    Rates, HikFileRate,
    ::testing::Values( // Past the rate and back: the file player settles at or below it.
        FileRateCase{"Ten", 10, 0, {F, F, F, F, S}, 3},
        FileRateCase{"Sixteen", 16, 0, {F, F, F, F}, 4}, FileRateCase{"Three", 3, 0, {F, F, S}, 1},
        FileRateCase{"Point3", 0.3, 0, {S, S}, -2},
        FileRateCase{"Slowest", 0.0625, 0, {S, S, S, S}, -4}, FileRateCase{"Normal", 1, 0, {}, 0},
        FileRateCase{"Seventeen", 17, TV_ERR_FILE_RATE, {}, 0},
        FileRateCase{"TooSlow", 0.03, TV_ERR_FILE_RATE, {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HikFilePlayer, TransportCallsOnPort99)
{
    Open();
    EXPECT_EQ(m_player->Pause(), 0);
    EXPECT_EQ(m_player->StepForward(), 0);
    EXPECT_EQ(m_player->Pause(), 0); // single-stepping: nothing more
    EXPECT_EQ(m_player->StepBackward(), 0);
    EXPECT_EQ(m_player->Play(), 0);
    EXPECT_EQ(m_player->SetPosition(30000), 0);
    EXPECT_EQ(m_player->Stop(), 0);
    EXPECT_EQ(m_player->SetVolume(50), E_FAIL);
    int volume = 0;
    EXPECT_EQ(m_player->GetVolume(&volume), E_FAIL);
    EXPECT_EQ(Pm4SimCalls().Calls(),
              (std::vector<SdkCall>{{"PlayM4_Pause", {"99", "1"}},
                                    {"PlayM4_Pause", {"99", "0"}},
                                    {"PlayM4_OneByOne", {"99"}},
                                    {"PlayM4_Pause", {"99", "0"}},
                                    {"PlayM4_OneByOneBack", {"99"}},
                                    {"PlayM4_Pause", {"99", "0"}},
                                    {"PlayM4_Play", {"99", m_window.Text()}},
                                    {"PlayM4_SetPlayedTimeEx", {"99", "30000"}},
                                    {"PlayM4_Stop", {"99"}}}));
    EXPECT_EQ(m_player->Close(), 0);
    EXPECT_EQ(m_player->Close(), TV_ERR_PLAYM4_BASE + kPm4ErrOrder);
}

TEST_F(HikFilePlayer, CaptureIsWrittenFromTheNextPictureOnTheLibrarysThread)
{
    Open();
    const std::string path = m_folder / "grab.bmp";
    ASSERT_EQ(m_player->GrabPicture(path.c_str()), 0);
    // The call is logged as it begins; the file is complete when it returns.
    const long long size = 54 + 352 * 288 * 3;
    for (int i = 0; i < 1000 && FileSize(path) != size; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    const auto converts = ArgsOf(Pm4SimCalls(), "PlayM4_ConvertToBmpFile");
    ASSERT_EQ(converts.size(), 1u);
    EXPECT_EQ(converts[0], (std::vector<std::string>{"ptr", std::to_string(352 * 288 * 3 / 2),
                                                     "352", "288", "3", path}));
    EXPECT_EQ(Pm4SimLastConvertThread(), Pm4SimDisplayThread(99));
    EXPECT_NE(Pm4SimLastConvertThread(), std::this_thread::get_id());
    EXPECT_EQ(FileStart(path, 2), "BM");
    EXPECT_EQ(FileLe32(path, 18), 352);
    EXPECT_EQ(FileLe32(path, 22), 288);
    EXPECT_EQ(FileSize(path), size);
    // Once: later pictures write nothing more.
    const long shown = Pm4SimFramesShown(99);
    for (int i = 0; i < 400 && Pm4SimFramesShown(99) < shown + 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(Pm4SimCalls().Count("PlayM4_ConvertToBmpFile"), 1u);
}

} // namespace
