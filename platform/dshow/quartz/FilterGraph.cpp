#include "FilterGraph.h"

#include "QuartzTrace.h"

CFilterGraph::CFilterGraph(LPUNKNOWN outer, HRESULT* phr)
    : CUnknown("Filter graph", outer, phr), m_builder(*this), m_control(*this), m_events(*this),
      m_seeking(*this), m_videoWindow(*this), m_basicVideo(*this), m_basicAudio(*this),
      m_frameStep(*this)
{
    if (phr && !m_events.Ready())
        *phr = E_OUTOFMEMORY;
    QUARTZ_TRACE("graph %p created", static_cast<void*>(this));
}

CFilterGraph::~CFilterGraph()
{
    // Filters may call back (QueryInterface, Notify) while they are stopped,
    // disconnected and released here; the parts are still whole until the
    // body ends. The step worker goes first: it takes the graph lock.
    m_frameStep.Shutdown();
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    m_control.Shutdown();
    m_builder.RemoveAll();
    QUARTZ_TRACE("graph %p destroyed", static_cast<void*>(this));
}

STDMETHODIMP CFilterGraph::NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IFilterGraph)
        return GetInterface(static_cast<IFilterGraph*>(&m_builder), ppv);
    if (riid == IID_IGraphBuilder)
        return GetInterface(static_cast<IGraphBuilder*>(&m_builder), ppv);
    if (riid == IID_IMediaControl || riid == IID_IDispatch)
        return GetInterface(static_cast<IMediaControl*>(&m_control), ppv);
    if (riid == IID_IMediaFilter || riid == IID_IPersist)
        return GetInterface(static_cast<IMediaFilter*>(&m_control), ppv);
    if (riid == IID_IMediaEventEx || riid == IID_IMediaEvent)
        return GetInterface(static_cast<IMediaEventEx*>(&m_events), ppv);
    if (riid == IID_IMediaEventSink)
        return GetInterface(static_cast<IMediaEventSink*>(&m_events), ppv);
    if (riid == IID_IMediaSeeking)
        return GetInterface(static_cast<IMediaSeeking*>(&m_seeking), ppv);
    if (riid == IID_IMediaPosition)
        return GetInterface(static_cast<IMediaPosition*>(&m_seeking), ppv);
    if (riid == IID_IVideoWindow)
        return GetInterface(static_cast<IVideoWindow*>(&m_videoWindow), ppv);
    if (riid == IID_IBasicVideo)
        return GetInterface(static_cast<IBasicVideo*>(&m_basicVideo), ppv);
    if (riid == IID_IBasicAudio)
        return GetInterface(static_cast<IBasicAudio*>(&m_basicAudio), ppv);
    if (riid == IID_IVideoFrameStep)
        return GetInterface(static_cast<IVideoFrameStep*>(&m_frameStep), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}
