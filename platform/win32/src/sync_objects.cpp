// Events, semaphores and mutexes.
#include "kernel_object.h"

#include <algorithm>

namespace tv::win32 {

bool EventObject::Acquire(ThreadState&)
{
    if (!manualReset)
        signalled = false;
    return false;
}

bool SemaphoreObject::Acquire(ThreadState&)
{
    --count;
    return false;
}

bool MutexObject::IsSignalledFor(const ThreadState& thread) const
{
    return owner == nullptr || owner == &thread;
}

bool MutexObject::Acquire(ThreadState& thread)
{
    if (owner == nullptr) {
        owner = &thread;
        thread.owned.push_back(this);
        AddRef();
    }
    ++recursion;
    const bool wasAbandoned = abandoned;
    abandoned = false;
    return wasAbandoned;
}

void MutexObject::Abandon()
{
    std::erase(owner->owned, this);
    owner = nullptr;
    recursion = 0;
    abandoned = true;
    WakeWaiters();
    Release(); // the owner's reference
}

} // namespace tv::win32

using namespace tv::win32;

// ---- Events ----

extern "C" HANDLE CreateEventA(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCSTR)
{
    return InsertObject(new EventObject(manualReset != FALSE, initialState != FALSE));
}

extern "C" BOOL SetEvent(HANDLE handle)
{
    std::lock_guard<std::mutex> lock(DispatcherLock());
    auto* event = LookupAs<EventObject>(handle, ObjectKind::Event);
    if (event == nullptr)
        return FALSE;
    event->signalled = true;
    event->WakeWaiters();
    return TRUE;
}

extern "C" BOOL ResetEvent(HANDLE handle)
{
    std::lock_guard<std::mutex> lock(DispatcherLock());
    auto* event = LookupAs<EventObject>(handle, ObjectKind::Event);
    if (event == nullptr)
        return FALSE;
    event->signalled = false;
    return TRUE;
}

extern "C" BOOL PulseEvent(HANDLE handle)
{
    std::lock_guard<std::mutex> lock(DispatcherLock());
    auto* event = LookupAs<EventObject>(handle, ObjectKind::Event);
    if (event == nullptr)
        return FALSE;
    event->signalled = true;
    event->WakeWaiters();
    event->signalled = false;
    return TRUE;
}

// ---- Semaphores ----

extern "C" HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES, LONG initialCount, LONG maximumCount,
                                   LPCSTR)
{
    if (maximumCount <= 0 || initialCount < 0 || initialCount > maximumCount) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return InsertObject(new SemaphoreObject(initialCount, maximumCount));
}

extern "C" BOOL ReleaseSemaphore(HANDLE handle, LONG count, LPLONG previous)
{
    std::lock_guard<std::mutex> lock(DispatcherLock());
    auto* semaphore = LookupAs<SemaphoreObject>(handle, ObjectKind::Semaphore);
    if (semaphore == nullptr)
        return FALSE;
    if (count <= 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (count > semaphore->maximum - semaphore->count) {
        SetLastError(ERROR_TOO_MANY_POSTS);
        return FALSE;
    }
    if (previous != nullptr)
        *previous = semaphore->count;
    semaphore->count += count;
    semaphore->WakeWaiters();
    return TRUE;
}

// ---- Mutexes ----

extern "C" HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES, BOOL initialOwner, LPCSTR)
{
    auto* mutex = new MutexObject;
    if (initialOwner) {
        ThreadState& self = CurrentThreadState();
        std::lock_guard<std::mutex> lock(DispatcherLock());
        mutex->Acquire(self);
    }
    return InsertObject(mutex);
}

extern "C" BOOL ReleaseMutex(HANDLE handle)
{
    ThreadState& self = CurrentThreadState();
    std::lock_guard<std::mutex> lock(DispatcherLock());
    auto* mutex = LookupAs<MutexObject>(handle, ObjectKind::Mutex);
    if (mutex == nullptr)
        return FALSE;
    if (mutex->owner != &self) {
        SetLastError(ERROR_NOT_OWNER);
        return FALSE;
    }
    if (--mutex->recursion == 0) {
        std::erase(self.owned, mutex);
        mutex->owner = nullptr;
        mutex->WakeWaiters();
        mutex->Release(); // the owner's reference
    }
    return TRUE;
}
