// Media types for tests.
#include "TvMediaTypes.h"

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

CMediaType TvMakeYuy2Type(LONG width, LONG height)
{
    return TvMakeVideoType(MEDIASUBTYPE_YUY2, width, height, 16, MAKEFOURCC('Y', 'U', 'Y', '2'));
}

CMediaType TvMakePcmType(DWORD rate, WORD channels, WORD bits, WORD tag, ULONG sampleSize)
{
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = tag;
    wfx.nChannels = channels;
    wfx.nSamplesPerSec = rate;
    wfx.wBitsPerSample = bits;
    wfx.nBlockAlign = WORD(channels * bits / 8);
    wfx.nAvgBytesPerSec = rate * wfx.nBlockAlign;
    CMediaType mt;
    CreateAudioMediaType(&wfx, &mt, TRUE);
    if (sampleSize)
        mt.SetSampleSize(sampleSize);
    return mt;
}
