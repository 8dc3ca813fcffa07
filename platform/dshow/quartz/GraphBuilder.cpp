#include "GraphBuilder.h"

#include <stdarg.h>
#include <stdio.h>

#include <set>

#include "EnumFilters.h"
#include "FilterGraph.h"
#include "GraphTopology.h"
#include "QuartzTrace.h"
#include "win32/file.h"

namespace {

// Render follows a stream through at most this many filters.
constexpr int kMaxRenderDepth = 32;

using GraphLock = std::lock_guard<std::recursive_mutex>;

std::string Utf8(LPCWSTR text)
{
    return text ? TvWideToUtf8(text) : std::string("(null)");
}

PIN_DIRECTION DirectionOf(IPin* pin, bool* ok)
{
    PIN_DIRECTION dir = PINDIR_INPUT;
    *ok = SUCCEEDED(pin->QueryDirection(&dir));
    return dir;
}

// The filters upstream of `filter` (itself included): a stream must not be
// rendered back into them.
std::set<IBaseFilter*> UpstreamOf(IBaseFilter* filter)
{
    std::set<IBaseFilter*> seen;
    std::vector<CInterfacePtr<IBaseFilter>> work{CInterfacePtr<IBaseFilter>(filter)};
    while (!work.empty()) {
        CInterfacePtr<IBaseFilter> f = std::move(work.back());
        work.pop_back();
        if (!f || !seen.insert(f.Get()).second)
            continue;
        for (const CInterfacePtr<IPin>& in : TvFilterPins(f.Get(), PINDIR_INPUT)) {
            CInterfacePtr<IPin> peer = TvConnectedPin(in.Get());
            if (peer)
                work.push_back(TvPinFilter(peer.Get()));
        }
    }
    return seen;
}

} // namespace

IMPLEMENT_GRAPH_PART_IUNKNOWN(CGraphBuilder)

void CGraphBuilder::Log(const char* format, ...)
{
    char line[512];
    va_list args;
    va_start(args, format);
    int length = vsnprintf(line, sizeof(line) - 1, format, args);
    va_end(args);
    if (length < 0)
        return;
    if (length > static_cast<int>(sizeof(line)) - 2)
        length = sizeof(line) - 2;
    QUARTZ_TRACE("%s", line);
    if (!m_logFile)
        return;
    line[length++] = '\n';
    DWORD written = 0;
    WriteFile(reinterpret_cast<HANDLE>(m_logFile), line, static_cast<DWORD>(length), &written,
              nullptr);
}

// ---- filters ----

STDMETHODIMP CGraphBuilder::AddFilter(IBaseFilter* pFilter, LPCWSTR pName)
{
    if (!pFilter)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    CFilterList& filters = m_graph.Filters();
    if (filters.Contains(pFilter)) {
        Log("AddFilter \"%s\": already in the graph", Utf8(pName).c_str());
        return E_INVALIDARG;
    }
    std::wstring name;
    const HRESULT hr = filters.PickName(pName, &name);
    if (FAILED(hr)) {
        Log("AddFilter \"%s\": 0x%08X", Utf8(pName).c_str(), static_cast<unsigned>(hr));
        return hr;
    }
    // In the list before it joins, so a filter that looks itself up while
    // joining finds itself.
    filters.Insert(pFilter, name);
    const HRESULT join = pFilter->JoinFilterGraph(m_graph.AsFilterGraph(), name.c_str());
    if (FAILED(join)) {
        filters.Remove(pFilter);
        Log("AddFilter \"%s\": JoinFilterGraph 0x%08X", Utf8(name.c_str()).c_str(),
            static_cast<unsigned>(join));
        return join;
    }
    m_graph.Control().FilterAdded(pFilter);
    Log("AddFilter \"%s\" as \"%s\": 0x%08X", Utf8(pName).c_str(), Utf8(name.c_str()).c_str(),
        static_cast<unsigned>(hr));
    return hr;
}

STDMETHODIMP CGraphBuilder::RemoveFilter(IBaseFilter* pFilter)
{
    if (!pFilter)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    return RemoveLocked(pFilter);
}

