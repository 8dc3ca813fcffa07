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

#include <type_traits>

#include "ctlutil.h"

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

// The automation interfaces of the graph (IMediaControl, IMediaEventEx,
// IMediaPosition and the renderer forwarders) with their IDispatch part: the
// system calls them through their vtables only, so late binding is not
// offered, and the graph says so even for the type information count
// (E_NOTIMPL). Interfaces that are not automation interfaces pass as they are.
template <class I>
using CGraphInterface =
    std::conditional_t<std::is_base_of_v<IDispatch, I>, CDispatchStub<I, E_NOTIMPL>, I>;
