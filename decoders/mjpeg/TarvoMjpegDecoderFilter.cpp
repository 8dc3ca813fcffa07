#include "TarvoMjpegDecoderFilter.h"

#include "MjpegDecTrace.h"
#include "TarvoGuids.h"
#include "TarvoMediaTypes.h"

#include <dvdmedia.h>
#include <uuids.h>

#include <cstring>
#include <new>

namespace {

// Where the bitmap header's width and height lie in each format block.
constexpr size_t kVideoInfoWidth = 52;
constexpr size_t kVideoInfo2Width = 76;
constexpr size_t kTimePerFrameOffset = 40;
// The largest picture a JPEG frame can describe.
constexpr LONG kMaxSide = 65535;
constexpr DWORD kCompressionRgb0 = 0x30424752; // 'RGB0'

template <typename T> T ReadAt(const BYTE* block, size_t offset)
{
    T value;
    std::memcpy(&value, block + offset, sizeof value);
    return value;
}

} // namespace

// The creation template's form; nothing here can fail.
TarvoMjpegDecoderFilter::TarvoMjpegDecoderFilter(LPUNKNOWN pUnk, HRESULT*)
    : CTransformFilter("Tarvo M-Jpeg Decoder", pUnk, CLSID_TarvoMjpegDecoder)
{
}

STDMETHODIMP TarvoMjpegDecoderFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (riid == IID_IMjpegDecoderControl)
        return GetInterface(static_cast<IMjpegDecoderControl*>(this), ppv);
    return CTransformFilter::NonDelegatingQueryInterface(riid, ppv);
}

CBasePin* TarvoMjpegDecoderFilter::GetPin(int n)
{
    if (!CreateTransformPins(L"Input", L"Output"))
        return nullptr;
    return CTransformFilter::GetPin(n);
}

TarvoMjpegDecoderFilter::PictureFormat TarvoMjpegDecoderFilter::Format()
{
    CAutoLock lock(&m_formatLock);
    return m_format;
}

HRESULT TarvoMjpegDecoderFilter::CheckInputType(const CMediaType* mtIn)
{
    CheckPointer(mtIn, E_POINTER);
    if (*mtIn->Type() != MEDIATYPE_Video)
        return E_INVALIDARG;
    const bool info2 = *mtIn->FormatType() == FORMAT_VideoInfo2;
    if (*mtIn->FormatType() != FORMAT_VideoInfo && !info2)
        return E_INVALIDARG;
    if (*mtIn->Subtype() != MEDIASUBTYPE_TarvoMjpeg)
        return E_INVALIDARG;

    PictureFormat format;
    format.width = 0;
    format.height = 0;
    const size_t widthAt = info2 ? kVideoInfo2Width : kVideoInfoWidth;
    const BYTE* block = mtIn->Format();
    if (block && mtIn->FormatLength() >= widthAt + 8) {
        format.width = ReadAt<LONG>(block, widthAt);
        format.height = ReadAt<LONG>(block, widthAt + 4);
        format.timePerFrame = ReadAt<REFERENCE_TIME>(block, kTimePerFrameOffset);
    }
    // No JPEG frame can have a side beyond 65535, and a picture buffer's size
    // must fit a LONG: a size outside that is as good as none.
    if (format.width <= 0 || format.height <= 0 || format.width > kMaxSide ||
        format.height > kMaxSide || format.ImageSize() > 0x7FFFFFFF) {
        format.width = kDefaultWidth;
        format.height = kDefaultHeight;
    }
    {
        CAutoLock lock(&m_formatLock);
        m_format = format;
    }
    MJPEGDEC_TRACE("CheckInputType: %ldx%ld, %lld per frame", static_cast<long>(format.width),
                   static_cast<long>(format.height), static_cast<long long>(format.timePerFrame));
    return S_OK;
}

HRESULT TarvoMjpegDecoderFilter::CheckTransform(const CMediaType*, const CMediaType*)
{
    return S_OK;
}

