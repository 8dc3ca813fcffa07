// TvHarness: one filter under test, with the kit's filters around it.
//
// The harness wraps one filter (given, or created by CLSID through the build
// registry), connects a CTestPushSource to an input pin and a recording
// CTestSink to each output pin the test names, with the media types the test
// gives, and drives them all:
//
//   TvHarness h(CLSID_SomeFilter, L"Some Filter");
//   ASSERT_EQ(h.Result(), S_OK);
//   ASSERT_EQ(h.ConnectInput(TvMakeYuy2Type(16, 16)), S_OK);
//   ASSERT_EQ(h.ConnectOutput(L"Output"), S_OK);
//   ASSERT_EQ(h.UseTestClock(), S_OK);  // h.Clock()->SetTime(...)
//   h.Pause(); h.Run();
//   h.Push(bytes, &start, &stop);        // into the input, on this thread
//   h.PushEndOfStream();
//   std::optional<TvStreamEvent> out = h.Pull(L"Output");
//
// Two settings:
//   TestGraph    the filter joins a CTestGraph (recording the events it
//                sends) and the harness changes the states itself, downstream
//                first as the graph manager does: sinks, filter, source.
//   FilterGraph  the filter, the source and the sinks are added to the real
//                graph manager (TvFilterGraph), connected by ConnectDirect and
//                driven through its IMediaControl; the graph picks the clock
//                unless UseTestClock gives one. For integration tests.
//
// Threads. Everything here is called on the test thread, except the readers
// of the source and sinks (any thread). Push* run the filter's input on the
// calling thread, as an upstream streaming thread would, and block where the
// filter blocks: push from PushAsync (a thread of its own) when the filter
// may hold the sample (a renderer waiting for its time, a full queue). What
// the filter delivers reaches the sinks on whichever thread delivers it (the
// pushing thread through a transform, the filter's own streaming thread from
// a source or a queue), and they record it; Pull and WaitForSamples wait for
// it with a time-out that is only a safety net against a hung test.
//
// Ownership. The harness holds one reference on the filter, the source, each
// sink, the clock and the graph, and a reference on every pin Pin() returned.
// The destructor stops everything, disconnects, leaves the graph and releases
// them; it expects the objects it created to go with its last reference (a
// filter given to it stays the caller's). Use it inside TvHarnessTest (or
// destroy it before a TvLeakCheck's TearDown) so that a leak fails the test.
#pragma once

#include <future>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <streams.h>

#include "CTestClock.h"
#include "CTestGraph.h"
#include "CTestPushSource.h"
#include "CTestSink.h"
#include "TvFilterGraph.h"
#include "TvLeakCheck.h"

class TvHarness {
public:
    enum class Setting { TestGraph, FilterGraph };

    // Wraps the filter (add-referenced) and puts it in the graph under name.
    TvHarness(IBaseFilter* filter, const wchar_t* name, Setting setting = Setting::TestGraph);
    // Creates the filter by class id through the registry.
    TvHarness(REFCLSID clsid, const wchar_t* name, Setting setting = Setting::TestGraph);
    ~TvHarness();
    TvHarness(const TvHarness&) = delete;
    TvHarness& operator=(const TvHarness&) = delete;

    // S_OK, or the first failure of the construction (creating the filter or
    // the graph, joining it).
    HRESULT Result() const { return m_result; }
    // The filter (not add-referenced).
    IBaseFilter* Filter() const { return m_filter; }
    // The filter's pin of that direction and name (the first of the
    // direction when name is null). Held until the harness goes (not
    // add-referenced for the caller); null when there is none.
    IPin* Pin(const wchar_t* name, PIN_DIRECTION direction = PINDIR_INPUT);

    // ---- Input ----

    // Connects a push source offering `type` to the filter's input pin
    // (the first when pin is null); the source asks its allocator for
    // `buffers` buffers of bufferSize bytes (0: the type's sample size, at
    // least 4096). Its streaming thread stays off: the test pushes. On a
    // failure nothing stays connected.
    HRESULT ConnectInput(const CMediaType& type, const wchar_t* pin = nullptr, LONG buffers = 2,
                         LONG bufferSize = 0);
    // Stops the source, disconnects it from the filter and releases it, so
    // that ConnectInput may connect another (call with the filter stopped).
    void DisconnectInput();
    // Null before ConnectInput.
    CTestPushSource* Source() const { return m_source; }

