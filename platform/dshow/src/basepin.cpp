// CBasePin: connection negotiation, queries, segments and the pin's part of
// state changes.
#include <cwchar>
#include <new>

#include "amfilter.h"
#include "dshowtrace.h"

namespace {

// Results of a connection attempt that only say "this type will not do".
bool IsPlainRefusal(HRESULT hr)
{
    return hr == E_FAIL || hr == E_INVALIDARG || hr == VFW_E_TYPE_NOT_ACCEPTED;
}

} // namespace

CBasePin::CBasePin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock, HRESULT* phr,
                   LPCWSTR pName, PIN_DIRECTION dir)
    : CUnknown(pObjectName, nullptr), m_dir(dir), m_pLock(pLock), m_pFilter(pFilter)
{
    ASSERT(pFilter && pLock);
    if (pName) {
        const size_t length = wcslen(pName);
        m_pName = new (std::nothrow) WCHAR[length + 1];
        if (m_pName)
            wmemcpy(m_pName, pName, length + 1);
        else if (phr)
            *phr = E_OUTOFMEMORY;
    }
}

CBasePin::~CBasePin()
{
    // A filter must disconnect its pins before it deletes them; a pin that
    // is still connected lets go of its partner here.
    if (m_Connected) {
        m_Connected->Release();
        m_Connected = nullptr;
    }
    delete[] m_pName;
}

STDMETHODIMP CBasePin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IPin)
        return GetInterface(static_cast<IPin*>(this), ppv);
    if (riid == IID_IQualityControl)
        return GetInterface(static_cast<IQualityControl*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingAddRef()
{
    return m_pFilter->AddRef();
}

STDMETHODIMP_(ULONG) CBasePin::NonDelegatingRelease()
{
    return m_pFilter->Release();
}

// ---- Connection ----

STDMETHODIMP CBasePin::Connect(IPin* pReceivePin, const AM_MEDIA_TYPE* pmt)
{
    CheckPointer(pReceivePin, E_POINTER);
    CAutoLock lock(m_pLock);
    if (m_Connected)
        return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped() && !m_bCanReconnectWhenActive)
        return VFW_E_NOT_STOPPED;
    const HRESULT hr = AgreeMediaType(pReceivePin, static_cast<const CMediaType*>(pmt));
    DSHOW_TRACE("pin %p \"%s\": Connect(%p) -> 0x%08x", (void*)this,
                TvDshowTraceName(m_pName).c_str(), (void*)pReceivePin, (unsigned)hr);
    return FAILED(hr) ? hr : S_OK;
}

HRESULT CBasePin::AgreeMediaType(IPin* pReceivePin, const CMediaType* pmt)
{
    if (pmt && !pmt->IsPartiallySpecified())
        return AttemptConnection(pReceivePin, pmt);

    // The receiving pin's preferences first, then ours (or the other way
    // round); a failure that says more than "not this type" is remembered.
    HRESULT failure = VFW_E_NO_ACCEPTABLE_TYPES;
    for (int pass = 0; pass < 2; ++pass) {
        const bool theirs = (pass == 0) != m_bTryMyTypesFirst;
        IEnumMediaTypes* types = nullptr;
        const HRESULT hrEnum =
            theirs ? pReceivePin->EnumMediaTypes(&types) : EnumMediaTypes(&types);
        if (FAILED(hrEnum) || !types)
            continue;
        const HRESULT hr = TryMediaTypes(pReceivePin, pmt, types);
        types->Release();
        if (SUCCEEDED(hr))
            return S_OK;
        if (!IsPlainRefusal(hr) && hr != VFW_E_NO_ACCEPTABLE_TYPES)
            failure = hr;
    }
    return failure;
}

