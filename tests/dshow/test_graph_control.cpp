// The graph manager's control part: the order in which filters see state
// changes, start times and stream time, the clock it picks, GetState.
#include <thread>

#include "GraphTestFilters.h"

namespace {

// source -> transform -> renderer, added in an order that is neither upstream
// nor downstream first, plus a filter connected to nothing.
class GraphControlTest : public GraphTest {
protected:
    void SetUp() override
    {
        GraphTest::SetUp();
        OpenGraph();
        m_src = new CGraphTestFilter("src", &m_log, 0, 1);
        m_mid = new CGraphTestFilter("mid", &m_log, 1, 1);
        m_sink = new CGraphTestRenderer("sink", &m_log);
        m_loose = new CGraphTestFilter("loose", &m_log, 0, 0);
        m_graph->AddFilter(m_loose, L"Loose");
        m_graph->AddFilter(m_mid, L"Transform");
        m_graph->AddFilter(m_src, L"Source");
        m_graph->AddFilter(m_sink, L"Render");
        ASSERT_EQ(S_OK, m_graph->ConnectDirect(m_src->Output(0), m_mid->Input(0), nullptr));
        ASSERT_EQ(S_OK, m_graph->ConnectDirect(m_mid->Output(0), m_sink->Input(0), nullptr));
        m_log.Take();
    }
    void TearDown() override
    {
        CloseGraph();
        m_src->Release();
        m_mid->Release();
        m_sink->Release();
        m_loose->Release();
        GraphTest::TearDown();
    }
    std::vector<std::string> Calls(const std::string& call)
    {
        std::vector<std::string> calls = m_log.Only(call);
        m_log.Take();
        return calls;
    }

