// CBaseControlWindow and CBaseControlVideo: IVideoWindow and IBasicVideo over
// the settings a renderer's window shows. The contract is in winctrl.h.
#include "winctrl.h"

#include <cstdlib>

#include "reftime.h"
#include "vfwmsgs.h"
#include "win32/text.h"
#include "wxdebug.h"
#include "wxutil.h"

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

LONG OaBool(bool b)
{
    return b ? OATRUE : OAFALSE;
}

LONG PictureWidth(const VIDEOINFOHEADER& f)
{
    return f.bmiHeader.biWidth;
}

LONG PictureHeight(const VIDEOINFOHEADER& f)
{
    return std::abs(f.bmiHeader.biHeight);
}

RECT WholePicture(const VIDEOINFOHEADER& f)
{
    return RECT{0, 0, PictureWidth(f), PictureHeight(f)};
}

} // namespace

// ---- CBaseControlWindow: plumbing ----

CBaseControlWindow::CBaseControlWindow(CBaseFilter* pFilter) : m_pFilter(pFilter)
{
    m_settings.style = kWsOverlappedWindow | kWsClipSiblings | kWsClipChildren;
    m_settings.windowState = kSwHide;
}

bool CBaseControlWindow::IsConnected()
{
    CAutoLock lock(m_pFilter->pStateLock());
    CBasePin* pin = m_pFilter->GetPin(0);
    return pin && pin->IsConnected();
}

template <class F> HRESULT CBaseControlWindow::Change(F f)
{
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    std::lock_guard<std::mutex> apply(m_applyLock);
    HRESULT hr;
    {
        std::lock_guard<std::mutex> guard(m_settingsLock);
        VideoWindowSettings s = m_settings;
        hr = f(s);
        if (FAILED(hr))
            return hr;
        m_settings = std::move(s);
    }
    Apply(true);
    return hr;
}

template <class F> HRESULT CBaseControlWindow::Read(F f)
{
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    std::lock_guard<std::mutex> guard(m_settingsLock);
    return f(static_cast<const VideoWindowSettings&>(m_settings));
}

template <class F>
HRESULT CBaseControlWindow::GetRect(F rectOf, LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight)
{
    if (!pLeft || !pTop || !pWidth || !pHeight)
        return E_POINTER;
    return Read([&](const VideoWindowSettings& w) {
        const RECT r = rectOf(w);
        *pLeft = r.left;
        *pTop = r.top;
        *pWidth = r.right - r.left;
        *pHeight = r.bottom - r.top;
        return S_OK;
    });
}

void CBaseControlWindow::Apply(bool repaint)
{
    OnWindowSettings(WindowSettings(), repaint);
}

VideoWindowSettings CBaseControlWindow::WindowSettings()
{
    std::lock_guard<std::mutex> guard(m_settingsLock);
    return m_settings;
}

void CBaseControlWindow::ApplyWindowSettings(bool repaint)
{
    std::lock_guard<std::mutex> apply(m_applyLock);
    Apply(repaint);
}

void CBaseControlWindow::CompleteWindowConnect()
{
    const RECT rect = GetDefaultRect();
    std::lock_guard<std::mutex> apply(m_applyLock);
    {
        std::lock_guard<std::mutex> guard(m_settingsLock);
        m_settings.defaultSource = true;
        m_settings.source = WholePicture(m_settings.format);
        if (!m_settings.placed) {
            m_settings.width = rect.right - rect.left;
            m_settings.height = rect.bottom - rect.top;
        }
    }
    Apply(true);
}

void CBaseControlWindow::AutoShowWindow()
{
    {
        std::lock_guard<std::mutex> guard(m_settingsLock);
        if (!m_settings.autoShow || m_settings.visible)
            return;
    }
    std::lock_guard<std::mutex> apply(m_applyLock);
    {
        std::lock_guard<std::mutex> guard(m_settingsLock);
        m_settings.visible = true;
        if (m_settings.windowState == kSwHide)
            m_settings.windowState = kSwShowNormal;
    }
    Apply(true);
}

// ---- IVideoWindow ----

HRESULT CBaseControlWindow::GetLong(LONG VideoWindowSettings::*field, LONG* pValue)
{
    CheckPointer(pValue, E_POINTER);
    return Read([&](const VideoWindowSettings& w) {
        *pValue = w.*field;
        return S_OK;
    });
}

HRESULT CBaseControlWindow::SetLong(LONG VideoWindowSettings::*field, LONG value)
{
    return Change([&](VideoWindowSettings& w) {
        w.*field = value;
        return S_OK;
    });
}

