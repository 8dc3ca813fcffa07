// The video renderer (CLSID_VideoRenderer; also made for
// CLSID_VideoRendererDefault, which the splitter's chain asks for and adds to
// the graph as "Render").
//
// Input "Input": MEDIATYPE_Video with FORMAT_VideoInfo or FORMAT_VideoInfo2, in
// YUY2, UYVY, RGB32, RGB24, RGB565 (bit fields), I420/IYUV or YV12. Pictures go
// to a presenter (video/VideoPresenter.h): an X11 child window of the owner
// set with IVideoWindow::put_Owner when there is a display and the owner is an
// X11 window, otherwise an offscreen surface; IOffscreenSnapshot reads the
// last picture either way.
//
// Interfaces: IQualProp (CBaseVideoRenderer), IVideoWindow and IBasicVideo
// (CBaseControlWindow and CBaseControlVideo: this renderer supplies the video's
// size as the default window, the held picture as the current image, and the
// presenter as the window), IVMRAspectRatioControl (default
// VMR_ARMODE_LETTER_BOX; VMR_ARMODE_NONE stretches the picture over the
// destination), IVideoFrameStep (the graph forwards its own to it) and
// IOffscreenSnapshot. It is also its owner window's picture source
// (TvCopyWindowPicture), so a program can snapshot the window without the graph.
//
// The video window: full-screen mode covers the whole screen in X11 and is a
// flag offscreen; the message drain is kept (the X11 window lets mouse and key
// events through to its owner, which is the drain the player sets).
//
// Threads: the window settings follow winctrl.h's locks. m_presenterLock
// guards the presenter and the picture format, for short reads by the
// streaming thread; the presenter serialises its own drawing.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "offscreen.h"
#include "streams.h"
#include "video/FrameFormat.h"
#include "video/VideoPresenter.h"

// What the renderer keeps of a video media type: how to draw it, and the
// format block IBasicVideo reports (bmiHeader.biSizeImage is the picture's
// size in bytes).
struct VideoTypeInfo {
    FrameFormat format;
    VIDEOINFOHEADER vih{};
};

// S_OK and *info for a type the renderer can draw, E_FAIL otherwise.
HRESULT VideoTypeFromMediaType(const AM_MEDIA_TYPE& mt, VideoTypeInfo* info);

class CVideoRenderer final : public CBaseVideoRenderer,
                             public CBaseControlWindow,
                             public CBaseControlVideo,
                             public IVMRAspectRatioControl,
                             public IVideoFrameStep,
                             public IOffscreenSnapshot {
public:
    ~CVideoRenderer() override;

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // CBaseRenderer.
    HRESULT CheckMediaType(const CMediaType* pmt) override;
    HRESULT SetMediaType(const CMediaType* pmt) override;
    HRESULT CompleteConnect(IPin* pReceivePin) override;
    HRESULT BreakConnect() override;
    HRESULT DoRenderSample(IMediaSample* pMediaSample) override;
    void OnReceiveFirstSample(IMediaSample* pMediaSample) override;
    LPCWSTR InputPinName() const override { return L"Input"; }
    STDMETHODIMP Pause() override;
    STDMETHODIMP Run(REFERENCE_TIME StartTime) override;

    // IVMRAspectRatioControl.
    STDMETHODIMP GetAspectRatioMode(LPDWORD lpdwARMode) override;
    STDMETHODIMP SetAspectRatioMode(DWORD dwARMode) override;

    // IVideoFrameStep: stepping needs a connected pin; pStepObject must be null
    // (E_INVALIDARG otherwise), and so must be 0 frames.
    STDMETHODIMP Step(DWORD dwFrames, IUnknown* pStepObject) override;
    STDMETHODIMP CanStep(LONG bMultiple, IUnknown* pStepObject) override;
    STDMETHODIMP CancelStep() override;

    // IOffscreenSnapshot.
    STDMETHODIMP GetSurfaceInfo(LONG* pWidth, LONG* pHeight, LONGLONG* pFramesPresented,
                                BOOL* pOnScreen) override;
    STDMETHODIMP CopyLastFrame(BYTE* pBuffer, LONG cbBuffer, LONG* pWidth, LONG* pHeight) override;

protected:
    // CBaseControlWindow: the video's size; the presenter; a new presenter
    // for a new owner (X11 or memory); the caption of an X11 window.
    RECT GetDefaultRect() override;
    void OnWindowSettings(const VideoWindowSettings& settings, bool repaint) override;
    void OnOwnerChanged(OAHWND owner) override;
    void OnCaptionChanged(const std::string& caption) override;
    // CBaseControlVideo: while paused with a picture held, the connection's
    // BITMAPINFOHEADER followed by the picture's bytes in its own format.
    // E_OUTOFMEMORY when *pBufferSize is too small; VFW_E_NOT_PAUSED unless
    // paused; E_UNEXPECTED without a picture.
    HRESULT GetStaticImage(LONG* pBufferSize, LONG* pDIBImage) override;

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    CVideoRenderer(REFCLSID clsid, LPUNKNOWN pUnk, HRESULT* phr);

    std::shared_ptr<CVideoPresenter> Presenter();
    // Streaming thread: follows a type change a sample carries.
    void TakeSampleType(IMediaSample* pMediaSample);
    // Converts and shows one picture (any thread).
    HRESULT PresentSample(IMediaSample* pMediaSample);
    // The owner window's picture source (win32/picture.h): the presenter's picture.
    static BOOL CopyWindowPicture(void* source, BYTE* bgrx, size_t size, int* width, int* height,
                                  uint64_t* shown);

    std::atomic<DWORD> m_aspectMode{VMR_ARMODE_LETTER_BOX};
    std::mutex m_presenterLock;
    // guarded by m_presenterLock
    FrameFormat m_format;
    std::shared_ptr<CVideoPresenter> m_presenter;
    // The window whose picture source this renderer is (null: none). Changed by
    // OnOwnerChanged, which put_Owner calls under m_applyLock.
    HWND m_pictureOwner = nullptr;
};
