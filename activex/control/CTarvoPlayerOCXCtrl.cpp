// The player control's COM object: players, events, the window's messages.
#include "CTarvoPlayerOCXCtrl.h"

#include <windows.h>

#include <QApplication>
#include <QGuiApplication>
#include <QObject>
#include <QWidget>
#include <cstdio>
#include <new>

#include "CGraphPlayer.h"
#include "CPlayerBase.h"
#include "CTarvoControlWindow.h"
#include "OcxDispatch.h"
#include "OcxPlayers.h"
#include "PlayerCommands.h"
#include "TarvoPlayErrors.h"
#include "evcode.h"
#include "oleauto.h"
#include "win32/msgbox.h"
#include "win32/window.h"

#if TV_OCX_HAVE_DEVICES
#include "DevicePlayers.h"
#endif

namespace {

// The splitter's EC_USER codes.
constexpr LONG_PTR kUserEndOfFile = 10001;
constexpr LONG_PTR kUserFirstAudio = 10010;
constexpr LONG_PTR kUserFirstVideo = 10011;
constexpr UINT kMsgRenderFailed = WM_USER + 1; // 0x401
constexpr UINT kMsgGraphNotify = WM_USER + 2;  // 0x402

// A graph player that only holds a login: no graph is built.
class COcxLoginHolder : public CGraphPlayer {
public:
    explicit COcxLoginHolder(HWND hWnd) : CGraphPlayer(hWnd) {}
};

// The widget's background: the control's OLE_COLOR (0x00BBGGRR).
void PaintBackground(QWidget* widget, OLE_COLOR color)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window,
                     QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
    widget->setPalette(palette);
    widget->update();
}

bool NeedsNoLogin(LONG deviceType)
{
    return (deviceType >= 1 && deviceType <= 14 && deviceType != 6 && deviceType != 8) ||
           deviceType == 512;
}

} // namespace

// ---- The connection point of _DTarvoPlayerOCXEvents ----

class CTarvoPlayerOCXCtrl::CEventPoint : public IConnectionPoint {
public:
    explicit CEventPoint(CTarvoPlayerOCXCtrl* owner) : m_owner(owner) {}
    ~CEventPoint()
    {
        for (auto& sink : m_sinks)
            sink.second->Release();
    }

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_IUnknown || riid == IID_IConnectionPoint)
            return GetInterface(static_cast<IConnectionPoint*>(this), ppv);
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // The point lives as long as its control.
    STDMETHODIMP_(ULONG) AddRef() override { return m_owner->GetOwner()->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return m_owner->GetOwner()->Release(); }

    STDMETHODIMP GetConnectionInterface(IID* pIID) override
    {
        if (!pIID)
            return E_POINTER;
        *pIID = DIID__DTarvoPlayerOCXEvents;
        return S_OK;
    }
    STDMETHODIMP GetConnectionPointContainer(IConnectionPointContainer** ppCPC) override
    {
        if (!ppCPC)
            return E_POINTER;
        return GetInterface(static_cast<IConnectionPointContainer*>(m_owner),
                            reinterpret_cast<void**>(ppCPC));
    }
    STDMETHODIMP Advise(IUnknown* sink, DWORD* cookie) override
    {
        if (!cookie)
            return E_POINTER;
        *cookie = 0;
        if (!sink)
            return E_POINTER;
        IDispatch* dispatch = nullptr;
        if (FAILED(sink->QueryInterface(DIID__DTarvoPlayerOCXEvents,
                                        reinterpret_cast<void**>(&dispatch))) &&
            FAILED(sink->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))))
            return CONNECT_E_CANNOTCONNECT;
        std::lock_guard<std::mutex> lock(m_lock);
        *cookie = ++m_lastCookie;
        m_sinks.emplace_back(*cookie, dispatch);
        return S_OK;
    }
    STDMETHODIMP Unadvise(DWORD cookie) override
    {
        IDispatch* gone = nullptr;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            for (auto it = m_sinks.begin(); it != m_sinks.end(); ++it) {
                if (it->first == cookie) {
                    gone = it->second;
                    m_sinks.erase(it);
                    break;
                }
            }
        }
        if (!gone)
            return CONNECT_E_NOCONNECTION;
        gone->Release(); // outside the lock: the sink may call back
        return S_OK;
    }
    STDMETHODIMP EnumConnections(IEnumConnections** ppEnum) override
    {
        if (ppEnum)
            *ppEnum = nullptr;
        return E_NOTIMPL;
    }

    // The sinks advised now, each with a reference for the caller.
    std::vector<IDispatch*> Snapshot()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        std::vector<IDispatch*> sinks;
        for (auto& sink : m_sinks) {
            sink.second->AddRef();
            sinks.push_back(sink.second);
        }
        return sinks;
    }

