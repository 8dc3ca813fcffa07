// The H3C file player over the hosted H3C control: the window made for the
// control, the dispatch calls by name, the speed codes and the capture folder.
#include <gtest/gtest.h>

#include <cstdio>

#include <windows.h>

#include "CH3CFilePlayer.h"
#include "CPlayerBase.h"
#include "DevicePlayers.h"
#include "DeviceTestSupport.h"
#include "H3CSim.h"
#include "SdkMedia.h"

namespace {

class H3CFilePlayer : public ::testing::Test {
protected:
    void SetUp() override
    {
        // The control's thread has COM initialised when it hosts the H3C control.
        ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
        H3cSimReset();
        m_h3c = TvCreateH3CWindow(m_window.Handle(), 2, 2, 700, 572);
        ASSERT_NE(m_h3c, nullptr);
        EXPECT_EQ(H3cSimControlCalls().Calls(),
                  (std::vector<SdkCall>{
                      {"AttachWindow",
                       {std::to_string(reinterpret_cast<uintptr_t>(TvH3CWindowHandle(m_h3c)))}},
                      {"ShowWindow", {"1"}}}));
        H3cSimControlCalls().Clear();
        SdkMediaInfo info;
        info.frameCount = 25 * 30;
        ASSERT_TRUE(SdkWriteMediaFile(m_file.c_str(), info, kH3cMediaMagic));
        m_player.reset(TvNewH3CFilePlayer(m_window.Handle(), m_h3c));
        ASSERT_TRUE(m_player);
    }
    void TearDown() override
    {
        m_player.reset();
        TvDestroyH3CWindow(m_h3c);
        CoUninitialize();
    }
    void Open()
    {
        ASSERT_EQ(m_player->OpenLocalFile(m_file.c_str()), 0);
        H3cSimControlCalls().Clear();
    }

