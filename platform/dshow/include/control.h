// DirectShow's automation interfaces on the filter graph manager and the renderers:
// IMediaControl, IMediaEvent(Ex), IMediaPosition, IBasicAudio, IVideoWindow,
// IBasicVideo. They derive from the platform's IDispatch (oaidl.h).
//
// Slot order is DirectShow's. The system calls these interfaces through their
// vtable, never through Invoke.
#pragma once

#include <objbase.h>

#include "oaidl.h"
#include "strmif.h"
#include "win32/types.h"

typedef LONG_PTR OAHWND;
typedef LONG_PTR OAEVENT;
typedef LONG OAFilterState;

#define OATRUE (-1)
#define OAFALSE (0)

// {56A868B1-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IMediaControl, 0x56a868b1, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IMediaControl : public IDispatch {
    virtual HRESULT Run() = 0;
    virtual HRESULT Pause() = 0;
    virtual HRESULT Stop() = 0;
    virtual HRESULT GetState(LONG msTimeout, OAFilterState* pfs) = 0;
    virtual HRESULT RenderFile(BSTR strFilename) = 0;
    virtual HRESULT AddSourceFilter(BSTR strFilename, IDispatch** ppUnk) = 0;
    virtual HRESULT get_FilterCollection(IDispatch** ppUnk) = 0;
    virtual HRESULT get_RegFilterCollection(IDispatch** ppUnk) = 0;
    virtual HRESULT StopWhenReady() = 0;
};

// {56A868B6-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IMediaEvent, 0x56a868b6, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IMediaEvent : public IDispatch {
    virtual HRESULT GetEventHandle(OAEVENT* hEvent) = 0;
    virtual HRESULT GetEvent(LONG* lEventCode, LONG_PTR* lParam1, LONG_PTR* lParam2,
                             LONG msTimeout) = 0;
    virtual HRESULT WaitForCompletion(LONG msTimeout, LONG* pEvCode) = 0;
    virtual HRESULT CancelDefaultHandling(LONG lEvCode) = 0;
    virtual HRESULT RestoreDefaultHandling(LONG lEvCode) = 0;
    virtual HRESULT FreeEventParams(LONG lEvCode, LONG_PTR lParam1, LONG_PTR lParam2) = 0;
};

#define AM_MEDIAEVENT_NONOTIFY 0x01

// {56A868C0-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IMediaEventEx, 0x56a868c0, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IMediaEventEx : public IMediaEvent {
    // Posts lMsg (wParam 0, lParam lInstanceData) to hwnd whenever an event is queued.
    virtual HRESULT SetNotifyWindow(OAHWND hwnd, LONG lMsg, LONG_PTR lInstanceData) = 0;
    // AM_MEDIAEVENT_NONOTIFY: no events are queued, the handle is not set.
    virtual HRESULT SetNotifyFlags(LONG lNoNotifyFlags) = 0;
    virtual HRESULT GetNotifyFlags(LONG* lplNoNotifyFlags) = 0;
};

// Positions and durations in seconds.
// {56A868B2-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IMediaPosition, 0x56a868b2, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b,
            0xa7, 0x70);
struct IMediaPosition : public IDispatch {
    virtual HRESULT get_Duration(REFTIME* plength) = 0;
    virtual HRESULT put_CurrentPosition(REFTIME llTime) = 0;
    virtual HRESULT get_CurrentPosition(REFTIME* pllTime) = 0;
    virtual HRESULT get_StopTime(REFTIME* pllTime) = 0;
    virtual HRESULT put_StopTime(REFTIME llTime) = 0;
    virtual HRESULT get_PrerollTime(REFTIME* pllTime) = 0;
    virtual HRESULT put_PrerollTime(REFTIME llTime) = 0;
    virtual HRESULT put_Rate(double dRate) = 0;
    virtual HRESULT get_Rate(double* pdRate) = 0;
    virtual HRESULT CanSeekForward(LONG* pCanSeekForward) = 0;
    virtual HRESULT CanSeekBackward(LONG* pCanSeekBackward) = 0;
};

// Volume and balance in hundredths of a decibel (-10000 silence .. 0 full).
// {56A868B3-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IBasicAudio, 0x56a868b3, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IBasicAudio : public IDispatch {
    virtual HRESULT put_Volume(LONG lVolume) = 0;
    virtual HRESULT get_Volume(LONG* plVolume) = 0;
    virtual HRESULT put_Balance(LONG lBalance) = 0;
    virtual HRESULT get_Balance(LONG* plBalance) = 0;
};

