// The control's picture scaling and its video-on-demand stream player.
#include "OcxPlayers.h"

#include <algorithm>

#include "TarvoPlayErrors.h"

namespace {

// Source position (16.16 fixed point) of destination index i when n source
// samples map onto m destination samples, centres aligned.
int SourcePos(int i, int n, int m)
{
    const int64_t pos = ((2 * int64_t(i) + 1) * n * 65536) / (2 * int64_t(m)) - 32768;
    return int(std::clamp<int64_t>(pos, 0, int64_t(n - 1) * 65536));
}

BYTE Lerp(int a, int b, int frac)
{
    return BYTE((a * (65536 - frac) + b * frac + 32768) >> 16);
}

// One plane sample of a YUY2 picture: luma x in 0..w-1, or chroma of pair x
// (plane 1 U, plane 2 V).
int Sample(const BYTE* src, int width, int x, int y, int plane)
{
    const BYTE* row = src + size_t(y) * size_t(width) * 2;
    if (plane == 0)
        return row[x * 2];
    return row[x * 4 + (plane == 1 ? 1 : 3)];
}

int Bilinear(const BYTE* src, int width, int height, int px, int py, int planeWidth, int plane)
{
    const int x0 = px >> 16;
    const int y0 = py >> 16;
    const int x1 = std::min(x0 + 1, planeWidth - 1);
    const int y1 = std::min(y0 + 1, height - 1);
    const int top =
        Lerp(Sample(src, width, x0, y0, plane), Sample(src, width, x1, y0, plane), px & 0xFFFF);
    const int bottom =
        Lerp(Sample(src, width, x0, y1, plane), Sample(src, width, x1, y1, plane), px & 0xFFFF);
    return Lerp(top, bottom, py & 0xFFFF);
}

} // namespace

void TvScaleYuy2(const BYTE* src, int width, int height, BYTE* dst, int dw, int dh)
{
    for (int y = 0; y < dh; ++y) {
        const int py = SourcePos(y, height, dh);
        BYTE* out = dst + size_t(y) * size_t(dw) * 2;
        for (int x = 0; x < dw; ++x)
            out[x * 2] = BYTE(Bilinear(src, width, height, SourcePos(x, width, dw), py, width, 0));
        for (int pair = 0; pair < dw / 2; ++pair) {
            const int px = SourcePos(pair, width / 2, dw / 2);
            out[pair * 4 + 1] = BYTE(Bilinear(src, width, height, px, py, width / 2, 1));
            out[pair * 4 + 3] = BYTE(Bilinear(src, width, height, px, py, width / 2, 2));
        }
    }
}

template <class Op> int CVodStreamPlayer::WithSplitter(Op op)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pTarvoSplt)
        return TP_ERR_NO_SPLITTER_INTERFACE;
    return op(m_pTarvoSplt);
}

int CVodStreamPlayer::GetVodRange(int* range)
{
    return WithSplitter([&](ITarvoSplt* s) { return s->GetVodRange(range); });
}

int CVodStreamPlayer::SetVodRange(int start, int end)
{
    return WithSplitter([&](ITarvoSplt* s) { return s->SetVodRange(start, end); });
}

int CVodStreamPlayer::SetVodCallBack(VodRequestCallback callback, int sessionId)
{
    return WithSplitter([&](ITarvoSplt* s) { return s->SetVodCallback(callback, sessionId); });
}

int CVodStreamPlayer::VodCBResponsed(int retValue)
{
    return WithSplitter([&](ITarvoSplt* s) { return s->ResumeVodRequests(retValue); });
}