    CGraphTestFilter* m_src = nullptr;
    CGraphTestFilter* m_mid = nullptr;
    CGraphTestRenderer* m_sink = nullptr;
    CGraphTestFilter* m_loose = nullptr;
};

// Renderers first, sources last, for every transition.
TEST_F(GraphControlTest, StateChangesReachFiltersDownstreamFirst)
{
    EXPECT_EQ(S_OK, m_control->Pause());
    const std::vector<std::string> order = m_log.Take();
    const std::vector<std::string> pauses(order.end() - 4, order.end());
    // The loose filter has no neighbours: it keeps its place (added first, so
    // enumerated last).
    EXPECT_EQ((std::vector<std::string>{"sink:Pause", "mid:Pause", "src:Pause", "loose:Pause"}),
              pauses);

    EXPECT_EQ(S_OK, m_control->Run());
    EXPECT_EQ((std::vector<std::string>{"sink:Run", "mid:Run", "src:Run", "loose:Run"}),
              m_log.Take());

    // Stop from running goes through paused.
    EXPECT_EQ(S_OK, m_control->Stop());
    EXPECT_EQ((std::vector<std::string>{"sink:Pause", "mid:Pause", "src:Pause", "loose:Pause",
                                        "sink:Stop", "mid:Stop", "src:Stop", "loose:Stop"}),
              m_log.Take());

    // Run from stopped pauses first.
    EXPECT_EQ(S_OK, m_control->Run());
    EXPECT_EQ((std::vector<std::string>{"sink:Pause", "mid:Pause", "src:Pause", "loose:Pause"}),
              m_log.Only("Pause"));
    EXPECT_EQ((std::vector<std::string>{"sink:Run", "mid:Run", "src:Run", "loose:Run"}),
              Calls("Run"));

    EXPECT_EQ(S_OK, m_control->Pause());
    EXPECT_EQ((std::vector<std::string>{"sink:Pause", "mid:Pause", "src:Pause", "loose:Pause"}),
              m_log.Take());
    EXPECT_EQ(S_OK, m_control->Stop());
    EXPECT_EQ((std::vector<std::string>{"sink:Stop", "mid:Stop", "src:Stop", "loose:Stop"}),
              m_log.Take());

    // Asking for the state the graph is in changes nothing.
    EXPECT_EQ(S_OK, m_control->Stop());
    EXPECT_TRUE(m_log.Take().empty());
    for (CGraphTestFilter* f : {m_src, m_mid, static_cast<CGraphTestFilter*>(m_sink), m_loose})
        EXPECT_EQ(State_Stopped, f->State());
}

TEST_F(GraphControlTest, FailuresAndUnfinishedChanges)
{
    // A renderer that waits for data: the change is not complete yet.
    m_sink->m_pauseResult = S_FALSE;
    EXPECT_EQ(S_FALSE, m_control->Pause());
    m_sink->m_pauseResult = S_OK;
    EXPECT_EQ(S_OK, m_control->Stop());

    // A filter that cannot run takes the whole graph back to stopped.
    m_mid->m_runResult = E_OUTOFMEMORY;
    m_log.Take();
    EXPECT_EQ(E_OUTOFMEMORY, m_control->Run());
    OAFilterState state = -1;
    EXPECT_EQ(S_OK, m_control->GetState(0, &state));
    EXPECT_EQ(State_Stopped, state);
    for (CGraphTestFilter* f : {m_src, m_mid, static_cast<CGraphTestFilter*>(m_sink), m_loose})
        EXPECT_EQ(State_Stopped, f->State());
    // src never ran: the failure came before it.
    EXPECT_EQ((std::vector<std::string>{"sink:Run", "mid:Run"}), m_log.Only("Run"));
    m_mid->m_runResult = S_OK;

    // Stop reaches every filter even when one fails.
    EXPECT_EQ(S_OK, m_control->Pause());
    m_mid->m_stopResult = E_UNEXPECTED;
    m_log.Take();
    EXPECT_EQ(E_UNEXPECTED, m_control->Stop());
    EXPECT_EQ(4u, m_log.Only("Stop").size());
    m_mid->m_stopResult = S_OK;
}

TEST_F(GraphControlTest, GetStateWithIntermediateStates)
{
    OAFilterState state = -1;
    EXPECT_EQ(E_POINTER, m_control->GetState(0, nullptr));
    EXPECT_EQ(S_OK, m_control->GetState(0, &state));
    EXPECT_EQ(State_Stopped, state);

    m_sink->m_getStateResult = VFW_S_STATE_INTERMEDIATE;
    m_src->m_getStateResult = VFW_S_CANT_CUE;
    m_control->Pause();
    EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, m_control->GetState(500, &state));
    EXPECT_EQ(State_Paused, state);
    // The time-out given to a filter never exceeds what the caller allowed.
    EXPECT_LE(m_sink->m_lastStateTimeout, 500u);
    EXPECT_EQ(VFW_S_STATE_INTERMEDIATE, m_control->GetState(-1, &state));
    EXPECT_EQ(INFINITE, m_sink->m_lastStateTimeout);

    // Cued: only the live source's answer is left.
    m_sink->m_getStateResult = S_OK;
    EXPECT_EQ(VFW_S_CANT_CUE, m_control->GetState(100, &state));
    m_src->m_getStateResult = S_OK;
    EXPECT_EQ(S_OK, m_control->GetState(100, &state));

    m_mid->m_getStateResult = E_FAIL;
    EXPECT_EQ(E_FAIL, m_control->GetState(100, &state));
    m_mid->m_getStateResult = S_OK;

    FILTER_STATE fs;
    m_control->Run();
    EXPECT_EQ(S_OK, m_filter->GetState(0, &fs));
    EXPECT_EQ(State_Running, fs);
    m_control->Stop();
}

