// Filter state machine, graph membership, clock, events, and data flow from
// the test source to the test sink: samples, end of stream, segments,
// blocking for buffers, stopping and flushing.
#include <thread>

#include "TestKit.h"

namespace {

CMediaType Yuy2()
{
    return TvMakeVideoType(MEDIASUBTYPE_YUY2, 32, 16, 16, MAKEFOURCC('Y', 'U', 'Y', '2'));
}

class CoreFilter : public TvLeakCheck {
protected:
    void SetUp() override
    {
        TvLeakCheck::SetUp();
        m_source = CTestPushSource::Create({Yuy2()});
        m_sink = CTestSink::Create(MEDIATYPE_Video);
    }
    void TearDown() override
    {
        // Downstream first, as the graph stops filters.
        EXPECT_EQ(m_sink->Stop(), S_OK);
        EXPECT_EQ(m_source->Stop(), S_OK);
        m_source->Output()->Disconnect();
        m_sink->Input()->Disconnect();
        EXPECT_EQ(m_source->Release(), 0u);
        EXPECT_EQ(m_sink->Release(), 0u);
        TvLeakCheck::TearDown();
    }
    void Connect() { ASSERT_EQ(m_source->Output()->Connect(m_sink->Input(), nullptr), S_OK); }
    // Renderer first on the way up, as the graph does.
    void PauseBoth()
    {
        ASSERT_EQ(m_sink->Pause(), S_OK);
        ASSERT_EQ(m_source->Pause(), S_OK);
    }

    CTestPushSource* m_source = nullptr;
    CTestSink* m_sink = nullptr;
};

TEST_F(CoreFilter, StateChangesAndGetState)
{
    FILTER_STATE state = State_Running;
    EXPECT_EQ(m_sink->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);
    EXPECT_EQ(m_sink->GetState(0, nullptr), E_POINTER);
    EXPECT_TRUE(m_sink->IsStopped());

    // Unconnected pins take no part: the state still changes.
    EXPECT_EQ(m_sink->Run(5000), S_OK);
    EXPECT_EQ(m_sink->GetState(INFINITE, &state), S_OK);
    EXPECT_EQ(state, State_Running);
    EXPECT_TRUE(m_sink->IsActive());
    EXPECT_EQ(m_sink->Pause(), S_OK);
    EXPECT_EQ(m_sink->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Paused);
    EXPECT_EQ(m_sink->Stop(), S_OK);
    EXPECT_EQ(m_sink->Stop(), S_OK);
    EXPECT_EQ(m_sink->GetState(0, &state), S_OK);
    EXPECT_EQ(state, State_Stopped);

    CLSID clsid = GUID_NULL;
    EXPECT_EQ(m_sink->GetClassID(&clsid), S_OK);
    EXPECT_NE(clsid, GUID_NULL);
    EXPECT_EQ(m_sink->GetClassID(nullptr), E_POINTER);
    LPWSTR vendor = reinterpret_cast<LPWSTR>(1);
    EXPECT_EQ(m_sink->QueryVendorInfo(&vendor), E_NOTIMPL);
    EXPECT_EQ(vendor, nullptr);
}

TEST_F(CoreFilter, ConnectedOutputCommitsOnPauseAndDecommitsOnStop)
{
    Connect();
    IMemInputPin* input = nullptr;
    ASSERT_EQ(m_sink->Input()->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input)),
              S_OK);
    IMemAllocator* allocator = nullptr;
    ASSERT_EQ(input->GetAllocator(&allocator), S_OK);
    input->Release();
    IMediaSample* sample = nullptr;
    EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_NOT_COMMITTED);

    m_source->SetSamples({}, false);
    ASSERT_EQ(m_source->Pause(), S_OK);
    ASSERT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), S_OK);
    sample->Release();
    ASSERT_EQ(m_source->Stop(), S_OK);
    EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_NOT_COMMITTED);
    EXPECT_EQ(sample, nullptr);
    allocator->Release();
}

