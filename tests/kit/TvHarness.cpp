// TvHarness: one filter under test with a push source, recording sinks, a
// test clock and a graph around it.
#include "TvHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "TvInterfaces.h"

TvHarness::TvHarness(IBaseFilter* filter, const wchar_t* name, Setting setting)
    : m_setting(setting), m_filter(filter)
{
    if (!m_filter) {
        m_result = E_POINTER;
        return;
    }
    m_filter->AddRef();
    Join(name);
}

TvHarness::TvHarness(REFCLSID clsid, const wchar_t* name, Setting setting) : m_setting(setting)
{
    m_result = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                reinterpret_cast<void**>(&m_filter));
    if (FAILED(m_result)) {
        m_filter = nullptr;
        return;
    }
    m_created = true;
    Join(name);
}

void TvHarness::Join(const wchar_t* name)
{
    if (m_setting == Setting::FilterGraph) {
        m_result = m_graph.Create();
        if (SUCCEEDED(m_result))
            m_result = m_graph.Add(m_filter, name);
        return;
    }
    m_testGraph = CTestGraph::Create();
    m_result = m_filter->JoinFilterGraph(m_testGraph, name);
}

HRESULT TvHarness::AddToGraph(IBaseFilter* filter, const std::wstring& name)
{
    return m_setting == Setting::FilterGraph ? m_graph.Add(filter, name.c_str()) : S_OK;
}

TvHarness::~TvHarness()
{
    if (m_setting == Setting::FilterGraph) {
        // The graph manager stops, disconnects and releases its filters.
        if (m_graph.Control()) {
            EXPECT_EQ(m_graph.Control()->Stop(), S_OK);
        }
    } else if (m_filter) {
        Stop();
        if (m_source) {
            m_source->Output()->Disconnect();
            m_inputPin->Disconnect();
        }
        for (Output& output : m_outputs) {
            output.filterPin->Disconnect();
            output.sink->Input()->Disconnect();
        }
        // The clock was the harness's to give; a filter given to the
        // harness outlives it.
        if (m_clock)
            m_filter->SetSyncSource(nullptr);
        m_filter->JoinFilterGraph(nullptr, nullptr);
    }
    for (IPin* pin : m_pins)
        pin->Release();
    if (m_setting == Setting::FilterGraph) {
        EXPECT_EQ(m_graph.Close(), 0u) << "the graph manager outlived the harness";
    }
    if (m_filter) {
        const ULONG left = m_filter->Release();
        if (m_created) {
            EXPECT_EQ(left, 0u) << "the filter under test outlived the harness";
        }
    }
    if (m_source) {
        EXPECT_EQ(m_source->Release(), 0u) << "the push source outlived the harness";
    }
    for (Output& output : m_outputs) {
        EXPECT_EQ(output.sink->Release(), 0u) << "a sink outlived the harness";
    }
    if (m_clock) {
        EXPECT_EQ(m_clock->Release(), 0u) << "the test clock outlived the harness";
    }
    if (m_testGraph) {
        EXPECT_EQ(m_testGraph->Release(), 0u) << "the stand-in graph outlived the harness";
    }
}

IPin* TvHarness::Pin(const wchar_t* name, PIN_DIRECTION direction)
{
    if (!m_filter)
        return nullptr;
    IPin* pin = FindPin(m_filter, direction, name);
    if (!pin)
        return nullptr;
    if (std::find(m_pins.begin(), m_pins.end(), pin) != m_pins.end()) {
        pin->Release();
        return pin;
    }
    m_pins.push_back(pin);
    return pin;
}

