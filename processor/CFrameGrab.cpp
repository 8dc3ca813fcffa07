#include "CFrameGrab.h"

#include "win32/sync.h"

#include <cstring>
#include <limits>
#include <new>

CFrameGrab::CFrameGrab()
    : m_request(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_ready(CreateEventA(nullptr, FALSE, FALSE, nullptr)),
      m_held(CreateEventA(nullptr, FALSE, FALSE, nullptr))
{
}

CFrameGrab::~CFrameGrab()
{
    for (HANDLE h : {m_request, m_ready, m_held})
        if (h)
            CloseHandle(h);
}

void CFrameGrab::Offer(const BYTE* picture, size_t bytes)
{
    if (!m_request || WaitForSingleObject(m_request, 0) != WAIT_OBJECT_0)
        return;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        try {
            // Grows the buffer when the picture is larger; never shrinks it.
            m_picture.assign(picture, picture + bytes);
        } catch (const std::bad_alloc&) {
            m_picture.clear();
        }
    }
    SetEvent(m_ready);
}

HRESULT CFrameGrab::GetCurrentBuffer(LONG* size, BYTE* buffer, DWORD timeoutMs)
{
    if (!size)
        return E_POINTER;
    if (!Ok())
        return E_FAIL;
    std::lock_guard<std::mutex> call(m_callLock);
    const bool held = WaitForSingleObject(m_held, 0) == WAIT_OBJECT_0;
    if (!held || !buffer) {
        // A ready signal left by an earlier call that gave up must not pass
        // for this call's picture.
        ResetEvent(m_ready);
        SetEvent(m_request);
        if (WaitForSingleObject(m_ready, timeoutMs) != WAIT_OBJECT_0)
            return E_FAIL;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_picture.empty() || m_picture.size() > size_t(std::numeric_limits<LONG>::max()))
        return E_FAIL;
    const LONG bytes = LONG(m_picture.size());
    if (!buffer) {
        *size = bytes;
        SetEvent(m_held);
        return S_OK;
    }
    if (*size < bytes)
        return E_FAIL;
    std::memcpy(buffer, m_picture.data(), m_picture.size());
    *size = bytes;
    return S_OK;
}
