// IVideoWindow and IBasicVideo, written once for every video renderer:
// CBaseControlWindow and CBaseControlVideo.
//
// The two bases keep what the application sets through the interfaces (the
// video window's place, size, visibility, styles, owner and drain; the source
// and destination rectangles of the picture) and the picture format the
// renderer reports, check the arguments, and hand the whole as one
// VideoWindowSettings to the renderer's window. A renderer derives from both
// (besides its CBaseRenderer base), answers IID_IVideoWindow and IID_IBasicVideo
// in its NonDelegatingQueryInterface, and supplies only:
//
//   GetDefaultRect     the window's rectangle until the application places it
//                      (the video renderer: the picture's size);
//   OnWindowSettings   its window: shows the settings (a presenter, a surface);
//   GetStaticImage     its current image, for IBasicVideo::GetCurrentImage;
//
// and optionally OnOwnerChanged and OnCaptionChanged. It reports the picture
// format with SetVideoFormat, calls CompleteWindowConnect from CompleteConnect,
// and AutoShowWindow after Pause and Run succeed.
//
// Results, as DirectShow's renderer gives them: every IVideoWindow and
// IBasicVideo call answers VFW_E_NOT_CONNECTED while the renderer's input pin
// (its pin 0) is not connected (null out pointers are E_POINTER first);
// booleans are OATRUE or OAFALSE, anything else is E_INVALIDARG; a refused
// change leaves every setting as it was. get_Caption needs a BSTR allocator
// this platform does not have and answers E_NOTIMPL. Window styles are kept as
// given, except that WS_DISABLED, WS_HSCROLL, WS_VSCROLL, WS_MAXIMIZE and
// WS_MINIMIZE are refused and WS_VISIBLE is left to put_Visible. The message
// drain, the background palette flag and the cursor flag are kept for the
// renderer to use.
//
// Threads and locks:
//   m_applyLock     application threads: one change at a time, from the check
//                   to the window's OnWindowSettings; the streaming thread takes
//                   it only to follow a picture size change. No holder waits for
//                   the streaming thread. Taken after the filter lock, never
//                   before it.
//   m_settingsLock  the settings and the format; held for short reads and
//                   writes by any thread, never while calling out.
// The interface methods run on application threads and take the filter lock
// (the filter's pStateLock) only briefly, to look at the pin's connection.
#pragma once

#include <mutex>
#include <string>

#include "amfilter.h"
#include "amvideo.h"
#include "control.h"
#include "ctlutil.h"

// What the application set, as the renderer's window takes it.
struct VideoWindowSettings {
    std::string caption; // UTF-8
    LONG style = 0;      // WS_* bits, see above
    LONG styleEx = 0;
    bool autoShow = true; // shown when the filter pauses or runs
    LONG windowState = 0; // the last SW_* state
    bool backgroundPalette = false;
    bool visible = false;
    // The window in the owner's client area.
    LONG left = 0, top = 0, width = 0, height = 0;
    bool placed = false; // the application gave a size: GetDefaultRect no longer applies
    OAHWND owner = 0;
    OAHWND drain = 0;
    LONG borderColour = 0; // 0x00BBGGRR
    bool fullScreen = false;
    bool cursorHidden = false;
    // The part of the picture shown, in picture pixels; the whole picture while
    // defaultSource (kept so whenever the format changes).
    RECT source{};
    bool defaultSource = true;
    // Where the picture goes in the window's client area; the whole client
    // area while defaultDestination (then destination is not used).
    RECT destination{};
    bool defaultDestination = true;
    // The connection's format as the renderer reported it (SetVideoFormat):
    // bmiHeader, AvgTimePerFrame, dwBitRate, dwBitErrorRate. Zero when none.
    VIDEOINFOHEADER format{};
};

class CBaseControlVideo;

