// Helpers for the automation-style control interfaces of filters and pins.
//
// CBaseDispatch is the minimal IDispatch of this platform: there are no type
// libraries here, and the system calls automation interfaces through their
// vtable only, so the four dispatch methods report "no type information" and
// decline late-bound calls (E_NOTIMPL) without failing on their arguments.
//
// CMediaPosition is the base of an IMediaPosition implementation: a COM object
// (aggregatable) that answers IMediaPosition and IDispatch and leaves the
// eleven position methods to the derived class.
//
// The pass-through of seeking requests to the upstream filter (CPosPassThru,
// CRendererPosPassThru, CreatePosPassThru) is declared in posthru.h, which this
// header includes.
#pragma once

#include <objbase.h>

#include "control.h"
#include "strmif.h"

// An IDispatch without a type library (not a COM object of its own: the owner
// forwards its IDispatch methods here).
class CBaseDispatch {
public:
    CBaseDispatch() = default;
    CBaseDispatch(const CBaseDispatch&) = delete;
    CBaseDispatch& operator=(const CBaseDispatch&) = delete;

    // *pctinfo = 0: no type information. E_POINTER for a null pointer.
    HRESULT GetTypeInfoCount(UINT* pctinfo);
    // No type information: *pptinfo = null and E_NOTIMPL (E_POINTER for null).
    HRESULT GetTypeInfo(REFIID riid, UINT itinfo, LCID lcid, ITypeInfo** pptinfo);
    // Names are not known: every rgdispid entry becomes DISPID_UNKNOWN and the
    // result is E_NOTIMPL (E_POINTER for null arrays with cNames > 0).
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                          DISPID* rgdispid);
    // Late-bound calls are not offered: E_NOTIMPL, *puArgErr untouched.
    HRESULT Invoke(DISPID dispidMember, REFIID riid, LCID lcid, WORD wFlags,
                   DISPPARAMS* pdispparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo,
                   UINT* puArgErr);
};

#ifndef DISPID_UNKNOWN
#define DISPID_UNKNOWN (-1)
#endif

// Base of an IMediaPosition implementation. Derived classes implement the
// IMediaPosition methods; QueryInterface answers IMediaPosition and IDispatch.
// Positions are in seconds (REFTIME, a double).
class CMediaPosition : public IMediaPosition, public CUnknown {
public:
    CMediaPosition(LPCTSTR name, LPUNKNOWN pUnk);
    CMediaPosition(LPCTSTR name, LPUNKNOWN pUnk, HRESULT* phr);

    DECLARE_IUNKNOWN

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // IDispatch (see CBaseDispatch).
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT itinfo, LCID lcid, ITypeInfo** pptinfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                               DISPID* rgdispid) override;
    STDMETHODIMP Invoke(DISPID dispidMember, REFIID riid, LCID lcid, WORD wFlags,
                        DISPPARAMS* pdispparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo,
                        UINT* puArgErr) override;

private:
    CBaseDispatch m_basedisp;
};

#include "posthru.h"

// ISpecifyPropertyPages::GetPages of a filter with one property page: a
// CoTaskMemAlloc array (the caller frees it) holding that page's class.
// E_POINTER for a null pPages, E_OUTOFMEMORY (with no pages) without memory.
HRESULT AMGetSinglePropertyPage(CAUUID* pPages, REFCLSID page);
