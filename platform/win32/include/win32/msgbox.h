// Message boxes. MessageBoxA goes to one process-wide handler: GUI programs install
// one that shows a real dialog; the default writes "caption: text" as one line to
// standard error and answers with the box's default button (IDOK for an OK box).
#pragma once

#include "win32/types.h"

#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_ABORTRETRYIGNORE 0x00000002u
#define MB_YESNOCANCEL 0x00000003u
#define MB_YESNO 0x00000004u
#define MB_RETRYCANCEL 0x00000005u
#define MB_TYPEMASK 0x0000000Fu

#define MB_ICONHAND 0x00000010u
#define MB_ICONERROR MB_ICONHAND
#define MB_ICONSTOP MB_ICONHAND
#define MB_ICONQUESTION 0x00000020u
#define MB_ICONEXCLAMATION 0x00000030u
#define MB_ICONWARNING MB_ICONEXCLAMATION
#define MB_ICONASTERISK 0x00000040u
#define MB_ICONINFORMATION MB_ICONASTERISK
#define MB_ICONMASK 0x000000F0u

#define MB_DEFBUTTON1 0x00000000u
#define MB_DEFBUTTON2 0x00000100u
#define MB_DEFBUTTON3 0x00000200u
#define MB_DEFMASK 0x00000F00u

#define IDOK 1
#define IDCANCEL 2
#define IDABORT 3
#define IDRETRY 4
#define IDIGNORE 5
#define IDYES 6
#define IDNO 7

// Shows a message box and returns the button chosen (IDOK, IDYES, ...). Blocks the
// calling thread for as long as the installed handler does. Any thread.
extern "C" int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type);
#define MessageBox MessageBoxA

// Receives every MessageBoxA call, on the calling thread; returns the button id.
// text and caption are passed as given (either may be null).
typedef int (*TvMessageBoxHandler)(HWND owner, LPCSTR text, LPCSTR caption, UINT type, void* user);

// Installs the process-wide handler; a null handler restores the default. A call
// already running in the old handler finishes there. Any thread.
void TvSetMessageBoxHandler(TvMessageBoxHandler handler, void* user);