private:
    CTarvoPlayerOCXCtrl* const m_owner;
    std::mutex m_lock;
    // guarded by m_lock
    std::vector<std::pair<DWORD, IDispatch*>> m_sinks;
    DWORD m_lastCookie = 0;
};

// ---- Creation and destruction ----

CUnknown* CTarvoPlayerOCXCtrl::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateComInstance<CTarvoPlayerOCXCtrl>(outer, phr);
}

CTarvoPlayerOCXCtrl::CTarvoPlayerOCXCtrl(LPUNKNOWN outer, HRESULT* phr)
    : CUnknown("TarvoPlayerOCX Control", outer, phr), m_events(new CEventPoint(this)),
      m_backColor(255), m_zoomEnable(false), m_ptzEnable(false), m_destroying(false),
      m_hWnd(nullptr), m_relay(new QObject())
{
#if TV_OCX_HAVE_DEVICES
    TvInstallDeviceLogin();
#endif
}

CTarvoPlayerOCXCtrl::~CTarvoPlayerOCXCtrl()
{
    // From here on, whatever fires (a player's last events, a sink that
    // calls back) reaches no container.
    m_destroying = true;
    if (m_window)
        m_window->DetachHost();
    else if (m_hWnd)
        TvSetWindowMessageHandler(m_hWnd, nullptr, nullptr);
    m_player.reset();
#if TV_OCX_HAVE_DEVICES
    if (m_h3c)
        TvDestroyH3CWindow(m_h3c);
#endif
    m_relay.reset();
    // A virtual window goes; of the widget's X11 window (the widget's own)
    // the platform only forgets its state.
    if (m_hWnd && !m_window)
        DestroyWindow(m_hWnd);
    // The window's own video window goes with it, after the player.
    delete m_widget.data();
}

STDMETHODIMP CTarvoPlayerOCXCtrl::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IDispatch || riid == DIID__DTarvoPlayerOCX)
        return GetInterface(static_cast<IDispatch*>(this), ppv);
    if (riid == IID_IConnectionPointContainer)
        return GetInterface(static_cast<IConnectionPointContainer*>(this), ppv);
    if (riid == IID_ITvQtControl)
        return GetInterface(static_cast<ITvQtControl*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

// ---- IDispatch ----

STDMETHODIMP CTarvoPlayerOCXCtrl::GetTypeInfoCount(UINT* pctinfo)
{
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP CTarvoPlayerOCXCtrl::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo)
{
    if (!ppTInfo)
        return E_POINTER;
    *ppTInfo = nullptr;
    return TYPE_E_ELEMENTNOTFOUND;
}

STDMETHODIMP CTarvoPlayerOCXCtrl::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID,
                                                DISPID* rgDispId)
{
    if (riid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    return OcxGetIDsOfNames(rgszNames, cNames, rgDispId);
}

STDMETHODIMP CTarvoPlayerOCXCtrl::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags,
                                         DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO*,
                                         UINT* puArgErr)
{
    if (riid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    // A method may release the control from a sink it fires to; the call
    // finishes on a live object.
    NonDelegatingAddRef();
    HRESULT hr = S_OK;
    {
        std::lock_guard<std::recursive_mutex> lock(m_callLock);
        hr = OcxInvoke(*this, dispIdMember, wFlags, pDispParams, pVarResult, puArgErr);
    }
    NonDelegatingRelease();
    return hr;
}

// ---- Connection points ----

STDMETHODIMP CTarvoPlayerOCXCtrl::EnumConnectionPoints(IEnumConnectionPoints** ppEnum)
{
    if (ppEnum)
        *ppEnum = nullptr;
    return E_NOTIMPL;
}

STDMETHODIMP CTarvoPlayerOCXCtrl::FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP)
{
    if (!ppCP)
        return E_POINTER;
    *ppCP = nullptr;
    if (riid != DIID__DTarvoPlayerOCXEvents)
        return CONNECT_E_NOCONNECTION;
    return GetInterface(m_events.get(), reinterpret_cast<void**>(ppCP));
}

