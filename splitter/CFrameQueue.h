// CFrameQueue: the splitter's frame queue for CodecKind 512 (video on demand).
// The application's source pushes device frames (each behind a 36-byte
// DeviceFrameHeader) through the input pin; AddFrame assembles them across
// pushes into elements; the delivery thread takes one element per step with
// GetNextFrame, paced against the wall clock by the elements' timestamps; a
// request thread asks the application for more data through a callback while
// fewer than 3 elements are queued.
//
// Threads:
//   - AddFrame: the upstream streaming thread (the input pin's Receive).
//   - GetNextFrame: the splitter's delivery thread. Its pacing sleeps wait on
//     the interrupt event given to SetInterruptEvent, so they end at once when
//     the filter stops or is destroyed (the element is still handed out).
//   - Clear, SetActive, SetRate/GetRate, SetVodRange/GetVodRange,
//     SetVodCallback, ResumeVodRequests, Count: the application thread (through
//     ITarvoSplt, IMediaPosition and the filter's state changes).
//   - The request thread (started by SetVodCallback) calls the callback with
//     the queue lock held; SetVodRange calls it on the caller's thread before
//     taking that lock.
// Ownership: the filter owns the queue (created by SetStreamType(512), deleted
// with the filter). Elements own their bytes.
#pragma once

#include "ITarvoSplt.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "win32/types.h"

// One assembled frame.
struct FrameElement {
    int32_t audio = 0;     // 1 when header byte 4 bit 0 is set
    int32_t frameType = 0; // (header byte 13 >> 4) & 7, video elements only
    int32_t length = 0;    // total length from the header (offset 20)
    int64_t timestamp = 0; // microseconds: header seconds x 1000000 + microseconds
    // The frame's bytes from its DeviceFrameHeader on; `length` of them are valid.
    std::vector<uint8_t> buffer;
};

class CFrameQueue {
public:
    static constexpr int32_t kElementCapacity = 307200;
    // An add is refused when more than this many elements are queued.
    static constexpr size_t kMaxQueued = 100;

    // Opens the time log "C:\tvxvr416\time.log" (off when it cannot be opened).
    CFrameQueue();
    // Sets the request event, stops and joins the request thread (the callback
    // gets reason 0x40 once), closes the log and frees every element.
    ~CFrameQueue();
    CFrameQueue(const CFrameQueue&) = delete;
    CFrameQueue& operator=(const CFrameQueue&) = delete;

    // Upstream streaming thread: bytes pushed by the source.
    void AddFrame(const BYTE* data, LONG length);

    // Delivery thread: pops the oldest element into element and paces it (when
    // a callback is set). False, with element untouched, when the queue is empty.
    bool GetNextFrame(FrameElement& element);

    // A manual-reset event owned by the caller (the filter): while it is
    // signalled, GetNextFrame's sleeps end at once. Set before the first
    // GetNextFrame; null goes back to plain time-outs.
    void SetInterruptEvent(HANDLE event);

    // Frees every queued element (the filter's Stop and BreakConnect).
    void Clear();
    // The input pin's Active (true) and Inactive (false).
    void SetActive(bool active);

    // Clears the list when the direction or the speed class changes (see the
    // rules in the implementation), then stores the rate.
    void SetRate(double rate);
    double GetRate();

    // The current request range.
    void GetVodRange(int* start, int* end);
    // Waits until requests are allowed, tells the callback (reason 0x80, the
    // previous range), then clears the list and stores the new range. S_OK.
    HRESULT SetVodRange(int start, int end);
    // Stores the callback and context and starts the request thread. -1 for a
    // null callback; S_OK otherwise.
    HRESULT SetVodCallback(VodRequestCallback callback, int context);
    // Allows requests again after a callback answered 0.
    void ResumeVodRequests();

    // Elements queued now.
    size_t Count();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};
