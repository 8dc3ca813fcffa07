// The splitter's frame queue for CodecKind 512 (video on demand): the
// application pushes device frames (36-byte headers) through the input pin in
// pieces of any size, the queue assembles and keeps up to 101 of them, the
// delivery thread takes them one by one paced against the wall clock, and a
// request thread asks the application for more through its callback.
//
// Threads and who calls what:
//   AddFrame                  the input pin's streaming thread (Receive)
//   GetNextFrame              the splitter's delivery thread (one consumer)
//   SetVodRange, GetVodRange, SetVodCallback, ResumeVodRequests, SetRate,
//   GetRate                   the application (ITarvoSplt, IMediaPosition)
//   Clear, SetActive          the filter's Stop / BreakConnect, the input pin's
//                             Active / Inactive
//   Count                     any thread
//   the request callback      the request thread, with the queue lock held;
//                             SetVodRange's caller, without it
//
// Locks, in the order they may be taken (never the other way):
//   m_queueLock (recursive)   callback and context, the request thread's turn,
//                             the range and rate changes; held while the
//                             callback runs, so the callback may call back in
//   m_assemblyLock            the assembler
//   m_pacingLock              pacing anchors and GetNextFrame's log bookkeeping
//   m_listLock                the frame list
//   m_signalLock              request event, stop flag, clear generation
//   m_rangeLock, m_logLock    leaves
// Nothing sleeps or waits while holding a lock except the callback itself
// (under m_queueLock). GetNextFrame, Clear, Count and the getters never take
// m_queueLock, so neither delivery nor the filter's Stop waits for a callback.
//
// Pacing sleeps of GetNextFrame wake at once on Clear and Shutdown; the element
// they were pacing is then dropped (it belonged to the playback just stopped).
#pragma once

#include "DeviceFrameAssembler.h"
#include "ITarvoSplt.h"

#include "win32/types.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// One queued frame, moved into and out of the list. The buffer starts with the
// frame's DeviceFrameHeader and is owned by the element.
struct FrameElement {
    int32_t audio = 0;     // header byte 4 bit 0
    int32_t frameType = 0; // (header byte 13 >> 4) & 7, video elements only
    int32_t length = 0;    // total length from the header (offset 20)
    int32_t reserved0[2] = {};
    int64_t timestamp = 0; // seconds x 1000000 + microseconds, upper word 20 bits
    int32_t reserved1[2] = {};
    std::unique_ptr<BYTE[]> buffer;
    int32_t capacity = 0; // bytes in buffer (307200)
};

// The clock the queue paces by. Tests give the queue a clock of their own.
class IFrameQueueClock {
public:
    virtual ~IFrameQueueClock() = default;
    // The current UTC time in microseconds.
    virtual int64_t UtcMicros() = 0;
    // Milliseconds for the time log (GetTickCount).
    virtual DWORD TickCount() = 0;
    // Blocks for ms milliseconds of this clock, returning early once woken()
    // is true; lock is held on entry and on return, and cv is notified
    // whenever woken() may have turned true.
    virtual void PacingWait(std::unique_lock<std::mutex>& lock, std::condition_variable& cv,
                            DWORD ms, const std::function<bool()>& woken) = 0;
};

// Pacing state of GetNextFrame: stream and wall anchors (-1 = unset) and the
// stream time of the previous element, all in microseconds.
struct VodPacing {
    int64_t streamAnchor = -1;
    int64_t wallAnchor = -1;
    int64_t lastStreamTime = 0;
};

// How long to sleep before handing out an element of stream time t at wall time
// now and the given rate. A jump (anchors unset, or t ahead of the previous
// element by more than 500000 / rate) re-anchors at t and now + 500 ms and
// sleeps 500 ms, or 40 ms when t went backwards; otherwise the sleep keeps t on
// the anchored timeline, limited to 0..1000 ms (re-anchoring at t and now when
// late). Updates the state, including the last stream time.
struct VodPaceStep {
    DWORD sleepMs = 0;
    bool jump = false; // the first rule ("Sleep1" in the time log)
};
VodPaceStep VodPace(VodPacing& pacing, int64_t t, int64_t now, double rate);

// The callback reason for requests at the given rate: 0x20 for 0 < rate <= 2,
// 0x02 for -2 <= rate <= 0, 0x04 above 2, 0x08 below -2.
int VodReasonForRate(double rate);

// True when changing the rate from oldRate to newRate empties the list: the
// signs differ, or the rate crosses 2 upwards from (0, 2] or downwards into it.
bool VodRateChangeClears(double oldRate, double newRate);

