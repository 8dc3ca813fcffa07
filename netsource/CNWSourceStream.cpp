#include "CNWSourceStream.h"

#include "CNWSourceFilter.h"

#include <amvideo.h>
#include <uuids.h>
#include <vfwmsgs.h>
#include <cstring>
#include <pthread.h>
#include <new>

CNWSourceStream::CNWSourceStream(HRESULT* phr, CNWSourceFilter* pFilter)
    : CSourceStream("NWSourceStream", phr, pFilter, L"Out Pin!"),
      m_pReceiver(new (std::nothrow) CNetReceiver(pFilter, kRingCapacity))
{
    if (!m_pReceiver && phr)
        *phr = E_OUTOFMEMORY;
}

CNWSourceStream::~CNWSourceStream()
{
    delete m_pReceiver;
}

void CNWSourceStream::GetDeliveryStatistics(LONGLONG* samples, LONGLONG* length) const
{
    if (samples)
        *samples = m_deliverSamples.load();
    if (length)
        *length = m_deliverLength.load();
}

HRESULT CNWSourceStream::OnThreadCreate()
{
    // Named so measurements and debuggers find it among the graph's threads.
    pthread_setname_np(pthread_self(), "tv-nwpin");
    return S_OK;
}

HRESULT CNWSourceStream::FillBuffer(IMediaSample* pSample)
{
    if (!pSample)
        return E_POINTER;
    BYTE* data = nullptr;
    pSample->GetPointer(&data);
    const LONG size = pSample->GetSize();
    LONG length = size;
    if (!m_pReceiver || !data || FAILED(m_pReceiver->Read(data, &length, TRUE)))
        length = 0;
    if (length == 0 && m_pReceiver && data) {
        // Nothing there: sleep until bytes come, the thread is asked to stop
        // or pause, or kIdleSampleMs pass (then an empty sample goes out).
        // Waking to look every millisecond would cost a wall of idle players
        // a thousand wake-ups a second each.
        const HANDLE waits[2] = {GetRequestHandle(), m_pReceiver->DataEvent()};
        const DWORD woken = WaitForMultipleObjects(waits[1] ? 2 : 1, waits, FALSE, kIdleSampleMs);
        if (woken == WAIT_OBJECT_0) {
            // The wait took the request's signal: give it back for the
            // processing loop to see.
            SetEvent(GetRequestHandle());
        } else if (woken == WAIT_OBJECT_0 + 1) {
            length = size;
            if (FAILED(m_pReceiver->Read(data, &length, TRUE)))
                length = 0;
        }
    }

    if (length > 0) {
        m_deliverSamples.fetch_add(1);
        m_deliverLength.fetch_add(length);
    }
    // Bytes as they came, cut anywhere: the splitter finds the frames itself.
    pSample->SetActualDataLength(length);
    pSample->SetTime(nullptr, nullptr);
    pSample->SetSyncPoint(TRUE);
    return S_OK;
}

HRESULT CNWSourceStream::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pRequest)
{
    CAutoLock lock(m_pFilter->pStateLock());
    if (!pAlloc || !pRequest)
        return E_POINTER;
    pRequest->cBuffers = 1;
    pRequest->cbBuffer = kSampleSize;
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = pAlloc->SetProperties(pRequest, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer < kSampleSize ? E_FAIL : S_OK;
}

HRESULT CNWSourceStream::CheckMediaType(const CMediaType* pMediaType)
{
    return pMediaType ? S_OK : E_POINTER;
}

HRESULT CNWSourceStream::GetMediaType(int iPosition, CMediaType* pMediaType)
{
    CAutoLock lock(m_pFilter->pStateLock());
    if (!pMediaType)
        return E_POINTER;
    if (iPosition < 0)
        return E_INVALIDARG;
    if (iPosition > 0)
        return VFW_S_NO_MORE_ITEMS;

    // A format block with no real picture description: the splitter reads
    // the stream, not this.
    auto* vi = reinterpret_cast<VIDEOINFO*>(pMediaType->AllocFormatBuffer(sizeof(VIDEOINFO)));
    if (!vi)
        return E_OUTOFMEMORY;
    memset(vi, 0, sizeof(VIDEOINFO));
    vi->AvgTimePerFrame = 400000;
    vi->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vi->bmiHeader.biPlanes = 1;
    vi->bmiHeader.biBitCount = 32;
    vi->bmiHeader.biSizeImage = GetBitmapSize(&vi->bmiHeader);

    pMediaType->SetType(&MEDIATYPE_Video);
    pMediaType->SetSubtype(&MEDIASUBTYPE_MPEG2_VIDEO);
    pMediaType->SetFormatType(&FORMAT_MPEG2Video);
    pMediaType->SetSampleSize(vi->bmiHeader.biSizeImage);
    return S_OK;
}

HRESULT CNWSourceStream::Active()
{
    m_deliverSamples = 0;
    m_deliverLength = 0;
    if (m_pReceiver)
        m_pReceiver->Reset();
    return CSourceStream::Active();
}
