// The player classes as the control uses them. They are the library's own
// classes; what differs in the control is added here:
//   - the renderer's window sits at (3, 3) with the client size less 6, on
//     attach and on every ReSize (which takes the size it is given);
//   - a captured picture of exactly 1440 x 1080 is scaled to 1600 x 1200
//     (still YUY2) before it is written;
//   - CVodStreamPlayer: a stream player that answers the video-on-demand
//     operations through the splitter.
// Threads: as the library's classes.
#pragma once

#include <vector>

#include "CFilePlayer.h"
#include "CStreamPlayer.h"

// The control's inset of the video window inside its client area.
inline constexpr LONG kOcxVideoInset = 3;

// Scales a YUY2 picture (w x 2 bytes a row, top row first) to dw x dh
// bilinearly: luma per pixel, chroma per pixel pair. Widths even, sizes
// positive; dst holds dw x dh x 2 bytes.
void TvScaleYuy2(const BYTE* src, int width, int height, BYTE* dst, int dw, int dh);

// The control's placement and capture rules over one of the library's graph
// players.
template <class Base> class TOcxPlayer : public Base {
public:
    using Base::Base;

    int ReSize(int width, int height) override
    {
        std::lock_guard<std::recursive_mutex> lock(this->m_lock);
        if (!this->m_pVideoWindow)
            return TP_ERR_INVALID_HANDLE;
        const RECT r = VideoWindowRect(width, height);
        this->m_pVideoWindow->SetWindowPosition(r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }

protected:
    RECT VideoWindowRect(LONG width, LONG height) const override
    {
        // A client area smaller than the frame leaves the video no room, not
        // a negative size.
        const LONG w = width > 2 * kOcxVideoInset ? width - 2 * kOcxVideoInset : 0;
        const LONG h = height > 2 * kOcxVideoInset ? height - 2 * kOcxVideoInset : 0;
        return RECT{kOcxVideoInset, kOcxVideoInset, kOcxVideoInset + w, kOcxVideoInset + h};
    }

    HRESULT ScaleCapturedPicture(std::vector<BYTE>& yuy2, int& width, int& height) override
    {
        if (width != 1440 || height != 1080)
            return S_OK;
        std::vector<BYTE> scaled;
        try {
            scaled.resize(size_t(1600) * 1200 * 2);
        } catch (const std::bad_alloc&) {
            return E_OUTOFMEMORY;
        }
        TvScaleYuy2(yuy2.data(), width, height, scaled.data(), 1600, 1200);
        yuy2.swap(scaled);
        width = 1600;
        height = 1200;
        return S_OK;
    }
};

// A stream player whose video-on-demand operations (slots 23-26) go to the
// splitter's ITarvoSplt; TP_ERR_NO_SPLITTER_INTERFACE without it.
class CVodStreamPlayer : public CStreamPlayer {
public:
    using CStreamPlayer::CStreamPlayer;

    int GetVodRange(int* range) override;
    int SetVodRange(int start, int end) override;
    int SetVodCallBack(VodRequestCallback callback, int sessionId) override;
    int VodCBResponsed(int retValue) override;

private:
    template <class Op> int WithSplitter(Op op);
};

typedef TOcxPlayer<CStreamPlayer> COcxStreamPlayer;
typedef TOcxPlayer<CVodStreamPlayer> COcxVodStreamPlayer;
typedef TOcxPlayer<CFilePlayer> COcxFilePlayer;
