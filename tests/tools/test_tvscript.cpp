// tvscript as a user runs it: the example script plays the simulator's live
// stream through the player control, reads its colours through out arguments
// and captures a picture; small scripts show how dispatch errors, results,
// uncaught exceptions and the timeout reach the script and the exit code.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "ToolRunKit.h"
#include "tvdevsim/DeviceSimulator.h"

using namespace toolrun;

namespace {

// Guards against a hang only: the example ends within about 12 seconds.
constexpr int kExampleTimeoutMs = 120000;
constexpr int kScriptTimeoutMs = 60000;

void UseOffscreenPlatform()
{
    // No display and no sound server are assumed.
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("TARVO_AUDIO", "null", 1);
}

TEST(TvscriptExample, PlaysTheSimulatorAddsAnOverlayAndCaptures)
{
    UseOffscreenPlatform();
    const std::string dir = MakeTempDir("tvscript-example-test");
    ASSERT_FALSE(dir.empty());
    const std::string bmp = dir + "/picture.bmp";

    tvdevsim::SimConfig sim;
    sim.stream.kind = tvdevsim::SimKind::Device40;
    sim.stream.live = true;
    sim.transport = tvdevsim::SimTransport::TcpServer;
    sim.address = "127.0.0.1";
    sim.port = 0; // picked at run time
    tvdevsim::CDeviceSimulator simulator;
    ASSERT_TRUE(simulator.Start(sim)) << simulator.Error();

    std::string output;
    const int status =
        RunProgram({TVSCRIPT_EXE, "--timeout", "60", TV_EXAMPLES_DIR "/play_simulator.js",
                    "127.0.0.1", std::to_string(simulator.StreamPort()), bmp},
                   kExampleTimeoutMs, output);
    simulator.Stop();
    ASSERT_EQ(status, 0) << output;
    EXPECT_NE(output.find("FirstSampleDelivered(1, 0)"), std::string::npos) << output;
    EXPECT_NE(output.find("GrabPicture(" + bmp + ") = 0"), std::string::npos) << output;
    // The out arguments came back written (they went in as -1).
    EXPECT_TRUE(std::regex_search(output, std::regex("GetColor = 0: [0-9]+ [0-9]+ [0-9]+ [0-9]+")))
        << output;

    int width = 0, height = 0;
    tvdevsim::DefaultPictureSize(sim.stream.kind, width, height);
    Picture picture;
    std::string error;
    ASSERT_TRUE(LoadCaptureBmp(bmp, picture, error)) << error;
    EXPECT_EQ(picture.width, width);
    EXPECT_EQ(picture.height, height);
    EXPECT_GT(picture.DistinctColours(100), 20) << "the capture is not a picture";
}

struct ScriptCase {
    const char* name;
    const char* script;
    std::vector<std::string> options; // before the file
    int exitCode;
    const char* printed; // expected in the output
};

class TvscriptScript : public ::testing::TestWithParam<ScriptCase> {};

TEST_P(TvscriptScript, ExitsAndPrintsAsExpected)
{
    UseOffscreenPlatform();
    const ScriptCase& c = GetParam();
    const std::string dir = MakeTempDir("tvscript-script-test");
    ASSERT_FALSE(dir.empty());
    const std::string path = dir + "/case.js";
    {
        std::ofstream out(path);
        out << c.script;
    }
    std::vector<std::string> args = {TVSCRIPT_EXE};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(path);
    args.push_back("first arg");
    std::string output;
    EXPECT_EQ(RunProgram(args, kScriptTimeoutMs, output), c.exitCode) << output;
    EXPECT_NE(output.find(c.printed), std::string::npos) << output;
}

// A script that catches the error of one call and prints its message.
#define CATCHING(call)                                                                             \
    "try { " call "; print('no error'); quit(1); }\n"                                              \
    "catch (e) { print('caught: ' + e.message); quit(0); }\n"

INSTANTIATE_TEST_SUITE_P(
    Cases, TvscriptScript,
    ::testing::Values(
        ScriptCase{"WrongCountIsCaught",
                   CATCHING("control.Initialize(1, 3)"),
                   {},
                   0,
                   "caught: control.Initialize: DISP_E_BADPARAMCOUNT (0x8002000E)"},
        ScriptCase{"OneTooManyIsCaught",
                   CATCHING("control.GrabPicture('/tmp/x.bmp', 0, 0)"),
                   {},
                   0,
                   "caught: control.GrabPicture: DISP_E_BADPARAMCOUNT (0x8002000E)"},
        ScriptCase{"UnknownNameIsCaught",
                   CATCHING("control.NoSuchMethod(1)"),
                   {},
                   0,
                   "caught: control.NoSuchMethod: DISP_E_UNKNOWNNAME (0x80020006)"},
        ScriptCase{"WrongTypeIsCaught",
                   CATCHING("control.Initialize('one', 3, 0, 0, 0)"),
                   {},
                   0,
                   "caught: control.Initialize: DISP_E_TYPEMISMATCH (0x80020005) at argument 1"},
        ScriptCase{"ResultComesBack",
                   "print('Initialize = ' + control.Initialize(1, 6, 2, 0, 0)); quit(0);",
                   {},
                   0,
                   "Initialize = 10004"},
        ScriptCase{"ArgsAndTimers",
                   "setTimeout(function () { print('args: ' + args.join('|')); quit(5); }, 10);",
                   {},
                   5,
                   "args: first arg"},
        ScriptCase{"UncaughtExceptionEndsTheRun",
                   "setTimeout(function () { control.Initialize(); }, 0);",
                   {},
                   2,
                   "uncaught exception in setTimeout callback"},
        ScriptCase{
            "NoQuitTimesOut", "print('waiting');", {"--timeout", "1"}, 3, "no quit within 1 s"}),
    [](const ::testing::TestParamInfo<ScriptCase>& info) { return std::string(info.param.name); });

} // namespace
