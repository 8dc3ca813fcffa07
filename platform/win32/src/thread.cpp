// Threads as waitable kernel objects, thread ids and priorities, Sleep.
#include "kernel_object.h"

#include <cerrno>
#include <ctime>
#include <sched.h>
#include <unistd.h>

namespace tv::win32 {
namespace {

class ThreadObject final : public KernelObject {
public:
    ThreadObject(LPTHREAD_START_ROUTINE start, LPVOID parameter, bool suspended)
        : KernelObject(ObjectKind::Thread), start(start), parameter(parameter),
          suspendCount(suspended ? 1 : 0)
    {
    }
    bool IsSignalledFor(const ThreadState&) const override { return ended; }
    bool Acquire(ThreadState&) override { return false; }

    const LPTHREAD_START_ROUTINE start;
    const LPVOID parameter;
    // guarded by the dispatcher lock
    DWORD tid = 0; // set by the thread when it starts
    DWORD suspendCount;
    bool ended = false;
    DWORD exitCode = STILL_ACTIVE;
    int priority = THREAD_PRIORITY_NORMAL;
    std::condition_variable stateChanged; // tid set, or suspend count dropped to 0
};

// The object of the calling thread when CreateThread made it.
thread_local ThreadObject* t_self = nullptr;
// Where ExitThread leaves the exit code for the thread's end.
thread_local DWORD* t_exitCode = nullptr;

// Marks the thread ended when its routine returns or ExitThread unwinds it: its
// mutexes are abandoned first, then its waiters released, then its own reference
// dropped.
struct ThreadEnd {
    ThreadObject* self;
    DWORD exitCode = 0;

    ~ThreadEnd()
    {
        std::lock_guard<std::mutex> lock(DispatcherLock());
        CurrentThreadState().AbandonMutexes();
        self->exitCode = exitCode;
        self->ended = true;
        self->WakeWaiters();
        self->Release();
        t_self = nullptr;
        t_exitCode = nullptr;
    }
};

void* ThreadMain(void* arg)
{
    auto* self = static_cast<ThreadObject*>(arg);
    t_self = self;
    ThreadState& state = CurrentThreadState();
    {
        std::unique_lock<std::mutex> lock(DispatcherLock());
        self->tid = state.tid;
        self->stateChanged.notify_all();
        while (self->suspendCount > 0)
            self->stateChanged.wait(lock);
    }
    ThreadEnd end{self};
    t_exitCode = &end.exitCode;
    end.exitCode = self->start(self->parameter);
    return nullptr;
}

ThreadObject* LookupThread(HANDLE handle)
{
    return LookupAs<ThreadObject>(handle, ObjectKind::Thread);
}

bool IsPriorityLevel(int priority)
{
    switch (priority) {
    case THREAD_PRIORITY_IDLE:
    case THREAD_PRIORITY_LOWEST:
    case THREAD_PRIORITY_BELOW_NORMAL:
    case THREAD_PRIORITY_NORMAL:
    case THREAD_PRIORITY_ABOVE_NORMAL:
    case THREAD_PRIORITY_HIGHEST:
    case THREAD_PRIORITY_TIME_CRITICAL:
        return true;
    default:
        return false;
    }
}

constexpr SIZE_T kMinimumStack = 1024 * 1024;

} // namespace
} // namespace tv::win32

using namespace tv::win32;

extern "C" HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T stackSize,
                               LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                               LPDWORD threadId)
{
    if (start == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    auto* thread = new ThreadObject(start, parameter, (flags & CREATE_SUSPENDED) != 0);
    thread->AddRef(); // the running thread's reference
    HANDLE handle = InsertObject(thread);

    pthread_attr_t attr;
    pthread_attr_init(&attr);
    pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED);
    if (stackSize != 0) {
        const long page = sysconf(_SC_PAGESIZE);
        SIZE_T size = stackSize < kMinimumStack ? kMinimumStack : stackSize;
        size = (size + page - 1) / page * page;
        pthread_attr_setstacksize(&attr, size);
    }
    pthread_t id;
    const int err = pthread_create(&id, &attr, ThreadMain, thread);
    pthread_attr_destroy(&attr);
    if (err != 0) {
        {
            std::lock_guard<std::mutex> lock(DispatcherLock());
            thread->Release(); // the thread's reference, never taken up
        }
        CloseHandle(handle);
        SetLastError(err == EAGAIN ? ERROR_NOT_ENOUGH_MEMORY : TvWin32ErrorFromErrno(err));
        return nullptr;
    }

    std::unique_lock<std::mutex> lock(DispatcherLock());
    while (thread->tid == 0)
        thread->stateChanged.wait(lock);
    if (threadId != nullptr)
        *threadId = thread->tid;
    return handle;
}

extern "C" DWORD ResumeThread(HANDLE handle)
{
    std::lock_guard<std::mutex> lock(DispatcherLock());
    ThreadObject* thread = LookupThread(handle);
    if (thread == nullptr)
        return static_cast<DWORD>(-1);
    const DWORD previous = thread->suspendCount;
    if (previous > 0 && --thread->suspendCount == 0)
        thread->stateChanged.notify_all();
    return previous;
}

extern "C" void ExitThread(DWORD exitCode)
{
    if (t_exitCode != nullptr)
        *t_exitCode = exitCode;
    pthread_exit(nullptr);
}

extern "C" BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode)
{
    std::lock_guard<std::mutex> lock(DispatcherLock());
    ThreadObject* thread = LookupThread(handle);
    if (thread == nullptr)
        return FALSE;
    if (exitCode == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *exitCode = thread->exitCode;
    return TRUE;
}

extern "C" DWORD GetCurrentThreadId(void)
{
    thread_local DWORD tid = static_cast<DWORD>(gettid());
    return tid;
}

extern "C" DWORD GetThreadId(HANDLE handle)
{
    std::lock_guard<std::mutex> lock(DispatcherLock());
    ThreadObject* thread = LookupThread(handle);
    return thread == nullptr ? 0 : thread->tid;
}

extern "C" HANDLE GetCurrentThread(void)
{
    return reinterpret_cast<HANDLE>(static_cast<LONG_PTR>(-2));
}

extern "C" BOOL SetThreadPriority(HANDLE handle, int priority)
{
    if (!IsPriorityLevel(priority)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::lock_guard<std::mutex> lock(DispatcherLock());
    if (handle == GetCurrentThread()) {
        if (t_self != nullptr)
            t_self->priority = priority;
        else
            CurrentThreadState().priority = priority;
        return TRUE;
    }
    ThreadObject* thread = LookupThread(handle);
    if (thread == nullptr)
        return FALSE;
    thread->priority = priority;
    return TRUE;
}

extern "C" int GetThreadPriority(HANDLE handle)
{
    std::lock_guard<std::mutex> lock(DispatcherLock());
    if (handle == GetCurrentThread())
        return t_self != nullptr ? t_self->priority : CurrentThreadState().priority;
    ThreadObject* thread = LookupThread(handle);
    return thread == nullptr ? THREAD_PRIORITY_ERROR_RETURN : thread->priority;
}

extern "C" void Sleep(DWORD ms)
{
    if (ms == 0) {
        sched_yield();
        return;
    }
    if (ms == INFINITE) {
        for (;;)
            pause();
    }
    timespec until;
    clock_gettime(CLOCK_MONOTONIC, &until);
    until.tv_sec += ms / 1000;
    until.tv_nsec += long(ms % 1000) * 1000000L;
    if (until.tv_nsec >= 1000000000L) {
        until.tv_sec += 1;
        until.tv_nsec -= 1000000000L;
    }
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) == EINTR) {
    }
}
