#include "SplitterMediaTypes.h"

#include "CodecKind.h"
#include "TarvoMediaTypes.h"

#include <dvdmedia.h>
#include <mmreg.h>

#include <cstring>

namespace {

constexpr LONG kPelsPerMeter = 2868;
constexpr REFERENCE_TIME kFixedFrameTime = 333667;

void FillBitmap(BITMAPINFOHEADER& bmi, LONG width, LONG height)
{
    bmi.biSize = sizeof(BITMAPINFOHEADER);
    bmi.biWidth = width;
    bmi.biHeight = height;
    bmi.biXPelsPerMeter = kPelsPerMeter;
    bmi.biYPelsPerMeter = kPelsPerMeter;
}

struct Mpeg2Row {
    LONG width;
    LONG height;
    DWORD interlaceFlags;
    DWORD aspectX;
    DWORD aspectY;
    DWORD profile;
    DWORD level;
};

HRESULT BuildMpeg2Info(const GUID& subtype, const Mpeg2Row& row, REFERENCE_TIME frameTime,
                       std::span<const uint8_t> sequenceHeader, CMediaType* pmt)
{
    const ULONG size =
        static_cast<ULONG>(offsetof(MPEG2VIDEOINFO, dwSequenceHeader) + sequenceHeader.size());
    BYTE* block = pmt->AllocFormatBuffer(size);
    if (!block)
        return E_OUTOFMEMORY;
    std::memset(block, 0, size);
    auto* info = reinterpret_cast<MPEG2VIDEOINFO*>(block);
    info->hdr.rcSource = {0, 0, row.width, row.height};
    info->hdr.rcTarget = info->hdr.rcSource;
    info->hdr.AvgTimePerFrame = frameTime;
    info->hdr.dwInterlaceFlags = row.interlaceFlags;
    info->hdr.dwPictAspectRatioX = row.aspectX;
    info->hdr.dwPictAspectRatioY = row.aspectY;
    FillBitmap(info->hdr.bmiHeader, row.width, row.height);
    info->cbSequenceHeader = static_cast<DWORD>(sequenceHeader.size());
    info->dwProfile = row.profile;
    info->dwLevel = row.level;
    std::memcpy(block + offsetof(MPEG2VIDEOINFO, dwSequenceHeader), sequenceHeader.data(),
                sequenceHeader.size());
    pmt->SetType(&MEDIATYPE_Video);
    pmt->SetSubtype(&subtype);
    pmt->SetFormatType(&FORMAT_MPEG2Video);
    return S_OK;
}

HRESULT BuildVideoInfo(const GUID& subtype, const StreamFormat& f, DWORD compression,
                       REFERENCE_TIME frameTime, RECT target, CMediaType* pmt)
{
    auto* info =
        reinterpret_cast<VIDEOINFOHEADER*>(pmt->AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    if (!info)
        return E_OUTOFMEMORY;
    std::memset(info, 0, sizeof(VIDEOINFOHEADER));
    info->rcSource = {0, 0, f.width, f.height};
    info->rcTarget = target;
    info->AvgTimePerFrame = frameTime;
    info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info->bmiHeader.biWidth = f.width;
    info->bmiHeader.biHeight = f.height;
    info->bmiHeader.biPlanes = 1;
    info->bmiHeader.biBitCount = 24;
    info->bmiHeader.biCompression = compression;
    pmt->SetType(&MEDIATYPE_Video);
    pmt->SetSubtype(&subtype);
    pmt->SetFormatType(&FORMAT_VideoInfo);
    return S_OK;
}

// JPEG 2000 and Motion JPEG may be shown at 5/6 of their coded width.
RECT DisplayTarget(const StreamFormat& f)
{
    return {(f.width - f.displayWidth) / 2, 0, f.displayWidth, f.height};
}

} // namespace

HRESULT BuildVideoMediaType(int32_t codecKind, const StreamFormat& f, int32_t interlaced,
                            std::span<const uint8_t> sequenceHeader, CMediaType* pmt)
{
    CheckPointer(pmt, E_POINTER);
    pmt->InitMediaType();
    if (sequenceHeader.empty())
        return S_OK;
    const RECT whole = {0, 0, f.width, f.height};
    switch (codecKind) {
    case CodecMpeg2:
        return BuildMpeg2Info(MEDIASUBTYPE_MPEG2_VIDEO, {f.width, f.height, 1, 4, 3, 0, 0},
                              f.frameDuration, sequenceHeader, pmt);
    case CodecMpeg4:
        return BuildVideoInfo(MEDIASUBTYPE_TarvoDivx, f, kFourccRgbSpace, kFixedFrameTime, whole,
                              pmt);
    case CodecDeviceH264:
    case CodecDeviceH264Clocked:
    case CodecFrameQueue:
        return BuildVideoInfo(MEDIASUBTYPE_TarvoH264, f, kFourccH264, kFixedFrameTime, whole, pmt);
    case CodecJP2K:
        return BuildVideoInfo(MEDIASUBTYPE_TarvoJpeg2000, f, kFourccJP2K, kFixedFrameTime,
                              DisplayTarget(f), pmt);
    case CodecHDH264:
        return BuildMpeg2Info(MEDIASUBTYPE_TarvoAvc1,
                              {1920, 1080, static_cast<DWORD>(interlaced), 30, 17, 100, 40},
                              f.frameDuration, sequenceHeader, pmt);
    case CodecMjpeg:
        return BuildVideoInfo(MEDIASUBTYPE_TarvoMjpeg, f, interlaced ? kFourccMJPF : kFourccMJPG,
                              f.frameDuration, DisplayTarget(f), pmt);
    default:
        return S_OK;
    }
}

HRESULT BuildAudioMediaType(int32_t codecKind, CMediaType* pmt)
{
    CheckPointer(pmt, E_POINTER);
    const bool stereo = codecKind == CodecHDH264 || codecKind == CodecMjpeg;
    WAVEFORMATEX wfx{};
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = stereo ? 2 : 1;
    wfx.nSamplesPerSec = stereo ? 48000 : 8000;
    wfx.wBitsPerSample = 16;
    wfx.nBlockAlign = static_cast<WORD>(wfx.nChannels * 2);
    wfx.nAvgBytesPerSec = wfx.nSamplesPerSec * wfx.nBlockAlign;
    pmt->InitMediaType();
    return CreateAudioMediaType(&wfx, pmt, TRUE);
}
