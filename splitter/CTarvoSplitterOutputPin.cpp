#include "CTarvoSplitterOutputPin.h"

#include "CTarvoSplitterF.h"

CTarvoSplitterOutputPin::CTarvoSplitterOutputPin(LPCTSTR objectName, CTarvoSplitterF* pFilter,
                                                 CCritSec* pLock, HRESULT* phr, LPCWSTR name,
                                                 const Traits& traits)
    : CBaseOutputPin(objectName, pFilter, pLock, phr, name), m_pSplitter(pFilter), m_traits(traits)
{
}

STDMETHODIMP CTarvoSplitterOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IStreamBuilder)
        return GetInterface(static_cast<IStreamBuilder*>(this), ppv);
    if (riid == IID_IMediaPosition)
        return GetInterface(static_cast<IMediaPosition*>(this), ppv);
    if (riid == IID_IDispatch)
        return GetInterface(static_cast<IDispatch*>(this), ppv);
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CTarvoSplitterOutputPin::CheckMediaType(const CMediaType* pmt)
{
    return pmt && *pmt->Type() == *m_traits.majorType ? S_OK : S_FALSE;
}

HRESULT CTarvoSplitterOutputPin::DecideBufferSize(IMemAllocator* pAlloc,
                                                  ALLOCATOR_PROPERTIES* pRequest)
{
    CheckPointer(pAlloc, E_POINTER);
    CheckPointer(pRequest, E_POINTER);
    pRequest->cBuffers = 1;
    pRequest->cbBuffer = m_traits.bufferSize;
    if (pRequest->cbAlign < 1)
        pRequest->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = pAlloc->SetProperties(pRequest, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer < m_traits.bufferSize ? E_FAIL : S_OK;
}

HRESULT CTarvoSplitterOutputPin::CompleteConnect(IPin* pReceivePin)
{
    HRESULT hr = CBaseOutputPin::CompleteConnect(pReceivePin);
    if (SUCCEEDED(hr))
        m_connected = true;
    return hr;
}

HRESULT CTarvoSplitterOutputPin::BreakConnect()
{
    m_connected = false;
    return CBaseOutputPin::BreakConnect();
}

HRESULT CTarvoSplitterOutputPin::Active()
{
    HRESULT hr = CBaseOutputPin::Active();
    if (SUCCEEDED(hr))
        m_deliveredBytes = 0;
    return hr;
}

void CTarvoSplitterOutputPin::CountDelivered(LONG length)
{
    if (length > 0)
        m_deliveredBytes += length;
    if (length >= m_traits.firstSampleMinLength && !m_firstSampleSent.exchange(true))
        m_pSplitter->NotifyEvent(EC_USER, m_traits.firstSampleEvent, 0);
}

STDMETHODIMP CTarvoSplitterOutputPin::Render(IPin* ppinOut, IGraphBuilder* pGraph)
{
    if (!ppinOut || !pGraph)
        return E_POINTER;
    return E_NOTIMPL;
}

STDMETHODIMP CTarvoSplitterOutputPin::Backout(IPin*, IGraphBuilder*)
{
    return S_OK;
}

STDMETHODIMP CTarvoSplitterOutputPin::GetTypeInfoCount(UINT* pctinfo)
{
    if (pctinfo)
        *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP CTarvoSplitterOutputPin::GetTypeInfo(UINT, LCID, ITypeInfo** pptinfo)
{
    if (pptinfo)
        *pptinfo = nullptr;
    return S_OK;
}

STDMETHODIMP CTarvoSplitterOutputPin::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return S_OK;
}

STDMETHODIMP CTarvoSplitterOutputPin::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                             EXCEPINFO*, UINT*)
{
    return S_OK;
}

STDMETHODIMP CTarvoSplitterOutputPin::CanSeekForward(LONG* pCanSeekForward)
{
    if (pCanSeekForward)
        *pCanSeekForward = OATRUE;
    return S_OK;
}

STDMETHODIMP CTarvoSplitterOutputPin::CanSeekBackward(LONG* pCanSeekBackward)
{
    if (pCanSeekBackward)
        *pCanSeekBackward = OATRUE;
    return S_OK;
}
