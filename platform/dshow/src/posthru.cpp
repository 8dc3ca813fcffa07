// CPosPassThru, CRendererPosPassThru and CreatePosPassThru.
#include "posthru.h"

#include <new>

#include "vfwmsgs.h"

namespace {

// One reference to an upstream interface, released on scope exit.
template <class I> struct PeerRef {
    I* p = nullptr;
    PeerRef() = default;
    PeerRef(const PeerRef&) = delete;
    PeerRef& operator=(const PeerRef&) = delete;
    ~PeerRef()
    {
        if (p)
            p->Release();
    }
    I* operator->() const { return p; }
};

// Media time (100-ns units) to seconds.
constexpr double kUnitsPerSecond = 10000000.0;

REFTIME ToSeconds(LONGLONG units)
{
    return static_cast<REFTIME>(units) / kUnitsPerSecond;
}

} // namespace

CPosPassThru::CPosPassThru(LPCTSTR name, LPUNKNOWN pUnk, HRESULT* phr, IPin* pPin)
    : CMediaPosition(name, pUnk), m_pPin(pPin)
{
    if (!pPin && phr)
        *phr = E_POINTER;
}

STDMETHODIMP CPosPassThru::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMediaSeeking)
        return GetInterface(static_cast<IMediaSeeking*>(this), ppv);
    return CMediaPosition::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CPosPassThru::GetPeer(IMediaPosition** ppMP)
{
    *ppMP = nullptr;
    if (!m_pPin)
        return E_NOTIMPL;
    IPin* connected = nullptr;
    if (FAILED(m_pPin->ConnectedTo(&connected)) || !connected)
        return E_NOTIMPL;
    IMediaPosition* peer = nullptr;
    const HRESULT hr =
        connected->QueryInterface(IID_IMediaPosition, reinterpret_cast<void**>(&peer));
    connected->Release();
    if (FAILED(hr) || !peer)
        return E_NOTIMPL;
    *ppMP = peer;
    return S_OK;
}

HRESULT CPosPassThru::GetPeerSeeking(IMediaSeeking** ppMS)
{
    *ppMS = nullptr;
    if (!m_pPin)
        return E_NOTIMPL;
    IPin* connected = nullptr;
    if (FAILED(m_pPin->ConnectedTo(&connected)) || !connected)
        return E_NOTIMPL;
    IMediaSeeking* peer = nullptr;
    const HRESULT hr =
        connected->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&peer));
    connected->Release();
    if (FAILED(hr) || !peer)
        return E_NOTIMPL;
    *ppMS = peer;
    return S_OK;
}

HRESULT CPosPassThru::GetMediaTime(LONGLONG*, LONGLONG*)
{
    return E_FAIL;
}

// ---- IMediaSeeking ----

// Forwards one IMediaSeeking call to the upstream peer.
#define TV_FORWARD_SEEKING(call)                                                                   \
    do {                                                                                           \
        PeerRef<IMediaSeeking> peer;                                                               \
        const HRESULT peerHr = GetPeerSeeking(&peer.p);                                            \
        if (FAILED(peerHr))                                                                        \
            return peerHr;                                                                         \
        return peer->call;                                                                         \
    } while (0)

#define TV_FORWARD_POSITION(call)                                                                  \
    do {                                                                                           \
        PeerRef<IMediaPosition> peer;                                                              \
        const HRESULT peerHr = GetPeer(&peer.p);                                                   \
        if (FAILED(peerHr))                                                                        \
            return peerHr;                                                                         \
        return peer->call;                                                                         \
    } while (0)

STDMETHODIMP CPosPassThru::GetCapabilities(DWORD* pCapabilities)
{
    if (!pCapabilities)
        return E_POINTER;
    TV_FORWARD_SEEKING(GetCapabilities(pCapabilities));
}

STDMETHODIMP CPosPassThru::CheckCapabilities(DWORD* pCapabilities)
{
    if (!pCapabilities)
        return E_POINTER;
    TV_FORWARD_SEEKING(CheckCapabilities(pCapabilities));
}

STDMETHODIMP CPosPassThru::IsFormatSupported(const GUID* pFormat)
{
    if (!pFormat)
        return E_POINTER;
    TV_FORWARD_SEEKING(IsFormatSupported(pFormat));
}

STDMETHODIMP CPosPassThru::QueryPreferredFormat(GUID* pFormat)
{
    if (!pFormat)
        return E_POINTER;
    TV_FORWARD_SEEKING(QueryPreferredFormat(pFormat));
}

STDMETHODIMP CPosPassThru::GetTimeFormat(GUID* pFormat)
{
    if (!pFormat)
        return E_POINTER;
    TV_FORWARD_SEEKING(GetTimeFormat(pFormat));
}