TEST_F(CoreFilter, ClockIsHeldAndStreamTimeCountsFromRun)
{
    CTestClock* clock = CTestClock::Create(1000000);
    CRefTime now;
    EXPECT_EQ(m_sink->StreamTime(now), VFW_E_NO_CLOCK);
    IReferenceClock* got = reinterpret_cast<IReferenceClock*>(1);
    EXPECT_EQ(m_sink->GetSyncSource(&got), S_OK);
    EXPECT_EQ(got, nullptr);

    EXPECT_EQ(m_sink->SetSyncSource(clock), S_OK);
    EXPECT_EQ(RefCount(clock), 2u);
    EXPECT_EQ(m_sink->GetSyncSource(&got), S_OK);
    EXPECT_EQ(got, static_cast<IReferenceClock*>(clock));
    EXPECT_EQ(RefCount(clock), 3u);
    got->Release();
    EXPECT_EQ(m_sink->GetSyncSource(nullptr), E_POINTER);

    ASSERT_EQ(m_sink->Run(400000), S_OK);
    ASSERT_EQ(m_sink->StreamTime(now), S_OK);
    EXPECT_EQ((REFERENCE_TIME)now, 600000);
    clock->Advance(250000);
    ASSERT_EQ(m_sink->StreamTime(now), S_OK);
    EXPECT_EQ((REFERENCE_TIME)now, 850000);

    // Streaming threads read the stream time while the application thread
    // may hold the filter lock (e.g. stopping and waiting for them).
    {
        CAMEvent done;
        HRESULT fromThread = E_FAIL;
        CRefTime seen;
        m_sink->pStateLock()->Lock();
        std::thread streaming([&] {
            fromThread = m_sink->StreamTime(seen);
            done.Set();
        });
        const bool finished = done.Wait(10000);
        m_sink->pStateLock()->Unlock();
        streaming.join();
        EXPECT_TRUE(finished) << "StreamTime waited for the filter lock";
        EXPECT_EQ(fromThread, S_OK);
        EXPECT_EQ((REFERENCE_TIME)seen, 850000);
    }

    EXPECT_EQ(m_sink->SetSyncSource(nullptr), S_OK);
    EXPECT_EQ(RefCount(clock), 1u);
    EXPECT_EQ(clock->Release(), 0u);
}

TEST_F(CoreFilter, JoiningAGraphKeepsNoReferenceAndEventsGoToItsSink)
{
    CTestGraph* graph = CTestGraph::Create();
    EXPECT_EQ(m_sink->NotifyEvent(EC_USER, 1, 2), E_NOTIMPL);
    ASSERT_EQ(m_sink->JoinFilterGraph(graph, L"Render"), S_OK);
    EXPECT_EQ(RefCount(static_cast<IFilterGraph*>(graph)), 1u);
    EXPECT_EQ(m_sink->GetFilterGraph(), static_cast<IFilterGraph*>(graph));

    FILTER_INFO info;
    ASSERT_EQ(m_sink->QueryFilterInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"Render");
    EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(graph));
    EXPECT_EQ(RefCount(static_cast<IFilterGraph*>(graph)), 2u);
    info.pGraph->Release();
    EXPECT_EQ(m_sink->QueryFilterInfo(nullptr), E_POINTER);

    EXPECT_EQ(m_sink->NotifyEvent(EC_USER + 5, 11, 22), S_OK);
    EXPECT_EQ(m_sink->NotifyEvent(EC_COMPLETE, S_OK, 0), S_OK);
    const std::vector<TvGraphEvent> events = graph->Events();
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].code, EC_USER + 5);
    EXPECT_EQ(events[0].param1, 11);
    EXPECT_EQ(events[0].param2, 22);
    // EC_COMPLETE names the filter that sends it.
    EXPECT_EQ(events[1].code, EC_COMPLETE);
    EXPECT_EQ(events[1].param2, (LONG_PTR) static_cast<IBaseFilter*>(m_sink));

    EXPECT_EQ(m_sink->ReconnectPin(m_sink->Input(), nullptr), S_OK);
    ASSERT_EQ(graph->Reconnects().size(), 1u);
    EXPECT_EQ(graph->Reconnects()[0], m_sink->Input());

    // Leaving the graph.
    ASSERT_EQ(m_sink->JoinFilterGraph(nullptr, nullptr), S_OK);
    ASSERT_EQ(m_sink->QueryFilterInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"");
    EXPECT_EQ(info.pGraph, nullptr);
    EXPECT_EQ(m_sink->NotifyEvent(EC_USER, 0, 0), E_NOTIMPL);
    EXPECT_EQ(m_sink->ReconnectPin(m_sink->Input(), nullptr), E_NOINTERFACE);
    EXPECT_EQ(graph->Release(), 0u);
}

