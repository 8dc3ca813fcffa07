#include "H264DecoderInputPin.h"

#include "H264DecTrace.h"
#include "H264DecoderOutputPin.h"
#include "TarvoH264DecoderFilter.h"
#include "Yuv420ToYuy2.h"

#include <dvdmedia.h>
#include <uuids.h>

#include <cstring>
#include <new>

namespace {

// The decoder's results that end a sample.
constexpr int32_t kPictureReady = 0;
constexpr int32_t kUsedUp = -1;
constexpr int32_t kUsedUpNoPicture = -2;

// Pictures larger than this in either direction are taken as a decoder fault.
constexpr uint32_t kMaxPictureSide = 8192;

// "Receive" fails with this when a deinterlaced frame does not fit the staging
// buffer, as the filter always has.
constexpr HRESULT kFrameTooLarge = static_cast<HRESULT>(-1);

bool PlanesUsable(const Hi264DecPicture& p)
{
    return p.y && p.u && p.v && p.width > 0 && p.height > 0 && p.width <= kMaxPictureSide &&
           p.height <= kMaxPictureSide && p.yStride >= p.width && p.uvStride >= (p.width + 1) / 2;
}

struct ReleaseSample {
    void operator()(IMediaSample* sample) const { sample->Release(); }
};

Yuv420Planes Planes(const Hi264DecPicture& p)
{
    Yuv420Planes planes;
    planes.y = p.y;
    planes.u = p.u;
    planes.v = p.v;
    planes.yStride = p.yStride;
    planes.uvStride = p.uvStride;
    return planes;
}

} // namespace

H264DecoderInputPin::H264DecoderInputPin(TarvoH264DecoderFilter* filter, HRESULT* phr)
    : CBaseInputPin("H264 decoder input", filter, filter->FilterLock(), phr, L"Input"),
      m_pFilter(filter)
{
}

H264DecoderInputPin::~H264DecoderInputPin()
{
    m_pFilter->SetUpstreamAllocator(nullptr);
    ReleaseDecoder();
}

void H264DecoderInputPin::ReleaseDecoder()
{
    if (m_decoder) {
        m_pFilter->Library().destroy(m_decoder);
        m_decoder = nullptr;
    }
    delete m_deinterlacer;
    m_deinterlacer = nullptr;
    std::vector<uint8_t>().swap(m_frameY);
    std::vector<uint8_t>().swap(m_frameU);
    std::vector<uint8_t>().swap(m_frameV);
    m_skip.store(true);
}

HRESULT H264DecoderInputPin::CheckMediaType(const CMediaType* mt)
{
    // Called on the streaming thread too (a sample announcing a type), so it
    // takes no filter lock: the size has its own lock, the flag is atomic.
    if (!mt || !mt->pbFormat)
        return S_OK;
    if (mt->formattype == FORMAT_VideoInfo && mt->cbFormat >= sizeof(VIDEOINFOHEADER)) {
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(mt->pbFormat);
        if (vih->bmiHeader.biWidth != 0 && vih->bmiHeader.biHeight != 0)
            m_pFilter->SetPictureSize(vih->bmiHeader.biWidth, vih->bmiHeader.biHeight);
    } else if (mt->formattype == FORMAT_VideoInfo2 && mt->cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        const auto* vih = reinterpret_cast<const VIDEOINFOHEADER2*>(mt->pbFormat);
        if (vih->bmiHeader.biWidth != 0 && vih->bmiHeader.biHeight != 0)
            m_pFilter->SetPictureSize(vih->bmiHeader.biWidth, vih->bmiHeader.biHeight);
        if (vih->dwInterlaceFlags & AMINTERLACE_IsInterlaced)
            m_interlaced.store(true);
    }
    return S_OK;
}

HRESULT H264DecoderInputPin::SetMediaType(const CMediaType* mt)
{
    CAutoLock lock(m_pLock);
    const HRESULT hr = CBaseInputPin::SetMediaType(mt);
    return FAILED(hr) ? hr : S_OK;
}

bool H264DecoderInputPin::OpenDecoder()
{
    std::memset(&m_attr, 0, sizeof m_attr);
    m_attr.maxWidthMbs = 45; // 720 x 576
    m_attr.maxHeightMbs = 36;
    m_attr.pictureBuffers = 3;
    if (m_decoder)
        m_pFilter->Library().destroy(m_decoder);
    m_decoder = m_pFilter->Library().create(&m_attr);
    std::memset(&m_picture, 0, sizeof m_picture);
    m_skip.store(true);
    return m_decoder != nullptr;
}

