// Windows, posted messages and window timers.
//
// An HWND is an integer in pointer form. It is either an X11 window id (the
// application creates and owns its X11 windows; XIDs are below 2^29) or the id of
// a virtual window made with TvCreateVirtualWindow (ids from 2^30 up, so the two
// never collide). Virtual windows serve tests, headless runs and offscreen use.
//
// Threads. One platform dispatcher thread, started on first use, delivers posted
// messages to the handler registered for each window and runs timer callbacks.
// Handlers and timer procedures always run on that thread, one at a time, and no
// platform lock is held while they run: they may call PostMessage, SetTimer,
// KillTimer, TvSetWindowMessageHandler and DestroyWindow freely.
//
// Waiting. KillTimer, DestroyWindow and TvSetWindowMessageHandler (when it removes
// or replaces a handler) return only when no callback they revoke is still
// running, unless they are called on the dispatcher thread itself. So a caller on
// another thread must not hold a lock that such a callback takes while it calls
// them, or the two wait for each other.
//
// All functions are MT safe. Failures set the calling thread's last error.
#pragma once

#include "win32/types.h"

#define WM_NULL 0x0000
#define WM_CREATE 0x0001
#define WM_DESTROY 0x0002
#define WM_SIZE 0x0005
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_SETFOCUS 0x0007
#define WM_KILLFOCUS 0x0008
#define WM_SHOWWINDOW 0x0018
#define WM_KEYDOWN 0x0100
#define WM_KEYUP 0x0101
#define WM_TIMER 0x0113
#define WM_MOUSEMOVE 0x0200
#define WM_LBUTTONDOWN 0x0201
#define WM_LBUTTONUP 0x0202
#define WM_LBUTTONDBLCLK 0x0203
#define WM_RBUTTONDOWN 0x0204
#define WM_RBUTTONUP 0x0205
#define WM_RBUTTONDBLCLK 0x0206
#define WM_MBUTTONDOWN 0x0207
#define WM_MBUTTONUP 0x0208
#define WM_MBUTTONDBLCLK 0x0209
#define WM_MOUSEWHEEL 0x020A
#define WM_DROPFILES 0x0233
#define WM_USER 0x0400
#define WM_APP 0x8000

// WM_SIZE's wParam for a plain resize.
#define SIZE_RESTORED 0
// The key and button state in a mouse message's wParam.
#define MK_LBUTTON 0x0001
#define MK_RBUTTON 0x0002
#define MK_SHIFT 0x0004
#define MK_CONTROL 0x0008
#define MK_MBUTTON 0x0010
// One notch of a mouse wheel, in WM_MOUSEWHEEL's delta.
#define WHEEL_DELTA 120

#ifndef MAKELPARAM
#define MAKELPARAM(l, h) ((LPARAM)(DWORD)MAKELONG(l, h))
#endif
#ifndef MAKEWPARAM
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#endif

// Virtual-key codes of the keys with no character of their own; letters and
// digits are their upper-case ASCII codes.
#define VK_BACK 0x08
#define VK_TAB 0x09
#define VK_RETURN 0x0D
#define VK_SHIFT 0x10
#define VK_CONTROL 0x11
#define VK_MENU 0x12
#define VK_PAUSE 0x13
#define VK_ESCAPE 0x1B
#define VK_SPACE 0x20
#define VK_PRIOR 0x21
#define VK_NEXT 0x22
#define VK_END 0x23
#define VK_HOME 0x24
#define VK_LEFT 0x25
#define VK_UP 0x26
#define VK_RIGHT 0x27
#define VK_DOWN 0x28
#define VK_INSERT 0x2D
#define VK_DELETE 0x2E
#define VK_F1 0x70

// Smallest and largest timer periods, in milliseconds, as on Windows: shorter
// periods are raised to the minimum, longer ones lowered to the maximum.
#define USER_TIMER_MINIMUM 0x0000000Au
#define USER_TIMER_MAXIMUM 0x7FFFFFFFu

#ifndef ERROR_NOT_ENOUGH_QUOTA
#define ERROR_NOT_ENOUGH_QUOTA 1816L
#endif

// Timer procedure: (window or null, WM_TIMER, timer id, milliseconds of the
// monotonic clock as GetTickCount gives them). Runs on the dispatcher thread.
typedef void (*TIMERPROC)(HWND, UINT msg, UINT_PTR id, DWORD time);

// Receives the messages of one window on the dispatcher thread. The result is
// ignored for posted messages.
typedef LRESULT (*TvMessageHandler)(HWND, UINT, WPARAM, LPARAM, void* user);

