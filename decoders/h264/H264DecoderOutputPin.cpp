#include "H264DecoderOutputPin.h"

#include "H264DecTrace.h"
#include "H264DecoderInputPin.h"
#include "TarvoH264DecoderFilter.h"

#include <dvdmedia.h>
#include <posthru.h>
#include <uuids.h>

#include <cstring>
#include <new>

namespace {

// The picture size a video type describes (0 x 0 when it describes none).
void TypeSize(const CMediaType* mt, UINT* width, UINT* height)
{
    *width = *height = 0;
    const BITMAPINFOHEADER* bmi = nullptr;
    if (mt->formattype == FORMAT_VideoInfo2 && mt->cbFormat >= sizeof(VIDEOINFOHEADER2))
        bmi = &reinterpret_cast<const VIDEOINFOHEADER2*>(mt->pbFormat)->bmiHeader;
    else if (mt->formattype == FORMAT_VideoInfo && mt->cbFormat >= sizeof(VIDEOINFOHEADER))
        bmi = &reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat)->bmiHeader;
    if (bmi && bmi->biWidth > 0 && bmi->biHeight != 0) {
        *width = static_cast<UINT>(bmi->biWidth);
        *height = static_cast<UINT>(bmi->biHeight < 0 ? -bmi->biHeight : bmi->biHeight);
    }
}

} // namespace

H264DecoderOutputPin::H264DecoderOutputPin(TarvoH264DecoderFilter* filter, HRESULT* phr)
    : CBaseOutputPin("H264 decoder output", filter, filter->FilterLock(), phr, L"Output"),
      m_pFilter(filter)
{
    // Not zeroed: every picture writes the bytes it delivers, and a wall of
    // players builds its graphs one after another, so the pages are better
    // touched by the decoder when a picture needs them than all at once here.
    m_buffer.reset(new (std::nothrow) BYTE[kSampleBytes]);
    if (m_buffer)
        m_pSample = new (std::nothrow)
            CMediaSample("H264 decoder picture", nullptr, phr, m_buffer.get(), kSampleBytes);
    if (!m_pSample) {
        if (phr)
            *phr = E_OUTOFMEMORY;
        return;
    }
    m_bufferSize = kSampleBytes;
    m_pSample->AddRef();
}

H264DecoderOutputPin::~H264DecoderOutputPin()
{
    delete m_pQueue;
    if (m_pPosition)
        m_pPosition->Release();
    if (m_pSample)
        m_pSample->Release();
}

