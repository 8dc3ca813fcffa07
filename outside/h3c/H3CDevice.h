// The H3C device object (simulated): a COM object that logs in to an H3C
// device and plays its live channels and records, called through the
// virtual table of IH3CDevice. Every method answers a LONG: 0 success,
// anything else a failure (the device's reason, H3cSimError), unless said
// otherwise. Strings are BSTRs owned by the caller.
//
// Threads: one caller at a time (the control's thread).
#pragma once

#include <objbase.h>
#include <oleauto.h>

// {8933673E-52BC-4F08-988F-E349234A28C0}
DEFINE_GUID(CLSID_H3CDevice, 0x8933673e, 0x52bc, 0x4f08, 0x98, 0x8f, 0xe3, 0x49, 0x23, 0x4a, 0x28,
            0xc0);
// {CCE0E940-DFE0-405E-8809-873BDCDDC264}
DEFINE_GUID(IID_IH3CDevice, 0xcce0e940, 0xdfe0, 0x405e, 0x88, 0x09, 0x87, 0x3b, 0xdc, 0xdd, 0xc2,
            0x64);

struct IH3CDevice : public IUnknown {
    // Slot 3: readies the object; nothing else works before it.
    STDMETHOD_(LONG, Initialize)() PURE;
    // Slot 4.
    STDMETHOD_(LONG, Login)(BSTR address, LONG port, BSTR userName, BSTR password) PURE;
    // Slot 5.
    STDMETHOD_(LONG, Logout)() PURE;
    // Slot 6: live view of channel in window; *failed is 0 when it plays.
    STDMETHOD_(LONG, OpenRealPlay)(LONG channel, HWND window, LONG* failed) PURE;
    // Slot 7: the records of channel from start to end ("YYYY-MM-DD hh:mm:ss", local).
    STDMETHOD_(LONG, OpenPlayback)(LONG channel, BSTR start, BSTR end, HWND window) PURE;
    // Slot 8: one record by name.
    STDMETHOD_(LONG, OpenPlaybackByName)(BSTR name, HWND window) PURE;
    // Slots 9-11.
    STDMETHOD_(LONG, Pause)() PURE;
    STDMETHOD_(LONG, Play)() PURE;
    STDMETHOD_(LONG, Stop)() PURE;
    // Slots 12-13: the speed code (0 normal, 1 1/4, 2 1/2, 3 2x, 4 4x, 5 8x, 6 16x).
    STDMETHOD_(LONG, SetSpeed)(LONG code) PURE;
    STDMETHOD_(LONG, GetSpeed)(LONG* code) PURE;
    // Slots 14-15: records what plays into directory\name.
    STDMETHOD_(LONG, StartRecord)(BSTR directory, BSTR name) PURE;
    STDMETHOD_(LONG, StopRecord)() PURE;
    // Slot 16: a download handle (>= 0), or -1.
    STDMETHOD_(LONG, DownloadByTime)(LONG channel, BSTR start, BSTR end, BSTR path) PURE;
    // Slots 17-18.
    STDMETHOD_(LONG, GetDownloadPosition)(LONG handle, LONG* position) PURE;
    STDMETHOD_(LONG, StopDownload)(LONG handle) PURE;
};
