#include "video/VideoRenderer.h"

#include <cstring>
#include <cstdlib>
#include <new>

#include "com/register.h"
#include "video/X11Presenter.h"

namespace {

// Window style bits the video window knows.
constexpr LONG kWsMinimize = 0x20000000;
constexpr LONG kWsVisible = 0x10000000;
constexpr LONG kWsDisabled = 0x08000000;
constexpr LONG kWsClipSiblings = 0x04000000;
constexpr LONG kWsClipChildren = 0x02000000;
constexpr LONG kWsMaximize = 0x01000000;
constexpr LONG kWsOverlappedWindow = 0x00CF0000;
constexpr LONG kWsVScroll = 0x00200000;
constexpr LONG kWsHScroll = 0x00100000;

// ShowWindow states.
constexpr LONG kSwHide = 0;
constexpr LONG kSwShowNormal = 1;
constexpr LONG kSwShowMinimized = 2;
constexpr LONG kSwMinimize = 6;
constexpr LONG kSwShowMinNoActive = 7;
constexpr LONG kSwForceMinimize = 11;

bool IsOaBool(LONG v)
{
    return v == OATRUE || v == OAFALSE;
}

RECT FullFrame(const FrameFormat& f)
{
    return RECT{0, 0, f.width, f.height};
}

} // namespace

HRESULT VideoTypeFromMediaType(const AM_MEDIA_TYPE& mt, VideoTypeInfo* info)
{
    if (!IsEqualGUID(mt.majortype, MEDIATYPE_Video) || !mt.pbFormat)
        return E_FAIL;
    VideoTypeInfo out;
    if (IsEqualGUID(mt.formattype, FORMAT_VideoInfo) && mt.cbFormat >= sizeof(VIDEOINFOHEADER)) {
        VIDEOINFOHEADER vih;
        std::memcpy(&vih, mt.pbFormat, sizeof(vih));
        out.bih = vih.bmiHeader;
        out.avgTimePerFrame = vih.AvgTimePerFrame;
        out.bitRate = vih.dwBitRate;
        out.bitErrorRate = vih.dwBitErrorRate;
    } else if (IsEqualGUID(mt.formattype, FORMAT_VideoInfo2) &&
               mt.cbFormat >= sizeof(VIDEOINFOHEADER2)) {
        VIDEOINFOHEADER2 vih;
        std::memcpy(&vih, mt.pbFormat, sizeof(vih));
        out.bih = vih.bmiHeader;
        out.avgTimePerFrame = vih.AvgTimePerFrame;
        out.bitRate = vih.dwBitRate;
        out.bitErrorRate = vih.dwBitErrorRate;
    } else {
        return E_FAIL;
    }
    const BITMAPINFOHEADER& bih = out.bih;
    if (bih.biWidth <= 0 || bih.biHeight == 0 || bih.biHeight == LONG(0x80000000))
        return E_FAIL;
    PixelLayout layout = FrameLayoutFromBitmap(bih.biCompression, bih.biBitCount);
    if (layout == PixelLayout::None)
        return E_FAIL;
    bool rgb = layout == PixelLayout::RGB32 || layout == PixelLayout::RGB24 ||
               layout == PixelLayout::RGB565;
    out.format.layout = layout;
    out.format.width = bih.biWidth;
    out.format.height = std::abs(bih.biHeight);
    out.format.stride = FrameDefaultStride(layout, bih.biWidth);
    // DIBs with a positive height are stored bottom row first; YUV is always
    // top-down.
    out.format.bottomUp = rgb && bih.biHeight > 0;
    if (!out.format.IsValid())
        return E_FAIL;
    out.bih.biSizeImage = DWORD(out.format.FrameBytes());
    if (info)
        *info = out;
    return S_OK;
}

// ---- Construction ----

CUnknown* CVideoRenderer::CreateInstance(LPUNKNOWN pUnk, HRESULT* phr)
{
    HRESULT hr = S_OK;
    auto* renderer = new (std::nothrow) CVideoRenderer(CLSID_VideoRenderer, pUnk, &hr);
    if (!renderer || FAILED(hr)) {
        delete renderer;
        if (phr)
            *phr = renderer ? hr : E_OUTOFMEMORY;
        return nullptr;
    }
    return renderer;
}

CUnknown* CVideoRenderer::CreateDefaultInstance(LPUNKNOWN pUnk, HRESULT* phr)
{
    HRESULT hr = S_OK;
    auto* renderer = new (std::nothrow) CVideoRenderer(CLSID_VideoRendererDefault, pUnk, &hr);
    if (!renderer || FAILED(hr)) {
        delete renderer;
        if (phr)
            *phr = renderer ? hr : E_OUTOFMEMORY;
        return nullptr;
    }
    return renderer;
}

