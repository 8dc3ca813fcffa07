// CTestGraph: an event sink standing in for the graph.
#include "CTestGraph.h"

#include <algorithm>
#include <chrono>

CTestGraph* CTestGraph::Create()
{
    CTestGraph* graph = new CTestGraph();
    graph->AddRef();
    return graph;
}

CTestGraph::CTestGraph() : CUnknown(NAME("Test graph"), nullptr) {}

STDMETHODIMP CTestGraph::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IFilterGraph)
        return GetInterface(static_cast<IFilterGraph*>(this), ppv);
    if (riid == IID_IMediaEventSink)
        return GetInterface(static_cast<IMediaEventSink*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CTestGraph::AddFilter(IBaseFilter*, LPCWSTR)
{
    return E_NOTIMPL;
}

STDMETHODIMP CTestGraph::RemoveFilter(IBaseFilter*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CTestGraph::EnumFilters(IEnumFilters** ppEnum)
{
    if (ppEnum)
        *ppEnum = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CTestGraph::FindFilterByName(LPCWSTR, IBaseFilter** ppFilter)
{
    if (ppFilter)
        *ppFilter = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CTestGraph::ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CTestGraph::Reconnect(IPin* ppin)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_reconnects.push_back(ppin);
    }
    m_changed.notify_all();
    return S_OK;
}

STDMETHODIMP CTestGraph::Disconnect(IPin*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CTestGraph::SetDefaultSyncSource()
{
    return E_NOTIMPL;
}

STDMETHODIMP CTestGraph::Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_events.push_back(TvGraphEvent{EventCode, EventParam1, EventParam2});
    }
    m_changed.notify_all();
    return S_OK;
}

std::vector<TvGraphEvent> CTestGraph::Events()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_events;
}

void CTestGraph::ClearEvents()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_events.clear();
}

std::vector<TvGraphEvent> CTestGraph::EventsOf(LONG code)
{
    std::lock_guard<std::mutex> lock(m_lock);
    std::vector<TvGraphEvent> out;
    for (const TvGraphEvent& event : m_events) {
        if (event.code == code)
            out.push_back(event);
    }
    return out;
}

bool CTestGraph::WaitForEvent(LONG code, DWORD timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return std::any_of(m_events.begin(), m_events.end(),
                           [&](const TvGraphEvent& event) { return event.code == code; });
    });
}

std::vector<IPin*> CTestGraph::Reconnects()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_reconnects;
}