    CTestWindow m_window;
    CScratchFolder m_folder;
    std::string m_file = m_folder / "h3c.rec";
    TvH3CWindow* m_h3c = nullptr;
    PlayerPtr m_player;
};

TEST_F(H3CFilePlayer, TheControlGetsAChildWindowAndIsShown)
{
    const HWND child = TvH3CWindowHandle(m_h3c);
    ASSERT_TRUE(TvIsVirtualWindow(child));
    RECT rect{};
    ASSERT_TRUE(GetClientRect(child, &rect));
    EXPECT_EQ(rect.right, 700);
    TvMoveH3CWindow(m_h3c, 2, 2, 396, 296);
    ASSERT_TRUE(GetClientRect(child, &rect));
    EXPECT_EQ(rect.bottom, 296);
    EXPECT_TRUE(H3cSimControlVisible());
}

TEST_F(H3CFilePlayer, OpensWaitsForTheLengthThenShowsAndPlays)
{
    ASSERT_EQ(m_player->OpenLocalFile(m_file.c_str()), 0);
    EXPECT_EQ(H3cSimControlCalls().Calls(), (std::vector<SdkCall>{{"OpenFile", {m_file}},
                                                                  {"GetPlayTime", {"ref", "ref"}},
                                                                  {"GetPlayTime", {"ref", "ref"}},
                                                                  {"GetPlayTime", {"ref", "ref"}},
                                                                  {"ShowWindow", {"1"}},
                                                                  {"Play", {}}}));
    int ms = 0;
    ASSERT_EQ(m_player->GetDuration(&ms), 0);
    EXPECT_EQ(ms, 30000);
}

TEST_F(H3CFilePlayer, AFileThatNeverLoadsOrIsNotTheControlsFails)
{
    H3cSimSetLoadQueries(1000);
    EXPECT_EQ(m_player->OpenLocalFile(m_file.c_str()), E_FAIL);
    EXPECT_EQ(H3cSimControlCalls().Count("GetPlayTime"), 50u);
    EXPECT_EQ(H3cSimControlCalls().Count("Play"), 0u);
    H3cSimControlCalls().Clear();
    const std::string other = m_folder / "other.rec";
    ASSERT_TRUE(SdkWriteMediaFile(other.c_str(), SdkMediaInfo()));
    EXPECT_EQ(m_player->OpenLocalFile(other.c_str()), E_FAIL);
    EXPECT_EQ(NamesOf(H3cSimControlCalls()), std::vector<std::string>{"OpenFile"});
}

struct H3CRateCase {
    const char* name;
    double rate;
    int code; // -1: refused
};

class H3CFileRate : public H3CFilePlayer, public ::testing::WithParamInterface<H3CRateCase> {};

TEST_P(H3CFileRate, MapsToTheControlsSpeedCode)
{
    const H3CRateCase& c = GetParam();
    Open();
    if (c.code < 0) {
        EXPECT_EQ(m_player->SetRate(c.rate), E_FAIL);
        EXPECT_EQ(H3cSimControlCalls().Count("SetSpeed"), 0u);
        return;
    }
    EXPECT_EQ(m_player->SetRate(c.rate), 0);
    EXPECT_EQ(ArgsOf(H3cSimControlCalls(), "SetSpeed"),
              (std::vector<std::vector<std::string>>{{std::to_string(c.code)}}));
}

INSTANTIATE_TEST_SUITE_P(
    Codes, H3CFileRate,
    ::testing::Values(H3CRateCase{"One", 1, 0}, H3CRateCase{"Quarter", 0.25, 1},
                      H3CRateCase{"Half", 0.5, 2}, H3CRateCase{"Two", 2, 3},
                      H3CRateCase{"Four", 4, 4}, H3CRateCase{"Eight", 8, 5},
                      H3CRateCase{"BackOne", -1, 7}, H3CRateCase{"BackTwo", -2, 8},
                      H3CRateCase{"BackFour", -4, 9}, H3CRateCase{"BackEight", -8, 10},
                      H3CRateCase{"Three", 3, -1}, H3CRateCase{"Sixteen", 16, -1}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(H3CFilePlayer, TransportAndPosition)
{
    Open();
    EXPECT_EQ(m_player->Pause(), 0);
    EXPECT_EQ(m_player->StepForward(), 0);
    EXPECT_EQ(m_player->Play(), 0);
    EXPECT_EQ(m_player->SetPosition(12999), 0);
    EXPECT_EQ(m_player->Stop(), 0);
    EXPECT_EQ(m_player->Close(), 0);
    EXPECT_EQ(H3cSimControlCalls().Calls(), (std::vector<SdkCall>{{"Pause", {}},
                                                                  {"StepForward", {}},
                                                                  {"Play", {}},
                                                                  {"SetPosition", {"12"}},
                                                                  {"Stop", {}},
                                                                  {"SetPosition", {"0"}},
                                                                  {"Stop", {}},
                                                                  {"ShowWindow", {"0"}}}));
    EXPECT_FALSE(H3cSimControlVisible());
}

TEST_F(H3CFilePlayer, CaptureGivesTheControlTheFolderOnly)
{
    Open();
    const std::string path = m_folder / "grab.bmp";
    ASSERT_EQ(m_player->GrabPicture(path.c_str()), 0);
    EXPECT_EQ(ArgsOf(H3cSimControlCalls(), "SetCapturePath").at(0)[0], m_folder.Path() + "/");
    EXPECT_EQ(FileStart(m_folder / "H3C_1.bmp", 2), "BM");
    ASSERT_EQ(m_player->GrabPicture(m_folder.Path().c_str()), 0);
    EXPECT_EQ(ArgsOf(H3cSimControlCalls(), "SetCapturePath").at(1)[0], m_folder.Path());
    EXPECT_EQ(FileStart(m_folder / "H3C_2.bmp", 2), "BM");
}

TEST(H3CFilePlayerAlone, WithoutTheControlEverythingFails)
{
    CTestWindow window;
    PlayerPtr player(TvNewH3CFilePlayer(window.Handle(), nullptr));
    int ms = 0;
    EXPECT_EQ(player->OpenLocalFile("x"), E_FAIL);
    EXPECT_EQ(player->Play(), E_FAIL);
    EXPECT_EQ(player->SetRate(1), E_FAIL);
    EXPECT_EQ(player->GetDuration(&ms), E_FAIL);
    EXPECT_EQ(player->GrabPicture("/tmp/x.bmp"), E_FAIL);
    EXPECT_EQ(player->Close(), E_FAIL);
}

TEST(H3CFilePlayerAlone, NoWindowWhenTheControlIsNotRegistered)
{
    CScratchFolder folder;
    const std::string empty = folder / "empty.reg";
    std::fclose(std::fopen(empty.c_str(), "w"));
    TvSetRegistryPath(empty.c_str());
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    CTestWindow window;
    EXPECT_EQ(TvCreateH3CWindow(window.Handle(), 0, 0, 10, 10), nullptr);
    CoUninitialize();
    TvSetRegistryPath(nullptr);
}

} // namespace
