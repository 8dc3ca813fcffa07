// The building part of the graph manager: IFilterGraph and IGraphBuilder.
//
// Application threads only (every method takes the graph lock). Filters call
// back into these methods from inside IStreamBuilder::Render on the same thread,
// which the recursive graph lock allows.
#pragma once

#include <atomic>

#include "GraphPart.h"

class CGraphBuilder : public IGraphBuilder {
public:
    explicit CGraphBuilder(CFilterGraph& graph) : m_graph(graph) {}

    DECLARE_GRAPH_PART_IUNKNOWN

    // IFilterGraph
    // Adds a reference and calls JoinFilterGraph(graph, name). The name is
    // made unique (see CFilterList::PickName): VFW_S_DUPLICATE_NAME when it had
    // to be changed. E_INVALIDARG for a filter already in this graph (adding it
    // twice would give one filter two names). A failing JoinFilterGraph takes
    // the filter out again and is returned.
    STDMETHODIMP AddFilter(IBaseFilter* pFilter, LPCWSTR pName) override;
    // Stops the filter when the graph is not stopped, takes the graph's clock
    // from it, disconnects both ends of each of its connections, calls
    // JoinFilterGraph(NULL, NULL) and releases it. E_FAIL when not in the
    // graph; VFW_E_NOT_STOPPED (nothing changed) for a connected filter while
    // the graph is not stopped.
    STDMETHODIMP RemoveFilter(IBaseFilter* pFilter) override;
    // Newest first. The enumerator answers VFW_E_ENUM_OUT_OF_SYNC once the
    // graph's filters change, until Reset.
    STDMETHODIMP EnumFilters(IEnumFilters** ppEnum) override;
    // VFW_E_NOT_FOUND (and a null *ppFilter) when no filter has that name.
    STDMETHODIMP FindFilterByName(LPCWSTR pName, IBaseFilter** ppFilter) override;
    // ppinOut->Connect(ppinIn, pmt). VFW_E_NOT_STOPPED unless the graph is
    // stopped, VFW_E_INVALID_DIRECTION for pins the wrong way round,
    // VFW_E_NOT_IN_GRAPH for a pin whose filter is not in this graph.
    STDMETHODIMP ConnectDirect(IPin* ppinOut, IPin* ppinIn, const AM_MEDIA_TYPE* pmt) override;
    // Disconnects both ends and connects them again directly, at once.
    // VFW_E_NOT_CONNECTED for a pin without connection.
    STDMETHODIMP Reconnect(IPin* ppin) override;
    // Disconnects this one pin (the caller disconnects the other end too).
    STDMETHODIMP Disconnect(IPin* ppin) override;
    STDMETHODIMP SetDefaultSyncSource() override;

    // IGraphBuilder
    // A direct connection first; when the pins do not agree on a type, one
    // free filter already in the graph is tried in between. Filters are not
    // created from the registry. VFW_E_CANNOT_CONNECT when nothing worked.
    STDMETHODIMP Connect(IPin* ppinOut, IPin* ppinIn) override;
    // A pin offering IStreamBuilder renders itself (its Render gets this
    // graph; a failure is backed out with its Backout). Other pins are
    // connected to free input pins of filters already in the graph and what
    // those filters put out is rendered in turn. VFW_E_ALREADY_CONNECTED for a
    // connected pin, VFW_E_CANNOT_RENDER when no filter took the stream,
    // VFW_S_PARTIAL_RENDER when only some of it was rendered.
    STDMETHODIMP Render(IPin* ppinOut) override;
    // AddSourceFilter, then Render of each of the source's output pins.
    STDMETHODIMP RenderFile(LPCWSTR lpcwstrFile, LPCWSTR lpcwstrPlayList) override;
    // Creates the async file reader (CLSID_AsyncReader), loads the file and
    // adds it under lpcwstrFilterName (the file name when null).
    STDMETHODIMP AddSourceFilter(LPCWSTR lpcwstrFileName, LPCWSTR lpcwstrFilterName,
                                 IBaseFilter** ppFilter) override;
    // A file handle (win32/file.h) that receives one text line per building
    // call and its result; 0 stops logging. The caller keeps the handle open.
    STDMETHODIMP SetLogFile(DWORD_PTR hFile) override;
    // Asks a Render or Connect in progress to stop at its next step.
    STDMETHODIMP Abort() override;
    // S_FALSE after Abort, until the next Render or Connect starts; else S_OK.
    STDMETHODIMP ShouldOperationContinue() override;

    // Removes every filter (the graph is going away). Under the graph lock.
    void RemoveAll();

private:
    HRESULT RemoveLocked(IBaseFilter* filter);
    HRESULT CheckPinInGraph(IPin* pin);
    HRESULT ConnectThroughGraph(IPin* out, IPin* in);
    HRESULT RenderThroughGraph(IPin* out, int depth);
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));

    CFilterGraph& m_graph;
    std::atomic<bool> m_abort{false};
    DWORD_PTR m_logFile = 0; // guarded by the graph lock
};
