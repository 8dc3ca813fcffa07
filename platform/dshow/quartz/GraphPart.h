// What every part of the filter graph manager shares.
//
// The graph manager is one COM object (CFilterGraph) made of parts, each
// implementing a group of its interfaces: building (IGraphBuilder), control
// (IMediaControl, IMediaFilter), events (IMediaEventEx, IMediaEventSink),
// positioning (IMediaSeeking, IMediaPosition) and the interfaces forwarded to
// the renderers. A part is a member of the graph object; its IUnknown methods go
// to the graph's owner, so every interface answers as the one object.
#pragma once

#include <dshow.h>

class CFilterGraph;

// The IUnknown methods of a graph part: all go to the graph's owning unknown.
// The part has a member `CFilterGraph& m_graph`.
#define DECLARE_GRAPH_PART_IUNKNOWN                                                                \
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override;                                 \
    STDMETHODIMP_(ULONG) AddRef() override;                                                        \
    STDMETHODIMP_(ULONG) Release() override;

#define IMPLEMENT_GRAPH_PART_IUNKNOWN(Class)                                                       \
    STDMETHODIMP Class::QueryInterface(REFIID riid, void** ppv)                                    \
    {                                                                                              \
        return m_graph.Owner()->QueryInterface(riid, ppv);                                         \
    }                                                                                              \
    STDMETHODIMP_(ULONG) Class::AddRef()                                                           \
    {                                                                                              \
        return m_graph.Owner()->AddRef();                                                          \
    }                                                                                              \
    STDMETHODIMP_(ULONG) Class::Release()                                                          \
    {                                                                                              \
        return m_graph.Owner()->Release();                                                         \
    }

// The IDispatch methods of the automation interfaces: the system calls them
// through their vtables only, so late binding is not offered.
#define DECLARE_NO_DISPATCH                                                                        \
    STDMETHODIMP GetTypeInfoCount(UINT* count) override                                            \
    {                                                                                              \
        if (count)                                                                                 \
            *count = 0;                                                                            \
        return E_NOTIMPL;                                                                          \
    }                                                                                              \
    STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo** info) override                                \
    {                                                                                              \
        if (info)                                                                                  \
            *info = nullptr;                                                                       \
        return E_NOTIMPL;                                                                          \
    }                                                                                              \
    STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override                    \
    {                                                                                              \
        return E_NOTIMPL;                                                                          \
    }                                                                                              \
    STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*)      \
        override                                                                                   \
    {                                                                                              \
        return E_NOTIMPL;                                                                          \
    }
