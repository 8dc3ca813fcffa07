// Helpers for the automation-style control interfaces of filters and pins.
//
// CBaseDispatch is the minimal IDispatch of this platform: there are no type
// libraries here, and the system calls automation interfaces through their
// vtable only, so the four dispatch methods report "no type information" and
// decline late-bound calls (E_NOTIMPL) without failing on their arguments.
//
// CDispatchStub<I> implements those four methods once for any automation
// interface I (IMediaPosition, IVideoWindow, IBasicVideo, IBasicAudio,
// IMediaControl, IMediaEventEx): a class derives from CDispatchStub<I> instead
// of I and writes only I's own methods.
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

// The IDispatch part of an automation interface I, answered by CBaseDispatch.
// Any thread; no state. TypeInfoCountResult is what GetTypeInfoCount returns
// besides *pctinfo = 0: S_OK ("no type information") for the filters'
// interfaces; the graph manager declares automation as not offered at all
// (E_NOTIMPL), as it always has.
template <class I, HRESULT TypeInfoCountResult = S_OK> class CDispatchStub : public I {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override
    {
        HRESULT hr = CBaseDispatch().GetTypeInfoCount(pctinfo);
        return FAILED(hr) ? hr : TypeInfoCountResult;
    }
    STDMETHODIMP GetTypeInfo(UINT itinfo, LCID lcid, ITypeInfo** pptinfo) override
    {
        return CBaseDispatch().GetTypeInfo(IID_NULL, itinfo, lcid, pptinfo);
    }
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                               DISPID* rgdispid) override
    {
        return CBaseDispatch().GetIDsOfNames(riid, rgszNames, cNames, lcid, rgdispid);
    }
    STDMETHODIMP Invoke(DISPID dispidMember, REFIID riid, LCID lcid, WORD wFlags,
                        DISPPARAMS* pdispparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo,
                        UINT* puArgErr) override
    {
        return CBaseDispatch().Invoke(dispidMember, riid, lcid, wFlags, pdispparams, pvarResult,
                                      pexcepinfo, puArgErr);
    }
};

// The override declarations of a class that implements IMediaSeeking or
// IMediaPosition (as DECLARE_IUNKNOWN declares IUnknown's); the class says
// what its answers are in its own comment.
#define DECLARE_IMEDIASEEKING                                                                      \
    STDMETHODIMP GetCapabilities(DWORD* pCapabilities) override;                                   \
    STDMETHODIMP CheckCapabilities(DWORD* pCapabilities) override;                                 \
    STDMETHODIMP IsFormatSupported(const GUID* pFormat) override;                                  \
    STDMETHODIMP QueryPreferredFormat(GUID* pFormat) override;                                     \
    STDMETHODIMP GetTimeFormat(GUID* pFormat) override;                                            \
    STDMETHODIMP IsUsingTimeFormat(const GUID* pFormat) override;                                  \
    STDMETHODIMP SetTimeFormat(const GUID* pFormat) override;                                      \
    STDMETHODIMP GetDuration(LONGLONG* pDuration) override;                                        \
    STDMETHODIMP GetStopPosition(LONGLONG* pStop) override;                                        \
    STDMETHODIMP GetCurrentPosition(LONGLONG* pCurrent) override;                                  \
    STDMETHODIMP ConvertTimeFormat(LONGLONG* pTarget, const GUID* pTargetFormat, LONGLONG Source,  \
                                   const GUID* pSourceFormat) override;                            \
    STDMETHODIMP SetPositions(LONGLONG* pCurrent, DWORD dwCurrentFlags, LONGLONG* pStop,           \
                              DWORD dwStopFlags) override;                                         \
    STDMETHODIMP GetPositions(LONGLONG* pCurrent, LONGLONG* pStop) override;                       \
    STDMETHODIMP GetAvailable(LONGLONG* pEarliest, LONGLONG* pLatest) override;                    \
    STDMETHODIMP SetRate(double dRate) override;                                                   \
    STDMETHODIMP GetRate(double* pdRate) override;                                                 \
    STDMETHODIMP GetPreroll(LONGLONG* pllPreroll) override;

#define DECLARE_IMEDIAPOSITION                                                                     \
    STDMETHODIMP get_Duration(REFTIME* plength) override;                                          \
    STDMETHODIMP put_CurrentPosition(REFTIME llTime) override;                                     \
    STDMETHODIMP get_CurrentPosition(REFTIME* pllTime) override;                                   \
    STDMETHODIMP get_StopTime(REFTIME* pllTime) override;                                          \
    STDMETHODIMP put_StopTime(REFTIME llTime) override;                                            \
    STDMETHODIMP get_PrerollTime(REFTIME* pllTime) override;                                       \
    STDMETHODIMP put_PrerollTime(REFTIME llTime) override;                                         \
    STDMETHODIMP put_Rate(double dRate) override;                                                  \
    STDMETHODIMP get_Rate(double* pdRate) override;                                                \
    STDMETHODIMP CanSeekForward(LONG* pCanSeekForward) override;                                   \
    STDMETHODIMP CanSeekBackward(LONG* pCanSeekBackward) override;

// Base of an IMediaPosition implementation. Derived classes implement the
// IMediaPosition methods; QueryInterface answers IMediaPosition and IDispatch.
// Positions are in seconds (REFTIME, a double).
class CMediaPosition : public CDispatchStub<IMediaPosition>, public CUnknown {
public:
    CMediaPosition(LPCTSTR name, LPUNKNOWN pUnk);
    CMediaPosition(LPCTSTR name, LPUNKNOWN pUnk, HRESULT* phr);

    DECLARE_IUNKNOWN

    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
};

#include "posthru.h"
