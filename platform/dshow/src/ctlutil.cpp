// CBaseDispatch and CMediaPosition.
#include "ctlutil.h"

HRESULT CBaseDispatch::GetTypeInfoCount(UINT* pctinfo)
{
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT CBaseDispatch::GetTypeInfo(REFIID, UINT, LCID, ITypeInfo** pptinfo)
{
    if (!pptinfo)
        return E_POINTER;
    *pptinfo = nullptr;
    return E_NOTIMPL;
}

HRESULT CBaseDispatch::GetIDsOfNames(REFIID, LPOLESTR* rgszNames, UINT cNames, LCID,
                                     DISPID* rgdispid)
{
    if (cNames > 0 && (!rgszNames || !rgdispid))
        return E_POINTER;
    for (UINT i = 0; i < cNames; ++i)
        rgdispid[i] = DISPID_UNKNOWN;
    return E_NOTIMPL;
}

HRESULT CBaseDispatch::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)
{
    return E_NOTIMPL;
}

CMediaPosition::CMediaPosition(LPCTSTR name, LPUNKNOWN pUnk) : CUnknown(name, pUnk) {}

CMediaPosition::CMediaPosition(LPCTSTR name, LPUNKNOWN pUnk, HRESULT* phr)
    : CUnknown(name, pUnk, phr)
{
}

STDMETHODIMP CMediaPosition::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMediaPosition)
        return GetInterface(static_cast<IMediaPosition*>(this), ppv);
    if (riid == IID_IDispatch)
        return GetInterface(static_cast<IDispatch*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}
