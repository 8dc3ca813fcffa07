// CEnumPins and CEnumMediaTypes.
#include <new>

#include "amfilter.h"

// ---- CEnumPins ----

CEnumPins::CEnumPins(CBaseFilter* pFilter, CEnumPins* pEnumPins)
    : CUnknown(NAME("CEnumPins"), nullptr), m_pFilter(pFilter), m_Version(pFilter->GetPinVersion())
{
    if (pEnumPins) {
        m_Position = pEnumPins->m_Position;
        m_Version = pEnumPins->m_Version;
    }
    m_pFilter->AddRef();
}

CEnumPins::~CEnumPins()
{
    m_pFilter->Release();
}

STDMETHODIMP CEnumPins::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IEnumPins)
        return GetInterface(static_cast<IEnumPins*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CEnumPins::Next(ULONG cPins, IPin** ppPins, ULONG* pcFetched)
{
    CheckPointer(ppPins, E_POINTER);
    if (pcFetched)
        *pcFetched = 0;
    else if (cPins > 1)
        return E_INVALIDARG;
    if (AreWeOutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG fetched = 0;
    while (fetched < cPins) {
        CBasePin* pin = m_pFilter->GetPin(m_Position);
        if (!pin)
            break;
        ++m_Position;
        ppPins[fetched] = pin;
        pin->AddRef();
        ++fetched;
    }
    if (pcFetched)
        *pcFetched = fetched;
    return fetched == cPins ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumPins::Skip(ULONG cPins)
{
    if (AreWeOutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    const int count = m_pFilter->GetPinCount();
    const ULONG left = m_Position < count ? (ULONG)(count - m_Position) : 0;
    if (cPins > left) {
        m_Position = count;
        return S_FALSE;
    }
    m_Position += (int)cPins;
    return S_OK;
}

STDMETHODIMP CEnumPins::Reset()
{
    m_Version = m_pFilter->GetPinVersion();
    m_Position = 0;
    return S_OK;
}

STDMETHODIMP CEnumPins::Clone(IEnumPins** ppEnum)
{
    CheckPointer(ppEnum, E_POINTER);
    *ppEnum = nullptr;
    if (AreWeOutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    CEnumPins* clone = new (std::nothrow) CEnumPins(m_pFilter, this);
    if (!clone)
        return E_OUTOFMEMORY;
    return clone->NonDelegatingQueryInterface(IID_IEnumPins, reinterpret_cast<void**>(ppEnum));
}

// ---- CEnumMediaTypes ----

CEnumMediaTypes::CEnumMediaTypes(CBasePin* pPin, CEnumMediaTypes* pEnumMediaTypes)
    : CUnknown(NAME("CEnumMediaTypes"), nullptr), m_pPin(pPin),
      m_Version(pPin->GetMediaTypeVersion())
{
    if (pEnumMediaTypes) {
        m_Position = pEnumMediaTypes->m_Position;
        m_Version = pEnumMediaTypes->m_Version;
    }
    m_pPin->AddRef();
}

CEnumMediaTypes::~CEnumMediaTypes()
{
    m_pPin->Release();
}

STDMETHODIMP CEnumMediaTypes::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IEnumMediaTypes)
        return GetInterface(static_cast<IEnumMediaTypes*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CEnumMediaTypes::Next(ULONG cMediaTypes, AM_MEDIA_TYPE** ppMediaTypes,
                                   ULONG* pcFetched)
{
    CheckPointer(ppMediaTypes, E_POINTER);
    if (pcFetched)
        *pcFetched = 0;
    else if (cMediaTypes > 1)
        return E_INVALIDARG;
    if (AreWeOutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    ULONG fetched = 0;
    while (fetched < cMediaTypes) {
        CMediaType type;
        if (m_pPin->GetMediaType(m_Position, &type) != S_OK)
            break;
        AM_MEDIA_TYPE* out = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
        if (!out)
            break;
        ++m_Position;
        // Hand the format block and object over instead of copying them.
        *out = type;
        type.pbFormat = nullptr;
        type.cbFormat = 0;
        type.pUnk = nullptr;
        ppMediaTypes[fetched++] = out;
    }
    if (pcFetched)
        *pcFetched = fetched;
    return fetched == cMediaTypes ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumMediaTypes::Skip(ULONG cMediaTypes)
{
    if (AreWeOutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    // The pin has no count of its types: step through them.
    while (cMediaTypes > 0) {
        CMediaType type;
        if (m_pPin->GetMediaType(m_Position, &type) != S_OK)
            return S_FALSE;
        ++m_Position;
        --cMediaTypes;
    }
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Reset()
{
    m_Position = 0;
    m_Version = m_pPin->GetMediaTypeVersion();
    return S_OK;
}

STDMETHODIMP CEnumMediaTypes::Clone(IEnumMediaTypes** ppEnum)
{
    CheckPointer(ppEnum, E_POINTER);
    *ppEnum = nullptr;
    if (AreWeOutOfSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    CEnumMediaTypes* clone = new (std::nothrow) CEnumMediaTypes(m_pPin, this);
    if (!clone)
        return E_OUTOFMEMORY;
    return clone->NonDelegatingQueryInterface(IID_IEnumMediaTypes,
                                              reinterpret_cast<void**>(ppEnum));
}
