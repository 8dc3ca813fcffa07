#include "RendererForward.h"

#include <pthread.h>

#include "FilterGraph.h"
#include "GraphTopology.h"
#include "QuartzTrace.h"

namespace {

using GraphLock = std::lock_guard<std::recursive_mutex>;

} // namespace

IUnknown* CForwardBase::Owner() const
{
    return m_graph.Owner();
}

CInterfacePtr<IUnknown> CForwardBase::FindTarget(REFIID iid) const
{
    GraphLock lock(m_graph.Lock());
    for (const CInterfacePtr<IBaseFilter>& f :
         TvSortDownstreamFirst(m_graph.Filters().Snapshot())) {
        auto target = CInterfacePtr<IUnknown>::Query(f.Get(), iid);
        if (target)
            return target;
    }
    return {};
}

// ---- frame stepping ----

CFrameStepForward::~CFrameStepForward()
{
    Shutdown();
}

void CFrameStepForward::Shutdown()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_quit = true;
    }
    m_wake.notify_all();
    if (m_worker.joinable())
        m_worker.join();
}

STDMETHODIMP CFrameStepForward::CanStep(LONG bMultiple, IUnknown* pStepObject)
{
    return Call([&](IVideoFrameStep* p) { return p->CanStep(bMultiple, pStepObject); });
}

STDMETHODIMP CFrameStepForward::Step(DWORD dwFrames, IUnknown* pStepObject)
{
    GraphLock graphLock(m_graph.Lock());
    if (m_graph.Control().State() == State_Stopped)
        return VFW_E_WRONG_STATE;
    CInterfacePtr<IUnknown> target = FindTarget(IID_IVideoFrameStep);
    if (!target)
        return E_NOINTERFACE;
    // Marked before the renderer may report completion.
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stepping = true;
        if (!m_worker.joinable() && !m_quit)
            m_worker = std::thread([this] { Worker(); });
    }
    const HRESULT hr =
        reinterpret_cast<IVideoFrameStep*>(target.Get())->Step(dwFrames, pStepObject);
    QUARTZ_TRACE("Step %u: 0x%08X", static_cast<unsigned>(dwFrames), static_cast<unsigned>(hr));
    if (FAILED(hr)) {
        std::lock_guard<std::mutex> lock(m_lock);
        m_stepping = false;
        return hr;
    }
    if (m_graph.Control().State() == State_Paused)
        m_graph.Control().Run();
    return hr;
}

STDMETHODIMP CFrameStepForward::CancelStep()
{
    const HRESULT hr = Call([&](IVideoFrameStep* p) { return p->CancelStep(); });
    bool wasStepping = false;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        wasStepping = m_stepping;
        m_stepping = false;
    }
    if (wasStepping) {
        GraphLock graphLock(m_graph.Lock());
        if (m_graph.Control().State() == State_Running)
            m_graph.Control().Pause();
    }
    return hr;
}

bool CFrameStepForward::StepCompleted(LONG_PTR param1, LONG_PTR param2)
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (!m_stepping || m_quit)
            return false;
        m_stepping = false;
        m_pausePending = true;
        m_completeParam1 = param1;
        m_completeParam2 = param2;
    }
    m_wake.notify_all();
    return true;
}

void CFrameStepForward::Worker()
{
    pthread_setname_np(pthread_self(), "tv-stepfwd"); // found by name in per-thread CPU figures
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_wake.wait(lock, [this] { return m_quit || m_pausePending; });
        if (m_quit)
            return;
        m_pausePending = false;
        const LONG_PTR param1 = m_completeParam1;
        const LONG_PTR param2 = m_completeParam2;
        lock.unlock();
        {
            GraphLock graphLock(m_graph.Lock());
            if (m_graph.Control().State() == State_Running)
                m_graph.Control().Pause();
        }
        m_graph.Events().QueueGraphEvent(EC_STEP_COMPLETE, param1, param2);
        lock.lock();
    }
}
