// Critical sections: recursive pthread mutexes that also record their owner, so that
// a stray LeaveCriticalSection cannot unlock a section another thread holds.
#include "win32/sync.h"

namespace {

DWORD OwnerOf(LPCRITICAL_SECTION cs)
{
    return __atomic_load_n(&cs->tvOwner, __ATOMIC_RELAXED);
}

// Called with the mutex held.
void NoteEntered(LPCRITICAL_SECTION cs)
{
    if (cs->tvRecursion++ == 0)
        __atomic_store_n(&cs->tvOwner, GetCurrentThreadId(), __ATOMIC_RELAXED);
}

} // namespace

extern "C" void InitializeCriticalSection(LPCRITICAL_SECTION cs)
{
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&cs->tvMutex, &attr);
    pthread_mutexattr_destroy(&attr);
    cs->tvOwner = 0;
    cs->tvRecursion = 0;
}

extern "C" BOOL InitializeCriticalSectionAndSpinCount(LPCRITICAL_SECTION cs, DWORD)
{
    InitializeCriticalSection(cs);
    return TRUE;
}

extern "C" void DeleteCriticalSection(LPCRITICAL_SECTION cs)
{
    pthread_mutex_destroy(&cs->tvMutex);
}

extern "C" void EnterCriticalSection(LPCRITICAL_SECTION cs)
{
    pthread_mutex_lock(&cs->tvMutex);
    NoteEntered(cs);
}

extern "C" BOOL TryEnterCriticalSection(LPCRITICAL_SECTION cs)
{
    if (pthread_mutex_trylock(&cs->tvMutex) != 0)
        return FALSE;
    NoteEntered(cs);
    return TRUE;
}

extern "C" void LeaveCriticalSection(LPCRITICAL_SECTION cs)
{
    // Only the owner may read tvRecursion; anyone else is leaving a section it never
    // entered, which must not disturb the real owner.
    if (OwnerOf(cs) != GetCurrentThreadId())
        return;
    if (--cs->tvRecursion == 0)
        __atomic_store_n(&cs->tvOwner, 0, __ATOMIC_RELAXED);
    pthread_mutex_unlock(&cs->tvMutex);
}

extern "C" BOOL TvIsCriticalSectionOwned(LPCRITICAL_SECTION cs)
{
    return OwnerOf(cs) == GetCurrentThreadId() ? TRUE : FALSE;
}
