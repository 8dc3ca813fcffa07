// Media types for tests.
#include "TvMediaTypes.h"

namespace {

// Both headers name the fields a test sets alike (AvgTimePerFrame, bmiHeader).
template <class Header>
CMediaType MakeVideoType(const GUID& formatType, const GUID& subtype, LONG width, LONG height,
                         WORD bitCount, DWORD compression, REFERENCE_TIME avgTimePerFrame)
{
    CMediaType mt(&MEDIATYPE_Video);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&formatType);
    Header* vih = reinterpret_cast<Header*>(mt.AllocFormatBuffer(sizeof(Header)));
    *vih = Header{};
    vih->AvgTimePerFrame = avgTimePerFrame;
    BITMAPINFOHEADER& header = vih->bmiHeader;
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = bitCount;
    header.biCompression = compression;
    header.biSizeImage = GetBitmapSize(&header);
    mt.SetSampleSize(header.biSizeImage);
    mt.SetTemporalCompression(FALSE);
    return mt;
}

} // namespace

CMediaType TvMakeVideoType(const GUID& subtype, LONG width, LONG height, WORD bitCount,
                           DWORD compression, REFERENCE_TIME avgTimePerFrame)
{
    return MakeVideoType<VIDEOINFOHEADER>(FORMAT_VideoInfo, subtype, width, height, bitCount,
                                          compression, avgTimePerFrame);
}

CMediaType TvMakeVideoType2(const GUID& subtype, LONG width, LONG height, WORD bitCount,
                            DWORD compression, REFERENCE_TIME avgTimePerFrame)
{
    return MakeVideoType<VIDEOINFOHEADER2>(FORMAT_VideoInfo2, subtype, width, height, bitCount,
                                           compression, avgTimePerFrame);
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
