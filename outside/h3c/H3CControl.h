// The H3C playback control (simulated): a COM object driven through IDispatch
// by name, which plays one local H3C recording in a window its container
// gives it. Members (arguments in call order; every member returns a VT_I4,
// 0 success, else a failure H3cSimError):
//   AttachWindow(window)         the container's child window (HWND as VT_I4)
//   OpenFile(path)               a recording (BSTR); loads in the background
//   GetPlayTime(&played, &total) seconds (VT_BYREF | VT_I4); total stays 0
//                                until the file has loaded
//   Play() Pause() Stop() StepForward() CloseFile()
//   SetPosition(seconds)
//   SetSpeed(code)               0 normal, 1 1/4, 2 1/2, 3 2x, 4 4x, 5 8x,
//                                7 -1x, 8 -2x, 9 -4x, 10 -8x
//   SetCapturePath(directory)    where Capture writes its pictures (BSTR)
//   Capture()                    a BMP of the current picture, named
//                                "H3C_<n>.bmp" in that directory
//   ShowWindow(show)             1 shows, 0 hides the window
// Arguments of another type are converted as automation does
// (DISP_E_TYPEMISMATCH when they cannot be); a wrong count gives
// DISP_E_BADPARAMCOUNT, an unknown name DISP_E_UNKNOWNNAME.
//
// Threads: one caller at a time (the control's thread).
#pragma once

#include <objbase.h>

// {9BB5C7EC-730D-4643-9A2A-BE3ECAD78CF9}
DEFINE_GUID(CLSID_H3CControl, 0x9bb5c7ec, 0x730d, 0x4643, 0x9a, 0x2a, 0xbe, 0x3e, 0xca, 0xd7, 0x8c,
            0xf9);
