// The file player library of the player control's local files (simulated):
// plays one file per port, shows its pictures at the file's frame rate times
// the speed, and hands every shown picture to a display callback. Calls
// return a BOOL (1 success, 0 failure) unless said otherwise;
// PlayM4_GetLastError(port) tells why a call on that port failed
// (Pm4SimError).
//
// Threads: calls from any thread. While a file plays, the library's own
// thread of that port shows the pictures and calls the display callback; the
// callback must not call PlayM4_Stop, PlayM4_CloseFile or PlayM4_Play on its
// own port.
#pragma once

#include "win32/types.h"

extern "C" {

// Ports 0 .. PLAYM4_MAX_PORT - 1.
#define PLAYM4_MAX_PORT 128
// Picture type of the display callback and PlayM4_ConvertToBmpFile: planar
// 4:2:0, Y then V then U.
#define PLAYM4_PICTURE_YV12 3

// One shown picture: (port, picture bytes, their size, width, height, type).
// The bytes are valid during the call only.
typedef void (*PlayM4DisplayCallBack)(LONG port, char* buffer, LONG size, LONG width, LONG height,
                                      LONG type);

BOOL PlayM4_OpenFile(LONG port, const char* path);
BOOL PlayM4_CloseFile(LONG port);
// The file's length and the time played, in whole seconds (0 without a file).
DWORD PlayM4_GetFileTime(LONG port);
DWORD PlayM4_GetPlayedTime(LONG port);
BOOL PlayM4_SetPlayedTimeEx(LONG port, DWORD milliseconds);
// Null removes the callback.
BOOL PlayM4_SetDisplayCallBack(LONG port, PlayM4DisplayCallBack callback);
// Starts (or resumes) playing into window.
BOOL PlayM4_Play(LONG port, HWND window);
// pause 1 holds the picture, 0 goes on.
BOOL PlayM4_Pause(LONG port, DWORD pause);
// Stops and goes back to the start.
BOOL PlayM4_Stop(LONG port);
// Doubles or halves the speed, within 1/16 .. 16.
BOOL PlayM4_Fast(LONG port);
BOOL PlayM4_Slow(LONG port);
// Shows the next or the previous picture and holds it.
BOOL PlayM4_OneByOne(LONG port);
BOOL PlayM4_OneByOneBack(LONG port);
// A 24-bit BMP file of a picture of the display callback.
BOOL PlayM4_ConvertToBmpFile(char* buffer, LONG size, LONG width, LONG height, LONG type,
                             const char* path);
DWORD PlayM4_GetLastError(LONG port);

} // extern "C"
