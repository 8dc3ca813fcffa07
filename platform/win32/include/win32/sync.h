// Threads, locks, events, semaphores, mutexes and waits with the Win32 names,
// values and semantics.
//
// Kernel objects (events, semaphores, mutexes, threads) are reference-counted
// platform objects. Their handles are opaque values that are never reused and never
// lie in the range of a file descriptor, so a stale or foreign handle is detected:
// every call on one fails with ERROR_INVALID_HANDLE instead of touching freed memory.
// A handle holds one reference; a wait in progress and a running thread hold their
// own, so closing a handle while another thread waits on it (or while the thread
// runs) is safe, as on Windows.
//
// Object names are not supported: a non-null name creates an ordinary unnamed
// object (no sharing, GetLastError never reports ERROR_ALREADY_EXISTS).
// Security attributes are ignored.
//
// All calls may be made from any thread.
#pragma once

#include "win32/types.h"

#include <pthread.h>

#ifndef ERROR_NOT_OWNER
#define ERROR_NOT_OWNER 288L
#endif
#ifndef ERROR_TOO_MANY_POSTS
#define ERROR_TOO_MANY_POSTS 298L
#endif

// ---- Critical sections ----

// A recursive mutex. A plain struct so that it can be a member of any class; it must
// be set up with InitializeCriticalSection before use and is not copyable once set up.
// The tv* fields belong to the platform.
typedef struct _CRITICAL_SECTION {
    pthread_mutex_t tvMutex;
    DWORD tvOwner;    // thread id of the owner, 0 when free (read atomically)
    LONG tvRecursion; // guarded by tvMutex
} CRITICAL_SECTION, *PCRITICAL_SECTION, *LPCRITICAL_SECTION;

extern "C" void InitializeCriticalSection(LPCRITICAL_SECTION cs);
extern "C" BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD spinCount);
extern "C" void DeleteCriticalSection(LPCRITICAL_SECTION cs);
extern "C" void EnterCriticalSection(LPCRITICAL_SECTION cs);
// Leaving a section the calling thread does not own is ignored (Windows would corrupt
// the section).
extern "C" void LeaveCriticalSection(LPCRITICAL_SECTION cs);
extern "C" BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs);
// TRUE when the calling thread owns the section (for lock assertions).
extern "C" BOOL TvIsCriticalSectionOwned(LPCRITICAL_SECTION cs);

// ---- Waits ----

#define MAXIMUM_WAIT_OBJECTS 64
#define WAIT_OBJECT_0 0x00000000u
#define WAIT_ABANDONED 0x00000080u
#define WAIT_ABANDONED_0 0x00000080u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu

// Waits until the object is signalled or `ms` milliseconds (measured on the monotonic
// clock) have passed. Returns WAIT_OBJECT_0, WAIT_ABANDONED (a mutex whose owner
// thread ended while owning it; the caller now owns it), WAIT_TIMEOUT, or WAIT_FAILED
// with ERROR_INVALID_HANDLE.
extern "C" DWORD WaitForSingleObject(HANDLE handle, DWORD ms);
// waitAll FALSE: returns WAIT_OBJECT_0 + i for the lowest signalled index i and
// consumes only that object. waitAll TRUE: returns when all are signalled at once and
// acquires them together; nothing is consumed on a time-out. WAIT_ABANDONED_0 + i as
// for WaitForSingleObject. WAIT_FAILED with ERROR_INVALID_PARAMETER for a count of 0
// or above MAXIMUM_WAIT_OBJECTS, or the same object twice in a wait-all; with
// ERROR_INVALID_HANDLE for a handle that is not a live kernel object.
extern "C" DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD ms);

// Closes a kernel object handle. A handle that is not a live kernel object but whose
// value lies in 1..INT_MAX is a file handle (a POSIX descriptor, see win32/file.h)
// and its descriptor is closed. FALSE with ERROR_INVALID_HANDLE for NULL,
// INVALID_HANDLE_VALUE, a closed kernel object handle or a descriptor that is not open.
extern "C" BOOL CloseHandle(HANDLE handle);

// ---- Events ----

extern "C" HANDLE CreateEventA(LPSECURITY_ATTRIBUTES sa, BOOL manualReset, BOOL initialState,
                               LPCSTR name);
#define CreateEvent CreateEventA
// An auto-reset event releases one waiter and resets; a manual-reset event releases
// every waiter and stays set.
extern "C" BOOL SetEvent(HANDLE event);
extern "C" BOOL ResetEvent(HANDLE event);
// Releases the threads waiting at this moment (one for an auto-reset event, all that
// can be satisfied for a manual-reset one) and leaves the event reset.
extern "C" BOOL PulseEvent(HANDLE event);

// ---- Semaphores ----

// NULL with ERROR_INVALID_PARAMETER unless 0 <= initial <= maximum and maximum > 0.
extern "C" HANDLE CreateSemaphoreA(LPSECURITY_ATTRIBUTES sa, LONG initialCount, LONG maximumCount,
                                   LPCSTR name);
