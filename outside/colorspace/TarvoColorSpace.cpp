#include "TarvoColorSpace.h"

#include "ColorConvert.h"
#include "OutsideFilterIds.h"
#include "win32/trace.h"
#include "VideoFormat.h"

#include <dvdmedia.h>
#include <uuids.h>

#include <cstring>
#include <new>

namespace {

bool IsYuy2(const AM_MEDIA_TYPE& mt, int* width, int* height)
{
    return Yuy2TypeSize(mt, width, height);
}

bool IsRgb(const AM_MEDIA_TYPE& mt, const GUID& subtype, WORD bits, VideoFormat* f)
{
    return IsEqualGUID(mt.subtype, subtype) && !IsEqualGUID(mt.formattype, FORMAT_MPEG2Video) &&
           ReadVideoFormat(mt, f) && f->bmi.biBitCount == bits && f->Width() >= 1 &&
           f->Height() >= 1 && f->Width() <= 16384 && f->Height() <= 16384;
}

void MakeRgb32Type(CMediaType* mt, int width, int height, REFERENCE_TIME avgTimePerFrame)
{
    mt->InitMediaType();
    mt->SetType(&MEDIATYPE_Video);
    mt->SetSubtype(&MEDIASUBTYPE_RGB32);
    mt->SetFormatType(&FORMAT_VideoInfo);
    mt->SetTemporalCompression(FALSE);
    const DWORD bytes = static_cast<DWORD>(width) * 4 * static_cast<DWORD>(height);
    mt->SetSampleSize(bytes);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt->AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    if (!vih)
        return;
    *vih = VIDEOINFOHEADER{};
    vih->rcSource = RECT{0, 0, width, height};
    vih->rcTarget = vih->rcSource;
    vih->AvgTimePerFrame = avgTimePerFrame;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = -height; // top-down
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 32;
    vih->bmiHeader.biCompression = 0; // BI_RGB
    vih->bmiHeader.biSizeImage = bytes;
}

void FillRows(uint8_t* dst, ptrdiff_t stride, int rows, int rowBytes, const uint8_t (&pattern)[4])
{
    for (int r = 0; r < rows; ++r)
        for (int i = 0; i < rowBytes; ++i)
            dst[r * stride + i] = pattern[i % 4];
}

constexpr uint8_t kBlackYuy2[4] = {16, 128, 16, 128};
constexpr uint8_t kBlackBgrx[4] = {0, 0, 0, 255};

} // namespace

// The creation template's form; nothing here can fail.
TarvoColorSpace::TarvoColorSpace(LPUNKNOWN pUnk, HRESULT*)
    : CInOutTransformFilter("Tarvo Color Space", pUnk, CLSID_TarvoColorSpace)
{
}

