// CBaseFilter: the filter state machine, clock, graph membership, events and
// pin lookup.
#include <cwchar>
#include <new>

#include "amfilter.h"
#include "dshowtrace.h"
#include "evcode.h"

namespace {

// A new[] copy of a wide string, or null for null.
WCHAR* CopyWide(LPCWSTR text)
{
    if (!text)
        return nullptr;
    const size_t length = wcslen(text);
    WCHAR* copy = new (std::nothrow) WCHAR[length + 1];
    if (copy)
        wmemcpy(copy, text, length + 1);
    return copy;
}

} // namespace

CBaseFilter::CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid)
    : CUnknown(pName, pUnk), m_clsid(clsid), m_pLock(pLock)
{
    ASSERT(pLock);
}

CBaseFilter::CBaseFilter(LPCTSTR pName, LPUNKNOWN pUnk, CCritSec* pLock, REFCLSID clsid,
                         HRESULT* /*phr*/)
    : CBaseFilter(pName, pUnk, pLock, clsid)
{
}

CBaseFilter::~CBaseFilter()
{
    delete[] m_pName;
    if (m_pClock)
        m_pClock->Release();
}

STDMETHODIMP CBaseFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IBaseFilter)
        return GetInterface(static_cast<IBaseFilter*>(this), ppv);
    if (riid == IID_IMediaFilter)
        return GetInterface(static_cast<IMediaFilter*>(this), ppv);
    if (riid == IID_IPersist)
        return GetInterface(static_cast<IPersist*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseFilter::GetClassID(CLSID* pClsID)
{
    CheckPointer(pClsID, E_POINTER);
    *pClsID = m_clsid;
    return S_OK;
}

STDMETHODIMP CBaseFilter::Stop()
{
    CAutoLock lock(m_pLock);
    HRESULT hr = S_OK;
    if (m_State != State_Stopped) {
        const int count = GetPinCount();
        for (int i = 0; i < count; ++i) {
            CBasePin* pin = GetPin(i);
            if (!pin || !pin->IsConnected())
                continue;
            const HRESULT hrPin = pin->Inactive();
            if (FAILED(hrPin) && SUCCEEDED(hr))
                hr = hrPin;
        }
    }
    m_State = State_Stopped;
    DSHOW_TRACE("filter %p: Stop -> 0x%08x", (void*)this, (unsigned)hr);
    return hr;
}

STDMETHODIMP CBaseFilter::Pause()
{
    CAutoLock lock(m_pLock);
    if (m_State == State_Stopped) {
        const int count = GetPinCount();
        for (int i = 0; i < count; ++i) {
            CBasePin* pin = GetPin(i);
            if (!pin || !pin->IsConnected())
                continue;
            const HRESULT hr = pin->Active();
            if (FAILED(hr)) {
                // The filter stays stopped, so the pins already activated
                // must be stopped too: a later Stop would skip them.
                for (int j = i - 1; j >= 0; --j) {
                    CBasePin* active = GetPin(j);
                    if (active && active->IsConnected())
                        active->Inactive();
                }
                DSHOW_TRACE("filter %p: Pause failed on pin %d: 0x%08x", (void*)this, i,
                            (unsigned)hr);
                return hr;
            }
        }
    }
    m_State = State_Paused;
    DSHOW_TRACE("filter %p: Pause", (void*)this);
    return S_OK;
}

STDMETHODIMP CBaseFilter::Run(REFERENCE_TIME tStart)
{
    CAutoLock lock(m_pLock);
    {
        CAutoLock clockLock(&m_csClock);
        m_tStart = tStart;
    }
    if (m_State == State_Stopped) {
        const HRESULT hr = Pause();
        if (FAILED(hr))
            return hr;
    }
    if (m_State != State_Running) {
        const int count = GetPinCount();
        for (int i = 0; i < count; ++i) {
            CBasePin* pin = GetPin(i);
            if (!pin || !pin->IsConnected())
                continue;
            const HRESULT hr = pin->Run(tStart);
            if (FAILED(hr)) {
                DSHOW_TRACE("filter %p: Run failed on pin %d: 0x%08x", (void*)this, i,
                            (unsigned)hr);
                return hr;
            }
        }
    }
    m_State = State_Running;
    DSHOW_TRACE("filter %p: Run(%lld)", (void*)this, (long long)tStart);
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetState(DWORD /*dwMSecs*/, FILTER_STATE* State)
{
    CheckPointer(State, E_POINTER);
    *State = m_State;
    return S_OK;
}

STDMETHODIMP CBaseFilter::SetSyncSource(IReferenceClock* pClock)
{
    IReferenceClock* old = nullptr;
    {
        CAutoLock lock(m_pLock);
        CAutoLock clockLock(&m_csClock);
        if (pClock)
            pClock->AddRef();
        old = m_pClock;
        m_pClock = pClock;
    }
    // The old clock may be the graph's last hold on an object that calls back
    // into the graph: release it without our locks.
    if (old)
        old->Release();
    return S_OK;
}

STDMETHODIMP CBaseFilter::GetSyncSource(IReferenceClock** pClock)
{
    CheckPointer(pClock, E_POINTER);
    CAutoLock lock(&m_csClock);
    *pClock = m_pClock;
    if (m_pClock)
        m_pClock->AddRef();
    return S_OK;
}

HRESULT CBaseFilter::StreamTime(CRefTime& rtStream)
{
    IReferenceClock* clock = nullptr;
    REFERENCE_TIME start = 0;
    {
        CAutoLock clockLock(&m_csClock);
        clock = m_pClock;
        if (!clock)
            return VFW_E_NO_CLOCK;
        clock->AddRef();
        start = m_tStart;
    }
    REFERENCE_TIME now = 0;
    const HRESULT hr = clock->GetTime(&now);
    clock->Release();
    if (FAILED(hr))
        return hr;
    rtStream = now - start;
    return S_OK;
}

STDMETHODIMP CBaseFilter::EnumPins(IEnumPins** ppEnum)
{
    CheckPointer(ppEnum, E_POINTER);
    *ppEnum = nullptr;
    CEnumPins* pins = new (std::nothrow) CEnumPins(this, nullptr);
    if (!pins)
        return E_OUTOFMEMORY;
    return pins->NonDelegatingQueryInterface(IID_IEnumPins, reinterpret_cast<void**>(ppEnum));
}

STDMETHODIMP CBaseFilter::FindPin(LPCWSTR Id, IPin** ppPin)
{
    CheckPointer(ppPin, E_POINTER);
    *ppPin = nullptr;
    CheckPointer(Id, E_POINTER);
    CAutoLock lock(m_pLock);
    const int count = GetPinCount();
    for (int i = 0; i < count; ++i) {
        CBasePin* pin = GetPin(i);
        if (pin && pin->Name() && wcscmp(pin->Name(), Id) == 0) {
            *ppPin = pin;
            pin->AddRef();
            return S_OK;
        }
    }
    return VFW_E_NOT_FOUND;
}

STDMETHODIMP CBaseFilter::QueryFilterInfo(FILTER_INFO* pInfo)
{
    CheckPointer(pInfo, E_POINTER);
    CAutoLock lock(m_pLock);
    pInfo->achName[0] = L'\0';
    if (m_pName) {
        wcsncpy(pInfo->achName, m_pName, MAX_FILTER_NAME - 1);
        pInfo->achName[MAX_FILTER_NAME - 1] = L'\0';
    }
    pInfo->pGraph = m_pGraph;
    if (m_pGraph)
        m_pGraph->AddRef();
    return S_OK;
}

STDMETHODIMP CBaseFilter::JoinFilterGraph(IFilterGraph* pGraph, LPCWSTR pName)
{
    CAutoLock lock(m_pLock);
    m_pGraph = pGraph;
    m_pSink = nullptr;
    if (pGraph) {
        // Kept without a reference: the graph owns the filter and outlives its
        // membership.
        IMediaEventSink* sink = nullptr;
        if (SUCCEEDED(
                pGraph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink))) &&
            sink) {
            m_pSink = sink;
            sink->Release();
        }
    }
    delete[] m_pName;
    m_pName = nullptr;
    if (pName) {
        m_pName = CopyWide(pName);
        if (!m_pName)
            return E_OUTOFMEMORY;
    }
    DSHOW_TRACE("filter %p: JoinFilterGraph(%p, \"%s\")", (void*)this, (void*)pGraph,
                TvDshowTraceName(pName).c_str());
    return S_OK;
}

STDMETHODIMP CBaseFilter::QueryVendorInfo(LPWSTR* pVendorInfo)
{
    if (pVendorInfo)
        *pVendorInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT CBaseFilter::NotifyEvent(LONG EventCode, LONG_PTR EventParam1, LONG_PTR EventParam2)
{
    IMediaEventSink* sink = m_pSink;
    if (!sink)
        return E_NOTIMPL;
    if (EventCode == EC_COMPLETE)
        EventParam2 = (LONG_PTR) static_cast<IBaseFilter*>(this);
    return sink->Notify(EventCode, EventParam1, EventParam2);
}

HRESULT CBaseFilter::ReconnectPin(IPin* pPin, const AM_MEDIA_TYPE* /*pmt*/)
{
    IFilterGraph* graph = m_pGraph;
    if (!graph)
        return E_NOINTERFACE;
    return graph->Reconnect(pPin);
}