TEST_F(CoreFilter, SamplesArriveWithTheirTimesFlagsAndBytesThenEndOfStream)
{
    Connect();
    TvTestSample untimed;
    untimed.length = 5;
    TvTestSample startOnly = TvTimedSample(700000, 0);
    startOnly.hasStop = false;
    startOnly.syncPoint = false;
    startOnly.discontinuity = true;
    m_source->SetSamples(
        {TvTimedSample(0, 400000), TvTimedSample(400000, 800000), untimed, startOnly});
    m_source->SetNewSegment(true, 5000000);
    PauseBoth();
    ASSERT_TRUE(m_sink->WaitForEndOfStream());

    const std::vector<TvStreamEvent> events = m_sink->Events();
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0].kind, TvStreamEvent::Kind::NewSegment);
    EXPECT_EQ(events[0].segmentStart, 0);
    EXPECT_EQ(events[0].segmentStop, 5000000);
    EXPECT_EQ(events[0].rate, 1.0);
    EXPECT_EQ(m_sink->InputPin()->CurrentStopTime(), 5000000);

    EXPECT_EQ(events[1].timeResult, S_OK);
    EXPECT_EQ(events[1].start, 0);
    EXPECT_EQ(events[1].stop, 400000);
    EXPECT_TRUE(events[1].syncPoint);
    EXPECT_FALSE(events[1].discontinuity);
    EXPECT_EQ(events[1].length, 16);
    EXPECT_EQ(events[1].bytes, std::vector<BYTE>(16, 0));
    EXPECT_EQ(events[2].start, 400000);
    EXPECT_EQ(events[2].bytes, std::vector<BYTE>(16, 1));

    EXPECT_EQ(events[3].timeResult, VFW_E_SAMPLE_TIME_NOT_SET);
    EXPECT_EQ(events[3].length, 5);
    EXPECT_EQ(events[3].bytes, std::vector<BYTE>(5, 2));

    EXPECT_EQ(events[4].timeResult, VFW_S_NO_STOP_TIME);
    EXPECT_EQ(events[4].start, 700000);
    EXPECT_EQ(events[4].stop, 700001);
    EXPECT_FALSE(events[4].syncPoint);
    EXPECT_TRUE(events[4].discontinuity);

    EXPECT_EQ(events[5].kind, TvStreamEvent::Kind::EndOfStream);
    EXPECT_TRUE(m_source->WaitUntilFinished());
    EXPECT_EQ(m_source->DeliverResults(), std::vector<HRESULT>(4, S_OK));
}

TEST_F(CoreFilter, ReceiveRefusesWhenStoppedAndAfterARunTimeError)
{
    Connect();
    // Only the source is paused: the sink refuses every sample.
    m_source->SetSamples({TvTimedSample(0, 1)}, false);
    ASSERT_EQ(m_source->Pause(), S_OK);
    ASSERT_TRUE(m_source->WaitUntilFinished());
    EXPECT_EQ(m_source->DeliverResults(), std::vector<HRESULT>{VFW_E_WRONG_STATE});
    EXPECT_EQ(m_sink->SampleCount(), 0u);
    ASSERT_EQ(m_source->Stop(), S_OK);

    // A sample announcing a type the sink refuses is a run-time error: the
    // sink ends the stream, tells the graph, and refuses what follows until
    // it is stopped or flushed.
    CTestGraph* graph = CTestGraph::Create();
    ASSERT_EQ(m_sink->JoinFilterGraph(graph, L"Sink"), S_OK);
    CMediaType audio(&MEDIATYPE_Audio);
    TvTestSample changed = TvTimedSample(0, 1);
    changed.type = &audio;
    m_source->SetSamples({changed, TvTimedSample(1, 2)}, false);
    PauseBoth();
    ASSERT_TRUE(m_source->WaitUntilFinished());
    EXPECT_EQ(m_source->DeliverResults(), std::vector<HRESULT>{VFW_E_INVALIDMEDIATYPE});
    EXPECT_EQ(m_sink->InputPin()->CheckStreaming(), VFW_E_RUNTIME_ERROR);
    ASSERT_TRUE(graph->WaitForEvent(EC_ERRORABORT));
    EXPECT_EQ(graph->Events()[0].param1, VFW_E_TYPE_NOT_ACCEPTED);
    EXPECT_EQ(m_sink->EventCount(TvStreamEvent::Kind::EndOfStream), 1u);
    EXPECT_EQ(m_sink->SampleCount(), 0u);

    ASSERT_EQ(m_sink->Input()->BeginFlush(), S_OK);
    EXPECT_EQ(m_sink->InputPin()->CheckStreaming(), S_FALSE);
    ASSERT_EQ(m_sink->Input()->EndFlush(), S_OK);
    EXPECT_EQ(m_sink->InputPin()->CheckStreaming(), S_OK);

    ASSERT_EQ(m_sink->Stop(), S_OK);
    ASSERT_EQ(m_source->Stop(), S_OK);
    ASSERT_EQ(m_sink->JoinFilterGraph(nullptr, nullptr), S_OK);
    EXPECT_EQ(graph->Release(), 0u);
}

