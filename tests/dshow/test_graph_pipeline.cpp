// The graph manager driving filters built on the base classes: a CSource
// source whose streaming thread delivers samples, a sink on CBaseFilter and
// CBaseInputPin that reports EC_COMPLETE at end of stream (from the streaming
// thread).
#include <streams.h>

#include "GraphTestFilters.h"

namespace {

class CPipeStream : public CSourceStream {
public:
    CPipeStream(HRESULT* phr, CSource* filter, int count)
        : CSourceStream("pipe stream", phr, filter, L"Out"), m_count(count)
    {
    }

protected:
    HRESULT GetMediaType(CMediaType* pMediaType) override
    {
        pMediaType->SetType(&MEDIATYPE_Video);
        pMediaType->SetSubtype(&MEDIASUBTYPE_YUY2);
        return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest) override
    {
        pRequest->cBuffers = 2;
        pRequest->cbBuffer = 1024;
        ALLOCATOR_PROPERTIES actual{};
        return pAlloc->SetProperties(pRequest, &actual);
    }
    HRESULT OnThreadStartPlay() override
    {
        m_sent = 0;
        return S_OK;
    }
    HRESULT FillBuffer(IMediaSample* pSample) override
    {
        if (m_sent == m_count)
            return S_FALSE;
        REFERENCE_TIME start = m_sent * 400000LL;
        REFERENCE_TIME stop = start + 400000;
        pSample->SetTime(&start, &stop);
        pSample->SetActualDataLength(16);
        ++m_sent;
        return S_OK;
    }

private:
    const int m_count;
    int m_sent = 0; // streaming thread
};

class CPipeSource : public CSource {
public:
    CPipeSource(HRESULT* phr, int count) : CSource("pipe source", nullptr, GUID_NULL, phr)
    {
        new CPipeStream(phr, this, count);
    }
};

class CPipeSink;

class CPipeSinkPin : public CBaseInputPin {
public:
    CPipeSinkPin(CPipeSink* filter, CCritSec* lock, HRESULT* phr);

    HRESULT CheckMediaType(const CMediaType* pmt) override
    {
        return IsEqualGUID(pmt->majortype, MEDIATYPE_Video) ? S_OK : S_FALSE;
    }
    STDMETHODIMP Receive(IMediaSample* pSample) override
    {
        const HRESULT hr = CBaseInputPin::Receive(pSample);
        if (hr == S_OK)
            ++m_received;
        return hr;
    }
    STDMETHODIMP EndOfStream() override;

    std::atomic<int> m_received{0};

private:
    CPipeSink* const m_sink;
};

class CPipeSink : public CBaseFilter {
public:
    explicit CPipeSink(HRESULT* phr)
        : CBaseFilter("pipe sink", nullptr, &m_lock, GUID_NULL, phr), m_pin(this, &m_lock, phr)
    {
    }
    int GetPinCount() override { return 1; }
    CBasePin* GetPin(int n) override { return n == 0 ? &m_pin : nullptr; }

    CCritSec m_lock;
    CPipeSinkPin m_pin;
};

CPipeSinkPin::CPipeSinkPin(CPipeSink* filter, CCritSec* lock, HRESULT* phr)
    : CBaseInputPin("pipe sink pin", filter, lock, phr, L"In"), m_sink(filter)
{
}

STDMETHODIMP CPipeSinkPin::EndOfStream()
{
    // The base fills in the filter as the event's second parameter.
    return m_sink->NotifyEvent(EC_COMPLETE, S_OK, 0);
}

class GraphPipelineTest : public GraphTest {
protected:
    void SetUp() override
    {
        GraphTest::SetUp();
        OpenGraph();
        HRESULT hr = S_OK;
        m_source = new CPipeSource(&hr, 10);
        m_source->AddRef();
        m_sink = new CPipeSink(&hr);
        m_sink->AddRef();
        ASSERT_EQ(S_OK, hr);
        ASSERT_EQ(S_OK, m_graph->AddFilter(m_source, L"Source"));
        ASSERT_EQ(S_OK, m_graph->AddFilter(m_sink, L"Sink"));
    }
    void TearDown() override
    {
        CloseGraph();
        EXPECT_EQ(0u, m_source->Release());
        EXPECT_EQ(0u, m_sink->Release());
        GraphTest::TearDown();
    }
    // Waits (generously) for the next event.
    LONG WaitEvent(LONG_PTR* p2 = nullptr) { return m_fg.NextEvent(10000, nullptr, p2); }

    CPipeSource* m_source = nullptr;
    CPipeSink* m_sink = nullptr;
};

TEST_F(GraphPipelineTest, SamplesFlowAndTheEndIsReportedOnce)
{
    // Rendered through the filters already in the graph.
    ASSERT_EQ(S_OK, m_graph->Render(m_source->GetPin(0)));
    ASSERT_TRUE(m_sink->m_pin.IsConnected());

    ASSERT_TRUE(SUCCEEDED(m_control->Run()));
    LONG_PTR p2 = -1;
    EXPECT_EQ(EC_COMPLETE, WaitEvent(&p2));
    EXPECT_EQ(0, p2);
    EXPECT_EQ(10, m_sink->m_pin.m_received.load());
    // Both filters run on the graph's clock.
    IReferenceClock* clock = nullptr;
    IReferenceClock* graphClock = nullptr;
    IMediaFilter* graphFilter = Query<IMediaFilter>(m_graph, IID_IMediaFilter);
    graphFilter->GetSyncSource(&graphClock);
    m_sink->GetSyncSource(&clock);
    EXPECT_NE(nullptr, graphClock);
    EXPECT_EQ(graphClock, clock);
    clock->Release();
    graphClock->Release();
    graphFilter->Release();

    // Again from the start.
    EXPECT_EQ(S_OK, m_control->Stop());
    ASSERT_TRUE(SUCCEEDED(m_control->Run()));
    EXPECT_EQ(EC_COMPLETE, WaitEvent());
    EXPECT_EQ(20, m_sink->m_pin.m_received.load());
    EXPECT_EQ(S_OK, m_control->Stop());

    LONG code = 0;
    LONG_PTR p1 = 0;
    EXPECT_EQ(E_ABORT, m_events->GetEvent(&code, &p1, &p2, 0));
}

TEST_F(GraphPipelineTest, StopWhileStreamingAndRemoveConnected)
{
    ASSERT_EQ(S_OK, m_graph->ConnectDirect(m_source->GetPin(0), m_sink->GetPin(0), nullptr));
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(SUCCEEDED(m_control->Run()));
        ASSERT_EQ(S_OK, m_control->Stop());
    }
    ASSERT_TRUE(SUCCEEDED(m_control->Pause()));
    OAFilterState state = -1;
    EXPECT_TRUE(SUCCEEDED(m_control->GetState(1000, &state)));
    EXPECT_EQ(State_Paused, state);
    // A connected filter cannot leave a paused graph: the source's pin would
    // not let go of it.
    EXPECT_EQ(VFW_E_NOT_STOPPED, m_graph->RemoveFilter(m_sink));
    EXPECT_TRUE(m_source->GetPin(0)->IsConnected());
    EXPECT_EQ(S_OK, m_control->Stop());
    EXPECT_EQ(S_OK, m_graph->RemoveFilter(m_sink));
    EXPECT_FALSE(m_sink->m_pin.IsConnected());
    EXPECT_FALSE(m_source->GetPin(0)->IsConnected());
}

} // namespace