// A LONG property's put_ and get_ as one call each to the helper that knows
// its kind: Put(arg, value) and Get(arg, pointer).
#define TV_PUT_GET(Name, Put, Get, arg)                                                            \
    STDMETHODIMP put_##Name(LONG v) override                                                       \
    {                                                                                              \
        return Put(arg, v);                                                                        \
    }                                                                                              \
    STDMETHODIMP get_##Name(LONG* p) override                                                      \
    {                                                                                              \
        return Get(arg, p);                                                                        \
    }

class CBaseControlWindow : public CDispatchStub<IVideoWindow> {
public:
    // IVideoWindow (application threads; see the header comment).
    STDMETHODIMP put_Caption(BSTR strCaption) override;
    STDMETHODIMP get_Caption(BSTR* strCaption) override;
    STDMETHODIMP put_WindowStyle(LONG WindowStyle) override;
    STDMETHODIMP get_WindowStyle(LONG* p) override { return GetLong(&S::style, p); }
    TV_PUT_GET(WindowStyleEx, SetLong, GetLong, &S::styleEx)
    TV_PUT_GET(AutoShow, SetFlag, GetFlag, &S::autoShow)
    // SW_HIDE .. SW_FORCEMINIMIZE; the minimised states and SW_HIDE hide it.
    STDMETHODIMP put_WindowState(LONG WindowState) override;
    STDMETHODIMP get_WindowState(LONG* p) override { return GetLong(&S::windowState, p); }
    TV_PUT_GET(BackgroundPalette, SetFlag, GetFlag, &S::backgroundPalette)
    STDMETHODIMP put_Visible(LONG Visible) override;
    STDMETHODIMP get_Visible(LONG* p) override { return GetFlag(&S::visible, p); }
    TV_PUT_GET(Left, SetLong, GetLong, &S::left)
    TV_PUT_GET(Top, SetLong, GetLong, &S::top)
    // Negative sizes: E_INVALIDARG.
    TV_PUT_GET(Width, SetSize, GetLong, &S::width)
    TV_PUT_GET(Height, SetSize, GetLong, &S::height)
    // Calls OnOwnerChanged, then shows the settings in the (new) window.
    STDMETHODIMP put_Owner(OAHWND Owner) override;
    STDMETHODIMP get_Owner(OAHWND* p) override { return GetHwnd(&S::owner, p); }
    STDMETHODIMP put_MessageDrain(OAHWND Drain) override;
    STDMETHODIMP get_MessageDrain(OAHWND* p) override { return GetHwnd(&S::drain, p); }
    TV_PUT_GET(BorderColor, SetLong, GetLong, &S::borderColour)
    TV_PUT_GET(FullScreenMode, SetFlag, GetFlag, &S::fullScreen)
    STDMETHODIMP SetWindowForeground(LONG Focus) override;
    // Palette and display changes need nothing from these renderers: S_OK.
    STDMETHODIMP NotifyOwnerMessage(OAHWND hwnd, LONG uMsg, LONG_PTR wParam,
                                    LONG_PTR lParam) override;
    STDMETHODIMP SetWindowPosition(LONG Left, LONG Top, LONG Width, LONG Height) override;
    STDMETHODIMP GetWindowPosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) override;
    // The picture scales freely either way: the picture's size and S_FALSE
    // (no limit), for both.
    STDMETHODIMP GetMinIdealImageSize(LONG* pWidth, LONG* pHeight) override;
    STDMETHODIMP GetMaxIdealImageSize(LONG* w, LONG* h) override
    {
        return GetMinIdealImageSize(w, h);
    }
    STDMETHODIMP GetRestorePosition(LONG* l, LONG* t, LONG* w, LONG* h) override
    {
        return GetWindowPosition(l, t, w, h);
    }
    STDMETHODIMP HideCursor(LONG v) override { return SetFlag(&S::cursorHidden, v); }
    STDMETHODIMP IsCursorHidden(LONG* p) override { return GetFlag(&S::cursorHidden, p); }

    // ---- For the renderer ----

    // A copy of the settings (any thread).
    VideoWindowSettings WindowSettings();
    // CompleteConnect (filter lock held): the source rectangle becomes the
    // whole picture, the window takes GetDefaultRect()'s size unless the
    // application placed it, and the settings go to the window.
    void CompleteWindowConnect();
    // After Pause or Run succeeded on a connected renderer: with AutoShow on,
    // a hidden window is shown.
    void AutoShowWindow();
    // Hands the settings to the window again (OnWindowSettings), after the
    // renderer changed something its window shows; repaint as there.
    void ApplyWindowSettings(bool repaint);

