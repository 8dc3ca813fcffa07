// The filter graph manager (CLSID_FilterGraph).
//
// One COM object made of parts (see GraphPart.h). CFilterGraph owns the graph
// lock, the filter list and the parts, answers QueryInterface for all of them
// and takes the graph apart when it is released.
//
// Locks. The graph lock (recursive) guards the filter list, the graph state and
// the clock; application calls take it. It is never taken on a streaming
// thread: the events part has its own lock, and filters reach the graph from
// their streaming threads only through IMediaEventSink::Notify. While the graph
// lock is held the graph calls into filters (state changes, connections), as
// DirectShow does; a filter must therefore not wait, inside those calls, for a
// thread of its own that is calling a graph method other than Notify.
#pragma once

#include <mutex>

#include "FilterList.h"
#include "GraphBuilder.h"
#include "GraphControl.h"
#include "GraphEvents.h"
#include "GraphSeeking.h"
#include "RendererForward.h"

class CFilterGraph : public CUnknown {
public:
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv) override;

    // Where the parts send their IUnknown calls.
    IUnknown* Owner() const { return GetOwner(); }
    // The graph as filters see it (JoinFilterGraph, IStreamBuilder::Render).
    IFilterGraph* AsFilterGraph() { return &m_builder; }
    IGraphBuilder* AsGraphBuilder() { return &m_builder; }

    std::recursive_mutex& Lock() { return m_lock; }
    // guarded by Lock()
    CFilterList& Filters() { return m_filters; }

    CGraphBuilder& Builder() { return m_builder; }
    CGraphControl& Control() { return m_control; }
    CGraphEvents& Events() { return m_events; }
    CGraphSeeking& Seeking() { return m_seeking; }
    CFrameStepForward& FrameStep() { return m_frameStep; }

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    CFilterGraph(LPUNKNOWN outer, HRESULT* phr);
    ~CFilterGraph() override;

    std::recursive_mutex m_lock;
    CFilterList m_filters; // guarded by m_lock

    CGraphBuilder m_builder;
    CGraphControl m_control;
    CGraphEvents m_events;
    CGraphSeeking m_seeking;
    CVideoWindowForward m_videoWindow;
    CBasicVideoForward m_basicVideo;
    CBasicAudioForward m_basicAudio;
    CFrameStepForward m_frameStep;
};
