// IProcesserCut: the frame processor's picture geometry, counters and frame
// callback. The player library crops the video with it, reads the processor's
// counters for its statistics line and hands its YUV frame callback on.
//
// The slot order after the three IUnknown slots is binding. Every method
// returns an HRESULT. Any thread; a picture in progress keeps the geometry and
// the callback it started with.
#pragma once

#include <objbase.h>

#include "win32/types.h"

// {A3D6E102-F784-442D-8928-4F6E0EBD7A0F}
DEFINE_GUID(IID_IProcesserCut, 0xa3d6e102, 0xf784, 0x442d, 0x89, 0x28, 0x4f, 0x6e, 0x0e, 0xbd, 0x7a,
            0x0f);

// Called for every processed picture on the processor's input streaming
// thread, after colour adjustment and overlays: the user value, the YUY2
// output picture, its size in bytes, its width and its height. The picture
// may be read and changed in place until the callback returns.
typedef void (*ProcesserFrameCallback)(void* user, BYTE* frame, LONG size, LONG width, LONG height);

struct IProcesserCut : public IUnknown {
    // Slot 3. The part of the input that becomes the output: x is clamped to
    // the input width and made even, y to the input height; a width or height
    // reaching past the input is cut at its edge. E_FAIL while the output pin
    // is connected (the output size is agreed with the downstream filter).
    virtual HRESULT SetCutRect(LONG x, LONG y, LONG width, LONG height) = 0;
    // Slot 4. E_POINTER for a null pointer.
    virtual HRESULT GetCutRect(LONG* x, LONG* y, LONG* width, LONG* height) = 0;
    // Slot 5. Pictures received and their bytes. E_POINTER for a null pointer.
    virtual HRESULT GetProcessStatistics(LONGLONG* samples, LONGLONG* bytes) = 0;
    // Slot 6. mode 6 and above: the 1920 x 1080 input is laid out as a
    // width x height picture (1600 x 1200: a strip of eight tiles of the
    // picture's right edge above its left 1600 columns). Below 6: the output is
    // width x height cut to the input; mode 1 takes the right edge, 2 the left,
    // 3 the middle; y stays.
    virtual HRESULT SetCutMode(LONG width, LONG height, LONG mode) = 0;
    // Slot 7. A null callback switches the callback off.
    virtual HRESULT SetFrameCallback(ProcesserFrameCallback callback, void* user) = 0;
};
