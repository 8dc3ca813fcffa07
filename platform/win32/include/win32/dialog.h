// Dialogs and their controls as a model: what the property pages and the
// console read and write through the Win32 dialog calls, kept as plain state
// that a test inspects and that a toolkit window (the Qt property frame) shows.
//
// A dialog is made from a TvDialogTemplate (the stand-in for a dialog
// resource); it and each of its controls get a virtual window handle, so
// GetDlgItem, EnableWindow and SendMessageA take handles as on Windows. Page
// code uses the Win32 calls; users (a test, or the toolkit window relaying
// what a person did) use the TvDlgUser* calls, which change a control and then
// notify the dialog procedure with WM_COMMAND as Windows does.
//
// Notifications, as Windows sends them: setting an edit's text (by program or
// user) and setting an IP address send EN_CHANGE; a user's click sends
// BN_CLICKED (a check box toggles first); a user's combo choice sends
// CBN_SELCHANGE. CheckDlgButton and CB_SETCURSEL send nothing.
//
// Threads: all calls are MT safe; the dialog procedure and the change listener
// run on the calling thread with no platform lock held, so they may call back
// into these functions (nested notifications happen, as on Windows).
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "win32/types.h"
#include "win32/window.h"

#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111

#define WS_DISABLED 0x08000000L
#define ES_READONLY 0x0800L

#define BN_CLICKED 0
#define CBN_SELCHANGE 1
#define EN_CHANGE 0x0300

#define BST_UNCHECKED 0
#define BST_CHECKED 1

#define EM_SETREADONLY 0x00CF
#define BM_GETCHECK 0x00F0
#define BM_SETCHECK 0x00F1
#define CB_GETCOUNT 0x0146
#define CB_GETCURSEL 0x0147
#define CB_GETLBTEXT 0x0148
#define CB_GETLBTEXTLEN 0x0149
#define CB_RESETCONTENT 0x014B
#define CB_SETCURSEL 0x014E
#define CB_GETITEMDATA 0x0150
#define CB_SETITEMDATA 0x0151
#define CB_ADDSTRING 0x0143
#define CB_ERR (-1)
#define IPM_CLEARADDRESS (WM_USER + 100)
#define IPM_SETADDRESS (WM_USER + 101)
#define IPM_GETADDRESS (WM_USER + 102)

#ifndef MAKEWPARAM
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)(((WORD)(l)) | (((DWORD)(WORD)(h)) << 16)))
#endif
#define MAKEIPADDRESS(b1, b2, b3, b4)                                                              \
    ((LPARAM)(((DWORD)(b1) << 24) + ((DWORD)(b2) << 16) + ((DWORD)(b3) << 8) + ((DWORD)(b4))))

enum class TvControlKind {
    Static,    // a label
    Edit,      // a one-line edit
    CheckBox,  // an automatic check box
    Button,    // a push button
    ComboBox,  // a drop-down list
    IpAddress, // SysIPAddress32
    GroupBox,
};

// One control of a dialog template; position and size in dialog units.
struct TvDialogItem {
    int id; // -1 for labels nobody addresses
    TvControlKind kind;
    const char* text;
    short x, y, cx, cy;
    DWORD style; // WS_DISABLED, ES_READONLY
};

// The dialog resource: its number, caption, size in dialog units and font.
struct TvDialogTemplate {
    WORD resourceId;
    const char* title;
    short cx, cy;
    const char* fontName;
    WORD fontSize;
    const TvDialogItem* items;
    int itemCount;
};

// The dialog procedure: the page's message handler. The result is what
// SendMessageA to the dialog returns.
typedef INT_PTR (*TvDialogProc)(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam, void* user);

// Creates the dialog and its controls, then sends WM_INITDIALOG (wParam 0,
// lParam = initParam). Null for a null template or procedure.
HWND TvCreateDialog(const TvDialogTemplate* dialog, TvDialogProc proc, void* user,
                    LPARAM initParam);
// Sends WM_DESTROY, then removes the dialog and its controls. FALSE for a
// handle that is no dialog.
BOOL TvDestroyDialog(HWND dlg);
const TvDialogTemplate* TvGetDialogTemplate(HWND dlg);

// ---- Win32 calls over the model ----
extern "C" HWND GetDlgItem(HWND dlg, int id);
extern "C" int GetDlgCtrlID(HWND control);
// To a dialog: its procedure's result. To a control: the control message's
// result (the messages defined above; others return 0).
extern "C" LRESULT SendMessageA(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
#define SendMessage SendMessageA
extern "C" LRESULT SendDlgItemMessageA(HWND dlg, int id, UINT msg, WPARAM wParam, LPARAM lParam);
#define SendDlgItemMessage SendDlgItemMessageA
extern "C" BOOL SetDlgItemTextA(HWND dlg, int id, LPCSTR text);
#define SetDlgItemText SetDlgItemTextA
// Copies at most size - 1 bytes and a NUL; returns the bytes copied.
extern "C" UINT GetDlgItemTextA(HWND dlg, int id, LPSTR text, int size);
#define GetDlgItemText GetDlgItemTextA
extern "C" BOOL SetWindowTextA(HWND control, LPCSTR text);
extern "C" int GetWindowTextA(HWND control, LPSTR text, int size);
extern "C" int GetWindowTextLengthA(HWND control);
extern "C" BOOL CheckDlgButton(HWND dlg, int id, UINT check);
extern "C" UINT IsDlgButtonChecked(HWND dlg, int id);
// Returns whether the control was disabled before.
extern "C" BOOL EnableWindow(HWND control, BOOL enable);
extern "C" BOOL IsWindowEnabled(HWND control);

// ---- What a user does ----
// Each returns FALSE, changing nothing, when the control does not exist, is of
// another kind, or is disabled (and, for typing, read-only).
BOOL TvDlgUserType(HWND dlg, int id, const char* text);
BOOL TvDlgUserClick(HWND dlg, int id);
BOOL TvDlgUserSelect(HWND dlg, int id, int index);
BOOL TvDlgUserSetAddress(HWND dlg, int id, DWORD address);

// ---- Observing ----
struct TvControlState {
    int id = 0;
    TvControlKind kind = TvControlKind::Static;
    std::string text;
    bool checked = false;
    bool enabled = true;
    bool readOnly = false;
    std::vector<std::pair<std::string, LPARAM>> items; // combo: text and item data
    int selection = -1;
    bool addressBlank = true;
    DWORD address = 0; // host order, as IPM_GETADDRESS gives it
};
// FALSE when there is no such control.
BOOL TvDlgGetControl(HWND dlg, int id, TvControlState* state);
// Called after any control of the dialog changed (by program or by a user),
// with the control's id. One listener per dialog; null removes it.
typedef void (*TvDialogChangeListener)(HWND dlg, int id, void* user);
BOOL TvDlgSetChangeListener(HWND dlg, TvDialogChangeListener listener, void* user);
