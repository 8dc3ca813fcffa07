// Connection points: how a control's container receives its events. The
// container finds the control's event interface through
// IConnectionPointContainer::FindConnectionPoint, hands its sink (an object
// answering that interface or IDispatch) to Advise and gets a cookie back;
// Unadvise(cookie) releases the sink again. Slot order is Windows'.
#pragma once

#include "oaidl.h"

#define CONNECT_E_NOCONNECTION ((HRESULT)0x80040200)
#define CONNECT_E_ADVISELIMIT ((HRESULT)0x80040201)
#define CONNECT_E_CANNOTCONNECT ((HRESULT)0x80040202)
#define CONNECT_E_OVERRIDDEN ((HRESULT)0x80040203)

typedef struct tagCONNECTDATA {
    IUnknown* pUnk;
    DWORD dwCookie;
} CONNECTDATA, *LPCONNECTDATA;

struct IConnectionPoint;
struct IConnectionPointContainer;

// {B196B287-BAB4-101A-B69C-00AA00341D07}
DEFINE_GUID(IID_IEnumConnections, 0xB196B287, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34,
            0x1D, 0x07);
// Next hands out up to cConnections entries, each pUnk with a reference the
// caller releases; S_FALSE when fewer were left. pcFetched may be null only
// when cConnections is 1.
struct IEnumConnections : public IUnknown {
    virtual HRESULT Next(ULONG cConnections, LPCONNECTDATA rgcd, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cConnections) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumConnections** ppEnum) = 0;
};

// {B196B286-BAB4-101A-B69C-00AA00341D07}
DEFINE_GUID(IID_IConnectionPoint, 0xB196B286, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34,
            0x1D, 0x07);
// Advise: CONNECT_E_CANNOTCONNECT when the sink answers neither the outgoing
// interface nor IID_IDispatch; cookies are never 0. Unadvise with a cookie
// that is not advised: CONNECT_E_NOCONNECTION.
struct IConnectionPoint : public IUnknown {
    virtual HRESULT GetConnectionInterface(IID* pIID) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** ppCPC) = 0;
    virtual HRESULT Advise(IUnknown* pUnkSink, DWORD* pdwCookie) = 0;
    virtual HRESULT Unadvise(DWORD dwCookie) = 0;
    virtual HRESULT EnumConnections(IEnumConnections** ppEnum) = 0;
};

// {B196B285-BAB4-101A-B69C-00AA00341D07}
DEFINE_GUID(IID_IEnumConnectionPoints, 0xB196B285, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00,
            0x34, 0x1D, 0x07);
struct IEnumConnectionPoints : public IUnknown {
    virtual HRESULT Next(ULONG cConnections, IConnectionPoint** ppCP, ULONG* pcFetched) = 0;
    virtual HRESULT Skip(ULONG cConnections) = 0;
    virtual HRESULT Reset() = 0;
    virtual HRESULT Clone(IEnumConnectionPoints** ppEnum) = 0;
};

// {B196B284-BAB4-101A-B69C-00AA00341D07}
DEFINE_GUID(IID_IConnectionPointContainer, 0xB196B284, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00,
            0x34, 0x1D, 0x07);
// FindConnectionPoint: CONNECT_E_NOCONNECTION (and a null *ppCP) for an
// interface the object does not fire.
struct IConnectionPointContainer : public IUnknown {
    virtual HRESULT EnumConnectionPoints(IEnumConnectionPoints** ppEnum) = 0;
    virtual HRESULT FindConnectionPoint(REFIID riid, IConnectionPoint** ppCP) = 0;
};