STDMETHODIMP CPosPassThru::IsUsingTimeFormat(const GUID* pFormat)
{
    if (!pFormat)
        return E_POINTER;
    TV_FORWARD_SEEKING(IsUsingTimeFormat(pFormat));
}

STDMETHODIMP CPosPassThru::SetTimeFormat(const GUID* pFormat)
{
    if (!pFormat)
        return E_POINTER;
    TV_FORWARD_SEEKING(SetTimeFormat(pFormat));
}

STDMETHODIMP CPosPassThru::GetDuration(LONGLONG* pDuration)
{
    if (!pDuration)
        return E_POINTER;
    TV_FORWARD_SEEKING(GetDuration(pDuration));
}

STDMETHODIMP CPosPassThru::GetStopPosition(LONGLONG* pStop)
{
    if (!pStop)
        return E_POINTER;
    TV_FORWARD_SEEKING(GetStopPosition(pStop));
}

STDMETHODIMP CPosPassThru::GetCurrentPosition(LONGLONG* pCurrent)
{
    if (!pCurrent)
        return E_POINTER;
    PeerRef<IMediaSeeking> peer;
    const HRESULT peerHr = GetPeerSeeking(&peer.p);

    LONGLONG start = 0;
    LONGLONG stop = 0;
    if (SUCCEEDED(GetMediaTime(&start, &stop))) {
        // What is being presented now, in the time format the caller set
        // upstream.
        if (FAILED(peerHr) || peer->IsUsingTimeFormat(&TIME_FORMAT_MEDIA_TIME) == S_OK) {
            *pCurrent = start;
            return S_OK;
        }
        GUID format = GUID_NULL;
        HRESULT hr = peer->GetTimeFormat(&format);
        if (SUCCEEDED(hr))
            hr = peer->ConvertTimeFormat(pCurrent, &format, start, &TIME_FORMAT_MEDIA_TIME);
        if (SUCCEEDED(hr))
            return hr;
    }
    if (FAILED(peerHr))
        return peerHr;
    return peer->GetCurrentPosition(pCurrent);
}

STDMETHODIMP CPosPassThru::ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat,
                                             LONGLONG Source, const GUID* pSourceFormat)
{
    if (!pTarget)
        return E_POINTER;
    TV_FORWARD_SEEKING(ConvertTimeFormat(pTarget, pTargetFormat, Source, pSourceFormat));
}

STDMETHODIMP CPosPassThru::SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,
                                        DWORD dwStopFlags)
{
    TV_FORWARD_SEEKING(SetPositions(pCurrent, dwCurrentFlags, pStop, dwStopFlags));
}

STDMETHODIMP CPosPassThru::GetPositions(LONGLONG* pCurrent, LONGLONG* pStop)
{
    TV_FORWARD_SEEKING(GetPositions(pCurrent, pStop));
}

STDMETHODIMP CPosPassThru::GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest)
{
    TV_FORWARD_SEEKING(GetAvailable(pEarliest, pLatest));
}

STDMETHODIMP CPosPassThru::SetRate(double dRate)
{
    if (dRate == 0.0)
        return E_INVALIDARG;
    TV_FORWARD_SEEKING(SetRate(dRate));
}

STDMETHODIMP CPosPassThru::GetRate(double* pdRate)
{
    if (!pdRate)
        return E_POINTER;
    TV_FORWARD_SEEKING(GetRate(pdRate));
}

STDMETHODIMP CPosPassThru::GetPreroll(LONGLONG* pllPreroll)
{
    if (!pllPreroll)
        return E_POINTER;
    TV_FORWARD_SEEKING(GetPreroll(pllPreroll));
}

// ---- IMediaPosition ----

STDMETHODIMP CPosPassThru::get_Duration(REFTIME* plength)
{
    if (!plength)
        return E_POINTER;
    TV_FORWARD_POSITION(get_Duration(plength));
}

STDMETHODIMP CPosPassThru::put_CurrentPosition(REFTIME llTime)
{
    TV_FORWARD_POSITION(put_CurrentPosition(llTime));
}

STDMETHODIMP CPosPassThru::get_CurrentPosition(REFTIME* pllTime)
{
    if (!pllTime)
        return E_POINTER;
    LONGLONG start = 0;
    LONGLONG stop = 0;
    if (SUCCEEDED(GetMediaTime(&start, &stop))) {
        *pllTime = ToSeconds(start);
        return S_OK;
    }
    TV_FORWARD_POSITION(get_CurrentPosition(pllTime));
}

STDMETHODIMP CPosPassThru::get_StopTime(REFTIME* pllTime)
{
    if (!pllTime)
        return E_POINTER;
    TV_FORWARD_POSITION(get_StopTime(pllTime));
}