void CTarvoPlayerOCXCtrl::Fire(DISPID id, std::initializer_list<LONG> args)
{
    if (m_destroying)
        return;
    VARIANT values[3];
    const UINT count = static_cast<UINT>(args.size());
    UINT i = count;
    for (LONG value : args) {
        // DISPPARAMS holds the last argument first.
        --i;
        VariantInit(&values[i]);
        values[i].vt = VT_I4;
        values[i].lVal = value;
    }
    DISPPARAMS params = {values, nullptr, count, 0};
    std::vector<IDispatch*> sinks = m_events->Snapshot();
    NonDelegatingAddRef();
    for (IDispatch* sink : sinks) {
        if (!m_destroying)
            sink->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, nullptr,
                         nullptr, nullptr);
        sink->Release();
    }
    NonDelegatingRelease();
}

void CTarvoPlayerOCXCtrl::FirePTZEvent(LONG direction, LONG rate)
{
    Fire(DISPID_OCX_PTZEVENT, {direction, rate});
}

void CTarvoPlayerOCXCtrl::FireFileEndEvent(LONG wParam, LONG lParam)
{
    Fire(DISPID_OCX_FILEENDEVENT, {wParam, lParam});
}

void CTarvoPlayerOCXCtrl::FireWindowProc(LONG message, LONG wParam, LONG lParam)
{
    Fire(DISPID_OCX_WINDOWPROC, {message, wParam, lParam});
}

void CTarvoPlayerOCXCtrl::FireActiveWindow(LONG x, LONG y)
{
    Fire(DISPID_OCX_ACTIVEWINDOW, {x, y});
}

void CTarvoPlayerOCXCtrl::FireFirstSampleDelivered(LONG wParam, LONG lParam)
{
    Fire(DISPID_OCX_FIRSTSAMPLEDELIVERED, {wParam, lParam});
}

// ---- Window ----

HWND CTarvoPlayerOCXCtrl::Window()
{
    if (!m_hWnd) {
        m_hWnd = TvCreateVirtualWindow(352, 288);
        if (m_hWnd)
            TvSetWindowMessageHandler(m_hWnd, WindowMessageProc, this);
    }
    return m_hWnd;
}

STDMETHODIMP CTarvoPlayerOCXCtrl::GetWidget(QWidget** ppWidget)
{
    if (!ppWidget)
        return E_POINTER;
    *ppWidget = nullptr;
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return E_FAIL;
    std::lock_guard<std::recursive_mutex> lock(m_callLock);
    if (!m_widget && !m_hWnd) {
        // The control's own window: painting, mouse modes, keys, drops, and
        // the players' posted messages, which it hands back to this host.
        auto* window = new CTarvoControlWindow(this);
        window->resize(352, 288);
        m_window = window;
        m_widget = window;
        m_hWnd = window->VideoWindow();
    }
    if (!m_widget) {
        // A player already plays into the virtual window: the widget only
        // shows the control's place.
        auto* widget = new QWidget();
        widget->setAutoFillBackground(true);
        QPalette palette = widget->palette();
        palette.setColor(QPalette::Window, QColor(m_backColor & 0xFF, (m_backColor >> 8) & 0xFF,
                                                  (m_backColor >> 16) & 0xFF));
        widget->setPalette(palette);
        widget->resize(352, 288);
        m_widget = widget;
    }
    *ppWidget = m_widget.data();
    return S_OK;
}

LRESULT CTarvoPlayerOCXCtrl::WindowMessageProc(HWND, UINT message, WPARAM wParam, LPARAM lParam,
                                               void* user)
{
    auto* self = static_cast<CTarvoPlayerOCXCtrl*>(user);
    if (message != kMsgRenderFailed && message != kMsgGraphNotify)
        return 0;
    // Handled on the control's thread. The relay goes before the handler
    // is removed in the destructor, and Qt drops what is queued for it.
    // Without a Qt application, here on the dispatcher thread, serialised
    // with the host's calls by the lock HandleWindowMessage takes.
    if (QCoreApplication::instance()) {
        QMetaObject::invokeMethod(
            self->m_relay.get(),
            [self, message, wParam, lParam] { self->HandleWindowMessage(message, wParam, lParam); },
            Qt::QueuedConnection);
    } else {
        self->HandleWindowMessage(message, wParam, lParam);
    }
    return 0;
}

