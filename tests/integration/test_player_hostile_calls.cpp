// Every TP_ function called the way a careless or hostile application calls it
// (null pointers, negative and huge numbers, reversed rectangles, rates that
// are not numbers, paths that cannot be files) on a live player, a file player
// and a handle that holds no player. Nothing may crash or hang; the calls whose
// contract has an error for a missing pointer give it (the overlay and colour
// getters pass their pointers on and answer 0, as their callers expect); and a
// player that was playing draws again once it is told to play.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <cmath>
#include <string>
#include <vector>

#include <wingdi.h>

#include "PlayerFixture.h"

using tvdevsim::SimKind;

namespace {

constexpr int kIntExtremes[] = {INT_MIN, -1, 0, INT_MAX};

class PlayerHostileCalls : public TvPlayerFixture {
protected:
    // What returned 0 although a pointer it needs was null.
    std::vector<std::string> m_silentSuccess;

    void ExpectFails(int result, const std::string& call)
    {
        if (result == 0)
            m_silentSuccess.push_back(call);
    }

    // The calls that leave the handle's player in place.
    void Harass(int h)
    {
        ExpectFails(TP_GetVersions(h, nullptr, nullptr), "GetVersions(null, null)");
        char small[4];
        int length = 0;
        TP_GetVersions(h, small, &length);
        length = -5;
        TP_GetVersions(h, small, &length);
        ExpectFails(TP_GetStatistics(h, nullptr, 100), "GetStatistics(null)");
        for (int size : {INT_MIN, -1, 0, 1})
            TP_GetStatistics(h, small, size);
        ExpectFails(TP_GetFilterGraph(h, nullptr), "GetFilterGraph(null)");
        TP_SetLoginHandle(h, INT_MIN);
        TP_GetLastError(h);

        // Playback control: every command, values at both ends, nowhere to answer.
        for (int command = -2; command <= 24; ++command) {
            const bool pointerIn = command == TP_PLAY_SET_RATE || command == TP_PLAY_SET_VOD_RANGE;
            if (command == TP_PLAY_CLOSE)
                continue; // ends the player: in the closing calls
            if (pointerIn) {
                ExpectFails(TP_PlayControl(h, command, 0, nullptr),
                            "PlayControl(" + std::to_string(command) + ", null in)");
                continue;
            }
            for (int value : kIntExtremes)
                TP_PlayControl(h, command, value, nullptr);
        }
        for (double rate :
             std::array<double, 7>{NAN, INFINITY, -INFINITY, 0.0, -1.0, 1e300, 1e-300}) {
            TP_PlayControl(h, TP_PLAY_SET_RATE, reinterpret_cast<intptr_t>(&rate), nullptr);
            TP_PlayControl(h, TP_PLAY_STEP_FORWARD, 0, nullptr);
            TP_PlayControl(h, TP_PLAY_STEP_BACKWARD, 0, nullptr);
        }
        const double normal = 1.0;
        TP_PlayControl(h, TP_PLAY_SET_RATE, reinterpret_cast<intptr_t>(&normal), nullptr);
        for (const auto& range :
             std::vector<std::array<int, 2>>{{INT_MAX, INT_MIN}, {-1, -1}, {INT_MIN, INT_MAX}}) {
            TP_PlayControl(h, TP_PLAY_SET_VOD_RANGE, reinterpret_cast<intptr_t>(range.data()),
                           nullptr);
        }

        // Cropping: rectangles outside, reversed and empty, and nowhere to answer.
        for (int command = -1; command <= 4; ++command)
            ExpectFails(TP_VideoCutControl(h, command, 0, nullptr),
                        "VideoCutControl(" + std::to_string(command) + ", null)");
        for (const auto& cut : std::vector<std::array<int, 4>>{{INT_MIN, INT_MIN, INT_MAX, INT_MAX},
                                                               {10, 10, 5, 5},
                                                               {7, 7, 7, 7},
                                                               {-100, -100, -1, -1}}) {
            TP_VideoCutControl(h, TP_CUT_SET, reinterpret_cast<intptr_t>(cut.data()), nullptr);
        }
        const std::array<int, 4> whole{0, 0, 0, 0};
        TP_VideoCutControl(h, TP_CUT_SET, reinterpret_cast<intptr_t>(whole.data()), nullptr);

        for (int a : kIntExtremes) {
            TP_SetReduceLevel(h, a, ~a);
            TP_SetColor(h, a, a, ~a, a);
        }
        TP_SetReduceLevel(h, 0, 0);
        TP_SetColor(h, 128, 128, 128, 128);
        ExpectFails(TP_GetReduceLevel(h, nullptr, nullptr), "GetReduceLevel(null, null)");
        TP_GetColor(h, nullptr, nullptr, nullptr, nullptr);
        TP_SetFullScreenMode(h, INT_MIN);
        TP_SetFullScreenMode(h, 0);
        TP_ReSize(h);

        // Overlays: null and huge arguments, then ones that are merely extreme.
        LOGFONTA font{};
        font.lfHeight = INT_MIN;
        const std::string longText(20000, 'W');
        for (int at : kIntExtremes) {
            TP_AddTextOverlay(h, at, ~at, nullptr, at, nullptr, at, at);
            TP_AddTextOverlay(h, at, at, longText.c_str(), 0xFF, &font, 0, 0);
            TP_AddTextOverlay(h, 10, 10, "", 0xFF, &font, at, ~at);
            TP_AddSysTimeOverlay(h, at, at, at, &font, at, at);
            TP_AddBitmapOverlay(h, at, at, at, at, at, at);
            TP_AddCircleOverlay(h, nullptr, at, at, 0, 0);
            TP_AddPolygonOverlay(h, nullptr, at, at, 0, 0);
        }
        const POINT far1{INT_MIN, INT_MIN}, far2{INT_MAX, INT_MAX}, inside{20, 20};
        TP_AddRectangleOverlay(h, nullptr, nullptr, 0, 0, 0);
        TP_AddRectangleOverlay(h, &far2, &far1, 0xFF, 0, 0);
        TP_AddEllipseOverlay(h, nullptr, &far2, 0, 0, 0);
        TP_AddEllipseOverlay(h, &far1, &far2, 0xFF00, 0, 0);
        for (int radius : {INT_MIN, -1, 0, INT_MAX})
            TP_AddCircleOverlay(h, &inside, radius, 0xFF0000, 0, 0);
        TP_AddCircleOverlay(h, &far2, 5, 0xFF0000, 0, 0);
        std::vector<POINT> many(5000);
        for (size_t i = 0; i < many.size(); ++i)
            many[i] = POINT{LONG(i % 2 ? INT_MAX : INT_MIN), LONG(i * 7919 % 600) - 300};
        TP_AddPolygonOverlay(h, many.data(), int(many.size()), 0xFFFF, 0, 0);
        TP_AddPolygonOverlay(h, many.data(), 1, 0xFFFF, 0, 0);
        for (int index : kIntExtremes) {
            TP_SetFlickerTime(h, index, index);
            TP_RemoveOverlay(h, index);
            TP_GetItemsByIndex(h, index, nullptr, nullptr, nullptr);
        }
        int count = -1;
        unsigned char items[8];
        int itemsSize = 8;
        TP_GetItemsByIndex(h, 0, items, &itemsSize, &count);
        itemsSize = -1;
        TP_GetItemsByIndex(h, 0, items, &itemsSize, &count);
        TP_AddOverlaysFromFile(h, nullptr, &count);
        for (const char* path : {"", "/", "/nonexistent/overlays.dat", "/proc/self/status"})
            TP_AddOverlaysFromFile(h, path, nullptr);
        TP_AddOverlaysFromByte(h, nullptr, 100, &count);
        const unsigned char junk[64] = {0xFF, 0xFF, 0xFF, 0x7F, 1, 2, 3};
        for (int length : {INT_MIN, -1, 0, 1, 64})
            TP_AddOverlaysFromByte(h, junk, length, nullptr);
        TP_RemoveAllOverlay(h);

        // Capture, recording, data, callback, downloads.
        ExpectFails(TP_GrabPicture(h, nullptr), "GrabPicture(null)");
        const std::string longPath = TempDir() + "/" + std::string(5000, 'p') + ".bmp";
        for (const std::string& path :
             {std::string(), std::string("/"), longPath, std::string("/proc/self/x/y/z.bmp")})
            TP_GrabPicture(h, path.c_str());
        ExpectFails(TP_StartRecord(h, nullptr, nullptr), "StartRecord(null, null)");
        TP_StartRecord(h, TempDir().c_str(), nullptr);
        TP_StartRecord(h, nullptr, "x.avi");
        TP_StartRecord(h, "", "");
        TP_StartRecord(h, "/proc", "x.avi");
        TP_StartRecord(h, TempDir().c_str(), std::string(5000, 'n').c_str());
        TP_StopRecord(h);
        TP_StopRecord(h);
        ExpectFails(TP_InputData(h, nullptr, 100), "InputData(null, 100)");
        for (int length : {INT_MIN, -1, 0})
            TP_InputData(h, junk, length);
        TP_SetYUVFrameCallBack(h, nullptr, nullptr);
        TP_DownloadByTime(h, INT_MIN, INT_MAX, INT_MIN, nullptr);
        ExpectFails(TP_GetDownloadPosition(h, INT_MIN, nullptr), "GetDownloadPosition(null)");
        TP_StopDownload(h, -1);
        TP_SetMessageCallback(nullptr, nullptr, nullptr);
    }

