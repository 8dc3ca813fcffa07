// IEnumFilters over the filters of a graph, newest first.
//
// The enumerator holds a reference to the graph and a copy of its filter list.
// Once the graph's filters change, Next and Skip answer VFW_E_ENUM_OUT_OF_SYNC
// until Reset takes a fresh copy. Any thread.
#pragma once

#include <dshow.h>

#include <mutex>
#include <vector>

#include "InterfacePtr.h"

class CFilterGraph;

class CEnumFilters : public CUnknown, public IEnumFilters {
public:
    // A new enumerator holding one reference (for the caller). Takes the
    // graph lock.
    static CEnumFilters* Create(CFilterGraph& graph);

    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv) override;

    STDMETHODIMP Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched) override;
    STDMETHODIMP Skip(ULONG cFilters) override;
    STDMETHODIMP Reset() override;
    STDMETHODIMP Clone(IEnumFilters** ppEnum) override;

private:
    explicit CEnumFilters(CFilterGraph& graph);
    bool InSync();

    CFilterGraph& m_graph;
    CInterfacePtr<IUnknown> m_graphRef;

    // guarded by m_lock
    std::mutex m_lock;
    std::vector<CInterfacePtr<IBaseFilter>> m_filters;
    size_t m_position = 0;
    LONG m_version = 0;
};