HRESULT H264DecoderInputPin::CompleteConnect(IPin* pReceivePin)
{
    HRESULT hr = CBaseInputPin::CompleteConnect(pReceivePin);
    if (FAILED(hr))
        return hr;
    CAutoLock receive(m_pFilter->ReceiveLock());
    // Not zeroed: nothing reads it before writing, and zeroing 2 MB at each
    // connection costs a wall of players its start-up (built one by one).
    m_staging.reset(new (std::nothrow) uint8_t[kStagingBytes]);
    if (!m_staging) {
        MessageBoxA(nullptr, "内存不足", "警告", MB_OK);
        return E_FAIL;
    }
    if (!OpenDecoder()) {
        // Nothing could be decoded on this connection: refuse it.
        H264DEC_TRACE("the decoder does not open");
        m_staging.reset();
        return E_FAIL;
    }
    m_raisePriority.store(true);
    H264DEC_TRACE("input connected, decoder open");
    return S_OK;
}

HRESULT H264DecoderInputPin::BreakConnect()
{
    m_skip.store(true);
    m_pFilter->SetUpstreamAllocator(nullptr);
    {
        CAutoLock receive(m_pFilter->ReceiveLock());
        m_staging.reset();
    }
    return CBaseInputPin::BreakConnect();
}

STDMETHODIMP H264DecoderInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly)
{
    CAutoLock lock(m_pLock);
    m_pFilter->SetUpstreamAllocator(pAllocator);
    return CBaseInputPin::NotifyAllocator(pAllocator, bReadOnly);
}

STDMETHODIMP H264DecoderInputPin::EndOfStream()
{
    CAutoLock receive(m_pFilter->ReceiveLock());
    H264DEC_TRACE("end of stream");
    return m_pFilter->Output()->DeliverEndOfStream();
}

STDMETHODIMP H264DecoderInputPin::BeginFlush()
{
    CAutoLock lock(m_pLock);
    m_pFilter->Output()->DeliverBeginFlush();
    return CBaseInputPin::BeginFlush();
}

STDMETHODIMP H264DecoderInputPin::EndFlush()
{
    CAutoLock lock(m_pLock);
    m_pFilter->Output()->DeliverEndFlush();
    return CBaseInputPin::EndFlush();
}

STDMETHODIMP H264DecoderInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                             double dRate)
{
    CAutoLock receive(m_pFilter->ReceiveLock());
    m_pFilter->Output()->DeliverNewSegment(tStart, tStop, dRate);
    return CBaseInputPin::NewSegment(tStart, tStop, dRate);
}

STDMETHODIMP H264DecoderInputPin::Receive(IMediaSample* pSample)
{
    CheckPointer(pSample, E_POINTER);
    CAutoLock receive(m_pFilter->ReceiveLock());
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr != S_OK)
        return hr;
    if (m_raisePriority.exchange(false))
        SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
    BYTE* data = nullptr;
    const LONG length = pSample->GetActualDataLength();
    if (FAILED(pSample->GetPointer(&data)) || !data || length <= 0 || length > kMaxSampleBytes)
        return S_OK;
    // After ReleaseDecoder the next sample opens a decoder again.
    if (!m_decoder && (!m_staging || !OpenDecoder()))
        return S_OK;
    return DecodeSample(data, length);
}

HRESULT H264DecoderInputPin::DecodeSample(const BYTE* data, LONG length)
{
    const uint8_t* p = data;
    uint32_t n = static_cast<uint32_t>(length);
    int retries = 0;
    int pictures = 0;
    for (;;) {
        m_decoderCalls.fetch_add(1);
        const int32_t result = m_pFilter->Library().frame(m_decoder, p, n, 0, &m_picture, 0);
        if (result == kUsedUp || result == kUsedUpNoPicture)
            return S_OK;
        if (result == kPictureReady) {
            retries = 0;
            const HRESULT hr = HandlePicture(m_picture);
            if (hr != S_OK)
                return hr;
            // The decoder may hold more pictures: ask with no data.
            p = nullptr;
            n = 0;
            if (++pictures >= kMaxPicturesPerSample) {
                H264DEC_TRACE("decoder keeps giving pictures: sample ends");
                return S_OK;
            }
            continue;
        }
        // Anything else repeats the call, but a decoder that never moves on
        // must not hold the stream.
        if (++retries >= kMaxRetries) {
            H264DEC_TRACE("decoder answers %d again and again: sample dropped", (int)result);
            return S_OK;
        }
    }
}

