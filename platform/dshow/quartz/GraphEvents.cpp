#include "GraphEvents.h"

#include <chrono>

#include "FilterGraph.h"
#include "QuartzTrace.h"
#include "win32/sync.h"
#include "win32/timefn.h"
#include "win32/window.h"

namespace {

bool EndsPlayback(LONG code)
{
    return code == EC_COMPLETE || code == EC_ERRORABORT || code == EC_USERABORT;
}

} // namespace

IMPLEMENT_GRAPH_PART_IUNKNOWN(CGraphEvents)

CGraphEvents::CGraphEvents(CFilterGraph& graph)
    : m_graph(graph), m_event(CreateEventA(nullptr, TRUE, FALSE, nullptr))
{
}

CGraphEvents::~CGraphEvents()
{
    if (m_event)
        CloseHandle(m_event);
}

// ---- queue ----

void CGraphEvents::Queue(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    if (EndsPlayback(code)) {
        m_completionCode = code;
        m_completionChanged.notify_all();
    }
    if (m_notifyFlags & AM_MEDIAEVENT_NONOTIFY)
        return;
    if (m_queue.size() >= kMaxQueued) {
        QUARTZ_TRACE("event queue full: event 0x%lX dropped",
                     static_cast<long>(m_queue.front().code));
        m_queue.pop_front();
    }
    m_queue.push_back(Event{code, param1, param2});
    SetEvent(m_event);
    if (m_window)
        PostMessageA(m_window, m_message, 0, m_instanceData);
}

STDMETHODIMP CGraphEvents::Notify(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2)
{
    QUARTZ_TRACE("Notify 0x%lX (%lld, %lld)", static_cast<long>(EventCode),
                 static_cast<long long>(EventParam1), static_cast<long long>(EventParam2));
    // A step the graph ran for is passed on once the graph has paused again.
    if (EventCode == EC_STEP_COMPLETE &&
        m_graph.FrameStep().StepCompleted(EventParam1, EventParam2))
        return S_OK;
    std::lock_guard<std::mutex> lock(m_lock);
    if (EventCode == EC_COMPLETE && m_defaultComplete)
        CountCompletion(EventParam1, EventParam2);
    else
        Queue(EventCode, EventParam1, EventParam2);
    return S_OK;
}

void CGraphEvents::CountCompletion(LONG_PTR status, LONG_PTR renderer)
{
    // A renderer finishing while the graph is stopped ends nothing.
    if (!m_counting || m_completeSent)
        return;
    if (renderer) {
        size_t i = 0;
        while (i < m_renderers.size() && reinterpret_cast<LONG_PTR>(m_renderers[i]) != renderer)
            ++i;
        // Not one of the renderers the graph started with (an unconnected
        // one), or one that has reported already.
        if (i == m_renderers.size() || m_rendererDone[i])
            return;
        m_rendererDone[i] = true;
    } else {
        ++m_anonymousDone;
    }
    if (FAILED(static_cast<HRESULT>(status)) && SUCCEEDED(m_completeStatus))
        m_completeStatus = static_cast<HRESULT>(status);
    CheckAllComplete();
}

void CGraphEvents::CheckAllComplete()
{
    if (!m_counting || m_completeSent)
        return;
    size_t done = m_anonymousDone;
    for (bool d : m_rendererDone)
        done += d ? 1 : 0;
    if (done == 0 || done < m_renderers.size())
        return;
    m_completeSent = true;
    Queue(EC_COMPLETE, m_completeStatus, 0);
}

STDMETHODIMP CGraphEvents::GetEventHandle(OAEVENT* hEvent)
{
    if (!hEvent)
        return E_POINTER;
    *hEvent = reinterpret_cast<OAEVENT>(m_event);
    return S_OK;
}

STDMETHODIMP CGraphEvents::GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2,
                                    LONG msTimeout)
{
    if (!lEventCode || !lParam1 || !lParam2)
        return E_POINTER;
    *lEventCode = 0;
    *lParam1 = 0;
    *lParam2 = 0;
    const ULONGLONG begin = GetTickCount64();
    for (;;) {
        {
            std::lock_guard<std::mutex> lock(m_lock);
            if (!m_queue.empty()) {
                const Event e = m_queue.front();
                m_queue.pop_front();
                if (m_queue.empty())
                    ResetEvent(m_event);
                *lEventCode = e.code;
                *lParam1 = e.param1;
                *lParam2 = e.param2;
                return S_OK;
            }
        }
        DWORD left = INFINITE;
        if (msTimeout >= 0) {
            const ULONGLONG spent = GetTickCount64() - begin;
            if (spent >= static_cast<ULONGLONG>(msTimeout))
                return E_ABORT;
            left = static_cast<DWORD>(msTimeout - spent);
        }
        // Another reader may take the event first; the queue is looked at
        // again either way.
        WaitForSingleObject(m_event, left);
    }
}

