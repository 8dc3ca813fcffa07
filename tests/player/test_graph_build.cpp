// Graph assembly against fake graph objects registered in the process: the steps
// of BuildGraph with the error code of each failure, the message boxes of filter
// creation and insertion, the format poll, and that every reference is given back.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include <windows.h>

#include "CFilePlayer.h"
#include "GraphHelpers.h"
#include "CStreamPlayer.h"
#include "TarvoGuids.h"
#include "fake_graph.h"

namespace {

struct Box {
    std::string text;
    std::string caption;
};

int RecordBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type, void* user)
{
    EXPECT_EQ(owner, nullptr);
    EXPECT_EQ(type, MB_OK);
    static_cast<std::vector<Box>*>(user)->push_back({text ? text : "", caption ? caption : ""});
    return IDOK;
}

// Waits (generously) for a condition the dispatcher thread brings about.
bool WaitFor(const std::function<bool()>& done)
{
    for (int i = 0; i < 1000; ++i) {
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return done();
}

class GraphBuild : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_world = &m_world;
        CoInitialize(nullptr);
        RegisterFakeClasses();
        TvSetMessageBoxHandler(RecordBox, &m_boxes);
        m_window = TvCreateVirtualWindow(320, 240);
        ASSERT_NE(m_window, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(m_window);
        TvSetMessageBoxHandler(nullptr, nullptr);
        RevokeFakeClasses();
        CoUninitialize();
        EXPECT_EQ(m_world.liveObjects.load(), 0) << "references left behind";
        g_world = nullptr;
    }

    FakeWorld m_world;
    std::vector<Box> m_boxes;
    HWND m_window = nullptr;
};

TEST_F(GraphBuild, StreamPlayerBuildsAndRunsThePartialGraph)
{
    auto* player = new CStreamPlayer(m_window, 0, 3);
    EXPECT_TRUE(player->HasGraph());
    EXPECT_TRUE(player->IsPolling());
    EXPECT_EQ(m_world.streamType.load(), 3);
    EXPECT_EQ(m_world.playMode.load(), 0);
    EXPECT_EQ(m_world.notifyWindow, reinterpret_cast<OAHWND>(m_window));
    EXPECT_EQ(m_world.notifyMessage, 0x402);
    EXPECT_EQ(m_world.added, (std::vector<std::wstring>{L"Tarvo Splt Filter", L"Tarvo NWSource"}));
    EXPECT_EQ(m_world.connects.load(), 1);
    EXPECT_EQ(m_world.connectedFrom, L"nwsource:out0");
    EXPECT_EQ(m_world.connectedTo, L"splitter:in0");
    EXPECT_NE(player->GetEventSink(), nullptr);
    EXPECT_TRUE(m_boxes.empty());

    delete player;
    // Both filters were taken out of the graph before it went.
    EXPECT_EQ(m_world.removed.size(), 2u);
}

struct StepCase {
    const char* name;
    std::function<void(FakeWorld&)> arrange;
    int common; // CGraphPlayer::BuildGraph
    int stream; // CStreamPlayer::BuildGraph
    int boxes;  // message boxes shown by one build
};

