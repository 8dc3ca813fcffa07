// A small COM module for the COM tests: an aggregatable calculator with a
// custom interface, and a second class that refuses aggregation.
#include "testcalc.h"

namespace {

class CTestCalc : public CUnknown, public ITestCalc {
public:
    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr)
    {
        auto* object = new CTestCalc(outer, phr);
        return object;
    }

    DECLARE_IUNKNOWN

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv) override
    {
        if (!ppv)
            return E_POINTER;
        if (riid == IID_ITestCalc)
            return GetInterface(static_cast<ITestCalc*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }

    STDMETHODIMP SetValue(LONG value) override
    {
        m_value = value;
        return S_OK;
    }
    STDMETHODIMP GetValue(LONG* value) override
    {
        if (!value)
            return E_POINTER;
        *value = m_value;
        return S_OK;
    }
    STDMETHODIMP Add(LONG a, LONG b, LONG* sum) override
    {
        if (!sum)
            return E_POINTER;
        *sum = a + b + m_value;
        return S_OK;
    }
    STDMETHODIMP_(IUnknown*) PeekOuter() override { return m_outer; }

private:
    CTestCalc(LPUNKNOWN outer, HRESULT* phr)
        : CUnknown("Test calculator", outer, phr), m_outer(outer)
    {
    }

    std::atomic<LONG> m_value{0};
    IUnknown* const m_outer;
};

class CTestLoner : public CUnknown {
public:
    static CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr)
    {
        if (outer) {
            *phr = CLASS_E_NOAGGREGATION;
            return nullptr;
        }
        return new CTestLoner();
    }

private:
    CTestLoner() : CUnknown("Test loner", nullptr) {}
};

std::atomic<int> g_loadCalls{0};
std::atomic<TestModuleUnloadHook> g_unloadHook{nullptr};

void InitRoutine(BOOL loading, const CLSID* clsid)
{
    if (loading) {
        g_loadCalls.fetch_add(1);
    } else if (TestModuleUnloadHook hook = g_unloadHook.load()) {
        hook(clsid);
    }
}

} // namespace

CFactoryTemplate g_Templates[] = {
    {TEST_CALC_NAME, &CLSID_TestCalc, CTestCalc::CreateInstance, InitRoutine, nullptr},
    {TEST_LONER_NAME, &CLSID_TestLoner, CTestLoner::CreateInstance, InitRoutine, nullptr},
};
int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);

extern "C" __attribute__((visibility("default"))) int TestModuleLoadCalls(void)
{
    return g_loadCalls.load();
}

extern "C" __attribute__((visibility("default"))) void
TestModuleSetUnloadHook(TestModuleUnloadHook hook)
{
    g_unloadHook.store(hook);
}