HRESULT CGraphBuilder::RemoveLocked(IBaseFilter* filter)
{
    CFilterList& filters = m_graph.Filters();
    if (!filters.Contains(filter))
        return E_FAIL;
    // A playing neighbour would refuse to let go of the connection, and the
    // filter would go on receiving samples outside the graph.
    if (m_graph.Control().State() != State_Stopped) {
        for (const CInterfacePtr<IPin>& pin : TvFilterPins(filter)) {
            if (TvConnectedPin(pin.Get()))
                return VFW_E_NOT_STOPPED;
        }
    }
    // Held until the filter has left the graph completely.
    CInterfacePtr<IBaseFilter> hold(filter);
    m_graph.Control().FilterRemoving(filter);
    m_graph.Events().FilterRemoved(filter);
    for (const CInterfacePtr<IPin>& pin : TvFilterPins(filter)) {
        CInterfacePtr<IPin> peer = TvConnectedPin(pin.Get());
        if (!peer)
            continue;
        bool ok = false;
        // The output end first, as for any connection the graph breaks.
        if (DirectionOf(pin.Get(), &ok) == PINDIR_OUTPUT) {
            pin->Disconnect();
            peer->Disconnect();
        } else {
            peer->Disconnect();
            pin->Disconnect();
        }
    }
    filter->JoinFilterGraph(nullptr, nullptr);
    filters.Remove(filter);
    Log("RemoveFilter %p", static_cast<void*>(filter));
    return S_OK;
}

void CGraphBuilder::RemoveAll()
{
    while (!m_graph.Filters().Empty())
        RemoveLocked(m_graph.Filters().Entries().front().filter.Get());
}

STDMETHODIMP CGraphBuilder::EnumFilters(IEnumFilters** ppEnum)
{
    if (!ppEnum)
        return E_POINTER;
    *ppEnum = nullptr;
    GraphLock lock(m_graph.Lock());
    CEnumFilters* enumerator = CEnumFilters::Create(m_graph);
    if (!enumerator)
        return E_OUTOFMEMORY;
    *ppEnum = enumerator;
    return S_OK;
}

STDMETHODIMP CGraphBuilder::FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter)
{
    if (!ppFilter)
        return E_POINTER;
    *ppFilter = nullptr;
    if (!pName)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    IBaseFilter* filter = m_graph.Filters().FindByName(pName);
    if (!filter)
        return VFW_E_NOT_FOUND;
    filter->AddRef();
    *ppFilter = filter;
    return S_OK;
}

// ---- connections ----

HRESULT CGraphBuilder::CheckPinInGraph(IPin* pin)
{
    CInterfacePtr<IBaseFilter> owner = TvPinFilter(pin);
    if (!owner || !m_graph.Filters().FindObject(owner.Get()))
        return VFW_E_NOT_IN_GRAPH;
    return S_OK;
}