HRESULT TvHarness::ConnectInput(const CMediaType& type, const wchar_t* pin, LONG buffers,
                                LONG bufferSize)
{
    if (!m_filter || m_source)
        return E_UNEXPECTED;
    m_inputPin = Pin(pin, PINDIR_INPUT);
    if (!m_inputPin)
        return VFW_E_NOT_FOUND;
    HRESULT hr = S_OK;
    m_source = CTestPushSource::Create({type}, &hr);
    if (FAILED(hr))
        return hr;
    m_source->UseOwnThread(false);
    // Quality messages are taken (recorded), as an upstream filter would.
    m_source->SetQualityAnswer(S_OK);
    if (bufferSize == 0)
        bufferSize = LONG(std::max<ULONG>(type.GetSampleSize(), 4096));
    m_source->SetAllocatorRequest(buffers, bufferSize);
    if (m_clock)
        m_source->SetSyncSource(m_clock);
    if (m_setting == Setting::FilterGraph) {
        hr = AddToGraph(m_source, L"Source");
        if (SUCCEEDED(hr))
            hr = m_graph.Builder()->ConnectDirect(m_source->Output(), m_inputPin, &type);
    } else {
        hr = m_source->Output()->Connect(m_inputPin, &type);
    }
    if (FAILED(hr))
        DisconnectInput();
    return hr;
}

void TvHarness::DisconnectInput()
{
    if (!m_source)
        return;
    m_source->Stop();
    if (m_setting == Setting::FilterGraph) {
        m_graph.Builder()->RemoveFilter(m_source);
    } else {
        m_source->Output()->Disconnect();
        m_inputPin->Disconnect();
    }
    EXPECT_EQ(m_source->Release(), 0u) << "the push source outlived its connection";
    m_source = nullptr;
}

HRESULT TvHarness::ConnectOutput(const wchar_t* pin, const CMediaType* type)
{
    if (!m_filter)
        return E_UNEXPECTED;
    IPin* filterPin = Pin(pin, PINDIR_OUTPUT);
    if (!filterPin)
        return VFW_E_NOT_FOUND;
    PIN_INFO info{};
    filterPin->QueryPinInfo(&info);
    if (info.pFilter)
        info.pFilter->Release();
    HRESULT hr = S_OK;
    CTestSink* sink = CTestSink::Create(GUID_NULL, &hr);
    if (FAILED(hr)) {
        sink->Release();
        return hr;
    }
    sink->SetKeepBytes(SIZE_MAX);
    if (m_clock)
        sink->SetSyncSource(m_clock);
    if (m_setting == Setting::FilterGraph) {
        hr = AddToGraph(sink, std::wstring(L"Sink of ") + info.achName);
        if (SUCCEEDED(hr))
            hr = m_graph.Builder()->ConnectDirect(filterPin, sink->Input(), type);
        if (FAILED(hr))
            m_graph.Builder()->RemoveFilter(sink);
    } else {
        hr = filterPin->Connect(sink->Input(), type);
    }
    if (FAILED(hr)) {
        sink->Release();
        return hr;
    }
    m_outputs.push_back(Output{info.achName, filterPin, sink});
    return hr;
}

CTestSink* TvHarness::Sink(const wchar_t* pin) const
{
    for (const Output& output : m_outputs) {
        if (!pin || output.pin == pin)
            return output.sink;
    }
    return nullptr;
}

HRESULT TvHarness::UseTestClock(REFERENCE_TIME start)
{
    if (!m_clock)
        m_clock = CTestClock::Create(start);
    if (m_setting == Setting::FilterGraph)
        return m_graph.MediaFilter() ? m_graph.MediaFilter()->SetSyncSource(m_clock) : E_UNEXPECTED;
    HRESULT hr = m_filter ? m_filter->SetSyncSource(m_clock) : E_UNEXPECTED;
    const auto keep = [&hr](HRESULT next) {
        if (SUCCEEDED(hr))
            hr = next;
    };
    if (m_source)
        keep(m_source->SetSyncSource(m_clock));
    for (Output& output : m_outputs)
        keep(output.sink->SetSyncSource(m_clock));
    return hr;
}