class CFrameQueue {
public:
    static constexpr int kMaxElements = 101;
    static constexpr int kRequestBelow = 3; // the request thread asks while fewer are queued
    static constexpr int kRequestCount = 100;
    static constexpr DWORD kRequestPollMs = 10;

    // clock: null for the system clock; otherwise not owned and must outlive
    // the queue. Opens "C:\\tvxvr416\\time.log" when that folder exists.
    explicit CFrameQueue(IFrameQueueClock* clock = nullptr);
    // Shutdown, then frees everything.
    ~CFrameQueue();
    CFrameQueue(const CFrameQueue&) = delete;
    CFrameQueue& operator=(const CFrameQueue&) = delete;

    // Pushed bytes (any cut). Returns the number of frames they completed that
    // were queued (a frame that finds the list full is dropped and freed).
    int AddFrame(const BYTE* bytes, LONG length);

    // Takes the oldest element into out, paced when a callback is set. 0 with an
    // element; -1 when the list is empty or the element was dropped by Clear or
    // Shutdown during its pacing sleep (out is then left empty).
    int GetNextFrame(FrameElement& out);

    // Frees every queued element and the partly assembled frame, and wakes a
    // pacing sleep. Does not wait for the callback.
    void Clear();
    // The input pin's Active (true) and Inactive (false): requests are made
    // only while active.
    void SetActive(bool active);
    int Count();

    // Stores the rate, emptying the list when VodRateChangeClears says so.
    void SetRate(double rate);
    double GetRate() const { return m_rate.load(); }

    // range[0] = start, range[1] = end. E_POINTER for null.
    HRESULT GetVodRange(int* range);
    // Waits until requests are allowed (or Shutdown), tells the callback with
    // the previous range and reason 0x80 (a result of 0 pauses requests), then
    // empties the list and stores the new range. E_FAIL after Shutdown.
    HRESULT SetVodRange(int start, int end);
    // Stores the callback and its context and starts the request thread if it
    // is not running. -1 for a null callback (nothing changes); E_FAIL after
    // Shutdown.
    HRESULT SetVodCallback(VodRequestCallback callback, int context);
    // Allows requests again after a callback result of 0.
    HRESULT ResumeVodRequests();

    // Ends the queue's activity: allows requests (releasing a waiting
    // SetVodRange), wakes a pacing sleep, stops the request thread and waits
    // for it (its callback gets reason 0x40 once, after any callback in
    // progress returns), and clears the list. Idempotent. Call it before
    // destroying the queue while other threads may still call in; never from
    // the callback.
    void Shutdown();

    // True while requests are allowed (the request event is signalled).
    bool RequestsAllowed();

private:
    void RequestThread();
    void CallbackLocked(int reason); // m_queueLock held
    void QueueFrame(AssembledFrame&& frame);
    void ClearList();
    bool Stopping();

    IFrameQueueClock* m_clock;

    std::recursive_mutex m_queueLock;
    // guarded by m_queueLock
    VodRequestCallback m_callback = nullptr;
    int m_context = 0;
    DWORD m_lastRequestTick = 0;
    std::atomic<bool> m_hasCallback{false}; // written under m_queueLock

    std::mutex m_assemblyLock;
    DeviceFrameAssembler m_assembler; // guarded by m_assemblyLock
    // AddFrame's log bookkeeping, guarded by m_assemblyLock
    DWORD m_lastAddTick = 0;
    int64_t m_lastAddTime = 0;

    std::mutex m_pacingLock;
    // guarded by m_pacingLock
    VodPacing m_pacing;
    DWORD m_lastGetTick = 0;
    int64_t m_lastGetTime = 0;

    std::mutex m_listLock;
    std::deque<FrameElement> m_list; // guarded by m_listLock

    std::mutex m_signalLock;
    std::condition_variable m_signal; // notified on every change below
    // guarded by m_signalLock
    bool m_requestsAllowed = true; // the request event
    bool m_stopping = false;       // the stop flag
    uint64_t m_generation = 0;     // counts Clear calls; a pacing sleep ends on a change

    std::mutex m_rangeLock;
    // guarded by m_rangeLock (written also under m_queueLock)
    int m_rangeStart = 0;
    int m_rangeEnd = 0;

    std::atomic<double> m_rate{1.0}; // written under m_queueLock
    std::atomic<bool> m_active{false};

    std::mutex m_logLock;
    FILE* m_log = nullptr; // guarded by m_logLock; null when the log is off

    std::mutex m_threadLock; // guards starting and joining the thread
    std::thread m_requestThread;
};
