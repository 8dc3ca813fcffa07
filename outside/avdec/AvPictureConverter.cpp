#include "AvPictureConverter.h"

#include "Yuv420ToYuy2.h"

#include <cstring>

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

CAvPictureConverter::~CAvPictureConverter()
{
    sws_freeContext(m_sws);
}

bool CAvPictureConverter::WriteYuy2(const AVFrame& f, uint8_t* dst, ptrdiff_t dstStride)
{
    if (!dst || f.width < 1 || f.height < 1 || dstStride < 2 * static_cast<ptrdiff_t>(f.width))
        return false;
    if ((f.format == AV_PIX_FMT_YUV420P || f.format == AV_PIX_FMT_YUVJ420P) && f.linesize[0] > 0 &&
        f.linesize[1] > 0 && f.linesize[1] == f.linesize[2]) {
        Yuv420Planes planes;
        planes.y = f.data[0];
        planes.u = f.data[1];
        planes.v = f.data[2];
        planes.yStride = f.linesize[0];
        planes.uvStride = f.linesize[1];
        Yuv420ToYuy2(planes, f.width, f.height, dst, dstStride);
        return true;
    }
    m_sws = sws_getCachedContext(m_sws, f.width, f.height, static_cast<AVPixelFormat>(f.format),
                                 f.width, f.height, AV_PIX_FMT_YUYV422, SWS_POINT, nullptr, nullptr,
                                 nullptr);
    if (!m_sws)
        return false;
    // libswscale's vector stages may write past a row's end, so it writes
    // into scratch rows with room to spare and whole rows are copied out.
    const size_t rowBytes = static_cast<size_t>(f.width) * 2;
    const int scratchStride = static_cast<int>((rowBytes + 2 + 63) / 64 * 64);
    m_scratch.resize(static_cast<size_t>(scratchStride) * f.height + kScratchPadding);
    uint8_t* planes[4] = {m_scratch.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {scratchStride, 0, 0, 0};
    if (sws_scale(m_sws, f.data, f.linesize, 0, f.height, planes, strides) != f.height)
        return false;
    for (int r = 0; r < f.height; ++r)
        std::memcpy(dst + r * dstStride, m_scratch.data() + static_cast<size_t>(r) * scratchStride,
                    rowBytes);
    return true;
}
