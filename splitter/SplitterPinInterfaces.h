// Parts of the output pins' interfaces that both pins share.
//
// CSplitterPositionBase: IMediaPosition whose four IDispatch methods answer
// S_OK and do nothing (the position is used through the vtable only; there is
// no type library), and which can always seek both ways.
//
// CSplitterStreamBuilder: IStreamBuilder of the output pins. Building the
// decoding chain behind a pin is not part of the splitter yet: Render answers
// E_NOTIMPL (E_POINTER for null arguments) and Backout, holding no filter,
// S_OK.
#pragma once

#include <streams.h>

class CSplitterPositionBase : public IMediaPosition {
public:
    STDMETHODIMP GetTypeInfoCount(UINT* pctinfo) override;
    STDMETHODIMP GetTypeInfo(UINT itinfo, LCID lcid, ITypeInfo** pptinfo) override;
    STDMETHODIMP GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                               DISPID* rgdispid) override;
    STDMETHODIMP Invoke(DISPID dispidMember, REFIID riid, LCID lcid, WORD wFlags,
                        DISPPARAMS* pdispparams, VARIANT* pvarResult, EXCEPINFO* pexcepinfo,
                        UINT* puArgErr) override;
    // S_OK, OATRUE.
    STDMETHODIMP CanSeekForward(LONG* pCanSeekForward) override;
    STDMETHODIMP CanSeekBackward(LONG* pCanSeekBackward) override;
};

class CSplitterStreamBuilder : public IStreamBuilder {
public:
    STDMETHODIMP Render(IPin* ppinOut, IGraphBuilder* pGraph) override;
    STDMETHODIMP Backout(IPin* ppinOut, IGraphBuilder* pGraph) override;
};
