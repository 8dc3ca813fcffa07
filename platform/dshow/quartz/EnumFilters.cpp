#include "EnumFilters.h"

#include "FilterGraph.h"

CEnumFilters* CEnumFilters::Create(CFilterGraph& graph)
{
    auto* enumerator = new CEnumFilters(graph);
    enumerator->AddRef();
    return enumerator;
}

CEnumFilters::CEnumFilters(CFilterGraph& graph)
    : CUnknown("Filter enumerator", nullptr), m_graph(graph), m_graphRef(graph.Owner())
{
    std::lock_guard<std::recursive_mutex> lock(m_graph.Lock());
    m_filters = m_graph.Filters().Snapshot();
    m_version = m_graph.Filters().Version();
}

STDMETHODIMP CEnumFilters::NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IEnumFilters)
        return GetInterface(static_cast<IEnumFilters*>(this), ppv);
    return CUnknown::NonDelegatingQueryInterface(riid, ppv);
}

bool CEnumFilters::InSync()
{
    std::lock_guard<std::recursive_mutex> lock(m_graph.Lock());
    return m_version == m_graph.Filters().Version();
}

STDMETHODIMP CEnumFilters::Next(ULONG cFilters, IBaseFilter** ppFilter, ULONG* pcFetched)
{
    if (!ppFilter || (cFilters != 1 && !pcFetched))
        return E_POINTER;
    if (pcFetched)
        *pcFetched = 0;
    if (!InSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    std::lock_guard<std::mutex> lock(m_lock);
    ULONG fetched = 0;
    while (fetched < cFilters && m_position < m_filters.size()) {
        IBaseFilter* filter = m_filters[m_position++].Get();
        filter->AddRef();
        ppFilter[fetched++] = filter;
    }
    if (pcFetched)
        *pcFetched = fetched;
    return fetched == cFilters ? S_OK : S_FALSE;
}

STDMETHODIMP CEnumFilters::Skip(ULONG cFilters)
{
    if (!InSync())
        return VFW_E_ENUM_OUT_OF_SYNC;
    std::lock_guard<std::mutex> lock(m_lock);
    const size_t left = m_filters.size() - m_position;
    if (cFilters > left) {
        m_position = m_filters.size();
        return S_FALSE;
    }
    m_position += cFilters;
    return S_OK;
}

STDMETHODIMP CEnumFilters::Reset()
{
    std::lock_guard<std::recursive_mutex> graphLock(m_graph.Lock());
    std::lock_guard<std::mutex> lock(m_lock);
    m_filters = m_graph.Filters().Snapshot();
    m_version = m_graph.Filters().Version();
    m_position = 0;
    return S_OK;
}

STDMETHODIMP CEnumFilters::Clone(IEnumFilters** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    CEnumFilters* copy = Create(m_graph);
    {
        std::lock_guard<std::mutex> lock(m_lock);
        copy->m_filters = m_filters;
        copy->m_position = m_position;
        copy->m_version = m_version;
    }
    *ppEnum = copy;
    return S_OK;
}
