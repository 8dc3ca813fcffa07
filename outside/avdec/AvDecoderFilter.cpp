#include "AvDecoderFilter.h"

#include <cstring>

#include "TransformParts.h"

#include "win32/trace.h"

#include <new>
#include <string>

extern "C" {
#include <libavutil/frame.h>
}

CAvDecoderFilter::CAvDecoderFilter(const char* objectName, LPUNKNOWN pUnk, REFCLSID clsid,
                                   const char* channel, AVCodecID codec)
    : CTransformFilter(objectName, pUnk, clsid), m_channel(channel), m_codec(codec)
{
}

CBasePin* CAvDecoderFilter::GetPin(int n)
{
    if (!m_pInput) {
        HRESULT hr = S_OK;
        m_pInput = new (std::nothrow) CTransformInputPin("decoder input pin", this, &hr, L"Input");
        if (!m_pInput)
            return nullptr;
        if (SUCCEEDED(hr))
            m_pOutput = m_pPictureOutput = new (std::nothrow) CPictureOutputPin(this, &hr);
        if (!m_pOutput || FAILED(hr)) {
            delete m_pOutput;
            m_pOutput = m_pPictureOutput = nullptr;
            delete m_pInput;
            m_pInput = nullptr;
            return nullptr;
        }
    }
    if (n == 0)
        return m_pInput;
    if (n == 1)
        return m_pOutput;
    return nullptr;
}

HRESULT CAvDecoderFilter::CheckInputType(const CMediaType* mtIn)
{
    CheckPointer(mtIn, E_POINTER);
    VideoFormat f;
    if (!ReadVideoFormat(*mtIn, &f) || !AcceptsInput(*mtIn, f))
        return VFW_E_TYPE_NOT_ACCEPTED;
    std::vector<uint8_t> config;
    if (!CodecConfig(f, &config))
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT CAvDecoderFilter::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut)
{
    CheckPointer(mtIn, E_POINTER);
    CheckPointer(mtOut, E_POINTER);
    int width = 0, height = 0;
    return Yuy2TypeSize(*mtOut, &width, &height) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CAvDecoderFilter::GetMediaType(int iPosition, CMediaType* pMediaType)
{
    CheckPointer(pMediaType, E_POINTER);
    if (iPosition < 0)
        return E_INVALIDARG;
    if (iPosition > 0)
        return VFW_S_NO_MORE_ITEMS;
    int width = 0, height = 0;
    {
        CAutoLock lock(&m_sizeLock);
        width = m_pictureWidth;
        height = m_pictureHeight;
    }
    if (!MakeYuy2Type(pMediaType, width, height, m_inputFormat.avgTimePerFrame))
        return E_OUTOFMEMORY;
    return S_OK;
}

HRESULT CAvDecoderFilter::DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop)
{
    CheckPointer(pAllocator, E_POINTER);
    CheckPointer(pprop, E_POINTER);
    int width = 0, height = 0;
    if (!Yuy2TypeSize(m_pOutput->CurrentMediaType(), &width, &height))
        return VFW_E_TYPE_NOT_ACCEPTED;
    // A picture goes downstream while the next is decoded; the frame
    // processor holds none, a renderer one.
    return SetAllocatorFor(pAllocator, *pprop, 3, static_cast<LONG>(Yuy2Stride(width)) * height);
}

HRESULT CAvDecoderFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt)
{
    if (direction != PINDIR_INPUT)
        return S_OK;
    VideoFormat f;
    std::vector<uint8_t> config;
    if (!ReadVideoFormat(*pmt, &f) || !CodecConfig(f, &config))
        return VFW_E_TYPE_NOT_ACCEPTED;
    f.sequenceHeader = {};
    m_inputFormat = f;
    m_config = std::move(config);
    int width = f.Width(), height = f.Height();
    if (width < 1 || height < 1 || width > 16384 || height > 16384) {
        width = kDefaultWidth;
        height = kDefaultHeight;
    }
    SetPictureSize(width, height);
    return S_OK;
}

HRESULT CAvDecoderFilter::CompleteConnect(PIN_DIRECTION direction, IPin*)
{
    if (direction != PINDIR_INPUT)
        return S_OK;
    CAutoLock lock(&m_csReceive);
    std::string why;
    if (!m_decoder.Open(m_codec, m_config, &why)) {
        TV_TRACE(m_channel, "the decoder does not open: %s", why.c_str());
        return VFW_E_TYPE_NOT_ACCEPTED;
    }
    TV_TRACE(m_channel, "decoder open, %d x %d, %zu configuration bytes", m_inputFormat.Width(),
             m_inputFormat.Height(), m_config.size());
    return S_OK;
}

HRESULT CAvDecoderFilter::BreakConnect(PIN_DIRECTION dir)
{
    if (dir == PINDIR_INPUT) {
        CAutoLock lock(&m_csReceive);
        m_decoder.Close();
    }
    return S_OK;
}

HRESULT CAvDecoderFilter::StartStreaming()
{
    m_decoder.Reset();
    return S_OK;
}

