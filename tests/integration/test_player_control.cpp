// Playback control through the TP_ interface on real graphs: replacing a live
// player by a file player, files that cannot be played, whole-second seeking,
// percent, stepping, the volume mapping, colour, the video cut round trip and
// its re-render, the reduce level, full screen while paused and the
// statistics text's buffer rule.

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <string>

#include "PlayerFixture.h"

using tvdevsim::SimKind;

namespace {

using PlayerControl = TvPlayerFixture;

int PlayControl(int handle, int command, intptr_t in = 0, void* out = nullptr)
{
    return TP_PlayControl(handle, command, in, out);
}

TEST_F(PlayerControl, AStreamPlayerIsReplacedByAFilePlayer)
{
    const std::string path = WriteRecord(SimKind::Device40, 50);
    ASSERT_FALSE(path.empty());
    const int handle = PlayLive(SimKind::Device40, TvLink::Udp, 3);
    ASSERT_GE(handle, 0);
    ASSERT_GT(Statistics(handle).recvPackets, 0);

    ASSERT_EQ(TP_OpenLocalFile(handle, path.c_str()), 0);
    // A file player: no network source line, and a duration.
    ASSERT_TRUE(WaitFramesDrawn(handle, 3)) << StatisticsText(handle);
    EXPECT_EQ(Statistics(handle).recvPackets, -1);
    int duration = 0;
    EXPECT_EQ(PlayControl(handle, TP_PLAY_GET_DURATION, 0, &duration), 0);
    EXPECT_GT(duration, 0);
}

TEST_F(PlayerControl, AFileThatCannotBePlayedLeavesNoPlayer)
{
    const std::string garbage = TempDir() + "/garbage.tvx";
    {
        std::ofstream out(garbage, std::ios::binary);
        for (int i = 0; i < 4096; ++i)
            out.put(static_cast<char>((i * 7919) & 0xff));
    }
    const std::string cases[] = {TempDir() + "/missing.tvx", garbage};
    for (const std::string& path : cases) {
        SCOPED_TRACE(path);
        int opened = 0;
        const int handle = OpenFile(path, &opened);
        EXPECT_EQ(opened, E_FAIL);
        EXPECT_EQ(PlayControl(handle, TP_PLAY_PLAY), TP_ERR_NO_PLAYER);
        EXPECT_EQ(TP_GetLastError(handle), TP_ERR_NO_PLAYER);
    }
    EXPECT_EQ(TP_OpenLocalFile(12345, garbage.c_str()), TP_ERR_INVALID_HANDLE);
}

TEST_F(PlayerControl, PositionsAreWholeSecondsAndPercentFollows)
{
    const int handle = PlayRecord(SimKind::Device40, 125, false, 2); // 5 s
    ASSERT_GE(handle, 0);
    // S_FALSE: the graph finishes pausing on its own.
    ASSERT_TRUE(SUCCEEDED(PlayControl(handle, TP_PLAY_PAUSE)));

    struct Seek {
        int ms;
        int expected;
    };
    for (const Seek& seek : {Seek{1999, 1000}, Seek{3000, 3000}, Seek{999, 0}}) {
        SCOPED_TRACE(seek.ms);
        EXPECT_EQ(PlayControl(handle, TP_PLAY_SET_POSITION, seek.ms), 0);
        int position = -1;
        EXPECT_EQ(PlayControl(handle, TP_PLAY_GET_POSITION, 0, &position), 0);
        EXPECT_EQ(position, seek.expected);
    }

    int duration = 0;
    ASSERT_EQ(PlayControl(handle, TP_PLAY_GET_DURATION, 0, &duration), 0);
    ASSERT_NEAR(duration, 5000, 200);
    // 50 x (duration / 100) ms, set in whole seconds.
    EXPECT_EQ(PlayControl(handle, TP_PLAY_SET_PLAYED_PERCENT, 50), 0);
    int position = -1;
    EXPECT_EQ(PlayControl(handle, TP_PLAY_GET_POSITION, 0, &position), 0);
    EXPECT_EQ(position, (50 * (duration / 100)) / 1000 * 1000);
    int percent = -1;
    EXPECT_EQ(PlayControl(handle, TP_PLAY_GET_PLAYED_PERCENT, 0, &percent), 0);
    EXPECT_EQ(percent, position * 100 / duration);

    // Stop puts the position back to the start.
    EXPECT_EQ(PlayControl(handle, TP_PLAY_STOP), 0);
    EXPECT_EQ(PlayControl(handle, TP_PLAY_GET_POSITION, 0, &position), 0);
    EXPECT_EQ(position, 0);
}

TEST_F(PlayerControl, RateAndSteppingOnAFile)
{
    const int handle = PlayRecord(SimKind::Device40, 125, false, 2);
    ASSERT_GE(handle, 0);

    double rate = 2.0;
    EXPECT_EQ(PlayControl(handle, TP_PLAY_SET_RATE, reinterpret_cast<intptr_t>(&rate)), 0);
    rate = 0;
    EXPECT_EQ(PlayControl(handle, TP_PLAY_GET_RATE, 0, &rate), 0);
    EXPECT_EQ(rate, 2.0);

    // Stepping sets the rate back to 1 and shows one more picture.
    // S_FALSE: the graph finishes pausing on its own.
    ASSERT_TRUE(SUCCEEDED(PlayControl(handle, TP_PLAY_PAUSE)));
    const int64_t before = Statistics(handle).drawn;
    EXPECT_EQ(PlayControl(handle, TP_PLAY_STEP_FORWARD), 0);
    EXPECT_EQ(PlayControl(handle, TP_PLAY_GET_RATE, 0, &rate), 0);
    EXPECT_EQ(rate, 1.0);
    EXPECT_TRUE(WaitFramesDrawn(handle, before + 1)) << StatisticsText(handle);

    // Play goes back to normal speed.
    rate = 2.0;
    EXPECT_EQ(PlayControl(handle, TP_PLAY_SET_RATE, reinterpret_cast<intptr_t>(&rate)), 0);
    EXPECT_EQ(PlayControl(handle, TP_PLAY_PLAY), 0);
    EXPECT_EQ(PlayControl(handle, TP_PLAY_GET_RATE, 0, &rate), 0);
    EXPECT_EQ(rate, 1.0);
}

TEST_F(PlayerControl, VolumeMapsOntoTheAudioRenderer)
{
    const int handle = PlayRecord(SimKind::Device40, 50, true);
    ASSERT_GE(handle, 0);

    int volume = -1;
    // Every render sets 50.
    EXPECT_EQ(PlayControl(handle, TP_PLAY_GET_VOLUME, 0, &volume), 0);
    EXPECT_EQ(volume, 50);
    struct Case {
        int set;
        int result;
        int read; // -1: unchanged from the case before
    };
    const Case cases[] = {
        {0, 0, 0},   {-5, 0, 0},  {100, 0, 100},           {1, 0, 1},
        {99, 0, 99}, {37, 0, 37}, {101, E_INVALIDARG, -1},
    };
    int last = 50;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.set);
        EXPECT_EQ(PlayControl(handle, TP_PLAY_SET_VOLUME, c.set), c.result);
        EXPECT_EQ(PlayControl(handle, TP_PLAY_GET_VOLUME, 0, &volume), 0);
        const int expected = c.read < 0 ? last : c.read;
        EXPECT_EQ(volume, expected);
        last = expected;
    }
}

