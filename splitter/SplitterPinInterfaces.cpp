#include "SplitterPinInterfaces.h"

STDMETHODIMP CSplitterPositionBase::GetTypeInfoCount(UINT* pctinfo)
{
    if (pctinfo)
        *pctinfo = 0;
    return S_OK;
}

STDMETHODIMP CSplitterPositionBase::GetTypeInfo(UINT, LCID, ITypeInfo** pptinfo)
{
    if (pptinfo)
        *pptinfo = nullptr;
    return S_OK;
}

STDMETHODIMP CSplitterPositionBase::GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*)
{
    return S_OK;
}

STDMETHODIMP CSplitterPositionBase::Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*,
                                           EXCEPINFO*, UINT*)
{
    return S_OK;
}

STDMETHODIMP CSplitterPositionBase::CanSeekForward(LONG* pCanSeekForward)
{
    if (pCanSeekForward)
        *pCanSeekForward = OATRUE;
    return S_OK;
}

STDMETHODIMP CSplitterPositionBase::CanSeekBackward(LONG* pCanSeekBackward)
{
    if (pCanSeekBackward)
        *pCanSeekBackward = OATRUE;
    return S_OK;
}

STDMETHODIMP CSplitterStreamBuilder::Render(IPin* ppinOut, IGraphBuilder* pGraph)
{
    if (!ppinOut || !pGraph)
        return E_POINTER;
    return E_NOTIMPL;
}

STDMETHODIMP CSplitterStreamBuilder::Backout(IPin*, IGraphBuilder*)
{
    return S_OK;
}
