// COutputQueue: how an output pin hands samples and stream events to the input
// pin it is connected to, either on the caller's thread (direct) or through a
// queue served by a thread of its own.
//
// The queue keeps the order of everything it is given: samples, end of stream
// and new segments reach the downstream pin exactly in the order the owner
// passed them in. Flushing overtakes the queue: BeginFlush goes downstream at
// once (so a downstream pin blocked in Receive wakes up) and drops whatever is
// still waiting; EndFlush returns only when the queue thread has let go of
// every dropped sample, and then passes the end of the flush on.
//
// Threads. The owning pin's streaming thread calls Receive, ReceiveMultiple,
// EOS, NewSegment and SendAnyway; BeginFlush, EndFlush and Reset come from the
// application thread (a flush from upstream); construction and destruction
// happen on the application thread while the owner goes active or inactive.
// The queue thread is the only thread that calls the downstream pin's
// Receive/ReceiveMultiple, EndOfStream and NewSegment in threaded mode.
//
// The queue's own lock guards its state; it is never held while the
// downstream pin is called.
#pragma once

#include <condition_variable>
#include <mutex>
#include <vector>

#include "strmif.h"
#include "win32/sync.h"

// Default storage reserved for queued items. The queue does not refuse or block
// beyond it: the upstream allocator's buffer count is what bounds the queue.
#define DEFAULTCACHE 10

class COutputQueue {
public:
    // pInputPin: the connected downstream pin; it must offer IMemInputPin
    //   (else *phr = E_NOINTERFACE). A reference is held for the queue's life.
    // bAuto: TRUE lets the queue decide: it runs a thread exactly when the
    //   downstream pin says Receive can block (IMemInputPin::ReceiveCanBlock
    //   returns S_OK). FALSE uses bQueue as given.
    // bQueue: with bAuto FALSE, TRUE runs a queue thread, FALSE delivers on the
    //   caller's thread.
    // lBatchSize: samples handed downstream together in one ReceiveMultiple.
    // bBatchExact: TRUE sends only full batches (EOS, NewSegment and SendAnyway
    //   still push a partial one out); FALSE sends a partial batch as soon as
    //   nothing more is waiting (threaded) or at the end of each Receive call
    //   (direct).
    // lListSize: storage reserved for queued items (see DEFAULTCACHE).
    // dwPriority: the queue thread's priority (THREAD_PRIORITY_*).
    // bFlushingOpt: TRUE releases samples given between BeginFlush and EndFlush
    //   at once (Receive returns S_FALSE) instead of queueing them; either way
    //   they never reach the downstream pin.
    // *phr is set only on failure (as the base classes do): E_NOINTERFACE,
    // E_OUTOFMEMORY, or E_FAIL when the thread cannot be started.
    COutputQueue(IPin* pInputPin, HRESULT* phr, BOOL bAuto = TRUE, BOOL bQueue = TRUE,
                 LONG lBatchSize = 1, BOOL bBatchExact = FALSE, LONG lListSize = DEFAULTCACHE,
                 DWORD dwPriority = THREAD_PRIORITY_NORMAL, bool bFlushingOpt = false);
    // Ends the queue thread (after it has finished what it is delivering) and
    // releases every sample still queued or batched, undelivered.
    ~COutputQueue();

    COutputQueue(const COutputQueue&) = delete;
    COutputQueue& operator=(const COutputQueue&) = delete;

