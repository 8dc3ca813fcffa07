// IUnknown, IClassFactory and the object base classes every COM class here is
// built on (CBaseObject, CUnknown with aggregation).
//
// Binary contract: an interface is a class of pure virtual methods only, with
// no destructor of its own, so g++ lays out its vtable slot by slot in
// declaration order: QueryInterface 0, AddRef 1, Release 2, then the
// interface's own methods. Objects cross module boundaries only as interface
// pointers; nobody deletes an interface pointer, Release does.
#pragma once

#include <atomic>

#include "com/guid.h"

#define STDMETHODCALLTYPE
#define STDMETHOD(method) virtual HRESULT STDMETHODCALLTYPE method
#define STDMETHOD_(type, method) virtual type STDMETHODCALLTYPE method
#define STDMETHODIMP HRESULT STDMETHODCALLTYPE
#define STDMETHODIMP_(type) type STDMETHODCALLTYPE
#define STDAPI extern "C" HRESULT STDMETHODCALLTYPE
#define STDAPI_(type) extern "C" type STDMETHODCALLTYPE
#define PURE = 0

DEFINE_GUID(IID_IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);
DEFINE_GUID(IID_IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
            0x46);

class IUnknown {
public:
    // Any thread. A null ppv gives E_POINTER; a failure leaves *ppv null.
    STDMETHOD(QueryInterface)(REFIID riid, void** ppv) PURE;
    // Return the new reference count (for diagnostics only, as on Windows).
    STDMETHOD_(ULONG, AddRef)() PURE;
    STDMETHOD_(ULONG, Release)() PURE;
};
typedef IUnknown* LPUNKNOWN;

class IClassFactory : public IUnknown {
public:
    // With an outer unknown (aggregation) only IID_IUnknown may be asked for;
    // anything else gives CLASS_E_NOAGGREGATION.
    STDMETHOD(CreateInstance)(IUnknown* outer, REFIID riid, void** ppv) PURE;
    // TRUE keeps the module loaded while the caller holds the lock; an unlock
    // without a lock gives E_UNEXPECTED.
    STDMETHOD(LockServer)(BOOL lock) PURE;
};
typedef IClassFactory* LPCLASSFACTORY;

// The unknown of an aggregatable object that always acts on the object itself,
// never on its outer unknown.
class INonDelegatingUnknown {
public:
    STDMETHOD(NonDelegatingQueryInterface)(REFIID riid, LPVOID* ppv) PURE;
    STDMETHOD_(ULONG, NonDelegatingAddRef)() PURE;
    STDMETHOD_(ULONG, NonDelegatingRelease)() PURE;
};
typedef INonDelegatingUnknown* PNDUNKNOWN;

// Base of every counted object. The process-wide number of live objects is
// what DllCanUnloadNow looks at: a module is not unloaded while any object
// (or any server lock) exists in the process. This is conservative on purpose:
// the base classes live in shared libraries, so an object cannot be told
// apart by the module it came from, and keeping a module loaded too long is
// harmless while unloading it too early is not.
class CBaseObject {
public:
    // name: a static text for diagnostics (may be null); only the pointer is kept.
    explicit CBaseObject(LPCTSTR name);
    virtual ~CBaseObject();
    CBaseObject(const CBaseObject&) = delete;
    CBaseObject& operator=(const CBaseObject&) = delete;

    LPCTSTR Name() const { return m_pName; }
    // Live CBaseObjects in the process (any thread).
    static LONG ObjectsActive();

protected:
    LPCTSTR m_pName;
};

// Reference counting and aggregation for COM classes.
//
// A derived class also derives from its interfaces, puts DECLARE_IUNKNOWN in
// its body (so that those interfaces' IUnknown methods go to GetOwner()) and
// overrides NonDelegatingQueryInterface, answering its own IIDs with
// GetInterface(static_cast<IMyInterface*>(this), ppv) and passing the rest to
// its base class.
//
// Standing alone (outer null), GetOwner() is the object's own non-delegating
// unknown, which is also its identity for IID_IUnknown. Aggregated, GetOwner()
// is the outer unknown: every interface of the object then counts references
// and answers QueryInterface as the outer object, and only the non-delegating
// unknown (what the class factory hands to the outer object) controls the
// inner object's life. The non-delegating unknown is a real IUnknown object
// inside CUnknown: get it with GetNonDelegatingUnknown(), never by casting an
// INonDelegatingUnknown pointer to IUnknown.
//
// The count starts at 0; the creator takes the first reference. The object
// deletes itself when the count returns to 0. Counting is atomic (any thread).
class CUnknown : public INonDelegatingUnknown, public CBaseObject {
public:
    CUnknown(LPCTSTR name, LPUNKNOWN outer);
    // The constructor form of the DirectShow classes; *phr is left as it is.
    CUnknown(LPCTSTR name, LPUNKNOWN outer, HRESULT* phr);
    ~CUnknown() override;

    // Where the IUnknown methods of the object's interfaces go.
    LPUNKNOWN GetOwner() const { return m_pUnknown; }
    // The object's own identity; does not add a reference.
    LPUNKNOWN GetNonDelegatingUnknown() { return &m_nonDelegating; }

    // Answers IID_IUnknown with the non-delegating unknown, everything else
    // with E_NOINTERFACE (and a null *ppv).
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv) override;
    STDMETHODIMP_(ULONG) NonDelegatingAddRef() override;
    STDMETHODIMP_(ULONG) NonDelegatingRelease() override;

protected:
    std::atomic<LONG> m_cRef;

private:
    // IUnknown over the owning object's NonDelegating* methods.
    class CNonDelegatingUnknown final : public IUnknown {
    public:
        explicit CNonDelegatingUnknown(CUnknown* object) : m_object(object) {}
        STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;
        STDMETHODIMP_(ULONG) AddRef() override;
        STDMETHODIMP_(ULONG) Release() override;

    private:
        CUnknown* const m_object;
    };

    CNonDelegatingUnknown m_nonDelegating;
    LPUNKNOWN const m_pUnknown;
};

// The IUnknown methods of a CUnknown-derived class: all go to the owner.
#define DECLARE_IUNKNOWN                                                                           \
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override                                  \
    {                                                                                              \
        return GetOwner()->QueryInterface(riid, ppv);                                              \
    }                                                                                              \
    STDMETHODIMP_(ULONG) AddRef() override                                                         \
    {                                                                                              \
        return GetOwner()->AddRef();                                                               \
    }                                                                                              \
    STDMETHODIMP_(ULONG) Release() override                                                        \
    {                                                                                              \
        return GetOwner()->Release();                                                              \
    }

// Hands out an interface pointer: *ppv = unk and one reference added to it.
// E_POINTER when ppv is null.
STDAPI GetInterface(LPUNKNOWN unk, void** ppv);