bool CTarvoPlayerOCXCtrl::TryAddRef()
{
    LONG count = m_cRef.load();
    while (count > 0) {
        if (m_cRef.compare_exchange_weak(count, count + 1))
            return true;
    }
    return false;
}

void CTarvoPlayerOCXCtrl::HandleWindowMessage(UINT message, WPARAM wParam, LPARAM)
{
    // A sink that drops the last reference during an event must not delete
    // the control under the loop below; at 0 the destructor is on its way
    // and waits for this call to return.
    if (!TryAddRef())
        return;
    {
        std::lock_guard<std::recursive_mutex> lock(m_callLock);
        if (!m_destroying && message == kMsgRenderFailed) {
            char text[64];
            std::snprintf(text, sizeof text, "Error! the Code is:%d\n", static_cast<int>(wParam));
            MessageBoxA(m_hWnd, text, "TarvoPlayerOCX", MB_OK);
        } else if (!m_destroying) {
            DrainGraphEvents();
        }
    }
    NonDelegatingRelease(); // may delete this: nothing after it
}

void CTarvoPlayerOCXCtrl::DrainGraphEvents()
{
    CPlayerBase* player = m_player.get();
    IMediaEventEx* events = player ? player->GetEventSink() : nullptr;
    if (!events)
        return;
    LONG code = 0;
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    while (events->GetEvent(&code, &p1, &p2, 0) == S_OK) {
        events->FreeEventParams(code, p1, p2);
        if (code != EC_USER)
            continue;
        if (p1 == kUserFirstAudio) {
            FireFirstSampleDelivered(0, 0);
        } else if (p1 == kUserFirstVideo) {
            FireFirstSampleDelivered(1, 0);
        } else if (p1 == kUserEndOfFile) {
            LONG out = 0;
            PlayControl(TP_PLAY_STOP, 0, &out);
            FireFileEndEvent(0, 0);
            if (m_player.get() == player)
                PlayControl(TP_PLAY_SET_PLAYED_PERCENT, 0, &out);
        }
        // A sink may have replaced the player: its events went with it.
        if (m_destroying || m_player.get() != player)
            return;
    }
}

// ---- Methods ----

void CTarvoPlayerOCXCtrl::SetPlayer(CPlayerBase* player)
{
    // The old player leaves the window before a new one arrives.
    m_player.reset();
    m_player.reset(player);
}

void CTarvoPlayerOCXCtrl::SetBackColor(OLE_COLOR color)
{
    m_backColor = color;
    if (m_window)
        m_window->BackColorChanged();
    else if (m_widget)
        PaintBackground(m_widget.data(), color);
}

LONG CTarvoPlayerOCXCtrl::Initialize(LONG deviceType, LONG formatType, LONG playMode,
                                     LONG loginHandle)
{
    SetPlayer(nullptr);
    const bool modeOk = playMode == 0 || playMode == 1;
    if (!modeOk)
        return TP_ERR_UNSUPPORTED;
    CPlayerBase* player = nullptr;
    if (deviceType == 512) {
        player = new (std::nothrow) COcxVodStreamPlayer(Window(), playMode, formatType);
    } else if (deviceType == 6 || deviceType == 8) {
#if TV_OCX_HAVE_DEVICES
        player = deviceType == 6 ? TvNewHikDevicePlayer(Window(), loginHandle)
                                 : TvNewH3CDevicePlayer(Window());
#else
        (void)loginHandle;
        return TP_ERR_UNSUPPORTED;
#endif
    } else if (NeedsNoLogin(deviceType)) {
        player = new (std::nothrow) COcxStreamPlayer(Window(), playMode, formatType);
    } else {
        return TP_ERR_UNSUPPORTED;
    }
    if (!player)
        return TP_ERR_OUT_OF_MEMORY;
    SetPlayer(player);
    return 0;
}

bool CTarvoPlayerOCXCtrl::HoldLogin()
{
    if (!m_player) {
        CPlayerBase* holder = new (std::nothrow) COcxLoginHolder(Window());
        if (!holder)
            return false;
        SetPlayer(holder);
    }
    return true;
}

