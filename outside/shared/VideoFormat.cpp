#include "VideoFormat.h"

#include <dvdmedia.h>
#include <uuids.h>

#include <cstring>

bool ReadVideoFormat(const AM_MEDIA_TYPE& mt, VideoFormat* out)
{
    if (!IsEqualGUID(mt.majortype, MEDIATYPE_Video) || !mt.pbFormat)
        return false;
    VideoFormat f;
    if (IsEqualGUID(mt.formattype, FORMAT_VideoInfo) && mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        VIDEOINFOHEADER vih;
        std::memcpy(&vih, mt.pbFormat, sizeof vih);
        f.bmi = vih.bmiHeader;
        f.avgTimePerFrame = vih.AvgTimePerFrame;
        f.sequenceHeader = {mt.pbFormat + sizeof vih, mt.cbFormat - sizeof vih};
    } else if ((IsEqualGUID(mt.formattype, FORMAT_VideoInfo2) &&
                mt.cbFormat >= sizeof(VIDEOINFOHEADER2)) ||
               (IsEqualGUID(mt.formattype, FORMAT_MPEG2Video) &&
                mt.cbFormat >= offsetof(MPEG2VIDEOINFO, dwSequenceHeader))) {
        VIDEOINFOHEADER2 vih;
        std::memcpy(&vih, mt.pbFormat, sizeof vih);
        f.bmi = vih.bmiHeader;
        f.avgTimePerFrame = vih.AvgTimePerFrame;
        if (IsEqualGUID(mt.formattype, FORMAT_MPEG2Video)) {
            MPEG2VIDEOINFO m;
            std::memcpy(&m, mt.pbFormat, offsetof(MPEG2VIDEOINFO, dwSequenceHeader));
            const size_t at = offsetof(MPEG2VIDEOINFO, dwSequenceHeader);
            if (m.cbSequenceHeader > mt.cbFormat - at)
                return false;
            f.sequenceHeader = {mt.pbFormat + at, m.cbSequenceHeader};
            f.mpeg2Flags = m.dwFlags;
        } else {
            f.sequenceHeader = {mt.pbFormat + sizeof vih, mt.cbFormat - sizeof vih};
        }
    } else {
        return false;
    }
    *out = f;
    return true;
}

bool MakeYuy2Type(CMediaType* mt, int width, int height, REFERENCE_TIME avgTimePerFrame)
{
    mt->InitMediaType();
    mt->SetType(&MEDIATYPE_Video);
    mt->SetSubtype(&MEDIASUBTYPE_YUY2);
    mt->SetFormatType(&FORMAT_VideoInfo2);
    mt->SetTemporalCompression(FALSE);
    const DWORD bytes = static_cast<DWORD>(Yuy2Stride(width)) * static_cast<DWORD>(height);
    mt->SetSampleSize(bytes);
    auto* vih =
        reinterpret_cast<VIDEOINFOHEADER2*>(mt->AllocFormatBuffer(sizeof(VIDEOINFOHEADER2)));
    if (!vih)
        return false;
    *vih = VIDEOINFOHEADER2{};
    vih->rcSource = RECT{0, 0, width, height};
    vih->rcTarget = vih->rcSource;
    vih->AvgTimePerFrame = avgTimePerFrame;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 16;
    vih->bmiHeader.biCompression = MAKEFOURCC('Y', 'U', 'Y', '2');
    vih->bmiHeader.biSizeImage = bytes;
    return true;
}

bool Yuy2TypeSize(const AM_MEDIA_TYPE& mt, int* width, int* height)
{
    VideoFormat f;
    if (!IsEqualGUID(mt.subtype, MEDIASUBTYPE_YUY2) && !IsEqualGUID(mt.subtype, MEDIASUBTYPE_YUYV))
        return false;
    if (IsEqualGUID(mt.formattype, FORMAT_MPEG2Video) || !ReadVideoFormat(mt, &f))
        return false;
    if (f.Width() < 1 || f.Height() < 1)
        return false;
    *width = f.Width();
    *height = f.Height();
    return true;
}

PackedRows LayoutPackedRows(int width, int height, int bytesPerPixel, long actualLength)
{
    PackedRows r;
    if (width < 1 || height < 1 || bytesPerPixel < 1 || actualLength < 1)
        return r;
    const long packed = static_cast<long>(width) * bytesPerPixel;
    const long padded = (packed + 3) / 4 * 4;
    r.rowBytes = static_cast<int>(packed);
    if (actualLength / padded >= height) {
        r.stride = static_cast<int>(padded);
        r.rows = height;
    } else {
        r.stride = static_cast<int>(packed);
        const long rows = actualLength / packed;
        r.rows = static_cast<int>(rows < height ? rows : height);
    }
    return r;
}