HRESULT TarvoMjpegDecoderFilter::GetMediaType(int iPosition, CMediaType* pMediaType)
{
    if (iPosition < 0)
        return E_INVALIDARG;
    if (iPosition > 1)
        return VFW_S_NO_MORE_ITEMS;
    CheckPointer(pMediaType, E_POINTER);
    const PictureFormat format = Format();
    auto* vih = reinterpret_cast<VIDEOINFOHEADER2*>(
        pMediaType->AllocFormatBuffer(sizeof(VIDEOINFOHEADER2)));
    if (!vih)
        return E_OUTOFMEMORY;
    std::memset(vih, 0, sizeof(VIDEOINFOHEADER2));
    vih->AvgTimePerFrame = format.timePerFrame;
    vih->dwPictAspectRatioX = 16;
    vih->dwPictAspectRatioY = 9;
    BITMAPINFOHEADER& bmi = vih->bmiHeader;
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = format.width;
    bmi.biHeight = -format.height;
    bmi.biPlanes = 1;
    bmi.biBitCount = 24;
    bmi.biCompression = kCompressionRgb0;
    bmi.biSizeImage = static_cast<DWORD>(format.ImageSize());
    pMediaType->SetType(&MEDIATYPE_Video);
    pMediaType->SetSubtype(&MEDIASUBTYPE_RGB24);
    pMediaType->SetFormatType(&FORMAT_VideoInfo2);
    pMediaType->SetTemporalCompression(FALSE);
    pMediaType->SetSampleSize(bmi.biSizeImage);
    return S_OK;
}

HRESULT TarvoMjpegDecoderFilter::DecideBufferSize(IMemAllocator* pAllocator,
                                                  ALLOCATOR_PROPERTIES* pprop)
{
    CheckPointer(pAllocator, E_POINTER);
    CheckPointer(pprop, E_POINTER);
    const LONG size = static_cast<LONG>(Format().ImageSize());
    pprop->cBuffers = 1;
    pprop->cbBuffer = size;
    ALLOCATOR_PROPERTIES actual{};
    HRESULT hr = pAllocator->SetProperties(pprop, &actual);
    if (SUCCEEDED(hr) && (actual.cBuffers < 1 || actual.cbBuffer < size))
        hr = E_FAIL;
    MJPEGDEC_TRACE("DecideBufferSize: %ld bytes asked, %ld x %ld granted -> 0x%08x",
                   static_cast<long>(size), static_cast<long>(actual.cBuffers),
                   static_cast<long>(actual.cbBuffer), static_cast<unsigned>(hr));
    return hr;
}

HRESULT TarvoMjpegDecoderFilter::Transform(IMediaSample* pIn, IMediaSample* pOut)
{
    CheckPointer(pIn, E_POINTER);
    CheckPointer(pOut, E_POINTER);
    BYTE* in = nullptr;
    BYTE* out = nullptr;
    if (FAILED(pIn->GetPointer(&in)) || FAILED(pOut->GetPointer(&out)) || !in || !out)
        return S_FALSE;
    const LONG length = pIn->GetActualDataLength();
    const LONG capacity = pOut->GetSize();
    const PictureFormat format = Format();
    size_t written = 0;
    if (!m_decoder.Decode(
            std::span<const uint8_t>(in, length > 0 ? static_cast<size_t>(length) : 0),
            format.width, format.height, format.Stride(),
            std::span<uint8_t>(out, capacity > 0 ? static_cast<size_t>(capacity) : 0), &written))
        return S_FALSE;
    pOut->SetActualDataLength(static_cast<LONG>(written));
    return S_OK;
}

STDMETHODIMP TarvoMjpegDecoderFilter::SetOption(LONG value)
{
    CTvTraceCall trace("mjpegdec", "SetOption(%ld)", static_cast<long>(value));
    return trace(S_OK);
}
