#include "OverlayBlend.h"

#include <algorithm>
#include <climits>
#include <cstring>

bool OverlayLayoutFromHeader(LONG biWidth, LONG biHeight, WORD biBitCount,
                             OverlayFrameLayout* layout)
{
    if (!layout || biWidth <= 0 || biHeight == 0 || biHeight == LONG(INT32_MIN))
        return false;
    int64_t stride;
    if (biBitCount == 0 || biBitCount % 8 != 0)
        stride = biWidth;
    else
        stride = (int64_t(biBitCount / 8) * biWidth + 3) & ~int64_t(3);
    if (stride > INT32_MAX)
        return false;
    layout->format = OVERLAY_FORMAT_YUY2;
    layout->width = biWidth;
    layout->height = biHeight < 0 ? -biHeight : biHeight;
    layout->upright = biHeight > 0 ? 1 : 0;
    layout->stride = LONG(stride);
    return true;
}

LONG OverlayPenWidth(LONG frameHeight)
{
    return frameHeight > 300 ? std::min<LONG>(frameHeight / 150, 6) : 2;
}

OverlayYuv OverlayRgbToYuv(BYTE r, BYTE g, BYTE b)
{
    auto clampByte = [](double v) { return BYTE(std::clamp(v, 0.0, 255.0)); };
    const double y = 0.299 * r + 0.587 * g + 0.114 * b;
    const double u = 0.437 * b - (0.289 * g + 0.147 * r) + 128;
    const double v = 0.615 * r - 0.515 * g - 0.1 * b + 128;
    return OverlayYuv{clampByte(y), clampByte(u), clampByte(v)};
}

bool OverlayFrame::Init(BYTE* frame, size_t frameBytes, const OverlayFrameLayout& layout)
{
    if (!frame || layout.format != OVERLAY_FORMAT_YUY2 || layout.width <= 0 || layout.height <= 0)
        return false;
    const int64_t w = layout.width, h = layout.height, s = layout.stride;
    // A row must hold the whole picture row and the picture must fit the
    // buffer; a layout learned for another connection fails here instead of
    // writing past the sample.
    if (s < 2 * w || uint64_t(s) * uint64_t(h) > frameBytes)
        return false;
    data = frame;
    width = w;
    height = h;
    stride = s;
    upright = layout.upright != 0;
    return true;
}

bool OverlayClipImage(int64_t x0, int64_t y0, int64_t imageWidth, int64_t imageHeight,
                      const OverlayFrame& frame, OverlayClip* clip)
{
    if (imageWidth <= 0 || imageHeight <= 0)
        return false;
    const int64_t x1 = x0 + imageWidth, y1 = y0 + imageHeight;
    const int64_t vx0 = std::max<int64_t>(x0, 0), vy0 = std::max<int64_t>(y0, 0);
    const int64_t vx1 = std::min(x1, frame.width), vy1 = std::min(y1, frame.height);
    const int64_t ox = x0 < 0 ? -x0 : 0, oy = y0 < 0 ? -y0 : 0;
    const int64_t wLimit = imageWidth - (x1 > frame.width ? x1 - frame.width : 0);
    const int64_t hLimit = imageHeight - (y1 > frame.height ? y1 - frame.height : 0);
    if (!(vx0 < vx1 && vy0 < vy1 && ox < wLimit && oy < hLimit))
        return false;
    clip->vx0 = vx0;
    clip->vy0 = vy0;
    clip->ox = ox;
    clip->oy = oy;
    clip->cols = std::min(vx1 - vx0, wLimit - ox);
    clip->rows = std::min(vy1 - vy0, hLimit - oy);
    return true;
}

namespace {

inline bool MaskDrawn(const BYTE* row, int64_t col)
{
    return ((row[col >> 3] >> (7 - (col & 7))) & 1) == 0;
}

inline BYTE Half(BYTE a, BYTE b)
{
    return BYTE(a / 2 + b / 2);
}

// Background pairs cost nothing: a mask byte of 0xFF (eight background pixels,
// starting at an even image column) skips its four pairs at once. Returns how
// many pixels to skip at image column col, 0 when the pair must be looked at.
inline int64_t SkipBackground(const BYTE* row, int64_t col, int64_t remaining)
{
    if ((col & 7) != 0 || remaining < 8)
        return 0;
    const BYTE* p = row + (col >> 3);
    if (remaining >= 32 && (col & 31) == 0 && p[0] == 0xFF && p[1] == 0xFF && p[2] == 0xFF &&
        p[3] == 0xFF)
        return 32;
    return p[0] == 0xFF ? 8 : 0;
}

} // namespace