// {56A868B4-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IVideoWindow, 0x56a868b4, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IVideoWindow : public IDispatch {
    virtual HRESULT put_Caption(BSTR strCaption) = 0;
    virtual HRESULT get_Caption(BSTR* strCaption) = 0;
    virtual HRESULT put_WindowStyle(LONG WindowStyle) = 0;
    virtual HRESULT get_WindowStyle(LONG* WindowStyle) = 0;
    virtual HRESULT put_WindowStyleEx(LONG WindowStyleEx) = 0;
    virtual HRESULT get_WindowStyleEx(LONG* WindowStyleEx) = 0;
    virtual HRESULT put_AutoShow(LONG AutoShow) = 0;
    virtual HRESULT get_AutoShow(LONG* AutoShow) = 0;
    virtual HRESULT put_WindowState(LONG WindowState) = 0;
    virtual HRESULT get_WindowState(LONG* WindowState) = 0;
    virtual HRESULT put_BackgroundPalette(LONG BackgroundPalette) = 0;
    virtual HRESULT get_BackgroundPalette(LONG* pBackgroundPalette) = 0;
    virtual HRESULT put_Visible(LONG Visible) = 0;
    virtual HRESULT get_Visible(LONG* pVisible) = 0;
    virtual HRESULT put_Left(LONG Left) = 0;
    virtual HRESULT get_Left(LONG* pLeft) = 0;
    virtual HRESULT put_Width(LONG Width) = 0;
    virtual HRESULT get_Width(LONG* pWidth) = 0;
    virtual HRESULT put_Top(LONG Top) = 0;
    virtual HRESULT get_Top(LONG* pTop) = 0;
    virtual HRESULT put_Height(LONG Height) = 0;
    virtual HRESULT get_Height(LONG* pHeight) = 0;
    virtual HRESULT put_Owner(OAHWND Owner) = 0;
    virtual HRESULT get_Owner(OAHWND* Owner) = 0;
    virtual HRESULT put_MessageDrain(OAHWND Drain) = 0;
    virtual HRESULT get_MessageDrain(OAHWND* Drain) = 0;
    virtual HRESULT get_BorderColor(LONG* Color) = 0;
    virtual HRESULT put_BorderColor(LONG Color) = 0;
    virtual HRESULT get_FullScreenMode(LONG* FullScreenMode) = 0;
    virtual HRESULT put_FullScreenMode(LONG FullScreenMode) = 0;
    virtual HRESULT SetWindowForeground(LONG Focus) = 0;
    virtual HRESULT NotifyOwnerMessage(OAHWND hwnd, LONG uMsg, LONG_PTR wParam,
                                       LONG_PTR lParam) = 0;
    virtual HRESULT SetWindowPosition(LONG Left, LONG Top, LONG Width, LONG Height) = 0;
    virtual HRESULT GetWindowPosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) = 0;
    virtual HRESULT GetMinIdealImageSize(LONG* pWidth, LONG* pHeight) = 0;
    virtual HRESULT GetMaxIdealImageSize(LONG* pWidth, LONG* pHeight) = 0;
    virtual HRESULT GetRestorePosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) = 0;
    virtual HRESULT HideCursor(LONG HideCursor) = 0;
    virtual HRESULT IsCursorHidden(LONG* CursorHidden) = 0;
};

// {56A868B5-0AD4-11CE-B03A-0020AF0BA770}
DEFINE_GUID(IID_IBasicVideo, 0x56a868b5, 0x0ad4, 0x11ce, 0xb0, 0x3a, 0x00, 0x20, 0xaf, 0x0b, 0xa7,
            0x70);
struct IBasicVideo : public IDispatch {
    virtual HRESULT get_AvgTimePerFrame(REFTIME* pAvgTimePerFrame) = 0;
    virtual HRESULT get_BitRate(LONG* pBitRate) = 0;
    virtual HRESULT get_BitErrorRate(LONG* pBitErrorRate) = 0;
    virtual HRESULT get_VideoWidth(LONG* pVideoWidth) = 0;
    virtual HRESULT get_VideoHeight(LONG* pVideoHeight) = 0;
    virtual HRESULT put_SourceLeft(LONG SourceLeft) = 0;
    virtual HRESULT get_SourceLeft(LONG* pSourceLeft) = 0;
    virtual HRESULT put_SourceWidth(LONG SourceWidth) = 0;
    virtual HRESULT get_SourceWidth(LONG* pSourceWidth) = 0;
    virtual HRESULT put_SourceTop(LONG SourceTop) = 0;
    virtual HRESULT get_SourceTop(LONG* pSourceTop) = 0;
    virtual HRESULT put_SourceHeight(LONG SourceHeight) = 0;
    virtual HRESULT get_SourceHeight(LONG* pSourceHeight) = 0;
    virtual HRESULT put_DestinationLeft(LONG DestinationLeft) = 0;
    virtual HRESULT get_DestinationLeft(LONG* pDestinationLeft) = 0;
    virtual HRESULT put_DestinationWidth(LONG DestinationWidth) = 0;
    virtual HRESULT get_DestinationWidth(LONG* pDestinationWidth) = 0;
    virtual HRESULT put_DestinationTop(LONG DestinationTop) = 0;
    virtual HRESULT get_DestinationTop(LONG* pDestinationTop) = 0;
    virtual HRESULT put_DestinationHeight(LONG DestinationHeight) = 0;
    virtual HRESULT get_DestinationHeight(LONG* pDestinationHeight) = 0;
    virtual HRESULT SetSourcePosition(LONG Left, LONG Top, LONG Width, LONG Height) = 0;
    virtual HRESULT GetSourcePosition(LONG* pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight) = 0;
    virtual HRESULT SetDefaultSourcePosition() = 0;
    virtual HRESULT SetDestinationPosition(LONG Left, LONG Top, LONG Width, LONG Height) = 0;
    virtual HRESULT GetDestinationPosition(LONG* pLeft, LONG* pTop, LONG* pWidth,
                                           LONG* pHeight) = 0;
    virtual HRESULT SetDefaultDestinationPosition() = 0;
    virtual HRESULT GetVideoSize(LONG* pWidth, LONG* pHeight) = 0;
    virtual HRESULT GetVideoPaletteEntries(LONG StartIndex, LONG Entries, LONG* pRetrieved,
                                           LONG* pPalette) = 0;
    virtual HRESULT GetCurrentImage(LONG* pBufferSize, LONG* pDIBImage) = 0;
    virtual HRESULT IsUsingDefaultSource() = 0;
    virtual HRESULT IsUsingDefaultDestination() = 0;
};