TEST_F(CoreFilter, AcceptedTypeChangeReachesTheSink)
{
    Connect();
    CMediaType other =
        TvMakeVideoType(MEDIASUBTYPE_YUY2, 16, 16, 16, MAKEFOURCC('Y', 'U', 'Y', '2'));
    TvTestSample changed = TvTimedSample(0, 1);
    changed.type = &other;
    m_source->SetSamples({changed, TvTimedSample(1, 2)}, true);
    PauseBoth();
    ASSERT_TRUE(m_sink->WaitForEndOfStream());
    const std::vector<TvStreamEvent> samples = m_sink->Samples();
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_TRUE(samples[0].typeChanged);
    // The type goes with one sample only: its buffer came back cleared.
    EXPECT_FALSE(samples[1].typeChanged);
}

TEST_F(CoreFilter, StopWakesASourceBlockedForABuffer)
{
    // Two buffers, held by the sink: the third GetDeliveryBuffer blocks.
    m_source->SetAllocatorRequest(2, 64);
    Connect();
    m_sink->SetHoldSamples(true);
    m_source->SetSamples(
        {TvTimedSample(0, 1), TvTimedSample(1, 2), TvTimedSample(2, 3), TvTimedSample(3, 4)});
    PauseBoth();
    ASSERT_TRUE(m_sink->WaitForSamples(2));
    ASSERT_TRUE(m_source->WaitUntilWaitingForBuffer());
    EXPECT_EQ(m_sink->SampleCount(), 2u);

    // The graph stops the sink first: its pin decommits the shared allocator
    // and the source's thread gives up; then the source stops and joins it.
    ASSERT_EQ(m_sink->Stop(), S_OK);
    ASSERT_TRUE(m_source->WaitUntilFinished());
    EXPECT_EQ(m_source->LastBufferResult(), VFW_E_NOT_COMMITTED);
    ASSERT_EQ(m_source->Stop(), S_OK);
    EXPECT_EQ(m_sink->SampleCount(), 2u);
    EXPECT_EQ(m_sink->EventCount(TvStreamEvent::Kind::EndOfStream), 0u);
}

TEST_F(CoreFilter, ReleasedSamplesLetABlockedSourceGoOn)
{
    m_source->SetAllocatorRequest(1, 64);
    Connect();
    m_sink->SetHoldSamples(true);
    m_source->SetSamples({TvTimedSample(0, 1), TvTimedSample(1, 2), TvTimedSample(2, 3)});
    PauseBoth();
    ASSERT_TRUE(m_sink->WaitForSamples(1));
    ASSERT_TRUE(m_source->WaitUntilWaitingForBuffer());
    m_sink->SetHoldSamples(false);
    m_sink->ReleaseHeldSamples();
    ASSERT_TRUE(m_sink->WaitForEndOfStream());
    EXPECT_EQ(m_sink->SampleCount(), 3u);
}

TEST_F(CoreFilter, FlushingUnblocksAReceiveAndTheSourceStops)
{
    Connect();
    m_sink->SetBlockInReceive(true);
    m_source->SetSamples({TvTimedSample(0, 1), TvTimedSample(1, 2)});
    PauseBoth();
    ASSERT_TRUE(m_sink->WaitUntilBlocked());

    ASSERT_EQ(m_sink->Input()->BeginFlush(), S_OK);
    ASSERT_TRUE(m_source->WaitUntilFinished());
    // The blocked sample was refused once the flush began; nothing followed.
    EXPECT_EQ(m_source->DeliverResults(), std::vector<HRESULT>{S_FALSE});
    ASSERT_EQ(m_sink->Input()->EndFlush(), S_OK);
    const std::vector<TvStreamEvent> events = m_sink->Events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].kind, TvStreamEvent::Kind::Sample);
    EXPECT_EQ(events[1].kind, TvStreamEvent::Kind::BeginFlush);
    EXPECT_EQ(events[2].kind, TvStreamEvent::Kind::EndFlush);
}

