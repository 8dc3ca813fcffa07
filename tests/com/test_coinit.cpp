// COM initialisation: counted per thread, and required (somewhere in the
// process) before objects can be created.
#include <gtest/gtest.h>

#include <thread>

#include "com_test_support.h"

namespace {

// {A0B1C2D3-E4F5-4061-8273-94A5B6C7D8E9}: registered nowhere.
DEFINE_GUID(CLSID_Nowhere, 0xA0B1C2D3, 0xE4F5, 0x4061, 0x82, 0x73, 0x94, 0xA5, 0xB6, 0xC7, 0xD8,
            0xE9);

HRESULT TryCreate()
{
    void* out = reinterpret_cast<void*>(0x1);
    const HRESULT hr =
        CoCreateInstance(CLSID_Nowhere, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out);
    EXPECT_EQ(nullptr, out);
    return hr;
}

TEST(CoInitialize, IsCountedPerThread)
{
    TempRegistry registry;
    EXPECT_EQ(CO_E_NOTINITIALIZED, TryCreate());
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CO_E_NOTINITIALIZED, CoGetClassObject(CLSID_Nowhere, CLSCTX_INPROC_SERVER, nullptr,
                                                    IID_IClassFactory, &out));
    EXPECT_EQ(nullptr, out);

    EXPECT_EQ(S_OK, CoInitialize(nullptr));
    EXPECT_EQ(REGDB_E_CLASSNOTREG, TryCreate());
    EXPECT_EQ(S_FALSE, CoInitialize(nullptr));
    EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));

    // Another thread starts its own count.
    HRESULT otherFirst = E_FAIL;
    HRESULT otherSecond = E_FAIL;
    std::thread other([&] {
        otherFirst = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        otherSecond = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        CoUninitialize();
        CoUninitialize();
    });
    other.join();
    EXPECT_EQ(S_OK, otherFirst);
    EXPECT_EQ(S_FALSE, otherSecond);

    // Three initialisations need three uninitialisations.
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(REGDB_E_CLASSNOTREG, TryCreate());
    CoUninitialize();
    EXPECT_EQ(CO_E_NOTINITIALIZED, TryCreate());
    CoUninitialize(); // one too many: ignored
    EXPECT_EQ(S_OK, CoInitialize(nullptr));
    CoUninitialize();
    EXPECT_EQ(CO_E_NOTINITIALIZED, TryCreate());
}

TEST(CoInitialize, ThreadingModelCannotChangeOnAThread)
{
    ASSERT_EQ(S_OK, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    EXPECT_EQ(RPC_E_CHANGED_MODE, CoInitialize(nullptr));
    EXPECT_EQ(S_FALSE, CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    CoUninitialize();
    CoUninitialize();
    // The refused call was not counted: the thread is uninitialised now.
    EXPECT_EQ(S_OK, CoInitialize(nullptr));
    CoUninitialize();

    int reserved = 0;
    EXPECT_EQ(E_INVALIDARG, CoInitialize(&reserved));
    EXPECT_EQ(E_INVALIDARG, CoInitializeEx(nullptr, 0x100));
    EXPECT_EQ(CO_E_NOTINITIALIZED, TryCreate());
}

// Window timers and posted messages run on the platform's dispatcher thread:
// while any thread holds an initialisation, other threads may create objects.
TEST(CoInitialize, OtherThreadsMayCreateWhileAnyThreadIsInitialised)
{
    TempRegistry registry;
    HRESULT before = S_OK;
    std::thread([&] { before = TryCreate(); }).join();
    EXPECT_EQ(CO_E_NOTINITIALIZED, before);

    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    HRESULT during = S_OK;
    std::thread([&] { during = TryCreate(); }).join();
    EXPECT_EQ(REGDB_E_CLASSNOTREG, during);
    CoUninitialize();

    HRESULT after = S_OK;
    std::thread([&] { after = TryCreate(); }).join();
    EXPECT_EQ(CO_E_NOTINITIALIZED, after);
}

TEST(CoInitialize, ThreadEndingWithoutUninitialiseGivesItsCountUp)
{
    std::thread([] { EXPECT_EQ(S_OK, CoInitialize(nullptr)); }).join();
    EXPECT_EQ(CO_E_NOTINITIALIZED, TryCreate());
}

} // namespace