protected:
    // pFilter: the renderer (not add-referenced; it owns this object). Its pin
    // 0, looked up under its filter lock, is the input whose connection every
    // interface call needs.
    explicit CBaseControlWindow(CBaseFilter* pFilter);
    ~CBaseControlWindow() = default;

    // ---- What the renderer supplies ----

    // The window's rectangle until the application places it (only its size
    // is used). Called without this object's locks (CompleteWindowConnect).
    virtual RECT GetDefaultRect() = 0;
    // Its window: show these settings. m_applyLock held, m_settingsLock not.
    // repaint: the call comes from an application thread, and a held picture
    // may be drawn again where it now goes; false on the streaming thread
    // (the picture being drawn follows anyway).
    virtual void OnWindowSettings(const VideoWindowSettings& settings, bool repaint) = 0;
    // A new owner window (m_applyLock held): the renderer may need another
    // kind of window for it. The settings follow with OnWindowSettings.
    virtual void OnOwnerChanged(OAHWND owner) { (void)owner; }
    // A new caption (no lock held); also after a new owner when there is one.
    virtual void OnCaptionChanged(const std::string& caption) { (void)caption; }

    bool IsConnected();

private:
    friend class CBaseControlVideo;
    using S = VideoWindowSettings; // for the accessors' member pointers

    // One setting read (E_POINTER, VFW_E_NOT_CONNECTED) or changed; flags are
    // OATRUE or OAFALSE (E_INVALIDARG otherwise); a size must not be negative
    // and places the window.
    HRESULT GetLong(LONG S::*field, LONG* pValue);
    HRESULT SetLong(LONG S::*field, LONG value);
    HRESULT GetHwnd(OAHWND S::*field, OAHWND* pValue);
    HRESULT GetFlag(bool S::*field, LONG* pValue);
    HRESULT SetFlag(bool S::*field, LONG value);
    HRESULT SetSize(LONG S::*side, LONG value);
    // A rectangle of the settings as left, top, width and height.
    template <class F>
    HRESULT GetRect(F rectOf, LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight);

    // f(VideoWindowSettings&) on a copy of the settings, under the locks: S_OK
    // (or S_FALSE) keeps the copy and shows it, a failure drops it. Needs the
    // connection.
    template <class F> HRESULT Change(F f);
    // f(const VideoWindowSettings&) under m_settingsLock. Needs the connection.
    template <class F> HRESULT Read(F f);
    // m_applyLock held.
    void Apply(bool repaint);

    CBaseFilter* const m_pFilter;
    std::mutex m_applyLock;
    std::mutex m_settingsLock;
    VideoWindowSettings m_settings; // guarded by m_settingsLock
};

