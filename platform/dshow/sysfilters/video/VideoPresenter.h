// Presentation of decoded pictures: the part of the video renderer that knows
// where pixels go. A presenter owns a surface the size of the video window's
// client area, converts and scales each picture into it (CFrameConverter), keeps
// it as the last presented picture, and shows it: in an X11 child window of the
// owner (CX11Presenter) or nowhere but memory (COffscreenPresenter, for
// headless runs, virtual owner windows and tests).
//
// Threads: Present runs on the renderer's streaming thread; SetSettings and the
// placement calls run on application threads; CopyPicture on any thread; the X11
// presenter also repaints from its own event thread. Everything is serialised by
// m_lock, which is never held while calling out of the presenter.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>

#include "video/FrameConverter.h"
#include "video/FrameFormat.h"

inline bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

// The video window as the application set it up through IVideoWindow and
// IBasicVideo, in the renderer's terms.
struct PresentSettings {
    // Window position in the owner's client area, and its size (the surface size).
    LONG left = 0;
    LONG top = 0;
    LONG width = 0;
    LONG height = 0;
    bool visible = false;
    bool fullScreen = false;
    // Fills the window where the picture is not (0x00BBGGRR).
    DWORD borderColour = 0;
    // Rectangle of the picture to show, in frame pixels.
    RECT source{};
    // Where the picture goes in the window's client area; the whole area when
    // defaultDestination is set (and always in full-screen mode).
    bool defaultDestination = true;
    RECT destination{};
    // Keep the source's shape inside the destination (letter box) or stretch.
    bool letterBox = false;

    bool operator==(const PresentSettings& o) const
    {
        return left == o.left && top == o.top && width == o.width && height == o.height &&
               visible == o.visible && fullScreen == o.fullScreen &&
               borderColour == o.borderColour && SameRect(source, o.source) &&
               defaultDestination == o.defaultDestination && SameRect(destination, o.destination) &&
               letterBox == o.letterBox;
    }
};

// The largest rectangle of the source's shape centred in dest.
RECT LetterBoxRect(const RECT& dest, LONG sourceWidth, LONG sourceHeight);

// Memory behind a surface. Presenters derive their own (heap, shared memory).
class CSurfaceBuffer {
public:
    virtual ~CSurfaceBuffer() = default;
    SurfaceView view;
};

class CVideoPresenter {
public:
    virtual ~CVideoPresenter() = default;
    CVideoPresenter(const CVideoPresenter&) = delete;
    CVideoPresenter& operator=(const CVideoPresenter&) = delete;

    // "offscreen" or "x11".
    virtual const char* Kind() const = 0;

    // Streaming thread. Converts the picture (format.FrameBytes() bytes) into the
    // surface and shows it. False when nothing could be drawn (no surface, empty
    // rectangles, a format libswscale refuses).
    bool Present(const FrameFormat& format, const uint8_t* frame);

    // Application thread. Applies the window settings: resizes the surface when
    // the window size changed, keeps the picture already shown (rescaled into its
    // new place), refills the borders and shows the result.
    void SetSettings(const PresentSettings& settings);
    PresentSettings Settings();

    // Any thread. Copies the client area as last shown (once it is on screen):
    // 32-bit pixels, bytes
    // B G R X, rows top-down, width * 4 bytes each, into buffer (bufferSize
    // bytes). Reports the size and the number of pictures presented so far.
    // False when the buffer is too small (the size is reported all the same) or
    // there is no surface.
    bool CopyPicture(uint8_t* buffer, size_t bufferSize, int* width, int* height,
                     uint64_t* framesPresented);

    // Picture rectangle inside the client area under the current settings.
    RECT TargetRect();

protected:
    CVideoPresenter() = default;

    // A new surface for a client area of width x height (both >= 1). Under m_lock.
    virtual std::unique_ptr<CSurfaceBuffer> NewSurface(int width, int height) = 0;
    // True when pictures alternate between two surfaces (a presenter whose
    // screen reads the memory after ShowSurface returns): each picture is drawn
    // into the one not shown last, which then becomes the front.
    virtual bool DoubleBuffered() { return false; }
    // Puts the rectangle dirty of a surface on screen. Under m_lock.
    virtual void ShowSurface(const CSurfaceBuffer& surface, const RECT& dirty)
    {
        (void)surface;
        (void)dirty;
    }
    // Moves, sizes, shows or hides the window for new settings. Under m_lock,
    // before the surface is reallocated.
    virtual void ApplyPlacement(const PresentSettings& settings) { (void)settings; }
    // Returns once what ShowSurface put on screen is there (the X server has
    // done the work). Under m_lock.
    virtual void WaitShown() {}
    // The client size for the settings (the screen in full-screen mode where
    // there is one). Under m_lock.
    virtual void ClientSize(const PresentSettings& settings, int* width, int* height);

    // Shows the whole surface again (X11 expose). Takes m_lock if it is free
    // and returns false, having done nothing, when another thread holds it.
    bool TryRepaint();

    std::mutex m_lock;
    // guarded by m_lock
    std::unique_ptr<CSurfaceBuffer> m_surface; // the front: the last picture shown
    std::unique_ptr<CSurfaceBuffer> m_back;    // the next picture's, when double-buffered
    PresentSettings m_settings;
    RECT m_target{};
    uint64_t m_framesPresented = 0;
    bool m_hasPicture = false;
    CFrameConverter m_converter;

private:
    void Relayout(); // under m_lock
    RECT ComputeTarget(int clientWidth, int clientHeight) const;
};

// The presenter for a window owner: an X11 child window when there is a display
// and owner is a live X11 window (and the X server offers a visual the
// presenter can fill), otherwise an offscreen surface.
std::unique_ptr<CVideoPresenter> CreateVideoPresenter(HWND owner);
