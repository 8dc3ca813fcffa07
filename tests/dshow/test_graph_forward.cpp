// The interfaces the graph passes on to its renderers (IVideoWindow,
// IBasicVideo, IBasicAudio, IVideoFrameStep) and its positioning
// (IMediaSeeking, IMediaPosition).
#include "GraphTestFilters.h"

namespace {

class GraphForwardTest : public GraphTest {
protected:
    void SetUp() override
    {
        GraphTest::SetUp();
        OpenGraph();
        m_src = new CGraphTestFilter("src", &m_log, 0, 1);
        m_graph->AddFilter(m_src, L"Source");
    }
    void TearDown() override
    {
        CloseGraph();
        m_src->Release();
        if (m_sink)
            m_sink->Release();
        GraphTest::TearDown();
    }
    void AddRenderer()
    {
        m_sink = new CGraphTestRenderer("sink", &m_log);
        m_graph->AddFilter(m_sink, L"Render");
        ASSERT_EQ(S_OK, m_graph->ConnectDirect(m_src->Output(0), m_sink->Input(0), nullptr));
    }

    CGraphTestFilter* m_src = nullptr;
    CGraphTestRenderer* m_sink = nullptr;
};

// The graph answers for the interfaces even without a renderer (the player
// asks at QueryInterface time); the calls then fail.
TEST_F(GraphForwardTest, WithoutRendererTheCallsFail)
{
    IVideoWindow* window = Query<IVideoWindow>(m_graph, IID_IVideoWindow);
    IBasicVideo* video = Query<IBasicVideo>(m_graph, IID_IBasicVideo);
    IBasicAudio* audio = Query<IBasicAudio>(m_graph, IID_IBasicAudio);
    IVideoFrameStep* step = Query<IVideoFrameStep>(m_graph, IID_IVideoFrameStep);
    ASSERT_TRUE(window && video && audio && step);

    EXPECT_EQ(E_NOINTERFACE, window->put_Owner(0));
    EXPECT_EQ(E_NOINTERFACE, window->SetWindowPosition(0, 0, 320, 240));
    LONG full = 5;
    EXPECT_EQ(E_NOINTERFACE, window->get_FullScreenMode(&full));
    EXPECT_EQ(5, full);
    LONG w = 0;
    LONG h = 0;
    EXPECT_EQ(E_NOINTERFACE, video->GetVideoSize(&w, &h));
    EXPECT_EQ(E_NOINTERFACE, audio->put_Volume(-1500));
    EXPECT_EQ(E_NOINTERFACE, step->CanStep(0, nullptr));
    m_control->Pause();
    EXPECT_EQ(E_NOINTERFACE, step->Step(1, nullptr));
    m_control->Stop();

    step->Release();
    audio->Release();
    video->Release();
    window->Release();
}

TEST_F(GraphForwardTest, CallsReachTheRenderer)
{
    AddRenderer();
    const LONG refsBefore = m_sink->Refs();
    IBasicAudio* audio = Query<IBasicAudio>(m_graph, IID_IBasicAudio);
    EXPECT_EQ(S_OK, audio->put_Volume(-1500));
    EXPECT_EQ(-1500, m_sink->m_volume);
    // The renderer's own refusal comes back as it is.
    EXPECT_EQ(E_INVALIDARG, audio->put_Volume(30));
    LONG volume = 0;
    EXPECT_EQ(S_OK, audio->get_Volume(&volume));
    EXPECT_EQ(-1500, volume);
    // A renderer without the interface counts as none.
    m_sink->m_offerAudio = false;
    EXPECT_EQ(E_NOINTERFACE, audio->put_Volume(0));
    audio->Release();
    // Nothing stays held by the call.
    EXPECT_EQ(refsBefore, m_sink->Refs());
}

TEST_F(GraphForwardTest, FrameStepRunsTheGraphUntilTheRendererIsDone)
{
    AddRenderer();
    IVideoFrameStep* step = Query<IVideoFrameStep>(m_graph, IID_IVideoFrameStep);
    EXPECT_EQ(S_OK, step->CanStep(0, nullptr));
    // Not from stopped.
    EXPECT_EQ(VFW_E_WRONG_STATE, step->Step(1, nullptr));

    ASSERT_EQ(S_OK, m_control->Pause());
    m_log.Take();
    EXPECT_EQ(S_OK, step->Step(1, nullptr));
    EXPECT_EQ("sink:Step1", m_log.Take().at(0));
    OAFilterState state = -1;
    m_control->GetState(0, &state);
    EXPECT_EQ(State_Running, state);

    // The renderer presented the frame: the graph pauses, then tells the
    // application.
    m_sink->SendEvent(EC_STEP_COMPLETE, FALSE, 0);
    LONG code = 0;
    LONG_PTR p1 = -1;
    LONG_PTR p2 = -1;
    ASSERT_EQ(S_OK, m_events->GetEvent(&code, &p1, &p2, 10000));
    EXPECT_EQ(EC_STEP_COMPLETE, code);
    EXPECT_EQ(FALSE, p1);
    m_control->GetState(0, &state);
    EXPECT_EQ(State_Paused, state);

    // A renderer's step completion that the graph did not ask for passes as it is.
    m_sink->SendEvent(EC_STEP_COMPLETE, TRUE, 0);
    ASSERT_EQ(S_OK, m_events->GetEvent(&code, &p1, &p2, 0));
    EXPECT_EQ(EC_STEP_COMPLETE, code);
    EXPECT_EQ(TRUE, p1);

    // Cancelled: the graph pauses again.
    EXPECT_EQ(S_OK, step->Step(2, nullptr));
    EXPECT_EQ(S_OK, step->CancelStep());
    m_control->GetState(0, &state);
    EXPECT_EQ(State_Paused, state);
    m_control->Stop();
    step->Release();
}

TEST_F(GraphForwardTest, SeekingGoesToTheRenderers)
{
    IMediaSeeking* seeking = Query<IMediaSeeking>(m_graph, IID_IMediaSeeking);
    IMediaPosition* position = Query<IMediaPosition>(m_graph, IID_IMediaPosition);
    LONGLONG value = 0;
    EXPECT_EQ(E_NOTIMPL, seeking->GetDuration(&value));
    LONGLONG zero = 0;
    EXPECT_EQ(E_NOTIMPL, seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr, 0));

