// CTarvoPlayerOCXCtrl: the player control as an in-process COM object. One
// control shows one video and holds at most one player (the library's
// player classes, see OcxPlayers.h). Its methods are reached through
// IDispatch by DISPID or by name (OcxDispatch.h), its events go to every sink
// advised on its connection point, and a Qt host takes its widget through
// ITvQtControl.
//
// Window: the control's video window. Until a widget is asked for, the
// control works on a virtual window of its own (352 x 288): a host without a
// display, or a test, drives it without any widget. The posted messages of
// the player (0x401 a failing login or render, 0x402 graph events) are taken
// off that window by the control and handled on the control's thread.
//
// Threads: every method, the events and the destruction run on the thread
// that created the control (the Qt GUI thread in a Qt host). Without a Qt
// application there is no loop to hand the posted messages to: they are
// handled on the platform's dispatcher thread, under the lock the methods
// take (m_callLock), holding a reference to the control meanwhile; their
// events then reach the sinks on that thread, and a sink that drops the last
// reference there has the control destroyed there once the message is done.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <QPointer>

#include "CTarvoControlWindow.h"
#include "ControlHost.h"
#include "ITvQtControl.h"
#include "TarvoPlayerOCXEvents.h"
#include "objbase.h"
#include "ocidl.h"
#include "olectl.h"

class QObject;
class QWidget;

// {25CDEFD7-E75F-44F0-8E91-AA94FC5B9B61}
DEFINE_GUID(CLSID_TarvoPlayerOCX, 0x25CDEFD7, 0xE75F, 0x44F0, 0x8E, 0x91, 0xAA, 0x94, 0xFC, 0x5B,
            0x9B, 0x61);
// {68CE95DA-8A53-4B6F-B309-3E3021DC3E46}: _DTarvoPlayerOCX
DEFINE_GUID(DIID__DTarvoPlayerOCX, 0x68CE95DA, 0x8A53, 0x4B6F, 0xB3, 0x09, 0x3E, 0x30, 0x21, 0xDC,
            0x3E, 0x46);
// {5CD0C294-4F2F-499B-9C45-2687089FA01E}: TARVOPLAYEROCXLib
DEFINE_GUID(LIBID_TARVOPLAYEROCXLib, 0x5CD0C294, 0x4F2F, 0x499B, 0x9C, 0x45, 0x26, 0x87, 0x08, 0x9F,
            0xA0, 0x1E);

inline constexpr char kOcxProgID[] = "TARVOPLAYEROCX.TarvoPlayerOCXCtrl.1";
inline constexpr char kOcxTypeName[] = "TarvoPlayerOCX Control";
// Miscellaneous status: recompose on resize, can't link inside, inside-out,
// activate when visible, set client site first.
inline constexpr DWORD kOcxMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                                        OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                                        OLEMISC_SETCLIENTSITEFIRST;
static_assert(kOcxMiscStatus == 0x20191);

// The control's last error is the process-wide last error of the player
// classes (TpGetLastError): the module carries its own copy of those
// classes, so the value is the control's own, apart from the player
// library's.

class CPlayerBase;

