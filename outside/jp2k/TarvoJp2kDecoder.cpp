#include "TarvoJp2kDecoder.h"

#include "OutsideFilterIds.h"
#include "win32/trace.h"
#include "TarvoMediaTypes.h"
#include "TransformParts.h"
#include "VideoFormat.h"

#include <new>

// The creation template's form; nothing here can fail.
TarvoJp2kDecoder::TarvoJp2kDecoder(LPUNKNOWN pUnk, HRESULT*)
    : CTransformFilter("Tarvo Jp2k Decoder", pUnk, CLSID_TarvoJp2kDecoder)
{
}

TarvoJp2kDecoder::~TarvoJp2kDecoder()
{
    delete m_pInfo;
}

STDMETHODIMP TarvoJp2kDecoder::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IJp2kDecoderControl)
        return GetInterface(static_cast<IJp2kDecoderControl*>(this), ppv);
    return CTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

CBasePin* TarvoJp2kDecoder::GetPin(int n)
{
    if (!m_pInput) {
        HRESULT hr = S_OK;
        m_pInput = new (std::nothrow) CTransformInputPin("jp2k input pin", this, &hr, L"Input");
        if (m_pInput && SUCCEEDED(hr))
            m_pOutput = m_pPicture = new (std::nothrow) CPictureOutputPin(this, &hr);
        if (m_pOutput && SUCCEEDED(hr))
            m_pInfo = new (std::nothrow) CJp2kInfoPin(this, &m_csFilter, &hr);
        if (!m_pInput || !m_pOutput || !m_pInfo || FAILED(hr)) {
            delete m_pInfo;
            m_pInfo = nullptr;
            delete m_pOutput;
            m_pOutput = m_pPicture = nullptr;
            delete m_pInput;
            m_pInput = nullptr;
            return nullptr;
        }
    }
    switch (n) {
    case 0:
        return m_pInput;
    case 1:
        return m_pOutput;
    case 2:
        return m_pInfo;
    default:
        return nullptr;
    }
}

STDMETHODIMP TarvoJp2kDecoder::Stop()
{
    {
        CAutoLock lock(&m_csFilter);
        // Its allocator too must let a Receive waiting for a buffer go.
        if (m_pInfo && m_pInfo->IsConnected() && m_State != State_Stopped)
            m_pInfo->Inactive();
    }
    return CTransformFilter::Stop();
}

HRESULT TarvoJp2kDecoder::CheckInputType(const CMediaType* mtIn)
{
    CheckPointer(mtIn, E_POINTER);
    VideoFormat f;
    if (!IsEqualGUID(mtIn->subtype, MEDIASUBTYPE_TarvoJpeg2000) ||
        IsEqualGUID(mtIn->formattype, FORMAT_MPEG2Video) || !ReadVideoFormat(*mtIn, &f))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT TarvoJp2kDecoder::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut)
{
    CheckPointer(mtIn, E_POINTER);
    CheckPointer(mtOut, E_POINTER);
    int width = 0, height = 0;
    return Yuy2TypeSize(*mtOut, &width, &height) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TarvoJp2kDecoder::SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt)
{
    if (direction != PINDIR_INPUT)
        return S_OK;
    VideoFormat f;
    if (!ReadVideoFormat(*pmt, &f))
        return VFW_E_TYPE_NOT_ACCEPTED;
    m_avgTimePerFrame = f.avgTimePerFrame;
    int width = f.Width(), height = f.Height();
    if (width < 1 || height < 1 || width > static_cast<int>(CJp2kPictureDecoder::kMaxFieldSide) ||
        height > static_cast<int>(CJp2kPictureDecoder::kMaxFieldSide)) {
        width = kDefaultFieldWidth;
        height = kDefaultFieldHeight;
    }
    CAutoLock lock(&m_sizeLock);
    m_fieldWidth = width;
    m_fieldHeight = height;
    return S_OK;
}

HRESULT TarvoJp2kDecoder::GetMediaType(int iPosition, CMediaType* pMediaType)
{
    CheckPointer(pMediaType, E_POINTER);
    if (iPosition < 0)
        return E_INVALIDARG;
    if (iPosition > 0)
        return VFW_S_NO_MORE_ITEMS;
    int width = 0, height = 0;
    {
        CAutoLock lock(&m_sizeLock);
        CJp2kPictureDecoder::ReducedPictureSize(m_fieldWidth, m_fieldHeight, m_reduceLevel, &width,
                                                &height);
    }
    return MakeYuy2Type(pMediaType, width, height, m_avgTimePerFrame) ? S_OK : E_OUTOFMEMORY;
}