TEST_F(GraphBuild, EachFailingStepHasItsCode)
{
    const std::vector<StepCase> cases = {
        {"no IFilterGraph", [](FakeWorld& w) { w.graphOffersFilterGraph = false; },
         TP_ERR_NO_FILTER_GRAPH, TP_ERR_INVALID_HANDLE, 0},
        {"no IMediaEventEx", [](FakeWorld& w) { w.graphOffersMediaEvent = false; },
         TP_ERR_NO_MEDIA_EVENT, TP_ERR_INVALID_HANDLE, 0},
        {"notify window refused", [](FakeWorld& w) { w.notifyResult = E_UNEXPECTED; }, E_FAIL,
         TP_ERR_INVALID_HANDLE, 0},
        {"splitter not created", [](FakeWorld& w) { w.failCreate.insert("splitter"); },
         TP_ERR_ADD_SPLITTER, TP_ERR_INVALID_HANDLE, 1},
        {"splitter refused", [](FakeWorld& w) { w.refuseAdd.insert(L"Tarvo Splt Filter"); },
         TP_ERR_ADD_SPLITTER, TP_ERR_INVALID_HANDLE, 1},
        {"no ITarvoSplt", [](FakeWorld& w) { w.splitterOffersTarvoSplt = false; },
         TP_ERR_NO_SPLITTER_INTERFACE, TP_ERR_INVALID_HANDLE, 0},
        {"no output pin", [](FakeWorld& w) { w.splitterOutputPins = 0; }, TP_ERR_NO_SPLITTER_PIN,
         TP_ERR_INVALID_HANDLE, 0},
        {"no audio pin", [](FakeWorld& w) { w.splitterOutputPins = 1; }, TP_ERR_NO_SPLITTER_PIN,
         TP_ERR_INVALID_HANDLE, 0},
        {"no stream builder", [](FakeWorld& w) { w.pinsOfferStreamBuilder = false; },
         TP_ERR_NO_STREAM_BUILDER, TP_ERR_INVALID_HANDLE, 0},
        {"network source not created", [](FakeWorld& w) { w.failCreate.insert("nwsource"); }, 0,
         TP_ERR_ADD_NWSOURCE, 1},
        {"network source refused", [](FakeWorld& w) { w.refuseAdd.insert(L"Tarvo NWSource"); }, 0,
         TP_ERR_ADD_NWSOURCE, 1},
        {"no INWSource", [](FakeWorld& w) { w.nwsourceOffersInterface = false; }, 0,
         TP_ERR_NO_NWSOURCE_INTERFACE, 0},
        {"stream type refused", [](FakeWorld& w) { w.setStreamTypeResult = E_FAIL; }, 0,
         TP_ERR_STREAM_TYPE_REFUSED, 0},
        {"play mode refused", [](FakeWorld& w) { w.setPlayModeResult = E_INVALIDARG; }, 0, E_FAIL,
         0},
        {"source not connected", [](FakeWorld& w) { w.connectResult = E_FAIL; }, 0,
         TP_ERR_CONNECT_NWSOURCE, 0},
    };
    for (const StepCase& step : cases) {
        SCOPED_TRACE(step.name);
        FakeWorld fresh;
        g_world = &fresh;
        step.arrange(fresh);
        m_boxes.clear();
        {
            // The constructor's build fails and closes the player again.
            CStreamPlayer player(m_window, 1, 4);
            EXPECT_FALSE(player.HasGraph());
            EXPECT_FALSE(player.IsPolling());
            EXPECT_EQ(static_cast<int>(m_boxes.size()), step.boxes);
            EXPECT_EQ(fresh.removed.size(), fresh.added.size());
            // Build again to see the code, once for the common part alone.
            EXPECT_EQ(player.CGraphPlayer::BuildGraph(), step.common);
            player.Close();
            EXPECT_EQ(player.BuildGraph(), step.stream);
        }
        EXPECT_EQ(fresh.liveObjects.load(), 0);
    }
    g_world = &m_world;
}

TEST_F(GraphBuild, FilterFailuresShowTheirMessage)
{
    m_world.failCreate.insert("splitter");
    {
        CStreamPlayer player(m_window, 0, 3);
    }
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, "创建Filter实例失败");
    EXPECT_EQ(m_boxes[0].caption, "Tarvo Splt Filter");

    m_world.failCreate.clear();
    m_world.refuseAdd.insert(L"Tarvo NWSource");
    {
        CStreamPlayer player(m_window, 0, 3);
    }
    ASSERT_EQ(m_boxes.size(), 2u);
    EXPECT_EQ(m_boxes[1].text, "添加Filter失败");
    EXPECT_EQ(m_boxes[1].caption, "Tarvo NWSource");
}

TEST_F(GraphBuild, StreamPlayerNeedsAWindowForItsPoll)
{
    CStreamPlayer player(nullptr, 0, 3);
    EXPECT_FALSE(player.HasGraph());
    EXPECT_EQ(player.BuildGraph(), E_FAIL);
    EXPECT_FALSE(player.IsPolling());
}

TEST_F(GraphBuild, FilePlayerAddsTheFileReader)
{
    {
        CFilePlayer player(m_window);
        EXPECT_TRUE(player.HasGraph());
        EXPECT_EQ(m_world.added,
                  (std::vector<std::wstring>{L"Tarvo Splt Filter", L"File Async Reader"}));
        EXPECT_EQ(m_world.connects.load(), 0);
    }
    EXPECT_EQ(m_world.removed.size(), 2u);

    m_world.failCreate.insert("reader");
    m_boxes.clear();
    CFilePlayer player(m_window);
    EXPECT_FALSE(player.HasGraph());
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].caption, "File Async Reader");
    EXPECT_EQ(player.BuildGraph(), TP_ERR_ADD_FILE_READER);
}

TEST_F(GraphBuild, FormatPollWaitsForARealVideoTypeThenRenders)
{
    CStreamPlayer player(m_window, 0, 3);
    ASSERT_TRUE(player.IsPolling());

    m_world.videoTypeState = 1; // video, but subtype GUID_NULL
    int seen = m_world.typeQueries.load();
    ASSERT_TRUE(WaitFor([&] { return m_world.typeQueries.load() >= seen + 3; }));
    EXPECT_EQ(m_world.videoRenders.load(), 0);
    EXPECT_TRUE(player.IsPolling());

    m_world.videoTypeState = 2;
    ASSERT_TRUE(WaitFor([&] { return !player.IsPolling(); }));
    ASSERT_TRUE(WaitFor([&] { return m_world.audioRenders.load() == 1; }));
    EXPECT_EQ(m_world.videoRenders.load(), 1);
    // The poll has ended: no further renders.
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    EXPECT_EQ(m_world.videoRenders.load(), 1);
}

