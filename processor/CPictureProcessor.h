// CPictureProcessor: what the frame processor does to every picture, apart
// from the filter around it: the copy from the input buffer into the output
// buffer (whole, cropped or tiled), the colour adjustment, the overlays, the
// application's frame callback and the one-picture grab, with the counters of
// what was received.
//
// Settings are written by application threads and read by the streaming
// thread as one snapshot per picture: the geometry with its copy plan and the
// callback under m_lock (the plan is worked out when the geometry or the
// agreed input size changes, never per picture), the colour settings from the
// adjuster's own snapshot, the overlays under the list's lock. With neutral
// colour, no overlays, no callback and no grab pending, a picture costs one
// copy.
//
// Threads: Process on the input streaming thread; everything else on any
// thread.
#pragma once

#include "CColorAdjuster.h"
#include "CFrameGrab.h"
#include "COverlayList.h"
#include "IProcesserCut.h"
#include "PictureCopy.h"

#include <atomic>
#include <mutex>

class CPictureProcessor {
public:
    CPictureProcessor() = default;
    CPictureProcessor(const CPictureProcessor&) = delete;
    CPictureProcessor& operator=(const CPictureProcessor&) = delete;

    // IProcesserCut's geometry (SetCutRect without the connection check,
    // which is the filter's).
    HRESULT SetCutRect(LONG x, LONG y, LONG width, LONG height);
    HRESULT GetCutRect(LONG* x, LONG* y, LONG* width, LONG* height) const;
    HRESULT SetCutMode(LONG width, LONG height, LONG mode);
    // The input type was agreed with this picture size.
    void SetInputSize(LONG width, LONG height);
    ProcesserCut Cut() const;
    PicturePlan Plan() const;

    HRESULT SetFrameCallback(ProcesserFrameCallback callback, void* user);

    HRESULT GetProcessStatistics(LONGLONG* samples, LONGLONG* bytes) const;
    void ResetStatistics();

    CColorAdjuster& Color() { return m_color; }
    COverlayList& Overlays() { return m_overlays; }
    CFrameGrab& Grab() { return m_grab; }

    // Streaming thread: one input picture of inLength bytes into the output
    // buffer of outSize bytes; *outLength: the output picture's bytes. E_FAIL
    // when the picture cannot be copied (see CopyPicture); nothing after the
    // copy fails. in == out: the picture is in the output buffer already
    // (whole pictures only; E_FAIL for a crop or tiles). A frame callback that throws is caught
    // here ("abc" on standard output) and the picture goes on.
    HRESULT Process(const BYTE* in, size_t inLength, BYTE* out, size_t outSize, size_t* outLength,
                    IOverlayLayoutSource& layout);

private:
    mutable std::mutex m_lock;
    ProcesserCut m_cut;                          // guarded by m_lock
    PicturePlan m_plan;                          // guarded by m_lock
    ProcesserFrameCallback m_callback = nullptr; // guarded by m_lock
    void* m_callbackUser = nullptr;              // guarded by m_lock

    std::atomic<LONGLONG> m_samples{0};
    std::atomic<LONGLONG> m_bytes{0};

    CColorAdjuster m_color;
    COverlayList m_overlays;
    CFrameGrab m_grab;
};
