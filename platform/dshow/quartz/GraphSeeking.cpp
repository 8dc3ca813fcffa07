#include "GraphSeeking.h"

#include <math.h>

#include <algorithm>

#include "FilterGraph.h"
#include "GraphTopology.h"

namespace {

using GraphLock = std::lock_guard<std::recursive_mutex>;

constexpr double kUnitsPerSecond = 10000000.0;

LONGLONG ToUnits(REFTIME seconds)
{
    return static_cast<LONGLONG>(llround(seconds * kUnitsPerSecond));
}

REFTIME ToSeconds(LONGLONG units)
{
    return static_cast<double>(units) / kUnitsPerSecond;
}

} // namespace

IMPLEMENT_GRAPH_PART_IUNKNOWN(CGraphSeeking)

template <class I> std::vector<CInterfacePtr<I>> CGraphSeeking::RendererInterfaces(REFIID iid)
{
    std::vector<CInterfacePtr<I>> found;
    for (const CInterfacePtr<IBaseFilter>& f :
         TvSortDownstreamFirst(m_graph.Filters().Snapshot())) {
        if (!TvIsRenderer(f.Get()))
            continue;
        auto p = CInterfacePtr<I>::Query(f.Get(), iid);
        if (p)
            found.push_back(std::move(p));
    }
    return found;
}

CGraphSeeking::Seekers CGraphSeeking::RendererSeekers()
{
    return RendererInterfaces<IMediaSeeking>(IID_IMediaSeeking);
}

template <class F> bool CGraphSeeking::AnySeekerAnswers(F call)
{
    for (const CInterfacePtr<IMediaSeeking>& s : RendererSeekers()) {
        if (SUCCEEDED(call(s.Get())))
            return true;
    }
    return false;
}

template <class F, class U>
HRESULT CGraphSeeking::SetOnEverySeeker(const Seekers& seekers, F call, U undo)
{
    for (const CInterfacePtr<IMediaSeeking>& s : seekers) {
        const HRESULT hr = call(s.Get());
        if (FAILED(hr)) {
            // Leave every renderer as it was.
            for (const CInterfacePtr<IMediaSeeking>& back : seekers)
                undo(back.Get());
            return hr;
        }
    }
    return S_OK;
}

bool CGraphSeeking::UsingMediaTime()
{
    GraphLock lock(m_graph.Lock());
    return IsEqualGUID(m_timeFormat, TIME_FORMAT_MEDIA_TIME);
}

// ---- IMediaSeeking ----

STDMETHODIMP CGraphSeeking::GetCapabilities(DWORD* pCapabilities)
{
    if (!pCapabilities)
        return E_POINTER;
    *pCapabilities = 0;
    GraphLock lock(m_graph.Lock());
    DWORD shared = ~0u;
    bool any = false;
    for (const CInterfacePtr<IMediaSeeking>& s : RendererSeekers()) {
        DWORD caps = 0;
        if (SUCCEEDED(s->GetCapabilities(&caps))) {
            shared &= caps;
            any = true;
        }
    }
    if (!any)
        return E_NOTIMPL;
    *pCapabilities = shared;
    return S_OK;
}

STDMETHODIMP CGraphSeeking::CheckCapabilities(DWORD* pCapabilities)
{
    if (!pCapabilities)
        return E_POINTER;
    DWORD have = 0;
    const HRESULT hr = GetCapabilities(&have);
    if (FAILED(hr))
        return hr;
    const DWORD asked = *pCapabilities;
    *pCapabilities = asked & have;
    if (*pCapabilities == asked)
        return S_OK;
    return *pCapabilities ? S_FALSE : E_FAIL;
}

STDMETHODIMP CGraphSeeking::IsFormatSupported(const GUID* pFormat)
{
    if (!pFormat)
        return E_POINTER;
    if (IsEqualGUID(*pFormat, TIME_FORMAT_MEDIA_TIME))
        return S_OK;
    GraphLock lock(m_graph.Lock());
    const Seekers seekers = RendererSeekers();
    if (seekers.empty())
        return S_FALSE;
    for (const CInterfacePtr<IMediaSeeking>& s : seekers) {
        if (s->IsFormatSupported(pFormat) != S_OK)
            return S_FALSE;
    }
    return S_OK;
}

STDMETHODIMP CGraphSeeking::QueryPreferredFormat(GUID* pFormat)
{
    if (!pFormat)
        return E_POINTER;
    *pFormat = TIME_FORMAT_MEDIA_TIME;
    return S_OK;
}

STDMETHODIMP CGraphSeeking::GetTimeFormat(GUID* pFormat)
{
    if (!pFormat)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    *pFormat = m_timeFormat;
    return S_OK;
}

