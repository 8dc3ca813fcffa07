// The system renderers in a real filter graph, used the way the player uses
// them: added as "Render", driven through IMediaControl, stepped through the
// graph's IVideoFrameStep, their window reached through the graph's
// IVideoWindow, and the stream's end reported as the graph's EC_COMPLETE.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>

#include "TestKit.h"
#include "TvPictures.h"

namespace {

const Yuv kSequence[] = {kRed, kWhite, kBlue, kBlack};
const Bgr kSequenceRgb[] = {kRedRgb, kWhiteRgb, kBlueRgb, kBlackRgb};

// The renderer on the test kit's harness in a real graph as "Render", fed by
// the harness's source ("Source"); m_graph, m_control, m_events, m_renderer
// and m_source are the harness's (not held here).
class RendererGraphTest : public TvHarnessTest {
protected:
    void SetUp() override
    {
        setenv("TARVO_AUDIO", "null", 1);
        TvHarnessTest::SetUp();
        TvHarness& harness =
            Wrap(CLSID_VideoRendererDefault, L"Render", TvHarness::Setting::FilterGraph);
        ASSERT_EQ(harness.Result(), S_OK);
        m_graph = harness.Graph()->Builder();
        m_control = harness.Graph()->Control();
        m_events = harness.Graph()->Events();
        m_renderer = harness.Filter();
        ASSERT_EQ(harness.ConnectInput(TvMakeYuy2Type(16, 16)), S_OK);
        m_source = harness.Source();
    }
    void TearDown() override
    {
        if (m_control)
            m_control->Stop();
        StopFeeding();
        TvHarnessTest::TearDown();
        unsetenv("TARVO_AUDIO");
    }

    // Delivers pictures of the sequence's colours, in turn, until delivery
    // fails (the graph stopped) or `count` were sent; then end of stream.
    // Started once the graph has left Stopped (the allocator is committed).
    void Feed(int count = 1 << 30)
    {
        m_feeder = std::thread([this, count] {
            for (int i = 0; i < count; ++i) {
                HRESULT hr = m_source->Deliver(Yuy2Uniform(16, 16, kSequence[i % 4]));
                if (hr != S_OK)
                    return;
                m_fed = i + 1;
            }
            m_source->DeliverEndOfStream();
        });
    }
    void StopFeeding()
    {
        if (m_feeder.joinable())
            m_feeder.join();
    }
    // The next event, or 0 when none came within timeoutMs.
    LONG NextEvent(LONG timeoutMs = 10000) { return m_harness->Graph()->NextEvent(timeoutMs); }

    IGraphBuilder* m_graph = nullptr;
    IMediaControl* m_control = nullptr;
    IMediaEventEx* m_events = nullptr;
    IBaseFilter* m_renderer = nullptr;
    CTestPushSource* m_source = nullptr;
    std::thread m_feeder;
    std::atomic<int> m_fed{0};
};

} // namespace

TEST_F(RendererGraphTest, TheGraphFindsRenderAndForwardsItsWindow)
{
    IBaseFilter* found = nullptr;
    ASSERT_EQ(m_graph->FindFilterByName(L"Render", &found), S_OK);
    EXPECT_EQ(found, m_renderer);
    found->Release();

    IVideoWindow* window = Query<IVideoWindow>(m_graph, IID_IVideoWindow);
    ASSERT_NE(window, nullptr);
    HWND owner = TvCreateVirtualWindow(200, 100);
    EXPECT_EQ(window->put_Owner(reinterpret_cast<OAHWND>(owner)), S_OK);
    EXPECT_EQ(window->put_WindowStyle(0x46000000), S_OK);
    EXPECT_EQ(window->SetWindowPosition(0, 0, 200, 100), S_OK);
    window->Release();
    IBasicVideo* video = Query<IBasicVideo>(m_graph, IID_IBasicVideo);
    ASSERT_NE(video, nullptr);
    LONG w = 0, h = 0;
    EXPECT_EQ(video->GetVideoSize(&w, &h), S_OK);
    EXPECT_EQ(w, 16);
    video->Release();
    LONG width = 0, height = 0;
    IOffscreenSnapshot* snap = Query<IOffscreenSnapshot>(m_renderer, IID_IOffscreenSnapshot);
    snap->GetSurfaceInfo(&width, &height, nullptr, nullptr);
    snap->Release();
    EXPECT_EQ(width, 200);
    EXPECT_EQ(height, 100);
    DestroyWindow(owner);

    // An audio renderer in the graph answers the graph's IBasicAudio.
    IBaseFilter* sound = CreateInstance<IBaseFilter>(CLSID_DSoundRender, IID_IBaseFilter);
    ASSERT_EQ(m_graph->AddFilter(sound, L"DirectSound Device"), S_OK);
    IBasicAudio* audio = Query<IBasicAudio>(m_graph, IID_IBasicAudio);
    ASSERT_NE(audio, nullptr);
    EXPECT_EQ(audio->put_Volume(-1500), S_OK);
    EXPECT_EQ(audio->put_Volume(1), E_INVALIDARG);
    audio->Release();
    m_graph->RemoveFilter(sound);
    sound->Release();
}

TEST_F(RendererGraphTest, PlaysToTheEndAndTheGraphCompletes)
{
    ASSERT_EQ(SUCCEEDED(m_control->Run()), true);
    Feed(6);
    LONG code = 0;
    ASSERT_EQ(m_events->WaitForCompletion(10000, &code), S_OK);
    EXPECT_EQ(code, EC_COMPLETE);
    EXPECT_EQ(FramesPresented(m_renderer), 6);
    IQualProp* q = Query<IQualProp>(m_renderer, IID_IQualProp);
    int drawn = 0;
    q->get_FramesDrawn(&drawn);
    q->Release();
    EXPECT_EQ(drawn, 6);
}

TEST_F(RendererGraphTest, FrameStepShowsTheNextPictureAndPausesTheGraph)
{
    m_control->Pause(); // completes once the first picture is there
    Feed();
    OAFilterState state = -1;
    ASSERT_EQ(m_control->GetState(10000, &state), S_OK);
    ASSERT_EQ(state, State_Paused);
    EXPECT_TRUE(PixelNear(Snapshot(m_renderer).At(8, 8), kRedRgb)) << "the paused picture";

    IVideoFrameStep* step = Query<IVideoFrameStep>(m_graph, IID_IVideoFrameStep);
    ASSERT_NE(step, nullptr);
    ASSERT_EQ(step->CanStep(0, nullptr), S_OK);
    ASSERT_EQ(step->Step(1, nullptr), S_OK);
    LONG code = 0;
    do {
        code = NextEvent();
    } while (code != EC_STEP_COMPLETE && code != 0);
    ASSERT_EQ(code, EC_STEP_COMPLETE);
    ASSERT_EQ(m_control->GetState(10000, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    EXPECT_TRUE(PixelNear(Snapshot(m_renderer).At(8, 8), kSequenceRgb[1])) << "one picture on";

    // And once more.
    ASSERT_EQ(step->Step(1, nullptr), S_OK);
    do {
        code = NextEvent();
    } while (code != EC_STEP_COMPLETE && code != 0);
    ASSERT_EQ(code, EC_STEP_COMPLETE);
    EXPECT_TRUE(PixelNear(Snapshot(m_renderer).At(8, 8), kSequenceRgb[2]));
    step->Release();
}
