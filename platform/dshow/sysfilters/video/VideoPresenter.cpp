#include "video/VideoPresenter.h"

#include <algorithm>
#include <cstring>

#include "video/OffscreenPresenter.h"
#include "video/X11Presenter.h"
#include "win32/window.h"

RECT LetterBoxRect(const RECT& dest, LONG sourceWidth, LONG sourceHeight)
{
    LONG dw = dest.right - dest.left, dh = dest.bottom - dest.top;
    if (dw <= 0 || dh <= 0 || sourceWidth <= 0 || sourceHeight <= 0)
        return dest;
    // Fit by width first; when that is too tall, fit by height.
    int64_t h = int64_t(dw) * sourceHeight / sourceWidth;
    LONG w = dw;
    if (h > dh) {
        h = dh;
        w = LONG(int64_t(dh) * sourceWidth / sourceHeight);
    }
    RECT r;
    r.left = dest.left + (dw - w) / 2;
    r.top = dest.top + (dh - LONG(h)) / 2;
    r.right = r.left + w;
    r.bottom = r.top + LONG(h);
    return r;
}

void CVideoPresenter::ClientSize(const PresentSettings& settings, int* width, int* height)
{
    *width = std::clamp<LONG>(settings.width, 0, kMaxFrameSide);
    *height = std::clamp<LONG>(settings.height, 0, kMaxFrameSide);
}

RECT CVideoPresenter::ComputeTarget(int clientWidth, int clientHeight) const
{
    RECT dest{0, 0, clientWidth, clientHeight};
    if (!m_settings.defaultDestination && !m_settings.fullScreen)
        dest = m_settings.destination;
    if (m_settings.letterBox)
        dest = LetterBoxRect(dest, m_settings.source.right - m_settings.source.left,
                             m_settings.source.bottom - m_settings.source.top);
    return dest;
}

void CVideoPresenter::Relayout()
{
    int width = 0, height = 0;
    ClientSize(m_settings, &width, &height);
    RECT oldTarget = m_target;
    m_target = ComputeTarget(width, height);

    std::unique_ptr<CSurfaceBuffer> old;
    if (!m_surface || m_surface->view.width != width || m_surface->view.height != height) {
        old = std::move(m_surface);
        m_back.reset();
        if (width > 0 && height > 0) {
            m_surface = NewSurface(width, height);
            if (m_surface && DoubleBuffered())
                m_back = NewSurface(width, height);
        }
    }
    if (!m_surface) {
        m_hasPicture = false;
        return;
    }
    const SurfaceView& view = m_surface->view;

    // Keep the picture already shown: scale what was in the old target into the
    // new one. When playing a new frame replaces it soon; when paused or stopped
    // it is all there is. The same surface needs a copy, as the two rectangles
    // may overlap.
    bool moved = !SameRect(oldTarget, m_target);
    if (m_hasPicture && (old || moved)) {
        std::unique_ptr<uint8_t[]> copy;
        SurfaceView from;
        if (old) {
            from = old->view;
        } else {
            size_t bytes = size_t(view.stride) * size_t(view.height);
            copy.reset(new uint8_t[bytes + kSurfacePadding]);
            std::memcpy(copy.get(), view.data, bytes);
            from = view;
            from.data = copy.get();
        }
        m_hasPicture = m_converter.Rescale(from, oldTarget, view, m_target);
    }
    old.reset();

    if (m_hasPicture) {
        RECT t = ClipRect(m_target, view.width, view.height);
        DWORD c = m_settings.borderColour;
        FillSurfaceRect(view, RECT{0, 0, view.width, t.top}, c);
        FillSurfaceRect(view, RECT{0, t.bottom, view.width, view.height}, c);
        FillSurfaceRect(view, RECT{0, t.top, t.left, t.bottom}, c);
        FillSurfaceRect(view, RECT{t.right, t.top, view.width, t.bottom}, c);
    } else {
        FillSurfaceRect(view, RECT{0, 0, view.width, view.height}, m_settings.borderColour);
    }
    // The back surface starts as a copy: its borders are drawn once, here.
    if (m_back)
        std::memcpy(m_back->view.data, view.data, size_t(view.stride) * size_t(view.height));
    ShowSurface(*m_surface, RECT{0, 0, view.width, view.height});
}

void CVideoPresenter::SetSettings(const PresentSettings& settings)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_surface && settings == m_settings)
        return;
    ApplyPlacement(settings);
    m_settings = settings;
    Relayout();
}

PresentSettings CVideoPresenter::Settings()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_settings;
}

RECT CVideoPresenter::TargetRect()
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_target;
}

bool CVideoPresenter::Present(const FrameFormat& format, const uint8_t* frame)
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (!m_surface)
        return false;
    CSurfaceBuffer& into = m_back ? *m_back : *m_surface;
    if (!m_converter.Convert(format, frame, m_settings.source, into.view, m_target))
        return false;
    ++m_framesPresented;
    m_hasPicture = true;
    ShowSurface(into, ClipRect(m_target, into.view.width, into.view.height));
    if (m_back)
        std::swap(m_surface, m_back);
    return true;
}

bool CVideoPresenter::TryRepaint()
{
    std::unique_lock<std::mutex> guard(m_lock, std::try_to_lock);
    if (!guard.owns_lock())
        return false;
    if (m_surface)
        ShowSurface(*m_surface, RECT{0, 0, m_surface->view.width, m_surface->view.height});
    return true;
}

bool CVideoPresenter::CopyPicture(uint8_t* buffer, size_t bufferSize, int* width, int* height,
                                  uint64_t* framesPresented)
{
    std::lock_guard<std::mutex> guard(m_lock);
    int w = m_surface ? m_surface->view.width : 0;
    int h = m_surface ? m_surface->view.height : 0;
    if (width)
        *width = w;
    if (height)
        *height = h;
    if (framesPresented)
        *framesPresented = m_framesPresented;
    if (!m_surface || !buffer || bufferSize < size_t(w) * size_t(h) * 4)
        return false;
    WaitShown();
    const SurfaceView& view = m_surface->view;
    for (int y = 0; y < h; ++y) {
        const uint8_t* src = view.data + size_t(y) * size_t(view.stride);
        uint8_t* dst = buffer + size_t(y) * size_t(w) * 4;
        if (view.kind == SurfaceKind::BGRX32) {
            std::memcpy(dst, src, size_t(w) * 4);
            continue;
        }
        for (int x = 0; x < w; ++x) {
            uint16_t p;
            std::memcpy(&p, src + size_t(x) * 2, 2);
            uint8_t r5 = uint8_t(p >> 11), g6 = uint8_t((p >> 5) & 0x3f), b5 = uint8_t(p & 0x1f);
            dst[x * 4 + 0] = uint8_t((b5 << 3) | (b5 >> 2));
            dst[x * 4 + 1] = uint8_t((g6 << 2) | (g6 >> 4));
            dst[x * 4 + 2] = uint8_t((r5 << 3) | (r5 >> 2));
            dst[x * 4 + 3] = 0xff;
        }
    }
    return true;
}

std::unique_ptr<CVideoPresenter> CreateVideoPresenter(HWND owner)
{
    if (owner && TvGetX11Display() && !TvIsVirtualWindow(owner) && IsWindow(owner)) {
        if (auto x11 = CX11Presenter::Create(uint32_t(reinterpret_cast<uintptr_t>(owner))))
            return x11;
    }
    return std::make_unique<COffscreenPresenter>();
}