HRESULT CBaseControlWindow::GetHwnd(OAHWND VideoWindowSettings::*field, OAHWND* pValue)
{
    CheckPointer(pValue, E_POINTER);
    return Read([&](const VideoWindowSettings& w) {
        *pValue = w.*field;
        return S_OK;
    });
}

HRESULT CBaseControlWindow::GetFlag(bool VideoWindowSettings::*field, LONG* pValue)
{
    CheckPointer(pValue, E_POINTER);
    return Read([&](const VideoWindowSettings& w) {
        *pValue = OaBool(w.*field);
        return S_OK;
    });
}

HRESULT CBaseControlWindow::SetFlag(bool VideoWindowSettings::*field, LONG value)
{
    if (!IsOaBool(value))
        return E_INVALIDARG;
    return Change([&](VideoWindowSettings& w) {
        w.*field = value == OATRUE;
        return S_OK;
    });
}

HRESULT CBaseControlWindow::SetSize(LONG VideoWindowSettings::*side, LONG value)
{
    if (value < 0)
        return E_INVALIDARG;
    return Change([&](VideoWindowSettings& w) {
        w.*side = value;
        w.placed = true;
        return S_OK;
    });
}

STDMETHODIMP CBaseControlWindow::put_Caption(BSTR strCaption)
{
    std::string caption = strCaption ? TvWideToUtf8(strCaption) : std::string();
    HRESULT hr = Change([&](VideoWindowSettings& w) {
        w.caption = caption;
        return S_OK;
    });
    if (SUCCEEDED(hr))
        OnCaptionChanged(caption);
    return hr;
}

STDMETHODIMP CBaseControlWindow::get_Caption(BSTR* strCaption)
{
    CheckPointer(strCaption, E_POINTER);
    *strCaption = nullptr;
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    return E_NOTIMPL;
}

STDMETHODIMP CBaseControlWindow::put_WindowStyle(LONG WindowStyle)
{
    if (WindowStyle & (kWsDisabled | kWsHScroll | kWsVScroll | kWsMaximize | kWsMinimize))
        return E_INVALIDARG;
    return SetLong(&VideoWindowSettings::style, WindowStyle & ~kWsVisible);
}

STDMETHODIMP CBaseControlWindow::put_WindowState(LONG WindowState)
{
    if (WindowState < kSwHide || WindowState > kSwForceMinimize)
        return E_INVALIDARG;
    return Change([&](VideoWindowSettings& w) {
        w.windowState = WindowState;
        w.visible = WindowState != kSwHide && WindowState != kSwShowMinimized &&
                    WindowState != kSwMinimize && WindowState != kSwShowMinNoActive &&
                    WindowState != kSwForceMinimize;
        return S_OK;
    });
}

STDMETHODIMP CBaseControlWindow::put_Visible(LONG Visible)
{
    if (!IsOaBool(Visible))
        return E_INVALIDARG;
    return Change([&](VideoWindowSettings& w) {
        w.visible = Visible == OATRUE;
        if (w.visible && w.windowState == kSwHide)
            w.windowState = kSwShowNormal;
        if (!w.visible)
            w.windowState = kSwHide;
        return S_OK;
    });
}

STDMETHODIMP CBaseControlWindow::put_Owner(OAHWND Owner)
{
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    std::string caption;
    {
        std::lock_guard<std::mutex> apply(m_applyLock);
        {
            std::lock_guard<std::mutex> guard(m_settingsLock);
            m_settings.owner = Owner;
            caption = m_settings.caption;
        }
        OnOwnerChanged(Owner);
        Apply(true);
    }
    if (!caption.empty())
        OnCaptionChanged(caption);
    return S_OK;
}

STDMETHODIMP CBaseControlWindow::put_MessageDrain(OAHWND Drain)
{
    return Change([&](VideoWindowSettings& w) {
        w.drain = Drain;
        return S_OK;
    });
}

STDMETHODIMP CBaseControlWindow::SetWindowForeground(LONG Focus)
{
    if (!IsOaBool(Focus))
        return E_INVALIDARG;
    return Read([&](const VideoWindowSettings&) { return S_OK; });
}

STDMETHODIMP CBaseControlWindow::NotifyOwnerMessage(OAHWND, LONG, LONG_PTR, LONG_PTR)
{
    return Read([&](const VideoWindowSettings&) { return S_OK; });
}

