#include "GraphControl.h"

#include "FilterGraph.h"
#include "QuartzTrace.h"
#include "SystemClock.h"
#include "win32/timefn.h"

namespace {

using GraphLock = std::lock_guard<std::recursive_mutex>;

const char* StateName(FILTER_STATE s)
{
    switch (s) {
    case State_Stopped:
        return "Stopped";
    case State_Paused:
        return "Paused";
    case State_Running:
        return "Running";
    }
    return "?";
}

} // namespace

IMPLEMENT_GRAPH_PART_IUNKNOWN(CGraphControl)

FilterRefs CGraphControl::OrderedFilters()
{
    return TvSortDownstreamFirst(m_graph.Filters().Snapshot());
}

REFERENCE_TIME CGraphControl::ClockNow()
{
    REFERENCE_TIME now = 0;
    if (m_clock)
        m_clock->GetTime(&now);
    return now;
}

// ---- state changes ----

STDMETHODIMP CGraphControl::Pause()
{
    GraphLock lock(m_graph.Lock());
    return PauseLocked();
}

HRESULT CGraphControl::PauseLocked()
{
    const FILTER_STATE from = m_state.load();
    if (from == State_Paused)
        return S_OK;
    FilterRefs ordered = OrderedFilters();
    if (from == State_Stopped) {
        if (!m_clockSetByApp)
            UseClock(PickClock(ordered), ordered);
        m_pausedAt = 0;
        std::vector<IBaseFilter*> renderers;
        for (const CInterfacePtr<IBaseFilter>& f : ordered) {
            if (TvIsConnectedRenderer(f.Get()))
                renderers.push_back(f.Get());
        }
        m_graph.Events().StreamsStarting(renderers);
    } else if (m_clock) {
        m_pausedAt = ClockNow() - m_start;
    }
    HRESULT result = S_OK;
    for (const CInterfacePtr<IBaseFilter>& f : ordered) {
        const HRESULT hr = f->Pause();
        if (FAILED(hr)) {
            QUARTZ_TRACE("Pause: filter %p failed 0x%08X, stopping the graph",
                         static_cast<void*>(f.Get()), static_cast<unsigned>(hr));
            m_state = State_Paused;
            StopLocked();
            return hr;
        }
        if (hr == S_FALSE)
            result = S_FALSE;
    }
    m_state = State_Paused;
    QUARTZ_TRACE("Pause from %s: 0x%08X", StateName(from), static_cast<unsigned>(result));
    return result;
}

STDMETHODIMP CGraphControl::Run()
{
    GraphLock lock(m_graph.Lock());
    return RunLocked(nullptr);
}

STDMETHODIMP CGraphControl::Run(REFERENCE_TIME tStart)
{
    GraphLock lock(m_graph.Lock());
    return RunLocked(&tStart);
}

HRESULT CGraphControl::RunLocked(const REFERENCE_TIME* givenStart)
{
    if (m_state.load() == State_Running)
        return S_OK;
    HRESULT result = S_OK;
    if (m_state.load() == State_Stopped) {
        result = PauseLocked();
        if (FAILED(result))
            return result;
    }
    if (givenStart)
        m_start = *givenStart;
    else if (m_clock)
        m_start = ClockNow() + kStartMargin - m_pausedAt;
    else
        m_start = 0;
    for (const CInterfacePtr<IBaseFilter>& f : OrderedFilters()) {
        const HRESULT hr = f->Run(m_start);
        if (FAILED(hr)) {
            QUARTZ_TRACE("Run: filter %p failed 0x%08X, stopping the graph",
                         static_cast<void*>(f.Get()), static_cast<unsigned>(hr));
            m_state = State_Running;
            StopLocked();
            return hr;
        }
        if (hr == S_FALSE)
            result = S_FALSE;
    }
    m_state = State_Running;
    QUARTZ_TRACE("Run at %lld: 0x%08X", static_cast<long long>(m_start),
                 static_cast<unsigned>(result));
    return result;
}

STDMETHODIMP CGraphControl::Stop()
{
    GraphLock lock(m_graph.Lock());
    return StopLocked();
}