HRESULT TarvoColorSpace::CheckInputType(const CMediaType* mtIn)
{
    CheckPointer(mtIn, E_POINTER);
    int width = 0, height = 0;
    VideoFormat f;
    if (IsYuy2(*mtIn, &width, &height) || IsRgb(*mtIn, MEDIASUBTYPE_RGB24, 24, &f))
        return S_OK;
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TarvoColorSpace::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut)
{
    CheckPointer(mtIn, E_POINTER);
    CheckPointer(mtOut, E_POINTER);
    int inWidth = 0, inHeight = 0, outWidth = 0, outHeight = 0;
    VideoFormat in, out;
    if (IsYuy2(*mtIn, &inWidth, &inHeight)) {
        if (IsRgb(*mtOut, MEDIASUBTYPE_RGB32, 32, &out) && out.Width() == inWidth &&
            out.Height() == inHeight)
            return S_OK;
        if (IsYuy2(*mtOut, &outWidth, &outHeight) && outWidth == inWidth && outHeight == inHeight)
            return S_OK;
    } else if (IsRgb(*mtIn, MEDIASUBTYPE_RGB24, 24, &in)) {
        if (IsYuy2(*mtOut, &outWidth, &outHeight) && outWidth == in.Width() &&
            outHeight == in.Height())
            return S_OK;
    }
    return VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT TarvoColorSpace::GetMediaType(int iPosition, CMediaType* pMediaType)
{
    CheckPointer(pMediaType, E_POINTER);
    if (iPosition < 0)
        return E_INVALIDARG;
    const CMediaType& in = m_pInput->CurrentMediaType();
    VideoFormat f;
    if (!ReadVideoFormat(in, &f))
        return VFW_S_NO_MORE_ITEMS;
    int width = 0, height = 0;
    if (IsYuy2(in, &width, &height)) {
        if (iPosition == 0) {
            MakeRgb32Type(pMediaType, width, height, f.avgTimePerFrame);
            return pMediaType->pbFormat ? S_OK : E_OUTOFMEMORY;
        }
        if (iPosition == 1)
            return MakeYuy2Type(pMediaType, width, height, f.avgTimePerFrame) ? S_OK
                                                                              : E_OUTOFMEMORY;
    } else if (iPosition == 0) {
        return MakeYuy2Type(pMediaType, f.Width(), f.Height(), f.avgTimePerFrame) ? S_OK
                                                                                  : E_OUTOFMEMORY;
    }
    return VFW_S_NO_MORE_ITEMS;
}

HRESULT TarvoColorSpace::SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt)
{
    VideoFormat f;
    if (!ReadVideoFormat(*pmt, &f))
        return VFW_E_TYPE_NOT_ACCEPTED;
    if (direction == PINDIR_INPUT) {
        m_width = f.Width();
        m_height = f.Height();
        m_inputBottomUp = IsEqualGUID(pmt->subtype, MEDIASUBTYPE_RGB24) && f.bmi.biHeight > 0;
        return S_OK;
    }
    const bool yuy2In = !IsEqualGUID(m_pInput->CurrentMediaType().subtype, MEDIASUBTYPE_RGB24);
    if (!yuy2In)
        m_path = Path::Rgb24ToYuy2;
    else if (IsEqualGUID(pmt->subtype, MEDIASUBTYPE_RGB32))
        m_path = Path::Yuy2ToRgb32;
    else
        m_path = Path::Yuy2Copy;
    TV_TRACE("colorspace", "%d x %d, path %d", m_width, m_height, static_cast<int>(m_path));
    return S_OK;
}

HRESULT TarvoColorSpace::BreakConnect(PIN_DIRECTION dir)
{
    if (dir == PINDIR_OUTPUT)
        m_path = Path::None;
    return S_OK;
}

HRESULT TarvoColorSpace::DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop)
{
    CheckPointer(pAllocator, E_POINTER);
    CheckPointer(pprop, E_POINTER);
    const CMediaType& out = m_pOutput->CurrentMediaType();
    VideoFormat f;
    if (!ReadVideoFormat(out, &f))
        return VFW_E_TYPE_NOT_ACCEPTED;
    const LONG bytes = IsEqualGUID(out.subtype, MEDIASUBTYPE_RGB32)
                           ? static_cast<LONG>(f.Width()) * 4 * f.Height()
                           : static_cast<LONG>(Yuy2Stride(f.Width())) * f.Height();
    return SetAllocatorFor(pAllocator, *pprop, 2, bytes);
}

HRESULT TarvoColorSpace::Receive(IMediaSample* pSample)
{
    if (m_path == Path::Yuy2Copy && pSample && CanPassOn(pSample))
        return m_pOutput->Deliver(pSample);
    return CInOutTransformFilter::Receive(pSample);
}

bool TarvoColorSpace::CanPassOn(IMediaSample* pSample)
{
    // The copy would give the same bytes, times and flags: handing the sample
    // on saves a whole picture's copy. The renderer then holds upstream's
    // buffer until the picture is shown, so upstream must have more than the
    // one it fills next (a single buffer would wait for every presentation).
    if (m_pInput->SampleProps()->dwStreamId != AM_STREAM_MEDIA)
        return false;
    AM_MEDIA_TYPE* type = nullptr;
    if (pSample->GetMediaType(&type) == S_OK) {
        DeleteMediaType(type);
        return false;
    }
    const long stride = Yuy2Stride(m_width);
    return m_upstreamSpare && stride == m_width * 2 &&
           pSample->GetActualDataLength() == stride * m_height;
}

