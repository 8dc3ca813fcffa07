// IOffscreenSnapshot: the picture a video renderer of this platform last
// presented, for tests and for snapshots of headless runs.
//
// The video renderer (CLSID_VideoRenderer, also registered as
// CLSID_VideoRendererDefault) draws each picture into a surface the size of its
// video window's client area: an X11 window's backing memory when it shows
// the video in an X11 child window of its owner, or memory alone when there is
// no display or the owner is a virtual window (TvCreateVirtualWindow). The
// surface keeps the last picture, scaled and placed as the IVideoWindow,
// IBasicVideo and IVMRAspectRatioControl settings say, with the border colour
// around it. Any thread may read it through this interface, which the renderer
// filter answers to QueryInterface.
//
// Slot order after IUnknown: 3 GetSurfaceInfo, 4 CopyLastFrame.
#pragma once

#include <objbase.h>

#include "win32/types.h"

// {4EC3CEA9-9AAF-421C-9BCE-ED30C48ED8FF}
DEFINE_GUID(IID_IOffscreenSnapshot, 0x4ec3cea9, 0x9aaf, 0x421c, 0x9b, 0xce, 0xed, 0x30, 0xc4, 0x8e,
            0xd8, 0xff);

struct IOffscreenSnapshot : public IUnknown {
    // The surface size (0 x 0 before the renderer is connected), the number of
    // pictures presented since the renderer was made (a FrameDrawn count that
    // survives Stop), and whether the pictures go to an X11 window (TRUE) or
    // stay in memory only (FALSE). Any pointer may be null.
    virtual HRESULT GetSurfaceInfo(LONG* pWidth, LONG* pHeight, LONGLONG* pFramesPresented,
                                   BOOL* pOnScreen) = 0;
    // Copies the surface into pBuffer: rows top-down, 4 bytes per pixel in the
    // order B, G, R, X (the fourth byte is not defined), width * 4 bytes per
    // row. *pWidth and *pHeight (may be null) receive the size. S_OK when a
    // picture has been presented; S_FALSE when none has yet (the buffer then
    // holds the border colour); E_POINTER for a null buffer; E_OUTOFMEMORY when
    // cbBuffer is below width * height * 4 (the size is reported all the
    // same); VFW_E_NOT_CONNECTED (0x80040209) while there is no surface.
    virtual HRESULT CopyLastFrame(BYTE* pBuffer, LONG cbBuffer, LONG* pWidth, LONG* pHeight) = 0;
};
