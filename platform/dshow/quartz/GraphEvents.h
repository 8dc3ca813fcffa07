// The events part of the graph manager: the application's IMediaEventEx and the
// filters' IMediaEventSink.
//
// Filters call Notify from any thread, streaming threads included; the part
// has its own lock (never the graph lock) and calls nothing outside the
// platform while holding it: queueing an event sets the event handle and posts
// the notify message, both of which return at once.
//
// Default handling: EC_COMPLETE. The graph counts the renderers with a
// connected input when it starts from Stopped and tells the application once,
// with EC_COMPLETE (status, 0), after each of them has reported it; the status
// is the first failure a renderer reported, else S_OK. After
// CancelDefaultHandling(EC_COMPLETE) every renderer's EC_COMPLETE is passed on
// as it comes. Every other event is queued as the filter sent it.
//
// Event parameters are queued as the filter gave them; no event that this
// system sends carries allocated parameters, so FreeEventParams has nothing to
// release.
#pragma once

#include <condition_variable>
#include <deque>
#include <mutex>
#include <vector>

#include "GraphPart.h"

class CGraphEvents : public CGraphInterface<IMediaEventEx>, public IMediaEventSink {
public:
    // Events kept for the application at most; when it does not read them, the
    // oldest go first.
    static constexpr size_t kMaxQueued = 10000;

    explicit CGraphEvents(CFilterGraph& graph);
    ~CGraphEvents();
    // False when the event handle could not be made.
    bool Ready() const { return m_event != nullptr; }

    DECLARE_GRAPH_PART_IUNKNOWN

    // IMediaEvent
    // A manual-reset event (win32/sync.h) that is set while events are queued.
    // It belongs to the graph: the caller waits on it but does not close it.
    STDMETHODIMP GetEventHandle(OAEVENT* hEvent) override;
    // Takes the oldest event, waiting up to msTimeout (negative: no limit).
    // E_ABORT when none came.
    STDMETHODIMP GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2,
                          LONG msTimeout) override;
    // Waits until the graph reports EC_COMPLETE, EC_ERRORABORT or EC_USERABORT
    // (the event stays queued) and gives its code. VFW_E_WRONG_STATE unless
    // running (also when the graph stops during the wait), E_ABORT on time-out.
    STDMETHODIMP WaitForCompletion(LONG msTimeout, LONG* pEvCode) override;
    // Only EC_COMPLETE has default handling; other codes give E_INVALIDARG.
    STDMETHODIMP CancelDefaultHandling(LONG lEvCode) override;
    STDMETHODIMP RestoreDefaultHandling(LONG lEvCode) override;
    STDMETHODIMP FreeEventParams(LONG lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) override;

    // IMediaEventEx
    // Posts lMsg (wParam 0, lParam lInstanceData) to the window through
    // PostMessageA each time an event is queued, and once at once when events
    // are waiting already. A null window stops the messages.
    STDMETHODIMP SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) override;
    // AM_MEDIAEVENT_NONOTIFY: events are no longer queued (those waiting are
    // dropped) and the handle stays reset; 0 queues them again.
    STDMETHODIMP SetNotifyFlags(LONG lNoNotifyFlags) override;
    STDMETHODIMP GetNotifyFlags(LONG* lplNoNotifyFlags) override;

    // IMediaEventSink (any thread)
    STDMETHODIMP Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2) override;

    // ---- for the control part ----
    // The graph left Stopped with these renderers (identities only, not held).
    void StreamsStarting(const std::vector<IBaseFilter*>& renderers);
    // The graph stopped: no completion is counted until it starts again.
    void StreamsStopped();
    // The streams start over (a seek): every renderer is to report again.
    void StreamsRestarted();
    // A filter left the graph: a renderer no longer counts.
    void FilterRemoved(IBaseFilter* filter);
    // An event of the graph's own for the application (no default handling).
    void QueueGraphEvent(LONG code, LONG_PTR param1, LONG_PTR param2);

private:
    struct Event {
        LONG code;
        LONG_PTR param1;
        LONG_PTR param2;
    };

    // All under m_lock.
    void Queue(LONG code, LONG_PTR param1, LONG_PTR param2);
    void CountCompletion(LONG_PTR status, LONG_PTR renderer);
    void CheckAllComplete();

    CFilterGraph& m_graph;
    HANDLE m_event = nullptr; // set while m_queue is not empty

    // guarded by m_lock
    std::mutex m_lock;
    std::condition_variable m_completionChanged;
    std::deque<Event> m_queue;
    HWND m_window = nullptr;
    UINT m_message = 0;
    LONG_PTR m_instanceData = 0;
    LONG m_notifyFlags = 0;
    bool m_defaultComplete = true;
    // EC_COMPLETE count while the graph is not stopped
    bool m_counting = false;
    std::vector<IBaseFilter*> m_renderers;
    std::vector<bool> m_rendererDone;
    size_t m_anonymousDone = 0; // EC_COMPLETE without a renderer pointer
    HRESULT m_completeStatus = S_OK;
    bool m_completeSent = false;
    // what WaitForCompletion waits for
    LONG m_completionCode = 0;
    unsigned m_stopCount = 0;
};