STDMETHODIMP CGraphSeeking::IsUsingTimeFormat(const GUID* pFormat)
{
    if (!pFormat)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    return IsEqualGUID(*pFormat, m_timeFormat) ? S_OK : S_FALSE;
}

STDMETHODIMP CGraphSeeking::SetTimeFormat(const GUID* pFormat)
{
    if (!pFormat)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    if (m_graph.Control().State() != State_Stopped)
        return VFW_E_WRONG_STATE;
    const HRESULT hr = SetOnEverySeeker(
        RendererSeekers(), [&](IMediaSeeking* s) { return s->SetTimeFormat(pFormat); },
        [&](IMediaSeeking* s) { s->SetTimeFormat(&m_timeFormat); });
    if (SUCCEEDED(hr))
        m_timeFormat = *pFormat;
    return hr;
}

HRESULT
CGraphSeeking::LargestFromRenderers(HRESULT (STDMETHODCALLTYPE IMediaSeeking::*getter)(LONGLONG*),
                                    LONGLONG* pValue)
{
    if (!pValue)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    HRESULT result = E_NOTIMPL;
    for (const CInterfacePtr<IMediaSeeking>& s : RendererSeekers()) {
        LONGLONG value = 0;
        if (SUCCEEDED((s.Get()->*getter)(&value))) {
            *pValue = result == S_OK ? std::max(*pValue, value) : value;
            result = S_OK;
        }
    }
    return result;
}

STDMETHODIMP CGraphSeeking::GetDuration(LONGLONG* pDuration)
{
    return LargestFromRenderers(&IMediaSeeking::GetDuration, pDuration);
}

STDMETHODIMP CGraphSeeking::GetStopPosition(LONGLONG* pStop)
{
    return LargestFromRenderers(&IMediaSeeking::GetStopPosition, pStop);
}

STDMETHODIMP CGraphSeeking::GetCurrentPosition(LONGLONG* pCurrent)
{
    if (!pCurrent)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    if (AnySeekerAnswers([&](IMediaSeeking* s) { return s->GetCurrentPosition(pCurrent); }))
        return S_OK;
    // No renderer knows: what the graph has played since the last seek.
    REFERENCE_TIME played = 0;
    if (!UsingMediaTime() || FAILED(m_graph.Control().StreamTime(&played)))
        return E_NOTIMPL;
    *pCurrent = m_startPosition + static_cast<LONGLONG>(static_cast<double>(played) * m_rate);
    return S_OK;
}

STDMETHODIMP CGraphSeeking::ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat,
                                              LONGLONG Source, const GUID* pSourceFormat)
{
    if (!pTarget)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    const GUID target = pTargetFormat ? *pTargetFormat : m_timeFormat;
    const GUID source = pSourceFormat ? *pSourceFormat : m_timeFormat;
    if (IsEqualGUID(target, source)) {
        *pTarget = Source;
        return S_OK;
    }
    return AnySeekerAnswers([&](IMediaSeeking* s) {
        return s->ConvertTimeFormat(pTarget, &target, Source, &source);
    })
               ? S_OK
               : E_NOTIMPL;
}

STDMETHODIMP CGraphSeeking::SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                         DWORD dwStopFlags)
{
    const DWORD currentMode = dwCurrentFlags & AM_SEEKING_PositioningBitsMask;
    const DWORD stopMode = dwStopFlags & AM_SEEKING_PositioningBitsMask;
    if ((currentMode != AM_SEEKING_NoPositioning && !pCurrent) ||
        (stopMode != AM_SEEKING_NoPositioning && !pStop))
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    const Seekers seekers = RendererSeekers();
    if (seekers.empty())
        return E_NOTIMPL;
    CGraphControl& control = m_graph.Control();
    const bool wasRunning = control.State() == State_Running;
    if (wasRunning)
        control.Pause();
    HRESULT result = S_OK;
    bool first = true;
    for (const CInterfacePtr<IMediaSeeking>& s : seekers) {
        // Each renderer gets the caller's values; the first one's answer (with
        // AM_SEEKING_ReturnTime) goes back.
        LONGLONG current = pCurrent ? *pCurrent : 0;
        LONGLONG stop = pStop ? *pStop : 0;
        const HRESULT hr = s->SetPositions(pCurrent ? &current : nullptr, dwCurrentFlags,
                                           pStop ? &stop : nullptr, dwStopFlags);
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
        if (SUCCEEDED(hr) && first) {
            first = false;
            if (pCurrent && (dwCurrentFlags & AM_SEEKING_ReturnTime))
                *pCurrent = current;
            if (pStop && (dwStopFlags & AM_SEEKING_ReturnTime))
                *pStop = stop;
        }
    }
    if (currentMode != AM_SEEKING_NoPositioning && SUCCEEDED(result)) {
        if (currentMode == AM_SEEKING_AbsolutePositioning)
            m_startPosition = *pCurrent;
        else if (currentMode == AM_SEEKING_RelativePositioning)
            m_startPosition += *pCurrent;
        control.RestartStreamTime();
        m_graph.Events().StreamsRestarted();
    }
    if (wasRunning)
        control.Run();
    return result;
}