HRESULT CBasePin::TryMediaTypes(IPin* pReceivePin, const CMediaType* pmt, IEnumMediaTypes* pEnum)
{
    HRESULT hr = pEnum->Reset();
    if (FAILED(hr))
        return hr;
    HRESULT failure = S_OK;
    for (;;) {
        AM_MEDIA_TYPE* candidate = nullptr;
        ULONG fetched = 0;
        hr = pEnum->Next(1, &candidate, &fetched);
        if (hr != S_OK || fetched != 1 || !candidate) {
            if (candidate)
                DeleteMediaType(candidate);
            return SUCCEEDED(failure) ? VFW_E_NO_ACCEPTABLE_TYPES : failure;
        }
        const CMediaType* type = static_cast<const CMediaType*>(candidate);
        if (!pmt || type->MatchesPartial(pmt)) {
            hr = AttemptConnection(pReceivePin, type);
            if (FAILED(hr) && SUCCEEDED(failure) && !IsPlainRefusal(hr))
                failure = hr;
        } else {
            hr = VFW_E_NO_ACCEPTABLE_TYPES;
        }
        DeleteMediaType(candidate);
        if (hr == S_OK)
            return S_OK;
    }
}

HRESULT CBasePin::AttemptConnection(IPin* pReceivePin, const CMediaType* pmt)
{
    HRESULT hr = CheckConnect(pReceivePin);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    hr = CheckMediaType(pmt);
    if (hr == S_OK) {
        m_Connected = pReceivePin;
        m_Connected->AddRef();
        hr = SetMediaType(pmt);
        if (SUCCEEDED(hr)) {
            hr = pReceivePin->ReceiveConnection(static_cast<IPin*>(this), pmt);
            if (SUCCEEDED(hr)) {
                hr = CompleteConnect(pReceivePin);
                if (SUCCEEDED(hr))
                    return hr;
                pReceivePin->Disconnect();
            }
        }
    } else if (SUCCEEDED(hr) || IsPlainRefusal(hr)) {
        hr = VFW_E_TYPE_NOT_ACCEPTED;
    }
    if (m_Connected) {
        m_Connected->Release();
        m_Connected = nullptr;
    }
    BreakConnect();
    return hr;
}

STDMETHODIMP CBasePin::ReceiveConnection(IPin* pConnector, const AM_MEDIA_TYPE* pmt)
{
    CheckPointer(pConnector, E_POINTER);
    CheckPointer(pmt, E_POINTER);
    CAutoLock lock(m_pLock);
    if (m_Connected)
        return VFW_E_ALREADY_CONNECTED;
    if (!IsStopped() && !m_bCanReconnectWhenActive)
        return VFW_E_NOT_STOPPED;
    HRESULT hr = CheckConnect(pConnector);
    if (FAILED(hr)) {
        BreakConnect();
        return hr;
    }
    const CMediaType* type = static_cast<const CMediaType*>(pmt);
    hr = CheckMediaType(type);
    if (hr != S_OK) {
        BreakConnect();
        if (SUCCEEDED(hr) || IsPlainRefusal(hr))
            hr = VFW_E_TYPE_NOT_ACCEPTED;
        DSHOW_TRACE("pin %p \"%s\": ReceiveConnection(%p) refused: 0x%08x", (void*)this,
                    TvDshowTraceName(m_pName).c_str(), (void*)pConnector, (unsigned)hr);
        return hr;
    }
    m_Connected = pConnector;
    m_Connected->AddRef();
    hr = SetMediaType(type);
    if (SUCCEEDED(hr)) {
        hr = CompleteConnect(pConnector);
        if (SUCCEEDED(hr)) {
            DSHOW_TRACE("pin %p \"%s\": ReceiveConnection(%p)", (void*)this,
                        TvDshowTraceName(m_pName).c_str(), (void*)pConnector);
            return S_OK;
        }
    }
    m_Connected->Release();
    m_Connected = nullptr;
    BreakConnect();
    return hr;
}

STDMETHODIMP CBasePin::Disconnect()
{
    CAutoLock lock(m_pLock);
    if (!IsStopped())
        return VFW_E_NOT_STOPPED;
    const HRESULT hr = DisconnectInternal();
    DSHOW_TRACE("pin %p \"%s\": Disconnect -> 0x%08x", (void*)this,
                TvDshowTraceName(m_pName).c_str(), (unsigned)hr);
    return hr;
}

