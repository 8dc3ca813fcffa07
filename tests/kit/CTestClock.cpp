// CTestClock: a reference clock the test drives.
#include "CTestClock.h"

#include <algorithm>

CTestClock* CTestClock::Create(REFERENCE_TIME start)
{
    CTestClock* clock = new CTestClock(start);
    clock->AddRef();
    return clock;
}

CTestClock::CTestClock(REFERENCE_TIME start) : CUnknown(NAME("Test clock"), nullptr), m_now(start)
{
}

STDMETHODIMP CTestClock::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IReferenceClock)
        return GetInterface(static_cast<IReferenceClock*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CTestClock::GetTime(REFERENCE_TIME* pTime)
{
    CheckPointer(pTime, E_POINTER);
    std::lock_guard<std::mutex> lock(m_lock);
    *pTime = m_now;
    return S_OK;
}

STDMETHODIMP CTestClock::AdviseTime(REFERENCE_TIME baseTime, REFERENCE_TIME streamTime,
                                    HEVENT hEvent, DWORD_PTR* pdwAdviseCookie)
{
    CheckPointer(pdwAdviseCookie, E_POINTER);
    *pdwAdviseCookie = 0;
    if (!hEvent || baseTime + streamTime < 0)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(m_lock);
    const DWORD_PTR cookie = m_nextCookie++;
    m_advises.push_back(Advise{cookie, baseTime + streamTime, 0, reinterpret_cast<HANDLE>(hEvent)});
    *pdwAdviseCookie = cookie;
    FireDueLocked();
    return S_OK;
}

STDMETHODIMP CTestClock::AdvisePeriodic(REFERENCE_TIME startTime, REFERENCE_TIME periodTime,
                                        HSEMAPHORE hSemaphore, DWORD_PTR* pdwAdviseCookie)
{
    CheckPointer(pdwAdviseCookie, E_POINTER);
    *pdwAdviseCookie = 0;
    if (!hSemaphore || startTime < 0 || periodTime <= 0)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(m_lock);
    const DWORD_PTR cookie = m_nextCookie++;
    m_advises.push_back(
        Advise{cookie, startTime, periodTime, reinterpret_cast<HANDLE>(hSemaphore)});
    *pdwAdviseCookie = cookie;
    FireDueLocked();
    return S_OK;
}

STDMETHODIMP CTestClock::Unadvise(DWORD_PTR dwAdviseCookie)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const auto it = std::find_if(m_advises.begin(), m_advises.end(), [&](const Advise& advise) {
        return advise.cookie == dwAdviseCookie;
    });
    if (it == m_advises.end())
        return S_FALSE;
    m_advises.erase(it);
    return S_OK;
}

void CTestClock::SetTime(REFERENCE_TIME now)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_now = now;
    FireDueLocked();
}

REFERENCE_TIME CTestClock::Now()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_now;
}

void CTestClock::Advance(REFERENCE_TIME delta)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_now += delta;
    FireDueLocked();
}

size_t CTestClock::PendingAdvises()
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_advises.size();
}

void CTestClock::FireDueLocked()
{
    for (auto it = m_advises.begin(); it != m_advises.end();) {
        if (it->due > m_now) {
            ++it;
            continue;
        }
        if (it->period == 0) {
            SetEvent(it->handle);
            it = m_advises.erase(it);
            continue;
        }
        while (it->due <= m_now) {
            ReleaseSemaphore(it->handle, 1, nullptr);
            it->due += it->period;
        }
        ++it;
    }
}
