// A scoped hold on a CRITICAL_SECTION for the network source's own locks (the
// receiver and ring buffer do not depend on the DirectShow base classes).
#pragma once

#include "win32/sync.h"

class CNWLock {
public:
    explicit CNWLock(CRITICAL_SECTION* cs) : m_cs(cs) { EnterCriticalSection(m_cs); }
    ~CNWLock() { LeaveCriticalSection(m_cs); }
    CNWLock(const CNWLock&) = delete;
    CNWLock& operator=(const CNWLock&) = delete;

private:
    CRITICAL_SECTION* m_cs;
};
