// Leak checking, reference counts and test media types.
#include "TestFilters.h"

ULONG RefCount(IUnknown* unknown)
{
    unknown->AddRef();
    return unknown->Release();
}

void TvDshowLeakCheck::SetUp()
{
    m_objectsAtStart = CBaseObject::ObjectsActive();
}

void TvDshowLeakCheck::TearDown()
{
    EXPECT_EQ(CBaseObject::ObjectsActive(), m_objectsAtStart)
        << "the test left COM objects alive (a reference was not released)";
}

namespace {

void FillVideoHeader(BITMAPINFOHEADER& header, LONG width, LONG height, WORD bitCount,
                     DWORD compression)
{
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biCompression = compression;
    header.biSizeImage = GetBitmapSize(&header);
}

} // namespace

CMediaType TvMakeVideoType(const GUID& subtype, LONG width, LONG height, WORD bitCount,
                           DWORD compression, REFERENCE_TIME avgTimePerFrame)
{
    CMediaType mt(&MEDIATYPE_Video);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_VideoInfo);
    VIDEOINFOHEADER* vih =
        reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    *vih = VIDEOINFOHEADER{};
    vih->AvgTimePerFrame = avgTimePerFrame;
    FillVideoHeader(vih->bmiHeader, width, height, bitCount, compression);
    mt.SetSampleSize(vih->bmiHeader.biSizeImage);
    mt.SetTemporalCompression(FALSE);
    return mt;
}

CMediaType TvMakeVideoType2(const GUID& subtype, LONG width, LONG height, WORD bitCount,
                            DWORD compression, REFERENCE_TIME avgTimePerFrame)
{
    CMediaType mt(&MEDIATYPE_Video);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_VideoInfo2);
    VIDEOINFOHEADER2* vih =
        reinterpret_cast<VIDEOINFOHEADER2*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER2)));
    *vih = VIDEOINFOHEADER2{};
    vih->AvgTimePerFrame = avgTimePerFrame;
    FillVideoHeader(vih->bmiHeader, width, height, bitCount, compression);
    mt.SetSampleSize(vih->bmiHeader.biSizeImage);
    mt.SetTemporalCompression(FALSE);
    return mt;
}