TEST_F(GraphControlTest, StartTimeAndStreamTimeFollowTheClock)
{
    CTestClock* clock = CTestClock::Create();
    EXPECT_EQ(S_OK, m_filter->SetSyncSource(clock));
    for (CGraphTestFilter* f : {m_src, m_mid, static_cast<CGraphTestFilter*>(m_sink), m_loose})
        EXPECT_EQ(static_cast<IReferenceClock*>(clock), f->Clock());
    IReferenceClock* got = nullptr;
    EXPECT_EQ(S_OK, m_filter->GetSyncSource(&got));
    EXPECT_EQ(static_cast<IReferenceClock*>(clock), got);
    got->Release();

    const REFERENCE_TIME margin = 100000; // 10 ms between Run and stream time 0
    clock->SetTime(50000000);
    EXPECT_EQ(S_OK, m_control->Run());
    ASSERT_EQ(1u, m_src->m_runStarts.size());
    const REFERENCE_TIME start = m_src->m_runStarts[0];
    EXPECT_EQ(50000000 + margin, start);
    for (CGraphTestFilter* f : {m_mid, static_cast<CGraphTestFilter*>(m_sink), m_loose})
        EXPECT_EQ(start, f->m_runStarts.at(0));

    // 2 s of stream time played, then a pause of 5 s: the stream goes on
    // from 2 s.
    clock->SetTime(start + 20000000);
    EXPECT_EQ(S_OK, m_control->Pause());
    clock->SetTime(start + 70000000);
    EXPECT_EQ(S_OK, m_control->Run());
    const REFERENCE_TIME resumed = m_src->m_runStarts.at(1);
    EXPECT_EQ(clock->Now() + margin - 20000000, resumed);

    // Stopping forgets the stream time.
    m_control->Stop();
    clock->SetTime(100000000);
    m_control->Run();
    EXPECT_EQ(100000000 + margin, m_src->m_runStarts.at(2));

    // The graph as a filter: Run with a start time of the caller's.
    m_control->Stop();
    EXPECT_EQ(S_OK, m_filter->Run(123456789));
    EXPECT_EQ(123456789, m_src->m_runStarts.at(3));
    m_control->Stop();

    // No clock change while playing.
    m_control->Pause();
    EXPECT_EQ(VFW_E_NOT_STOPPED, m_filter->SetSyncSource(nullptr));
    m_control->Stop();
    // No clock at all: the filters run free, and the graph picks none.
    EXPECT_EQ(S_OK, m_filter->SetSyncSource(nullptr));
    EXPECT_EQ(nullptr, m_src->Clock());
    m_control->Run();
    EXPECT_EQ(nullptr, m_src->Clock());
    m_control->Stop();
    clock->Release();
}

