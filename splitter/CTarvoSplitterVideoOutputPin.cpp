#include "CTarvoSplitterVideoOutputPin.h"

#include "CTarvoSplitterF.h"
#include "CTarvoSplitterInputPin.h"

#include <cmath>

namespace {

constexpr REFERENCE_TIME kUnboundedStop = 0x7FFFFFFFFFFFFFFFLL;

// Seconds with millisecond resolution.
REFTIME MillisecondsToSeconds(int64_t ms)
{
    return static_cast<REFTIME>(ms) / 1000.0;
}

} // namespace

CTarvoSplitterVideoOutputPin::CTarvoSplitterVideoOutputPin(CTarvoSplitterF* pFilter,
                                                           CCritSec* pLock, HRESULT* phr)
    : CTarvoSplitterOutputPin("Tarvo splitter video", pFilter, pLock, phr, L"Video Out",
                              {&MEDIATYPE_Video, kBufferSize, kSplitterEventFirstVideo, 1})
{
}

CTarvoSplitterVideoOutputPin::~CTarvoSplitterVideoOutputPin()
{
    delete m_pOutputQueue;
}

HRESULT CTarvoSplitterVideoOutputPin::GetMediaType(int iPosition, CMediaType* pmt)
{
    CheckPointer(pmt, E_POINTER);
    if (iPosition < 0)
        return E_INVALIDARG;
    if (iPosition > 0)
        return VFW_S_NO_MORE_ITEMS;
    auto* input = static_cast<CTarvoSplitterInputPin*>(m_pSplitter->GetPin(0));
    if (!input || !input->IsConnected())
        return VFW_S_NO_MORE_ITEMS;
    return m_pSplitter->VideoMediaType(pmt);
}

HRESULT CTarvoSplitterVideoOutputPin::Active()
{
    HRESULT hr = CTarvoSplitterOutputPin::Active();
    if (FAILED(hr))
        return hr;
    hr = S_OK;
    auto* queue = new (std::nothrow) COutputQueue(GetConnected(), &hr, FALSE, TRUE, 1, FALSE, 10);
    if (!queue)
        return E_OUTOFMEMORY;
    if (FAILED(hr)) {
        delete queue;
        return hr;
    }
    {
        CAutoLock lock(&m_queueLock);
        delete m_pOutputQueue;
        m_pOutputQueue = queue;
    }
    return S_OK;
}

HRESULT CTarvoSplitterVideoOutputPin::Inactive()
{
    COutputQueue* queue = nullptr;
    {
        CAutoLock lock(&m_queueLock);
        queue = m_pOutputQueue;
        m_pOutputQueue = nullptr;
    }
    // Decommitting first wakes the delivery thread if it waits for a buffer.
    HRESULT hr = CTarvoSplitterOutputPin::Inactive();
    delete queue;
    return hr;
}

HRESULT CTarvoSplitterVideoOutputPin::Deliver(IMediaSample* pSample)
{
    CheckPointer(pSample, E_POINTER);
    const LONG length = pSample->GetActualDataLength();
    HRESULT hr = S_OK;
    {
        CAutoLock lock(&m_queueLock);
        if (!m_pOutputQueue)
            return VFW_E_NOT_CONNECTED;
        pSample->AddRef(); // the queue takes this reference over
        hr = m_pOutputQueue->Receive(pSample);
    }
    CountDelivered(length);
    return hr;
}

HRESULT CTarvoSplitterVideoOutputPin::DeliverEndOfStream()
{
    CAutoLock lock(&m_queueLock);
    if (m_pOutputQueue)
        m_pOutputQueue->EOS();
    return S_OK;
}

HRESULT CTarvoSplitterVideoOutputPin::DeliverBeginFlush()
{
    CAutoLock lock(&m_queueLock);
    if (m_pOutputQueue)
        m_pOutputQueue->BeginFlush();
    return S_OK;
}

HRESULT CTarvoSplitterVideoOutputPin::DeliverEndFlush()
{
    CAutoLock lock(&m_queueLock);
    if (m_pOutputQueue)
        m_pOutputQueue->EndFlush();
    return S_OK;
}

HRESULT CTarvoSplitterVideoOutputPin::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                                        double dRate)
{
    CAutoLock lock(&m_queueLock);
    if (m_pOutputQueue)
        m_pOutputQueue->NewSegment(tStart, tStop, dRate);
    return S_OK;
}

