// The H3C device player and the H3C login: the device object found through
// the registry, its answers mapped to the 300xx codes, the speed codes.
#include <gtest/gtest.h>

#include <cstdio>
#include <ctime>

#include <windows.h>

#include "CH3CDevicePlayer.h"
#include "CPlayerBase.h"
#include "DevicePlayers.h"
#include "DeviceTestSupport.h"
#include "H3CSim.h"

namespace {

class H3CTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        H3cSimReset();
        m_player.reset(TvNewH3CDevicePlayer(m_window.Handle()));
        ASSERT_TRUE(m_player);
    }
    void TearDown() override
    {
        m_player.reset();
        EXPECT_EQ(H3cSimLiveDevices(), 0);
    }
    int LogIn(const char* password = "h3c")
    {
        int id = -1;
        return m_player->Login(8, "127.0.0.1", 9000, "admin", password, &id);
    }

    CTestWindow m_window;
    PlayerPtr m_player;
};

struct H3CLoginCase {
    const char* name;
    bool registered;
    const char* failCall; // a device-object call told to fail, or ""
    const char* password;
    int result;
    std::vector<std::string> calls;
};

class H3CLogin : public H3CTest, public ::testing::WithParamInterface<H3CLoginCase> {};

TEST_P(H3CLogin, MapsEachStepToItsCode)
{
    const H3CLoginCase& c = GetParam();
    CScratchFolder folder;
    if (!c.registered) {
        const std::string empty = folder / "empty.reg";
        std::fclose(std::fopen(empty.c_str(), "w"));
        TvSetRegistryPath(empty.c_str());
    }
    if (*c.failCall)
        H3cSimDeviceCalls().FailNext(c.failCall, 9);
    EXPECT_EQ(LogIn(c.password), c.result);
    TvSetRegistryPath(nullptr);
    EXPECT_EQ(NamesOf(H3cSimDeviceCalls()), c.calls);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, H3CLogin,
    ::testing::Values(
        H3CLoginCase{"Ok", true, "", "h3c", 0, {"Initialize", "Login"}},
        H3CLoginCase{"NotRegistered", false, "", "h3c", TV_ERR_H3C_NOT_REGISTERED, {}},
        H3CLoginCase{"NoInterface", true, "QueryInterface", "h3c", TV_ERR_H3C_NO_INTERFACE, {}},
        H3CLoginCase{"InitialisationRefused",
                     true,
                     "Initialize",
                     "h3c",
                     TV_ERR_H3C_NO_DEVICE,
                     {"Initialize"}},
        H3CLoginCase{"WrongPassword", true, "", "x", TV_ERR_H3C_LOGIN, {"Initialize", "Login"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(H3CTest, LoginArgumentsAndLogout)
{
    ASSERT_EQ(LogIn(), 0);
    EXPECT_EQ(ArgsOf(H3cSimDeviceCalls(), "Login"),
              (std::vector<std::vector<std::string>>{{"127.0.0.1", "9000", "admin", "h3c"}}));
    EXPECT_EQ(TvDeviceLogout(m_player.get(), 8, 0), 0);
    EXPECT_EQ(TvDeviceLogout(m_player.get(), 8, 0), TV_ERR_H3C_LOGOUT);
    PlayerPtr fresh(TvNewH3CDevicePlayer(m_window.Handle()));
    EXPECT_EQ(TvDeviceLogout(fresh.get(), 8, 0), TV_ERR_H3C_NO_DEVICE);
}

TEST_F(H3CTest, WithoutTheDeviceObjectEverythingIs30003)
{
    EXPECT_EQ(m_player->OpenStream("", 0, 0, 1), TV_ERR_H3C_NO_DEVICE);
    EXPECT_EQ(m_player->Play(), TV_ERR_H3C_NO_DEVICE);
    EXPECT_EQ(m_player->SetRate(2.0), TV_ERR_H3C_NO_DEVICE);
    EXPECT_EQ(m_player->DownloadByTime(1, 0, 10, "x"), -1);
    EXPECT_EQ(TpGetLastError(), TV_ERR_H3C_NO_DEVICE);
}

TEST_F(H3CTest, OpensChannelsAndPeriods)
{
    ASSERT_EQ(LogIn(), 0);
    EXPECT_EQ(m_player->OpenStream("", 0, 0, -1), TV_ERR_H3C_CHANNEL);
    EXPECT_EQ(m_player->OpenStream("", 0, 0, 99), TV_ERR_H3C_OPEN_STREAM);
    H3cSimDeviceCalls().Clear();
    ASSERT_EQ(m_player->OpenStream("", 0, 0, 3), 0);
    EXPECT_EQ(ArgsOf(H3cSimDeviceCalls(), "OpenRealPlay"),
              (std::vector<std::vector<std::string>>{{"3", m_window.Text(), "ptr"}}));
    const time_t start = 1800000000;
    ASSERT_EQ(m_player->OpenPeriod(2, static_cast<int>(start), static_cast<int>(start + 60)), 0);
    std::tm tm{};
    localtime_r(&start, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    EXPECT_EQ(ArgsOf(H3cSimDeviceCalls(), "OpenPlayback").at(0)[1], text);
    EXPECT_EQ(m_player->OpenPeriod(2, static_cast<int>(start), static_cast<int>(start)),
              TV_ERR_H3C_OPEN_PERIOD);
    EXPECT_EQ(m_player->OpenRemoteFile("rec1"), 0);
    EXPECT_EQ(ArgsOf(H3cSimDeviceCalls(), "OpenPlaybackByName").at(0)[0], "rec1");
}

struct SpeedCase {
    const char* name;
    double rate;
    int result;
    int code; // sent to the device, -1 none
};

class H3CSpeed : public H3CTest, public ::testing::WithParamInterface<SpeedCase> {};

TEST_P(H3CSpeed, RatesBecomeSpeedCodesAndBack)
{
    const SpeedCase& c = GetParam();
    ASSERT_EQ(LogIn(), 0);
    ASSERT_EQ(m_player->OpenStream("", 0, 0, 0), 0);
    H3cSimDeviceCalls().Clear();
    EXPECT_EQ(m_player->SetRate(c.rate), c.result);
    const auto sent = ArgsOf(H3cSimDeviceCalls(), "SetSpeed");
    if (c.code < 0) {
        EXPECT_TRUE(sent.empty());
        return;
    }
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0][0], std::to_string(c.code));
    double back = 0;
    ASSERT_EQ(m_player->GetRate(&back), 0);
    double expected = 0;
    ASSERT_TRUE(CH3CDevicePlayer::RateOfCode(c.code, &expected));
    EXPECT_DOUBLE_EQ(back, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Rates, H3CSpeed,
    ::testing::Values(SpeedCase{"Quarter", 0.25, 0, 1}, SpeedCase{"Half", 0.5, 0, 2},
                      SpeedCase{"Normal", 1.0, 0, 0}, SpeedCase{"Three", 3.0, 0, 3},
                      SpeedCase{"Eight", 8.0, 0, 5}, SpeedCase{"Sixteen", 16.0, 0, 6},
                      SpeedCase{"TooFast", 17.0, TV_ERR_DEVICE_RATE, -1},
                      SpeedCase{"TooSlow", 0.2, TV_ERR_DEVICE_RATE, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(H3CTest, AnUnknownSpeedCodeIs30012)
{
    double rate = 0;
    EXPECT_EQ(CH3CDevicePlayer::RateOfCode(7, &rate), false);
    ASSERT_EQ(LogIn(), 0);
    EXPECT_EQ(m_player->GetRate(&rate), 1); // nothing open: the device's answer
}

TEST_F(H3CTest, RecordAndDownloadPassTheirArguments)
{
    ASSERT_EQ(LogIn(), 0);
    ASSERT_EQ(m_player->OpenStream("", 0, 0, 1), 0);
    EXPECT_EQ(m_player->StartRecord("/rec", "a.avi"), 0);
    EXPECT_EQ(ArgsOf(H3cSimDeviceCalls(), "StartRecord").at(0),
              (std::vector<std::string>{"/rec", "a.avi"}));
    const int handle = m_player->DownloadByTime(1, 1800000000, 1800000060, "/d.mp4");
    ASSERT_GE(handle, 0);
    int position = 0;
    EXPECT_EQ(m_player->GetDownloadPosition(handle, &position), 0);
    EXPECT_EQ(position, 100);
    EXPECT_EQ(m_player->StopDownload(handle), 0);
    EXPECT_EQ(m_player->Close(), 0);
    EXPECT_EQ(NamesOf(H3cSimDeviceCalls()).back(), "Stop");
}

} // namespace
