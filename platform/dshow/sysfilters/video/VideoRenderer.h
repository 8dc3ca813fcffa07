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
// Interfaces: IQualProp (CBaseVideoRenderer), IVideoWindow, IBasicVideo,
// IVMRAspectRatioControl (default VMR_ARMODE_LETTER_BOX; VMR_ARMODE_NONE
// stretches the picture over the destination), IVideoFrameStep (the graph
// forwards its own to it) and IOffscreenSnapshot. As DirectShow's renderer
// does, IVideoWindow and IBasicVideo answer VFW_E_NOT_CONNECTED while the input
// pin is not connected.
//
// The video window: position and size in the owner's client area (by default
// the video's size once connected), visibility (AutoShow shows it when the
// filter pauses or runs), border colour, full-screen mode (the whole screen in
// X11, a flag offscreen), style bits (kept; WS_DISABLED, WS_HSCROLL, WS_VSCROLL,
// WS_MAXIMIZE and WS_MINIMIZE refused), message drain (kept: the X11 window
// lets mouse and key events through to its owner, which is the drain the
// player sets). The caption can be set; reading it back (get_Caption) needs a
// BSTR allocator this platform does not have and answers E_NOTIMPL.
//
// Threads: the interface calls run on application threads under m_applyLock,
// which the streaming thread takes only to follow a picture size change; no
// holder of m_applyLock waits for the streaming thread. m_windowLock guards
// the settings and the picture format for short reads by the streaming thread.
#pragma once

#include <memory>
#include <mutex>
#include <string>

#include "offscreen.h"
#include "streams.h"
#include "video/FrameFormat.h"
#include "video/VideoPresenter.h"

// What the renderer keeps of a video media type.
struct VideoTypeInfo {
    FrameFormat format;
    BITMAPINFOHEADER bih{};
    REFERENCE_TIME avgTimePerFrame = 0;
    DWORD bitRate = 0;
    DWORD bitErrorRate = 0;
};

// S_OK and *info for a type the renderer can draw, E_FAIL otherwise.
HRESULT VideoTypeFromMediaType(const AM_MEDIA_TYPE& mt, VideoTypeInfo* info);