class CBaseControlVideo : public CDispatchStub<IBasicVideo> {
public:
    // IBasicVideo (application threads; see the header comment). The
    // per-edge accessors (put_SourceLeft, get_DestinationHeight, ...) read
    // the rectangle and set it whole, with the same checks.
    STDMETHODIMP get_AvgTimePerFrame(REFTIME* pAvgTimePerFrame) override;
    STDMETHODIMP get_BitRate(LONG* pBitRate) override;
    STDMETHODIMP get_BitErrorRate(LONG* pBitErrorRate) override;
    STDMETHODIMP get_VideoWidth(LONG* pVideoWidth) override;
    STDMETHODIMP get_VideoHeight(LONG* pVideoHeight) override;
    // put_SourceLeft .. get_DestinationHeight.
#define TV_RECT_ACCESSORS(Rect, Put, Get)                                                          \
    TV_PUT_GET(Rect##Left, Put, Get, Edge::Left)                                                   \
    TV_PUT_GET(Rect##Top, Put, Get, Edge::Top)                                                     \
    TV_PUT_GET(Rect##Width, Put, Get, Edge::Width)                                                 \
    TV_PUT_GET(Rect##Height, Put, Get, Edge::Height)
    TV_RECT_ACCESSORS(Source, PutSource, GetSource)
    TV_RECT_ACCESSORS(Destination, PutTarget, GetTarget)
#undef TV_RECT_ACCESSORS
    // The source rectangle must lie inside the picture with a positive size
    // (E_INVALIDARG otherwise); the whole picture makes it the default again.
    STDMETHODIMP SetSourcePosition(LONG Left, LONG Top, LONG Width, LONG Height) override;
    STDMETHODIMP GetSourcePosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) override;
    STDMETHODIMP SetDefaultSourcePosition() override;
    // The destination needs a positive size; it may reach outside the window.
    STDMETHODIMP SetDestinationPosition(LONG Left, LONG Top, LONG Width, LONG Height) override;
    STDMETHODIMP GetDestinationPosition(LONG* pLeft, LONG* pTop, LONG* pWidth,
                                        LONG* pHeight) override;
    STDMETHODIMP SetDefaultDestinationPosition() override;
    STDMETHODIMP GetVideoSize(LONG* pWidth, LONG* pHeight) override;
    // No palettised formats are taken: VFW_E_NO_PALETTE_AVAILABLE, *pRetrieved 0.
    STDMETHODIMP GetVideoPaletteEntries(LONG StartIndex, LONG Entries, LONG* pRetrieved,
                                        LONG* pPalette) override;
    // E_POINTER for a null pBufferSize, VFW_E_NOT_CONNECTED, else
    // GetStaticImage's answer.
    STDMETHODIMP GetCurrentImage(LONG* pBufferSize, LONG* pDIBImage) override;
    STDMETHODIMP IsUsingDefaultSource() override;
    STDMETHODIMP IsUsingDefaultDestination() override;

    // ---- For the renderer ----

    // The connection's format (SetMediaType), a format a sample carries
    // (streaming thread), or zero when the connection breaks. When the
    // picture's size changes the source rectangle returns to the whole
    // picture and the result is true; the window is not told (the caller does
    // that: ApplyWindowSettings).
    bool SetVideoFormat(const VIDEOINFOHEADER& format);
    VIDEOINFOHEADER GetVideoFormat();

protected:
    // window: the same renderer's window part, which keeps the settings of
    // both interfaces (its window takes them as one).
    explicit CBaseControlVideo(CBaseControlWindow* window);
    ~CBaseControlVideo() = default;

    // ---- What the renderer supplies ----

    // Its current image: the format's BITMAPINFOHEADER followed by the
    // picture's bytes. A null pDIBImage asks for the size in *pBufferSize.
    // Connection and pBufferSize are checked already; no lock of this object
    // is held.
    virtual HRESULT GetStaticImage(LONG* pBufferSize, LONG* pDIBImage) = 0;

private:
    // Rectangles as the four values of the interface.
    enum class Edge { Left, Top, Width, Height };
    using Getter = HRESULT (CBaseControlVideo::*)(LONG*, LONG*, LONG*, LONG*);
    using Setter = HRESULT (CBaseControlVideo::*)(LONG, LONG, LONG, LONG);
    HRESULT GetEdge(Getter get, Edge edge, LONG* pValue);
    HRESULT PutEdge(Getter get, Setter set, Edge edge, LONG value);
    HRESULT GetSource(Edge edge, LONG* pValue);
    HRESULT PutSource(Edge edge, LONG value);
    HRESULT GetTarget(Edge edge, LONG* pValue);
    HRESULT PutTarget(Edge edge, LONG value);
    // One value of the format (E_POINTER, VFW_E_NOT_CONNECTED).
    HRESULT GetFormatValue(LONG (*value)(const VIDEOINFOHEADER&), LONG* pValue);

    CBaseControlWindow& m_window;
};

#undef TV_PUT_GET
