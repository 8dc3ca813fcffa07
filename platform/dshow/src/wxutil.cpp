// CAMEvent, CAMThread and the arithmetic and string helpers.
#include "wxutil.h"

#include <cwchar>
#include <limits>

CAMEvent::CAMEvent(BOOL fManualReset, HRESULT* phr)
    : m_hEvent(CreateEventA(nullptr, fManualReset, FALSE, nullptr))
{
    if (!m_hEvent && phr)
        *phr = E_OUTOFMEMORY;
}

CAMEvent::~CAMEvent()
{
    if (m_hEvent)
        CloseHandle(m_hEvent);
}

// ---- CAMThread ----

// The request event is manual-reset: GetRequest and CheckRequest only look at
// the pending request, and Reply clears it. Workers written in the usual form
// (CheckRequest in a streaming loop, then GetRequest in the outer loop for the
// same request) depend on that.
CAMThread::CAMThread(HRESULT* phr) : m_EventSend(TRUE, phr), m_EventComplete(FALSE, phr) {}

CAMThread::~CAMThread()
{
    Close();
}

DWORD CAMThread::InitialThreadProc(LPVOID pv)
{
    CAMThread* self = static_cast<CAMThread*>(pv);
    const HRESULT hrCoInit = CoInitializeHelper();
    const DWORD result = self->ThreadProc();
    if (SUCCEEDED(hrCoInit))
        CoUninitialize();
    return result;
}

BOOL CAMThread::Create()
{
    CAutoLock lock(&m_AccessLock);
    if (ThreadExists())
        return FALSE;
    HANDLE thread = CreateThread(nullptr, 0, &CAMThread::InitialThreadProc, this, 0, nullptr);
    if (!thread)
        return FALSE;
    m_hThread = thread;
    return TRUE;
}

DWORD CAMThread::CallWorker(DWORD dwParam)
{
    CAutoLock lock(&m_AccessLock);
    const HANDLE thread = m_hThread.load();
    if (!thread)
        return (DWORD)E_FAIL;
    m_dwParam = dwParam;
    m_EventSend.Set();
    // A worker that ends without answering must not leave the caller waiting
    // for ever: the thread handle is signalled when it ends.
    const HANDLE waits[2] = {m_EventComplete, thread};
    const DWORD which = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
    if (which == WAIT_OBJECT_0)
        return m_dwReturnVal;
    // The worker may have replied just before it ended.
    if (m_EventComplete.Check())
        return m_dwReturnVal;
    m_EventSend.Reset();
    return (DWORD)E_FAIL;
}

void CAMThread::Close()
{
    const HANDLE thread = m_hThread.exchange(nullptr);
    if (!thread)
        return;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

DWORD CAMThread::GetRequest()
{
    m_EventSend.Wait();
    return m_dwParam;
}

BOOL CAMThread::CheckRequest(DWORD* pParam)
{
    if (!m_EventSend.Check())
        return FALSE;
    if (pParam)
        *pParam = m_dwParam;
    return TRUE;
}

void CAMThread::Reply(DWORD dw)
{
    m_dwReturnVal = dw;
    m_EventSend.Reset();
    m_EventComplete.Set();
}

HRESULT CAMThread::CoInitializeHelper()
{
    return CoInitializeEx(nullptr, COINIT_MULTITHREADED);
}

// ---- Arithmetic ----

namespace {

LONGLONG Saturate(__int128 value)
{
    if (value > std::numeric_limits<LONGLONG>::max())
        return std::numeric_limits<LONGLONG>::max();
    if (value < std::numeric_limits<LONGLONG>::min())
        return std::numeric_limits<LONGLONG>::min();
    return (LONGLONG)value;
}

} // namespace

LONGLONG llMulDiv(LONGLONG a, LONGLONG b, LONGLONG c, LONGLONG rnd)
{
    const __int128 numerator = (__int128)a * b + rnd;
    if (c == 0)
        return numerator < 0 ? std::numeric_limits<LONGLONG>::min()
                             : std::numeric_limits<LONGLONG>::max();
    return Saturate(numerator / c);
}

LONGLONG Int64x32Div32(LONGLONG a, LONG b, LONG c, LONG rnd)
{
    return llMulDiv(a, b, c, rnd);
}

HRESULT AMGetWideString(LPCWSTR psz, LPWSTR* ppszReturn)
{
    CheckPointer(ppszReturn, E_POINTER);
    *ppszReturn = nullptr;
    const size_t length = psz ? wcslen(psz) : 0;
    WCHAR* copy = static_cast<WCHAR*>(CoTaskMemAlloc((length + 1) * sizeof(WCHAR)));
    if (!copy)
        return E_OUTOFMEMORY;
    if (length)
        wmemcpy(copy, psz, length);
    copy[length] = L'\0';
    *ppszReturn = copy;
    return S_OK;
}
