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
//   - GetNextFrame: the splitter's delivery thread (one consumer).
//   - Clear, SetActive, SetRate/GetRate, SetVodRange/GetVodRange,
//     SetVodCallback, ResumeVodRequests, Count, Shutdown: the application
//     thread (through ITarvoSplt, IMediaPosition and the filter's state
//     changes); any thread is safe.
//   - The request thread (started by SetVodCallback) calls the callback with
//     the queue lock held, so the callback may call back into the queue;
//     SetVodRange calls it on the caller's thread before taking that lock.
//
// Locks, in the order they may be taken (never the other way round):
//   m_queueLock (recursive)  the callback and its context, the request
//                            thread's turns, range and rate changes; held
//                            while the request thread's callback runs
//   m_assemblyLock           the assembler and AddFrame's log bookkeeping
//   m_pacingLock             pacing anchors and GetNextFrame's bookkeeping
//   m_listLock               the frame list and the clear generation
//   m_signalLock             the request event and the stop flag
//   m_rangeLock, m_logLock   leaves
// Only the request thread's callback runs with a lock held (m_queueLock).
// GetNextFrame, Clear, Count and the getters never take m_queueLock, so
// neither delivery nor the filter's Stop waits for the application's callback.
//
// Pacing sleeps of GetNextFrame end at once when Clear or Shutdown runs (the
// element is then dropped: it belonged to the playback just stopped) and when
// the interrupt event given to SetInterruptEvent is signalled (the element is
// still handed out).
//
// Ownership: the filter owns the queue (created by SetStreamType(512), deleted
// with the filter). Elements own their bytes.
#pragma once

#include "DeviceFrameAssembler.h"
#include "ITarvoSplt.h"

#include "win32/types.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

// One assembled frame.
struct FrameElement {
    int32_t audio = 0;     // 1 when header byte 4 bit 0 is set
    int32_t frameType = 0; // (header byte 13 >> 4) & 7, video elements only
    int32_t length = 0;    // total length from the header (offset 20)
    int64_t timestamp = 0; // microseconds: header seconds x 1000000 + microseconds
    // The frame's bytes from its DeviceFrameHeader on; `length` of them are valid.
    std::vector<uint8_t> buffer;
};

// The time the queue paces by. Tests give the queue a clock of their own.
class IFrameQueueClock {
public:
    virtual ~IFrameQueueClock() = default;
    // The current UTC time in microseconds.
    virtual int64_t UtcMicros() = 0;
    // Milliseconds for the time log (GetTickCount).
    virtual DWORD TickCount() = 0;
    // Sleeps ms milliseconds of this clock, or less when one of the count
    // events (manual reset, left as they are) is signalled.
    virtual void PacingWait(DWORD ms, const HANDLE* wake, DWORD count) = 0;
};

// Pacing state of GetNextFrame: stream and wall anchors (-1 = unset) and the
// stream time of the previous element, all in microseconds.
struct VodPacing {
    int64_t streamAnchor = -1;
    int64_t wallAnchor = -1;
    int64_t lastStreamTime = 0;
};

struct VodPaceStep {
    DWORD sleepMs = 0;
    bool jump = false; // taken by the first rule ("Sleep1" in the time log)
};

// How long to sleep before handing out an element of stream time t at wall time
// now and the given rate. A jump (anchors unset, or t ahead of the previous
// element by more than 500000 / rate) re-anchors at t and now + 500 ms and
// sleeps 500 ms, or 40 ms when t is behind the previous element; otherwise the
// sleep keeps t on the anchored timeline, limited to 0..1000 ms (re-anchoring at
// t and now when late). Updates the state, including the last stream time.
VodPaceStep VodPace(VodPacing& pacing, int64_t t, int64_t now, double rate);

// The callback reason for requests at the given rate: 0x20 for 0 < rate <= 2,
// 0x02 for -2 <= rate <= 0, 0x04 above 2, 0x08 below -2.
int VodReasonForRate(double rate);

// True when changing the rate from oldRate to newRate empties the list: the
// signs differ, or the rate crosses 2 upwards from (0, 2] or downwards into it.
bool VodRateChangeClears(double oldRate, double newRate);

class CFrameQueue {
public:
    static constexpr int32_t kElementCapacity = DeviceFrameAssembler::kCapacity;
    // An add is refused when more than this many elements are queued.
    static constexpr size_t kMaxQueued = 100;
    // The request thread asks while fewer elements than this are queued.
    static constexpr size_t kRequestBelow = 3;
    // The fourth callback argument.
    static constexpr int kRequestHundred = 100;