struct Posted {
    std::atomic<int> count{0};
    std::atomic<UINT> message{0};
    std::atomic<WPARAM> wParam{0};
};

LRESULT RecordPosted(HWND, UINT msg, WPARAM wParam, LPARAM, void* user)
{
    auto* posted = static_cast<Posted*>(user);
    posted->message = msg;
    posted->wParam = wParam;
    ++posted->count;
    return 0;
}

TEST_F(GraphBuild, FailedVideoRenderIsPostedToTheWindow)
{
    Posted posted;
    ASSERT_TRUE(TvSetWindowMessageHandler(m_window, RecordPosted, &posted));
    m_world.videoRenderResult = static_cast<HRESULT>(0x80040217u); // VFW_E_CANNOT_CONNECT
    {
        CStreamPlayer player(m_window, 1, 3);
        m_world.videoTypeState = 2;
        ASSERT_TRUE(WaitFor([&] { return posted.count.load() == 1; }));
        EXPECT_EQ(posted.message.load(), static_cast<UINT>(WM_USER + 1));
        EXPECT_EQ(posted.wParam.load(), 0x80040217u);
        EXPECT_FALSE(player.IsPolling());
    }
    TvSetWindowMessageHandler(m_window, nullptr, nullptr);
}

TEST_F(GraphBuild, DeletingWhilePollingIsClean)
{
    for (int i = 0; i < 5; ++i) {
        auto* player = new CStreamPlayer(m_window, 0, 3);
        EXPECT_TRUE(player->IsPolling());
        std::this_thread::sleep_for(std::chrono::milliseconds(20 * i));
        delete player;
    }
    int queries = m_world.typeQueries.load();
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
    EXPECT_EQ(m_world.typeQueries.load(), queries) << "a poll outlived its player";
}

// A stream player whose poll has rendered its chain (the fake renderer
// "Render" is in the graph and the window attached).
std::unique_ptr<CStreamPlayer> RenderedStreamPlayer(HWND window, FakeWorld& world)
{
    auto player = std::make_unique<CStreamPlayer>(window, 0, 3);
    world.videoTypeState = 2;
    EXPECT_TRUE(WaitFor([&] {
        const auto calls = world.Calls();
        return !player->IsPolling() && !calls.empty() && calls.back() == "Run" && calls.size() > 1;
    }));
    return player;
}

struct AttachCase {
    const char* name;
    bool aspect; // the renderer offers IVMRAspectRatioControl
    std::vector<std::string> calls;
};

TEST_F(GraphBuild, PartialGraphRunsThenThePollStopsRendersAttachesAndPlays)
{
    const std::vector<AttachCase> cases = {
        {"renderer with aspect-ratio control",
         true,
         {"Run", "Stop", "render video", "render audio", "aspect 0", "owner",
          "position 0,0,320x240", "Run"}},
        {"renderer without aspect-ratio control",
         false,
         {"Run", "Stop", "render video", "render audio", "owner", "position 0,0,320x240", "Run"}},
    };
    for (const AttachCase& c : cases) {
        SCOPED_TRACE(c.name);
        FakeWorld fresh;
        fresh.rendererOffersAspectRatio = c.aspect;
        g_world = &fresh;
        {
            CStreamPlayer player(m_window, 0, 3);
            // Source and splitter run before the stream's format is known.
            EXPECT_EQ(fresh.Calls(), std::vector<std::string>{"Run"});
            EXPECT_EQ(fresh.filterState.load(), State_Running);
            EXPECT_TRUE(player.IsPolling());

            fresh.videoTypeState = 2;
            ASSERT_TRUE(WaitFor([&] { return fresh.Calls().size() >= c.calls.size(); }));
            EXPECT_EQ(fresh.Calls(), c.calls);
            EXPECT_EQ(fresh.windowStyle.load(), 0x46000000);
            EXPECT_FALSE(player.IsPolling());
            EXPECT_EQ(fresh.filterState.load(), State_Running);
        }
        EXPECT_EQ(fresh.liveObjects.load(), 0);
    }
    g_world = &m_world;
}

struct FullScreenCase {
    const char* name;
    int state; // graph state before the call
    LONG mode; // full-screen mode before the call
    BYTE full;
    LONG after;
};