STDMETHODIMP TarvoColorSpace::Pause()
{
    // Read here, under the filter lock before streaming starts, not on the
    // streaming thread (the input pin's allocator is the filter lock's).
    CAutoLock filter(&m_csFilter);
    if (m_State == State_Stopped)
        NoteUpstreamBuffers();
    return CInOutTransformFilter::Pause();
}

void TarvoColorSpace::NoteUpstreamBuffers()
{
    IMemAllocator* allocator = nullptr;
    ALLOCATOR_PROPERTIES props{};
    m_upstreamSpare = SUCCEEDED(m_pInput->GetAllocator(&allocator)) && allocator &&
                      SUCCEEDED(allocator->GetProperties(&props)) && props.cBuffers >= 3;
    if (allocator)
        allocator->Release();
}

HRESULT TarvoColorSpace::Transform(IMediaSample* pIn, IMediaSample* pOut)
{
    CheckPointer(pIn, E_POINTER);
    CheckPointer(pOut, E_POINTER);
    BYTE* src = nullptr;
    BYTE* dst = nullptr;
    if (FAILED(pIn->GetPointer(&src)) || FAILED(pOut->GetPointer(&dst)) || !src || !dst)
        return S_FALSE;
    const long actual = pIn->GetActualDataLength();
    const int w = m_width, h = m_height;
    switch (m_path) {
    case Path::Yuy2ToRgb32:
    case Path::Yuy2Copy: {
        const PackedRows in = LayoutPackedRows(w, h, 2, actual);
        const bool rgb = m_path == Path::Yuy2ToRgb32;
        const ptrdiff_t outStride = rgb ? static_cast<ptrdiff_t>(w) * 4 : Yuy2Stride(w);
        const long outBytes = static_cast<long>(outStride) * h;
        if (pOut->GetSize() < outBytes)
            return E_FAIL;
        if (rgb)
            Yuy2ToBgrx(src, in.stride, w, in.rows, dst, outStride);
        else
            for (int r = 0; r < in.rows; ++r) {
                uint8_t* row = dst + r * outStride;
                std::memcpy(row, src + static_cast<ptrdiff_t>(r) * in.stride,
                            static_cast<size_t>(in.rowBytes));
                for (ptrdiff_t i = in.rowBytes; i < outStride; ++i)
                    row[i] = kBlackYuy2[i % 4];
            }
        FillRows(dst + in.rows * outStride, outStride, h - in.rows, static_cast<int>(outStride),
                 rgb ? kBlackBgrx : kBlackYuy2);
        pOut->SetActualDataLength(outBytes);
        return S_OK;
    }
    case Path::Rgb24ToYuy2: {
        const PackedRows in = LayoutPackedRows(w, h, 3, actual);
        const ptrdiff_t outStride = Yuy2Stride(w);
        const long outBytes = static_cast<long>(outStride) * h;
        if (pOut->GetSize() < outBytes)
            return E_FAIL;
        // A bottom-up picture stores its last row first; a short one holds
        // the picture's last rows.
        const int missing = h - in.rows;
        uint8_t* first = dst + (m_inputBottomUp ? missing : 0) * outStride;
        const uint8_t* top =
            m_inputBottomUp ? src + static_cast<ptrdiff_t>(in.rows - 1) * in.stride : src;
        Bgr24ToYuy2(top, m_inputBottomUp ? -in.stride : in.stride, w, in.rows, first, outStride);
        FillRows(m_inputBottomUp ? dst : dst + in.rows * outStride, outStride, missing,
                 static_cast<int>(outStride), kBlackYuy2);
        pOut->SetActualDataLength(outBytes);
        return S_OK;
    }
    case Path::None:
        break;
    }
    return E_UNEXPECTED;
}
