// Kernel objects behind event, semaphore, mutex and thread handles, and the wait
// machinery they share.
//
// One process-wide dispatcher lock guards the state of every kernel object, the
// handle table and every waiter. That makes a wait-all (which must look at and take
// several objects at once) atomic without any lock ordering. Each waiting thread
// sleeps on its own condition variable; a signalled object is handed directly to its
// waiters in arrival order, so an auto-reset event or a semaphore count is consumed
// only by the wait that returns it and no thread wakes up just to go back to sleep.
#pragma once

#include "win32/sync.h"

#include <condition_variable>
#include <mutex>
#include <vector>

namespace tv::win32 {

class KernelObject;
class MutexObject;

// The lock that guards everything in this file. Never destroyed (waits may still run
// while static destructors do).
std::mutex& DispatcherLock();

// What the dispatcher knows of a thread: its id and the mutexes it owns. One per
// thread, created on first use; a thread that ends abandons the mutexes it owns.
struct ThreadState {
    DWORD tid;
    std::vector<MutexObject*> owned;       // guarded by the dispatcher lock
    int priority = THREAD_PRIORITY_NORMAL; // for threads not made by CreateThread

    ThreadState();
    ~ThreadState();
    // Abandons every mutex still owned (dispatcher lock held).
    void AbandonMutexes();
};

// The calling thread's state.
ThreadState& CurrentThreadState();

// One call of WaitForSingleObject or WaitForMultipleObjects.
struct Waiter {
    static constexpr DWORD kPending = 0xFFFFFFFEu;

    std::condition_variable wake;
    KernelObject* const* objects = nullptr;
    DWORD count = 0;
    bool waitAll = false;
    ThreadState* thread = nullptr;
    DWORD result = kPending; // set by whoever satisfies the wait
};

enum class ObjectKind { Event, Semaphore, Mutex, Thread };

// Everything below is called with the dispatcher lock held.
class KernelObject {
public:
    explicit KernelObject(ObjectKind kind) : m_kind(kind) {}
    virtual ~KernelObject() = default;
    KernelObject(const KernelObject&) = delete;
    KernelObject& operator=(const KernelObject&) = delete;

    ObjectKind Kind() const { return m_kind; }

    // Whether a wait by `thread` would be satisfied now.
    virtual bool IsSignalledFor(const ThreadState& thread) const = 0;
    // Takes the object for `thread`: consumes an auto-reset event or one semaphore
    // count, takes (or re-enters) a mutex. Returns true when it was an abandoned mutex.
    virtual bool Acquire(ThreadState& thread) = 0;

    void AddRef() { ++m_refs; }
    // Drops a reference; deletes the object at zero.
    void Release();

    // Hands the object to the waiters it can now satisfy, oldest first. Call after
    // the object's state changed towards signalled.
    void WakeWaiters();

    std::vector<Waiter*> waiters; // in arrival order

private:
    ObjectKind m_kind;
    int m_refs = 1;
};

class EventObject final : public KernelObject {
public:
    EventObject(bool manualReset, bool signalled)
        : KernelObject(ObjectKind::Event), manualReset(manualReset), signalled(signalled)
    {
    }
    bool IsSignalledFor(const ThreadState&) const override { return signalled; }
    bool Acquire(ThreadState&) override;

    const bool manualReset;
    bool signalled;
};

class SemaphoreObject final : public KernelObject {
public:
    SemaphoreObject(LONG initial, LONG maximum)
        : KernelObject(ObjectKind::Semaphore), count(initial), maximum(maximum)
    {
    }
    bool IsSignalledFor(const ThreadState&) const override { return count > 0; }
    bool Acquire(ThreadState&) override;

    LONG count;
    const LONG maximum;
};

class MutexObject final : public KernelObject {
public:
    MutexObject() : KernelObject(ObjectKind::Mutex) {}
    bool IsSignalledFor(const ThreadState& thread) const override;
    bool Acquire(ThreadState& thread) override;
    // The owner thread ended while owning it.
    void Abandon();

    ThreadState* owner = nullptr; // holds a reference on this object while set
    DWORD recursion = 0;
    bool abandoned = false;
};

// Registers a new object (which carries one reference, now the handle's) and returns
// its handle. Takes the dispatcher lock itself.
HANDLE InsertObject(KernelObject* object);

// The live object behind `handle`, or null (dispatcher lock held; no reference taken).
KernelObject* LookupObject(HANDLE handle);

// The live object of the given kind behind `handle`, or null with
// ERROR_INVALID_HANDLE set (dispatcher lock held).
template <class T> T* LookupAs(HANDLE handle, ObjectKind kind)
{
    KernelObject* object = LookupObject(handle);
    if (object == nullptr || object->Kind() != kind) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return static_cast<T*>(object);
}

} // namespace tv::win32