HRESULT CAvDecoderFilter::StopStreaming()
{
    m_decoder.Reset();
    m_pPictureOutput->EndStreaming();
    return S_OK;
}

bool CAvDecoderFilter::CodecConfig(const VideoFormat& f, std::vector<uint8_t>* config) const
{
    config->assign(f.sequenceHeader.begin(), f.sequenceHeader.end());
    return true;
}

std::span<const uint8_t> CAvDecoderFilter::DecoderInput(std::span<const uint8_t> sample,
                                                        std::vector<uint8_t>*)
{
    return sample;
}

void CAvDecoderFilter::SetPictureSize(int width, int height)
{
    CAutoLock lock(&m_sizeLock);
    m_pictureWidth = width;
    m_pictureHeight = height;
}

namespace {

// Paints black what lies outside the picture's width x height at the top left
// of a frameWidth x frameHeight YUY2 frame.
void BlackAround(uint8_t* frame, ptrdiff_t stride, int frameWidth, int frameHeight, int width,
                 int height)
{
    static const uint8_t kBlackPair[4] = {16, 128, 16, 128};
    const auto paint = [&](uint8_t* row, int from, int to) {
        for (int x = from & ~1; x < to; x += 2)
            std::memcpy(row + 2 * x, kBlackPair, 4);
    };
    for (int y = 0; y < frameHeight; ++y)
        paint(frame + y * stride, y < height ? width : 0, frameWidth);
}

} // namespace

bool CAvDecoderFilter::DeliverPicture(const AVFrame& picture)
{
    int frameWidth = picture.width, frameHeight = picture.height;
    if (KeepsAgreedFrame()) {
        int agreedWidth = 0, agreedHeight = 0;
        m_pPictureOutput->AgreedSize(&agreedWidth, &agreedHeight);
        if (picture.width <= agreedWidth && picture.height <= agreedHeight) {
            frameWidth = agreedWidth;
            frameHeight = agreedHeight;
        }
    }
    IMediaSample* out = nullptr;
    const HRESULT hr = m_pPictureOutput->GetPictureSample(frameWidth, frameHeight, &out);
    if (hr == S_FALSE) {
        TV_TRACE(m_channel, "a %d x %d picture cannot go downstream", picture.width,
                 picture.height);
        return true;
    }
    if (FAILED(hr)) {
        m_hrDeliver = hr;
        return false;
    }
    BYTE* dst = nullptr;
    if (FAILED(out->GetPointer(&dst)) ||
        !m_converter.WriteYuy2(picture, dst, Yuy2Stride(frameWidth))) {
        out->Release();
        return true;
    }
    if (frameWidth != picture.width || frameHeight != picture.height)
        BlackAround(dst, Yuy2Stride(frameWidth), frameWidth, frameHeight, picture.width,
                    picture.height);
    SetPictureSize(frameWidth, frameHeight);
    out->SetTime(nullptr, nullptr);
    out->SetSyncPoint(TRUE);
    const HRESULT hrDeliver = m_pOutput->Deliver(out);
    out->Release();
    if (hrDeliver != S_OK) {
        // S_FALSE: downstream wants no more for now; a failure: it cannot.
        m_hrDeliver = hrDeliver;
        return false;
    }
    return true;
}

HRESULT CAvDecoderFilter::Receive(IMediaSample* pSample)
{
    AM_SAMPLE2_PROPERTIES* const props = m_pInput->SampleProps();
    if (props->dwStreamId != AM_STREAM_MEDIA)
        return m_pOutput->Deliver(pSample);
    BYTE* data = nullptr;
    const long length = pSample->GetActualDataLength();
    if (FAILED(pSample->GetPointer(&data)) || !data || length <= 0)
        return S_OK;
    const std::span<const uint8_t> bytes =
        DecoderInput({data, static_cast<size_t>(length)}, &m_scratch);
    m_hrDeliver = S_OK;
    const CAvVideoDecoder::Status status =
        m_decoder.Decode(bytes, [this](const AVFrame& picture) { return DeliverPicture(picture); });
    if (status == CAvVideoDecoder::Status::Refused)
        TV_TRACE(m_channel, "a sample of %ld bytes is refused", length);
    else if (status == CAvVideoDecoder::Status::Damaged)
        TV_TRACE(m_channel, "damaged data; waiting for a key picture");
    return m_hrDeliver;
}

HRESULT CAvDecoderFilter::EndOfStream()
{
    m_hrDeliver = S_OK;
    m_decoder.Drain([this](const AVFrame& picture) { return DeliverPicture(picture); });
    return CTransformFilter::EndOfStream();
}

HRESULT CAvDecoderFilter::EndFlush()
{
    {
        CAutoLock lock(&m_csReceive);
        m_decoder.Reset();
    }
    return CTransformFilter::EndFlush();
}

CAvVideoDecoder::Counters CAvDecoderFilter::DecoderCounters()
{
    CAutoLock lock(&m_csReceive);
    return m_decoder.GetCounters();
}