TEST_F(PlayerControl, VideoCutRoundTripRendersAgain)
{
    const int handle = PlayLive(SimKind::Device40, TvLink::Udp, 3);
    ASSERT_GE(handle, 0);
    int size[2] = {};
    ASSERT_EQ(TP_VideoCutControl(handle, TP_CUT_VIDEO_SIZE, 0, size), 0);
    EXPECT_EQ(size[0], 320);
    EXPECT_EQ(size[1], 240);

    const int cut[4] = {10, 20, 110, 220}; // left, top, right, bottom
    ASSERT_EQ(TP_VideoCutControl(handle, TP_CUT_SET, reinterpret_cast<intptr_t>(cut), nullptr), 0);
    int back[4] = {-1, -1, -1, -1};
    ASSERT_EQ(TP_VideoCutControl(handle, TP_CUT_GET, 0, back), 0);
    EXPECT_EQ(back[0], 10);
    EXPECT_EQ(back[1], 20);
    EXPECT_EQ(back[2], 110);
    EXPECT_EQ(back[3], 220);

    // The chain was built again and plays the cut picture.
    const int64_t decoded = Statistics(handle).decodedSamples;
    ASSERT_TRUE(WaitFramesDecoded(handle, decoded + 5)) << StatisticsText(handle);
    ASSERT_TRUE(WaitFramesDrawn(handle, 3)) << StatisticsText(handle);
    ASSERT_EQ(TP_VideoCutControl(handle, TP_CUT_VIDEO_SIZE, 0, size), 0);
    EXPECT_EQ(size[0], 100);
    EXPECT_EQ(size[1], 200);
    EXPECT_EQ(TP_VideoCutControl(handle, 3, 0, size), TP_ERR_UNSUPPORTED);
}

TEST_F(PlayerControl, ColourRoundTripAndBeforeTheFirstRender)
{
    // Before the stream's format is known there is no frame processor.
    const int early = TP_Initialize(NewWindow(), 1, 3, 0, 0);
    ASSERT_GE(early, 0);
    int b = -1, c = -1, s = -1, h = -1;
    EXPECT_EQ(TP_SetColor(early, 1, 2, 3, 4), E_FAIL);
    EXPECT_EQ(TP_GetColor(early, &b, &c, &s, &h), TP_ERR_NO_PROCESSOR_COLOR);

    const int handle = PlayLive(SimKind::Device40, TvLink::Udp, 1);
    ASSERT_GE(handle, 0);
    EXPECT_EQ(TP_SetColor(handle, 60, 70, 80, 90), 0);
    EXPECT_EQ(TP_GetColor(handle, &b, &c, &s, &h), 0);
    EXPECT_EQ(b, 60);
    EXPECT_EQ(c, 70);
    EXPECT_EQ(s, 80);
    EXPECT_EQ(h, 90);
}