CVideoRenderer::CVideoRenderer(REFCLSID clsid, LPUNKNOWN pUnk, HRESULT* phr)
    : CBaseVideoRenderer(clsid, "Video Renderer", pUnk, phr),
      m_presenter(CreateVideoPresenter(nullptr))
{
    m_window.style = kWsOverlappedWindow | kWsClipSiblings | kWsClipChildren;
    m_window.windowState = kSwHide;
}

CVideoRenderer::~CVideoRenderer() = default;

STDMETHODIMP CVideoRenderer::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IVideoWindow)
        return GetInterface(static_cast<IVideoWindow*>(this), ppv);
    if (riid == IID_IBasicVideo)
        return GetInterface(static_cast<IBasicVideo*>(this), ppv);
    if (riid == IID_IVMRAspectRatioControl)
        return GetInterface(static_cast<IVMRAspectRatioControl*>(this), ppv);
    if (riid == IID_IVideoFrameStep)
        return GetInterface(static_cast<IVideoFrameStep*>(this), ppv);
    if (riid == IID_IOffscreenSnapshot)
        return GetInterface(static_cast<IOffscreenSnapshot*>(this), ppv);
    return CBaseVideoRenderer::NonDelegatingQueryInterface(riid, ppv);
}

// ---- Settings plumbing ----

bool CVideoRenderer::IsConnected()
{
    CAutoLock lock(&m_InterfaceLock);
    CRendererInputPin* pin = InputPin();
    return pin && pin->IsConnected();
}

std::shared_ptr<CVideoPresenter> CVideoRenderer::Presenter()
{
    std::lock_guard<std::mutex> guard(m_windowLock);
    return m_presenter;
}

template <class F> HRESULT CVideoRenderer::Change(F f)
{
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    std::lock_guard<std::mutex> apply(m_applyLock);
    HRESULT hr;
    {
        std::lock_guard<std::mutex> guard(m_windowLock);
        Window w = m_window;
        hr = f(w);
        if (FAILED(hr))
            return hr;
        m_window = w;
    }
    Apply();
    return hr;
}

template <class F> HRESULT CVideoRenderer::Read(F f)
{
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    std::lock_guard<std::mutex> guard(m_windowLock);
    return f(static_cast<const Window&>(m_window));
}

PresentSettings CVideoRenderer::ToPresent(const Window& w) const
{
    PresentSettings s;
    s.left = w.left;
    s.top = w.top;
    s.width = w.width;
    s.height = w.height;
    s.visible = w.visible;
    s.fullScreen = w.fullScreen;
    s.borderColour = DWORD(w.borderColour) & 0xffffff;
    s.source = w.defaultSource ? FullFrame(m_type.format) : w.source;
    s.defaultDestination = w.defaultDestination;
    s.destination = w.destination;
    s.letterBox = w.aspectMode == VMR_ARMODE_LETTER_BOX;
    return s;
}

void CVideoRenderer::Apply()
{
    PresentSettings settings;
    std::shared_ptr<CVideoPresenter> presenter;
    {
        std::lock_guard<std::mutex> guard(m_windowLock);
        settings = ToPresent(m_window);
        presenter = m_presenter;
    }
    if (presenter)
        presenter->SetSettings(settings);
    // Paused with a picture held: draw it again, at full quality, where it now goes.
    if (m_State == State_Paused) {
        if (IMediaSample* sample = GetCurrentSample()) {
            PresentSample(sample);
            sample->Release();
        }
    }
}

void CVideoRenderer::AutoShow()
{
    {
        std::lock_guard<std::mutex> guard(m_windowLock);
        if (!m_window.autoShow || m_window.visible)
            return;
    }
    std::lock_guard<std::mutex> apply(m_applyLock);
    {
        std::lock_guard<std::mutex> guard(m_windowLock);
        m_window.visible = true;
        if (m_window.windowState == kSwHide)
            m_window.windowState = kSwShowNormal;
    }
    Apply();
}

// ---- Connection and streaming ----

HRESULT CVideoRenderer::CheckMediaType(const CMediaType* pmt)
{
    CheckPointer(pmt, E_POINTER);
    return VideoTypeFromMediaType(*pmt, nullptr);
}