TEST_F(CoreFilter, StopUnblocksAReceive)
{
    Connect();
    m_sink->SetBlockInReceive(true);
    m_source->SetSamples({TvTimedSample(0, 1), TvTimedSample(1, 2)});
    PauseBoth();
    ASSERT_TRUE(m_sink->WaitUntilBlocked());
    ASSERT_EQ(m_sink->Stop(), S_OK);
    ASSERT_EQ(m_source->Stop(), S_OK);
    EXPECT_EQ(m_source->DeliverResults(), std::vector<HRESULT>{S_FALSE});
}

TEST_F(CoreFilter, RunPausesFirstAndStateCyclesRestartStreaming)
{
    Connect();
    m_source->SetSamples({TvTimedSample(0, 1)});
    ASSERT_EQ(m_sink->Run(0), S_OK);
    ASSERT_EQ(m_source->Run(0), S_OK);
    ASSERT_TRUE(m_sink->WaitForEndOfStream());
    ASSERT_EQ(m_sink->Stop(), S_OK);
    ASSERT_EQ(m_source->Stop(), S_OK);
    m_sink->ClearEvents();
    // A second pause delivers again on a fresh streaming thread.
    PauseBoth();
    ASSERT_TRUE(m_sink->WaitForEndOfStream());
    EXPECT_EQ(m_sink->SampleCount(), 1u);
}

TEST_F(CoreFilter, QualityMessagesGoUpstreamOrToTheSink)
{
    Connect();
    Quality q{Famine, 800, 20000, 400000};
    // The test source's pin does not handle quality messages.
    EXPECT_EQ(m_sink->SendQuality(q), E_NOTIMPL);

    // An input pin passes a message it receives to its sink, else upstream.
    class CSinkRecorder : public CUnknown, public IQualityControl {
    public:
        CSinkRecorder() : CUnknown(NAME("Quality sink"), nullptr) {}
        DECLARE_IUNKNOWN
        STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override
        {
            if (riid == IID_IQualityControl)
                return GetInterface(static_cast<IQualityControl*>(this), ppv);
            return CUnknown::NonDelegatingQueryInterface(riid, ppv);
        }
        STDMETHODIMP Notify(IBaseFilter* pSelf, Quality quality) override
        {
            sender = pSelf;
            late = quality.Late;
            return S_OK;
        }
        STDMETHODIMP SetSink(IQualityControl*) override { return S_OK; }
        IBaseFilter* sender = nullptr;
        REFERENCE_TIME late = 0;
    };
    CSinkRecorder* recorder = new CSinkRecorder();
    recorder->AddRef();
    IQualityControl* inputQc = nullptr;
    ASSERT_EQ(
        m_sink->Input()->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&inputQc)),
        S_OK);
    EXPECT_EQ(inputQc->Notify(m_source, q), E_NOTIMPL); // upstream answers
    EXPECT_EQ(inputQc->Notify(nullptr, q), E_POINTER);
    ASSERT_EQ(inputQc->SetSink(recorder), S_OK);
    EXPECT_EQ(RefCount(recorder), 1u); // not held
    EXPECT_EQ(inputQc->Notify(m_source, q), S_OK);
    EXPECT_EQ(recorder->sender, static_cast<IBaseFilter*>(m_sink));
    EXPECT_EQ(recorder->late, 20000);
    ASSERT_EQ(inputQc->SetSink(nullptr), S_OK);
    inputQc->Release();
    EXPECT_EQ(recorder->Release(), 0u);
}

// A filter with two input pins whose activation the test can make fail.
class CTwoInputs : public CBaseFilter {
public:
    class CPin : public CBaseInputPin {
    public:
        CPin(CTwoInputs* filter, const wchar_t* name, HRESULT* phr)
            : CBaseInputPin(NAME("Two inputs pin"), filter, &filter->m_lock, phr, name)
        {
        }
        HRESULT CheckMediaType(const CMediaType*) override { return S_OK; }
        HRESULT Active() override
        {
            ++activated;
            return failActive ? E_OUTOFMEMORY : CBaseInputPin::Active();
        }
        HRESULT Inactive() override
        {
            ++deactivated;
            return CBaseInputPin::Inactive();
        }
        bool failActive = false;
        int activated = 0;
        int deactivated = 0;
    };

