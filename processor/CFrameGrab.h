// CFrameGrab: hands one processed picture from the streaming thread to an
// application thread that asks for it (ISampleGrabber::GetCurrentBuffer).
//
// The application asks with the request event and waits up to 2000 ms for the
// ready event; the streaming thread, seeing the request, copies the next
// picture and signals ready. A first call without a buffer grabs a picture and
// reports its size (and marks it held); the next call with a buffer copies that
// same picture. All three events are auto-reset.
//
// Threads: Offer on the streaming thread; GetCurrentBuffer on any application
// thread (calls are served one at a time). m_lock guards the grabbed picture.
#pragma once

#include "win32/types.h"

#include <cstddef>
#include <mutex>
#include <vector>

class CFrameGrab {
public:
    CFrameGrab();
    ~CFrameGrab();
    CFrameGrab(const CFrameGrab&) = delete;
    CFrameGrab& operator=(const CFrameGrab&) = delete;

    // False when the events could not be made.
    bool Ok() const { return m_request && m_ready && m_held; }

    // Streaming thread, once per processed picture: when a grab is asked for,
    // keeps a copy of the picture's bytes and signals ready.
    void Offer(const BYTE* picture, size_t bytes);

    // ISampleGrabber::GetCurrentBuffer. *size: the buffer's size in bytes on
    // entry (ignored without a buffer), the picture's size on return.
    // E_POINTER for a null size; E_FAIL when no picture came within timeoutMs
    // or the buffer is too small.
    HRESULT GetCurrentBuffer(LONG* size, BYTE* buffer, DWORD timeoutMs = kWaitMs);

    static constexpr DWORD kWaitMs = 2000;

private:
    HANDLE m_request;      // set by the application, taken by the streaming thread
    HANDLE m_ready;        // set by the streaming thread once the copy is made
    HANDLE m_held;         // a grabbed picture waits for the call that copies it
    std::mutex m_callLock; // one GetCurrentBuffer at a time
    std::mutex m_lock;
    std::vector<BYTE> m_picture; // guarded by m_lock
};