STDMETHODIMP CBaseControlWindow::SetWindowPosition(LONG Left, LONG Top, LONG Width, LONG Height)
{
    if (Width < 0 || Height < 0)
        return E_INVALIDARG;
    return Change([&](VideoWindowSettings& w) {
        w.left = Left;
        w.top = Top;
        w.width = Width;
        w.height = Height;
        w.placed = true;
        return S_OK;
    });
}

STDMETHODIMP CBaseControlWindow::GetWindowPosition(LONG* pLeft, LONG* pTop, LONG* pWidth,
                                                   LONG* pHeight)
{
    return GetRect(
        [](const VideoWindowSettings& w) {
            return RECT{w.left, w.top, w.left + w.width, w.top + w.height};
        },
        pLeft, pTop, pWidth, pHeight);
}

STDMETHODIMP CBaseControlWindow::GetMinIdealImageSize(LONG* pWidth, LONG* pHeight)
{
    CheckPointer(pWidth, E_POINTER);
    CheckPointer(pHeight, E_POINTER);
    return Read([&](const VideoWindowSettings& w) {
        *pWidth = PictureWidth(w.format);
        *pHeight = PictureHeight(w.format);
        return S_FALSE;
    });
}

// ---- CBaseControlVideo ----

CBaseControlVideo::CBaseControlVideo(CBaseControlWindow* window) : m_window(*window) {}

bool CBaseControlVideo::SetVideoFormat(const VIDEOINFOHEADER& format)
{
    std::lock_guard<std::mutex> guard(m_window.m_settingsLock);
    VideoWindowSettings& s = m_window.m_settings;
    const bool resized = PictureWidth(format) != PictureWidth(s.format) ||
                         PictureHeight(format) != PictureHeight(s.format);
    s.format = format;
    if (resized)
        s.defaultSource = true;
    if (s.defaultSource)
        s.source = WholePicture(format);
    return resized;
}

VIDEOINFOHEADER CBaseControlVideo::GetVideoFormat()
{
    std::lock_guard<std::mutex> guard(m_window.m_settingsLock);
    return m_window.m_settings.format;
}

STDMETHODIMP CBaseControlVideo::get_AvgTimePerFrame(REFTIME* pAvgTimePerFrame)
{
    CheckPointer(pAvgTimePerFrame, E_POINTER);
    return m_window.Read([&](const VideoWindowSettings& w) {
        *pAvgTimePerFrame = double(w.format.AvgTimePerFrame) / double(UNITS);
        return S_OK;
    });
}

HRESULT CBaseControlVideo::GetFormatValue(LONG (*value)(const VIDEOINFOHEADER&), LONG* pValue)
{
    CheckPointer(pValue, E_POINTER);
    return m_window.Read([&](const VideoWindowSettings& w) {
        *pValue = value(w.format);
        return S_OK;
    });
}

STDMETHODIMP CBaseControlVideo::get_BitRate(LONG* pBitRate)
{
    return GetFormatValue([](const VIDEOINFOHEADER& f) { return LONG(f.dwBitRate); }, pBitRate);
}

STDMETHODIMP CBaseControlVideo::get_BitErrorRate(LONG* pBitErrorRate)
{
    return GetFormatValue([](const VIDEOINFOHEADER& f) { return LONG(f.dwBitErrorRate); },
                          pBitErrorRate);
}

STDMETHODIMP CBaseControlVideo::get_VideoWidth(LONG* pVideoWidth)
{
    return GetFormatValue(PictureWidth, pVideoWidth);
}

STDMETHODIMP CBaseControlVideo::get_VideoHeight(LONG* pVideoHeight)
{
    return GetFormatValue(PictureHeight, pVideoHeight);
}

HRESULT CBaseControlVideo::GetEdge(Getter get, Edge edge, LONG* pValue)
{
    CheckPointer(pValue, E_POINTER);
    LONG v[4];
    HRESULT hr = (this->*get)(&v[0], &v[1], &v[2], &v[3]);
    if (SUCCEEDED(hr))
        *pValue = v[int(edge)];
    return hr;
}

HRESULT CBaseControlVideo::PutEdge(Getter get, Setter set, Edge edge, LONG value)
{
    LONG v[4];
    HRESULT hr = (this->*get)(&v[0], &v[1], &v[2], &v[3]);
    if (FAILED(hr))
        return hr;
    v[int(edge)] = value;
    return (this->*set)(v[0], v[1], v[2], v[3]);
}

HRESULT CBaseControlVideo::GetSource(Edge edge, LONG* pValue)
{
    return GetEdge(&CBaseControlVideo::GetSourcePosition, edge, pValue);
}