HRESULT CGraphControl::StopLocked()
{
    if (m_state.load() == State_Stopped)
        return S_OK;
    const FilterRefs ordered = OrderedFilters();
    if (m_state.load() == State_Running) {
        // Through Paused, so renderers hold their picture while upstream stops.
        for (const CInterfacePtr<IBaseFilter>& f : ordered)
            f->Pause();
    }
    HRESULT result = S_OK;
    for (const CInterfacePtr<IBaseFilter>& f : ordered) {
        const HRESULT hr = f->Stop();
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    m_state = State_Stopped;
    m_pausedAt = 0;
    m_graph.Events().StreamsStopped();
    QUARTZ_TRACE("Stop: 0x%08X", static_cast<unsigned>(result));
    return result;
}

HRESULT CGraphControl::WaitForState(DWORD msTimeout, FILTER_STATE* state)
{
    FilterRefs filters;
    {
        GraphLock lock(m_graph.Lock());
        *state = m_state.load();
        filters = OrderedFilters();
    }
    // The filters are asked without the graph lock: a renderer may take long
    // to cue, and Stop from another thread must not wait for that.
    const ULONGLONG begin = GetTickCount64();
    HRESULT result = S_OK;
    for (const CInterfacePtr<IBaseFilter>& f : filters) {
        DWORD left = INFINITE;
        if (msTimeout != INFINITE) {
            const ULONGLONG spent = GetTickCount64() - begin;
            left = spent >= msTimeout ? 0 : static_cast<DWORD>(msTimeout - spent);
        }
        FILTER_STATE fs;
        const HRESULT hr = f->GetState(left, &fs);
        if (FAILED(hr))
            return hr;
        if (hr == VFW_S_STATE_INTERMEDIATE)
            result = VFW_S_STATE_INTERMEDIATE;
        else if (hr == VFW_S_CANT_CUE && result == S_OK)
            result = VFW_S_CANT_CUE;
    }
    return result;
}

STDMETHODIMP CGraphControl::GetState(LONG msTimeout, OAFilterState* pfs)
{
    if (!pfs)
        return E_POINTER;
    FILTER_STATE state;
    const HRESULT hr =
        WaitForState(msTimeout < 0 ? INFINITE : static_cast<DWORD>(msTimeout), &state);
    *pfs = state;
    return hr;
}

STDMETHODIMP CGraphControl::GetState(DWORD dwMilliSecsTimeout, FILTER_STATE* State)
{
    if (!State)
        return E_POINTER;
    return WaitForState(dwMilliSecsTimeout, State);
}

STDMETHODIMP CGraphControl::StopWhenReady()
{
    HRESULT hr = Pause();
    if (FAILED(hr))
        return hr;
    FILTER_STATE state;
    hr = WaitForState(INFINITE, &state);
    if (FAILED(hr))
        return hr;
    return Stop();
}

STDMETHODIMP CGraphControl::RenderFile(BSTR strFilename)
{
    if (!strFilename)
        return E_POINTER;
    return m_graph.Builder().RenderFile(strFilename, nullptr);
}

STDMETHODIMP CGraphControl::AddSourceFilter(BSTR /*strFilename*/, IDispatch** ppUnk)
{
    if (!ppUnk)
        return E_POINTER;
    *ppUnk = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CGraphControl::get_FilterCollection(IDispatch** ppUnk)
{
    if (!ppUnk)
        return E_POINTER;
    *ppUnk = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CGraphControl::get_RegFilterCollection(IDispatch** ppUnk)
{
    if (!ppUnk)
        return E_POINTER;
    *ppUnk = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CGraphControl::GetClassID(CLSID* pClassID)
{
    if (!pClassID)
        return E_POINTER;
    *pClassID = CLSID_FilterGraph;
    return S_OK;
}

// ---- clock ----

CInterfacePtr<IReferenceClock> CGraphControl::PickClock(const FilterRefs& ordered)
{
    // A renderer that plays a stream, one playing audio before any other;
    // then any filter with a clock, downstream first.
    CInterfacePtr<IReferenceClock> rendererClock;
    for (const CInterfacePtr<IBaseFilter>& f : ordered) {
        if (!TvIsConnectedRenderer(f.Get()))
            continue;
        auto clock = CInterfacePtr<IReferenceClock>::Query(f.Get(), IID_IReferenceClock);
        if (!clock)
            continue;
        if (TvHasAudioInput(f.Get()))
            return clock;
        if (!rendererClock)
            rendererClock = clock;
    }
    if (rendererClock)
        return rendererClock;
    for (const CInterfacePtr<IBaseFilter>& f : ordered) {
        auto clock = CInterfacePtr<IReferenceClock>::Query(f.Get(), IID_IReferenceClock);
        if (clock)
            return clock;
    }
    if (!m_systemClock) {
        HRESULT hr = S_OK;
        CUnknown* object = CreateComInstance<CSystemClock>(nullptr, &hr);
        IUnknown* unknown = object->GetNonDelegatingUnknown();
        unknown->AddRef();
        m_systemClock = CInterfacePtr<IReferenceClock>::Query(unknown, IID_IReferenceClock);
        unknown->Release();
    }
    return m_systemClock;
}

void CGraphControl::UseClock(CInterfacePtr<IReferenceClock> clock, const FilterRefs& filters)
{
    if (clock.Get() == m_clock.Get())
        return;
    // Stream time carries over to a new clock only as played time; the start
    // point is taken afresh at the next Run.
    m_clock = std::move(clock);
    for (const CInterfacePtr<IBaseFilter>& f : filters)
        f->SetSyncSource(m_clock.Get());
    QUARTZ_TRACE("clock %p", static_cast<void*>(m_clock.Get()));
}

HRESULT CGraphControl::SetDefaultClock()
{
    if (m_state.load() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    m_clockSetByApp = false;
    const FilterRefs ordered = OrderedFilters();
    UseClock(PickClock(ordered), ordered);
    return S_OK;
}

STDMETHODIMP CGraphControl::SetSyncSource(IReferenceClock* pClock)
{
    GraphLock lock(m_graph.Lock());
    if (m_state.load() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    m_clockSetByApp = true;
    UseClock(CInterfacePtr<IReferenceClock>(pClock), m_graph.Filters().Snapshot());
    return S_OK;
}

STDMETHODIMP CGraphControl::GetSyncSource(IReferenceClock** pClock)
{
    if (!pClock)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    *pClock = CInterfacePtr<IReferenceClock>(m_clock).Detach();
    return S_OK;
}

// ---- for the other parts ----

void CGraphControl::FilterAdded(IBaseFilter* filter)
{
    if (m_clock)
        filter->SetSyncSource(m_clock.Get());
}

void CGraphControl::FilterRemoving(IBaseFilter* filter)
{
    if (m_state.load() != State_Stopped)
        filter->Stop();
    filter->SetSyncSource(nullptr);
    if (!m_clock)
        return;
    auto own = CInterfacePtr<IReferenceClock>::Query(filter, IID_IReferenceClock);
    if (own.Get() != m_clock.Get() && !TvSameObject(filter, m_clock.Get()))
        return;
    // The graph loses its clock with the filter that gave it.
    m_clock.Reset();
    for (const CInterfacePtr<IBaseFilter>& f : m_graph.Filters().Snapshot()) {
        if (f.Get() != filter)
            f->SetSyncSource(nullptr);
    }
    if (m_clockSetByApp)
        m_clockSetByApp = false;
    m_graph.Events().Notify(EC_CLOCK_UNSET, 0, 0);
}

void CGraphControl::Shutdown()
{
    StopLocked();
    for (const CInterfacePtr<IBaseFilter>& f : m_graph.Filters().Snapshot())
        f->SetSyncSource(nullptr);
    m_clock.Reset();
    m_systemClock.Reset();
}

HRESULT CGraphControl::StreamTime(REFERENCE_TIME* time)
{
    if (!m_clock)
        return VFW_E_NO_CLOCK;
    switch (m_state.load()) {
    case State_Stopped:
        *time = 0;
        break;
    case State_Paused:
        *time = m_pausedAt;
        break;
    case State_Running:
        *time = ClockNow() - m_start;
        break;
    }
    return S_OK;
}

void CGraphControl::RestartStreamTime()
{
    m_pausedAt = 0;
    if (m_state.load() == State_Running && m_clock)
        m_start = ClockNow();
}