void OverlayBlendMask(const OverlayFrame& frame, const OverlayImage& mask, int64_t x0, int64_t y0,
                      bool polygonRows, OverlayYuv c)
{
    OverlayClip clip;
    if (mask.Empty() || !OverlayClipImage(x0, y0, mask.width, mask.height, frame, &clip))
        return;
    const bool flip = polygonRows && frame.upright;
    for (int64_t k = 0; k < clip.rows; ++k) {
        const int64_t imgRow = flip ? mask.height - 1 - clip.oy - k : clip.oy + k;
        const BYTE* bits = mask.bits.data() + imgRow * mask.stride;
        BYTE* row = frame.Row(clip.vy0 + k);
        for (int64_t i = 0; i + 1 < clip.cols;) {
            const int64_t ic = clip.ox + i;
            if (int64_t skip = SkipBackground(bits, ic, clip.cols - i)) {
                i += skip;
                continue;
            }
            const bool d0 = MaskDrawn(bits, ic), d1 = MaskDrawn(bits, ic + 1);
            BYTE* p = row + (clip.vx0 + i) * 2;
            if (d0 && d1) {
                p[0] = c.y;
                p[1] = c.u;
                p[2] = c.y;
                p[3] = c.v;
            } else if (d0 || d1) {
                p[d0 ? 0 : 2] = c.y;
                p[1] = Half(p[1], c.u);
                p[3] = Half(p[3], c.v);
            }
            i += 2;
        }
    }
}

void OverlayBlendText(const OverlayFrame& frame, const OverlayImage& mask, int64_t x0, int64_t y0,
                      OverlayYuv t, OverlayYuv o)
{
    OverlayClip clip;
    if (mask.Empty() || !OverlayClipImage(x0, y0, mask.width, mask.height, frame, &clip))
        return;
    // Background test for any image position, outside the image included.
    auto background = [&](int64_t imgRow, int64_t imgCol) {
        if (imgRow < 0 || imgRow >= mask.height || imgCol < 0 || imgCol >= mask.width)
            return true;
        return !MaskDrawn(mask.bits.data() + imgRow * mask.stride, imgCol);
    };
    for (int64_t k = 0; k < clip.rows; ++k) {
        const int64_t imgRow = clip.oy + k;
        const int64_t r = clip.vy0 + k;
        const BYTE* bits = mask.bits.data() + imgRow * mask.stride;
        BYTE* row = frame.Row(r);
        for (int64_t i = 0; i + 1 < clip.cols;) {
            const int64_t ic = clip.ox + i;
            if (int64_t skip = SkipBackground(bits, ic, clip.cols - i)) {
                i += skip;
                continue;
            }
            const bool d0 = MaskDrawn(bits, ic), d1 = MaskDrawn(bits, ic + 1);
            if (!d0 && !d1) {
                i += 2;
                continue;
            }
            const int64_t fc = clip.vx0 + i;
            BYTE* p = row + fc * 2;
            if (d0 && d1) {
                p[0] = p[2] = t.y;
                p[1] = t.u;
                p[3] = t.v;
            } else {
                p[d0 ? 0 : 2] = t.y;
                p[d0 ? 2 : 0] = o.y;
                p[1] = Half(p[1], t.u);
                p[3] = Half(p[3], t.v);
            }
            // The eight neighbouring pairs that are background on both pixels.
            for (int dk = -1; dk <= 1; ++dk) {
                const int64_t nr = r + dk;
                if (nr < 0 || nr >= frame.height)
                    continue;
                BYTE* nrow = frame.Row(nr);
                for (int dc = -2; dc <= 2; dc += 2) {
                    if (dk == 0 && dc == 0)
                        continue;
                    const int64_t nc = fc + dc;
                    if (nc < 0 || nc + 1 >= frame.width)
                        continue;
                    if (!background(imgRow + dk, ic + dc) || !background(imgRow + dk, ic + dc + 1))
                        continue;
                    BYTE* q = nrow + nc * 2;
                    q[0] = q[2] = o.y;
                    q[1] = o.u;
                    q[3] = o.v;
                }
            }
            i += 2;
        }
    }
}

