// Small helpers every DirectShow class uses: object names, pointer checks and
// assertions. Assertions are checks in debug builds only (they never change
// what a call returns).
#pragma once

#include <cassert>

// Narrow text literal (TCHAR is char on this platform).
#ifndef TEXT
#define TEXT(x) x
#endif

// An object's diagnostic name (a static narrow text).
#ifndef NAME
#define NAME(x) (x)
#endif

// Returns ret from the calling function when p is null.
#ifndef CheckPointer
#define CheckPointer(p, ret)                                                                       \
    do {                                                                                           \
        if ((p) == nullptr)                                                                        \
            return (ret);                                                                          \
    } while (0)
#endif

// Read/write checks of a pointer's memory: nothing to check on this platform.
#define ValidateReadPtr(p, cb) ((void)0)
#define ValidateWritePtr(p, cb) ((void)0)
#define ValidateReadWritePtr(p, cb) ((void)0)

#ifndef ASSERT
#define ASSERT(x) assert(x)
#endif
// Evaluates x in every build; asserts it in debug builds.
#define EXECUTE_ASSERT(x)                                                                          \
    do {                                                                                           \
        [[maybe_unused]] const bool tvAssertResult = static_cast<bool>(x);                         \
        assert(tvAssertResult);                                                                    \
    } while (0)