    CTwoInputs() : CBaseFilter(NAME("Two inputs"), nullptr, &m_lock, GUID_NULL)
    {
        HRESULT hr = S_OK;
        m_pins[0] = new CPin(this, L"In 1", &hr);
        m_pins[1] = new CPin(this, L"In 2", &hr);
    }
    ~CTwoInputs() override
    {
        delete m_pins[0];
        delete m_pins[1];
    }
    int GetPinCount() override { return 2; }
    CBasePin* GetPin(int n) override { return n >= 0 && n < 2 ? m_pins[n] : nullptr; }

    CCritSec m_lock;
    CPin* m_pins[2];
};

TEST_F(CoreFilter, AFailedPauseLeavesNoPinActive)
{
    CTwoInputs* filter = new CTwoInputs();
    filter->AddRef();
    CTestPushSource* second = CTestPushSource::Create({Yuy2()});
    ASSERT_EQ(m_source->Output()->Connect(filter->m_pins[0], nullptr), S_OK);
    ASSERT_EQ(second->Output()->Connect(filter->m_pins[1], nullptr), S_OK);
    filter->m_pins[1]->failActive = true;

    EXPECT_EQ(filter->Pause(), E_OUTOFMEMORY);
    EXPECT_TRUE(filter->IsStopped());
    EXPECT_EQ(filter->m_pins[0]->activated, 1);
    EXPECT_EQ(filter->m_pins[0]->deactivated, 1);
    EXPECT_EQ(filter->m_pins[1]->deactivated, 0);
    // Stopping a stopped filter does not visit the pins again.
    EXPECT_EQ(filter->Stop(), S_OK);
    EXPECT_EQ(filter->m_pins[0]->deactivated, 1);

    filter->m_pins[1]->failActive = false;
    EXPECT_EQ(filter->Pause(), S_OK);
    EXPECT_EQ(filter->Stop(), S_OK);
    EXPECT_EQ(filter->m_pins[0]->deactivated, 2);
    EXPECT_EQ(filter->m_pins[1]->deactivated, 1);

    second->Output()->Disconnect();
    filter->m_pins[1]->Disconnect();
    m_source->Output()->Disconnect();
    filter->m_pins[0]->Disconnect();
    EXPECT_EQ(second->Release(), 0u);
    EXPECT_EQ(filter->Release(), 0u);
}

TEST_F(CoreFilter, ReceiveCanBlockAndReceiveMultiple)
{
    Connect();
    IMemInputPin* input = nullptr;
    ASSERT_EQ(m_sink->Input()->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input)),
              S_OK);
    // A filter without outputs may block (it renders).
    EXPECT_EQ(input->ReceiveCanBlock(), S_OK);
    LONG done = 7;
    EXPECT_EQ(input->ReceiveMultiple(nullptr, 0, &done), S_OK);
    EXPECT_EQ(done, 0);
    EXPECT_EQ(input->ReceiveMultiple(nullptr, 1, &done), E_POINTER);
    EXPECT_EQ(input->ReceiveMultiple(nullptr, 0, nullptr), E_POINTER);
    EXPECT_EQ(input->Receive(nullptr), E_POINTER);
    ALLOCATOR_PROPERTIES props{};
    EXPECT_EQ(input->GetAllocatorRequirements(&props), E_NOTIMPL);

    ASSERT_EQ(m_sink->Pause(), S_OK);
    IMemAllocator* allocator = nullptr;
    ASSERT_EQ(input->GetAllocator(&allocator), S_OK);
    ASSERT_EQ(allocator->Commit(), S_OK);
    IMediaSample* samples[2] = {nullptr, nullptr};
    ASSERT_EQ(allocator->GetBuffer(&samples[0], nullptr, nullptr, 0), S_OK);
    ASSERT_EQ(allocator->GetBuffer(&samples[1], nullptr, nullptr, 0), S_OK);
    EXPECT_EQ(input->ReceiveMultiple(samples, 2, &done), S_OK);
    EXPECT_EQ(done, 2);
    EXPECT_EQ(m_sink->SampleCount(), 2u);
    ASSERT_EQ(m_sink->Input()->BeginFlush(), S_OK);
    EXPECT_EQ(input->ReceiveMultiple(samples, 2, &done), S_FALSE);
    EXPECT_EQ(done, 0);
    ASSERT_EQ(m_sink->Input()->EndFlush(), S_OK);
    samples[0]->Release();
    samples[1]->Release();
    allocator->Release();
    input->Release();
}

} // namespace