HRESULT CBaseControlVideo::PutSource(Edge edge, LONG value)
{
    return PutEdge(&CBaseControlVideo::GetSourcePosition, &CBaseControlVideo::SetSourcePosition,
                   edge, value);
}

HRESULT CBaseControlVideo::GetTarget(Edge edge, LONG* pValue)
{
    return GetEdge(&CBaseControlVideo::GetDestinationPosition, edge, pValue);
}

HRESULT CBaseControlVideo::PutTarget(Edge edge, LONG value)
{
    return PutEdge(&CBaseControlVideo::GetDestinationPosition,
                   &CBaseControlVideo::SetDestinationPosition, edge, value);
}

STDMETHODIMP CBaseControlVideo::SetSourcePosition(LONG Left, LONG Top, LONG Width, LONG Height)
{
    return m_window.Change([&](VideoWindowSettings& w) {
        const LONG videoWidth = PictureWidth(w.format);
        const LONG videoHeight = PictureHeight(w.format);
        if (Left < 0 || Top < 0 || Width <= 0 || Height <= 0 || Width > videoWidth - Left ||
            Height > videoHeight - Top)
            return E_INVALIDARG;
        w.source = RECT{Left, Top, Left + Width, Top + Height};
        w.defaultSource = Left == 0 && Top == 0 && Width == videoWidth && Height == videoHeight;
        return S_OK;
    });
}

STDMETHODIMP CBaseControlVideo::GetSourcePosition(LONG* pLeft, LONG* pTop, LONG* pWidth,
                                                  LONG* pHeight)
{
    return m_window.GetRect([](const VideoWindowSettings& w) { return w.source; }, pLeft, pTop,
                            pWidth, pHeight);
}

STDMETHODIMP CBaseControlVideo::SetDefaultSourcePosition()
{
    return m_window.Change([&](VideoWindowSettings& w) {
        w.defaultSource = true;
        w.source = WholePicture(w.format);
        return S_OK;
    });
}

STDMETHODIMP CBaseControlVideo::SetDestinationPosition(LONG Left, LONG Top, LONG Width, LONG Height)
{
    if (Width <= 0 || Height <= 0)
        return E_INVALIDARG;
    return m_window.Change([&](VideoWindowSettings& w) {
        w.destination = RECT{Left, Top, Left + Width, Top + Height};
        w.defaultDestination = false;
        return S_OK;
    });
}

STDMETHODIMP CBaseControlVideo::GetDestinationPosition(LONG* pLeft, LONG* pTop, LONG* pWidth,
                                                       LONG* pHeight)
{
    return m_window.GetRect(
        [](const VideoWindowSettings& w) {
            return w.defaultDestination ? RECT{0, 0, w.width, w.height} : w.destination;
        },
        pLeft, pTop, pWidth, pHeight);
}

STDMETHODIMP CBaseControlVideo::SetDefaultDestinationPosition()
{
    return m_window.Change([&](VideoWindowSettings& w) {
        w.defaultDestination = true;
        return S_OK;
    });
}

STDMETHODIMP CBaseControlVideo::GetVideoSize(LONG* pWidth, LONG* pHeight)
{
    CheckPointer(pWidth, E_POINTER);
    CheckPointer(pHeight, E_POINTER);
    return m_window.Read([&](const VideoWindowSettings& w) {
        *pWidth = PictureWidth(w.format);
        *pHeight = PictureHeight(w.format);
        return S_OK;
    });
}

STDMETHODIMP CBaseControlVideo::GetVideoPaletteEntries(LONG, LONG, LONG* pRetrieved, LONG* pPalette)
{
    CheckPointer(pRetrieved, E_POINTER);
    CheckPointer(pPalette, E_POINTER);
    *pRetrieved = 0;
    return m_window.Read([&](const VideoWindowSettings&) { return VFW_E_NO_PALETTE_AVAILABLE; });
}

STDMETHODIMP CBaseControlVideo::GetCurrentImage(LONG* pBufferSize, LONG* pDIBImage)
{
    CheckPointer(pBufferSize, E_POINTER);
    if (!m_window.IsConnected())
        return VFW_E_NOT_CONNECTED;
    return GetStaticImage(pBufferSize, pDIBImage);
}

STDMETHODIMP CBaseControlVideo::IsUsingDefaultSource()
{
    return m_window.Read(
        [&](const VideoWindowSettings& w) { return w.defaultSource ? S_OK : S_FALSE; });
}

STDMETHODIMP CBaseControlVideo::IsUsingDefaultDestination()
{
    return m_window.Read(
        [&](const VideoWindowSettings& w) { return w.defaultDestination ? S_OK : S_FALSE; });
}
