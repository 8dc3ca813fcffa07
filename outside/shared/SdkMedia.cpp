#include "SdkMedia.h"

#include <cstdio>
#include <cstring>
#include <memory>

extern "C" {
#include <libswscale/swscale.h>
}

#include "TestPattern.h"
#include "win32/path.h"

namespace {

constexpr size_t kHeaderSize = 24;

void PutLe32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t GetLe32(const uint8_t* p)
{
    return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

struct FileClose {
    void operator()(FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<FILE, FileClose>;

File OpenMapped(const char* path, const char* mode)
{
    if (!path)
        return nullptr;
    return File(std::fopen(TvMapPath(path).c_str(), mode));
}

} // namespace

bool SdkWriteMediaFile(const char* path, const SdkMediaInfo& info, const char* magic)
{
    File file = OpenMapped(path, "wb");
    if (!file)
        return false;
    uint8_t header[kHeaderSize];
    std::memcpy(header, magic, 4);
    PutLe32(header + 4, 1);
    PutLe32(header + 8, static_cast<uint32_t>(info.width));
    PutLe32(header + 12, static_cast<uint32_t>(info.height));
    PutLe32(header + 16, static_cast<uint32_t>(info.frameRate));
    PutLe32(header + 20, static_cast<uint32_t>(info.frameCount));
    return std::fwrite(header, 1, kHeaderSize, file.get()) == kHeaderSize;
}

bool SdkReadMediaFile(const char* path, SdkMediaInfo* info, const char* magic)
{
    File file = OpenMapped(path, "rb");
    if (!file)
        return false;
    uint8_t header[kHeaderSize];
    if (std::fread(header, 1, kHeaderSize, file.get()) != kHeaderSize ||
        std::memcmp(header, magic, 4) != 0)
        return false;
    SdkMediaInfo read;
    read.width = static_cast<int>(GetLe32(header + 8));
    read.height = static_cast<int>(GetLe32(header + 12));
    read.frameRate = static_cast<int>(GetLe32(header + 16));
    read.frameCount = static_cast<int>(GetLe32(header + 20));
    // Even sizes up to 4096 and a sane rate: the header comes from a file.
    if (read.width <= 0 || read.width > 4096 || read.width % 2 || read.height <= 0 ||
        read.height > 4096 || read.height % 2 || read.frameRate <= 0 || read.frameRate > 240 ||
        read.frameCount < 0)
        return false;
    if (info)
        *info = read;
    return true;
}

std::vector<uint8_t> SdkDrawYv12(int width, int height, int64_t frame)
{
    tvdevsim::YuvPicture picture;
    tvdevsim::DrawTestPattern(picture, width, height, frame, false);
    std::vector<uint8_t> yv12;
    yv12.reserve(picture.y.size() + picture.u.size() + picture.v.size());
    yv12.insert(yv12.end(), picture.y.begin(), picture.y.end());
    yv12.insert(yv12.end(), picture.v.begin(), picture.v.end());
    yv12.insert(yv12.end(), picture.u.begin(), picture.u.end());
    return yv12;
}

bool SdkWriteYv12Bmp(const uint8_t* yv12, size_t size, int width, int height, const char* path)
{
    if (!yv12 || width <= 0 || height <= 0 || width % 2 || height % 2)
        return false;
    const size_t lumaSize = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (size < lumaSize + lumaSize / 2)
        return false;
    SwsContext* sws = sws_getContext(width, height, AV_PIX_FMT_YUV420P, width, height,
                                     AV_PIX_FMT_BGR24, SWS_POINT, nullptr, nullptr, nullptr);
    if (!sws)
        return false;
    const size_t rowBytes = static_cast<size_t>(width) * 3;
    const size_t stride = (rowBytes + 3) & ~static_cast<size_t>(3);
    std::vector<uint8_t> bmp(54 + stride * static_cast<size_t>(height));
    // Bottom-up rows: scale into the last row first with a negative stride.
    const uint8_t* planes[3] = {yv12, yv12 + lumaSize + lumaSize / 4, yv12 + lumaSize};
    const int strides[3] = {width, width / 2, width / 2};
    uint8_t* dst[1] = {bmp.data() + 54 + stride * static_cast<size_t>(height - 1)};
    const int dstStride[1] = {-static_cast<int>(stride)};
    sws_scale(sws, planes, strides, 0, height, dst, dstStride);
    sws_freeContext(sws);
    uint8_t* h = bmp.data();
    h[0] = 'B';
    h[1] = 'M';
    PutLe32(h + 2, static_cast<uint32_t>(bmp.size()));
    PutLe32(h + 10, 54);
    PutLe32(h + 14, 40);
    PutLe32(h + 18, static_cast<uint32_t>(width));
    PutLe32(h + 22, static_cast<uint32_t>(height));
    h[26] = 1;
    h[28] = 24;
    PutLe32(h + 34, static_cast<uint32_t>(stride * static_cast<size_t>(height)));
    File file = OpenMapped(path, "wb");
    return file && std::fwrite(bmp.data(), 1, bmp.size(), file.get()) == bmp.size();
}