HRESULT TarvoJp2kDecoder::DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop)
{
    CheckPointer(pAllocator, E_POINTER);
    CheckPointer(pprop, E_POINTER);
    int width = 0, height = 0;
    if (!Yuy2TypeSize(m_pOutput->CurrentMediaType(), &width, &height))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return SetAllocatorFor(pAllocator, *pprop, 3, static_cast<LONG>(Yuy2Stride(width)) * height);
}

HRESULT TarvoJp2kDecoder::StopStreaming()
{
    m_pPicture->EndStreaming();
    return S_OK;
}

HRESULT TarvoJp2kDecoder::Receive(IMediaSample* pSample)
{
    AM_SAMPLE2_PROPERTIES* const props = m_pInput->SampleProps();
    if (props->dwStreamId != AM_STREAM_MEDIA)
        return m_pOutput->Deliver(pSample);
    BYTE* data = nullptr;
    const long length = pSample->GetActualDataLength();
    if (FAILED(pSample->GetPointer(&data)) || !data || length <= 0)
        return S_OK;
    Jp2kFieldPair pair;
    if (!SplitJp2kFieldPair({data, static_cast<size_t>(length)}, &pair)) {
        TV_TRACE("jp2kdec", "a sample of %ld bytes holds no first field", length);
        return S_OK;
    }
    const int level = m_reduceLevel;
    if (!m_decoder.Decode(pair, level)) {
        TV_TRACE("jp2kdec", "frame %u does not decode", pair.first.frameNumber);
        return S_OK;
    }
    if (!m_decoder.Woven())
        TV_TRACE("jp2kdec", "frame %u: no usable second field, rows doubled",
                 pair.first.frameNumber);
    {
        // The offered size follows the stream's field size.
        CAutoLock lock(&m_sizeLock);
        m_fieldWidth = m_decoder.FieldWidth();
        m_fieldHeight = m_decoder.FieldHeight();
    }
    IMediaSample* out = nullptr;
    HRESULT hr = m_pPicture->GetPictureSample(m_decoder.Width(), m_decoder.Height(), &out);
    if (hr == S_FALSE) {
        TV_TRACE("jp2kdec", "a %d x %d picture cannot go downstream", m_decoder.Width(),
                 m_decoder.Height());
        return S_OK;
    }
    if (FAILED(hr))
        return hr;
    BYTE* dst = nullptr;
    if (FAILED(out->GetPointer(&dst))) {
        out->Release();
        return S_OK;
    }
    m_decoder.WriteYuy2(dst, Yuy2Stride(m_decoder.Width()));
    out->SetTime(nullptr, nullptr);
    out->SetSyncPoint(TRUE);
    // The packet first: the overlays it sets belong to this picture.
    hr = m_pInfo->DeliverPacket(pair.infoPacket);
    if (SUCCEEDED(hr))
        hr = m_pOutput->Deliver(out);
    out->Release();
    return hr;
}

HRESULT TarvoJp2kDecoder::EndOfStream()
{
    if (m_pInfo->IsConnected())
        m_pInfo->DeliverEndOfStream();
    return CTransformFilter::EndOfStream();
}

HRESULT TarvoJp2kDecoder::BeginFlush()
{
    if (m_pInfo->IsConnected())
        m_pInfo->DeliverBeginFlush();
    return CTransformFilter::BeginFlush();
}

HRESULT TarvoJp2kDecoder::EndFlush()
{
    if (m_pInfo->IsConnected())
        m_pInfo->DeliverEndFlush();
    return CTransformFilter::EndFlush();
}

HRESULT TarvoJp2kDecoder::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate)
{
    if (m_pInfo->IsConnected())
        m_pInfo->DeliverNewSegment(tStart, tStop, dRate);
    return CTransformFilter::NewSegment(tStart, tStop, dRate);
}

STDMETHODIMP TarvoJp2kDecoder::SetReduceLevel(int level)
{
    CTvTraceCall trace("jp2kdec", "SetReduceLevel(%d)", level);
    if (level < 0 || level > kJp2kMaxReduceLevel)
        return trace(E_INVALIDARG);
    m_reduceLevel = level;
    return trace(S_OK);
}

STDMETHODIMP TarvoJp2kDecoder::GetReduceLevel(int* level)
{
    CTvTraceCall trace("jp2kdec", "GetReduceLevel(%p)", static_cast<void*>(level));
    if (!level)
        return trace(E_POINTER);
    *level = m_reduceLevel;
    if (trace.On())
        trace.Detail("level %d", *level);
    return trace(S_OK);
}
