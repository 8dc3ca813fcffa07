// Fixtures that fail a test which leaves COM objects alive, and exact
// reference counts.
//
//   TvLeakCheck   counts the live objects (every CUnknown, enumerator,
//                 allocator and sample: CBaseObject::ObjectsActive) at SetUp
//                 and fails the test in TearDown when the count differs.
//   TvComTest     the same around COM initialised for the test's thread
//                 (multithreaded), for tests that create objects by CLSID.
//
// A derived fixture releases what it holds in its own TearDown before it
// calls the base's TearDown: members still alive there count as leaked.
#pragma once

#include <gtest/gtest.h>

#include <streams.h>

// The reference count of an object right now (AddRef, then Release).
ULONG RefCount(IUnknown* unknown);

class TvLeakCheck : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    LONG m_objectsAtStart = 0;
};

class TvComTest : public TvLeakCheck {
protected:
    void SetUp() override;
    void TearDown() override;
};
