// Creation through the registry: the test module (registered into the build
// tree's registry by the build) is loaded on demand, its objects follow the
// COM identity, counting and aggregation rules, and it is unloaded when unused.
#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "com_test_support.h"
#include "testcalc.h"

namespace {

// {A0B1C2D3-E4F5-4061-8273-94A5B6C7D8E9}: registered nowhere.
DEFINE_GUID(CLSID_Nowhere, 0xA0B1C2D3, 0xE4F5, 0x4061, 0x82, 0x73, 0x94, 0xA5, 0xB6, 0xC7, 0xD8,
            0xE9);
// {1F2E3D4C-5B6A-4978-8695-A4B3C2D1E0F9}
DEFINE_GUID(IID_INotThere, 0x1F2E3D4C, 0x5B6A, 0x4978, 0x86, 0x95, 0xA4, 0xB3, 0xC2, 0xD1, 0xE0,
            0xF9);

bool ModuleLoaded()
{
    void* handle = dlopen(TV_TEST_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return false;
    dlclose(handle);
    return true;
}

template <typename Fn> Fn ModuleFunction(const char* name)
{
    void* handle = dlopen(TV_TEST_MODULE_PATH, RTLD_NOW | RTLD_NOLOAD);
    if (!handle)
        return nullptr;
    auto fn = reinterpret_cast<Fn>(dlsym(handle, name));
    dlclose(handle); // still loaded by COM; only our extra reference goes
    return fn;
}

std::vector<CLSID> g_unloaded;
void RecordUnload(const CLSID* clsid)
{
    g_unloaded.push_back(*clsid);
}

class ModuleTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(S_OK, CoInitialize(nullptr));
        m_objectsBefore = CBaseObject::ObjectsActive();
        g_unloaded.clear();
    }
    void TearDown() override
    {
        EXPECT_EQ(m_objectsBefore, CBaseObject::ObjectsActive());
        CoFreeUnusedLibraries();
        CoUninitialize();
    }

    ITestCalc* CreateCalc()
    {
        ITestCalc* calc = nullptr;
        EXPECT_EQ(S_OK, CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER,
                                         IID_ITestCalc, reinterpret_cast<void**>(&calc)));
        return calc;
    }

    LONG m_objectsBefore = 0;
};

TEST(ModuleCreation, NeedsCoInitialize)
{
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CO_E_NOTINITIALIZED,
              CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER, IID_ITestCalc, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_FALSE(ModuleLoaded());
}

TEST_F(ModuleTest, BuildRegisteredTheModule)
{
    char resolved[PATH_MAX];
    ASSERT_NE(nullptr, realpath(TV_TEST_MODULE_PATH, resolved));
    const std::string key = "CLSID\\" + TvGuidToString(CLSID_TestCalc);
    EXPECT_EQ("Tarvo Test Calculator", ReadClassesRootString(key, nullptr));
    EXPECT_EQ(resolved, ReadClassesRootString(key + "\\InprocServer32", nullptr));
    EXPECT_EQ("Both", ReadClassesRootString(key + "\\InprocServer32", "ThreadingModel"));
}

