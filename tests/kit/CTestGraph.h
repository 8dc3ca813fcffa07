// CTestGraph: a stand-in for the graph that a filter joins with
// JoinFilterGraph, when a test drives the filter's states itself: it answers
// IFilterGraph (only Reconnect, which it records) and IMediaEventSink
// (recording the events the filter sends).
//
// Threads: Notify and Reconnect may come from any thread (a streaming thread
// sends EC_COMPLETE); the readers and WaitForEvent from any thread.
// Ownership: Create returns a reference the caller releases; a filter that
// joins does not hold the graph (as with the real graph manager).
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include <streams.h>

struct TvGraphEvent {
    LONG code;
    LONG_PTR param1;
    LONG_PTR param2;
};

class CTestGraph : public CUnknown, public IFilterGraph, public IMediaEventSink {
public:
    // Reference count 1.
    static CTestGraph* Create();

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IFilterGraph: E_NOTIMPL except Reconnect (recorded, S_OK).
    STDMETHODIMP AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
    STDMETHODIMP RemoveFilter(IBaseFilter* pFilter) override;
    STDMETHODIMP EnumFilters(IEnumFilters** ppEnum) override;
    STDMETHODIMP FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override;
    STDMETHODIMP ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override;
    STDMETHODIMP Reconnect(IPin* ppin) override;
    STDMETHODIMP Disconnect(IPin* ppin) override;
    STDMETHODIMP SetDefaultSyncSource() override;

    // IMediaEventSink: records the event (any thread), S_OK.
    STDMETHODIMP Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) override;

    std::vector<TvGraphEvent> Events();
    // Forgets the events recorded so far.
    void ClearEvents();
    // The events with this code, in order.
    std::vector<TvGraphEvent> EventsOf(LONG code);
    bool WaitForEvent(LONG code, DWORD timeoutMs = 10000);
    std::vector<IPin*> Reconnects(); // not add-referenced

private:
    CTestGraph();

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<TvGraphEvent> m_events; // guarded by m_lock
    std::vector<IPin*> m_reconnects;    // guarded by m_lock
};
