// Leak checking and reference counts.
#include "TvLeakCheck.h"

ULONG RefCount(IUnknown* unknown)
{
    unknown->AddRef();
    return unknown->Release();
}

void TvLeakCheck::SetUp()
{
    m_objectsAtStart = CBaseObject::ObjectsActive();
}

void TvLeakCheck::TearDown()
{
    EXPECT_EQ(CBaseObject::ObjectsActive(), m_objectsAtStart)
        << "the test left COM objects alive (a reference was not released)";
}

void TvComTest::SetUp()
{
    TvLeakCheck::SetUp();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
}

void TvComTest::TearDown()
{
    CoUninitialize();
    TvLeakCheck::TearDown();
}