TEST_F(ModuleTest, CreatedObjectFollowsIdentityAndCountingRules)
{
    EXPECT_FALSE(ModuleLoaded());
    ITestCalc* calc = CreateCalc();
    ASSERT_NE(nullptr, calc);
    EXPECT_TRUE(ModuleLoaded());
    // Each template's init routine ran once when the module was loaded.
    auto loadCalls = ModuleFunction<TestModuleLoadCallsFn>("TestModuleLoadCalls");
    ASSERT_NE(nullptr, loadCalls);
    EXPECT_EQ(2, loadCalls());

    EXPECT_EQ(nullptr, calc->PeekOuter());
    EXPECT_EQ(S_OK, calc->SetValue(40));
    LONG sum = 0;
    EXPECT_EQ(S_OK, calc->Add(1, 1, &sum));
    EXPECT_EQ(42, sum);
    EXPECT_EQ(E_POINTER, calc->GetValue(nullptr));

    // The caller holds exactly one reference.
    EXPECT_EQ(2u, calc->AddRef());
    EXPECT_EQ(1u, calc->Release());

    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, calc->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_NE(static_cast<IUnknown*>(calc), identity); // the identity is the non-delegating unknown
    EXPECT_EQ(3u, calc->AddRef());
    EXPECT_EQ(2u, calc->Release());

    ITestCalc* again = nullptr;
    ASSERT_EQ(S_OK, identity->QueryInterface(IID_ITestCalc, reinterpret_cast<void**>(&again)));
    EXPECT_EQ(calc, again);
    IUnknown* identityAgain = nullptr;
    ASSERT_EQ(S_OK, again->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identityAgain)));
    EXPECT_EQ(identity, identityAgain);
    EXPECT_EQ(3u, identityAgain->Release());
    EXPECT_EQ(2u, again->Release());

    void* none = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, calc->QueryInterface(IID_INotThere, &none));
    EXPECT_EQ(nullptr, none);
    none = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, identity->QueryInterface(IID_IClassFactory, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(E_POINTER, calc->QueryInterface(IID_IUnknown, nullptr));
    EXPECT_EQ(3u, calc->AddRef());
    EXPECT_EQ(2u, calc->Release());

    EXPECT_EQ(1u, identity->Release());
    EXPECT_EQ(m_objectsBefore + 1, CBaseObject::ObjectsActive());
    EXPECT_EQ(0u, calc->Release());
    EXPECT_EQ(m_objectsBefore, CBaseObject::ObjectsActive());

    // Asking for IUnknown gives the identity with one reference.
    IUnknown* plain = nullptr;
    ASSERT_EQ(S_OK, CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_ALL, IID_IUnknown,
                                     reinterpret_cast<void**>(&plain)));
    EXPECT_EQ(0u, plain->Release());
    // An IID the class lacks: nothing is handed out, nothing stays alive.
    none = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_INotThere, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(E_POINTER, CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER,
                                          IID_ITestCalc, nullptr));
}

// The interface's slot order is a binary contract: call it through the raw table.
TEST_F(ModuleTest, CustomInterfaceSlotsAreInDeclarationOrder)
{
    ITestCalc* calc = CreateCalc();
    ASSERT_NE(nullptr, calc);
    void** table = *reinterpret_cast<void***>(calc);
    typedef HRESULT (*QueryInterfaceSlot)(void*, REFIID, void**);
    typedef ULONG (*CountSlot)(void*);
    typedef HRESULT (*SetValueSlot)(void*, LONG);
    typedef HRESULT (*GetValueSlot)(void*, LONG*);
    typedef HRESULT (*AddSlot)(void*, LONG, LONG, LONG*);
    typedef IUnknown* (*PeekOuterSlot)(void*);

    void* out = nullptr;
    ASSERT_EQ(S_OK, reinterpret_cast<QueryInterfaceSlot>(table[0])(calc, IID_ITestCalc, &out));
    EXPECT_EQ(calc, out);
    EXPECT_EQ(3u, reinterpret_cast<CountSlot>(table[1])(calc)); // AddRef
    EXPECT_EQ(2u, reinterpret_cast<CountSlot>(table[2])(calc)); // Release
    EXPECT_EQ(1u, reinterpret_cast<CountSlot>(table[2])(calc));
    EXPECT_EQ(S_OK, reinterpret_cast<SetValueSlot>(table[3])(calc, 7));
    LONG value = 0;
    EXPECT_EQ(S_OK, reinterpret_cast<GetValueSlot>(table[4])(calc, &value));
    EXPECT_EQ(7, value);
    LONG sum = 0;
    EXPECT_EQ(S_OK, reinterpret_cast<AddSlot>(table[5])(calc, 100, 20, &sum));
    EXPECT_EQ(127, sum);
    EXPECT_EQ(nullptr, reinterpret_cast<PeekOuterSlot>(table[6])(calc));
    EXPECT_EQ(0u, reinterpret_cast<CountSlot>(table[2])(calc));
}