class CTarvoPlayerOCXCtrl : public CUnknown,
                            public IDispatch,
                            public IConnectionPointContainer,
                            public ITvQtControl,
                            public IControlHost {
public:
    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IDispatch: no type information; names and calls through the table.
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                               DISPID* rgDispId) override;
    STDMETHODIMP Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags,
                        DISPPARAMS* pDispParams, VARIANT* pVarResult, EXCEPINFO* pExcepInfo,
                        UINT* puArgErr) override;

    // IConnectionPointContainer: one point, for _DTarvoPlayerOCXEvents
    // (EnumConnectionPoints is not offered: E_NOTIMPL).
    STDMETHODIMP EnumConnectionPoints(IEnumConnectionPoints** ppEnum) override;
    STDMETHODIMP FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) override;

    // ITvQtControl.
    STDMETHODIMP GetWidget(QWidget** ppWidget) override;

    // IControlHost (and the methods of the same names).
    CPlayerBase* Player() override { return m_player.get(); }
    LONG OpenLocalFile(const char* path) override;
    LONG PlayControl(LONG controlCode, LONG inValue, LONG* outValue) override;
    OLE_COLOR BackColor() override { return m_backColor; }
    void FirePTZEvent(LONG direction, LONG rate) override;
    void FireFileEndEvent(LONG wParam, LONG lParam) override;
    void FireWindowProc(LONG message, LONG wParam, LONG lParam) override;
    void FireActiveWindow(LONG x, LONG y) override;
    void FireFirstSampleDelivered(LONG wParam, LONG lParam) override;

    // ---- The methods that are more than a call on the player ----
    void SetBackColor(OLE_COLOR color);
    LONG Initialize(LONG deviceType, LONG formatType, LONG playMode, LONG loginHandle);
    LONG Login(LONG deviceType, const char* address, LONG port, const char* userName,
               const char* password, LONG* result);
    LONG Logout(LONG deviceType, LONG loginHandle);
    LONG PTZControl(LONG controlCode, LONG inValue);
    void AboutBox();

    // The control's video window (virtual until a widget is made).
    HWND Window();
    // The mouse enables PTZControl keeps (digital zoom, PTZ).
    bool ZoomEnabled() const { return m_zoomEnable; }
    bool PtzEnabled() const { return m_ptzEnable; }

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    CTarvoPlayerOCXCtrl(LPUNKNOWN outer, HRESULT* phr);
    ~CTarvoPlayerOCXCtrl() override;

    class CEventPoint;

    void Fire(DISPID id, std::initializer_list<LONG> args);
    // Without a player, a graph player without graph to hold a login; false
    // when out of memory.
    bool HoldLogin();
    // Replaces the player (null: none).
    void SetPlayer(CPlayerBase* player);
    // The player's posted messages: on the control's thread, or without a Qt
    // application on the dispatcher thread. Takes a reference (none once
    // destruction has begun: nothing is done) and m_callLock; the last
    // release may delete the control on the way out.
    void HandleWindowMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // A reference unless the count already reached 0.
    bool TryAddRef();
    void DrainGraphEvents();
    static LRESULT WindowMessageProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                                     void* user);

    // Serialises the host's calls (Invoke, GetWidget, the IControlHost
    // methods) with the posted messages handled on the dispatcher thread.
    // Recursive: a sink may call a method from the event it receives. Not
    // taken by the destructor, which waits for a running handler instead.
    std::recursive_mutex m_callLock;
    std::unique_ptr<CPlayerBase> m_player; // guarded by m_callLock
    std::unique_ptr<CEventPoint> m_events;
    OLE_COLOR m_backColor;
    bool m_zoomEnable;
    bool m_ptzEnable;
    // Set when destruction starts: events fired from then on are dropped.
    std::atomic<bool> m_destroying;

    HWND m_hWnd; // the video window, null until first needed
    // The outside H3C control's child window: made by the first OpenLocalFile
    // that gets that far, kept until destruction. Null without it.
    struct TvH3CWindow* m_h3c = nullptr;
    QPointer<QWidget> m_widget;
    // The control's window when it made one (GetWidget before any player
    // needed a window); it then owns m_hWnd.
    QPointer<CTarvoControlWindow> m_window;
    // Lives on the control's thread: the window's messages are queued to it.
    std::unique_ptr<QObject> m_relay;
};

// The property page class: registered with its CLSID and ProgID; it has no
// settings (an empty page).
// {92E77965-9298-49E1-BC0F-8776C542B6D7}
DEFINE_GUID(CLSID_TarvoPlayerOCXPropPage, 0x92E77965, 0x9298, 0x49E1, 0xBC, 0x0F, 0x87, 0x76, 0xC5,
            0x42, 0xB6, 0xD7);
inline constexpr char kOcxPageProgID[] = "TARVOPLAYEROCX.TarvoPlayerOCXPropPage.1";
inline constexpr char kOcxPageTypeName[] = "TarvoPlayerOCX Property Page";
inline constexpr char kOcxPageCaption[] = "General";

class CTarvoPlayerOCXPropPage : public CUnknown {
public:
    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr);
    // The caption the page shows on its tab.
    static const char* Caption() { return kOcxPageCaption; }

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    CTarvoPlayerOCXPropPage(LPUNKNOWN outer, HRESULT* phr);
};