STDMETHODIMP CGraphBuilder::ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt)
{
    if (!ppinOut || !ppinIn)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    if (m_graph.Control().State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    bool okOut = false;
    bool okIn = false;
    if (DirectionOf(ppinOut, &okOut) != PINDIR_OUTPUT ||
        DirectionOf(ppinIn, &okIn) != PINDIR_INPUT || !okOut || !okIn)
        return VFW_E_INVALID_DIRECTION;
    HRESULT hr = CheckPinInGraph(ppinOut);
    if (SUCCEEDED(hr))
        hr = CheckPinInGraph(ppinIn);
    if (SUCCEEDED(hr))
        hr = ppinOut->Connect(ppinIn, pmt);
    Log("ConnectDirect %p -> %p%s: 0x%08X", static_cast<void*>(ppinOut), static_cast<void*>(ppinIn),
        pmt ? " (with type)" : "", static_cast<unsigned>(hr));
    return hr;
}

STDMETHODIMP CGraphBuilder::Disconnect(IPin* ppin)
{
    if (!ppin)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    const HRESULT hr = ppin->Disconnect();
    Log("Disconnect %p: 0x%08X", static_cast<void*>(ppin), static_cast<unsigned>(hr));
    return hr;
}

STDMETHODIMP CGraphBuilder::Reconnect(IPin* ppin)
{
    if (!ppin)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    if (m_graph.Control().State() != State_Stopped)
        return VFW_E_NOT_STOPPED;
    CInterfacePtr<IPin> peer = TvConnectedPin(ppin);
    if (!peer)
        return VFW_E_NOT_CONNECTED;
    bool ok = false;
    const bool isOutput = DirectionOf(ppin, &ok) == PINDIR_OUTPUT;
    if (!ok)
        return E_FAIL;
    IPin* out = isOutput ? ppin : peer.Get();
    IPin* in = isOutput ? peer.Get() : ppin;
    out->Disconnect();
    in->Disconnect();
    const HRESULT hr = out->Connect(in, nullptr);
    Log("Reconnect %p: 0x%08X", static_cast<void*>(ppin), static_cast<unsigned>(hr));
    return hr;
}

STDMETHODIMP CGraphBuilder::SetDefaultSyncSource()
{
    GraphLock lock(m_graph.Lock());
    return m_graph.Control().SetDefaultClock();
}

STDMETHODIMP CGraphBuilder::Connect(IPin* ppinOut, IPin* ppinIn)
{
    if (!ppinOut || !ppinIn)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    m_abort = false;
    HRESULT hr = ConnectDirect(ppinOut, ppinIn, nullptr);
    if (SUCCEEDED(hr))
        return hr;
    // Failures that no filter in between can help with.
    if (hr == E_POINTER || hr == VFW_E_NOT_STOPPED || hr == VFW_E_INVALID_DIRECTION ||
        hr == VFW_E_NOT_IN_GRAPH || hr == VFW_E_ALREADY_CONNECTED)
        return hr;
    hr = ConnectThroughGraph(ppinOut, ppinIn);
    Log("Connect %p -> %p: 0x%08X", static_cast<void*>(ppinOut), static_cast<void*>(ppinIn),
        static_cast<unsigned>(hr));
    return hr;
}

HRESULT CGraphBuilder::ConnectThroughGraph(IPin* out, IPin* in)
{
    CInterfacePtr<IBaseFilter> outFilter = TvPinFilter(out);
    CInterfacePtr<IBaseFilter> inFilter = TvPinFilter(in);
    const std::set<IBaseFilter*> upstream = UpstreamOf(outFilter.Get());
    for (const CInterfacePtr<IBaseFilter>& middle : m_graph.Filters().Snapshot()) {
        if (m_abort)
            return E_ABORT;
        if (upstream.count(middle.Get()) || TvSameObject(middle.Get(), inFilter.Get()))
            continue;
        for (const CInterfacePtr<IPin>& midIn : TvFilterPins(middle.Get(), PINDIR_INPUT)) {
            if (TvConnectedPin(midIn.Get()) || FAILED(out->Connect(midIn.Get(), nullptr)))
                continue;
            for (const CInterfacePtr<IPin>& midOut : TvFilterPins(middle.Get(), PINDIR_OUTPUT)) {
                if (!TvConnectedPin(midOut.Get()) && SUCCEEDED(midOut->Connect(in, nullptr)))
                    return S_OK;
            }
            out->Disconnect();
            midIn->Disconnect();
        }
    }
    return VFW_E_CANNOT_CONNECT;
}

// ---- rendering ----

STDMETHODIMP CGraphBuilder::Render(IPin* ppinOut)
{
    if (!ppinOut)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    m_abort = false;
    bool ok = false;
    if (DirectionOf(ppinOut, &ok) != PINDIR_OUTPUT || !ok)
        return VFW_E_INVALID_DIRECTION;
    if (TvConnectedPin(ppinOut))
        return VFW_E_ALREADY_CONNECTED;
    HRESULT hr;
    CInterfacePtr<IStreamBuilder> builder =
        CInterfacePtr<IStreamBuilder>::Query(ppinOut, IID_IStreamBuilder);
    if (builder) {
        hr = builder->Render(ppinOut, m_graph.AsGraphBuilder());
        if (FAILED(hr))
            builder->Backout(ppinOut, m_graph.AsGraphBuilder());
    } else {
        hr = RenderThroughGraph(ppinOut, 0);
    }
    Log("Render %p%s: 0x%08X", static_cast<void*>(ppinOut), builder ? " (stream builder)" : "",
        static_cast<unsigned>(hr));
    return hr;
}

HRESULT CGraphBuilder::RenderThroughGraph(IPin* out, int depth)
{
    if (depth >= kMaxRenderDepth)
        return VFW_E_CANNOT_RENDER;
    CInterfacePtr<IBaseFilter> outFilter = TvPinFilter(out);
    const std::set<IBaseFilter*> upstream = UpstreamOf(outFilter.Get());
    for (const CInterfacePtr<IBaseFilter>& next : m_graph.Filters().Snapshot()) {
        if (m_abort)
            return E_ABORT;
        if (upstream.count(next.Get()))
            continue;
        for (const CInterfacePtr<IPin>& in : TvFilterPins(next.Get(), PINDIR_INPUT)) {
            if (TvConnectedPin(in.Get()) || FAILED(out->Connect(in.Get(), nullptr)))
                continue;
            // The stream went into `next`: follow what it puts out.
            int rendered = 0;
            int failed = 0;
            bool partial = false;
            for (const CInterfacePtr<IPin>& nextOut : TvFilterPins(next.Get(), PINDIR_OUTPUT)) {
                if (TvConnectedPin(nextOut.Get()))
                    continue;
                const HRESULT hr = RenderThroughGraph(nextOut.Get(), depth + 1);
                if (hr == E_ABORT)
                    return hr;
                if (SUCCEEDED(hr)) {
                    ++rendered;
                    partial = partial || hr == VFW_S_PARTIAL_RENDER;
                } else {
                    ++failed;
                }
            }
            if (failed == 0)
                return partial ? VFW_S_PARTIAL_RENDER : S_OK;
            if (rendered > 0)
                return VFW_S_PARTIAL_RENDER;
            // Nothing of it reached a renderer: undo and look further.
            out->Disconnect();
            in->Disconnect();
        }
    }
    return VFW_E_CANNOT_RENDER;
}

STDMETHODIMP CGraphBuilder::AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName,
                                            IBaseFilter** ppFilter)
{
    if (!ppFilter)
        return E_POINTER;
    *ppFilter = nullptr;
    if (!lpcwstrFileName)
        return E_POINTER;
    CInterfacePtr<IBaseFilter> source;
    HRESULT hr = CoCreateInstance(CLSID_AsyncReader, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  reinterpret_cast<void**>(source.Receive()));
    if (FAILED(hr) || !source)
        return FAILED(hr) ? hr : E_FAIL;
    CInterfacePtr<IFileSourceFilter> file =
        CInterfacePtr<IFileSourceFilter>::Query(source.Get(), IID_IFileSourceFilter);
    if (!file)
        return E_NOINTERFACE;
    hr = file->Load(lpcwstrFileName, nullptr);
    if (FAILED(hr))
        return hr;
    hr = AddFilter(source.Get(), lpcwstrFilterName ? lpcwstrFilterName : lpcwstrFileName);
    if (FAILED(hr))
        return hr;
    *ppFilter = source.Detach();
    return hr;
}