TEST_F(GraphControlTest, TheGraphPicksARendererClockFirst)
{
    // Without any clock among the filters: the system clock.
    m_control->Pause();
    IReferenceClock* clock = m_src->Clock();
    ASSERT_NE(nullptr, clock);
    EXPECT_EQ(clock, m_sink->Clock());
    REFERENCE_TIME t1 = 0;
    REFERENCE_TIME t2 = 0;
    EXPECT_TRUE(SUCCEEDED(clock->GetTime(&t1)));
    Sleep(2);
    EXPECT_TRUE(SUCCEEDED(clock->GetTime(&t2)));
    EXPECT_GT(t2, t1);
    m_control->Stop();

    // A clock offered upstream counts only when no renderer offers one; an
    // audio renderer's wins over another renderer's.
    CTestClock* srcClock = CTestClock::Create();
    CTestClock* videoClock = CTestClock::Create();
    CTestClock* audioClock = CTestClock::Create();
    m_src->OfferClock(srcClock);
    m_control->Pause();
    EXPECT_EQ(static_cast<IReferenceClock*>(srcClock), m_sink->Clock());
    m_control->Stop();

    m_sink->OfferClock(videoClock);
    auto* asrc = new CGraphTestFilter("asrc", &m_log, 0, 1, MEDIATYPE_Audio);
    auto* audio = new CGraphTestRenderer("audio", &m_log, MEDIATYPE_Audio);
    audio->OfferClock(audioClock);
    m_graph->AddFilter(asrc, L"Audio source");
    m_graph->AddFilter(audio, L"DirectSound Device");
    // Joining a graph that has a clock gives the newcomer that clock.
    EXPECT_EQ(static_cast<IReferenceClock*>(srcClock), audio->Clock());
    m_control->Pause();
    EXPECT_EQ(static_cast<IReferenceClock*>(videoClock), m_src->Clock());
    m_control->Stop();
    ASSERT_EQ(S_OK, m_graph->ConnectDirect(asrc->Output(0), audio->Input(0), nullptr));
    m_control->Pause();
    for (CGraphTestFilter* f : {m_src, m_mid, static_cast<CGraphTestFilter*>(m_sink), asrc,
                                static_cast<CGraphTestFilter*>(audio)})
        EXPECT_EQ(static_cast<IReferenceClock*>(audioClock), f->Clock());
    m_control->Stop();

    // The filter that gave the clock leaves: nobody keeps its clock.
    IMediaEventEx* events = Query<IMediaEventEx>(m_graph, IID_IMediaEventEx);
    EXPECT_EQ(S_OK, m_graph->RemoveFilter(audio));
    EXPECT_EQ(nullptr, m_src->Clock());
    EXPECT_EQ(nullptr, audio->Clock());
    LONG code = 0;
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    EXPECT_EQ(S_OK, events->GetEvent(&code, &p1, &p2, 0));
    EXPECT_EQ(EC_CLOCK_UNSET, code);
    // SetDefaultSyncSource picks again at once.
    EXPECT_EQ(S_OK, m_graph->SetDefaultSyncSource());
    EXPECT_EQ(static_cast<IReferenceClock*>(videoClock), m_src->Clock());

    events->Release();
    m_src->OfferClock(nullptr);
    m_sink->OfferClock(nullptr);
    m_graph->RemoveFilter(asrc);
    asrc->Release();
    audio->Release();
    // The filters hold these clocks until the graph goes.
    for (CTestClock* c : {srcClock, videoClock, audioClock})
        c->Release();
}

TEST_F(GraphControlTest, StopWhenReadyEndsStopped)
{
    EXPECT_EQ(S_OK, m_control->StopWhenReady());
    EXPECT_EQ((std::vector<std::string>{"sink:Pause", "mid:Pause", "src:Pause", "loose:Pause"}),
              m_log.Only("Pause"));
    EXPECT_EQ(4u, m_log.Only("Stop").size());
    OAFilterState state = -1;
    m_control->GetState(0, &state);
    EXPECT_EQ(State_Stopped, state);
}

TEST_F(GraphControlTest, AutomationMethodsAreNotOffered)
{
    IDispatch* dispatch = nullptr;
    EXPECT_EQ(E_NOTIMPL, m_control->AddSourceFilter(nullptr, &dispatch));
    EXPECT_EQ(nullptr, dispatch);
    EXPECT_EQ(E_NOTIMPL, m_control->get_FilterCollection(&dispatch));
    EXPECT_EQ(E_NOTIMPL, m_control->get_RegFilterCollection(&dispatch));
    UINT count = 7;
    EXPECT_EQ(E_NOTIMPL, m_control->GetTypeInfoCount(&count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(E_NOTIMPL, m_control->Invoke(0, IID_NULL, 0, 0, nullptr, nullptr, nullptr, nullptr));
}

// State changes and notifications from several threads at once (for the
// thread checker): a streaming thread keeps notifying while the application
// thread changes state.
TEST_F(GraphControlTest, NotifyWhileTheStateChanges)
{
    std::atomic<bool> done{false};
    std::thread streaming([&] {
        while (!done)
            m_sink->SendEvent(EC_USER, 1, 2);
    });
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(S_OK, m_control->Run());
        EXPECT_EQ(S_OK, m_control->Pause());
        EXPECT_EQ(S_OK, m_control->Stop());
    }
    done = true;
    streaming.join();
}

} // namespace
