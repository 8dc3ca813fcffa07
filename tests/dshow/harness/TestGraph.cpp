// CTestGraph (an event sink standing in for the graph) and CTestClock (a
// reference clock the test drives).
#include <algorithm>
#include <chrono>

#include "TestFilters.h"

// ---- CTestGraph ----

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

// ---- CTestClock ----

CTestClock* CTestClock::Create(REFERENCE_TIME start)
{
    CTestClock* clock = new CTestClock(start);
    clock->AddRef();
    return clock;
}

CTestClock::CTestClock(REFERENCE_TIME start) : CUnknown(NAME("Test clock"), nullptr), m_now(start)
{
}

STDMETHODIMP CTestClock::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IReferenceClock)
        return GetInterface(static_cast<IReferenceClock*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CTestClock::GetTime(REFERENCE_TIME* pTime)
{
    CheckPointer(pTime, E_POINTER);
    std::lock_guard<std::mutex> lock(m_lock);
    *pTime = m_now;
    return S_OK;
}

STDMETHODIMP CTestClock::AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime,
                                    HEVENT hEvent, DWORD_PTR* pdwAdviseCookie)
{
    CheckPointer(pdwAdviseCookie, E_POINTER);
    *pdwAdviseCookie = 0;
    if (!hEvent || baseTime + streamTime < 0)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(m_lock);
    const DWORD_PTR cookie = m_nextCookie++;
    m_advises.push_back(Advise{cookie, baseTime + streamTime, 0, reinterpret_cast<HANDLE>(hEvent)});
    *pdwAdviseCookie = cookie;
    FireDueLocked();
    return S_OK;
}

STDMETHODIMP CTestClock::AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                        HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie)
{
    CheckPointer(pdwAdviseCookie, E_POINTER);
    *pdwAdviseCookie = 0;
    if (!hSemaphore || startTime < 0 || periodTime <= 0)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(m_lock);
    const DWORD_PTR cookie = m_nextCookie++;
    m_advises.push_back(
        Advise{cookie, startTime, periodTime, reinterpret_cast<HANDLE>(hSemaphore)});
    *pdwAdviseCookie = cookie;
    FireDueLocked();
    return S_OK;
}

STDMETHODIMP CTestClock::Unadvise(DWORD_PTR dwAdviseCookie)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const auto it = std::find_if(m_advises.begin(), m_advises.end(), [&](const Advise& advise) {
        return advise.cookie == dwAdviseCookie;
    });
    if (it == m_advises.end())
        return S_FALSE;
    m_advises.erase(it);
    return S_OK;
}

void CTestClock::SetTime(REFERENCE_TIME now)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_now = now;
    FireDueLocked();
}

void CTestClock::Advance(REFERENCE_TIME delta)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_now += delta;
    FireDueLocked();
}

size_t CTestClock::PendingAdvises()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_advises.size();
}

void CTestClock::FireDueLocked()
{
    for (auto it = m_advises.begin(); it != m_advises.end();) {
        if (it->due > m_now) {
            ++it;
            continue;
        }
        if (it->period == 0) {
            SetEvent(it->handle);
            it = m_advises.erase(it);
            continue;
        }
        while (it->due <= m_now) {
            ReleaseSemaphore(it->handle, 1, nullptr);
            it->due += it->period;
        }
        ++it;
    }
}