TEST_F(GraphBuild, FullScreenOnlyFromARunningPicture)
{
    const std::vector<FullScreenCase> cases = {
        {"running, on", State_Running, OAFALSE, 1, OATRUE},
        {"paused, on", State_Paused, OAFALSE, 1, OAFALSE},
        {"stopped, on", State_Stopped, OAFALSE, 1, OAFALSE},
        {"full, off", State_Paused, OATRUE, 0, OAFALSE},
        {"full, on again", State_Running, OATRUE, 1, OATRUE},
        {"windowed, off", State_Running, OAFALSE, 0, OAFALSE},
        {"flag 2 is neither", State_Running, OAFALSE, 2, OAFALSE},
    };
    auto player = RenderedStreamPlayer(m_window, m_world);
    for (const FullScreenCase& c : cases) {
        SCOPED_TRACE(c.name);
        m_world.filterState = c.state;
        m_world.fullScreen = c.mode;
        EXPECT_EQ(player->SetFullScreenMode(c.full), 0);
        EXPECT_EQ(m_world.fullScreen.load(), c.after);
        int full = -1;
        EXPECT_EQ(player->GetFullScreenMode(&full), 0);
        EXPECT_EQ(full, c.after == OATRUE ? 1 : 0);
    }
}

struct SourceRectCase {
    const char* name;
    int left, top, width, height;
    const char* logged; // nullptr: the renderer is not told
};

TEST_F(GraphBuild, SourceRectangleIsClampedAndTinyOnesIgnored)
{
    // The video is 320 x 240: one eighth is 40 x 30.
    const std::vector<SourceRectCase> cases = {
        {"one eighth wide", 0, 0, 40, 100, nullptr},
        {"one eighth high", 0, 0, 100, 30, nullptr},
        {"just above", 0, 0, 41, 31, "source 0,0,41x31"},
        {"too large, negative corner", -5, -7, 400, 300, "source 0,0,320x240"},
        {"past the right and bottom", 300, 200, 100, 100, "source 220,140,100x100"},
    };
    auto player = RenderedStreamPlayer(m_window, m_world);
    for (const SourceRectCase& c : cases) {
        SCOPED_TRACE(c.name);
        const size_t before = m_world.Calls().size();
        EXPECT_EQ(player->SetSourceRect(c.left, c.top, c.width, c.height), 0);
        const auto calls = m_world.Calls();
        if (!c.logged) {
            EXPECT_EQ(calls.size(), before);
        } else {
            ASSERT_EQ(calls.size(), before + 1);
            EXPECT_EQ(calls.back(), c.logged);
        }
    }
}

TEST_F(GraphBuild, ReSizePlacesTheVideoOverTheClientArea)
{
    auto player = RenderedStreamPlayer(m_window, m_world);
    ASSERT_TRUE(TvResizeVirtualWindow(m_window, 640, 360));
    EXPECT_EQ(player->ReSize(0, 0), 0);
    EXPECT_EQ(m_world.Calls().back(), "position 0,0,640x360");
    m_world.graphOffersVideoWindow = false;
    CStreamPlayer second(m_window, 0, 3);
    EXPECT_EQ(second.ReSize(0, 0), TP_ERR_INVALID_HANDLE); // no video window yet
}

TEST_F(GraphBuild, HelpersFindPinsAndWarnForTheAudioRenderer)
{
    IGraphBuilder* graph = NewFakeGraph();
    IBaseFilter* splitter = nullptr;
    ASSERT_EQ(AddFilterByClsid(graph, &splitter, L"Tarvo Splt Filter", CLSID_TarvoSplitterF), 0);
    // Already in the graph under that name: nothing more to do.
    EXPECT_EQ(AddFilterByClsid(graph, &splitter, L"Tarvo Splt Filter", CLSID_TarvoSplitterF), 0);
    EXPECT_EQ(m_world.added.size(), 1u);

    IPin* pin = nullptr;
    EXPECT_EQ(GetPin(splitter, PINDIR_OUTPUT, 1, &pin), S_OK);
    SafeRelease(pin);
    EXPECT_EQ(GetPin(splitter, PINDIR_INPUT, 0, &pin), S_OK);
    SafeRelease(pin);
    EXPECT_EQ(GetPin(splitter, PINDIR_OUTPUT, 2, &pin), E_FAIL);
    EXPECT_EQ(pin, nullptr);
    EXPECT_EQ(GetPin(splitter, PINDIR_INPUT, 1, &pin), E_FAIL);

    IBaseFilter* audio = nullptr;
    EXPECT_EQ(AddFilterByClsid(graph, &audio, L"Audio Renderer", CLSID_DSoundRender), E_FAIL);
    ASSERT_EQ(m_boxes.size(), 1u);
    EXPECT_EQ(m_boxes[0].text, "音频设备无法正常工作，无法播放声音！请检查DirectX版本和声卡驱动");
    EXPECT_EQ(m_boxes[0].caption, "警告");

    splitter->Release();
    graph->Release();
}

} // namespace
