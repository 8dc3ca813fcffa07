// tvplay as a user runs it: the demo end to end (offscreen), headless playing
// of live streams and record files from the simulator, and its command line.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DevSimTestKit.h"
#include "Options.h"
#include "ToolRunKit.h"
#include "tvdevsim/DeviceSimulator.h"

using namespace toolrun;

namespace {

// Guards against a hang only; the demo ends by itself within a minute.
constexpr int kDemoTimeoutMs = 240000;
constexpr int kPlayTimeoutMs = 120000;

long long FileSize(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<long long>(st.st_size) : -1;
}

bool IsRed(uint32_t c)
{
    return Red(c) > 160 && Green(c) < 90 && Blue(c) < 90;
}

// The picture shows the simulator's frame: the white plate of its frame counter
// at the top left, with black digits on it.
void ExpectFrameCounter(const Picture& p, const std::string& what)
{
    // The plate of a 704 x 576 picture: (16, 16) to (320, 104).
    int white = 0, dark = 0, total = 0;
    for (int y = 20; y < 100; ++y) {
        for (int x = 20; x < 316; ++x, ++total) {
            const uint32_t c = p.At(x, y);
            white += Red(c) > 200 && Green(c) > 200 && Blue(c) > 200;
            dark += Red(c) < 60 && Green(c) < 60 && Blue(c) < 60;
        }
    }
    EXPECT_GT(white, total / 3) << what << ": no white plate at the top left";
    EXPECT_GT(dark, total / 50) << what << ": no digits on the plate";
}

TEST(TvplayDemo, RunsOffscreenAndWritesItsFiles)
{
    // Sound into the clocked null sink: no sound server is assumed, and under
    // the thread sanitizer libpulse's uninstrumented threads would be reported.
    ::setenv("TARVO_AUDIO", "null", 1);
    const std::string dir = MakeTempDir("tvplay-demo-test");
    ASSERT_FALSE(dir.empty());
    std::string output;
    const int status =
        RunProgram({TVPLAY_EXE, "--demo", "--offscreen", "--out", dir}, kDemoTimeoutMs, output);
    ASSERT_EQ(status, 0) << output;
    EXPECT_NE(output.find("Demo finished: every step worked."), std::string::npos) << output;
    EXPECT_EQ(output.find("FAILED"), std::string::npos) << output;

    // Ten seconds of device H.264 at its default rate is well over 100 KiB.
    EXPECT_GT(FileSize(dir + "/live.tvx"), 100 * 1024) << output;

    // The capture: the simulator's 704 x 576 picture with the counter and the
    // red rectangle overlay (360, 220)-(660, 420) drawn into it. The processor
    // counts y from the bottom edge: the outline's rows are 576 - 1 - 220 and
    // 576 - 1 - 420 from the top, give or take its line width.
    Picture capture;
    std::string error;
    ASSERT_TRUE(LoadCaptureBmp(dir + "/capture.bmp", capture, error)) << error;
    EXPECT_EQ(capture.width, 704);
    EXPECT_EQ(capture.height, 576);
    EXPECT_GT(capture.DistinctColours(100), 20);
    ExpectFrameCounter(capture, "capture.bmp");
    for (int edge : {576 - 1 - 220, 576 - 1 - 420}) {
        int best = 0;
        for (int y = edge - 3; y <= edge + 3; ++y) {
            int red = 0;
            for (int x = 380; x < 640; ++x)
                red += IsRed(capture.At(x, y));
            best = std::max(best, red);
        }
        EXPECT_GT(best, 240) << "no red outline along row " << edge;
    }
    // The colour bars slide underneath: one of them may be red, never most of the row.
    int redInside = 0;
    for (int x = 380; x < 640; ++x)
        redInside += IsRed(capture.At(x, 256));
    EXPECT_LT(redInside, 160) << "the rectangle is an outline, not filled";

    // The window's pictures, live and played back.
    for (const char* name : {"live.png", "playback.png"}) {
        Picture png;
        ASSERT_TRUE(LoadPng(dir + "/" + name, png, error)) << error;
        EXPECT_EQ(png.width, 640) << name;
        EXPECT_EQ(png.height, 480) << name;
        EXPECT_GT(png.DistinctColours(100), 20) << name << " is not a picture";
    }
}

// One way of receiving a live stream, as tvplay's options and the simulator
// name it.
struct LiveCase {
    const char* name;
    tvdevsim::SimTransport transport; // the simulator's side
    const char* option;               // tvplay's side
};

class TvplayLive : public ::testing::TestWithParam<LiveCase> {};

TEST_P(TvplayLive, PlaysHeadlessAndSnapshots)
{
    const LiveCase& c = GetParam();
    const std::string dir = MakeTempDir("tvplay-live-test");
    ASSERT_FALSE(dir.empty());
    const std::string png = dir + "/live.png";

    tvdevsim::SimConfig sim;
    sim.stream.kind = tvdevsim::SimKind::Device40;
    sim.stream.live = true;
    sim.transport = c.transport;
    sim.address = "127.0.0.1";
    int port = 0;
    if (c.transport == tvdevsim::SimTransport::Udp) {
        // A port free a moment ago: tvplay binds it, the simulator sends to it.
        const int probe = devsimtest::BindUdp(port);
        ASSERT_GE(probe, 0);
        ::close(probe);
    }
    sim.port = port; // TCP server: 0 picks one
    tvdevsim::CDeviceSimulator simulator;
    CChildProcess tvplay;
    std::vector<std::string> args = {TVPLAY_EXE, "--offscreen", "--quiet", "--frames",
                                     "25",       "--seconds",   "60",      "--snapshot",
                                     png,        "--pages",     c.option};
    if (c.transport == tvdevsim::SimTransport::Udp) {
        args.push_back(std::to_string(port));
        ASSERT_TRUE(tvplay.Start(args));
        ASSERT_TRUE(simulator.Start(sim)) << simulator.Error();
    } else {
        ASSERT_TRUE(simulator.Start(sim)) << simulator.Error();
        args.push_back("127.0.0.1:" + std::to_string(simulator.StreamPort()));
        ASSERT_TRUE(tvplay.Start(args));
    }
    const int status = tvplay.Wait(kPlayTimeoutMs);
    simulator.Stop();
    const std::string output = tvplay.Output();
    ASSERT_EQ(status, 0) << output;
    EXPECT_NE(output.find("ok      25 pictures shown"), std::string::npos) << output;
    // --pages, offscreen: the running player's filters with pages, named.
    const size_t pages = output.find("ok      filters with property pages");
    ASSERT_NE(pages, std::string::npos) << output;
    const std::string line = output.substr(pages, output.find('\n', pages) - pages);
    for (const char* name : {"Tarvo NWSource", "Tarvo H264 Decoder", "Tarvo Processer Filter"})
        EXPECT_NE(line.find(name), std::string::npos) << name << " in " << line;
    Picture picture;
    std::string error;
    ASSERT_TRUE(LoadPng(png, picture, error)) << error;
    EXPECT_EQ(picture.width, 640);
    EXPECT_GT(picture.DistinctColours(100), 20);
}

INSTANTIATE_TEST_SUITE_P(
    Transports, TvplayLive,
    ::testing::Values(LiveCase{"TcpClient", tvdevsim::SimTransport::TcpServer, "--tcp-client"},
                      LiveCase{"Udp", tvdevsim::SimTransport::Udp, "--udp"}),
    [](const ::testing::TestParamInfo<LiveCase>& info) { return std::string(info.param.name); });

TEST(TvplayFile, PlaysARecordFileWithOverlayAndCapture)
{
    const std::string dir = MakeTempDir("tvplay-file-test");
    ASSERT_FALSE(dir.empty());
    tvdevsim::SimConfig sim;
    sim.stream.kind = tvdevsim::SimKind::TsH264;
    sim.transport = tvdevsim::SimTransport::None;
    sim.realTime = false;
    sim.frames = 100;
    sim.recordPath = dir + "/clip";
    tvdevsim::CDeviceSimulator simulator;
    ASSERT_TRUE(simulator.Start(sim)) << simulator.Error();
    ASSERT_TRUE(simulator.WaitFinished(60000));
    simulator.Stop();
    const std::string clip = simulator.RecordPath();

    const std::string png = dir + "/clip.png", bmp = dir + "/clip.bmp";
    std::string output;
    const int status =
        RunProgram({TVPLAY_EXE, clip, "--offscreen", "--quiet", "--frames", "20", "--seconds", "60",
                    "--rect", "100,100,300,200", "--capture", bmp, "--snapshot", png},
                   kPlayTimeoutMs, output);
    ASSERT_EQ(status, 0) << output;
    Picture capture, window;
    std::string error;
    ASSERT_TRUE(LoadCaptureBmp(bmp, capture, error)) << error;
    EXPECT_GT(capture.DistinctColours(100), 20);
    ASSERT_TRUE(LoadPng(png, window, error)) << error;
    EXPECT_GT(window.DistinctColours(100), 20);
}

// ---- The command line ----

struct ParseCase {
    const char* name;
    std::vector<std::string> args;
    bool ok;
    // Checked when ok.
    int connectType;
    const char* address;
    int port;
    const char* file;
};

class TvplayOptions : public ::testing::TestWithParam<ParseCase> {};

TEST_P(TvplayOptions, Parse)
{
    const ParseCase& c = GetParam();
    std::vector<std::string> args = {"tvplay"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    PlayOptions o;
    std::string error;
    ASSERT_EQ(ParseOptions(int(argv.size()), argv.data(), o, error), c.ok) << error;
    if (!c.ok) {
        EXPECT_FALSE(error.empty());
        return;
    }
    EXPECT_EQ(o.connectType, c.connectType);
    EXPECT_EQ(o.address, c.address);
    EXPECT_EQ(o.port, c.port);
    EXPECT_EQ(o.file, c.file);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TvplayOptions,
    ::testing::Values(
        ParseCase{"Udp", {"--udp", "8001"}, true, 2, "0.0.0.0", 8001, ""},
        ParseCase{"Multicast", {"--multicast", "239.1.1.1:8001"}, true, 1, "239.1.1.1", 8001, ""},
        ParseCase{"TcpClient", {"--tcp-client", "10.0.0.5:8000"}, true, 4, "10.0.0.5", 8000, ""},
        ParseCase{"TcpServer", {"--tcp-server", "8002"}, true, 3, "0.0.0.0", 8002, ""},
        ParseCase{"File", {"/tmp/clip.t264", "--rate", "2"}, true, 0, "", 0, "/tmp/clip.t264"},
        ParseCase{"NoSource", {"--frames", "5"}, false, 0, "", 0, ""},
        ParseCase{"TwoSources", {"--udp", "8001", "clip.t264"}, false, 0, "", 0, ""},
        ParseCase{"PortZero", {"--udp", "0"}, false, 0, "", 0, ""},
        ParseCase{"PortTooLarge", {"--tcp-client", "h:65536"}, false, 0, "", 0, ""},
        ParseCase{"NoHost", {"--multicast", ":8001"}, false, 0, "", 0, ""},
        ParseCase{"RectThreeValues", {"clip.t264", "--rect", "1,2,3"}, false, 0, "", 0, ""},
        ParseCase{"RecordAFile", {"clip.t264", "--record", "/tmp/r.tvx"}, false, 0, "", 0, ""},
        ParseCase{"NegativeFrames", {"clip.t264", "--frames", "-1"}, false, 0, "", 0, ""},
        ParseCase{"MissingValue", {"clip.t264", "--snapshot"}, false, 0, "", 0, ""},
        ParseCase{"UnknownOption", {"clip.t264", "--loud"}, false, 0, "", 0, ""}),
    [](const ::testing::TestParamInfo<ParseCase>& info) { return std::string(info.param.name); });

TEST(TvplayOptions, OverlayValues)
{
    std::vector<std::string> args = {"tvplay", "clip.t264",  "--text", "5,6,Gate, north",
                                     "--rect", "1,2,3,4",    "--rect", "1,2,3,4,0x00FF00",
                                     "--crop", "0,0,176,144"};
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    PlayOptions o;
    std::string error;
    ASSERT_TRUE(ParseOptions(int(argv.size()), argv.data(), o, error)) << error;
    ASSERT_EQ(o.texts.size(), 1u);
    EXPECT_EQ(o.texts[0].text, "Gate, north"); // the text keeps its commas
    EXPECT_EQ(o.texts[0].x, 5);
    ASSERT_EQ(o.rects.size(), 2u);
    EXPECT_EQ(o.rects[0].colour, 0x0000FF); // red unless given
    EXPECT_EQ(o.rects[1].colour, 0x00FF00);
    EXPECT_TRUE(o.cropSet);
    EXPECT_EQ(o.crop[3], 144);
}

} // namespace
