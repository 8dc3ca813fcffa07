// The seam between the player control's COM object (CTarvoPlayerOCXCtrl: the
// methods, the player it holds, the events it sends to its container) and its
// window (CTarvoControlWindow: painting, the video's native window, the mouse
// modes, keys, dropped files and the player's posted messages 0x401/0x402).
//
// Threads: every call in both directions is made on the control's thread (the
// Qt GUI thread). The window marshals what the platform's dispatcher thread
// delivers (the player's posted messages) onto that thread before it calls the
// host.
//
// Lifetime: the window holds a reference to the host (AddRef ... Release)
// while it handles a posted message: what the container does for an event
// may drop its last reference to the control, and the control deletes its
// window when it goes.
#pragma once

#include "win32/types.h"

class CPlayerBase;

typedef DWORD OLE_COLOR;

// What the window asks of the control.
class IControlHost {
public:
    // The control's reference count (its COM object's).
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
    // The control's current player, or null. Valid until the next call that
    // replaces or deletes the player (Initialize, OpenLocalFile, destruction).
    virtual CPlayerBase* Player() = 0;
    // The control's methods of the same names (DISPIDs 9 and 10), with their
    // results and side effects (a dropped file replaces the player).
    virtual LONG OpenLocalFile(const char* path) = 0;
    virtual LONG PlayControl(LONG controlCode, LONG inValue, LONG* outValue) = 0;
    // colorBackGround.
    virtual OLE_COLOR BackColor() = 0;

    // The container's events. A host that is being destroyed drops them.
    virtual void FirePTZEvent(LONG direction, LONG rate) = 0;                // DISPID 1
    virtual void FireFileEndEvent(LONG wParam, LONG lParam) = 0;             // DISPID 2
    virtual void FireWindowProc(LONG message, LONG wParam, LONG lParam) = 0; // DISPID 4
    virtual void FireActiveWindow(LONG x, LONG y) = 0;                       // DISPID 5
    virtual void FireFirstSampleDelivered(LONG wParam, LONG lParam) = 0;     // DISPID 6

protected:
    ~IControlHost() = default;
};
