// CProcesserDelivery: the frame processor's delivery queue and the thread
// that empties it. Processed pictures are appended by the input streaming
// thread; the delivery thread takes them one by one, stamps each with a start
// time and a duration chosen by time control (TimeControl.h) from how many
// pictures were queued, and delivers it downstream. A late renderer pulls the
// synthetic clock up to the present (OnQuality).
//
// The send log (when there is one) gets a line per delivered picture and per
// clock reset: "StreamTime:..., tStart:..., tEnd:...; Now:...,Deliver:...,
// Count:...,subTime:..." with "###" for a gap of more than an interval plus
// 10 ms since the previous delivery and "#*#" for one of less than an
// interval minus 10 ms.
//
// Threads and locks:
//   - Append and WaitUntilDelivered on the input streaming thread; DropAll, BeginFlush/EndFlush,
//     WaitWhileDelivering, ResetClock and SetInterval on the application
//     thread (filter lock held); OnQuality on whatever thread the renderer
//     sends quality messages from (often the delivery thread itself, inside
//     Deliver); the loop on the delivery thread.
//   - m_lock guards the queue, the in-flight flag and the next start time.
//     Delivery happens outside it, so a Deliver that blocks downstream never
//     holds up Append, Stop or a flush.
//   - m_logLock guards the send log and the previous delivery's tick.
//   - The delivery thread waits on m_work whenever the queue is empty;
//     Append and Shutdown set it, so it wakes at once for a new picture and
//     for the end.
//   - WaitUntilDelivered runs on the input streaming thread (end of stream)
//     and waits on m_drained, which every delivery, DropAll and Shutdown set.
#pragma once

#include "TimeControl.h"

#include <streams.h>

#include <atomic>
#include <cstdio>
#include <deque>

// What the delivery thread needs from its filter.
class IProcesserDeliveryTarget {
public:
    // Delivers a picture downstream (delivery thread).
    virtual HRESULT DeliverQueued(IMediaSample* sample) = 0;
    // The filter's stream time, 0 without a clock (any thread).
    virtual REFERENCE_TIME QueueStreamTime() = 0;

protected:
    ~IProcesserDeliveryTarget() = default;
};

class CProcesserDelivery {
public:
    // sendLog: owned (closed on destruction), may be null.
    CProcesserDelivery(IProcesserDeliveryTarget* target, const TimeControlSettings& settings,
                       FILE* sendLog);
    ~CProcesserDelivery();
    CProcesserDelivery(const CProcesserDelivery&) = delete;
    CProcesserDelivery& operator=(const CProcesserDelivery&) = delete;

    // Starts the delivery thread (false when it cannot start).
    bool Start();
    // Ends the delivery thread and waits for it (a delivery in progress
    // finishes first); the queue is emptied.
    void Shutdown();

    // Input streaming thread: queues the picture (with a reference of its
    // own); *queued: the queue's length after it. False while flushing (the
    // picture is not queued).
    bool Append(IMediaSample* sample, LONG* queued);

    // Releases every queued picture.
    void DropAll();
    // Flushing: the queue is emptied and nothing is queued until EndFlush.
    void BeginFlush();
    void EndFlush();
    bool Flushing() const { return m_flushing.load(); }
    // Returns once no picture is being delivered (the downstream filter must
    // not block: it is stopped or flushing).
    void WaitWhileDelivering();
    // Input streaming thread, at the end of the stream: returns once every
    // queued picture has been delivered, or at once when the queue is
    // dropped (flush, stop, shutdown).
    void WaitUntilDelivered();

    // The synthetic clock starts again at 0.
    void ResetClock();
    // The nominal frame interval in milliseconds.
    void SetInterval(LONG intervalMs) { m_interval = intervalMs; }
    LONG Interval() const { return m_interval.load(); }
    // A quality message from downstream: when the picture was late, the next
    // picture starts one interval after streamTime.
    void OnQuality(const Quality& q, REFERENCE_TIME streamTime);

    const TimeControlSettings& Settings() const { return m_settings; }
    LONG Queued();
    REFERENCE_TIME NextStart();

private:
    static DWORD ThreadProc(LPVOID parameter);
    void Run();
    void LogDelivery(REFERENCE_TIME streamTime, REFERENCE_TIME start, REFERENCE_TIME stop, DWORD t0,
                     LONG queued);

    IProcesserDeliveryTarget* const m_target;
    const TimeControlSettings m_settings;
    std::atomic<LONG> m_interval{40};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_flushing{false};
    HANDLE m_thread = nullptr;
    CAMEvent m_work; // a picture was queued, or the thread is to end
    CAMEvent m_idle; // a delivery ended
    // A delivery ended or the queue was dropped; its one waiter is the input
    // streaming thread in WaitUntilDelivered.
    CAMEvent m_drained;

    CCritSec m_lock;
    std::deque<IMediaSample*> m_queue; // guarded by m_lock; each add-referenced
    bool m_inFlight = false;           // guarded by m_lock
    REFERENCE_TIME m_nextStart = 0;    // guarded by m_lock

    CCritSec m_logLock;
    FILE* m_sendLog;          // guarded by m_logLock
    DWORD m_lastDelivery = 0; // guarded by m_logLock
};