STDMETHODIMP CGraphSeeking::GetPositions(LONGLONG* pCurrent, LONGLONG* pStop)
{
    if (!pCurrent && !pStop)
        return E_POINTER;
    HRESULT hr = S_OK;
    if (pCurrent)
        hr = GetCurrentPosition(pCurrent);
    if (SUCCEEDED(hr) && pStop)
        hr = GetStopPosition(pStop);
    return hr;
}

STDMETHODIMP CGraphSeeking::GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest)
{
    GraphLock lock(m_graph.Lock());
    for (const CInterfacePtr<IMediaSeeking>& s : RendererSeekers()) {
        const HRESULT hr = s->GetAvailable(pEarliest, pLatest);
        if (SUCCEEDED(hr) || hr == E_POINTER)
            return hr;
    }
    return E_NOTIMPL;
}

STDMETHODIMP CGraphSeeking::SetRate(double dRate)
{
    if (dRate == 0.0)
        return E_INVALIDARG;
    GraphLock lock(m_graph.Lock());
    const Seekers seekers = RendererSeekers();
    if (seekers.empty())
        return E_NOTIMPL;
    const HRESULT hr = SetOnEverySeeker(
        seekers, [&](IMediaSeeking* s) { return s->SetRate(dRate); },
        [&](IMediaSeeking* s) { s->SetRate(m_rate); });
    if (SUCCEEDED(hr))
        m_rate = dRate;
    return hr;
}

STDMETHODIMP CGraphSeeking::GetRate(double* pdRate)
{
    if (!pdRate)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    if (!AnySeekerAnswers([&](IMediaSeeking* s) { return s->GetRate(pdRate); }))
        *pdRate = m_rate;
    return S_OK;
}

STDMETHODIMP CGraphSeeking::GetPreroll(LONGLONG* pllPreroll)
{
    if (!pllPreroll)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    return AnySeekerAnswers([&](IMediaSeeking* s) { return s->GetPreroll(pllPreroll); })
               ? S_OK
               : E_NOTIMPL;
}

// ---- IMediaPosition ----
//
// Through IMediaSeeking first; when no renderer's stream answers that, the
// renderers' own IMediaPosition (whose pass-through carries it upstream to a
// filter that positions only through IMediaPosition).

CGraphSeeking::Positions CGraphSeeking::RendererPositions()
{
    return RendererInterfaces<IMediaPosition>(IID_IMediaPosition);
}

template <class F> HRESULT CGraphSeeking::AskRendererPositions(F call)
{
    GraphLock lock(m_graph.Lock());
    HRESULT result = E_NOTIMPL;
    for (const CInterfacePtr<IMediaPosition>& p : RendererPositions()) {
        const HRESULT hr = call(p.Get());
        if (SUCCEEDED(hr))
            return hr;
        if (result == E_NOTIMPL)
            result = hr;
    }
    return result;
}

template <class F> HRESULT CGraphSeeking::SetRendererPositions(F call, bool restartsStream)
{
    GraphLock lock(m_graph.Lock());
    const Positions positions = RendererPositions();
    if (positions.empty())
        return E_NOTIMPL;
    CGraphControl& control = m_graph.Control();
    const bool wasRunning = control.State() == State_Running;
    if (wasRunning)
        control.Pause();
    HRESULT result = S_OK;
    for (const CInterfacePtr<IMediaPosition>& p : positions) {
        const HRESULT hr = call(p.Get());
        if (FAILED(hr) && SUCCEEDED(result))
            result = hr;
    }
    if (restartsStream && SUCCEEDED(result)) {
        control.RestartStreamTime();
        m_graph.Events().StreamsRestarted();
    }
    if (wasRunning)
        control.Run();
    return result;
}

template <class F>
HRESULT CGraphSeeking::SecondsOf(Getter getter, bool mediaTimeOnly, REFTIME* pTime, F fallback)
{
    if (!pTime)
        return E_POINTER;
    if (mediaTimeOnly && !UsingMediaTime())
        return VFW_E_NO_TIME_FORMAT;
    LONGLONG units = 0;
    const HRESULT hr = (this->*getter)(&units);
    if (SUCCEEDED(hr)) {
        *pTime = ToSeconds(units);
        return hr;
    }
    return AskRendererPositions(fallback);
}

STDMETHODIMP CGraphSeeking::get_Duration(REFTIME* plength)
{
    return SecondsOf(&CGraphSeeking::GetDuration, true, plength,
                     [&](IMediaPosition* p) { return p->get_Duration(plength); });
}