    AddRenderer();
    m_sink->m_duration = 600000000; // 60 s
    DWORD caps = 0;
    EXPECT_EQ(S_OK, seeking->GetCapabilities(&caps));
    EXPECT_EQ(m_sink->m_caps, caps);
    caps = AM_SEEKING_CanSeekAbsolute | AM_SEEKING_CanPlayBackwards;
    EXPECT_EQ(S_FALSE, seeking->CheckCapabilities(&caps));
    EXPECT_EQ(static_cast<DWORD>(AM_SEEKING_CanSeekAbsolute), caps);
    EXPECT_EQ(S_OK, seeking->GetDuration(&value));
    EXPECT_EQ(600000000, value);
    REFTIME seconds = 0;
    EXPECT_EQ(S_OK, position->get_Duration(&seconds));
    EXPECT_DOUBLE_EQ(60.0, seconds);
    LONG can = 0;
    EXPECT_EQ(S_OK, position->CanSeekBackward(&can));
    EXPECT_EQ(OATRUE, can);

    // A seek while running: paused for the seek, then running again.
    ASSERT_EQ(S_OK, m_control->Run());
    m_log.Take();
    EXPECT_EQ(S_OK, position->put_CurrentPosition(12.5));
    EXPECT_EQ((std::vector<std::string>{"sink:Pause", "src:Pause", "sink:SetPositions", "sink:Run",
                                        "src:Run"}),
              m_log.Take());
    EXPECT_EQ(125000000, m_sink->m_position);
    EXPECT_EQ(S_OK, position->get_CurrentPosition(&seconds));
    EXPECT_DOUBLE_EQ(12.5, seconds);

    // Without the renderer's own position the graph estimates from stream
    // time: at least where it was set to start.
    m_sink->m_knowsPosition = false;
    EXPECT_EQ(S_OK, seeking->GetCurrentPosition(&value));
    EXPECT_GE(value, 125000000 - 1000000);
    m_control->Stop();

    EXPECT_EQ(S_OK, seeking->SetRate(2.0));
    EXPECT_EQ(E_INVALIDARG, seeking->SetRate(0.0));
    double rate = 0;
    EXPECT_EQ(S_OK, position->get_Rate(&rate));
    EXPECT_DOUBLE_EQ(2.0, rate);

    GUID format = GUID_NULL;
    EXPECT_EQ(S_OK, seeking->GetTimeFormat(&format));
    EXPECT_TRUE(IsEqualGUID(TIME_FORMAT_MEDIA_TIME, format));
    EXPECT_EQ(E_INVALIDARG, seeking->SetTimeFormat(&TIME_FORMAT_FRAME));
    EXPECT_EQ(S_OK, seeking->IsUsingTimeFormat(&TIME_FORMAT_MEDIA_TIME));
    m_control->Pause();
    EXPECT_EQ(VFW_E_WRONG_STATE, seeking->SetTimeFormat(&TIME_FORMAT_MEDIA_TIME));
    m_control->Stop();

    position->Release();
    seeking->Release();
}

// A renderer whose stream positions only through IMediaPosition (as this
// system's filters do): the graph's IMediaPosition goes there.
TEST_F(GraphForwardTest, PositionThroughTheRenderersMediaPosition)
{
    AddRenderer();
    m_sink->m_offerSeeking = false;
    m_sink->m_offerPosition = true;
    m_sink->m_duration = 300000000; // 30 s
    IMediaPosition* position = Query<IMediaPosition>(m_graph, IID_IMediaPosition);
    REFTIME seconds = 0;
    EXPECT_EQ(S_OK, position->get_Duration(&seconds));
    EXPECT_DOUBLE_EQ(30.0, seconds);
    LONG can = 0;
    EXPECT_EQ(S_OK, position->CanSeekForward(&can));
    EXPECT_EQ(OATRUE, can);
    EXPECT_EQ(S_OK, position->CanSeekBackward(&can));
    EXPECT_EQ(OAFALSE, can);

    ASSERT_EQ(S_OK, m_control->Run());
    m_log.Take();
    EXPECT_EQ(S_OK, position->put_CurrentPosition(3.0));
    EXPECT_EQ((std::vector<std::string>{"sink:Pause", "src:Pause", "sink:put_CurrentPosition",
                                        "sink:Run", "src:Run"}),
              m_log.Take());
    EXPECT_EQ(S_OK, position->get_CurrentPosition(&seconds));
    EXPECT_DOUBLE_EQ(3.0, seconds);
    EXPECT_EQ(S_OK, position->put_Rate(-1.0));
    EXPECT_DOUBLE_EQ(-1.0, m_sink->m_rate);
    double rate = 0;
    EXPECT_EQ(S_OK, position->get_Rate(&rate));
    EXPECT_DOUBLE_EQ(-1.0, rate);
    m_control->Stop();
    position->Release();
}

} // namespace