// An outer object that aggregates the module's calculator.
class COuter : public CUnknown {
public:
    COuter() : CUnknown("Outer", nullptr) {}
    ~COuter() override
    {
        if (m_inner)
            m_inner->Release();
    }
    HRESULT CreateInner()
    {
        return CoCreateInstance(CLSID_TestCalc, GetOwner(), CLSCTX_INPROC_SERVER, IID_IUnknown,
                                reinterpret_cast<void**>(&m_inner));
    }
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv) override
    {
        if (ppv && riid == IID_ITestCalc && m_inner)
            return m_inner->QueryInterface(riid, ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    LONG Count() const { return m_cRef.load(); }
    IUnknown* Inner() const { return m_inner; }

private:
    IUnknown* m_inner = nullptr;
};

TEST_F(ModuleTest, AggregatedObjectSpeaksForItsOuterObject)
{
    auto* outer = new COuter();
    outer->NonDelegatingAddRef();
    IUnknown* outerIdentity = outer->GetNonDelegatingUnknown();
    ASSERT_EQ(S_OK, outer->CreateInner());
    IUnknown* inner = outer->Inner();
    ASSERT_NE(nullptr, inner);
    EXPECT_NE(outerIdentity, inner);
    EXPECT_EQ(1, outer->Count());

    // The inner's interface, got through the outer, counts on the outer.
    ITestCalc* calc = nullptr;
    ASSERT_EQ(S_OK, outerIdentity->QueryInterface(IID_ITestCalc, reinterpret_cast<void**>(&calc)));
    EXPECT_EQ(2, outer->Count());
    EXPECT_EQ(outerIdentity, calc->PeekOuter());
    EXPECT_EQ(3u, calc->AddRef());
    EXPECT_EQ(3, outer->Count());
    EXPECT_EQ(2u, calc->Release());
    // The inner's own count is apart: only the outer's pointer holds it.
    EXPECT_EQ(2u, inner->AddRef());
    EXPECT_EQ(1u, inner->Release());

    // QueryInterface through the inner's interface answers as the outer object.
    IUnknown* identity = nullptr;
    ASSERT_EQ(S_OK, calc->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)));
    EXPECT_EQ(outerIdentity, identity);
    EXPECT_EQ(3, outer->Count());
    identity->Release();
    ITestCalc* calcAgain = nullptr;
    ASSERT_EQ(S_OK, calc->QueryInterface(IID_ITestCalc, reinterpret_cast<void**>(&calcAgain)));
    EXPECT_EQ(calc, calcAgain);
    calcAgain->Release();
    void* none = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, calc->QueryInterface(IID_INotThere, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(2, outer->Count());

    // Aggregation may only ask for IUnknown, at creation and at the factory.
    none = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(CLSID_TestCalc, outerIdentity,
                                                      CLSCTX_INPROC_SERVER, IID_ITestCalc, &none));
    EXPECT_EQ(nullptr, none);
    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_TestCalc, CLSCTX_INPROC_SERVER, nullptr,
                                     IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    none = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, factory->CreateInstance(outerIdentity, IID_ITestCalc, &none));
    EXPECT_EQ(nullptr, none);
    EXPECT_EQ(0u, factory->Release());
    EXPECT_EQ(2, outer->Count());

    // A class may refuse aggregation altogether.
    none = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(CLASS_E_NOAGGREGATION, CoCreateInstance(CLSID_TestLoner, outerIdentity,
                                                      CLSCTX_INPROC_SERVER, IID_IUnknown, &none));
    EXPECT_EQ(nullptr, none);

    EXPECT_EQ(1u, calc->Release());
    EXPECT_EQ(0u, outer->NonDelegatingRelease()); // releases the inner too
    EXPECT_EQ(m_objectsBefore, CBaseObject::ObjectsActive());
}

TEST_F(ModuleTest, UnusedModuleIsUnloadedOnlyWithoutObjectsAndLocks)
{
    ITestCalc* calc = CreateCalc();
    ASSERT_NE(nullptr, calc);
    auto setHook = ModuleFunction<TestModuleSetUnloadHookFn>("TestModuleSetUnloadHook");
    ASSERT_NE(nullptr, setHook);
    setHook(RecordUnload);

    CoFreeUnusedLibraries();
    EXPECT_TRUE(ModuleLoaded()); // an object is alive
    calc->Release();

    IClassFactory* factory = nullptr;
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_TestCalc, CLSCTX_INPROC_SERVER, nullptr,
                                     IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    CoFreeUnusedLibraries();
    EXPECT_TRUE(ModuleLoaded()); // the factory is alive
    EXPECT_EQ(S_OK, factory->LockServer(TRUE));
    factory->Release();
    CoFreeUnusedLibraries();
    EXPECT_TRUE(ModuleLoaded()); // locked
    EXPECT_TRUE(g_unloaded.empty());

    // Unlocking needs a factory again; releasing it leaves the module unused.
    ASSERT_EQ(S_OK, CoGetClassObject(CLSID_TestLoner, CLSCTX_INPROC_SERVER, nullptr,
                                     IID_IClassFactory, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_OK, factory->LockServer(FALSE));
    factory->Release();
    CoFreeUnusedLibraries();
    EXPECT_FALSE(ModuleLoaded());
    // Each template's init routine was told about the unload.
    ASSERT_EQ(2u, g_unloaded.size());
    EXPECT_TRUE(g_unloaded[0] == CLSID_TestCalc);
    EXPECT_TRUE(g_unloaded[1] == CLSID_TestLoner);

    // Creating again loads a fresh copy.
    calc = CreateCalc();
    ASSERT_NE(nullptr, calc);
    LONG value = -1;
    EXPECT_EQ(S_OK, calc->GetValue(&value));
    EXPECT_EQ(0, value);
    auto loadCalls = ModuleFunction<TestModuleLoadCallsFn>("TestModuleLoadCalls");
    ASSERT_NE(nullptr, loadCalls);
    EXPECT_EQ(2, loadCalls());
    calc->Release();
}

TEST_F(ModuleTest, DelayedUnloadWaitsForTheModuleToStayUnused)
{
    ITestCalc* calc = CreateCalc();
    ASSERT_NE(nullptr, calc);
    calc->Release();
    // The default delay is minutes long.
    CoFreeUnusedLibrariesEx(INFINITE, 0);
    CoFreeUnusedLibrariesEx(INFINITE, 0);
    EXPECT_TRUE(ModuleLoaded());

    CoFreeUnusedLibrariesEx(20, 0); // starts the wait
    EXPECT_TRUE(ModuleLoaded());
    // Used again during the wait: the wait starts over.
    calc = CreateCalc();
    ASSERT_NE(nullptr, calc);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    CoFreeUnusedLibrariesEx(20, 0);
    EXPECT_TRUE(ModuleLoaded());
    calc->Release();
    CoFreeUnusedLibrariesEx(20, 0);
    EXPECT_TRUE(ModuleLoaded());
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    CoFreeUnusedLibrariesEx(20, 0);
    EXPECT_FALSE(ModuleLoaded());
}

TEST_F(ModuleTest, UnregisteredClassIsReported)
{
    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_Nowhere, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    // Only in-process servers exist; other contexts do not read InprocServer32.
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown, &out));
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_HANDLER, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
}

