// CTestClock: an IReferenceClock whose time only the test moves; advise
// requests fire when the time passes them.
//
// Threads: any thread (filters call GetTime and the Advise* calls from their
// streaming threads while the test thread moves the time).
// Ownership: Create returns a reference the caller releases; the event and
// semaphore handles given to Advise* stay the caller's.
#pragma once

#include <mutex>
#include <vector>

#include <streams.h>

class CTestClock : public CUnknown, public IReferenceClock {
public:
    // Reference count 1; the time starts at start.
    static CTestClock* Create(REFERENCE_TIME start = 0);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    STDMETHODIMP GetTime(REFERENCE_TIME* pTime) override;
    // Signals hEvent (an event handle) once baseTime + streamTime is reached.
    // E_INVALIDARG for a null event or a time below 0.
    STDMETHODIMP AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent,
                            DWORD_PTR* pdwAdviseCookie) override;
    // Releases hSemaphore once at startTime and every periodTime after it.
    STDMETHODIMP AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie) override;
    // S_FALSE for an unknown cookie.
    STDMETHODIMP Unadvise(DWORD_PTR dwAdviseCookie) override;

    // The time now (GetTime without the pointer).
    REFERENCE_TIME Now();
    // Moves the time (forward or back) and fires what has become due.
    void SetTime(REFERENCE_TIME now);
    void Advance(REFERENCE_TIME delta);
    size_t PendingAdvises();

private:
    explicit CTestClock(REFERENCE_TIME start);

    struct Advise {
        DWORD_PTR cookie;
        REFERENCE_TIME due;
        REFERENCE_TIME period; // 0: one-shot event
        HANDLE handle;
    };
    void FireDueLocked();

    std::mutex m_lock;
    REFERENCE_TIME m_now;          // guarded by m_lock
    DWORD_PTR m_nextCookie = 1;    // guarded by m_lock
    std::vector<Advise> m_advises; // guarded by m_lock
};
