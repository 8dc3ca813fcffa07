#include "DeInterLaceFilter.h"

#include "CombDeinterlace.h"
#include "OutsideFilterIds.h"
#include "win32/trace.h"
#include "VideoFormat.h"

#include <uuids.h>

#include <new>

namespace {

// Bytes per pixel of a packed layout the filter takes (0: not one).
int PackedBytesPerPixel(const AM_MEDIA_TYPE& mt, VideoFormat* f)
{
    if (IsEqualGUID(mt.formattype, FORMAT_MPEG2Video) || !ReadVideoFormat(mt, f) ||
        f->Width() < 1 || f->Height() < 1 || f->Width() > 16384 || f->Height() > 16384)
        return 0;
    if (IsEqualGUID(mt.subtype, MEDIASUBTYPE_RGB24) && f->bmi.biBitCount == 24)
        return 3;
    if (IsEqualGUID(mt.subtype, MEDIASUBTYPE_RGB32) && f->bmi.biBitCount == 32)
        return 4;
    if (IsEqualGUID(mt.subtype, MEDIASUBTYPE_YUY2) || IsEqualGUID(mt.subtype, MEDIASUBTYPE_YUYV))
        return 2;
    return 0;
}

} // namespace

// The creation template's form; nothing here can fail.
DeInterLaceFilter::DeInterLaceFilter(LPUNKNOWN pUnk, HRESULT*)
    : CInOutTransformFilter("DeInterLace Filter", pUnk, CLSID_DeInterLaceFilter)
{
}

HRESULT DeInterLaceFilter::CheckInputType(const CMediaType* mtIn)
{
    CheckPointer(mtIn, E_POINTER);
    VideoFormat f;
    return PackedBytesPerPixel(*mtIn, &f) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT DeInterLaceFilter::CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut)
{
    CheckPointer(mtIn, E_POINTER);
    CheckPointer(mtOut, E_POINTER);
    VideoFormat in, out;
    const int bpp = PackedBytesPerPixel(*mtIn, &in);
    if (!bpp || PackedBytesPerPixel(*mtOut, &out) != bpp ||
        !IsEqualGUID(mtIn->subtype, mtOut->subtype) || in.Width() != out.Width() ||
        in.bmi.biHeight != out.bmi.biHeight)
        return VFW_E_TYPE_NOT_ACCEPTED;
    return S_OK;
}

HRESULT DeInterLaceFilter::GetMediaType(int iPosition, CMediaType* pMediaType)
{
    CheckPointer(pMediaType, E_POINTER);
    if (iPosition < 0)
        return E_INVALIDARG;
    if (iPosition > 0)
        return VFW_S_NO_MORE_ITEMS;
    // The same type: the pictures keep their layout.
    *pMediaType = m_pInput->CurrentMediaType();
    return S_OK;
}

HRESULT DeInterLaceFilter::SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt)
{
    if (direction != PINDIR_INPUT)
        return S_OK;
    VideoFormat f;
    m_bytesPerPixel = PackedBytesPerPixel(*pmt, &f);
    if (!m_bytesPerPixel)
        return VFW_E_TYPE_NOT_ACCEPTED;
    m_width = f.Width();
    m_height = f.Height();
    m_bottomUp = m_bytesPerPixel != 2 && f.bmi.biHeight > 0;
    TV_TRACE("deinterlace", "%d x %d, %d bytes per pixel%s", m_width, m_height, m_bytesPerPixel,
             m_bottomUp ? ", bottom-up" : "");
    return S_OK;
}

HRESULT DeInterLaceFilter::DecideBufferSize(IMemAllocator* pAllocator, ALLOCATOR_PROPERTIES* pprop)
{
    CheckPointer(pAllocator, E_POINTER);
    CheckPointer(pprop, E_POINTER);
    // Room for DIB-padded rows, the larger of the two layouts.
    const LONG bytes = (static_cast<LONG>(m_width) * m_bytesPerPixel + 3) / 4 * 4 * m_height;
    return SetAllocatorFor(pAllocator, *pprop, 2, bytes);
}

HRESULT DeInterLaceFilter::Transform(IMediaSample* pIn, IMediaSample* pOut)
{
    CheckPointer(pIn, E_POINTER);
    CheckPointer(pOut, E_POINTER);
    BYTE* src = nullptr;
    BYTE* dst = nullptr;
    if (FAILED(pIn->GetPointer(&src)) || FAILED(pOut->GetPointer(&dst)) || !src || !dst)
        return S_FALSE;
    const long actual = pIn->GetActualDataLength();
    const PackedRows rows = LayoutPackedRows(m_width, m_height, m_bytesPerPixel, actual);
    if (rows.rows < 1)
        return S_FALSE;
    const long bytes = static_cast<long>(rows.stride) * rows.rows;
    if (pOut->GetSize() < bytes)
        return E_FAIL;
    // Field order is the picture's: a bottom-up DIB is walked from its top row.
    const ptrdiff_t stride = m_bottomUp ? -rows.stride : rows.stride;
    const ptrdiff_t top = m_bottomUp ? static_cast<ptrdiff_t>(rows.rows - 1) * rows.stride : 0;
    DeinterlaceFrame(src + top, stride, dst + top, stride, rows.stride, rows.rows);
    pOut->SetActualDataLength(bytes);
    return S_OK;
}
