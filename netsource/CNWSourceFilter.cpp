#include "CNWSourceFilter.h"

#include "TarvoGuids.h"

#include <new>

CNWSourceFilter::CNWSourceFilter(LPUNKNOWN pUnk, HRESULT* phr)
    : CSource("Tarvo NWSource", pUnk, CLSID_TarvoNWSource, phr)
{
    CAutoLock lock(pStateLock());
    // The pin adds itself to the filter's pin array; CSource deletes it.
    auto* stream = new (std::nothrow) CNWSourceStream(phr, this);
    if (!stream && phr)
        *phr = E_OUTOFMEMORY;
}

CNWSourceFilter::~CNWSourceFilter()
{
    // The pin, and with it the receive thread and a streaming thread, outlive
    // this part of the filter (CSource ends and deletes them later), and they
    // ask it for the stream time whenever they log a ring operation. Closing
    // the ring log first (under the ring lock) ends those calls.
    if (CNetReceiver* r = Receiver())
        r->SetLogPath(nullptr);
    if (m_pLogClock)
        m_pLogClock->Release();
}

STDMETHODIMP CNWSourceFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_INWSource)
        return GetInterface(static_cast<INWSource*>(this), ppv);
    if (riid == IID_ISpecifyPropertyPages)
        return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
    return CSource::NonDelegatingQueryInterface(riid, ppv);
}

CNWSourceStream* CNWSourceFilter::Stream()
{
    return static_cast<CNWSourceStream*>(GetPin(0));
}

CNetReceiver* CNWSourceFilter::Receiver()
{
    CNWSourceStream* stream = Stream();
    return stream ? stream->Receiver() : nullptr;
}

STDMETHODIMP CNWSourceFilter::SetConnectParam(NWConnectType type, const char* address, LONG port)
{
    CNetReceiver* r = Receiver();
    return r ? r->SetConnectParam(type, address, port) : E_FAIL;
}

STDMETHODIMP CNWSourceFilter::GetConnectParam(NWConnectType* type, char* address, USHORT* port)
{
    CNetReceiver* r = Receiver();
    return r ? r->GetConnectParam(type, address, port) : E_FAIL;
}

STDMETHODIMP CNWSourceFilter::StartRecord(const char* path)
{
    CNetReceiver* r = Receiver();
    return r ? r->StartRecord(path) : E_FAIL;
}

STDMETHODIMP CNWSourceFilter::StopRecord()
{
    CNetReceiver* r = Receiver();
    return r ? r->StopRecord() : E_FAIL;
}

STDMETHODIMP CNWSourceFilter::GetRecordPath(char* path)
{
    CNetReceiver* r = Receiver();
    return r ? r->GetRecordPath(path) : E_FAIL;
}

STDMETHODIMP CNWSourceFilter::ReservedMethod(void*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CNWSourceFilter::SetLogPath(const char* path)
{
    CNetReceiver* r = Receiver();
    return r ? r->SetLogPath(path) : E_FAIL;
}

STDMETHODIMP CNWSourceFilter::GetLogPath(char* path)
{
    CNetReceiver* r = Receiver();
    return r ? r->GetLogPath(path) : E_FAIL;
}

STDMETHODIMP CNWSourceFilter::InputData(const BYTE* data, LONG length)
{
    CNetReceiver* r = Receiver();
    if (!r)
        return E_FAIL;
    return r->Write(data, &length, TRUE);
}

STDMETHODIMP CNWSourceFilter::GetStatistics(LONGLONG* recvPackets, LONGLONG* recvLength,
                                            LONGLONG* deliverSamples, LONGLONG* deliverLength)
{
    CNWSourceStream* stream = Stream();
    if (!stream || !stream->Receiver())
        return E_FAIL;
    if (!recvPackets || !recvLength || !deliverSamples || !deliverLength)
        return E_POINTER;
    stream->Receiver()->GetStatistics(recvPackets, recvLength);
    stream->GetDeliveryStatistics(deliverSamples, deliverLength);
    return S_OK;
}

STDMETHODIMP CNWSourceFilter::GetPages(CAUUID* pPages)
{
    if (!pPages)
        return E_POINTER;
    pPages->cElems = 0;
    pPages->pElems = static_cast<GUID*>(CoTaskMemAlloc(sizeof(GUID)));
    if (!pPages->pElems)
        return E_OUTOFMEMORY;
    pPages->cElems = 1;
    pPages->pElems[0] = CLSID_NWSourceProp;
    return S_OK;
}

STDMETHODIMP CNWSourceFilter::Run(REFERENCE_TIME tStart)
{
    const HRESULT hr = CSource::Run(tStart);
    CAutoLock lock(&m_logClockLock);
    m_logStart = tStart;
    return hr;
}

STDMETHODIMP CNWSourceFilter::SetSyncSource(IReferenceClock* pClock)
{
    const HRESULT hr = CSource::SetSyncSource(pClock);
    if (SUCCEEDED(hr)) {
        CAutoLock lock(&m_logClockLock);
        if (pClock)
            pClock->AddRef();
        if (m_pLogClock)
            m_pLogClock->Release();
        m_pLogClock = pClock;
    }
    return hr;
}

LONG CNWSourceFilter::RingLogStreamTime()
{
    CAutoLock lock(&m_logClockLock);
    if (!m_pLogClock)
        return 0;
    REFERENCE_TIME now = 0;
    if (FAILED(m_pLogClock->GetTime(&now)))
        return 0;
    return static_cast<LONG>((now - m_logStart) / 10000);
}
