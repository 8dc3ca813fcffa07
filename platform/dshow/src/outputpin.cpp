// CBaseOutputPin: allocator negotiation and delivery to an IMemInputPin.
#include "amfilter.h"
#include "dshowtrace.h"

CBaseOutputPin::CBaseOutputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock,
                               HRESULT* phr, LPCWSTR pName)
    : CBasePin(pObjectName, pFilter, pLock, phr, pName, PINDIR_OUTPUT)
{
}

CBaseOutputPin::~CBaseOutputPin()
{
    if (m_pAllocator) {
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    if (m_pInputPin) {
        m_pInputPin->Release();
        m_pInputPin = nullptr;
    }
}

HRESULT CBaseOutputPin::CompleteConnect(IPin* /*pReceivePin*/)
{
    const HRESULT hr = DecideAllocator(m_pInputPin, &m_pAllocator);
    DSHOW_TRACE("pin %p \"%s\": DecideAllocator -> 0x%08x (allocator %p)", (void*)this,
                TvDshowTraceName(m_pName).c_str(), (unsigned)hr, (void*)m_pAllocator);
    return hr;
}

HRESULT CBaseOutputPin::DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAlloc)
{
    CheckPointer(pPin, E_POINTER);
    CheckPointer(ppAlloc, E_POINTER);
    // Replaces an allocator left from an earlier attempt.
    if (*ppAlloc) {
        (*ppAlloc)->Release();
        *ppAlloc = nullptr;
    }
    ALLOCATOR_PROPERTIES request{};
    pPin->GetAllocatorRequirements(&request); // E_NOTIMPL: no requirements
    if (request.cbAlign == 0)
        request.cbAlign = 1;

    // The downstream pin's allocator first.
    HRESULT hr = pPin->GetAllocator(ppAlloc);
    if (SUCCEEDED(hr) && *ppAlloc) {
        ALLOCATOR_PROPERTIES props = request;
        hr = DecideBufferSize(*ppAlloc, &props);
        if (SUCCEEDED(hr)) {
            hr = pPin->NotifyAllocator(*ppAlloc, FALSE);
            if (SUCCEEDED(hr))
                return S_OK;
        }
    }
    if (*ppAlloc) {
        (*ppAlloc)->Release();
        *ppAlloc = nullptr;
    }

    // Then our own.
    hr = InitAllocator(ppAlloc);
    if (SUCCEEDED(hr) && *ppAlloc) {
        ALLOCATOR_PROPERTIES props = request;
        hr = DecideBufferSize(*ppAlloc, &props);
        if (SUCCEEDED(hr)) {
            hr = pPin->NotifyAllocator(*ppAlloc, FALSE);
            if (SUCCEEDED(hr))
                return S_OK;
        }
    }
    if (*ppAlloc) {
        (*ppAlloc)->Release();
        *ppAlloc = nullptr;
    }
    return FAILED(hr) ? hr : VFW_E_NO_ALLOCATOR;
}

HRESULT CBaseOutputPin::InitAllocator(IMemAllocator** ppAlloc)
{
    return CreateMemoryAllocator(ppAlloc);
}

HRESULT CBaseOutputPin::GetDeliveryBuffer(IMediaSample** ppSample, REFERENCE_TIME* pStartTime,
                                          REFERENCE_TIME* pEndTime, DWORD dwFlags)
{
    CheckPointer(ppSample, E_POINTER);
    *ppSample = nullptr;
    if (!m_pAllocator)
        return E_NOINTERFACE;
    return m_pAllocator->GetBuffer(ppSample, pStartTime, pEndTime, dwFlags);
}

HRESULT CBaseOutputPin::Deliver(IMediaSample* pSample)
{
    CheckPointer(pSample, E_POINTER);
    if (!m_pInputPin)
        return VFW_E_NOT_CONNECTED;
    return m_pInputPin->Receive(pSample);
}

HRESULT CBaseOutputPin::DeliverEndOfStream()
{
    if (!m_Connected)
        return VFW_E_NOT_CONNECTED;
    return m_Connected->EndOfStream();
}

HRESULT CBaseOutputPin::DeliverBeginFlush()
{
    if (!m_Connected)
        return VFW_E_NOT_CONNECTED;
    return m_Connected->BeginFlush();
}

HRESULT CBaseOutputPin::DeliverEndFlush()
{
    if (!m_Connected)
        return VFW_E_NOT_CONNECTED;
    return m_Connected->EndFlush();
}

HRESULT CBaseOutputPin::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate)
{
    if (!m_Connected)
        return VFW_E_NOT_CONNECTED;
    return m_Connected->NewSegment(tStart, tStop, dRate);
}

HRESULT CBaseOutputPin::CheckConnect(IPin* pPin)
{
    HRESULT hr = CBasePin::CheckConnect(pPin);
    if (FAILED(hr))
        return hr;
    if (m_pInputPin) {
        m_pInputPin->Release();
        m_pInputPin = nullptr;
    }
    hr = pPin->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&m_pInputPin));
    if (FAILED(hr) || !m_pInputPin) {
        m_pInputPin = nullptr;
        return E_NOINTERFACE;
    }
    return S_OK;
}

HRESULT CBaseOutputPin::BreakConnect()
{
    if (m_pAllocator) {
        // Stopped by now, but a failed Pause may have left it committed.
        const HRESULT hr = m_pAllocator->Decommit();
        if (FAILED(hr))
            return hr;
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    if (m_pInputPin) {
        m_pInputPin->Release();
        m_pInputPin = nullptr;
    }
    return S_OK;
}

HRESULT CBaseOutputPin::Active()
{
    if (!m_pAllocator)
        return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Commit();
}

HRESULT CBaseOutputPin::Inactive()
{
    m_bRunTimeError = false;
    if (!m_pAllocator)
        return VFW_E_NO_ALLOCATOR;
    return m_pAllocator->Decommit();
}

STDMETHODIMP CBaseOutputPin::EndOfStream()
{
    return E_UNEXPECTED;
}

STDMETHODIMP CBaseOutputPin::BeginFlush()
{
    return E_UNEXPECTED;
}

STDMETHODIMP CBaseOutputPin::EndFlush()
{
    return E_UNEXPECTED;
}