HRESULT CVideoRenderer::SetMediaType(const CMediaType* pmt)
{
    VideoTypeInfo info;
    HRESULT hr = VideoTypeFromMediaType(*pmt, &info);
    if (FAILED(hr))
        return hr;
    std::lock_guard<std::mutex> guard(m_windowLock);
    m_type = info;
    m_window.defaultSource = true;
    return S_OK;
}

HRESULT CVideoRenderer::CompleteConnect(IPin* pReceivePin)
{
    (void)pReceivePin;
    {
        std::lock_guard<std::mutex> apply(m_applyLock);
        {
            std::lock_guard<std::mutex> guard(m_windowLock);
            // Until the application places it, the window has the video's size.
            if (!m_window.placed) {
                m_window.width = m_type.format.width;
                m_window.height = m_type.format.height;
            }
        }
        Apply();
    }
    return S_OK;
}

HRESULT CVideoRenderer::BreakConnect()
{
    std::lock_guard<std::mutex> guard(m_windowLock);
    m_type = VideoTypeInfo{};
    return S_OK;
}

void CVideoRenderer::TakeSampleType(IMediaSample* pMediaSample)
{
    AM_MEDIA_TYPE* mt = nullptr;
    if (pMediaSample->GetMediaType(&mt) != S_OK || !mt)
        return;
    VideoTypeInfo info;
    HRESULT hr = VideoTypeFromMediaType(*mt, &info);
    DeleteMediaType(mt);
    if (FAILED(hr))
        return;
    bool resized = false;
    {
        std::lock_guard<std::mutex> guard(m_windowLock);
        resized =
            info.format.width != m_type.format.width || info.format.height != m_type.format.height;
        m_type = info;
        if (resized)
            m_window.defaultSource = true;
    }
    if (resized) {
        {
            std::lock_guard<std::mutex> apply(m_applyLock);
            PresentSettings settings;
            std::shared_ptr<CVideoPresenter> presenter;
            {
                std::lock_guard<std::mutex> guard(m_windowLock);
                settings = ToPresent(m_window);
                presenter = m_presenter;
            }
            presenter->SetSettings(settings);
        }
        NotifyEvent(EC_VIDEO_SIZE_CHANGED, MAKELONG(info.format.width, info.format.height), 0);
    }
}

HRESULT CVideoRenderer::PresentSample(IMediaSample* pMediaSample)
{
    FrameFormat format;
    std::shared_ptr<CVideoPresenter> presenter;
    {
        std::lock_guard<std::mutex> guard(m_windowLock);
        format = m_type.format;
        presenter = m_presenter;
    }
    BYTE* data = nullptr;
    if (FAILED(pMediaSample->GetPointer(&data)) || !data)
        return E_POINTER;
    // A sample shorter than a picture is not drawn (reading past it would be).
    LONG actual = pMediaSample->GetActualDataLength();
    if (actual < 0 || size_t(actual) < format.FrameBytes())
        return S_FALSE;
    return presenter && presenter->Present(format, data) ? S_OK : S_FALSE;
}

HRESULT CVideoRenderer::DoRenderSample(IMediaSample* pMediaSample)
{
    TakeSampleType(pMediaSample);
    return PresentSample(pMediaSample);
}

void CVideoRenderer::OnReceiveFirstSample(IMediaSample* pMediaSample)
{
    TakeSampleType(pMediaSample);
    PresentSample(pMediaSample);
}

STDMETHODIMP CVideoRenderer::Pause()
{
    HRESULT hr = CBaseVideoRenderer::Pause();
    if (SUCCEEDED(hr) && IsConnected())
        AutoShow();
    return hr;
}

STDMETHODIMP CVideoRenderer::Run(REFERENCE_TIME StartTime)
{
    HRESULT hr = CBaseVideoRenderer::Run(StartTime);
    if (SUCCEEDED(hr) && IsConnected())
        AutoShow();
    return hr;
}

// ---- IDispatch ----

STDMETHODIMP CVideoRenderer::GetTypeInfoCount(UINT* pctinfo)
{
    return m_dispatch.GetTypeInfoCount(pctinfo);
}

STDMETHODIMP CVideoRenderer::GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo)
{
    return m_dispatch.GetTypeInfo(IID_NULL, iTInfo, lcid, ppTInfo);
}

STDMETHODIMP CVideoRenderer::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                                           DISPID* rgDispId)
{
    return m_dispatch.GetIDsOfNames(riid, rgszNames, cNames, lcid, rgDispId);
}