STDMETHODIMP CGraphEvents::WaitForCompletion(LONG msTimeout, LONG* pEvCode)
{
    if (!pEvCode)
        return E_POINTER;
    *pEvCode = 0;
    if (m_graph.Control().State() != State_Running)
        return VFW_E_WRONG_STATE;
    std::unique_lock<std::mutex> lock(m_lock);
    const unsigned stops = m_stopCount;
    auto finished = [&] { return m_completionCode != 0 || m_stopCount != stops; };
    if (msTimeout < 0)
        m_completionChanged.wait(lock, finished);
    else if (!m_completionChanged.wait_for(lock, std::chrono::milliseconds(msTimeout), finished))
        return E_ABORT;
    if (m_completionCode == 0)
        return VFW_E_WRONG_STATE;
    *pEvCode = m_completionCode;
    return S_OK;
}

STDMETHODIMP CGraphEvents::CancelDefaultHandling(LONG lEvCode)
{
    if (lEvCode != EC_COMPLETE)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(m_lock);
    m_defaultComplete = false;
    return S_OK;
}

STDMETHODIMP CGraphEvents::RestoreDefaultHandling(LONG lEvCode)
{
    if (lEvCode != EC_COMPLETE)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(m_lock);
    m_defaultComplete = true;
    return S_OK;
}

STDMETHODIMP CGraphEvents::FreeEventParams(LONG /*lEvCode*/, LONG_PTR /*lParam1*/,
                                           LONG_PTR /*lParam2*/)
{
    return S_OK;
}

STDMETHODIMP CGraphEvents::SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_window = reinterpret_cast<HWND>(hwnd);
    m_message = static_cast<UINT>(lMsg);
    m_instanceData = lInstanceData;
    if (m_window && !m_queue.empty())
        PostMessageA(m_window, m_message, 0, m_instanceData);
    return S_OK;
}

STDMETHODIMP CGraphEvents::SetNotifyFlags(LONG lNoNotifyFlags)
{
    if (lNoNotifyFlags != 0 && lNoNotifyFlags != AM_MEDIAEVENT_NONOTIFY)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(m_lock);
    m_notifyFlags = lNoNotifyFlags;
    if (m_notifyFlags & AM_MEDIAEVENT_NONOTIFY) {
        m_queue.clear();
        ResetEvent(m_event);
    }
    return S_OK;
}

STDMETHODIMP CGraphEvents::GetNotifyFlags(LONG* lplNoNotifyFlags)
{
    if (!lplNoNotifyFlags)
        return E_POINTER;
    std::lock_guard<std::mutex> lock(m_lock);
    *lplNoNotifyFlags = m_notifyFlags;
    return S_OK;
}

// ---- for the other parts ----

void CGraphEvents::QueueGraphEvent(LONG code, LONG_PTR param1, LONG_PTR param2)
{
    std::lock_guard<std::mutex> lock(m_lock);
    Queue(code, param1, param2);
}

void CGraphEvents::StreamsStarting(const std::vector<IBaseFilter*>& renderers)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_counting = true;
    m_renderers = renderers;
    m_rendererDone.assign(renderers.size(), false);
    m_anonymousDone = 0;
    m_completeStatus = S_OK;
    m_completeSent = false;
    m_completionCode = 0;
}

void CGraphEvents::StreamsStopped()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_counting = false;
    m_completionCode = 0;
    ++m_stopCount;
    m_completionChanged.notify_all();
}

void CGraphEvents::StreamsRestarted()
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_rendererDone.assign(m_renderers.size(), false);
    m_anonymousDone = 0;
    m_completeStatus = S_OK;
    m_completeSent = false;
    m_completionCode = 0;
}

void CGraphEvents::FilterRemoved(IBaseFilter* filter)
{
    std::lock_guard<std::mutex> lock(m_lock);
    for (size_t i = 0; i < m_renderers.size(); ++i) {
        if (m_renderers[i] == filter) {
            m_renderers.erase(m_renderers.begin() + static_cast<std::ptrdiff_t>(i));
            m_rendererDone.erase(m_rendererDone.begin() + static_cast<std::ptrdiff_t>(i));
            break;
        }
    }
    CheckAllComplete();
}
