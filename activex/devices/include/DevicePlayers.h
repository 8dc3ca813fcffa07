// The player control's device-SDK players and their login state, as the
// control's object creates and uses them (library tvdeviceplayers).
//
// Players: each is a CPlayerBase (the library's player interface, same slots)
// whose operations drive an outside component instead of a filter graph:
//   - the network SDK's device player (device type 6: live view, playback by
//     time or name, record, download, capture);
//   - the H3C device player (device type 8), over the H3C device object;
//   - the PlayM4 file player (first choice of OpenLocalFile);
//   - the H3C file player (second choice), over the hosted H3C control.
// Results are 0, the library's codes, or the device codes below.
//
// Login: TvInstallDeviceLogin gives every player made afterwards (the graph
// players too, so that a CGraphPlayer holder can log in) the login state of
// device types 6 and 8: CPlayerBase::Login (slot 63) then logs in to those
// devices; the destructor releases the H3C device object and cleans the
// network SDK up. The library itself never installs it, so TarvoPlayLib's
// Login keeps answering by device type alone.
//
// Threads: everything here runs on the control's thread.
#pragma once

#include "win32/types.h"

class CPlayerBase;

// Device-path error codes (besides the library's).
#define TV_ERR_HIK_BASE 20000            // + the network SDK's last error
#define TV_ERR_PLAYM4_BASE 20100         // + PlayM4's last error on port 99
#define TV_ERR_HIK_NOT_INITIALISED 20003 // the network SDK is not initialised
#define TV_ERR_NEGATIVE_CHANNEL 20004    // negative channel
#define TV_ERR_NO_LOGIN_ID 20201         // no login identifier
#define TV_ERR_NEGATIVE_LOGIN 20202      // negative login handle for SetLoginHandle
#define TV_ERR_FILE_RATE 20203           // file-player rate outside 0.0625-16
#define TV_ERR_NO_PLAY_HANDLE 20204      // no play handle
#define TV_ERR_H3C_NOT_REGISTERED 30001  // the H3C device class is not registered
#define TV_ERR_H3C_NO_INTERFACE 30002    // the H3C device object lacks its interface
#define TV_ERR_H3C_NO_DEVICE 30003       // no H3C device object (or it refused initialisation)
#define TV_ERR_H3C_LOGIN 30004           // H3C login failed
#define TV_ERR_H3C_LOGOUT 30005          // H3C logout failed
#define TV_ERR_H3C_CHANNEL 30007         // negative channel (H3C)
#define TV_ERR_H3C_OPEN_STREAM 30008     // the H3C device refused the live channel
#define TV_ERR_H3C_OPEN_PERIOD 30009     // the H3C device refused the period
#define TV_ERR_DEVICE_RATE 30010         // rate outside the device's range
#define TV_ERR_RECORD_NAME 30011         // record directory or file name missing
#define TV_ERR_H3C_RATE_CODE 30012       // the H3C device reported an unknown speed code

// Gives every player created from now on the device login state (see above).
// Idempotent; the player factories below call it too.
void TvInstallDeviceLogin();

// Logs the holder out of a device: type 6 the network SDK (0, or 20000 + its
// error), type 8 the H3C device object (30003 without one, 30005 when it
// refuses), the types that need no login 0, any other 10004. The holder is
// any player made after TvInstallDeviceLogin (else types 6 and 8 give 10004).
int TvDeviceLogout(CPlayerBase* holder, int deviceType, int loginHandle);

// The players; null only when memory is exhausted. The caller owns them
// (delete). window is the control's window: the video's window for the SDKs.
CPlayerBase* TvNewHikDevicePlayer(HWND window, int loginHandle);
CPlayerBase* TvNewH3CDevicePlayer(HWND window);
CPlayerBase* TvNewHikFilePlayer(HWND window);

// The hosted H3C control: its window, a visible child of the control's
// window with the text "H3C" and the control identifier 101, made from the
// class {9BB5C7EC-730D-4643-9A2A-BE3ECAD78CF9}, and the dispatch interface
// the H3C file player drives. The control creates it once and keeps it until
// its own destruction.
struct TvH3CWindow;
// Null when the H3C control cannot be created (not registered, no dispatch
// interface, no window).
TvH3CWindow* TvCreateH3CWindow(HWND parent, int x, int y, int width, int height);
HWND TvH3CWindowHandle(const TvH3CWindow* h3c);
// Moves and sizes the child window (the control's resize: (2, 2), size less 4).
void TvMoveH3CWindow(TvH3CWindow* h3c, int x, int y, int width, int height);
// Destroys the window and releases the control; null is ignored. Delete the
// players that use it first.
void TvDestroyH3CWindow(TvH3CWindow* h3c);

// The H3C file player over h3c (which must outlive it); with a null h3c every
// operation returns E_FAIL.
CPlayerBase* TvNewH3CFilePlayer(HWND window, TvH3CWindow* h3c);
