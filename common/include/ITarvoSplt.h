// ITarvoSplt: the splitter filter's private interface, through which the player
// sets the stream type and play mode, re-renders the chain, reads receive rates
// and drives frame-queue (video on demand) playback.
//
// The slot order after the three IUnknown slots is binding: callers outside this
// code base reach the methods by position. Every method returns an HRESULT-style
// int. Called on the application thread; the VOD callback runs on the splitter's
// request thread (see SetVodCallback).
#pragma once

#include <objbase.h>

#include "win32/types.h"

// {8D7CA2C8-939F-4402-A266-3C9DE277E118}
DEFINE_GUID(IID_ITarvoSplt, 0x8d7ca2c8, 0x939f, 0x4402, 0xa2, 0x66, 0x3c, 0x9d, 0xe2, 0x77, 0xe1,
            0x18);

// The frame queue's request callback: (context given to SetVodCallback, range
// start, range end, always 100, reason). A result of 0 pauses the requests until
// ResumeVodRequests.
typedef int (*VodRequestCallback)(int context, int rangeStart, int rangeEnd, int hundred,
                                  int reason);

// Reasons passed to the request callback.
#define VOD_REASON_BACKWARD 0x02      // play backward, -2 <= rate <= 0
#define VOD_REASON_FAST_FORWARD 0x04  // rate > 2
#define VOD_REASON_FAST_BACKWARD 0x08 // rate < -2
#define VOD_REASON_FORWARD 0x20       // play forward, 0 < rate <= 2
#define VOD_REASON_THREAD_END 0x40    // the request thread ends
#define VOD_REASON_NEW_RANGE 0x80     // a new range is being set (called with the previous range)

struct ITarvoSplt : public IUnknown {
    // Slot 3. Stores the CodecKind (and ContainerKind 0, or 1 for 256 and 512);
    // 512 creates the frame queue. E_FAIL while the video pin is connected.
    virtual HRESULT SetStreamType(int codecKind) = 0;
    // Slot 4. Removes every filter downstream of the splitter from the graph.
    // Returns E_FAIL in every case (callers ignore it).
    virtual HRESULT RemoveDownstream() = 0;
    // Slot 5. Bytes delivered on the video and audio pins during the given time
    // (1..10000 ms, else E_INVALIDARG; null outputs: E_POINTER). Sleeps that long.
    virtual HRESULT GetReceiveRates(UINT milliseconds, int* videoBytes, int* audioBytes) = 0;
    // Slot 6. Non-zero: file frames are delivered without pacing sleeps.
    virtual HRESULT SetNoWait(int noWait) = 0;
    // Slot 7. The frame queue's current request range, range[0] start, range[1] end.
    // E_FAIL without a frame queue.
    virtual HRESULT GetVodRange(int* range) = 0;
    // Slot 8. Sets a new request range. E_FAIL without a frame queue.
    virtual HRESULT SetVodRange(int start, int end) = 0;
    // Slot 9. Stores the request callback and starts the request thread. -1 for a
    // null callback; E_FAIL without a frame queue.
    virtual HRESULT SetVodCallback(VodRequestCallback callback, int context) = 0;
    // Slot 10. Lets the request thread ask again. The argument is ignored.
    // E_FAIL without a frame queue.
    virtual HRESULT ResumeVodRequests(int ignored) = 0;
    // Slot 11. Stores the player's play mode (the splitter itself does not use it).
    virtual HRESULT SetPlayMode(int playMode) = 0;
};
