// TvFilterGraph: the real filter graph manager, created through the build
// registry (CLSID_FilterGraph), with the control interfaces a test or a
// benchmark drives it by.
//
// Threads: the test thread (the graph manager's own rules hold: no calls
// from a streaming thread). COM is initialised on that thread by the caller.
// Ownership: the object holds one reference on the graph manager and on each
// interface it took; Close (or the destructor) releases them, and the graph
// manager releases the filters added to it as it goes.
#pragma once

#include <streams.h>

class TvFilterGraph {
public:
    TvFilterGraph() = default;
    ~TvFilterGraph();
    TvFilterGraph(const TvFilterGraph&) = delete;
    TvFilterGraph& operator=(const TvFilterGraph&) = delete;

    // Creates the graph manager and takes IMediaControl, IMediaEventEx and
    // IMediaFilter from it; the first failure.
    HRESULT Create();
    // Not add-referenced; null before Create and after Close.
    IGraphBuilder* Builder() const { return m_builder; }
    IMediaControl* Control() const { return m_control; }
    IMediaEventEx* Events() const { return m_events; }
    IMediaFilter* MediaFilter() const { return m_mediaFilter; }

    // IFilterGraph::AddFilter.
    HRESULT Add(IBaseFilter* filter, const wchar_t* name);
    // ConnectDirect from `from`'s output pin named outPin to `to`'s input pin
    // named inPin (the first pin of that direction when a name is null);
    // VFW_E_NOT_FOUND when a pin is missing.
    HRESULT Connect(IBaseFilter* from, const wchar_t* outPin, IBaseFilter* to, const wchar_t* inPin,
                    const AM_MEDIA_TYPE* type = nullptr);
    // The next event's code, waiting up to timeoutMs; 0 when none came. Its
    // parameters are copied out when asked for, then freed.
    LONG NextEvent(DWORD timeoutMs = 0, LONG_PTR* param1 = nullptr, LONG_PTR* param2 = nullptr);

    // Releases everything this object holds; the graph manager's reference
    // count after its last release here (0: the graph is gone).
    ULONG Close();

private:
    IGraphBuilder* m_builder = nullptr;
    IMediaControl* m_control = nullptr;
    IMediaEventEx* m_events = nullptr;
    IMediaFilter* m_mediaFilter = nullptr;
};
