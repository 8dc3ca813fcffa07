// Threading helpers of the DirectShow base classes: CCritSec and CAutoLock
// (a recursive lock and its scope guard), CAMEvent (a Win32 event owned by an
// object), CAMThread (a worker thread driven by a request/reply protocol), and
// a few arithmetic and string helpers.
#pragma once

#include <atomic>

#include <objbase.h>

#include "win32/sync.h"
#include "wxdebug.h"

// A recursive lock (a CRITICAL_SECTION). Any thread.
class CCritSec {
public:
    CCritSec() { InitializeCriticalSection(&m_CritSec); }
    ~CCritSec() { DeleteCriticalSection(&m_CritSec); }
    CCritSec(const CCritSec&) = delete;
    CCritSec& operator=(const CCritSec&) = delete;

    void Lock() { EnterCriticalSection(&m_CritSec); }
    void Unlock() { LeaveCriticalSection(&m_CritSec); }
    // TRUE when the calling thread holds the lock (for assertions).
    BOOL IsOwned() { return TvIsCriticalSectionOwned(&m_CritSec); }

private:
    CRITICAL_SECTION m_CritSec;
};

// TRUE when the calling thread holds the lock.
inline BOOL CritCheckIn(CCritSec* pcCrit)
{
    return pcCrit && pcCrit->IsOwned();
}
inline BOOL CritCheckOut(CCritSec* pcCrit)
{
    return pcCrit && !pcCrit->IsOwned();
}

// Holds a CCritSec for the lifetime of the guard.
class CAutoLock {
public:
    explicit CAutoLock(CCritSec* plock) : m_pLock(plock) { m_pLock->Lock(); }
    ~CAutoLock() { m_pLock->Unlock(); }
    CAutoLock(const CAutoLock&) = delete;
    CAutoLock& operator=(const CAutoLock&) = delete;

protected:
    CCritSec* m_pLock;
};

// An event handle owned by the object (auto-reset unless fManualReset). When the
// event cannot be created the handle is null and *phr (if given) E_OUTOFMEMORY.
class CAMEvent {
public:
    explicit CAMEvent(BOOL fManualReset = FALSE, HRESULT* phr = nullptr);
    ~CAMEvent();
    CAMEvent(const CAMEvent&) = delete;
    CAMEvent& operator=(const CAMEvent&) = delete;

    operator HANDLE() const { return m_hEvent; }
    void Set() { SetEvent(m_hEvent); }
    void Reset() { ResetEvent(m_hEvent); }
    // TRUE when the event was (or became) signalled within dwTimeout ms; an
    // auto-reset event is consumed by a successful wait.
    BOOL Wait(DWORD dwTimeout = INFINITE)
    {
        return WaitForSingleObject(m_hEvent, dwTimeout) == WAIT_OBJECT_0;
    }
    // Wait(0).
    BOOL Check() { return Wait(0); }

protected:
    HANDLE m_hEvent;
};

// A manual-reset CAMEvent.
class CAMManualEvent : public CAMEvent {
public:
    explicit CAMManualEvent(HRESULT* phr = nullptr) : CAMEvent(TRUE, phr) {}
};

// A worker thread with a synchronous command protocol.
//
// Client side (any thread but the worker): CallWorker(request) hands one request
// to the worker and blocks until the worker calls Reply(result); calls from
// several client threads are served one at a time (m_AccessLock). Worker side:
// ThreadProc runs on the new thread; it fetches requests with GetRequest
// (blocking) or CheckRequest (polling, while it has work of its own, e.g. a
// streaming loop) and answers each with exactly one Reply.
//
// The worker must end ThreadProc after the request that tells it to; Close()
// waits for that. A derived class must make its thread end and call Close()
// in its own destructor: by the time ~CAMThread runs, ThreadProc's class is
// gone.
class CAMThread {
public:
    explicit CAMThread(HRESULT* phr = nullptr);
    virtual ~CAMThread();
    CAMThread(const CAMThread&) = delete;
    CAMThread& operator=(const CAMThread&) = delete;

    // Starts the thread. FALSE when it is already running or cannot start.
    BOOL Create();
    // Client thread: sends dwParam and waits for the worker's reply. Returns
    // (DWORD)E_FAIL when no thread exists.
    DWORD CallWorker(DWORD dwParam);
    // Waits for the thread to end and releases its handle. Any thread but the
    // worker itself.
    void Close();
    BOOL ThreadExists() const { return m_hThread.load() != nullptr; }
    HANDLE GetRequestHandle() const { return m_EventSend; }
    DWORD GetRequestParam() const { return m_dwParam; }

    // Worker side.
    virtual DWORD ThreadProc() = 0;
    // Waits for the next request and returns it.
    DWORD GetRequest();
    // TRUE and the request in *pParam (if given) when one is waiting; never blocks.
    BOOL CheckRequest(DWORD* pParam);
    // Answers the current request; the client's CallWorker returns dw.
    void Reply(DWORD dw);

    // COM initialisation for the worker (CoInitializeEx multithreaded).
    static HRESULT CoInitializeHelper();

    // Serialises client calls to CallWorker.
    CCritSec m_AccessLock;
    // For the derived class: guards data shared between the worker and clients.
    CCritSec m_WorkerLock;

protected:
    std::atomic<HANDLE> m_hThread{nullptr};

private:
    static DWORD InitialThreadProc(LPVOID pv);

    CAMEvent m_EventSend;     // a request is waiting (auto-reset)
    CAMEvent m_EventComplete; // the worker replied (auto-reset)
    // Written by the client before m_EventSend is set, read by the worker after
    // it sees the event (and the reverse for m_dwReturnVal): the events order
    // the accesses.
    DWORD m_dwParam = 0;
    DWORD m_dwReturnVal = 0;
};

// (a * b + rnd) / c without intermediate overflow, rounded toward zero; the
// result saturates at the LONGLONG range (and a zero c gives the saturated
// value of the numerator's sign).
LONGLONG llMulDiv(LONGLONG a, LONGLONG b, LONGLONG c, LONGLONG rnd);
// a * b / c for a 32-bit multiplier and divisor, same rules.
LONGLONG Int64x32Div32(LONGLONG a, LONG b, LONG c, LONG rnd);

// A CoTaskMemAlloc copy of psz in *ppszReturn (the caller frees it). E_POINTER
// for a null ppszReturn, E_OUTOFMEMORY; a null psz gives an empty string.
HRESULT AMGetWideString(LPCWSTR psz, LPWSTR* ppszReturn);
