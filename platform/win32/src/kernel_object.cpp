#include "kernel_object.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <pthread.h>
#include <unistd.h>
#include <unordered_map>

namespace tv::win32 {

namespace {

// Kernel object handles count up from here in steps of 4 and are never reused, so
// they can be told apart from file descriptors (0..INT_MAX), from the pseudo-handles
// (small negative values) and from each other after a close.
constexpr uintptr_t kHandleBase = uintptr_t(1) << 40;

struct HandleTable {
    std::unordered_map<uintptr_t, KernelObject*> objects; // guarded by the dispatcher lock
    uintptr_t next = kHandleBase;                         // guarded by the dispatcher lock
};

HandleTable& Handles()
{
    static HandleTable* table = new HandleTable;
    return *table;
}

// Satisfies the wait now if it can, taking what it waits for and setting its result
// (dispatcher lock held).
bool TrySatisfy(Waiter& waiter)
{
    ThreadState& thread = *waiter.thread;
    if (waiter.waitAll) {
        for (DWORD i = 0; i < waiter.count; ++i) {
            if (!waiter.objects[i]->IsSignalledFor(thread))
                return false;
        }
        DWORD abandonedIndex = MAXIMUM_WAIT_OBJECTS;
        for (DWORD i = 0; i < waiter.count; ++i) {
            if (waiter.objects[i]->Acquire(thread) && abandonedIndex == MAXIMUM_WAIT_OBJECTS)
                abandonedIndex = i;
        }
        waiter.result = abandonedIndex == MAXIMUM_WAIT_OBJECTS ? WAIT_OBJECT_0
                                                               : WAIT_ABANDONED_0 + abandonedIndex;
        return true;
    }
    for (DWORD i = 0; i < waiter.count; ++i) {
        if (waiter.objects[i]->IsSignalledFor(thread)) {
            const bool abandoned = waiter.objects[i]->Acquire(thread);
            waiter.result = (abandoned ? WAIT_ABANDONED_0 : WAIT_OBJECT_0) + i;
            return true;
        }
    }
    return false;
}

} // namespace

std::mutex& DispatcherLock()
{
    static std::mutex* lock = new std::mutex;
    return *lock;
}

void KernelObject::Release()
{
    if (--m_refs == 0)
        delete this;
}

void KernelObject::WakeWaiters()
{
    for (Waiter* waiter : waiters) {
        if (waiter->result == Waiter::kPending && TrySatisfy(*waiter))
            waiter->wake.notify_one();
    }
}

HANDLE InsertObject(KernelObject* object)
{
    std::lock_guard<std::mutex> lock(DispatcherLock());
    HandleTable& table = Handles();
    const uintptr_t value = table.next;
    table.next += 4;
    table.objects.emplace(value, object);
    return reinterpret_cast<HANDLE>(value);
}

KernelObject* LookupObject(HANDLE handle)
{
    HandleTable& table = Handles();
    auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    return it == table.objects.end() ? nullptr : it->second;
}

ThreadState::ThreadState() : tid(GetCurrentThreadId()) {}

ThreadState::~ThreadState()
{
    std::lock_guard<std::mutex> lock(DispatcherLock());
    AbandonMutexes();
}

void ThreadState::AbandonMutexes()
{
    // Abandon() removes the mutex from `owned`, so take them from the back.
    while (!owned.empty())
        owned.back()->Abandon();
}

namespace {

void DeleteThreadState(void* state)
{
    delete static_cast<ThreadState*>(state);
}

pthread_key_t ThreadStateKey()
{
    static const pthread_key_t key = [] {
        pthread_key_t k;
        pthread_key_create(&k, DeleteThreadState);
        return k;
    }();
    return key;
}

} // namespace

// Kept in a pthread key rather than a C++ thread_local: key destructors run after
// every thread_local destructor, so a thread_local object of any module may still
// wait or take a mutex while its thread ends (a state asked for that late is made
// anew and freed by the next round of key destructors).
ThreadState& CurrentThreadState()
{
    const pthread_key_t key = ThreadStateKey();
    auto* state = static_cast<ThreadState*>(pthread_getspecific(key));
    if (state == nullptr) {
        state = new ThreadState;
        pthread_setspecific(key, state);
    }
    return *state;
}

} // namespace tv::win32

using namespace tv::win32;

extern "C" DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms)
{
    if (count == 0 || count > MAXIMUM_WAIT_OBJECTS || handles == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return WAIT_FAILED;
    }
    // The deadline counts from the call, before any time spent on the lock.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    ThreadState& self = CurrentThreadState();
    KernelObject* objects[MAXIMUM_WAIT_OBJECTS];

    std::unique_lock<std::mutex> lock(DispatcherLock());
    for (DWORD i = 0; i < count; ++i) {
        objects[i] = LookupObject(handles[i]);
        if (objects[i] == nullptr) {
            SetLastError(ERROR_INVALID_HANDLE);
            return WAIT_FAILED;
        }
    }
    if (waitAll) {
        // Waiting for all of a list that names one object twice cannot be granted
        // atomically (two counts of one semaphore?); Windows refuses it too.
        for (DWORD i = 1; i < count; ++i) {
            if (std::find(objects, objects + i, objects[i]) != objects + i) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return WAIT_FAILED;
            }
        }
    }

    Waiter waiter;
    waiter.objects = objects;
    waiter.count = count;
    waiter.waitAll = waitAll != FALSE;
    waiter.thread = &self;
    if (TrySatisfy(waiter))
        return waiter.result;
    if (ms == 0)
        return WAIT_TIMEOUT;

    // Registered waiters keep their objects alive even if every handle is closed.
    for (DWORD i = 0; i < count; ++i) {
        objects[i]->AddRef();
        objects[i]->waiters.push_back(&waiter);
    }
    while (waiter.result == Waiter::kPending) {
        if (ms == INFINITE) {
            waiter.wake.wait(lock);
        } else if (waiter.wake.wait_until(lock, deadline) == std::cv_status::timeout &&
                   waiter.result == Waiter::kPending) {
            waiter.result = WAIT_TIMEOUT;
        }
    }
    for (DWORD i = 0; i < count; ++i) {
        std::erase(objects[i]->waiters, &waiter);
        objects[i]->Release();
    }
    return waiter.result;
}

extern "C" DWORD WaitForSingleObject(HANDLE handle, DWORD ms)
{
    return WaitForMultipleObjects(1, &handle, FALSE, ms);
}

extern "C" BOOL CloseHandle(HANDLE handle)
{
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (handle == GetCurrentThread())
        return TRUE; // closing a pseudo-handle does nothing, as on Windows
    {
        std::lock_guard<std::mutex> lock(DispatcherLock());
        HandleTable& table = Handles();
        auto it = table.objects.find(reinterpret_cast<uintptr_t>(handle));
        if (it != table.objects.end()) {
            KernelObject* object = it->second;
            table.objects.erase(it);
            object->Release();
            return TRUE;
        }
    }
    const uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value <= uintptr_t(INT_MAX)) {
        // A file handle: its value is the descriptor.
        if (close(static_cast<int>(value)) == 0 ||
            errno == EINTR) // Linux frees the fd even on EINTR
            return TRUE;
        SetLastError(TvWin32ErrorFromErrno(errno));
        return FALSE;
    }
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
}