    // ---- Outputs ----

    // Connects a recording sink to the filter's output pin (the first when
    // pin is null) with `type` (null: the type the pins agree on; the sink
    // accepts any). The sink keeps every byte it receives. On a failure no
    // sink stays.
    HRESULT ConnectOutput(const wchar_t* pin = nullptr, const CMediaType* type = nullptr);
    // The sink on that output (the first connected when pin is null); null
    // when none.
    CTestSink* Sink(const wchar_t* pin = nullptr) const;

    // ---- Clock ----

    // A test clock at `start` as every filter's reference clock (in the
    // FilterGraph setting: the graph's clock; one clock for the harness's
    // life, Clock() below); the first SetSyncSource failure, or S_OK. Sources
    // and sinks connected later get it too.
    HRESULT UseTestClock(REFERENCE_TIME start = 0);
    // Null before UseTestClock.
    CTestClock* Clock() const { return m_clock; }

    // ---- States ----
    // The filter's answer (FilterGraph: IMediaControl's), or the failure of
    // a kit filter when the filter succeeded.

    HRESULT Pause();
    HRESULT Run(REFERENCE_TIME start = 0);
    HRESULT Stop();

    // ---- Pushing into the input (see CTestPushSource::Deliver*) ----

    HRESULT Push(const TvTestSample& sample);
    HRESULT Push(const std::vector<uint8_t>& bytes, const REFERENCE_TIME* start = nullptr,
                 const REFERENCE_TIME* stop = nullptr);
    std::future<HRESULT> PushAsync(TvTestSample sample);
    HRESULT PushEndOfStream();
    HRESULT PushBeginFlush();
    HRESULT PushEndFlush();
    HRESULT PushNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate = 1.0);

    // ---- Pulling what came out ----

    // The next sample on that output not pulled before, waiting up to
    // timeoutMs for it; nothing when none came.
    std::optional<TvStreamEvent> Pull(const wchar_t* pin = nullptr, DWORD timeoutMs = 10000);
    bool WaitForSamples(size_t n, const wchar_t* pin = nullptr, DWORD timeoutMs = 10000);

    // ---- The graph ----

    // The stand-in (TestGraph setting), else null.
    CTestGraph* TestGraph() const { return m_testGraph; }
    // The graph manager (FilterGraph setting), else null.
    TvFilterGraph* Graph() { return m_setting == Setting::FilterGraph ? &m_graph : nullptr; }

private:
    struct Output {
        std::wstring pin; // the filter's output pin
        IPin* filterPin = nullptr;
        CTestSink* sink = nullptr;
    };

    void Join(const wchar_t* name);
    HRESULT ChangeState(HRESULT (*change)(IBaseFilter*, REFERENCE_TIME), REFERENCE_TIME start);
    HRESULT AddToGraph(IBaseFilter* filter, const std::wstring& name);

    const Setting m_setting;
    HRESULT m_result = S_OK;
    bool m_created = false; // the harness created the filter
    IBaseFilter* m_filter = nullptr;
    CTestGraph* m_testGraph = nullptr;
    TvFilterGraph m_graph;
    CTestPushSource* m_source = nullptr;
    IPin* m_inputPin = nullptr; // the filter's pin the source feeds (in m_pins)
    std::vector<Output> m_outputs;
    CTestClock* m_clock = nullptr;
    std::vector<IPin*> m_pins; // every pin Pin() handed out, held
};

// A fixture for filter tests: COM on the test thread, the harness the test
// makes with Wrap, destroyed in TearDown before the leak check.
class TvHarnessTest : public TvComTest {
protected:
    void TearDown() override;

    TvHarness& Wrap(REFCLSID clsid, const wchar_t* name,
                    TvHarness::Setting setting = TvHarness::Setting::TestGraph);
    TvHarness& Wrap(IBaseFilter* filter, const wchar_t* name,
                    TvHarness::Setting setting = TvHarness::Setting::TestGraph);

    std::unique_ptr<TvHarness> m_harness;
};