    // The calls that may close or replace the handle's player.
    void Close(int h)
    {
        TP_OpenStream(h, nullptr, 5000, 2, 0);
        TP_OpenStream(h, std::string(5000, '1').c_str(), INT_MAX, INT_MIN, INT_MIN);
        TP_OpenStream(h, "999.999.999.999", -1, 4, 0);
        TP_OpenPeriod(h, INT_MIN, INT_MAX, INT_MIN);
        TP_OpenRemoteFile(h, nullptr);
        TP_OpenRemoteFile(h, "");
        TP_PlayControl(h, TP_PLAY_CLOSE, 0, nullptr);
        TP_PlayControl(h, TP_PLAY_CLOSE, 0, nullptr);
        for (const std::string& path :
             {std::string(), std::string("/"), TempDir(), std::string("/nonexistent/a.tvx"),
              TempDir() + "/" + std::string(5000, 'f') + ".tvx"})
            EXPECT_NE(TP_OpenLocalFile(h, path.c_str()), 0) << path.substr(0, 80);
        EXPECT_NE(TP_OpenLocalFile(h, nullptr), 0);
        Harass(h); // now on a handle whose player is gone
        EXPECT_EQ(TP_Uninitialize(h), 0);
        EXPECT_EQ(TP_Uninitialize(h), 0);
        TP_Uninitialize(INT_MIN);
        TP_Uninitialize(INT_MAX);
    }