void OverlayMaskPlan::Build(const OverlayImage& mask, bool withOutline)
{
    Clear();
    outline = withOutline;
    if (mask.Empty())
        return;
    width = mask.width;
    height = mask.height;
    const int64_t pairs = mask.width / 2; // pairs with both pixels in the image
    auto drawnPixel = [&](int64_t row, int64_t col) {
        return row >= 0 && row < mask.height && col >= 0 && col < mask.width &&
               MaskDrawn(mask.bits.data() + row * mask.stride, col);
    };
    // Type of each pair the blend visits, with two rows and pairs of none on
    // every side (the outline ring and its neighbours).
    const int64_t gw = pairs + 4, gh = int64_t(mask.height) + 4;
    std::vector<BYTE> grid(size_t(gw * gh), 0);
    auto at = [&](int64_t row, int64_t pair) -> BYTE& {
        return grid[size_t((row + 2) * gw + pair + 2)];
    };
    for (int64_t r = 0; r < mask.height; ++r) {
        const BYTE* bits = mask.bits.data() + r * mask.stride;
        for (int64_t j = 0; j < pairs;) {
            if (int64_t skip = SkipBackground(bits, 2 * j, 2 * (pairs - j))) {
                j += skip / 2;
                continue;
            }
            const bool d0 = MaskDrawn(bits, 2 * j), d1 = MaskDrawn(bits, 2 * j + 1);
            at(r, j) = d0 && d1 ? kBoth : d0 ? kFirst : d1 ? kSecond : 0;
            ++j;
        }
    }
    const int64_t border = withOutline ? 1 : 0;
    for (int64_t r = -border; r < mask.height + border; ++r) {
        for (int64_t j = -border; j < pairs + border; ++j) {
            BYTE type = at(r, j);
            if (withOutline && type == 0 && !drawnPixel(r, 2 * j) && !drawnPixel(r, 2 * j + 1)) {
                for (int dr = -1; dr <= 1 && type == 0; ++dr)
                    for (int dj = -1; dj <= 1 && type == 0; ++dj)
                        if ((dr || dj) && at(r + dr, j + dj) != 0)
                            type = kOutline;
            }
            if (!type)
                continue;
            const bool whole = type == kBoth || type == kOutline;
            if (whole && !cells.empty()) {
                Cell& last = cells.back();
                if (last.type == type && last.row == r && last.pair + last.count == j) {
                    ++last.count;
                    continue;
                }
            }
            cells.push_back(Cell{int32_t(r), int32_t(j), 1, type});
        }
    }
}

namespace {

// Both planned blends: the cells land at (x0 + 2 pair, visible row of the
// stored row); Write(p, type, count) stores count pairs from p.
template <class Write>
void BlendPlanned(const OverlayFrame& frame, const OverlayMaskPlan& plan, int64_t x0, int64_t y0,
                  bool flipRows, Write&& write)
{
    // Outline cells reach one row and one pair past the image; they are
    // checked against the frame only when the ring touches an edge.
    const int64_t pairs = plan.width / 2;
    const bool ringInside =
        !plan.outline || (x0 >= 2 && y0 >= 1 && x0 + 2 * pairs + 2 <= frame.width &&
                          y0 + plan.height < frame.height);
    // The frame was written moments ago by the copy and has mostly left the
    // cache by the time the overlays are drawn; every pair written here
    // waited for its line. Shapes change little from one row to the next, so
    // the line a few rows further on, at the same column, is the one a later
    // cell will want: asking for it now hides most of that wait.
    constexpr int64_t kAhead = 6;
    // Stored rows run upward on the screen; memory rows run the other way in
    // an upright frame.
    const bool memoryDown = flipRows != frame.upright;
    const int64_t ahead = (memoryDown ? -kAhead : kAhead) * frame.stride;
    const BYTE* const first = frame.data;
    const BYTE* const end = frame.data + frame.height * frame.stride;
    int32_t lastRow = INT32_MIN;
    BYTE* row = nullptr;
    for (const OverlayMaskPlan::Cell& cell : plan.cells) {
        const int64_t r = flipRows ? y0 + plan.height - 1 - cell.row : y0 + cell.row;
        const int64_t x = x0 + 2 * int64_t(cell.pair);
        if (!ringInside) {
            // Only outline cells can lie outside, pair by pair at a run's ends.
            if (r < 0 || r >= frame.height)
                continue;
            BYTE* edgeRow = frame.Row(r);
            for (int64_t k = 0; k < cell.count; ++k)
                if (x + 2 * k >= 0 && x + 2 * k + 1 < frame.width)
                    write(edgeRow + (x + 2 * k) * 2, cell.type, 1);
            continue;
        }
        if (cell.row != lastRow) {
            lastRow = cell.row;
            row = frame.Row(r);
        }
        BYTE* p = row + x * 2;
        // Only addresses inside the frame are formed (a prefetch cannot fault,
        // but the pointer arithmetic must stay defined).
        const ptrdiff_t room = memoryDown ? p - first : end - p;
        if ((memoryDown ? -ahead : ahead) < room)
            __builtin_prefetch(p + ahead, 1);
        write(p, cell.type, cell.count);
    }
}

// One pair's four bytes (Y U Y V) as they lie in memory.
uint32_t PairPattern(OverlayYuv a, OverlayYuv b)
{
    const BYTE bytes[4] = {a.y, a.u, b.y, a.v};
    uint32_t v;
    std::memcpy(&v, bytes, 4);
    return v;
}

inline void FillPairs(BYTE* p, uint32_t pattern, int32_t count)
{
    for (int32_t k = 0; k < count; ++k)
        std::memcpy(p + 4 * k, &pattern, 4);
}

bool WhollyInside(const OverlayFrame& frame, const OverlayImage& mask, int64_t x0, int64_t y0)
{
    return x0 >= 0 && y0 >= 0 && x0 + mask.width <= frame.width && y0 + mask.height <= frame.height;
}

} // namespace