#define CreateSemaphore CreateSemaphoreA
// Adds `count` (> 0) to the semaphore; FALSE with ERROR_TOO_MANY_POSTS (count left
// unchanged) when that would pass the maximum. `previous` (optional) receives the
// count before the call.
extern "C" BOOL ReleaseSemaphore(HANDLE semaphore, LONG count, LPLONG previous);

// ---- Mutexes ----

// Ownership is recursive: the owner may wait on it again and must release it as
// many times. A mutex whose owner thread ends is abandoned: the next waiter gets it
// with WAIT_ABANDONED.
extern "C" HANDLE CreateMutexA(LPSECURITY_ATTRIBUTES sa, BOOL initialOwner, LPCSTR name);
#define CreateMutex CreateMutexA
// FALSE with ERROR_NOT_OWNER when the calling thread does not own the mutex.
extern "C" BOOL ReleaseMutex(HANDLE mutex);

// ---- Threads ----

typedef DWORD (*LPTHREAD_START_ROUTINE)(LPVOID parameter);
typedef LPTHREAD_START_ROUTINE PTHREAD_START_ROUTINE;

#define CREATE_SUSPENDED 0x00000004u
#define STACK_SIZE_PARAM_IS_A_RESERVATION 0x00010000u
#define STILL_ACTIVE 259u

#define THREAD_PRIORITY_IDLE (-15)
#define THREAD_PRIORITY_LOWEST (-2)
#define THREAD_PRIORITY_BELOW_NORMAL (-1)
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_ABOVE_NORMAL 1
#define THREAD_PRIORITY_HIGHEST 2
#define THREAD_PRIORITY_TIME_CRITICAL 15
#define THREAD_PRIORITY_ERROR_RETURN 0x7FFFFFFF

// Starts `start(parameter)` on a new thread. The handle is signalled when the thread
// ends and stays valid (with the exit code) until closed; closing it while the thread
// runs detaches the thread. A non-zero stack size below 1 MiB is raised to 1 MiB
// (the Windows default reservation). `threadId` (optional) receives the thread's id,
// the same value GetCurrentThreadId returns on it. CREATE_SUSPENDED: the routine
// starts only after ResumeThread.
extern "C" HANDLE CreateThread(LPSECURITY_ATTRIBUTES sa, SIZE_T stackSize,
                               LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                               LPDWORD threadId);
// Decrements the suspend count of a thread created suspended and returns the previous
// count (0 for a running thread); (DWORD)-1 with ERROR_INVALID_HANDLE for a non-thread.
extern "C" DWORD ResumeThread(HANDLE thread);
// Ends the calling thread with `exitCode`, unwinding its stack (destructors run).
extern "C" [[noreturn]] void ExitThread(DWORD exitCode);
// STILL_ACTIVE while the thread runs, then its exit code.
extern "C" BOOL GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
// The kernel thread id of the calling thread (never 0).
extern "C" DWORD GetCurrentThreadId(void);
// The id of the thread behind a thread handle, 0 with ERROR_INVALID_HANDLE otherwise.
extern "C" DWORD GetThreadId(HANDLE thread);
// The pseudo-handle for "the calling thread", accepted by the priority functions.
extern "C" HANDLE GetCurrentThread(void);
// Priorities are recorded and reported back but not applied to the scheduler (raising
// a thread's priority needs privileges on Linux). FALSE with ERROR_INVALID_PARAMETER
// for a value that is not one of the THREAD_PRIORITY_* levels.
extern "C" BOOL SetThreadPriority(HANDLE thread, int priority);
extern "C" int GetThreadPriority(HANDLE thread);

// Suspends the calling thread for `ms` milliseconds; 0 yields the processor.
extern "C" void Sleep(DWORD ms);

// ---- Interlocked operations (sequentially consistent) ----

// Each returns the value after the operation.
inline LONG InterlockedIncrement(LONG volatile* target)
{
    return __atomic_add_fetch(target, 1, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedDecrement(LONG volatile* target)
{
    return __atomic_sub_fetch(target, 1, __ATOMIC_SEQ_CST);
}
// Each returns the value before the operation.
inline LONG InterlockedExchange(LONG volatile* target, LONG value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedExchangeAdd(LONG volatile* target, LONG value)
{
    return __atomic_fetch_add(target, value, __ATOMIC_SEQ_CST);
}
inline LONG InterlockedCompareExchange(LONG volatile* target, LONG exchange, LONG comparand)
{
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return comparand;
}
inline PVOID InterlockedExchangePointer(PVOID volatile* target, PVOID value)
{
    return __atomic_exchange_n(target, value, __ATOMIC_SEQ_CST);
}
inline PVOID InterlockedCompareExchangePointer(PVOID volatile* target, PVOID exchange,
                                               PVOID comparand)
{
    __atomic_compare_exchange_n(target, &comparand, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return comparand;
}