    void ExpectDrawsAgain(int h)
    {
        ASSERT_EQ(TP_PlayControl(h, TP_PLAY_PLAY, 0, nullptr), 0);
        const int64_t drawn = Statistics(h).drawn;
        EXPECT_TRUE(WaitFramesDrawn(h, drawn + 3)) << StatisticsText(h);
    }

    void ExpectNoSilentSuccess()
    {
        for (const std::string& call : m_silentSuccess)
            ADD_FAILURE() << call << " returned 0";
    }
};

TEST_F(PlayerHostileCalls, OnALivePlayer)
{
    const int h = PlayLive(SimKind::Device40, TvLink::Udp, 3);
    ASSERT_GE(h, 0);
    Harass(h);
    ExpectDrawsAgain(h);
    Close(h);
    ExpectNoSilentSuccess();
}

TEST_F(PlayerHostileCalls, OnAFilePlayer)
{
    const int h = PlayRecord(SimKind::DeviceFieldD1, 100, true, 2);
    ASSERT_GE(h, 0);
    Harass(h);
    ExpectDrawsAgain(h);
    Close(h);
    ExpectNoSilentSuccess();
}

TEST_F(PlayerHostileCalls, OnAHandleWithoutAPlayer)
{
    const int h = TP_Initialize(NewWindow(), 1, 3, 2, 0);
    ASSERT_GE(h, 0);
    Harass(h);
    Close(h);
    ExpectNoSilentSuccess();
}

} // namespace
