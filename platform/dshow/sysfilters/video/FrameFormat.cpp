#include "video/FrameFormat.h"

namespace {

constexpr DWORD MakeFourCC(char a, char b, char c, char d)
{
    return DWORD(uint8_t(a)) | (DWORD(uint8_t(b)) << 8) | (DWORD(uint8_t(c)) << 16) |
           (DWORD(uint8_t(d)) << 24);
}

} // namespace

int FrameDefaultStride(PixelLayout layout, int width)
{
    switch (layout) {
    case PixelLayout::YUY2:
    case PixelLayout::UYVY:
        return ((width + 1) & ~1) * 2;
    case PixelLayout::RGB32:
        return width * 4;
    case PixelLayout::RGB24:
        return (width * 3 + 3) & ~3;
    case PixelLayout::RGB565:
        return (width * 2 + 3) & ~3;
    case PixelLayout::I420:
    case PixelLayout::YV12:
        return width;
    case PixelLayout::None:
        break;
    }
    return 0;
}

bool FrameFormat::IsValid() const
{
    if (layout == PixelLayout::None || width <= 0 || height <= 0 || width > kMaxFrameSide ||
        height > kMaxFrameSide)
        return false;
    if ((layout == PixelLayout::I420 || layout == PixelLayout::YV12) && bottomUp)
        return false;
    return stride >= FrameDefaultStride(layout, width) && stride <= 8 * kMaxFrameSide;
}

size_t FrameFormat::FrameBytes() const
{
    if (!IsValid())
        return 0;
    size_t rows = size_t(stride) * size_t(height);
    if (layout == PixelLayout::I420 || layout == PixelLayout::YV12) {
        // Chroma planes: half the stride, half the rows (both rounded up, so
        // that an odd width keeps its last chroma column).
        size_t chroma = size_t(FrameChromaStride(stride)) * size_t((height + 1) / 2);
        return rows + 2 * chroma;
    }
    return rows;
}

PixelLayout FrameLayoutFromBitmap(DWORD compression, WORD bitCount)
{
    constexpr DWORD kRgb = 0, kBitfields = 3;
    if (compression == kRgb) {
        switch (bitCount) {
        case 32:
            return PixelLayout::RGB32;
        case 24:
            return PixelLayout::RGB24;
        case 16:
            // Plain 16-bit DIBs are 5:5:5; only the 5:6:5 bit-field form is taken.
            return PixelLayout::None;
        default:
            return PixelLayout::None;
        }
    }
    if (compression == kBitfields)
        return bitCount == 16   ? PixelLayout::RGB565
               : bitCount == 32 ? PixelLayout::RGB32
                                : PixelLayout::None;
    if (compression == MakeFourCC('Y', 'U', 'Y', '2') ||
        compression == MakeFourCC('Y', 'U', 'Y', 'V'))
        return PixelLayout::YUY2;
    if (compression == MakeFourCC('U', 'Y', 'V', 'Y'))
        return PixelLayout::UYVY;
    if (compression == MakeFourCC('I', '4', '2', '0') ||
        compression == MakeFourCC('I', 'Y', 'U', 'V'))
        return PixelLayout::I420;
    if (compression == MakeFourCC('Y', 'V', '1', '2'))
        return PixelLayout::YV12;
    return PixelLayout::None;
}
