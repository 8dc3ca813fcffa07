// CBaseAllocator (the pool, commit/decommit, the blocking GetBuffer) and
// CMemAllocator (buffers in one block of ordinary memory).
#include <cstdlib>
#include <new>

#include "amalloc.h"
#include "dshowtrace.h"
#include "uuids.h"

// ---- CSampleList ----

CMediaSample* CBaseAllocator::CSampleList::RemoveHead()
{
    if (m_List.empty())
        return nullptr;
    CMediaSample* sample = m_List.back();
    m_List.pop_back();
    return sample;
}

void CBaseAllocator::CSampleList::Remove(CMediaSample* pSample)
{
    for (auto it = m_List.begin(); it != m_List.end(); ++it) {
        if (*it == pSample) {
            m_List.erase(it);
            return;
        }
    }
}

// ---- CBaseAllocator ----

CBaseAllocator::CBaseAllocator(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr, BOOL /*bEvent*/,
                               BOOL /*fEnableReleaseCallback*/)
    : CUnknown(pName, pUnk), m_hSem(CreateSemaphoreA(nullptr, 0, 0x7FFFFFFF, nullptr))
{
    if (!m_hSem && phr)
        *phr = E_OUTOFMEMORY;
}

CBaseAllocator::~CBaseAllocator()
{
    // Every sample must be back by now (a committed allocator or one with a
    // deferred decommit holds a reference on itself, so it cannot get here
    // with samples out).
    ASSERT(!m_bCommitted);
    if (m_hSem)
        CloseHandle(m_hSem);
}

STDMETHODIMP CBaseAllocator::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IMemAllocator)
        return GetInterface(static_cast<IMemAllocator*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                           ALLOCATOR_PROPERTIES* pActual)
{
    CheckPointer(pRequest, E_POINTER);
    CheckPointer(pActual, E_POINTER);
    CAutoLock lock(this);
    *pActual = ALLOCATOR_PROPERTIES{};
    if (m_bCommitted)
        return VFW_E_ALREADY_COMMITTED;
    if (m_lAllocated != m_lFree.GetCount())
        return VFW_E_BUFFERS_OUTSTANDING;
    if (pRequest->cBuffers < 0 || pRequest->cbBuffer < 0 || pRequest->cbPrefix < 0 ||
        pRequest->cbAlign < 0)
        return E_INVALIDARG;
    if (pRequest->cbAlign != 0 && (pRequest->cbAlign & (pRequest->cbAlign - 1)) != 0)
        return VFW_E_BADALIGN;
    m_lCount = pRequest->cBuffers;
    m_lSize = pRequest->cbBuffer;
    m_lAlignment = pRequest->cbAlign;
    m_lPrefix = pRequest->cbPrefix;
    m_bChanged = TRUE;
    *pActual = *pRequest;
    return S_OK;
}

STDMETHODIMP CBaseAllocator::GetProperties(ALLOCATOR_PROPERTIES* pProps)
{
    CheckPointer(pProps, E_POINTER);
    CAutoLock lock(this);
    pProps->cBuffers = m_lCount;
    pProps->cbBuffer = m_lSize;
    pProps->cbAlign = m_lAlignment;
    pProps->cbPrefix = m_lPrefix;
    return S_OK;
}

STDMETHODIMP CBaseAllocator::Commit()
{
    HRESULT hr;
    {
        CAutoLock lock(this);
        if (m_bCommitted)
            return S_OK;
        if (m_bDecommitInProgress) {
            // The pool is still allocated and the self-reference still held:
            // just cancel the pending decommit.
            m_bDecommitInProgress = FALSE;
            m_bCommitted = TRUE;
            DSHOW_TRACE("allocator %p: Commit (cancels a pending decommit)", (void*)this);
            return S_OK;
        }
        hr = Alloc();
        if (FAILED(hr)) {
            DSHOW_TRACE("allocator %p: Commit failed 0x%08x", (void*)this, (unsigned)hr);
            return hr;
        }
        m_bCommitted = TRUE;
    }
    // Held while committed: samples out in other hands keep the pool alive.
    AddRef();
    DSHOW_TRACE("allocator %p: Commit (%d x %d bytes)", (void*)this, (int)m_lCount, (int)m_lSize);
    return S_OK;
}