template <class F> HRESULT CGraphSeeking::PutSeconds(REFTIME time, bool current, F fallback)
{
    if (!UsingMediaTime())
        return VFW_E_NO_TIME_FORMAT;
    LONGLONG units = ToUnits(time);
    const HRESULT hr = current ? SetPositions(&units, AM_SEEKING_AbsolutePositioning, nullptr,
                                              AM_SEEKING_NoPositioning)
                               : SetPositions(nullptr, AM_SEEKING_NoPositioning, &units,
                                              AM_SEEKING_AbsolutePositioning);
    if (hr != E_NOTIMPL)
        return hr;
    GraphLock lock(m_graph.Lock());
    const HRESULT result = SetRendererPositions(fallback, current);
    if (current && SUCCEEDED(result))
        m_startPosition = units;
    return result;
}

STDMETHODIMP CGraphSeeking::put_CurrentPosition(REFTIME llTime)
{
    return PutSeconds(llTime, true,
                      [&](IMediaPosition* p) { return p->put_CurrentPosition(llTime); });
}

STDMETHODIMP CGraphSeeking::get_CurrentPosition(REFTIME* pllTime)
{
    if (!pllTime)
        return E_POINTER;
    if (!UsingMediaTime())
        return VFW_E_NO_TIME_FORMAT;
    GraphLock lock(m_graph.Lock());
    LONGLONG position = 0;
    if (AnySeekerAnswers([&](IMediaSeeking* s) { return s->GetCurrentPosition(&position); })) {
        *pllTime = ToSeconds(position);
        return S_OK;
    }
    const HRESULT hr =
        AskRendererPositions([&](IMediaPosition* p) { return p->get_CurrentPosition(pllTime); });
    if (SUCCEEDED(hr))
        return hr;
    if (FAILED(GetCurrentPosition(&position)))
        return hr;
    *pllTime = ToSeconds(position);
    return S_OK;
}

STDMETHODIMP CGraphSeeking::get_StopTime(REFTIME* pllTime)
{
    return SecondsOf(&CGraphSeeking::GetStopPosition, true, pllTime,
                     [&](IMediaPosition* p) { return p->get_StopTime(pllTime); });
}

STDMETHODIMP CGraphSeeking::put_StopTime(REFTIME llTime)
{
    return PutSeconds(llTime, false, [&](IMediaPosition* p) { return p->put_StopTime(llTime); });
}

STDMETHODIMP CGraphSeeking::get_PrerollTime(REFTIME* pllTime)
{
    return SecondsOf(&CGraphSeeking::GetPreroll, false, pllTime,
                     [&](IMediaPosition* p) { return p->get_PrerollTime(pllTime); });
}

STDMETHODIMP CGraphSeeking::put_PrerollTime(REFTIME llTime)
{
    // IMediaSeeking has no way to set a preroll.
    return AskRendererPositions([&](IMediaPosition* p) { return p->put_PrerollTime(llTime); });
}

STDMETHODIMP CGraphSeeking::put_Rate(double dRate)
{
    HRESULT hr = SetRate(dRate);
    if (hr != E_NOTIMPL)
        return hr;
    GraphLock lock(m_graph.Lock());
    hr = SetRendererPositions([&](IMediaPosition* p) { return p->put_Rate(dRate); }, false);
    if (SUCCEEDED(hr))
        m_rate = dRate;
    return hr;
}

STDMETHODIMP CGraphSeeking::get_Rate(double* pdRate)
{
    if (!pdRate)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    if (AnySeekerAnswers([&](IMediaSeeking* s) { return s->GetRate(pdRate); }))
        return S_OK;
    if (SUCCEEDED(AskRendererPositions([&](IMediaPosition* p) { return p->get_Rate(pdRate); })))
        return S_OK;
    *pdRate = m_rate;
    return S_OK;
}

template <class F> HRESULT CGraphSeeking::CanSeek(DWORD capability, LONG* pCanSeek, F fallback)
{
    if (!pCanSeek)
        return E_POINTER;
    DWORD caps = 0;
    if (FAILED(GetCapabilities(&caps)) && SUCCEEDED(AskRendererPositions(fallback)))
        return S_OK;
    *pCanSeek = (caps & capability) ? OATRUE : OAFALSE;
    return S_OK;
}

STDMETHODIMP CGraphSeeking::CanSeekForward(LONG* pCanSeekForward)
{
    return CanSeek(AM_SEEKING_CanSeekForwards, pCanSeekForward,
                   [&](IMediaPosition* p) { return p->CanSeekForward(pCanSeekForward); });
}

STDMETHODIMP CGraphSeeking::CanSeekBackward(LONG* pCanSeekBackward)
{
    return CanSeek(AM_SEEKING_CanSeekBackwards, pCanSeekBackward,
                   [&](IMediaPosition* p) { return p->CanSeekBackward(pCanSeekBackward); });
}