HRESULT TvHarness::ChangeState(HRESULT (*change)(IBaseFilter*, REFERENCE_TIME),
                               REFERENCE_TIME start)
{
    // Downstream first, as the graph manager orders every transition. The
    // answer is the filter's own (S_FALSE: a renderer still cueing), unless a
    // kit filter failed.
    HRESULT kitFailure = S_OK;
    for (Output& output : m_outputs) {
        const HRESULT hr = change(output.sink, start);
        if (FAILED(hr) && SUCCEEDED(kitFailure))
            kitFailure = hr;
    }
    const HRESULT hr = m_filter ? change(m_filter, start) : E_UNEXPECTED;
    if (m_source) {
        const HRESULT sourceHr = change(m_source, start);
        if (FAILED(sourceHr) && SUCCEEDED(kitFailure))
            kitFailure = sourceHr;
    }
    return FAILED(hr) || SUCCEEDED(kitFailure) ? hr : kitFailure;
}

HRESULT TvHarness::Pause()
{
    if (m_setting == Setting::FilterGraph)
        return m_graph.Control() ? m_graph.Control()->Pause() : E_UNEXPECTED;
    return ChangeState([](IBaseFilter* f, REFERENCE_TIME) { return f->Pause(); }, 0);
}

HRESULT TvHarness::Run(REFERENCE_TIME start)
{
    if (m_setting == Setting::FilterGraph)
        return m_graph.Control() ? m_graph.Control()->Run() : E_UNEXPECTED;
    return ChangeState([](IBaseFilter* f, REFERENCE_TIME t) { return f->Run(t); }, start);
}

HRESULT TvHarness::Stop()
{
    if (m_setting == Setting::FilterGraph)
        return m_graph.Control() ? m_graph.Control()->Stop() : E_UNEXPECTED;
    return ChangeState([](IBaseFilter* f, REFERENCE_TIME) { return f->Stop(); }, 0);
}

HRESULT TvHarness::Push(const TvTestSample& sample)
{
    return m_source ? m_source->Deliver(sample) : VFW_E_NOT_CONNECTED;
}

HRESULT TvHarness::Push(const std::vector<uint8_t>& bytes, const REFERENCE_TIME* start,
                        const REFERENCE_TIME* stop)
{
    return m_source ? m_source->Deliver(bytes, start, stop) : VFW_E_NOT_CONNECTED;
}

std::future<HRESULT> TvHarness::PushAsync(TvTestSample sample)
{
    if (!m_source) {
        std::promise<HRESULT> none;
        none.set_value(VFW_E_NOT_CONNECTED);
        return none.get_future();
    }
    return m_source->DeliverAsync(std::move(sample));
}

HRESULT TvHarness::PushEndOfStream()
{
    return m_source ? m_source->DeliverEndOfStream() : VFW_E_NOT_CONNECTED;
}

HRESULT TvHarness::PushBeginFlush()
{
    return m_source ? m_source->DeliverBeginFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT TvHarness::PushEndFlush()
{
    return m_source ? m_source->DeliverEndFlush() : VFW_E_NOT_CONNECTED;
}

HRESULT TvHarness::PushNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate)
{
    return m_source ? m_source->DeliverNewSegment(start, stop, rate) : VFW_E_NOT_CONNECTED;
}

std::optional<TvStreamEvent> TvHarness::Pull(const wchar_t* pin, DWORD timeoutMs)
{
    CTestSink* sink = Sink(pin);
    return sink ? sink->PullSample(timeoutMs) : std::nullopt;
}

bool TvHarness::WaitForSamples(size_t n, const wchar_t* pin, DWORD timeoutMs)
{
    CTestSink* sink = Sink(pin);
    return sink && sink->WaitForSamples(n, timeoutMs);
}

// ---- TvHarnessTest ----

void TvHarnessTest::TearDown()
{
    m_harness.reset();
    TvComTest::TearDown();
}

TvHarness& TvHarnessTest::Wrap(REFCLSID clsid, const wchar_t* name, TvHarness::Setting setting)
{
    m_harness = std::make_unique<TvHarness>(clsid, name, setting);
    return *m_harness;
}

TvHarness& TvHarnessTest::Wrap(IBaseFilter* filter, const wchar_t* name, TvHarness::Setting setting)
{
    m_harness = std::make_unique<TvHarness>(filter, name, setting);
    return *m_harness;
}
