// Class factories over a module's table of creatable classes, and the table
// every COM module defines:
//
//   CFactoryTemplate g_Templates[] = {
//       {L"My Filter", &CLSID_MyFilter, CMyFilter::CreateInstance, nullptr, &sudMyFilter},
//   };
//   int g_cTemplates = sizeof(g_Templates) / sizeof(g_Templates[0]);
//
// (both non-const with external linkage: tvcomdll refers to them). The module
// links the static library tvcomdll whole (tv_add_module does), which exports
// DllGetClassObject, DllCanUnloadNow, DllRegisterServer, DllUnregisterServer
// and DllMain over that table; a module defines none of these itself. The
// loader runs each template's m_lpfnInit(TRUE) after the module's static
// constructors and m_lpfnInit(FALSE) when it unloads the module.
#pragma once

#include <new>

#include "com/unknown.h"

// Defined by the DirectShow layer as a plain struct (not a typedef of a tag):
// struct AMOVIESETUP_FILTER { ... };
struct AMOVIESETUP_FILTER;

// Creates an object; returns it with a reference count of 0, or null (then
// *phr says why; it may also be set to a failure with an object returned).
typedef CUnknown* (*LPFNNewCOMObject)(LPUNKNOWN outer, HRESULT* phr);
// Called with TRUE when the module is loaded and FALSE when it is unloaded.
typedef void (*LPFNInitRoutine)(BOOL loading, const CLSID* clsid);

struct CFactoryTemplate {
    const WCHAR* m_Name;
    const CLSID* m_ClsID;
    LPFNNewCOMObject m_lpfnNew;
    LPFNInitRoutine m_lpfnInit;
    const AMOVIESETUP_FILTER* m_pAMovieSetup_Filter;

    bool IsClassID(REFCLSID clsid) const { return m_ClsID && IsEqualCLSID(*m_ClsID, clsid); }
    CUnknown* CreateInstance(LPUNKNOWN outer, HRESULT* phr) const
    {
        return m_lpfnNew ? m_lpfnNew(outer, phr) : nullptr;
    }
};

// The creation function of a template for a class T built as
// T(Args..., outer, &hr): T's object with a reference count of 0, or null with
// *phr set to the constructor's failure (the object is deleted again) or to
// E_OUTOFMEMORY. The leading Args are constants (a class id, when one class
// serves several). A class with a private constructor befriends it:
//
//   template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
//
//   {L"My Filter", &CLSID_MyFilter, CreateComInstance<CMyFilter>, nullptr, &sudMyFilter},
template <class T, auto... Args> CUnknown* CreateComInstance(LPUNKNOWN outer, HRESULT* phr)
{
    HRESULT hr = S_OK;
    T* object = new (std::nothrow) T(Args..., outer, &hr);
    if (!object)
        hr = E_OUTOFMEMORY;
    else if (SUCCEEDED(hr))
        return object;
    delete object;
    if (phr)
        *phr = hr;
    return nullptr;
}

// IClassFactory over one template. Counts as a live object while it exists,
// and LockServer locks count too, so DllCanUnloadNow keeps the module loaded
// while anyone holds a factory or a lock. Thread-safe.
class CClassFactory : public IClassFactory, public CBaseObject {
public:
    explicit CClassFactory(const CFactoryTemplate* templ);

    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    // Creates through the template: E_POINTER for a null ppv,
    // CLASS_E_NOAGGREGATION for an outer unknown with any IID but IID_IUnknown,
    // E_OUTOFMEMORY (or the creator's failure) when no object comes back,
    // otherwise the object's answer to NonDelegatingQueryInterface(riid); an
    // object that does not support riid is destroyed again.
    STDMETHODIMP CreateInstance(LPUNKNOWN outer, REFIID riid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

    // Server locks held in the process.
    static LONG LockCount();

private:
    ~CClassFactory() override = default;

    std::atomic<LONG> m_cRef{0};
    const CFactoryTemplate* const m_pTemplate;
};

// S_OK when no object and no server lock exists in the process, else S_FALSE.
// What each module's DllCanUnloadNow answers.
HRESULT TvComCanUnloadNow();

// Optional hook for more registration data than the class keys (the DirectShow
// layer registers its filter data through it). DllRegisterServer calls it after
// writing the class keys of all templates with reg TRUE; DllUnregisterServer
// calls it with reg FALSE before deleting them. A failure of it fails the call.
// Whoever needs it defines it once with this signature (extern "C", default
// visibility), in a shared library the module links or in the module itself;
// the module's reference is weak, so it is bound at load time when a
// definition is there and the hook is skipped otherwise. (A weak reference
// does not pull an object out of a static library: a definition in a static
// library is only seen when the module uses something else of that object.)
extern "C" HRESULT TvRegisterModuleExtras(const CFactoryTemplate* templates, int count, BOOL reg);

#ifndef DLL_PROCESS_ATTACH
#define DLL_PROCESS_DETACH 0
#define DLL_PROCESS_ATTACH 1
#define DLL_THREAD_ATTACH 2
#define DLL_THREAD_DETACH 3
#endif
