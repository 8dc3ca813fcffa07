// Debug channels: which channels a TARVO_TRACE list switches on, what a trace
// line looks like, and that a channel that is off writes nothing and does not
// even evaluate its arguments.
#include "win32/trace.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

int g_evaluated = 0;

int Evaluated()
{
    return ++g_evaluated;
}

} // namespace

TEST(Trace, ChannelListSwitchesOnTheNamedChannels)
{
    struct Case {
        const char* list;
        const char* channel;
        bool on;
    };
    const Case cases[] = {
        {"nwsource", "nwsource", true},    {"com,player", "player", true},
        {"com player", "com", true},       {"com:processor:", "processor", true},
        {",, parsers ,", "parsers", true}, {"all", "protocol", true},
        {"com,player", "dshow", false},    {"nwsourcex", "nwsource", false},
        {"nw", "nwsource", false},         {"", "com", false},
        {"all", nullptr, false},
    };
    for (const Case& c : cases) {
        bool on = !c.on;
        TvTraceCapture(c.list, [&] { on = TvTraceEnabled(c.channel); });
        EXPECT_EQ(on, c.on) << "list \"" << c.list << "\", channel "
                            << (c.channel ? c.channel : "(null)");
    }
}

TEST(Trace, LineCarriesTheChannelAndOnlyAChannelThatIsOnWrites)
{
    const std::vector<std::string> on =
        TvTraceCapture("quartz,nwsource", [] { TV_TRACE("nwsource", "Call(%d, \"%s\")", 7, "x"); });
    EXPECT_EQ(on, std::vector<std::string>{"nwsource: Call(7, \"x\")"});

    g_evaluated = 0;
    const std::vector<std::string> off =
        TvTraceCapture("quartz", [] { TV_TRACE("nwsource", "Call(%d)", Evaluated()); });
    EXPECT_TRUE(off.empty());
    EXPECT_EQ(g_evaluated, 0);
}

TEST(Trace, CallTraceWritesTheCallItsResultAndWhatItGaveBack)
{
    struct Case {
        const char* channels;
        bool detail;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"processor", false, {"processor: GetHue(0x10) -> -2147467259 (0x80004005)"}},
        {"processor", true, {"processor: GetHue(0x10) -> -2147467259 (0x80004005): 64"}},
        {"all", true, {"processor: GetHue(0x10) -> -2147467259 (0x80004005): 64"}},
        {"player", true, {}},
        {"", true, {}},
    };
    for (const Case& c : cases) {
        int result = 0;
        const std::vector<std::string> lines = TvTraceCapture(c.channels, [&] {
            CTvTraceCall trace("processor", "GetHue(%p)", reinterpret_cast<void*>(0x10));
            if (c.detail)
                trace.Detail("%d", 64);
            result = trace(static_cast<int>(0x80004005));
        });
        EXPECT_EQ(lines, c.lines) << c.channels;
        // The result passes through whether the channel is on or not.
        EXPECT_EQ(result, static_cast<int>(0x80004005));
    }
}

TEST(Trace, CaptureRestoresTheChannelsInForceBefore)
{
    TvTraceSetChannels("com");
    TvTraceCapture("player", [] {});
    EXPECT_TRUE(TvTraceEnabled("com"));
    EXPECT_FALSE(TvTraceEnabled("player"));
    TvTraceSetChannels(nullptr);
}

TEST(Trace, LinesReachStandardErrorOutsideACapture)
{
    TvTraceSetChannels("protocol");
    testing::internal::CaptureStderr();
    TV_TRACE("protocol", "RebootDevice(0x%04X) -> %d", 0x000F, -4);
    TV_TRACE("parsers", "not on");
    const std::string err = testing::internal::GetCapturedStderr();
    TvTraceSetChannels(nullptr);
    EXPECT_EQ(err, "protocol: RebootDevice(0x000F) -> -4\n");
}