LONG CTarvoPlayerOCXCtrl::Login(LONG deviceType, const char* address, LONG port,
                                const char* userName, const char* password, LONG* result)
{
    if (!HoldLogin())
        return TP_ERR_OUT_OF_MEMORY;
    int loginId = -1;
    int answer = 0;
    for (int attempt = 0; attempt < 3; ++attempt) {
        answer = m_player->Login(deviceType, address, port, userName, password, &loginId);
        if (answer == 0)
            break;
        PostMessageA(Window(), kMsgRenderFailed, static_cast<WPARAM>(answer), 0);
    }
    if (result)
        *result = loginId;
    return answer;
}

LONG CTarvoPlayerOCXCtrl::Logout(LONG deviceType, LONG loginHandle)
{
    if (!HoldLogin())
        return TP_ERR_OUT_OF_MEMORY;
#if TV_OCX_HAVE_DEVICES
    return TvDeviceLogout(m_player.get(), deviceType, loginHandle);
#else
    (void)loginHandle;
    return NeedsNoLogin(deviceType) ? 0 : TP_ERR_UNSUPPORTED;
#endif
}

LONG CTarvoPlayerOCXCtrl::OpenLocalFile(const char* path)
{
    std::lock_guard<std::recursive_mutex> lock(m_callLock);
    SetPlayer(nullptr);
    if (!path)
        return E_FAIL;
#if TV_OCX_HAVE_DEVICES
    if (CPlayerBase* hik = TvNewHikFilePlayer(Window())) {
        if (hik->OpenLocalFile(path) == 0) {
            SetPlayer(hik);
            return 0;
        }
        delete hik;
    }
    // The H3C player plays inside the outside control's own window, made once
    // over the control's client area.
    if (!m_h3c) {
        RECT client = {};
        GetClientRect(Window(), &client);
        m_h3c = TvCreateH3CWindow(Window(), 0, 0, client.right, client.bottom);
    }
    if (m_h3c) {
        if (CPlayerBase* h3c = TvNewH3CFilePlayer(Window(), m_h3c)) {
            if (h3c->OpenLocalFile(path) == 0) {
                SetPlayer(h3c);
                return 0;
            }
            delete h3c;
        }
    }
#endif
    CPlayerBase* file = new (std::nothrow) COcxFilePlayer(Window());
    if (!file)
        return E_FAIL;
    if (file->OpenLocalFile(path) != 0) {
        delete file;
        return E_FAIL;
    }
    SetPlayer(file);
    return 0;
}

LONG CTarvoPlayerOCXCtrl::PlayControl(LONG controlCode, LONG inValue, LONG* outValue)
{
    std::lock_guard<std::recursive_mutex> lock(m_callLock);
    if (!m_player)
        return TP_ERR_INVALID_HANDLE;
    // Room for whatever a command writes (a rate, a range), however small
    // the caller's value is.
    LONGLONG out[2] = {0, 0};
    const LONG result = TpPlayControl(*m_player, controlCode, inValue, out);
    if (outValue)
        std::memcpy(outValue, out, sizeof(LONG));
    return result;
}

LONG CTarvoPlayerOCXCtrl::PTZControl(LONG controlCode, LONG inValue)
{
    switch (controlCode) {
    case 0:
        m_zoomEnable = inValue != 0;
        break;
    case 1:
        m_ptzEnable = inValue != 0;
        break;
    case 2:
        m_zoomEnable = m_ptzEnable = inValue != 0;
        break;
    case 3: {
        int width = 0;
        int height = 0;
        if (m_player && m_player->GetVideoSize(&width, &height) == 0)
            m_player->SetSourceRect(0, 0, width, height);
        break;
    }
    default:
        return TP_ERR_UNSUPPORTED;
    }
    // The window leaves a mouse mode whose enable was cleared.
    if (m_window)
        return m_window->PTZControl(controlCode, inValue, nullptr);
    return 0;
}

void CTarvoPlayerOCXCtrl::AboutBox()
{
    MessageBoxA(m_hWnd, "TarvoPlayerOCX Version 1.0", "About TarvoPlayerOCX Control", MB_OK);
}

// ---- The property page ----

CUnknown* CTarvoPlayerOCXPropPage::CreateInstance(LPUNKNOWN outer, HRESULT* phr)
{
    return CreateComInstance<CTarvoPlayerOCXPropPage>(outer, phr);
}

CTarvoPlayerOCXPropPage::CTarvoPlayerOCXPropPage(LPUNKNOWN outer, HRESULT* phr)
    : CUnknown("TarvoPlayerOCX Property Page", outer, phr)
{
}