class CVideoRenderer final : public CBaseVideoRenderer,
                             public IVideoWindow,
                             public IBasicVideo,
                             public IVMRAspectRatioControl,
                             public IVideoFrameStep,
                             public IOffscreenSnapshot {
public:
    static CUnknown* CreateInstance(LPUNKNOWN pUnk, HRESULT* phr);
    static CUnknown* CreateDefaultInstance(LPUNKNOWN pUnk, HRESULT* phr);
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

    // IDispatch (shared by IVideoWindow and IBasicVideo; no type library).
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                               DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                        DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                        UINT* puArgErr) override;

    // IVideoWindow.
    STDMETHODIMP put_Caption(BSTR strCaption) override;
    STDMETHODIMP get_Caption(BSTR* strCaption) override;
    STDMETHODIMP put_WindowStyle(LONG WindowStyle) override;
    STDMETHODIMP get_WindowStyle(LONG* WindowStyle) override;
    STDMETHODIMP put_WindowStyleEx(LONG WindowStyleEx) override;
    STDMETHODIMP get_WindowStyleEx(LONG* WindowStyleEx) override;
    STDMETHODIMP put_AutoShow(LONG AutoShow) override;
    STDMETHODIMP get_AutoShow(LONG* AutoShow) override;
    STDMETHODIMP put_WindowState(LONG WindowState) override;
    STDMETHODIMP get_WindowState(LONG* WindowState) override;
    STDMETHODIMP put_BackgroundPalette(LONG BackgroundPalette) override;
    STDMETHODIMP get_BackgroundPalette(LONG* pBackgroundPalette) override;
    STDMETHODIMP put_Visible(LONG Visible) override;
    STDMETHODIMP get_Visible(LONG* pVisible) override;
    STDMETHODIMP put_Left(LONG Left) override;
    STDMETHODIMP get_Left(LONG* pLeft) override;
    STDMETHODIMP put_Width(LONG Width) override;
    STDMETHODIMP get_Width(LONG* pWidth) override;
    STDMETHODIMP put_Top(LONG Top) override;
    STDMETHODIMP get_Top(LONG* pTop) override;
    STDMETHODIMP put_Height(LONG Height) override;
    STDMETHODIMP get_Height(LONG* pHeight) override;
    STDMETHODIMP put_Owner(OAHWND Owner) override;
    STDMETHODIMP get_Owner(OAHWND* Owner) override;
    STDMETHODIMP put_MessageDrain(OAHWND Drain) override;
    STDMETHODIMP get_MessageDrain(OAHWND* Drain) override;
    STDMETHODIMP get_BorderColor(LONG* Color) override;
    STDMETHODIMP put_BorderColor(LONG Color) override;
    STDMETHODIMP get_FullScreenMode(LONG* FullScreenMode) override;
    STDMETHODIMP put_FullScreenMode(LONG FullScreenMode) override;
    STDMETHODIMP SetWindowForeground(LONG Focus) override;
    STDMETHODIMP NotifyOwnerMessage(OAHWND hwnd, LONG uMsg, LONG_PTR wParam,
                                    LONG_PTR lParam) override;
    STDMETHODIMP SetWindowPosition(LONG Left, LONG Top, LONG Width, LONG Height) override;
    STDMETHODIMP GetWindowPosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) override;
    STDMETHODIMP GetMinIdealImageSize(LONG* pWidth, LONG* pHeight) override;
    STDMETHODIMP GetMaxIdealImageSize(LONG* pWidth, LONG* pHeight) override;
    STDMETHODIMP GetRestorePosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) override;
    STDMETHODIMP HideCursor(LONG HideCursor) override;
    STDMETHODIMP IsCursorHidden(LONG* CursorHidden) override;

    // IBasicVideo.
    STDMETHODIMP get_AvgTimePerFrame(REFTIME* pAvgTimePerFrame) override;
    STDMETHODIMP get_BitRate(LONG* pBitRate) override;
    STDMETHODIMP get_BitErrorRate(LONG* pBitErrorRate) override;
    STDMETHODIMP get_VideoWidth(LONG* pVideoWidth) override;
    STDMETHODIMP get_VideoHeight(LONG* pVideoHeight) override;
    STDMETHODIMP put_SourceLeft(LONG SourceLeft) override;
    STDMETHODIMP get_SourceLeft(LONG* pSourceLeft) override;
    STDMETHODIMP put_SourceWidth(LONG SourceWidth) override;
    STDMETHODIMP get_SourceWidth(LONG* pSourceWidth) override;
    STDMETHODIMP put_SourceTop(LONG SourceTop) override;
    STDMETHODIMP get_SourceTop(LONG* pSourceTop) override;
    STDMETHODIMP put_SourceHeight(LONG SourceHeight) override;
    STDMETHODIMP get_SourceHeight(LONG* pSourceHeight) override;
    STDMETHODIMP put_DestinationLeft(LONG DestinationLeft) override;
    STDMETHODIMP get_DestinationLeft(LONG* pDestinationLeft) override;
    STDMETHODIMP put_DestinationWidth(LONG DestinationWidth) override;
    STDMETHODIMP get_DestinationWidth(LONG* pDestinationWidth) override;
    STDMETHODIMP put_DestinationTop(LONG DestinationTop) override;
    STDMETHODIMP get_DestinationTop(LONG* pDestinationTop) override;
    STDMETHODIMP put_DestinationHeight(LONG DestinationHeight) override;
    STDMETHODIMP get_DestinationHeight(LONG* pDestinationHeight) override;
    // The source rectangle must lie inside the video with a positive size
    // (E_INVALIDARG otherwise).
    STDMETHODIMP SetSourcePosition(LONG Left, LONG Top, LONG Width, LONG Height) override;
    STDMETHODIMP GetSourcePosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) override;
    STDMETHODIMP SetDefaultSourcePosition() override;
    // The destination needs a positive size; it may reach outside the window.
    STDMETHODIMP SetDestinationPosition(LONG Left, LONG Top, LONG Width, LONG Height) override;
    STDMETHODIMP GetDestinationPosition(LONG* pLeft, LONG* pTop, LONG* pWidth,
                                        LONG* pHeight) override;
    STDMETHODIMP SetDefaultDestinationPosition() override;
    STDMETHODIMP GetVideoSize(LONG* pWidth, LONG* pHeight) override;
    // No palettised formats are taken: VFW_E_NO_PALETTE_AVAILABLE.
    STDMETHODIMP GetVideoPaletteEntries(LONG StartIndex, LONG Entries, LONG* pRetrieved,
                                        LONG* pPalette) override;
    // While paused with a picture held: the connection's BITMAPINFOHEADER
    // followed by the picture's bytes in its own format. A null pDIBImage asks
    // for the size; E_OUTOFMEMORY when *pBufferSize is too small; E_UNEXPECTED
    // unless paused with a picture.
    STDMETHODIMP GetCurrentImage(LONG* pBufferSize, LONG* pDIBImage) override;
    STDMETHODIMP IsUsingDefaultSource() override;
    STDMETHODIMP IsUsingDefaultDestination() override;

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

private:
    CVideoRenderer(REFCLSID clsid, LPUNKNOWN pUnk, HRESULT* phr);

    // The window as IVideoWindow and IBasicVideo set it.
    struct Window {
        std::string caption;
        LONG style = 0;
        LONG styleEx = 0;
        bool autoShow = true;
        LONG windowState = 0;
        bool backgroundPalette = false;
        bool visible = false;
        LONG left = 0, top = 0, width = 0, height = 0;
        bool placed = false; // the application gave a size
        OAHWND owner = 0;
        OAHWND drain = 0;
        LONG borderColour = 0;
        bool fullScreen = false;
        bool cursorHidden = false;
        RECT source{};
        bool defaultSource = true;
        RECT destination{};
        bool defaultDestination = true;
        DWORD aspectMode = VMR_ARMODE_LETTER_BOX;
    };

    // Reads and changes of the window settings. Change: runs f on the settings
    // under the locks and applies the result; f returns S_OK to apply or a
    // failure to leave everything as it was.
    template <class F> HRESULT Change(F f);
    template <class F> HRESULT Read(F f);
    // Pushes the settings to the presenter (m_applyLock held), and repaints
    // the held picture when paused.
    void Apply();
    PresentSettings ToPresent(const Window& w) const;
    std::shared_ptr<CVideoPresenter> Presenter();
    bool IsConnected();
    // Streaming thread: follows a type change a sample carries.
    void TakeSampleType(IMediaSample* pMediaSample);
    // Converts and shows one picture (any thread).
    HRESULT PresentSample(IMediaSample* pMediaSample);
    void AutoShow();

    CBaseDispatch m_dispatch;
    std::mutex m_applyLock;  // application threads: one change at a time
    std::mutex m_windowLock; // the members below
    Window m_window;
    VideoTypeInfo m_type;
    std::shared_ptr<CVideoPresenter> m_presenter;
};