TEST_F(PlayerControl, ReduceLevelHalvesTheJpeg2000Picture)
{
    const int handle = PlayLive(SimKind::Jp2kFields, TvLink::Udp, 2);
    ASSERT_GE(handle, 0);
    int spatial = -1, frame = -7;
    EXPECT_EQ(TP_GetReduceLevel(handle, &spatial, &frame), 0);
    EXPECT_EQ(spatial, 0);
    EXPECT_EQ(frame, -7); // the frame level is not used
    int size[2] = {};
    ASSERT_EQ(TP_VideoCutControl(handle, TP_CUT_VIDEO_SIZE, 0, size), 0);
    const int fullWidth = size[0];

    EXPECT_EQ(TP_SetReduceLevel(handle, 1, 0), 0);
    EXPECT_EQ(TP_GetReduceLevel(handle, &spatial, &frame), 0);
    EXPECT_EQ(spatial, 1);
    ASSERT_TRUE(WaitFramesDrawn(handle, 2)) << StatisticsText(handle);
    ASSERT_EQ(TP_VideoCutControl(handle, TP_CUT_VIDEO_SIZE, 0, size), 0);
    EXPECT_EQ(size[0], fullWidth / 2);

    // Another stream has no JPEG 2000 decoder.
    const int other = PlayLive(SimKind::Device40, TvLink::Udp, 1);
    ASSERT_GE(other, 0);
    EXPECT_EQ(TP_SetReduceLevel(other, 1, 0), TP_ERR_NO_JP2K_DECODER);
    EXPECT_EQ(TP_GetReduceLevel(other, &spatial, &frame), TP_ERR_NO_JP2K_DECODER);
}

TEST_F(PlayerControl, FullScreenWhilePausedDoesNothing)
{
    const int handle = PlayRecord(SimKind::Device40, 125, false, 2);
    ASSERT_GE(handle, 0);
    // S_FALSE: the graph finishes pausing on its own.
    ASSERT_TRUE(SUCCEEDED(PlayControl(handle, TP_PLAY_PAUSE)));
    EXPECT_EQ(TP_SetFullScreenMode(handle, 1), 0);
    EXPECT_EQ(TP_SetFullScreenMode(handle, 0), 0);
    EXPECT_EQ(PlayControl(handle, TP_PLAY_PLAY), 0);
    // Only the low byte is passed on: 0x100 is "not full screen".
    EXPECT_EQ(TP_SetFullScreenMode(handle, 0x100), 0);
    EXPECT_EQ(TP_ReSize(handle), 0);
}

TEST_F(PlayerControl, StatisticsBufferOneCharacterShortGetsNothing)
{
    const int handle = PlayLive(SimKind::Device40, TvLink::Udp, 3);
    ASSERT_GE(handle, 0);
    // Counters stand still once the sender stops and the player is stopped.
    Simulator()->Stop();
    ASSERT_EQ(PlayControl(handle, TP_PLAY_STOP), 0);
    char full[1024];
    ASSERT_EQ(TP_GetStatistics(handle, full, sizeof full), 0);
    const std::string text = full;
    const size_t firstLine = text.find("\r\n") + 2;
    ASSERT_GT(firstLine, 2u);
    const size_t secondLine = text.find("\r\n", firstLine) + 2;

    char buffer[1024];
    struct Case {
        size_t size;
        int result;
        std::string written; // what the buffer then starts with
    };
    const Case cases[] = {
        {firstLine, TP_ERR_OUT_OF_MEMORY, ""},                            // one short for line 1
        {firstLine + 1, TP_ERR_OUT_OF_MEMORY, text.substr(0, firstLine)}, // line 2 does not fit
        {secondLine + 1, TP_ERR_OUT_OF_MEMORY, text.substr(0, secondLine)},
        {text.size() + 1, 0, text},
        {0, TP_ERR_OUT_OF_MEMORY, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        std::memset(buffer, '#', sizeof buffer);
        EXPECT_EQ(TP_GetStatistics(handle, buffer, static_cast<int>(c.size)), c.result);
        if (c.written.empty()) {
            EXPECT_EQ(buffer[0], '#');
        } else {
            EXPECT_EQ(std::string(buffer, c.written.size()), c.written);
            EXPECT_EQ(buffer[c.written.size()], '\0');
        }
    }
    EXPECT_EQ(TP_GetStatistics(handle, nullptr, 100), E_POINTER);
}

} // namespace