// ---- IMediaPosition ----

int64_t CTarvoSplitterVideoOutputPin::FileValue(int64_t (CBaseParser::*get)())
{
    CAutoLock lock(m_pLock);
    int64_t value = 0;
    if (m_pSplitter->HasFileParser())
        m_pSplitter->WithParser([&](CBaseParser& p) { value = (p.*get)(); });
    return value;
}

STDMETHODIMP CTarvoSplitterVideoOutputPin::get_Duration(REFTIME* plength)
{
    CheckPointer(plength, E_POINTER);
    *plength = MillisecondsToSeconds(FileValue(&CBaseParser::GetDuration) / 1000);
    return S_OK;
}

STDMETHODIMP CTarvoSplitterVideoOutputPin::put_CurrentPosition(REFTIME llTime)
{
    CAutoLock lock(m_pLock);
    if (!m_pSplitter->HasFileParser())
        return E_NOTIMPL;
    int result = -1;
    const int64_t us = static_cast<int64_t>(llTime) * 1000000;
    m_pSplitter->WithParser([&](CBaseParser& p) { result = p.SeekTime(us); });
    if (result != 0)
        return S_FALSE;
    DeliverNewSegment(0, kUnboundedStop, 1.0);
    m_pSplitter->MarkNewSegment();
    return S_OK;
}

STDMETHODIMP CTarvoSplitterVideoOutputPin::get_CurrentPosition(REFTIME* pllTime)
{
    CheckPointer(pllTime, E_POINTER);
    *pllTime = MillisecondsToSeconds(FileValue(&CBaseParser::GetPosition) / 10000);
    return S_OK;
}

STDMETHODIMP CTarvoSplitterVideoOutputPin::get_StopTime(REFTIME* pllTime)
{
    CheckPointer(pllTime, E_POINTER);
    *pllTime = static_cast<REFTIME>(FileValue(&CBaseParser::GetDuration) / 1000000);
    return S_OK;
}

STDMETHODIMP CTarvoSplitterVideoOutputPin::put_StopTime(REFTIME)
{
    return S_OK;
}

STDMETHODIMP CTarvoSplitterVideoOutputPin::get_PrerollTime(REFTIME* pllTime)
{
    CheckPointer(pllTime, E_POINTER);
    *pllTime = 0;
    return S_OK;
}

STDMETHODIMP CTarvoSplitterVideoOutputPin::put_PrerollTime(REFTIME)
{
    return S_OK;
}

STDMETHODIMP CTarvoSplitterVideoOutputPin::put_Rate(double dRate)
{
    CAutoLock lock(m_pLock);
    CFrameQueue* queue = m_pSplitter->FrameQueue();
    const bool file = m_pSplitter->HasFileParser();
    if (!queue && !file)
        return E_NOTIMPL;
    double old = 1.0;
    if (queue)
        old = queue->GetRate();
    else
        m_pSplitter->WithParser([&](CBaseParser& p) { old = p.GetRate(); });
    DeliverBeginFlush();
    if (queue) {
        queue->SetRate(dRate);
        DeliverEndFlush();
        return S_OK;
    }
    m_pSplitter->WithParser([&](CBaseParser& p) { p.SetRate(dRate); });
    m_pSplitter->SetPlayDirection(dRate < 0 ? 4 : 1);
    DeliverEndFlush();
    auto outsideNormal = [](double r) { return r < 0 || r > 1; };
    if (old != dRate && (outsideNormal(old) || outsideNormal(dRate)))
        DeliverNewSegment(0, kUnboundedStop, 1.0);
    m_pSplitter->MarkNewSegment();
    return S_OK;
}

STDMETHODIMP CTarvoSplitterVideoOutputPin::get_Rate(double* pdRate)
{
    CheckPointer(pdRate, E_POINTER);
    CAutoLock lock(m_pLock);
    *pdRate = 1.0;
    if (CFrameQueue* queue = m_pSplitter->FrameQueue()) {
        *pdRate = queue->GetRate();
        DeliverNewSegment(0, kUnboundedStop, 1.0);
    } else if (m_pSplitter->HasFileParser()) {
        m_pSplitter->WithParser([&](CBaseParser& p) { *pdRate = p.GetRate(); });
    }
    return S_OK;
}
