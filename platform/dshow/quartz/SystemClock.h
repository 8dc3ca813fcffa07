// The system reference clock (CLSID_SystemClock): the monotonic clock of the
// machine in 100-nanosecond units, with one-shot and periodic advises.
//
// Every clock of the process (one per graph) hands its advises to one shared
// advise thread, started by the first advise that is not yet due and joined
// when the last clock that advised is destroyed: a wall of
// players costs one clock thread, and advises of several graphs that fall due
// together are served by one wake-up. A one-shot advise whose time has passed
// is signalled at once by the caller's thread; the advise thread is woken only
// by an advise earlier than the time it sleeps until. The advise thread only
// signals the caller's event or semaphore; it never calls into a filter. All
// methods may be called from any thread.
#pragma once

#include <dshow.h>

#include <memory>
#include <mutex>

class CAdviseScheduler;

class CSystemClock : public CUnknown, public IReferenceClock {
public:
    // The machine's monotonic time in 100-ns units (what GetTime reads).
    static REFERENCE_TIME Now();

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv) override;

    // S_FALSE when the time has not moved since the previous call (the clock
    // never runs backwards).
    STDMETHODIMP GetTime(REFERENCE_TIME* pTime) override;
    // Sets the event once the clock reaches baseTime + streamTime (at once when
    // that has passed). E_INVALIDARG for a null event or a sum that is not
    // positive or overflows.
    STDMETHODIMP AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime, HEVENT hEvent,
                            DWORD_PTR* pdwAdviseCookie) override;
    // Releases the semaphore once at startTime and once every periodTime after
    // it. A thread that falls behind skips the periods it missed rather than
    // releasing a burst. E_INVALIDARG for a null semaphore or a start or period
    // that is not positive.
    STDMETHODIMP AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie) override;
    // S_OK, or S_FALSE for a cookie of this clock that is not (or no longer)
    // pending.
    STDMETHODIMP Unadvise(DWORD_PTR dwAdviseCookie) override;

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    CSystemClock(LPUNKNOWN outer, HRESULT* phr);
    // Withdraws this clock's pending advises; the last clock lets the advise
    // thread go.
    ~CSystemClock() override;

    HRESULT AddAdvise(REFERENCE_TIME due, REFERENCE_TIME period, HANDLE handle, DWORD_PTR* cookie);

    std::mutex m_lock;
    // guarded by m_lock
    REFERENCE_TIME m_lastTime = 0;
    // The process's advise scheduler, taken at the first advise.
    std::shared_ptr<CAdviseScheduler> m_scheduler;
};
