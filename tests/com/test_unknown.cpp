// CUnknown, CClassFactory and process-registered class objects, without any
// module loading.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "com_test_support.h"

namespace {

// {5B0E2C71-9D4A-4E36-A8F2-1C6D3B7E9A05}
DEFINE_GUID(IID_ICounter, 0x5B0E2C71, 0x9D4A, 0x4E36, 0xA8, 0xF2, 0x1C, 0x6D, 0x3B, 0x7E, 0x9A,
            0x05);
// {D83A6F14-2B7C-4C59-9E0D-4F1A8B2C6E37}
DEFINE_GUID(CLSID_Counter, 0xD83A6F14, 0x2B7C, 0x4C59, 0x9E, 0x0D, 0x4F, 0x1A, 0x8B, 0x2C, 0x6E,
            0x37);
// {1F2E3D4C-5B6A-4978-8695-A4B3C2D1E0F9}
DEFINE_GUID(IID_INotThere, 0x1F2E3D4C, 0x5B6A, 0x4978, 0x86, 0x95, 0xA4, 0xB3, 0xC2, 0xD1, 0xE0,
            0xF9);

class ICounter : public IUnknown {
public:
    STDMETHOD_(LONG, Next)() PURE;
};

std::atomic<int> g_destroyed{0};

class CCounter : public CUnknown, public ICounter {
public:
    explicit CCounter(LPUNKNOWN outer = nullptr, bool touchSelfWhenDying = false)
        : CUnknown("Counter", outer), m_touchSelf(touchSelfWhenDying)
    {
    }
    ~CCounter() override
    {
        // Code run from a destructor may take and drop a reference to the
        // object being destroyed; that must not delete it a second time.
        if (m_touchSelf) {
            NonDelegatingAddRef();
            NonDelegatingRelease();
        }
        g_destroyed.fetch_add(1);
    }

    DECLARE_IUNKNOWN

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv) override
    {
        if (ppv && riid == IID_ICounter)
            return GetInterface(static_cast<ICounter*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    STDMETHODIMP_(LONG) Next() override { return ++m_next; }

    LONG Count() const { return m_cRef.load(); }

private:
    const bool m_touchSelf;
    std::atomic<LONG> m_next{0};
};

// Creators for the factory template, each with its own outcome.
HRESULT g_creatorResult = S_OK;
bool g_creatorReturnsObject = true;

CUnknown* CreateCounter(LPUNKNOWN outer, HRESULT* phr)
{
    if (FAILED(g_creatorResult))
        *phr = g_creatorResult;
    return g_creatorReturnsObject ? new CCounter(outer) : nullptr;
}

const CFactoryTemplate kCounterTemplate = {L"Counter", &CLSID_Counter, CreateCounter, nullptr,
                                           nullptr};

class ObjectTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_destroyed = 0;
        g_creatorResult = S_OK;
        g_creatorReturnsObject = true;
        m_objectsBefore = CBaseObject::ObjectsActive();
    }
    void TearDown() override { EXPECT_EQ(m_objectsBefore, CBaseObject::ObjectsActive()); }

    LONG m_objectsBefore = 0;
};