    // Opens the time log "C:\tvxvr416\time.log" (off when it cannot be opened).
    // clock: null for the system clock; otherwise not owned, and it must
    // outlive the queue.
    explicit CFrameQueue(IFrameQueueClock* clock = nullptr);
    // Shutdown, then closes the log and frees every element.
    ~CFrameQueue();
    CFrameQueue(const CFrameQueue&) = delete;
    CFrameQueue& operator=(const CFrameQueue&) = delete;

    // Upstream streaming thread: bytes pushed by the source, cut anywhere. A
    // frame that finds more than kMaxQueued elements queued is dropped.
    void AddFrame(const BYTE* data, LONG length);

    // Delivery thread: pops the oldest element into element and paces it (when
    // a callback is set). False, with element untouched, when the queue is
    // empty or Clear or Shutdown dropped the element during its pacing sleep.
    bool GetNextFrame(FrameElement& element);

    // A manual-reset event owned by the caller (the filter): while it is
    // signalled, GetNextFrame's sleeps end at once. Set before the first
    // GetNextFrame; null goes back to plain time-outs.
    void SetInterruptEvent(HANDLE event);

    // Frees every queued element and the partly assembled frame (the filter's
    // Stop and BreakConnect) and ends a pacing sleep. Never waits for the
    // callback.
    void Clear();
    // The input pin's Active (true) and Inactive (false): the request thread
    // asks only while active.
    void SetActive(bool active);

    // Clears the list when the direction or the speed class changes
    // (VodRateChangeClears), then stores the rate.
    void SetRate(double rate);
    double GetRate();

    // The current request range (null pointers are skipped).
    void GetVodRange(int* start, int* end);
    // Waits until requests are allowed (or Shutdown), tells the callback
    // (reason 0x80, the previous range; a result of 0 pauses requests), then
    // clears the list and stores the new range. S_OK; E_FAIL after Shutdown.
    HRESULT SetVodRange(int start, int end);
    // Stores the callback and context and starts the request thread (once).
    // -1 for a null callback (nothing changes); E_FAIL after Shutdown; S_OK
    // otherwise.
    HRESULT SetVodCallback(VodRequestCallback callback, int context);
    // Allows requests again after a callback answered 0.
    void ResumeVodRequests();
    // True while requests are allowed (the request event is signalled).
    bool RequestsAllowed();

    // Elements queued now.
    size_t Count();

    // Ends the queue's activity: allows requests (releasing a waiting
    // SetVodRange), ends a pacing sleep, stops the request thread and waits for
    // it (the callback gets reason 0x40 once, after a callback in progress
    // returns), and clears the list. Idempotent; the destructor calls it. Call
    // it before destroying the queue while other threads may still call in;
    // never from the callback.
    void Shutdown();

private:
    void QueueFrame(std::span<const uint8_t> frame, const DeviceFrameHeader& header);
    void ClearList();
    void RequestThread();
    void CallbackLocked(int reason); // m_queueLock held
    bool Stopping();

    IFrameQueueClock* m_clock;

    std::recursive_mutex m_queueLock;
    // guarded by m_queueLock
    VodRequestCallback m_callback = nullptr;
    int m_context = 0;
    DWORD m_lastRequestTick = 0;
    std::atomic<bool> m_hasCallback{false}; // written under m_queueLock
    std::atomic<double> m_rate{1.0};        // written under m_queueLock
    std::atomic<bool> m_active{false};

    std::mutex m_assemblyLock;
    // guarded by m_assemblyLock
    DeviceFrameAssembler m_assembler;
    DWORD m_lastAddTick = 0;
    int64_t m_lastAddTime = 0;

    std::mutex m_pacingLock;
    // guarded by m_pacingLock
    VodPacing m_pacing;
    DWORD m_lastGetTick = 0;
    int64_t m_lastGetTime = 0;
    std::atomic<HANDLE> m_interrupt{nullptr};

    std::mutex m_listLock;
    // guarded by m_listLock
    std::deque<FrameElement> m_list;
    uint64_t m_generation = 0; // counts clears; a pacing sleep ends on a change
    HANDLE m_wake;             // manual reset: set by a clear, reset by GetNextFrame's pop

    std::mutex m_signalLock;
    std::condition_variable m_signal; // notified on every change below
    // guarded by m_signalLock
    bool m_requestsAllowed = true; // the request event
    bool m_stopping = false;       // the stop flag

    std::mutex m_rangeLock;
    // guarded by m_rangeLock (and written under m_queueLock too)
    int m_rangeStart = 0;
    int m_rangeEnd = 0;

    std::mutex m_logLock;
    FILE* m_log = nullptr; // guarded by m_logLock; null when the log is off

    std::mutex m_threadLock; // starting the thread and taking it for the join
    std::thread m_requestThread;
};