HRESULT CBasePin::DisconnectInternal()
{
    if (!m_Connected)
        return S_FALSE;
    const HRESULT hr = BreakConnect();
    if (FAILED(hr))
        return hr;
    m_Connected->Release();
    m_Connected = nullptr;
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectedTo(IPin** pPin)
{
    CheckPointer(pPin, E_POINTER);
    CAutoLock lock(m_pLock);
    *pPin = m_Connected;
    if (!m_Connected)
        return VFW_E_NOT_CONNECTED;
    m_Connected->AddRef();
    return S_OK;
}

STDMETHODIMP CBasePin::ConnectionMediaType(AM_MEDIA_TYPE* pmt)
{
    CheckPointer(pmt, E_POINTER);
    CAutoLock lock(m_pLock);
    if (!m_Connected) {
        // The caller's record is overwritten, not freed (it is an out value).
        *pmt = AM_MEDIA_TYPE{};
        pmt->bFixedSizeSamples = TRUE;
        pmt->lSampleSize = 1;
        return VFW_E_NOT_CONNECTED;
    }
    return CopyMediaType(pmt, &m_mt);
}

STDMETHODIMP CBasePin::QueryPinInfo(PIN_INFO* pInfo)
{
    CheckPointer(pInfo, E_POINTER);
    pInfo->pFilter = m_pFilter;
    m_pFilter->AddRef();
    pInfo->achName[0] = L'\0';
    if (m_pName) {
        wcsncpy(pInfo->achName, m_pName, MAX_PIN_NAME - 1);
        pInfo->achName[MAX_PIN_NAME - 1] = L'\0';
    }
    pInfo->dir = m_dir;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryDirection(PIN_DIRECTION* pPinDir)
{
    CheckPointer(pPinDir, E_POINTER);
    *pPinDir = m_dir;
    return S_OK;
}

STDMETHODIMP CBasePin::QueryId(LPWSTR* Id)
{
    return AMGetWideString(m_pName, Id);
}

STDMETHODIMP CBasePin::QueryAccept(const AM_MEDIA_TYPE* pmt)
{
    CheckPointer(pmt, E_POINTER);
    const HRESULT hr = CheckMediaType(static_cast<const CMediaType*>(pmt));
    return hr == S_OK ? S_OK : S_FALSE;
}

STDMETHODIMP CBasePin::EnumMediaTypes(IEnumMediaTypes** ppEnum)
{
    CheckPointer(ppEnum, E_POINTER);
    *ppEnum = nullptr;
    CEnumMediaTypes* types = new (std::nothrow) CEnumMediaTypes(this, nullptr);
    if (!types)
        return E_OUTOFMEMORY;
    return types->NonDelegatingQueryInterface(IID_IEnumMediaTypes,
                                              reinterpret_cast<void**>(ppEnum));
}

STDMETHODIMP CBasePin::QueryInternalConnections(IPin** /*apPin*/, ULONG* /*nPin*/)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBasePin::EndOfStream()
{
    return S_OK;
}

STDMETHODIMP CBasePin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate)
{
    m_tStart = tStart;
    m_tStop = tStop;
    m_dRate = dRate;
    return S_OK;
}

STDMETHODIMP CBasePin::Notify(IBaseFilter* /*pSender*/, Quality /*q*/)
{
    return E_NOTIMPL;
}

STDMETHODIMP CBasePin::SetSink(IQualityControl* piqc)
{
    CAutoLock lock(m_pLock);
    m_pQSink = piqc;
    return S_OK;
}

// ---- Steps for derived pins ----

HRESULT CBasePin::SetMediaType(const CMediaType* pmt)
{
    CheckPointer(pmt, E_POINTER);
    return m_mt.Set(*pmt);
}

HRESULT CBasePin::CheckConnect(IPin* pPin)
{
    CheckPointer(pPin, E_POINTER);
    PIN_DIRECTION dir;
    const HRESULT hr = pPin->QueryDirection(&dir);
    if (FAILED(hr))
        return hr;
    return dir == m_dir ? VFW_E_INVALID_DIRECTION : S_OK;
}

HRESULT CBasePin::BreakConnect()
{
    return S_OK;
}

HRESULT CBasePin::CompleteConnect(IPin* /*pReceivePin*/)
{
    return S_OK;
}

HRESULT CBasePin::GetMediaType(int /*iPosition*/, CMediaType* /*pMediaType*/)
{
    return E_UNEXPECTED;
}

HRESULT CBasePin::Inactive()
{
    m_bRunTimeError = false;
    return S_OK;
}

HRESULT CBasePin::Run(REFERENCE_TIME /*tStart*/)
{
    return S_OK;
}