TEST_F(ObjectTest, StandaloneObjectCountsExactlyAndAnswersItsOwnIdentity)
{
    auto* counter = new CCounter();
    EXPECT_EQ(0, counter->Count());
    EXPECT_EQ(m_objectsBefore + 1, CBaseObject::ObjectsActive());
    EXPECT_EQ(counter->GetNonDelegatingUnknown(), counter->GetOwner());

    EXPECT_EQ(1u, counter->NonDelegatingAddRef());
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, counter->NonDelegatingQueryInterface(IID_IUnknown,
                                                         reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(counter->GetNonDelegatingUnknown(), identity);
    EXPECT_EQ(2, counter->Count());

    ICounter* icounter = nullptr;
    ASSERT_EQ(S_OK, identity->QueryInterface(IID_ICounter, reinterpret_cast<void**>(&icounter)));
    EXPECT_EQ(static_cast<ICounter*>(counter), icounter);
    EXPECT_EQ(3, counter->Count());
    EXPECT_EQ(1, icounter->Next());

    // Through the interface: same identity, same count.
    IUnknown* again = nullptr;
    ASSERT_EQ(S_OK, icounter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&again)));
    EXPECT_EQ(identity, again);
    EXPECT_EQ(5u, icounter->AddRef());
    EXPECT_EQ(4u, icounter->Release());
    EXPECT_EQ(3u, again->Release());

    void* none = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, icounter->QueryInterface(IID_INotThere, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(E_POINTER, icounter->QueryInterface(IID_ICounter, nullptr));
    EXPECT_EQ(E_POINTER, identity->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(3, counter->Count());

    EXPECT_EQ(2u, icounter->Release());
    EXPECT_EQ(1u, identity->Release());
    EXPECT_EQ(0, g_destroyed.load());
    EXPECT_EQ(0u, counter->NonDelegatingRelease());
    EXPECT_EQ(1, g_destroyed.load());
}

TEST_F(ObjectTest, DestructorTouchingItsOwnCountDeletesOnce)
{
    auto* counter = new CCounter(nullptr, true);
    counter->NonDelegatingAddRef();
    EXPECT_EQ(0u, counter->NonDelegatingRelease());
    EXPECT_EQ(1, g_destroyed.load());
}

TEST_F(ObjectTest, GetInterfaceAddsOneReference)
{
    auto* counter = new CCounter();
    counter->NonDelegatingAddRef();
    void* out = nullptr;
    EXPECT_EQ(S_OK, GetInterface(static_cast<ICounter*>(counter), &out));
    EXPECT_EQ(static_cast<ICounter*>(counter), out);
    EXPECT_EQ(2, counter->Count());
    EXPECT_EQ(E_POINTER, GetInterface(static_cast<ICounter*>(counter), nullptr));
    EXPECT_EQ(2, counter->Count());
    static_cast<ICounter*>(out)->Release();
    counter->NonDelegatingRelease();
    EXPECT_EQ(1, g_destroyed.load());
}

TEST_F(ObjectTest, FactoryCreatesThroughTheTemplateAndEnforcesAggregationRules)
{
    IClassFactory* factory = new CClassFactory(&kCounterTemplate);
    EXPECT_EQ(1u, factory->AddRef());
    IUnknown* unknown = nullptr;
    ASSERT_EQ(S_OK, factory->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)));
    EXPECT_EQ(static_cast<IUnknown*>(factory), unknown);
    unknown->Release();
    void* none = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, factory->QueryInterface(IID_ICounter, &none));
    EXPECT_EQ(nullptr, none);

    // Plain creation: the caller holds the only reference.
    ICounter* counter = nullptr;
    ASSERT_EQ(S_OK,
              factory->CreateInstance(nullptr, IID_ICounter, reinterpret_cast<void**>(&counter)));
    EXPECT_EQ(1, counter->Next());
    EXPECT_EQ(2u, counter->AddRef());
    EXPECT_EQ(1u, counter->Release());
    EXPECT_EQ(0u, counter->Release());
    EXPECT_EQ(1, g_destroyed.load());

    // An IID the class lacks: E_NOINTERFACE and the new object is gone.
    none = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, factory->CreateInstance(nullptr, IID_INotThere, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(2, g_destroyed.load());

    // With an outer unknown, only IID_IUnknown; nothing is created otherwise.
    auto* outer = new CCounter();
    outer->NonDelegatingAddRef();
    none = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION,
              factory->CreateInstance(outer->GetOwner(), IID_ICounter, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(2, g_destroyed.load());
    IUnknown* inner = nullptr;
    ASSERT_EQ(S_OK, factory->CreateInstance(outer->GetOwner(), IID_IUnknown,
                                            reinterpret_cast<void**>(&inner)));
    EXPECT_NE(outer->GetOwner(), inner);
    EXPECT_EQ(1, outer->Count()); // the inner's non-delegating unknown counts itself
    EXPECT_EQ(0u, inner->Release());
    EXPECT_EQ(3, g_destroyed.load());
    outer->NonDelegatingRelease();
    EXPECT_EQ(4, g_destroyed.load());

    EXPECT_EQ(E_POINTER, factory->CreateInstance(nullptr, IID_ICounter, nullptr));
    EXPECT_EQ(0u, factory->Release());
}

TEST_F(ObjectTest, FactoryReportsCreatorFailures)
{
    IClassFactory* factory = new CClassFactory(&kCounterTemplate);
    factory->AddRef();
    void* out = reinterpret_cast<void*>(0x1);

    g_creatorReturnsObject = false;
    EXPECT_EQ(E_OUTOFMEMORY, factory->CreateInstance(nullptr, IID_ICounter, &out));
    EXPECT_EQ(nullptr, out);
    g_creatorResult = E_ACCESSDENIED;
    EXPECT_EQ(E_ACCESSDENIED, factory->CreateInstance(nullptr, IID_ICounter, &out));
    EXPECT_EQ(nullptr, out);

    // An object that comes with a failure is destroyed, not handed out.
    g_creatorReturnsObject = true;
    out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_ACCESSDENIED, factory->CreateInstance(nullptr, IID_ICounter, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(1, g_destroyed.load());
    factory->Release();
}

TEST_F(ObjectTest, UnloadIsAllowedOnlyWithoutObjectsAndLocks)
{
    ASSERT_EQ(0, m_objectsBefore) << "another test leaked objects";
    EXPECT_EQ(S_OK, TvComCanUnloadNow());
    IClassFactory* factory = new CClassFactory(&kCounterTemplate);
    factory->AddRef();
    EXPECT_EQ(S_FALSE, TvComCanUnloadNow()); // a factory is an object
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    EXPECT_EQ(2, CClassFactory::LockCount());
    factory->Release();
    EXPECT_EQ(S_FALSE, TvComCanUnloadNow());
    auto* counter = new CCounter();
    counter->NonDelegatingAddRef();
    EXPECT_EQ(S_FALSE, TvComCanUnloadNow());
    counter->NonDelegatingRelease();

    factory = new CClassFactory(&kCounterTemplate);
    factory->AddRef();
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    // An unlock too many is refused and does not drive the count negative.
    EXPECT_EQ(E_UNEXPECTED, factory->LockServer(FALSE));
    EXPECT_EQ(0, CClassFactory::LockCount());
    factory->Release();
    EXPECT_EQ(S_OK, TvComCanUnloadNow());
}

TEST_F(ObjectTest, ReferenceCountsHoldUnderConcurrentUse)
{
    auto* counter = new CCounter();
    counter->NonDelegatingAddRef();
    ICounter* icounter = static_cast<ICounter*>(counter);
    constexpr int kThreads = 4;
    constexpr int kRounds = 2000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([icounter] {
            for (int i = 0; i < kRounds; ++i) {
                ICounter* mine = nullptr;
                if (icounter->QueryInterface(IID_ICounter, reinterpret_cast<void**>(&mine)) ==
                    S_OK) {
                    mine->Next();
                    mine->Release();
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(1, counter->Count());
    EXPECT_EQ(kThreads * kRounds + 1, icounter->Next());
    EXPECT_EQ(0, g_destroyed.load());
    counter->NonDelegatingRelease();
    EXPECT_EQ(1, g_destroyed.load());
}

// Objects handed over by CoRegisterClassObject are found before the registry.
TEST_F(ObjectTest, RegisteredClassObjectsAreCreatableUntilRevoked)
{
    TempRegistry registry; // empty: nothing can come from a module
    ASSERT_EQ(S_OK, CoInitialize(nullptr));
    IClassFactory* factory = new CClassFactory(&kCounterTemplate);
    factory->AddRef();
    DWORD cookie = 0;
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_Counter, factory, CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie));
    EXPECT_NE(0u, cookie);
    EXPECT_EQ(1u, factory->Release()); // the process table holds it now

    for (int i = 0; i < 2; ++i) {
        ICounter* counter = nullptr;
        ASSERT_EQ(S_OK, CoCreateInstance(CLSID_Counter, nullptr, CLSCTX_INPROC_SERVER, IID_ICounter,
                                         reinterpret_cast<void**>(&counter)));
        EXPECT_EQ(1, counter->Next());
        EXPECT_EQ(0u, counter->Release());
    }
    // Only in-process requests find an in-process registration.
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_Counter, nullptr, CLSCTX_LOCAL_SERVER, IID_ICounter, &out));
    EXPECT_EQ(nullptr, out);

    EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));
    EXPECT_EQ(E_INVALIDARG, CoRevokeClassObject(cookie));
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_Counter, nullptr, CLSCTX_ALL, IID_ICounter, &out));
    EXPECT_EQ(nullptr, out);

    // Single use: handed out once, then invisible until revoked.
    factory = new CClassFactory(&kCounterTemplate);
    factory->AddRef();
    ASSERT_EQ(S_OK, CoRegisterClassObject(CLSID_Counter, factory, CLSCTX_INPROC_SERVER,
                                          REGCLS_SINGLEUSE, &cookie));
    factory->Release();
    IClassFactory* got = nullptr;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_Counter, CLSCTX_INPROC_SERVER, nullptr,
                                     IID_IClassFactory, reinterpret_cast<void**>(&got)));
    EXPECT_EQ(factory, got);
    got->Release();
    EXPECT_EQ(REGDB_E_CLASSNOTREG, CoGetClassObject(CLSID_Counter, CLSCTX_INPROC_SERVER, nullptr,
                                                    IID_IClassFactory, &out));
    EXPECT_EQ(S_OK, CoRevokeClassObject(cookie));

    EXPECT_EQ(E_INVALIDARG,
              CoRegisterClassObject(CLSID_Counter, nullptr, CLSCTX_INPROC_SERVER, 0, &cookie));
    EXPECT_EQ(2, g_destroyed.load());
    CoUninitialize();
}

TEST(TaskMemory, AllocatesReallocatesAndFrees)
{
    auto* block = static_cast<char*>(CoTaskMemAlloc(0));
    ASSERT_NE(nullptr, block);
    block = static_cast<char*>(CoTaskMemRealloc(block, 64));
    ASSERT_NE(nullptr, block);
    for (int i = 0; i < 64; ++i)
        block[i] = static_cast<char>(i);
    block = static_cast<char*>(CoTaskMemRealloc(block, 4096));
    ASSERT_NE(nullptr, block);
    for (int i = 0; i < 64; ++i)
        ASSERT_EQ(static_cast<char>(i), block[i]);
    EXPECT_EQ(nullptr, CoTaskMemRealloc(block, 0)); // freed
    void* fresh = CoTaskMemRealloc(nullptr, 16);
    ASSERT_NE(nullptr, fresh);
    CoTaskMemFree(fresh);
    CoTaskMemFree(nullptr);
}

} // namespace