STDMETHODIMP CBaseAllocator::Decommit()
{
    bool release = false;
    {
        CAutoLock lock(this);
        if (!m_bCommitted)
            return S_OK;
        m_bCommitted = FALSE;
        // Wake every thread blocked in GetBuffer; they find the pool
        // decommitted and give up.
        NotifySample();
        if (m_lFree.GetCount() < m_lAllocated) {
            m_bDecommitInProgress = TRUE;
        } else {
            Free();
            release = true;
        }
        DSHOW_TRACE("allocator %p: Decommit (%d of %d buffers out)", (void*)this,
                    (int)(m_lAllocated - m_lFree.GetCount()), (int)m_lAllocated);
    }
    if (release)
        Release();
    return S_OK;
}

STDMETHODIMP CBaseAllocator::GetBuffer(IMediaSample** ppBuffer, REFERENCE_TIME* /*pStartTime*/,
                                       REFERENCE_TIME* /*pEndTime*/, DWORD dwFlags)
{
    CheckPointer(ppBuffer, E_POINTER);
    *ppBuffer = nullptr;
    CMediaSample* sample = nullptr;
    for (;;) {
        {
            CAutoLock lock(this);
            if (!m_bCommitted)
                return VFW_E_NOT_COMMITTED;
            sample = m_lFree.RemoveHead();
            if (!sample) {
                if (dwFlags & AM_GBF_NOWAIT)
                    return VFW_E_TIMEOUT;
                SetWaiting();
            }
        }
        if (sample)
            break;
        // Released by NotifySample (a returned buffer or a decommit); the
        // semaphore remembers a release that comes before this wait.
        WaitForSingleObject(m_hSem, INFINITE);
    }
    sample->m_cRef = 1;
    *ppBuffer = sample;
    return S_OK;
}

STDMETHODIMP CBaseAllocator::ReleaseBuffer(IMediaSample* pBuffer)
{
    CheckPointer(pBuffer, E_POINTER);
    bool release = false;
    {
        CAutoLock lock(this);
        m_lFree.Add(static_cast<CMediaSample*>(pBuffer));
        NotifySample();
        if (m_bDecommitInProgress && m_lFree.GetCount() == m_lAllocated) {
            Free();
            m_bDecommitInProgress = FALSE;
            release = true;
        }
    }
    if (release)
        Release();
    return S_OK;
}

void CBaseAllocator::NotifySample()
{
    if (m_lWaiting != 0) {
        ReleaseSemaphore(m_hSem, m_lWaiting, nullptr);
        m_lWaiting = 0;
    }
}

HRESULT CBaseAllocator::Alloc()
{
    if (m_lCount <= 0 || m_lSize <= 0)
        return VFW_E_SIZENOTSET;
    // Same properties and the samples still there: nothing to do.
    if (!m_bChanged && m_lAllocated == m_lCount)
        return S_FALSE;
    return S_OK;
}

LONG CBaseAllocator::AllocatedCount()
{
    CAutoLock lock(this);
    return m_lAllocated;
}

LONG CBaseAllocator::FreeCount()
{
    CAutoLock lock(this);
    return m_lFree.GetCount();
}

// ---- CMemAllocator ----

CMemAllocator::CMemAllocator(LPCTSTR pName, LPUNKNOWN pUnk, HRESULT* phr)
    : CBaseAllocator(pName, pUnk, phr, TRUE, FALSE)
{
}

CMemAllocator::~CMemAllocator()
{
    ReallyFree();
}

CMemAllocator::CMemAllocator(LPUNKNOWN pUnk, HRESULT* phr)
    : CMemAllocator(NAME("CMemAllocator"), pUnk, phr)
{
}

CUnknown* CMemAllocator::CreateInstance(LPUNKNOWN pUnk, HRESULT* phr)
{
    return CreateComInstance<CMemAllocator>(pUnk, phr);
}