STDMETHODIMP CGraphBuilder::RenderFile(LPCWSTR lpcwstrFile, LPCWSTR /*lpcwstrPlayList*/)
{
    if (!lpcwstrFile)
        return E_POINTER;
    GraphLock lock(m_graph.Lock());
    CInterfacePtr<IBaseFilter> source;
    HRESULT hr = AddSourceFilter(lpcwstrFile, lpcwstrFile, source.Receive());
    if (FAILED(hr))
        return hr;
    int complete = 0;
    int partial = 0;
    int failed = 0;
    HRESULT failure = VFW_E_CANNOT_RENDER;
    for (const CInterfacePtr<IPin>& out : TvFilterPins(source.Get(), PINDIR_OUTPUT)) {
        hr = Render(out.Get());
        if (hr == S_OK)
            ++complete;
        else if (SUCCEEDED(hr))
            ++partial;
        else {
            ++failed;
            failure = hr;
        }
    }
    if (complete == 0 && partial == 0) {
        // Nothing of the file plays: leave the graph as it was.
        RemoveLocked(source.Get());
        return failure;
    }
    return partial == 0 && failed == 0 ? S_OK : VFW_S_PARTIAL_RENDER;
}

STDMETHODIMP CGraphBuilder::SetLogFile(DWORD_PTR hFile)
{
    GraphLock lock(m_graph.Lock());
    m_logFile = hFile;
    return S_OK;
}

STDMETHODIMP CGraphBuilder::Abort()
{
    m_abort = true;
    return S_OK;
}

STDMETHODIMP CGraphBuilder::ShouldOperationContinue()
{
    return m_abort ? S_FALSE : S_OK;
}