STDMETHODIMP CPosPassThru::put_StopTime(REFTIME llTime)
{
    TV_FORWARD_POSITION(put_StopTime(llTime));
}

STDMETHODIMP CPosPassThru::get_PrerollTime(REFTIME* pllTime)
{
    if (!pllTime)
        return E_POINTER;
    TV_FORWARD_POSITION(get_PrerollTime(pllTime));
}

STDMETHODIMP CPosPassThru::put_PrerollTime(REFTIME llTime)
{
    TV_FORWARD_POSITION(put_PrerollTime(llTime));
}

STDMETHODIMP CPosPassThru::put_Rate(double dRate)
{
    if (dRate == 0.0)
        return E_INVALIDARG;
    TV_FORWARD_POSITION(put_Rate(dRate));
}

STDMETHODIMP CPosPassThru::get_Rate(double* pdRate)
{
    if (!pdRate)
        return E_POINTER;
    TV_FORWARD_POSITION(get_Rate(pdRate));
}

STDMETHODIMP CPosPassThru::CanSeekForward(LONG* pCanSeekForward)
{
    if (!pCanSeekForward)
        return E_POINTER;
    TV_FORWARD_POSITION(CanSeekForward(pCanSeekForward));
}

STDMETHODIMP CPosPassThru::CanSeekBackward(LONG* pCanSeekBackward)
{
    if (!pCanSeekBackward)
        return E_POINTER;
    TV_FORWARD_POSITION(CanSeekBackward(pCanSeekBackward));
}

#undef TV_FORWARD_SEEKING
#undef TV_FORWARD_POSITION

// ---- CRendererPosPassThru ----

CRendererPosPassThru::CRendererPosPassThru(LPCTSTR name, LPUNKNOWN pUnk, HRESULT* phr, IPin* pPin)
    : CPosPassThru(name, pUnk, phr, pPin)
{
}

HRESULT CRendererPosPassThru::RegisterMediaTime(IMediaSample* pMediaSample)
{
    if (!pMediaSample)
        return E_POINTER;
    LONGLONG start = 0;
    LONGLONG end = 0;
    if (pMediaSample->GetMediaTime(&start, &end) != S_OK)
        return VFW_E_MEDIA_TIME_NOT_SET;
    return RegisterMediaTime(start, end);
}

HRESULT CRendererPosPassThru::RegisterMediaTime(LONGLONG StartTime, LONGLONG EndTime)
{
    std::lock_guard lk(m_positionLock);
    m_StartMedia = StartTime;
    m_EndMedia = EndTime;
    m_bReset = false;
    return S_OK;
}

HRESULT CRendererPosPassThru::GetMediaTime(LONGLONG* pStartTime, LONGLONG* pEndTime)
{
    if (!pStartTime)
        return E_POINTER;
    std::lock_guard lk(m_positionLock);
    if (m_bReset)
        return E_FAIL;
    *pStartTime = m_StartMedia;
    if (pEndTime)
        *pEndTime = m_EndMedia;
    return S_OK;
}

HRESULT CRendererPosPassThru::ResetMediaTime()
{
    std::lock_guard lk(m_positionLock);
    m_StartMedia = 0;
    m_EndMedia = 0;
    m_bReset = true;
    return S_OK;
}

HRESULT CRendererPosPassThru::EOS()
{
    {
        std::lock_guard lk(m_positionLock);
        if (m_bReset)
            return E_FAIL;
    }
    // Asked without the lock: the upstream call may take locks of its own.
    LONGLONG stop = 0;
    const HRESULT hr = GetStopPosition(&stop);
    if (FAILED(hr))
        return hr;
    std::lock_guard lk(m_positionLock);
    m_StartMedia = stop;
    m_EndMedia = stop;
    return S_OK;
}

// ---- creation ----

STDAPI CreatePosPassThru(LPUNKNOWN pAgg, BOOL bRenderer, IPin* pPin, IUnknown** ppPassThru)
{
    if (!ppPassThru)
        return E_POINTER;
    *ppPassThru = nullptr;
    if (!pPin)
        return E_POINTER;
    HRESULT hr = S_OK;
    CPosPassThru* passThru = nullptr;
    if (bRenderer)
        passThru = new (std::nothrow) CRendererPosPassThru("Render Pass Through", pAgg, &hr, pPin);
    else
        passThru = new (std::nothrow) CPosPassThru("Pass Through", pAgg, &hr, pPin);
    if (!passThru)
        return E_OUTOFMEMORY;
    IUnknown* unknown = passThru->GetNonDelegatingUnknown();
    unknown->AddRef();
    if (FAILED(hr)) {
        unknown->Release();
        return hr;
    }
    *ppPassThru = unknown;
    return S_OK;
}