STDMETHODIMP CMemAllocator::SetProperties(ALLOCATOR_PROPERTIES* pRequest,
                                          ALLOCATOR_PROPERTIES* pActual)
{
    CheckPointer(pRequest, E_POINTER);
    CheckPointer(pActual, E_POINTER);
    CAutoLock lock(this);
    *pActual = ALLOCATOR_PROPERTIES{};
    if (m_bCommitted)
        return VFW_E_ALREADY_COMMITTED;
    if (m_lAllocated != m_lFree.GetCount())
        return VFW_E_BUFFERS_OUTSTANDING;
    if (pRequest->cbAlign <= 0 || (pRequest->cbAlign & (pRequest->cbAlign - 1)) != 0)
        return VFW_E_BADALIGN;
    if (pRequest->cBuffers < 0 || pRequest->cbBuffer < 0 || pRequest->cbPrefix < 0)
        return E_INVALIDARG;

    // Prefix plus buffer fill whole alignment units; the buffer gets the slack.
    const long long align = pRequest->cbAlign;
    long long unit = (long long)pRequest->cbBuffer + pRequest->cbPrefix;
    unit = (unit + align - 1) / align * align;
    const long long buffer = unit - pRequest->cbPrefix;
    // The whole pool must be addressable with LONG sizes and fit in memory.
    if (buffer > 0x7FFFFFFFLL || unit * (long long)pRequest->cBuffers > (1LL << 40))
        return E_OUTOFMEMORY;

    ALLOCATOR_PROPERTIES granted = *pRequest;
    granted.cbBuffer = (LONG)buffer;
    m_lCount = granted.cBuffers;
    m_lSize = granted.cbBuffer;
    m_lAlignment = granted.cbAlign;
    m_lPrefix = granted.cbPrefix;
    m_bChanged = TRUE;
    *pActual = granted;
    return S_OK;
}

HRESULT CMemAllocator::Alloc()
{
    HRESULT hr = CBaseAllocator::Alloc();
    if (FAILED(hr))
        return hr;
    if (hr == S_FALSE && m_pBuffer)
        return S_OK;
    // New properties: the old samples (all in the pool) and memory go.
    ReallyFree();

    const size_t align = m_lAlignment > 0 ? (size_t)m_lAlignment : 1;
    const size_t unit = ((size_t)m_lSize + (size_t)m_lPrefix + align - 1) / align * align;
    const size_t total = unit * (size_t)m_lCount;
    // aligned_alloc wants a multiple of the alignment, at least that of a pointer.
    const size_t baseAlign = align < alignof(std::max_align_t) ? alignof(std::max_align_t) : align;
    const size_t allocSize = (total + baseAlign - 1) / baseAlign * baseAlign;
    m_pBuffer = static_cast<LPBYTE>(aligned_alloc(baseAlign, allocSize));
    if (!m_pBuffer)
        return E_OUTOFMEMORY;

    LPBYTE next = m_pBuffer;
    for (LONG i = 0; i < m_lCount; ++i, next += unit) {
        HRESULT hrSample = S_OK;
        CMediaSample* sample = new (std::nothrow) CMediaSample(
            NAME("Memory allocator sample"), this, &hrSample, next + m_lPrefix, m_lSize);
        if (!sample || FAILED(hrSample)) {
            delete sample;
            ReallyFree();
            return E_OUTOFMEMORY;
        }
        m_lFree.Add(sample);
        ++m_lAllocated;
    }
    m_bChanged = FALSE;
    return S_OK;
}

void CMemAllocator::Free()
{
    // The memory stays until the properties change or the allocator goes, so
    // a stop/run cycle does not reallocate.
}

void CMemAllocator::ReallyFree()
{
    CAutoLock lock(this);
    ASSERT(m_lAllocated == m_lFree.GetCount());
    while (CMediaSample* sample = m_lFree.RemoveHead())
        delete sample;
    m_lAllocated = 0;
    if (m_pBuffer) {
        free(m_pBuffer);
        m_pBuffer = nullptr;
    }
}

HRESULT CreateMemoryAllocator(IMemAllocator** ppAllocator)
{
    CheckPointer(ppAllocator, E_POINTER);
    *ppAllocator = nullptr;
    HRESULT hr = S_OK;
    CUnknown* object = CMemAllocator::CreateInstance(nullptr, &hr);
    if (!object)
        return FAILED(hr) ? hr : E_OUTOFMEMORY;
    return object->NonDelegatingQueryInterface(IID_IMemAllocator,
                                               reinterpret_cast<void**>(ppAllocator));
}
