// The simulated SDKs on their own: the playback commands' meanings, logins,
// failures on request and the file player's speed range.
#include <gtest/gtest.h>

#include "DeviceTestSupport.h"
#include "HCNetSDK.h"
#include "HCNetSDKSim.h"
#include "PlayM4.h"
#include "PlayM4Sim.h"
#include "SdkMedia.h"

namespace {

class SimulatedHcNetSdk : public ::testing::Test {
protected:
    void SetUp() override
    {
        HcSimReset();
        ASSERT_TRUE(NET_DVR_Init());
        NET_DVR_DEVICEINFO info;
        m_user = NET_DVR_Login("127.0.0.1", 8000, "admin", "12345", &info);
        ASSERT_EQ(m_user, 0);
        EXPECT_EQ(info.byChanNum, 4);
        EXPECT_EQ(info.byStartChan, 1);
        NET_DVR_TIME start{2027, 1, 2, 10, 0, 0}, end{2027, 1, 2, 11, 0, 0};
        m_play = NET_DVR_PlayBackByTime(m_user, 1, &start, &end, nullptr);
        ASSERT_GE(m_play, 0);
    }
    void TearDown() override { HcSimReset(); }

    LONG m_user = -1;
    LONG m_play = -1;
};

struct CommandCase {
    const char* name;
    std::vector<DWORD> before; // commands given first
    DWORD command;
    DWORD inValue;
    BOOL ok;
    DWORD out;   // checked when ok and the command answers
    int speed;   // the speed level afterwards
    DWORD error; // NET_DVR_GetLastError when not ok
};

class HcNetSdkCommands : public SimulatedHcNetSdk,
                         public ::testing::WithParamInterface<CommandCase> {};

TEST_P(HcNetSdkCommands, MeanWhatTheirNumbersSay)
{
    const CommandCase& c = GetParam();
    for (DWORD command : c.before)
        ASSERT_TRUE(NET_DVR_PlayBackControl(m_play, command, 0, nullptr)) << command;
    DWORD out = 12345;
    EXPECT_EQ(NET_DVR_PlayBackControl(m_play, c.command, c.inValue, &out), c.ok);
    if (c.ok && c.out != 12345) {
        EXPECT_EQ(out, c.out);
    }
    if (!c.ok) {
        EXPECT_EQ(NET_DVR_GetLastError(), c.error);
    }
    EXPECT_EQ(HcSimSpeedLevel(m_play), c.speed);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, HcNetSdkCommands,
    ::testing::Values(CommandCase{"PauseBeforeStart", {}, 3, 0, FALSE, 0, 0, kHcErrOrder},
                      CommandCase{"Start", {}, 1, 0, TRUE, 12345, 0, 0},
                      CommandCase{"Fast", {1}, 5, 0, TRUE, 12345, 1, 0},
                      CommandCase{"Slow", {1}, 6, 0, TRUE, 12345, -1, 0},
                      CommandCase{
                          "FastestIsSixteen", {1, 5, 5, 5, 5}, 5, 0, FALSE, 0, 4, kHcErrCommand},
                      CommandCase{"Normal", {1, 5, 5}, 7, 0, TRUE, 12345, 0, 0},
                      CommandCase{"SetAndGetPosition", {1, 12}, 13, 0, TRUE, 0, 0, 0},
                      CommandCase{"TotalTime", {}, 17, 0, TRUE, 600, 0, 0},
                      CommandCase{"TotalFrames", {}, 16, 0, TRUE, 15000, 0, 0},
                      CommandCase{"PlayedFrames", {1, 8, 8}, 15, 0, TRUE, 2, 0, 0},
                      CommandCase{"VolumeWithoutAudio", {1}, 11, 50, FALSE, 0, 0, kHcErrOrder},
                      CommandCase{"Volume", {1, 9}, 11, 50, TRUE, 12345, 0, 0},
                      CommandCase{"Fourteen", {1}, 14, 0, FALSE, 0, 0, kHcErrCommand}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SimulatedHcNetSdk, PositionFollowsSetPosition)
{
    ASSERT_TRUE(NET_DVR_PlayBackControl(m_play, 1, 0, nullptr));
    ASSERT_TRUE(NET_DVR_PlayBackControl(m_play, 12, 40, nullptr));
    DWORD out = 0;
    ASSERT_TRUE(NET_DVR_PlayBackControl(m_play, 13, 0, &out));
    EXPECT_EQ(out, 40u);
    ASSERT_TRUE(NET_DVR_PlayBackControl(m_play, 2, 0, nullptr));
    EXPECT_FALSE(NET_DVR_PlayBackControl(m_play, 13, 0, &out));
    EXPECT_EQ(NET_DVR_GetLastError(), static_cast<DWORD>(kHcErrParameter));
}

TEST_F(SimulatedHcNetSdk, FailuresOnRequestAndTheCallLog)
{
    HcSimCalls().FailNext("NET_DVR_StopRealPlay", 99, 2);
    EXPECT_FALSE(NET_DVR_StopRealPlay(5));
    EXPECT_EQ(NET_DVR_GetLastError(), 99u);
    EXPECT_FALSE(NET_DVR_StopRealPlay(5));
    EXPECT_FALSE(NET_DVR_StopRealPlay(5));
    EXPECT_EQ(NET_DVR_GetLastError(), static_cast<DWORD>(kHcErrParameter));
    EXPECT_EQ(ArgsOf(HcSimCalls(), "NET_DVR_StopRealPlay").size(), 3u);
    NET_DVR_TIME start{2031, 1, 1, 0, 0, 0}, end{2031, 1, 1, 1, 0, 0};
    EXPECT_EQ(NET_DVR_GetFileByTime(m_user, 1, &start, &end, "x"), -1);
    EXPECT_EQ(NET_DVR_GetLastError(), static_cast<DWORD>(kHcErrNoRecord));
}

TEST(SimulatedPlayM4, SpeedStaysWithin16TimesEitherWay)
{
    Pm4SimReset();
    CScratchFolder folder;
    const std::string file = folder / "f.mp4";
    ASSERT_TRUE(SdkWriteMediaFile(file.c_str(), SdkMediaInfo()));
    ASSERT_TRUE(PlayM4_OpenFile(5, file.c_str()));
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(PlayM4_Fast(5));
    EXPECT_FALSE(PlayM4_Fast(5));
    EXPECT_EQ(PlayM4_GetLastError(5), static_cast<DWORD>(kPm4ErrSpeed));
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(PlayM4_Slow(5));
    EXPECT_FALSE(PlayM4_Slow(5));
    EXPECT_EQ(PlayM4_GetFileTime(5), 10u);
    EXPECT_FALSE(PlayM4_OpenFile(5, file.c_str()));
    EXPECT_FALSE(PlayM4_Play(PLAYM4_MAX_PORT, nullptr));
    EXPECT_TRUE(PlayM4_CloseFile(5));
    Pm4SimReset();
}

} // namespace