STDMETHODIMP CVideoRenderer::Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                                    DISPPARAMS* pDispParams, VARIANT* pVarResult,
                                    EXCEPINFO* pExcepInfo, UINT* puArgErr)
{
    return m_dispatch.Invoke(dispIdMember, riid, lcid, wFlags, pDispParams, pVarResult, pExcepInfo,
                             puArgErr);
}

// ---- IVideoWindow ----

STDMETHODIMP CVideoRenderer::put_Caption(BSTR strCaption)
{
    std::string caption = strCaption ? TvWideToUtf8(strCaption) : std::string();
    HRESULT hr = Change([&](Window& w) {
        w.caption = caption;
        return S_OK;
    });
    if (SUCCEEDED(hr)) {
        if (auto* x11 = dynamic_cast<CX11Presenter*>(Presenter().get()))
            x11->SetCaption(caption.c_str());
    }
    return hr;
}

STDMETHODIMP CVideoRenderer::get_Caption(BSTR* strCaption)
{
    CheckPointer(strCaption, E_POINTER);
    *strCaption = nullptr;
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    return E_NOTIMPL;
}

STDMETHODIMP CVideoRenderer::put_WindowStyle(LONG WindowStyle)
{
    if (WindowStyle & (kWsDisabled | kWsHScroll | kWsVScroll | kWsMaximize | kWsMinimize))
        return E_INVALIDARG;
    return Change([&](Window& w) {
        w.style = WindowStyle & ~kWsVisible;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_WindowStyle(LONG* WindowStyle)
{
    CheckPointer(WindowStyle, E_POINTER);
    return Read([&](const Window& w) {
        *WindowStyle = w.style;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::put_WindowStyleEx(LONG WindowStyleEx)
{
    return Change([&](Window& w) {
        w.styleEx = WindowStyleEx;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_WindowStyleEx(LONG* WindowStyleEx)
{
    CheckPointer(WindowStyleEx, E_POINTER);
    return Read([&](const Window& w) {
        *WindowStyleEx = w.styleEx;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::put_AutoShow(LONG AutoShow)
{
    if (!IsOaBool(AutoShow))
        return E_INVALIDARG;
    return Change([&](Window& w) {
        w.autoShow = AutoShow == OATRUE;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_AutoShow(LONG* AutoShow)
{
    CheckPointer(AutoShow, E_POINTER);
    return Read([&](const Window& w) {
        *AutoShow = w.autoShow ? OATRUE : OAFALSE;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::put_WindowState(LONG WindowState)
{
    if (WindowState < kSwHide || WindowState > kSwForceMinimize)
        return E_INVALIDARG;
    return Change([&](Window& w) {
        w.windowState = WindowState;
        w.visible = WindowState != kSwHide && WindowState != kSwShowMinimized &&
                    WindowState != kSwMinimize && WindowState != kSwShowMinNoActive &&
                    WindowState != kSwForceMinimize;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_WindowState(LONG* WindowState)
{
    CheckPointer(WindowState, E_POINTER);
    return Read([&](const Window& w) {
        *WindowState = w.windowState;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::put_BackgroundPalette(LONG BackgroundPalette)
{
    if (!IsOaBool(BackgroundPalette))
        return E_INVALIDARG;
    return Change([&](Window& w) {
        w.backgroundPalette = BackgroundPalette == OATRUE;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_BackgroundPalette(LONG* pBackgroundPalette)
{
    CheckPointer(pBackgroundPalette, E_POINTER);
    return Read([&](const Window& w) {
        *pBackgroundPalette = w.backgroundPalette ? OATRUE : OAFALSE;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::put_Visible(LONG Visible)
{
    if (!IsOaBool(Visible))
        return E_INVALIDARG;
    return Change([&](Window& w) {
        w.visible = Visible == OATRUE;
        if (w.visible && w.windowState == kSwHide)
            w.windowState = kSwShowNormal;
        if (!w.visible)
            w.windowState = kSwHide;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_Visible(LONG* pVisible)
{
    CheckPointer(pVisible, E_POINTER);
    return Read([&](const Window& w) {
        *pVisible = w.visible ? OATRUE : OAFALSE;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::put_Left(LONG Left)
{
    return Change([&](Window& w) {
        w.left = Left;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_Left(LONG* pLeft)
{
    CheckPointer(pLeft, E_POINTER);
    return Read([&](const Window& w) {
        *pLeft = w.left;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::put_Width(LONG Width)
{
    if (Width < 0)
        return E_INVALIDARG;
    return Change([&](Window& w) {
        w.width = Width;
        w.placed = true;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_Width(LONG* pWidth)
{
    CheckPointer(pWidth, E_POINTER);
    return Read([&](const Window& w) {
        *pWidth = w.width;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::put_Top(LONG Top)
{
    return Change([&](Window& w) {
        w.top = Top;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_Top(LONG* pTop)
{
    CheckPointer(pTop, E_POINTER);
    return Read([&](const Window& w) {
        *pTop = w.top;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::put_Height(LONG Height)
{
    if (Height < 0)
        return E_INVALIDARG;
    return Change([&](Window& w) {
        w.height = Height;
        w.placed = true;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_Height(LONG* pHeight)
{
    CheckPointer(pHeight, E_POINTER);
    return Read([&](const Window& w) {
        *pHeight = w.height;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::put_Owner(OAHWND Owner)
{
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    std::lock_guard<std::mutex> apply(m_applyLock);
    // A new owner may mean another kind of window: X11 or memory.
    std::shared_ptr<CVideoPresenter> presenter =
        CreateVideoPresenter(reinterpret_cast<HWND>(Owner));
    std::shared_ptr<CVideoPresenter> old;
    {
        std::lock_guard<std::mutex> guard(m_windowLock);
        m_window.owner = Owner;
        old = std::move(m_presenter);
        m_presenter = std::move(presenter);
    }
    Apply();
    if (auto* x11 = dynamic_cast<CX11Presenter*>(Presenter().get());
        x11 && !m_window.caption.empty())
        x11->SetCaption(m_window.caption.c_str());
    DSHOW_TRACE("video renderer %p: owner %p (%s)", (void*)this, reinterpret_cast<void*>(Owner),
                Presenter()->Kind());
    return S_OK;
}

STDMETHODIMP CVideoRenderer::get_Owner(OAHWND* Owner)
{
    CheckPointer(Owner, E_POINTER);
    return Read([&](const Window& w) {
        *Owner = w.owner;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::put_MessageDrain(OAHWND Drain)
{
    return Change([&](Window& w) {
        w.drain = Drain;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_MessageDrain(OAHWND* Drain)
{
    CheckPointer(Drain, E_POINTER);
    return Read([&](const Window& w) {
        *Drain = w.drain;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_BorderColor(LONG* Color)
{
    CheckPointer(Color, E_POINTER);
    return Read([&](const Window& w) {
        *Color = w.borderColour;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::put_BorderColor(LONG Color)
{
    return Change([&](Window& w) {
        w.borderColour = Color;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_FullScreenMode(LONG* FullScreenMode)
{
    CheckPointer(FullScreenMode, E_POINTER);
    return Read([&](const Window& w) {
        *FullScreenMode = w.fullScreen ? OATRUE : OAFALSE;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::put_FullScreenMode(LONG FullScreenMode)
{
    if (!IsOaBool(FullScreenMode))
        return E_INVALIDARG;
    return Change([&](Window& w) {
        w.fullScreen = FullScreenMode == OATRUE;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::SetWindowForeground(LONG Focus)
{
    if (!IsOaBool(Focus))
        return E_INVALIDARG;
    return Read([&](const Window&) { return S_OK; });
}

STDMETHODIMP CVideoRenderer::NotifyOwnerMessage(OAHWND, LONG, LONG_PTR, LONG_PTR)
{
    // Palette and display changes need nothing from this renderer.
    return Read([&](const Window&) { return S_OK; });
}

STDMETHODIMP CVideoRenderer::SetWindowPosition(LONG Left, LONG Top, LONG Width, LONG Height)
{
    if (Width < 0 || Height < 0)
        return E_INVALIDARG;
    return Change([&](Window& w) {
        w.left = Left;
        w.top = Top;
        w.width = Width;
        w.height = Height;
        w.placed = true;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::GetWindowPosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight)
{
    CheckPointer(pLeft, E_POINTER);
    CheckPointer(pTop, E_POINTER);
    CheckPointer(pWidth, E_POINTER);
    CheckPointer(pHeight, E_POINTER);
    return Read([&](const Window& w) {
        *pLeft = w.left;
        *pTop = w.top;
        *pWidth = w.width;
        *pHeight = w.height;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::GetMinIdealImageSize(LONG* pWidth, LONG* pHeight)
{
    CheckPointer(pWidth, E_POINTER);
    CheckPointer(pHeight, E_POINTER);
    // The picture scales freely either way: no limit (S_FALSE), the native size given.
    return Read([&](const Window&) {
        *pWidth = m_type.format.width;
        *pHeight = m_type.format.height;
        return S_FALSE;
    });
}

STDMETHODIMP CVideoRenderer::GetMaxIdealImageSize(LONG* pWidth, LONG* pHeight)
{
    return GetMinIdealImageSize(pWidth, pHeight);
}

STDMETHODIMP CVideoRenderer::GetRestorePosition(LONG* pLeft, LONG* pTop, LONG* pWidth,
                                                LONG* pHeight)
{
    return GetWindowPosition(pLeft, pTop, pWidth, pHeight);
}

STDMETHODIMP CVideoRenderer::HideCursor(LONG HideCursor)
{
    if (!IsOaBool(HideCursor))
        return E_INVALIDARG;
    return Change([&](Window& w) {
        w.cursorHidden = HideCursor == OATRUE;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::IsCursorHidden(LONG* CursorHidden)
{
    CheckPointer(CursorHidden, E_POINTER);
    return Read([&](const Window& w) {
        *CursorHidden = w.cursorHidden ? OATRUE : OAFALSE;
        return S_OK;
    });
}

// ---- IBasicVideo ----

STDMETHODIMP CVideoRenderer::get_AvgTimePerFrame(REFTIME* pAvgTimePerFrame)
{
    CheckPointer(pAvgTimePerFrame, E_POINTER);
    return Read([&](const Window&) {
        *pAvgTimePerFrame = double(m_type.avgTimePerFrame) / double(UNITS);
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_BitRate(LONG* pBitRate)
{
    CheckPointer(pBitRate, E_POINTER);
    return Read([&](const Window&) {
        *pBitRate = LONG(m_type.bitRate);
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_BitErrorRate(LONG* pBitErrorRate)
{
    CheckPointer(pBitErrorRate, E_POINTER);
    return Read([&](const Window&) {
        *pBitErrorRate = LONG(m_type.bitErrorRate);
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_VideoWidth(LONG* pVideoWidth)
{
    CheckPointer(pVideoWidth, E_POINTER);
    return Read([&](const Window&) {
        *pVideoWidth = m_type.format.width;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::get_VideoHeight(LONG* pVideoHeight)
{
    CheckPointer(pVideoHeight, E_POINTER);
    return Read([&](const Window&) {
        *pVideoHeight = m_type.format.height;
        return S_OK;
    });
}

namespace {

// Source rectangle parts: x/width or y/height.
enum class Edge { Left, Width, Top, Height };

} // namespace

#define TV_SOURCE_PUT(name, edge)                                                                  \
    STDMETHODIMP CVideoRenderer::put_Source##name(LONG value)                                      \
    {                                                                                              \
        LONG l, t, w, h;                                                                           \
        HRESULT hr = GetSourcePosition(&l, &t, &w, &h);                                            \
        if (FAILED(hr))                                                                            \
            return hr;                                                                             \
        switch (edge) {                                                                            \
        case Edge::Left:                                                                           \
            l = value;                                                                             \
            break;                                                                                 \
        case Edge::Width:                                                                          \
            w = value;                                                                             \
            break;                                                                                 \
        case Edge::Top:                                                                            \
            t = value;                                                                             \
            break;                                                                                 \
        case Edge::Height:                                                                         \
            h = value;                                                                             \
            break;                                                                                 \
        }                                                                                          \
        return SetSourcePosition(l, t, w, h);                                                      \
    }
#define TV_DEST_PUT(name, edge)                                                                    \
    STDMETHODIMP CVideoRenderer::put_Destination##name(LONG value)                                 \
    {                                                                                              \
        LONG l, t, w, h;                                                                           \
        HRESULT hr = GetDestinationPosition(&l, &t, &w, &h);                                       \
        if (FAILED(hr))                                                                            \
            return hr;                                                                             \
        switch (edge) {                                                                            \
        case Edge::Left:                                                                           \
            l = value;                                                                             \
            break;                                                                                 \
        case Edge::Width:                                                                          \
            w = value;                                                                             \
            break;                                                                                 \
        case Edge::Top:                                                                            \
            t = value;                                                                             \
            break;                                                                                 \
        case Edge::Height:                                                                         \
            h = value;                                                                             \
            break;                                                                                 \
        }                                                                                          \
        return SetDestinationPosition(l, t, w, h);                                                 \
    }
#define TV_GET_PART(iface, name, part)                                                             \
    STDMETHODIMP CVideoRenderer::get_##iface##name(LONG* p##iface##name)                           \
    {                                                                                              \
        CheckPointer(p##iface##name, E_POINTER);                                                   \
        LONG v[4];                                                                                 \
        HRESULT hr = Get##iface##Position(&v[0], &v[1], &v[2], &v[3]);                             \
        if (SUCCEEDED(hr))                                                                         \
            *p##iface##name = v[part];                                                             \
        return hr;                                                                                 \
    }

TV_SOURCE_PUT(Left, Edge::Left)
TV_SOURCE_PUT(Width, Edge::Width)
TV_SOURCE_PUT(Top, Edge::Top)
TV_SOURCE_PUT(Height, Edge::Height)
TV_DEST_PUT(Left, Edge::Left)
TV_DEST_PUT(Width, Edge::Width)
TV_DEST_PUT(Top, Edge::Top)
TV_DEST_PUT(Height, Edge::Height)
TV_GET_PART(Source, Left, 0)
TV_GET_PART(Source, Top, 1)
TV_GET_PART(Source, Width, 2)
TV_GET_PART(Source, Height, 3)
TV_GET_PART(Destination, Left, 0)
TV_GET_PART(Destination, Top, 1)
TV_GET_PART(Destination, Width, 2)
TV_GET_PART(Destination, Height, 3)

#undef TV_SOURCE_PUT
#undef TV_DEST_PUT
#undef TV_GET_PART

STDMETHODIMP CVideoRenderer::SetSourcePosition(LONG Left, LONG Top, LONG Width, LONG Height)
{
    return Change([&](Window& w) {
        const FrameFormat& f = m_type.format;
        if (Left < 0 || Top < 0 || Width <= 0 || Height <= 0 || Width > f.width - Left ||
            Height > f.height - Top)
            return E_INVALIDARG;
        w.source = RECT{Left, Top, Left + Width, Top + Height};
        w.defaultSource = Left == 0 && Top == 0 && Width == f.width && Height == f.height;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::GetSourcePosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight)
{
    CheckPointer(pLeft, E_POINTER);
    CheckPointer(pTop, E_POINTER);
    CheckPointer(pWidth, E_POINTER);
    CheckPointer(pHeight, E_POINTER);
    return Read([&](const Window& w) {
        RECT r = w.defaultSource ? FullFrame(m_type.format) : w.source;
        *pLeft = r.left;
        *pTop = r.top;
        *pWidth = r.right - r.left;
        *pHeight = r.bottom - r.top;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::SetDefaultSourcePosition()
{
    return Change([&](Window& w) {
        w.defaultSource = true;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::SetDestinationPosition(LONG Left, LONG Top, LONG Width, LONG Height)
{
    if (Width <= 0 || Height <= 0)
        return E_INVALIDARG;
    return Change([&](Window& w) {
        w.destination = RECT{Left, Top, Left + Width, Top + Height};
        w.defaultDestination = false;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::GetDestinationPosition(LONG* pLeft, LONG* pTop, LONG* pWidth,
                                                    LONG* pHeight)
{
    CheckPointer(pLeft, E_POINTER);
    CheckPointer(pTop, E_POINTER);
    CheckPointer(pWidth, E_POINTER);
    CheckPointer(pHeight, E_POINTER);
    return Read([&](const Window& w) {
        RECT r = w.defaultDestination ? RECT{0, 0, w.width, w.height} : w.destination;
        *pLeft = r.left;
        *pTop = r.top;
        *pWidth = r.right - r.left;
        *pHeight = r.bottom - r.top;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::SetDefaultDestinationPosition()
{
    return Change([&](Window& w) {
        w.defaultDestination = true;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::GetVideoSize(LONG* pWidth, LONG* pHeight)
{
    CheckPointer(pWidth, E_POINTER);
    CheckPointer(pHeight, E_POINTER);
    return Read([&](const Window&) {
        *pWidth = m_type.format.width;
        *pHeight = m_type.format.height;
        return S_OK;
    });
}

STDMETHODIMP CVideoRenderer::GetVideoPaletteEntries(LONG, LONG, LONG* pRetrieved, LONG* pPalette)
{
    CheckPointer(pRetrieved, E_POINTER);
    CheckPointer(pPalette, E_POINTER);
    *pRetrieved = 0;
    return Read([&](const Window&) { return VFW_E_NO_PALETTE_AVAILABLE; });
}

STDMETHODIMP CVideoRenderer::GetCurrentImage(LONG* pBufferSize, LONG* pDIBImage)
{
    CheckPointer(pBufferSize, E_POINTER);
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    if (m_State != State_Paused)
        return VFW_E_NOT_PAUSED;
    IMediaSample* sample = GetCurrentSample();
    if (!sample)
        return E_UNEXPECTED;
    BITMAPINFOHEADER bih;
    size_t frameBytes = 0;
    {
        std::lock_guard<std::mutex> guard(m_windowLock);
        bih = m_type.bih;
        frameBytes = m_type.format.FrameBytes();
    }
    HRESULT hr = S_OK;
    size_t total = sizeof(BITMAPINFOHEADER) + frameBytes;
    BYTE* data = nullptr;
    if (!pDIBImage) {
        *pBufferSize = LONG(total);
    } else if (*pBufferSize < 0 || size_t(*pBufferSize) < total) {
        hr = E_OUTOFMEMORY;
    } else if (FAILED(sample->GetPointer(&data)) || !data ||
               sample->GetActualDataLength() < LONG(frameBytes)) {
        hr = E_UNEXPECTED;
    } else {
        auto* out = reinterpret_cast<BYTE*>(pDIBImage);
        std::memcpy(out, &bih, sizeof(bih));
        std::memcpy(out + sizeof(bih), data, frameBytes);
    }
    sample->Release();
    return hr;
}

STDMETHODIMP CVideoRenderer::IsUsingDefaultSource()
{
    return Read([&](const Window& w) { return w.defaultSource ? S_OK : S_FALSE; });
}

STDMETHODIMP CVideoRenderer::IsUsingDefaultDestination()
{
    return Read([&](const Window& w) { return w.defaultDestination ? S_OK : S_FALSE; });
}

// ---- IVMRAspectRatioControl ----

STDMETHODIMP CVideoRenderer::GetAspectRatioMode(LPDWORD lpdwARMode)
{
    CheckPointer(lpdwARMode, E_POINTER);
    std::lock_guard<std::mutex> guard(m_windowLock);
    *lpdwARMode = m_window.aspectMode;
    return S_OK;
}

STDMETHODIMP CVideoRenderer::SetAspectRatioMode(DWORD dwARMode)
{
    if (dwARMode != VMR_ARMODE_NONE && dwARMode != VMR_ARMODE_LETTER_BOX)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> apply(m_applyLock);
    {
        std::lock_guard<std::mutex> guard(m_windowLock);
        m_window.aspectMode = dwARMode;
    }
    Apply();
    return S_OK;
}

// ---- IVideoFrameStep ----

STDMETHODIMP CVideoRenderer::Step(DWORD dwFrames, IUnknown* pStepObject)
{
    if (pStepObject || dwFrames == 0)
        return E_INVALIDARG;
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    return BeginFrameStep(dwFrames);
}

STDMETHODIMP CVideoRenderer::CanStep(LONG bMultiple, IUnknown* pStepObject)
{
    (void)bMultiple; // any number of frames
    if (pStepObject)
        return E_INVALIDARG;
    return IsConnected() ? S_OK : VFW_E_NOT_CONNECTED;
}

STDMETHODIMP CVideoRenderer::CancelStep()
{
    CancelFrameStep();
    return S_OK;
}

// ---- IOffscreenSnapshot ----

STDMETHODIMP CVideoRenderer::GetSurfaceInfo(LONG* pWidth, LONG* pHeight, LONGLONG* pFramesPresented,
                                            BOOL* pOnScreen)
{
    std::shared_ptr<CVideoPresenter> presenter = Presenter();
    int w = 0, h = 0;
    uint64_t frames = 0;
    presenter->CopyPicture(nullptr, 0, &w, &h, &frames);
    if (pWidth)
        *pWidth = w;
    if (pHeight)
        *pHeight = h;
    if (pFramesPresented)
        *pFramesPresented = LONGLONG(frames);
    if (pOnScreen)
        *pOnScreen = std::strcmp(presenter->Kind(), "x11") == 0;
    return S_OK;
}

STDMETHODIMP CVideoRenderer::CopyLastFrame(BYTE* pBuffer, LONG cbBuffer, LONG* pWidth,
                                           LONG* pHeight)
{
    std::shared_ptr<CVideoPresenter> presenter = Presenter();
    int w = 0, h = 0;
    uint64_t frames = 0;
    bool copied = pBuffer && cbBuffer >= 0 &&
                  presenter->CopyPicture(pBuffer, size_t(cbBuffer), &w, &h, &frames);
    if (!copied)
        presenter->CopyPicture(nullptr, 0, &w, &h, &frames);
    if (pWidth)
        *pWidth = w;
    if (pHeight)
        *pHeight = h;
    if (!pBuffer)
        return E_POINTER;
    if (w == 0 || h == 0)
        return VFW_E_NOT_CONNECTED;
    if (!copied)
        return E_OUTOFMEMORY;
    return frames ? S_OK : S_FALSE;
}
