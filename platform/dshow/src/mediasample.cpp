// CMediaSample: one buffer of an allocator's pool with the data that travels
// with it (times, flags, media type).
#include <cstddef>
#include <cstring>

#include "amalloc.h"

CMediaSample::CMediaSample(LPCTSTR pName, CBaseAllocator* pAllocator, HRESULT* phr, LPBYTE pBuffer,
                           LONG length)
    : CBaseObject(pName), m_pBuffer(pBuffer), m_cbBuffer(length), m_pAllocator(pAllocator)
{
    if (length < 0) {
        m_cbBuffer = 0;
        m_pBuffer = nullptr;
        if (phr)
            *phr = E_INVALIDARG;
    }
}

CMediaSample::~CMediaSample()
{
    if (m_pMediaType)
        DeleteMediaType(m_pMediaType);
}

STDMETHODIMP CMediaSample::QueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IUnknown || riid == IID_IMediaSample || riid == IID_IMediaSample2)
        return GetInterface(static_cast<IMediaSample2*>(this), ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CMediaSample::AddRef()
{
    return (ULONG)(m_cRef.fetch_add(1) + 1);
}

STDMETHODIMP_(ULONG) CMediaSample::Release()
{
    const LONG count = m_cRef.fetch_sub(1) - 1;
    if (count == 0) {
        // Back to the pool: nothing of this use may leak into the next one.
        ResetForReuse();
        if (m_pAllocator)
            m_pAllocator->ReleaseBuffer(this);
        else
            delete this;
    }
    return (ULONG)count;
}

void CMediaSample::ResetForReuse()
{
    m_dwFlags = 0;
    m_dwTypeSpecificFlags = 0;
    m_dwStreamId = AM_STREAM_MEDIA;
    if (m_pMediaType) {
        DeleteMediaType(m_pMediaType);
        m_pMediaType = nullptr;
    }
}

HRESULT CMediaSample::SetPointer(BYTE* ptr, LONG cBytes)
{
    if (cBytes < 0)
        return E_INVALIDARG;
    m_pBuffer = ptr;
    m_cbBuffer = cBytes;
    m_lActual = 0;
    return S_OK;
}

STDMETHODIMP CMediaSample::GetPointer(BYTE** ppBuffer)
{
    CheckPointer(ppBuffer, E_POINTER);
    *ppBuffer = m_pBuffer;
    return S_OK;
}

STDMETHODIMP_(LONG) CMediaSample::GetSize()
{
    return m_cbBuffer;
}

STDMETHODIMP CMediaSample::GetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd)
{
    CheckPointer(pTimeStart, E_POINTER);
    CheckPointer(pTimeEnd, E_POINTER);
    if (!(m_dwFlags & Sample_TimeValid))
        return VFW_E_SAMPLE_TIME_NOT_SET;
    *pTimeStart = m_Start;
    if (!(m_dwFlags & Sample_StopValid)) {
        *pTimeEnd = m_Start + 1;
        return VFW_S_NO_STOP_TIME;
    }
    *pTimeEnd = m_End;
    return S_OK;
}

STDMETHODIMP CMediaSample::SetTime(REFERENCE_TIME* pTimeStart, REFERENCE_TIME* pTimeEnd)
{
    if (!pTimeStart) {
        m_dwFlags &= ~(DWORD)(Sample_TimeValid | Sample_StopValid);
        return S_OK;
    }
    m_Start = *pTimeStart;
    m_dwFlags |= Sample_TimeValid;
    if (pTimeEnd) {
        m_End = *pTimeEnd;
        m_dwFlags |= Sample_StopValid;
    } else {
        m_dwFlags &= ~(DWORD)Sample_StopValid;
    }
    return S_OK;
}

