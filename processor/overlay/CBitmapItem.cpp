#include "CBitmapItem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

uint32_t Le32(const BYTE* p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t Le16(const BYTE* p)
{
    return uint16_t(p[0] | p[1] << 8);
}

} // namespace

CBitmapItem::CBitmapItem(int fd, LONG x, LONG y, BYTE r, BYTE g, BYTE b, bool ownsFd)
    : COverlayItem(kBitmap, r, g, b), m_fd(fd), m_ownsFd(ownsFd)
{
    m_x0 = m_x1 = EvenX(x);
    m_y0 = m_y1 = y;
}

CBitmapItem::~CBitmapItem()
{
    if (m_ownsFd && m_fd >= 0)
        close(m_fd);
}

bool CBitmapItem::ReadFileBytes(std::vector<BYTE>* out) const
{
    struct stat st;
    if (m_fd < 0 || fstat(m_fd, &st) != 0 || st.st_size < 0 || uint64_t(st.st_size) > kMaxFileBytes)
        return false;
    std::vector<BYTE> data(size_t(st.st_size));
    size_t got = 0;
    while (got < data.size()) {
        ssize_t n = pread(m_fd, data.data() + got, data.size() - got, off_t(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false; // the file shrank or cannot be read
        got += size_t(n);
    }
    *out = std::move(data);
    return true;
}

bool CBitmapItem::ParseBmp(const std::vector<BYTE>& file, OverlayImage* image)
{
    const size_t kHeaders = 14 + 40;
    if (file.size() < kHeaders || file[0] != 'B' || file[1] != 'M' || Le16(&file[28]) != 24)
        return false;
    const uint32_t fileSize = Le32(&file[2]);
    const uint32_t offBits = Le32(&file[10]);
    const int32_t width = int32_t(Le32(&file[18]));
    const int32_t height = int32_t(Le32(&file[22]));
    // Negative heights (top-down files) and sizes the file does not hold are refused.
    if (width <= 0 || height <= 0 || fileSize > file.size() || offBits >= fileSize)
        return false;
    const int64_t pixelBytes = int64_t(fileSize) - offBits;
    const int64_t stride = ((3 * int64_t(width) + 3) / 4) * 4;
    if (pixelBytes / height != stride)
        return false;
    const BYTE* pixels = file.data() + offBits;
    image->bits.assign(pixels, pixels + stride * height);
    image->width = width;
    image->height = height;
    image->stride = LONG(stride);
    return true;
}

bool CBitmapItem::Render()
{
    std::vector<BYTE> file;
    OverlayImage image;
    if (!ReadFileBytes(&file) || !ParseBmp(file, &image))
        return false;
    std::vector<OverlayPixel> pixels;
    pixels.reserve(size_t(image.width) * size_t(image.height));
    for (LONG row = 0; row < image.height; ++row) {
        const BYTE* p = image.bits.data() + size_t(row) * size_t(image.stride);
        for (LONG col = 0; col < image.width; ++col, p += 3) {
            const BYTE b = p[0], g = p[1], r = p[2];
            const OverlayYuv yuv = OverlayRgbToYuv(r, g, b);
            const bool opaque = r != m_r || g != m_g || b != m_b;
            pixels.push_back(OverlayPixel{yuv.y, yuv.u, yuv.v, BYTE(opaque ? 1 : 0)});
        }
    }
    m_image = std::move(image);
    m_pixels = std::move(pixels);
    m_x1 = Saturate(int64_t(m_x0) + m_image.width);
    m_y1 = Saturate(int64_t(m_y0) + m_image.height);
    return true;
}

void CBitmapItem::Blend(const OverlayFrame& frame)
{
    OverlayBlendBitmap(frame, m_pixels, m_image.width, m_image.height, m_x0, m_y0);
}