STDMETHODIMP H264DecoderOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMediaSeeking || riid == IID_IMediaPosition) {
        CAutoLock lock(m_pLock);
        if (!m_pPosition) {
            const HRESULT hr =
                CreatePosPassThru(GetOwner(), FALSE, m_pFilter->Input(), &m_pPosition);
            if (FAILED(hr)) {
                *ppv = nullptr;
                return hr;
            }
        }
        return m_pPosition->QueryInterface(riid, ppv);
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT H264DecoderOutputPin::CheckMediaType(const CMediaType*)
{
    CAutoLock lock(m_pLock);
    return S_OK;
}

HRESULT H264DecoderOutputPin::SetMediaType(const CMediaType* mt)
{
    CAutoLock lock(m_pLock);
    if (!m_pFilter->Input()->IsConnected())
        return VFW_E_NOT_CONNECTED;
    const HRESULT hr = CBaseOutputPin::SetMediaType(mt);
    if (FAILED(hr))
        return hr;
    CAutoLock receive(m_pFilter->ReceiveLock());
    TypeSize(mt, &m_typeWidth, &m_typeHeight);
    return hr;
}

HRESULT H264DecoderOutputPin::GetMediaType(int position, CMediaType* mt)
{
    CheckPointer(mt, E_POINTER);
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    UINT width = 0, height = 0;
    m_pFilter->PictureSize(&width, &height);
    TarvoH264DecoderFilter::MakeOutputType(mt, width, height);
    return S_OK;
}

HRESULT H264DecoderOutputPin::DecideAllocator(IMemInputPin* pPin, IMemAllocator** ppAlloc)
{
    CheckPointer(pPin, E_POINTER);
    CheckPointer(ppAlloc, E_POINTER);
    if (*ppAlloc) {
        (*ppAlloc)->Release();
        *ppAlloc = nullptr;
    }
    IMemAllocator* upstream = m_pFilter->UpstreamAllocator();
    const HRESULT hr = pPin->NotifyAllocator(upstream, FALSE);
    if (FAILED(hr))
        return hr;
    upstream->AddRef();
    *ppAlloc = upstream;
    return S_OK;
}

HRESULT H264DecoderOutputPin::CompleteConnect(IPin* pReceivePin)
{
    const HRESULT hr = CBaseOutputPin::CompleteConnect(pReceivePin);
    if (FAILED(hr))
        return hr;
    IPictureBufferSource* lender = PictureBufferSourceOf(pReceivePin);
    CAutoLock receive(m_pFilter->ReceiveLock());
    m_pLender = lender;
    return hr;
}

HRESULT H264DecoderOutputPin::BreakConnect()
{
    {
        CAutoLock receive(m_pFilter->ReceiveLock());
        m_pLender = nullptr;
    }
    return CBaseOutputPin::BreakConnect();
}

HRESULT H264DecoderOutputPin::Active()
{
    CAutoLock lock(m_pLock);
    if (IsConnected() && !m_pQueue) {
        HRESULT hr = S_OK;
        m_pQueue = new (std::nothrow)
            COutputQueue(GetConnected(), &hr, TRUE, FALSE, 1, FALSE, 10, THREAD_PRIORITY_NORMAL);
        if (!m_pQueue)
            return E_OUTOFMEMORY;
        if (FAILED(hr)) {
            delete m_pQueue;
            m_pQueue = nullptr;
            return hr;
        }
    }
    return CBaseOutputPin::Active();
}

HRESULT H264DecoderOutputPin::Inactive()
{
    delete m_pQueue;
    m_pQueue = nullptr;
    return CBaseOutputPin::Inactive();
}

HRESULT H264DecoderOutputPin::DeliverEndOfStream()
{
    if (m_pQueue)
        m_pQueue->EOS();
    return S_OK;
}

HRESULT H264DecoderOutputPin::DeliverBeginFlush()
{
    if (m_pQueue)
        m_pQueue->BeginFlush();
    return S_OK;
}

HRESULT H264DecoderOutputPin::DeliverEndFlush()
{
    if (m_pQueue)
        m_pQueue->EndFlush();
    return S_OK;
}

HRESULT H264DecoderOutputPin::DeliverNewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                                double dRate)
{
    if (m_pQueue)
        m_pQueue->NewSegment(tStart, tStop, dRate);
    return S_OK;
}

IMediaSample* H264DecoderOutputPin::PrepareSample(UINT width, UINT height)
{
    if (!m_pSample || width == 0 || height == 0)
        return nullptr;
    const size_t bytes = static_cast<size_t>(width) * height * 2;
    if (bytes > 0x7FFFFFFF)
        return nullptr;
    if (width != m_typeWidth || height != m_typeHeight) {
        // A new size goes downstream as a new type on the sample, never as
        // more bytes than the old type describes.
        IPin* connected = GetConnected();
        if (!connected)
            return nullptr;
        CMediaType mt;
        TarvoH264DecoderFilter::MakeOutputType(&mt, width, height);
        if (connected->QueryAccept(&mt) != S_OK) {
            H264DEC_TRACE("downstream refuses %ux%u", width, height);
            return nullptr;
        }
        if (FAILED(m_pSample->SetMediaType(&mt)))
            return nullptr;
        H264DEC_TRACE("output type now %ux%u (was %ux%u)", width, height, m_typeWidth,
                      m_typeHeight);
        m_typeWidth = width;
        m_typeHeight = height;
        m_typePending = true;
        m_pFilter->SetDecodedSize(width, height);
    }
    // A picture that brings a new type goes in the pin's own sample, which
    // carries the type; a lent one carries none.
    if (!m_typePending) {
        if (IMediaSample* lent =
                BorrowPictureBuffer(m_pLender, static_cast<LONG>(width), static_cast<LONG>(height),
                                    static_cast<LONG>(bytes))) {
            lent->SetMediaType(nullptr); // the type is the agreed one
            return lent;
        }
    }
    if (bytes > static_cast<size_t>(m_bufferSize)) {
        std::unique_ptr<BYTE[]> bigger(new (std::nothrow) BYTE[bytes]());
        if (!bigger)
            return nullptr;
        m_pSample->SetPointer(bigger.get(), static_cast<LONG>(bytes));
        m_buffer = std::move(bigger);
        m_bufferSize = static_cast<LONG>(bytes);
    }
    m_pSample->AddRef();
    return m_pSample;
}

void H264DecoderOutputPin::SampleDelivered()
{
    if (m_pSample)
        m_pSample->SetMediaType(nullptr);
    m_typePending = false;
}
