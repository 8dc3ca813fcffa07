// Logins through the control's players: the device types that log in to an
// SDK, those that need no login, and the library's players, which log in to
// nothing.
#include <gtest/gtest.h>

#include "CPlayerBase.h"
#include "DevicePlayers.h"
#include "DeviceTestSupport.h"
#include "HCNetSDKSim.h"

namespace {

struct LoginCase {
    const char* name;
    int deviceType;
    const char* password;
    const char* failCall; // a call told to fail first, or ""
    int failError;
    int result;
    int loginId;
};

class DeviceLogin : public ::testing::TestWithParam<LoginCase> {
protected:
    void SetUp() override
    {
        HcSimReset();
        TvInstallDeviceLogin();
    }
};

TEST_P(DeviceLogin, AnswersByDeviceType)
{
    const LoginCase& c = GetParam();
    if (*c.failCall)
        HcSimCalls().FailNext(c.failCall, c.failError);
    // The holder the control makes for a login: a player of the library's classes.
    PlayerPtr holder(new CPlayerBase(nullptr));
    int id = -7;
    EXPECT_EQ(holder->Login(c.deviceType, "127.0.0.1", 8000, "admin", c.password, &id), c.result);
    EXPECT_EQ(id, c.loginId);
}

INSTANTIATE_TEST_SUITE_P(
    Types, DeviceLogin,
    ::testing::Values(
        LoginCase{"Hik", 6, "12345", "", 0, 0, 0},
        LoginCase{"HikWrongPassword", 6, "x", "", 0, TV_ERR_HIK_BASE + kHcErrPassword, -1},
        LoginCase{"HikNotInitialised", 6, "12345", "NET_DVR_Init", kHcErrNotInit,
                  TV_ERR_HIK_NOT_INITIALISED, -7},
        LoginCase{"HikRefused", 6, "12345", "NET_DVR_Login", 29, TV_ERR_HIK_BASE + 29, -1},
        LoginCase{"Stream", 1, "", "", 0, 0, -7}, LoginCase{"Vod", 512, "", "", 0, 0, -7},
        LoginCase{"Fourteen", 14, "", "", 0, 0, -7},
        LoginCase{"Unknown", 15, "", "", 0, TP_ERR_UNSUPPORTED, -7},
        LoginCase{"Zero", 0, "", "", 0, TP_ERR_UNSUPPORTED, -7}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DeviceLoginHook, TheLibrarysPlayersLogInToNothing)
{
    HcSimReset();
    TvSetDeviceLoginFactory(nullptr);
    PlayerPtr library(new CPlayerBase(nullptr));
    int id = -7;
    EXPECT_EQ(library->Login(6, "127.0.0.1", 8000, "admin", "12345", &id), TP_ERR_UNSUPPORTED);
    EXPECT_EQ(library->Login(8, "127.0.0.1", 8000, "admin", "12345", &id), TP_ERR_UNSUPPORTED);
    EXPECT_EQ(library->Login(3, "", 0, "", "", &id), 0);
    EXPECT_EQ(HcSimCalls().Calls().size(), 0u);
    EXPECT_EQ(TvDeviceLogout(library.get(), 6, 0), TP_ERR_UNSUPPORTED);
}

TEST(DeviceLoginHook, LogoutEndsTheSdkLoginAndTheHolderCleansUp)
{
    HcSimReset();
    TvInstallDeviceLogin();
    PlayerPtr holder(new CPlayerBase(nullptr));
    int id = -1;
    ASSERT_EQ(holder->Login(6, "127.0.0.1", 8000, "admin", "12345", &id), 0);
    EXPECT_EQ(TvDeviceLogout(holder.get(), 6, id), 0);
    EXPECT_EQ(TvDeviceLogout(holder.get(), 6, id), TV_ERR_HIK_BASE + kHcErrNotLoggedIn);
    EXPECT_EQ(TvDeviceLogout(holder.get(), 2, id), 0);
    EXPECT_EQ(TvDeviceLogout(holder.get(), 16, id), TP_ERR_UNSUPPORTED);
    EXPECT_EQ(HcSimInitCount(), 1);
    holder.reset();
    EXPECT_EQ(HcSimInitCount(), 0);
    EXPECT_EQ(HcSimCalls().Count("NET_DVR_Cleanup"), 1u);
}

TEST(DeviceLoginHook, TheDevicePlayerTakesTheLoginItReceives)
{
    HcSimReset();
    CTestWindow window;
    PlayerPtr player(TvNewHikDevicePlayer(window.Handle(), -1));
    int id = -1;
    ASSERT_EQ(player->Login(6, "127.0.0.1", 8000, "admin", "12345", &id), 0);
    EXPECT_EQ(player->OpenStream("", 0, 0, 1), 0);
    EXPECT_EQ(ArgsOf(HcSimCalls(), "NET_DVR_RealPlay").at(0)[0], std::to_string(id));
    // One initialisation serves the player and its login.
    EXPECT_EQ(HcSimCalls().Count("NET_DVR_Init"), 1u);
}

} // namespace