    // Passes BeginFlush downstream now and drops queued samples.
    void BeginFlush();
    // Waits until the queue thread has dropped everything from before the flush,
    // clears a remembered delivery failure and passes EndFlush downstream.
    void EndFlush();
    // Sends the pending batch, then EndOfStream downstream (in queue order).
    void EOS();
    // Sends a partial batch without waiting for it to fill (in queue order).
    void SendAnyway();
    // Sends the pending batch, then NewSegment downstream (in queue order).
    void NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate);

    // Takes over the caller's reference to each sample (it is released after
    // delivery, or dropped). Returns the result of the last delivery made: S_OK,
    // S_FALSE when the downstream pin refused a sample (flushing or stopping),
    // or its failure code. Once a delivery has not returned S_OK, later samples
    // are released undelivered and that result is returned until Reset or
    // EndFlush. Receive during a flush with bFlushingOpt gives S_FALSE.
    HRESULT Receive(IMediaSample* pSample);
    // As Receive for nSamples samples; *nSamplesProcessed (may be null) gets the
    // number taken (always all of them: the rest are released, not returned).
    HRESULT ReceiveMultiple(IMediaSample** ppSamples, LONG nSamples, LONG* nSamplesProcessed);

    // Forgets a delivery failure (after the queue thread has worked off what was
    // queued before the call) so that delivery starts again.
    void Reset();
    // TRUE when nothing is queued, batched or being delivered.
    BOOL IsIdle();
    // hEvent (an event handle, or null) is set each time a sample leaves the
    // queue towards the downstream pin; the handle stays the caller's.
    void SetPopEvent(HANDLE hEvent);

    // Whether this queue runs its own thread.
    BOOL IsQueued() const { return m_hThread != nullptr; }

protected:
    enum class ItemKind { Sample, EndOfStream, NewSegment, SendAnyway, Reset };
    struct Item {
        ItemKind kind;
        IMediaSample* sample;  // Sample only: the queue's reference
        REFERENCE_TIME tStart; // NewSegment only
        REFERENCE_TIME tStop;
        double dRate;
    };

    static DWORD InitialThreadProc(LPVOID pv);
    DWORD ThreadProc();

    // Lock held: appends an item to the ring and wakes the queue thread.
    void PushItem(const Item& item);
    Item PopItem();
    // Lock held: moves every queued sample (and end of stream, which a flush
    // cancels) into drop; new segments and reset markers stay.
    void TakeFlushedItems(std::vector<IMediaSample*>& drop);
    // Queues a reset marker and waits, with the lock held through lk, until
    // the queue thread has reached it.
    void WaitForQueuedReset(std::unique_lock<std::mutex>& lk);
    // No lock held: hands samples downstream (Receive for one,
    // ReceiveMultiple for more), releases them and returns the pin's result.
    HRESULT DeliverSamples(std::vector<IMediaSample*>& samples);
    static void ReleaseSamples(std::vector<IMediaSample*>& samples);
    // Direct mode: the Receive path on the caller's thread.
    HRESULT ReceiveDirect(IMediaSample** ppSamples, LONG nSamples);
    // Direct mode, no lock held: sends (or, while flushing, drops) the
    // pending batch.
    void FlushBatchDirect();

    IPin* const m_pPin;
    IMemInputPin* m_pInputPin;
    const BOOL m_bBatchExact;
    const LONG m_lBatchSize;
    const bool m_bFlushingOpt;

    std::mutex m_lock;
    std::condition_variable m_workReady; // items, a batch to push out, or the end
    std::condition_variable m_resetReached;

    // guarded by m_lock
    std::vector<Item> m_ring; // queued items (ring storage, grows when full)
    size_t m_head = 0;
    size_t m_count = 0;
    std::vector<IMediaSample*> m_batch; // samples waiting to fill a batch
    BOOL m_bFlushing = FALSE;
    BOOL m_bTerminate = FALSE;
    BOOL m_bDelivering = FALSE; // a thread is calling downstream for the queue
    ULONGLONG m_resetsQueued = 0;
    ULONGLONG m_resetsReached = 0;
    HANDLE m_hEventPop = nullptr;
    HRESULT m_hr = S_OK; // result of the last delivery

    // The delivering thread's own (the queue thread, or in direct mode the
    // owner's streaming thread): the batch on its way downstream.
    std::vector<IMediaSample*> m_sending;

    HANDLE m_hThread = nullptr;
};