TEST_F(ModuleTest, BrokenRegistrationsGiveTheirOwnResults)
{
    TempRegistry registry;
    // {2B4D6F80-1A3C-4E5F-9071-8293A4B5C6D7}
    static const GUID kMissingFile = {
        0x2B4D6F80, 0x1A3C, 0x4E5F, {0x90, 0x71, 0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7}};
    static const GUID kNoEntryPoint = {
        0x2B4D6F81, 0x1A3C, 0x4E5F, {0x90, 0x71, 0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7}};
    static const GUID kNoPathValue = {
        0x2B4D6F82, 0x1A3C, 0x4E5F, {0x90, 0x71, 0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7}};
    static const GUID kWrongModule = {
        0x2B4D6F83, 0x1A3C, 0x4E5F, {0x90, 0x71, 0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7}};
    // Fresh paths each run: each module path's failure is reported once per process.
    const std::string missing = registry.Folder() + "/libnothere.so";
    ASSERT_EQ(S_OK, TvRegisterInprocServer(kMissingFile, L"Missing", missing.c_str(), "Both"));
    const std::string noEntry = registry.Folder() + "/libnoentry.so";
    ASSERT_EQ(0, symlink(TV_PLATFORM_LIBRARY_PATH, noEntry.c_str()));
    HKEY key = nullptr;
    const std::string noEntryKey = "CLSID\\" + TvGuidToString(kNoEntryPoint) + "\\InprocServer32";
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, noEntryKey.c_str(), 0, nullptr, 0,
                                             KEY_WRITE, nullptr, &key, nullptr));
    // Written as is: registration would resolve the link.
    ASSERT_EQ(ERROR_SUCCESS, RegSetValueExA(key, nullptr, 0, REG_SZ,
                                            reinterpret_cast<const BYTE*>(noEntry.c_str()),
                                            static_cast<DWORD>(noEntry.size() + 1)));
    RegCloseKey(key);
    ASSERT_EQ(S_OK, TvRegisterInprocServer(kWrongModule, L"Wrong", TV_TEST_MODULE_PATH, "Both"));
    const std::string noPathKey = "CLSID\\" + TvGuidToString(kNoPathValue) + "\\InprocServer32";
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_CLASSES_ROOT, noPathKey.c_str(), 0, nullptr, 0,
                                             KEY_WRITE, nullptr, &key, nullptr));
    RegCloseKey(key);

    void* out = reinterpret_cast<void*>(0x1);
    testing::internal::CaptureStderr();
    EXPECT_EQ(CO_E_DLLNOTFOUND,
              CoCreateInstance(kMissingFile, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    const std::string firstReport = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, firstReport.find(missing)) << firstReport;
    testing::internal::CaptureStderr();
    EXPECT_EQ(CO_E_DLLNOTFOUND,
              CoCreateInstance(kMissingFile, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out));
    EXPECT_EQ("", testing::internal::GetCapturedStderr()); // reported once

    testing::internal::CaptureStderr();
    EXPECT_EQ(CO_E_ERRORINDLL,
              CoCreateInstance(kNoEntryPoint, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out));
    const std::string noEntryReport = testing::internal::GetCapturedStderr();
    EXPECT_NE(std::string::npos, noEntryReport.find(noEntry + " has no DllGetClassObject"))
        << noEntryReport;
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(REGDB_E_CLASSNOTREG,
              CoCreateInstance(kNoPathValue, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
    // The module is there but does not serve that class.
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE,
              CoCreateInstance(kWrongModule, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown, &out));
    EXPECT_EQ(nullptr, out);
}

TEST_F(ModuleTest, ModuleEntryPointCheckItsArguments)
{
    ITestCalc* calc = CreateCalc(); // loads the module
    ASSERT_NE(nullptr, calc);
    typedef HRESULT (*GetClassObjectFn)(REFCLSID, REFIID, LPVOID*);
    typedef HRESULT (*CanUnloadFn)(void);
    auto get = ModuleFunction<GetClassObjectFn>("DllGetClassObject");
    auto canUnload = ModuleFunction<CanUnloadFn>("DllCanUnloadNow");
    ASSERT_NE(nullptr, get);
    ASSERT_NE(nullptr, canUnload);
    // DllMain runs the init routines for process attach, nothing for threads.
    typedef BOOL (*DllMainFn)(HINSTANCE, DWORD, LPVOID);
    auto dllMain = ModuleFunction<DllMainFn>("DllMain");
    auto loadCalls = ModuleFunction<TestModuleLoadCallsFn>("TestModuleLoadCalls");
    ASSERT_NE(nullptr, dllMain);
    ASSERT_NE(nullptr, loadCalls);
    EXPECT_EQ(2, loadCalls());
    EXPECT_EQ(TRUE, dllMain(nullptr, DLL_THREAD_ATTACH, nullptr));
    EXPECT_EQ(2, loadCalls());
    EXPECT_EQ(TRUE, dllMain(nullptr, DLL_PROCESS_ATTACH, nullptr));
    EXPECT_EQ(4, loadCalls());
    EXPECT_NE(nullptr, ModuleFunction<void*>("DllRegisterServer"));
    EXPECT_NE(nullptr, ModuleFunction<void*>("DllUnregisterServer"));
    // The module's table stays private.
    EXPECT_EQ(nullptr, ModuleFunction<void*>("g_Templates"));

    void* out = reinterpret_cast<void*>(0x1);
    EXPECT_EQ(E_NOINTERFACE, get(CLSID_TestCalc, IID_ITestCalc, &out));
    EXPECT_EQ(nullptr, out);
    EXPECT_EQ(CLASS_E_CLASSNOTAVAILABLE, get(CLSID_Nowhere, IID_IClassFactory, &out));
    EXPECT_EQ(E_POINTER, get(CLSID_TestCalc, IID_IClassFactory, nullptr));
    IUnknown* factory = nullptr;
    ASSERT_EQ(S_OK, get(CLSID_TestLoner, IID_IUnknown, reinterpret_cast<void**>(&factory)));
    EXPECT_EQ(S_FALSE, canUnload());
    factory->Release();
    EXPECT_EQ(S_FALSE, canUnload()); // calc is alive
    calc->Release();
    EXPECT_EQ(S_OK, canUnload());
}

TEST_F(ModuleTest, ThreadsCreateAndReleaseConcurrently)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 100;
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&failures, t] {
            // These threads have not initialised COM; the test thread has.
            for (int i = 0; i < kRounds; ++i) {
                ITestCalc* calc = nullptr;
                if (FAILED(CoCreateInstance(CLSID_TestCalc, nullptr, CLSCTX_INPROC_SERVER,
                                            IID_ITestCalc, reinterpret_cast<void**>(&calc)))) {
                    failures.fetch_add(1);
                    continue;
                }
                LONG sum = 0;
                calc->SetValue(t);
                if (calc->Add(i, 0, &sum) != S_OK || sum != i + t)
                    failures.fetch_add(1);
                calc->Release();
            }
        });
    }
    // A long delay: the bookkeeping runs while others create, nothing unloads.
    for (int i = 0; i < 50; ++i)
        CoFreeUnusedLibrariesEx(INFINITE, 0);
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(0, failures.load());
    EXPECT_TRUE(ModuleLoaded());
}

} // namespace