HRESULT H264DecoderInputPin::HandlePicture(const Hi264DecPicture& picture)
{
    if (picture.notIntra == 0)
        m_skip.store(false);
    if (!PlanesUsable(picture))
        return S_OK;
    if (picture.structure == 0)
        return HandleFrame(picture);
    if (picture.structure == 1 || picture.structure == 2)
        return HandleField(picture);
    return S_OK;
}

void H264DecoderInputPin::Deliver(IMediaSample* sample)
{
    H264DecoderOutputPin* out = m_pFilter->Output();
    if (!out->IsConnected() || m_skip.load())
        return;
    out->Deliver(sample); // downstream's answer changes nothing here
    out->SampleDelivered();
    m_delivered.fetch_add(1);
}

HRESULT H264DecoderInputPin::HandleFrame(const Hi264DecPicture& picture)
{
    H264DecoderOutputPin* out = m_pFilter->Output();
    if (!out->IsConnected() || m_skip.load())
        return S_OK;
    IMediaSample* sample = out->PrepareSample(picture.width, picture.height);
    if (!sample)
        return S_OK;
    // Released after delivery (a lent sample goes back to its lender).
    std::unique_ptr<IMediaSample, ReleaseSample> held(sample);
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    const ptrdiff_t stride = static_cast<ptrdiff_t>(picture.width) * 2;
    Yuv420ToYuy2(Planes(picture), static_cast<int>(picture.width), static_cast<int>(picture.height),
                 buffer, stride);
    if (m_interlaced.load())
        DoubleLinesYuy2(buffer, stride, static_cast<int>(picture.width),
                        static_cast<int>(picture.height));
    sample->SetTime(nullptr, nullptr);
    sample->SetActualDataLength(static_cast<LONG>(stride * picture.height));
    Deliver(sample);
    return S_OK;
}

HRESULT H264DecoderInputPin::HandleField(const Hi264DecPicture& picture)
{
    const int width = static_cast<int>(picture.width);
    const int fieldHeight = static_cast<int>(picture.height);
    const int chromaWidth = (width + 1) / 2;
    const int yStride = static_cast<int>(picture.yStride);
    const int uvStride = static_cast<int>(picture.uvStride);
    if (m_deinterlacer &&
        !m_deinterlacer->Matches(width, fieldHeight, yStride, uvStride, width, chromaWidth)) {
        // The field size changed: a deinterlacer for the new size, never the
        // old one over planes that no longer fit.
        delete m_deinterlacer;
        m_deinterlacer = nullptr;
    }
    if (!m_deinterlacer) {
        try {
            m_frameY.assign(static_cast<size_t>(width) * fieldHeight * 2, 0);
            m_frameU.assign(static_cast<size_t>(chromaWidth) * fieldHeight, 0);
            m_frameV.assign(m_frameU.size(), 0);
        } catch (const std::bad_alloc&) {
            return S_OK;
        }
        if (FieldDeinterlacer::Create(&m_deinterlacer, width, fieldHeight, yStride, uvStride, width,
                                      chromaWidth) != FieldDeinterlacer::kOk)
            return S_OK;
    }
    if (m_deinterlacer->Process(m_frameY.data(), m_frameU.data(), m_frameV.data(), picture.y,
                                picture.u, picture.v,
                                static_cast<int>(picture.structure)) != FieldDeinterlacer::kOk ||
        picture.structure != 2)
        return S_OK;

    const int frameHeight = fieldHeight * 2;
    const size_t bytes = static_cast<size_t>(width) * frameHeight * 2;
    if (bytes > kStagingBytes || !m_staging)
        return kFrameTooLarge;
    Yuv420Planes frame;
    frame.y = m_frameY.data();
    frame.u = m_frameU.data();
    frame.v = m_frameV.data();
    frame.yStride = width;
    frame.uvStride = chromaWidth;
    H264DecoderOutputPin* out = m_pFilter->Output();
    if (!out->IsConnected() || m_skip.load())
        return S_OK;
    IMediaSample* sample =
        out->PrepareSample(static_cast<UINT>(width), static_cast<UINT>(frameHeight));
    if (!sample)
        return S_OK;
    std::unique_ptr<IMediaSample, ReleaseSample> held(sample);
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    // Straight into the sample, as a frame picture is: a copy through the
    // staging buffer cost a whole picture's bytes more.
    Yuv420ToYuy2(frame, width, frameHeight, buffer, static_cast<ptrdiff_t>(width) * 2);
    sample->SetTime(nullptr, nullptr);
    sample->SetActualDataLength(static_cast<LONG>(bytes));
    Deliver(sample);
    return S_OK;
}
