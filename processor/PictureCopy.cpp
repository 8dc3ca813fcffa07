#include "PictureCopy.h"

#include <algorithm>
#include <cstring>

namespace {

// The tile layout of cut mode 6.
constexpr LONG kTileInWidth = 1920;
constexpr LONG kTileInHeight = 1080;
constexpr LONG kTileOutWidth = 1600;
constexpr LONG kTileOutHeight = 1200;
constexpr LONG kTiles = 8;
constexpr LONG kTileWidth = 200;
constexpr LONG kTileHeight = 120;
constexpr LONG kTileColumn = 1720; // tiles come from the input's right 200 columns
constexpr LONG kTileRowStep = 135; // tile i starts at input row 135 x i

LONG EvenDown(LONG v)
{
    return v & ~LONG(1);
}

} // namespace

HRESULT CutSetRect(ProcesserCut& cut, LONG x, LONG y, LONG width, LONG height)
{
    if (width < 0 || height < 0)
        return E_INVALIDARG;
    x = EvenDown(std::clamp(x, LONG(0), cut.inWidth));
    y = std::clamp(y, LONG(0), cut.inHeight);
    if (int64_t(x) + width > cut.inWidth)
        width = cut.inWidth - x;
    if (int64_t(y) + height > cut.inHeight)
        height = cut.inHeight - y;
    cut.x = x;
    cut.y = y;
    cut.outWidth = width;
    cut.outHeight = height;
    return S_OK;
}

HRESULT CutSetMode(ProcesserCut& cut, LONG width, LONG height, LONG mode)
{
    if (width < 0 || height < 0)
        return E_INVALIDARG;
    cut.mode = mode;
    if (mode >= 6) {
        cut.x = 0;
        cut.y = 0;
        cut.outWidth = width;
        cut.outHeight = height;
        return S_OK;
    }
    cut.outWidth = std::min(width, cut.inWidth);
    cut.outHeight = std::min(height, cut.inHeight);
    switch (mode) {
    case 1:
        cut.x = EvenDown(cut.inWidth - cut.outWidth);
        break;
    case 2:
        cut.x = 0;
        break;
    case 3:
        cut.x = EvenDown((cut.inWidth - cut.outWidth) / 2);
        break;
    default:
        break;
    }
    return S_OK;
}

void CutFitInput(ProcesserCut& cut, LONG inWidth, LONG inHeight)
{
    cut.inWidth = inWidth;
    cut.inHeight = inHeight;
    const bool tiles = cut.mode > 5;
    const bool set = cut.outWidth > 0 && cut.outHeight > 0;
    const bool fitsX = tiles || int64_t(inWidth) >= int64_t(cut.outWidth) + cut.x;
    const bool fitsY = tiles || int64_t(inHeight) >= int64_t(cut.outHeight) + cut.y;
    if (set && fitsX && fitsY)
        return;
    cut.outWidth = inWidth;
    cut.outHeight = inHeight;
    cut.x = 0;
    cut.y = 0;
}

int64_t Yuy2PictureBytes(int64_t width, int64_t height)
{
    if (width <= 0 || height <= 0)
        return 0;
    return Yuy2Stride(width) * height;
}

PicturePlan PicturePlan::For(const ProcesserCut& cut)
{
    PicturePlan p;
    p.outWidth = cut.outWidth;
    p.outHeight = cut.outHeight;
    p.inStride = Yuy2Stride(cut.inWidth);
    p.outStride = Yuy2Stride(cut.outWidth);
    p.inBytes = Yuy2PictureBytes(cut.inWidth, cut.inHeight);
    p.outBytes = Yuy2PictureBytes(cut.outWidth, cut.outHeight);
    if (p.inBytes == 0 || p.outBytes == 0)
        return p;
    if (cut.mode > 5) {
        if (cut.inWidth == kTileInWidth && cut.inHeight == kTileInHeight &&
            cut.outWidth == kTileOutWidth && cut.outHeight == kTileOutHeight)
            p.kind = Kind::kTiles;
        return p;
    }
    if (cut.outWidth == cut.inWidth && cut.outHeight == cut.inHeight) {
        p.kind = Kind::kWhole;
        return p;
    }
    // A crop must lie inside the input (CutSetRect and CutFitInput see to it;
    // a mode set before the input shrank may not).
    if (cut.x < 0 || cut.y < 0 || int64_t(cut.x) + cut.outWidth > cut.inWidth ||
        int64_t(cut.y) + cut.outHeight > cut.inHeight)
        return p;
    p.kind = Kind::kCrop;
    p.inOffset = int64_t(cut.y) * p.inStride + int64_t(cut.x) * 2;
    return p;
}

bool CopyPicture(const PicturePlan& plan, const BYTE* in, size_t inLength, BYTE* out,
                 size_t outSize, size_t* outLength)
{
    *outLength = 0;
    if (!in || !out)
        return false;
    switch (plan.kind) {
    case PicturePlan::Kind::kInvalid:
        return false;
    case PicturePlan::Kind::kWhole:
        if (outSize < inLength)
            return false;
        std::memcpy(out, in, inLength);
        *outLength = inLength;
        return true;
    case PicturePlan::Kind::kCrop: {
        if (uint64_t(plan.outBytes) > outSize)
            return false;
        // The last row read ends after the output's width, not the input's stride.
        const int64_t rowBytes = int64_t(plan.outWidth) * 2;
        const int64_t lastRowEnd =
            plan.inOffset + (int64_t(plan.outHeight) - 1) * plan.inStride + rowBytes;
        if (uint64_t(lastRowEnd) > inLength)
            return false;
        const BYTE* src = in + plan.inOffset;
        BYTE* dst = out;
        for (LONG row = 0; row < plan.outHeight; ++row) {
            std::memcpy(dst, src, size_t(rowBytes));
            std::memset(dst + rowBytes, 0, size_t(plan.outStride - rowBytes));
            src += plan.inStride;
            dst += plan.outStride;
        }
        *outLength = size_t(plan.outBytes);
        return true;
    }
    case PicturePlan::Kind::kTiles: {
        if (uint64_t(plan.outBytes) > outSize || uint64_t(plan.inBytes) > inLength)
            return false;
        // The strip of eight tiles along the top.
        for (LONG tile = 0; tile < kTiles; ++tile) {
            for (LONG row = 0; row < kTileHeight; ++row) {
                const BYTE* src =
                    in + (tile * kTileRowStep + row) * plan.inStride + kTileColumn * 2;
                BYTE* dst = out + row * plan.outStride + tile * kTileWidth * 2;
                std::memcpy(dst, src, size_t(kTileWidth) * 2);
            }
        }
        // Below it the left 1600 columns of every input row.
        for (LONG row = 0; row < kTileInHeight; ++row) {
            const BYTE* src = in + row * plan.inStride;
            BYTE* dst = out + (kTileHeight + row) * plan.outStride;
            std::memcpy(dst, src, size_t(kTileOutWidth) * 2);
        }
        *outLength = size_t(plan.outBytes);
        return true;
    }
    }
    return false;
}
