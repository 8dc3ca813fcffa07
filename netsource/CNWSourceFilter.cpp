#include "CNWSourceFilter.h"

#include "TarvoGuids.h"
#include "win32/trace.h"

#include <new>

namespace {

constexpr char kTraceChannel[] = "nwsource";

} // namespace

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

// Every INWSource call is traced on the "nwsource" channel with its arguments,
// its result and what it gives back.

STDMETHODIMP CNWSourceFilter::SetConnectParam(NWConnectType type, const char* address, LONG port)
{
    CTvTraceCall trace(kTraceChannel, "SetConnectParam(%d, \"%s\", %d)", static_cast<int>(type),
                       TvTraceText(address), static_cast<int>(port));
    CNetReceiver* r = Receiver();
    return trace(r ? r->SetConnectParam(type, address, port) : E_FAIL);
}

STDMETHODIMP CNWSourceFilter::GetConnectParam(NWConnectType* type, char* address, USHORT* port)
{
    CTvTraceCall trace(kTraceChannel, "GetConnectParam(%p, %p, %p)", static_cast<void*>(type),
                       static_cast<void*>(address), static_cast<void*>(port));
    CNetReceiver* r = Receiver();
    const HRESULT hr = r ? r->GetConnectParam(type, address, port) : E_FAIL;
    if (trace.On() && hr == S_OK)
        trace.Detail("type %d, address \"%s\", port %u", static_cast<int>(*type), address,
                     static_cast<unsigned>(*port));
    return trace(hr);
}

STDMETHODIMP CNWSourceFilter::StartRecord(const char* path)
{
    CTvTraceCall trace(kTraceChannel, "StartRecord(\"%s\")", TvTraceText(path));
    CNetReceiver* r = Receiver();
    return trace(r ? r->StartRecord(path) : E_FAIL);
}

STDMETHODIMP CNWSourceFilter::StopRecord()
{
    CTvTraceCall trace(kTraceChannel, "StopRecord()");
    CNetReceiver* r = Receiver();
    return trace(r ? r->StopRecord() : E_FAIL);
}

STDMETHODIMP CNWSourceFilter::GetRecordPath(char* path)
{
    CTvTraceCall trace(kTraceChannel, "GetRecordPath(%p)", static_cast<void*>(path));
    CNetReceiver* r = Receiver();
    const HRESULT hr = r ? r->GetRecordPath(path) : E_FAIL;
    if (trace.On() && hr == S_OK)
        trace.Detail("\"%s\"", path);
    return trace(hr);
}

STDMETHODIMP CNWSourceFilter::ReservedMethod(void* reserved)
{
    CTvTraceCall trace(kTraceChannel, "ReservedMethod(%p)", reserved);
    return trace(E_NOTIMPL);
}

STDMETHODIMP CNWSourceFilter::SetLogPath(const char* path)
{
    CTvTraceCall trace(kTraceChannel, "SetLogPath(\"%s\")", TvTraceText(path));
    CNetReceiver* r = Receiver();
    return trace(r ? r->SetLogPath(path) : E_FAIL);
}

STDMETHODIMP CNWSourceFilter::GetLogPath(char* path)
{
    CTvTraceCall trace(kTraceChannel, "GetLogPath(%p)", static_cast<void*>(path));
    CNetReceiver* r = Receiver();
    const HRESULT hr = r ? r->GetLogPath(path) : E_FAIL;
    if (trace.On() && hr == S_OK)
        trace.Detail("\"%s\"", path);
    return trace(hr);
}

STDMETHODIMP CNWSourceFilter::InputData(const BYTE* data, LONG length)
{
    CTvTraceCall trace(kTraceChannel, "InputData(%p, %d)", static_cast<const void*>(data),
                       static_cast<int>(length));
    CNetReceiver* r = Receiver();
    return trace(r ? r->Write(data, &length, TRUE) : E_FAIL);
}

STDMETHODIMP CNWSourceFilter::GetStatistics(LONGLONG* recvPackets, LONGLONG* recvLength,
                                            LONGLONG* deliverSamples, LONGLONG* deliverLength)
{
    CTvTraceCall trace(kTraceChannel, "GetStatistics(%p, %p, %p, %p)",
                       static_cast<void*>(recvPackets), static_cast<void*>(recvLength),
                       static_cast<void*>(deliverSamples), static_cast<void*>(deliverLength));
    CNWSourceStream* stream = Stream();
    if (!stream || !stream->Receiver())
        return trace(E_FAIL);
    if (!recvPackets || !recvLength || !deliverSamples || !deliverLength)
        return trace(E_POINTER);
    stream->Receiver()->GetStatistics(recvPackets, recvLength);
    stream->GetDeliveryStatistics(deliverSamples, deliverLength);
    if (trace.On())
        trace.Detail("received %lld blocks, %lld bytes; delivered %lld samples, %lld bytes",
                     static_cast<long long>(*recvPackets), static_cast<long long>(*recvLength),
                     static_cast<long long>(*deliverSamples),
                     static_cast<long long>(*deliverLength));
    return trace(S_OK);
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