void OverlayBlendMaskPlanned(const OverlayFrame& frame, const OverlayImage& mask,
                             const OverlayMaskPlan& plan, int64_t x0, int64_t y0, bool polygonRows,
                             OverlayYuv c)
{
    if (!plan.Matches(mask, false) || !WhollyInside(frame, mask, x0, y0)) {
        OverlayBlendMask(frame, mask, x0, y0, polygonRows, c);
        return;
    }
    const uint32_t whole = PairPattern(c, c);
    BlendPlanned(frame, plan, x0, y0, polygonRows && frame.upright,
                 [&](BYTE* p, BYTE type, int32_t count) {
                     if (type == OverlayMaskPlan::kBoth) {
                         FillPairs(p, whole, count);
                     } else {
                         p[type == OverlayMaskPlan::kFirst ? 0 : 2] = c.y;
                         p[1] = Half(p[1], c.u);
                         p[3] = Half(p[3], c.v);
                     }
                 });
}

void OverlayBlendTextPlanned(const OverlayFrame& frame, const OverlayImage& mask,
                             const OverlayMaskPlan& plan, int64_t x0, int64_t y0, OverlayYuv t,
                             OverlayYuv o)
{
    if (!plan.Matches(mask, true) || !WhollyInside(frame, mask, x0, y0)) {
        OverlayBlendText(frame, mask, x0, y0, t, o);
        return;
    }
    const uint32_t text = PairPattern(t, t), outline = PairPattern(o, o);
    BlendPlanned(frame, plan, x0, y0, false, [&](BYTE* p, BYTE type, int32_t count) {
        switch (type) {
        case OverlayMaskPlan::kBoth:
            FillPairs(p, text, count);
            break;
        case OverlayMaskPlan::kFirst:
        case OverlayMaskPlan::kSecond: {
            const bool first = type == OverlayMaskPlan::kFirst;
            p[first ? 0 : 2] = t.y;
            p[first ? 2 : 0] = o.y;
            p[1] = Half(p[1], t.u);
            p[3] = Half(p[3], t.v);
            break;
        }
        default:
            FillPairs(p, outline, count);
            break;
        }
    });
}

void OverlayBlendBitmap(const OverlayFrame& frame, const std::vector<OverlayPixel>& pixels,
                        int64_t imageWidth, int64_t imageHeight, int64_t x0, int64_t y0)
{
    OverlayClip clip;
    if (uint64_t(imageWidth) * uint64_t(std::max<int64_t>(imageHeight, 0)) != pixels.size() ||
        !OverlayClipImage(x0, y0, imageWidth, imageHeight, frame, &clip))
        return;
    for (int64_t k = 0; k < clip.rows; ++k) {
        const OverlayPixel* src = pixels.data() + (clip.oy + k) * imageWidth + clip.ox;
        BYTE* p = frame.Row(clip.vy0 + k) + clip.vx0 * 2;
        for (int64_t i = 0; i + 1 < clip.cols; i += 2, p += 4) {
            const OverlayPixel& a = src[i];
            const OverlayPixel& b = src[i + 1];
            if (a.opaque && b.opaque) {
                p[0] = a.y;
                p[1] = Half(b.u, a.u);
                p[2] = b.y;
                p[3] = Half(b.v, a.v);
            } else if (a.opaque) {
                p[0] = a.y;
                p[1] = Half(p[1], a.u);
                p[3] = Half(p[3], a.v);
            } else if (b.opaque) {
                p[2] = b.y;
                p[1] = Half(p[1], b.u);
                p[3] = Half(p[3], b.v);
            }
        }
    }
}