STDMETHODIMP CMediaSample::IsSyncPoint()
{
    return (m_dwFlags & Sample_SyncPoint) ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaSample::SetSyncPoint(BOOL bIsSyncPoint)
{
    if (bIsSyncPoint)
        m_dwFlags |= Sample_SyncPoint;
    else
        m_dwFlags &= ~(DWORD)Sample_SyncPoint;
    return S_OK;
}

STDMETHODIMP CMediaSample::IsPreroll()
{
    return (m_dwFlags & Sample_Preroll) ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaSample::SetPreroll(BOOL bIsPreroll)
{
    if (bIsPreroll)
        m_dwFlags |= Sample_Preroll;
    else
        m_dwFlags &= ~(DWORD)Sample_Preroll;
    return S_OK;
}

STDMETHODIMP_(LONG) CMediaSample::GetActualDataLength()
{
    return m_lActual;
}

STDMETHODIMP CMediaSample::SetActualDataLength(LONG lActual)
{
    if (lActual < 0 || lActual > m_cbBuffer)
        return VFW_E_BUFFER_OVERFLOW;
    m_lActual = lActual;
    return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaType(AM_MEDIA_TYPE** ppMediaType)
{
    CheckPointer(ppMediaType, E_POINTER);
    *ppMediaType = nullptr;
    if (!(m_dwFlags & Sample_TypeChanged) || !m_pMediaType)
        return S_FALSE;
    *ppMediaType = CreateMediaType(m_pMediaType);
    return *ppMediaType ? S_OK : E_OUTOFMEMORY;
}

STDMETHODIMP CMediaSample::SetMediaType(AM_MEDIA_TYPE* pMediaType)
{
    AM_MEDIA_TYPE* copy = nullptr;
    if (pMediaType) {
        copy = CreateMediaType(pMediaType);
        if (!copy)
            return E_OUTOFMEMORY;
    }
    if (m_pMediaType)
        DeleteMediaType(m_pMediaType);
    m_pMediaType = copy;
    if (copy)
        m_dwFlags |= Sample_TypeChanged;
    else
        m_dwFlags &= ~(DWORD)Sample_TypeChanged;
    return S_OK;
}

STDMETHODIMP CMediaSample::IsDiscontinuity()
{
    return (m_dwFlags & Sample_Discontinuity) ? S_OK : S_FALSE;
}

STDMETHODIMP CMediaSample::SetDiscontinuity(BOOL bDiscontinuity)
{
    if (bDiscontinuity)
        m_dwFlags |= Sample_Discontinuity;
    else
        m_dwFlags &= ~(DWORD)Sample_Discontinuity;
    return S_OK;
}

STDMETHODIMP CMediaSample::GetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd)
{
    CheckPointer(pTimeStart, E_POINTER);
    CheckPointer(pTimeEnd, E_POINTER);
    if (!(m_dwFlags & Sample_MediaTimeValid))
        return VFW_E_MEDIA_TIME_NOT_SET;
    *pTimeStart = m_MediaStart;
    *pTimeEnd = m_MediaEnd;
    return S_OK;
}

STDMETHODIMP CMediaSample::SetMediaTime(LONGLONG* pTimeStart, LONGLONG* pTimeEnd)
{
    if (!pTimeStart) {
        m_dwFlags &= ~(DWORD)Sample_MediaTimeValid;
        return S_OK;
    }
    CheckPointer(pTimeEnd, E_POINTER);
    m_MediaStart = *pTimeStart;
    m_MediaEnd = *pTimeEnd;
    m_dwFlags |= Sample_MediaTimeValid;
    return S_OK;
}

// ---- IMediaSample2 ----

namespace {

// True when the first cb bytes of the record include the whole field.
#define TV_HAS_FIELD(field, cb)                                                                    \
    ((cb) >= offsetof(AM_SAMPLE2_PROPERTIES, field) + sizeof(AM_SAMPLE2_PROPERTIES::field))

} // namespace

STDMETHODIMP CMediaSample::GetProperties(DWORD cbProperties, BYTE* pbProperties)
{
    if (cbProperties == 0)
        return S_OK;
    CheckPointer(pbProperties, E_POINTER);
    AM_SAMPLE2_PROPERTIES props{};
    props.cbData = cbProperties < sizeof(props) ? cbProperties : (DWORD)sizeof(props);
    props.dwTypeSpecificFlags = m_dwTypeSpecificFlags;
    props.dwSampleFlags = m_dwFlags & ~(DWORD)Sample_MediaTimeValid;
    props.lActual = m_lActual;
    props.tStart = m_Start;
    props.tStop = m_End;
    props.dwStreamId = m_dwStreamId;
    props.pMediaType = (m_dwFlags & Sample_TypeChanged) ? m_pMediaType : nullptr;
    props.pbBuffer = m_pBuffer;
    props.cbBuffer = m_cbBuffer;
    memcpy(pbProperties, &props, props.cbData);
    return S_OK;
}

STDMETHODIMP CMediaSample::SetProperties(DWORD cbProperties, const BYTE* pbProperties)
{
    if (cbProperties == 0)
        return S_OK;
    CheckPointer(pbProperties, E_POINTER);
    if (cbProperties > sizeof(AM_SAMPLE2_PROPERTIES))
        return E_INVALIDARG;
    AM_SAMPLE2_PROPERTIES in{};
    memcpy(&in, pbProperties, cbProperties);
    // The record says how much of it is meant; never read more than was given.
    DWORD cb = cbProperties;
    if (TV_HAS_FIELD(cbData, cb)) {
        if (in.cbData > sizeof(AM_SAMPLE2_PROPERTIES))
            return E_INVALIDARG;
        if (in.cbData < cb)
            cb = in.cbData;
    }

    // Validate everything before changing anything.
    const bool hasFlags = TV_HAS_FIELD(dwSampleFlags, cb);
    if (hasFlags) {
        if (in.dwSampleFlags & (~(DWORD)Sample_ValidFlags | (DWORD)Sample_MediaTimeValid))
            return E_INVALIDARG;
        // Times cannot be declared valid without being given.
        if ((in.dwSampleFlags & AM_SAMPLE_TIMEVALID) && !TV_HAS_FIELD(tStart, cb))
            return E_INVALIDARG;
        if ((in.dwSampleFlags & AM_SAMPLE_STOPVALID) && !TV_HAS_FIELD(tStop, cb))
            return E_INVALIDARG;
    }
    if (TV_HAS_FIELD(pbBuffer, cb) && in.pbBuffer && in.pbBuffer != m_pBuffer)
        return E_INVALIDARG;
    if (TV_HAS_FIELD(cbBuffer, cb) && in.cbBuffer != 0 && in.cbBuffer != m_cbBuffer)
        return E_INVALIDARG;
    if (TV_HAS_FIELD(lActual, cb) && (in.lActual < 0 || in.lActual > m_cbBuffer))
        return E_INVALIDARG;
    const bool typeGiven = hasFlags && TV_HAS_FIELD(pMediaType, cb);
    AM_MEDIA_TYPE* newType = nullptr;
    if (typeGiven && (in.dwSampleFlags & AM_SAMPLE_TYPECHANGED)) {
        CheckPointer(in.pMediaType, E_POINTER);
        newType = CreateMediaType(in.pMediaType);
        if (!newType)
            return E_OUTOFMEMORY;
    }

    if (TV_HAS_FIELD(dwTypeSpecificFlags, cb))
        m_dwTypeSpecificFlags = in.dwTypeSpecificFlags;
    if (hasFlags)
        m_dwFlags = in.dwSampleFlags | (m_dwFlags & Sample_MediaTimeValid);
    if (TV_HAS_FIELD(lActual, cb))
        m_lActual = in.lActual;
    if (TV_HAS_FIELD(tStart, cb))
        m_Start = in.tStart;
    if (TV_HAS_FIELD(tStop, cb))
        m_End = in.tStop;
    if (TV_HAS_FIELD(dwStreamId, cb))
        m_dwStreamId = in.dwStreamId;
    if (typeGiven) {
        if (m_pMediaType)
            DeleteMediaType(m_pMediaType);
        m_pMediaType = newType;
    }
    // The flag always tells whether a type is attached.
    if (m_pMediaType)
        m_dwFlags |= Sample_TypeChanged;
    else
        m_dwFlags &= ~(DWORD)Sample_TypeChanged;
    return S_OK;
}