// ---- Virtual windows ----

// Creates a virtual window whose client area is width x height (both >= 0).
// Returns null with ERROR_INVALID_PARAMETER for a negative size.
HWND TvCreateVirtualWindow(int width, int height);
// Changes a virtual window's client size. FALSE for anything but a live virtual
// window (ERROR_INVALID_WINDOW_HANDLE) or a negative size (ERROR_INVALID_PARAMETER).
BOOL TvResizeVirtualWindow(HWND hwnd, int width, int height);
// TRUE when hwnd is a live virtual window.
BOOL TvIsVirtualWindow(HWND hwnd);

// ---- X11 ----

// The platform's own Display* connection (its own, not the application's), opened
// on first call with XOpenDisplay(NULL) when DISPLAY is set; null when there is no
// display. Opened once per process; later calls return the same connection.
// Null again once the connection is lost (below).
void* TvGetX11Display(void);
// TRUE once the platform's connection to the X server broke (the server ended).
// The process goes on: the platform installs an I/O error handler for its
// connection (the handlers of other connections stay as they were), X11 windows
// then answer as gone (IsWindow and GetClientRect FALSE), and video renderers
// draw offscreen. Posted messages and timers of windows go on being delivered.
// There is no reconnection.
BOOL TvX11ConnectionLost(void);

// ---- Windows ----

// Virtual window: removes it, kills its timers as KillTimer does, drops its queued
// messages and its handler. X11 window: forgets the platform's state for it (handler,
// queued messages, timers); the window itself belongs to the application and stays.
// No WM_DESTROY is sent. FALSE with ERROR_INVALID_WINDOW_HANDLE for an unknown window.
extern "C" BOOL DestroyWindow(HWND hwnd);
// Virtual window: TRUE while it exists. X11 window: TRUE when the X server knows it
// (FALSE once the connection to it is lost).
extern "C" BOOL IsWindow(HWND hwnd);
// {0, 0, width, height} of the client area. FALSE with ERROR_INVALID_WINDOW_HANDLE
// for an unknown window (a bad X11 id never ends the process), with
// ERROR_INVALID_PARAMETER for a null rect.
extern "C" BOOL GetClientRect(HWND hwnd, LPRECT rect);

// ---- Messages ----

// Queues the message for the window's handler; messages of one window are handled
// in the order they were posted. While a window has no handler its messages are
// kept (at most 10000; beyond that the oldest are dropped, with a note on stderr)
// and handed over once a handler is set. With a handler, a queue already holding
// 10000 messages refuses more (FALSE, ERROR_NOT_ENOUGH_QUOTA). A window that is not
// known gives FALSE with ERROR_INVALID_WINDOW_HANDLE.
extern "C" BOOL PostMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
#define PostMessage PostMessageA

// Sets (or, with a null handler, removes) the window's message handler; messages
// kept while it had none are delivered to the new one. Removing or replacing a
// handler waits until no call of the old one is running (except on the dispatcher
// thread). FALSE with ERROR_INVALID_WINDOW_HANDLE for an unknown window.
BOOL TvSetWindowMessageHandler(HWND hwnd, TvMessageHandler handler, void* user);

// ---- Timers ----

// With a window: the timer is identified by (hwnd, id); setting an existing id
// replaces that timer (new period and procedure, due one period from now) and
// returns the id (1 when id is 0, which still names the timer 0). Without a window:
// an id of an existing windowless timer replaces it, any other id is ignored and a
// new id is returned. The timer fires every elapseMs (clamped to USER_TIMER_MINIMUM
// .. USER_TIMER_MAXIMUM) on the monotonic clock; a late callback does not cause a
// burst of catch-up calls. With a null TIMERPROC the window's handler gets WM_TIMER
// (wParam = id, lParam = 0; skipped while the window has no handler); otherwise the
// procedure is called with (hwnd, WM_TIMER, id, tick count). Returns 0 on failure
// (unknown window: ERROR_INVALID_WINDOW_HANDLE; no window and no procedure:
// ERROR_INVALID_PARAMETER).
extern "C" UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapseMs, TIMERPROC proc);

// Stops the timer. When it returns, no callback of that timer is running or will
// run; on the dispatcher thread (e.g. inside the timer's own callback) it does not
// wait. FALSE with ERROR_INVALID_PARAMETER when there is no such timer.
extern "C" BOOL KillTimer(HWND hwnd, UINT_PTR id);

// TRUE on the platform dispatcher thread.
BOOL TvIsDispatcherThread(void);
