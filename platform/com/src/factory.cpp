// CClassFactory: creation through a module's factory template, server locks.
#include "com/factory.h"

#include <new>

namespace {

std::atomic<LONG> g_serverLocks{0};

} // namespace

CClassFactory::CClassFactory(const CFactoryTemplate* templ)
    : CBaseObject("Class factory"), m_pTemplate(templ)
{
}

STDMETHODIMP CClassFactory::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory)
        return GetInterface(static_cast<IClassFactory*>(this), ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CClassFactory::AddRef()
{
    return static_cast<ULONG>(m_cRef.fetch_add(1, std::memory_order_relaxed) + 1);
}

STDMETHODIMP_(ULONG) CClassFactory::Release()
{
    const LONG count = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) {
        delete this;
        return 0;
    }
    return static_cast<ULONG>(count);
}

STDMETHODIMP CClassFactory::CreateInstance(LPUNKNOWN outer, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    // An aggregated object is reachable only through the outer object, so the
    // outer object must get the inner's non-delegating unknown.
    if (outer && riid != IID_IUnknown)
        return CLASS_E_NOAGGREGATION;

    HRESULT hr = S_OK;
    CUnknown* object = nullptr;
    try {
        object = m_pTemplate->CreateInstance(outer, &hr);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    if (!object)
        return FAILED(hr) ? hr : E_OUTOFMEMORY;
    // The reference taken here makes a failed constructor or a refused IID
    // destroy the object on the release below.
    object->NonDelegatingAddRef();
    if (SUCCEEDED(hr))
        hr = object->NonDelegatingQueryInterface(riid, ppv);
    object->NonDelegatingRelease();
    if (FAILED(hr))
        *ppv = nullptr;
    return hr;
}

STDMETHODIMP CClassFactory::LockServer(BOOL lock)
{
    if (lock) {
        g_serverLocks.fetch_add(1, std::memory_order_relaxed);
        return S_OK;
    }
    // An unlock without a lock must not leave the count negative (the module
    // would then never unload, and a later lock would not hold it).
    LONG current = g_serverLocks.load(std::memory_order_relaxed);
    do {
        if (current <= 0)
            return E_UNEXPECTED;
    } while (!g_serverLocks.compare_exchange_weak(current, current - 1, std::memory_order_release,
                                                  std::memory_order_relaxed));
    return S_OK;
}

LONG CClassFactory::LockCount()
{
    return g_serverLocks.load(std::memory_order_acquire);
}

HRESULT TvComCanUnloadNow()
{
    return CClassFactory::LockCount() == 0 && CBaseObject::ObjectsActive() == 0 ? S_OK : S_FALSE;
}
