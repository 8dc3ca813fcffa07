// CBaseObject's process-wide object count and CUnknown's reference counting.
#include "com/unknown.h"

namespace {

std::atomic<LONG> g_objectsActive{0};

} // namespace

CBaseObject::CBaseObject(LPCTSTR name) : m_pName(name)
{
    g_objectsActive.fetch_add(1, std::memory_order_relaxed);
}

CBaseObject::~CBaseObject()
{
    // Release ordering: everything the object did happens before a module
    // unload that sees the count at zero.
    g_objectsActive.fetch_sub(1, std::memory_order_release);
}

LONG CBaseObject::ObjectsActive()
{
    return g_objectsActive.load(std::memory_order_acquire);
}

CUnknown::CUnknown(LPCTSTR name, LPUNKNOWN outer)
    : CBaseObject(name), m_cRef(0), m_nonDelegating(this),
      m_pUnknown(outer ? outer : &m_nonDelegating)
{
}

CUnknown::CUnknown(LPCTSTR name, LPUNKNOWN outer, HRESULT* /*phr*/) : CUnknown(name, outer) {}

CUnknown::~CUnknown() = default;

STDMETHODIMP CUnknown::NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown)
        return GetInterface(&m_nonDelegating, ppv);
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingAddRef()
{
    return static_cast<ULONG>(m_cRef.fetch_add(1, std::memory_order_relaxed) + 1);
}

STDMETHODIMP_(ULONG) CUnknown::NonDelegatingRelease()
{
    const LONG count = m_cRef.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (count == 0) {
        // A destructor that takes and drops a reference to its own object must
        // not start a second deletion.
        m_cRef.store(1, std::memory_order_relaxed);
        delete this;
        return 0;
    }
    return static_cast<ULONG>(count);
}

STDMETHODIMP CUnknown::CNonDelegatingUnknown::QueryInterface(REFIID riid, void** ppv)
{
    return m_object->NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP_(ULONG) CUnknown::CNonDelegatingUnknown::AddRef()
{
    return m_object->NonDelegatingAddRef();
}

STDMETHODIMP_(ULONG) CUnknown::CNonDelegatingUnknown::Release()
{
    return m_object->NonDelegatingRelease();
}

STDAPI GetInterface(LPUNKNOWN unk, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = unk;
    unk->AddRef();
    return S_OK;
}
