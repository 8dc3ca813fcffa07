// The graph manager's building part: filters, names, enumeration, connections
// and rendering.
#include <unistd.h>

#include <algorithm>

#include "GraphTestFilters.h"

namespace {

using GraphBuildTest = GraphTest;

std::wstring NameOf(IBaseFilter* filter)
{
    FILTER_INFO info{};
    filter->QueryFilterInfo(&info);
    if (info.pGraph)
        info.pGraph->Release();
    return info.achName;
}

TEST_F(GraphBuildTest, EveryInterfaceIsOneObject)
{
    IGraphBuilder* graph = NewGraph();
    ASSERT_NE(nullptr, graph);
    IUnknown* identity = Query<IUnknown>(graph, IID_IUnknown);
    const IID* iids[] = {&IID_IFilterGraph,    &IID_IMediaControl,   &IID_IMediaEvent,
                         &IID_IMediaEventEx,   &IID_IMediaEventSink, &IID_IMediaFilter,
                         &IID_IPersist,        &IID_IMediaSeeking,   &IID_IMediaPosition,
                         &IID_IVideoWindow,    &IID_IBasicVideo,     &IID_IBasicAudio,
                         &IID_IVideoFrameStep, &IID_IDispatch};
    for (const IID* iid : iids) {
        IUnknown* itf = Query<IUnknown>(graph, *iid);
        ASSERT_NE(nullptr, itf);
        IUnknown* back = Query<IUnknown>(itf, IID_IUnknown);
        EXPECT_EQ(identity, back);
        back->Release();
        itf->Release();
    }
    void* none = reinterpret_cast<void*>(1);
    EXPECT_EQ(E_NOINTERFACE, graph->QueryInterface(IID_IPin, &none));
    EXPECT_EQ(nullptr, none);

    CLSID clsid{};
    IMediaFilter* mf = Query<IMediaFilter>(graph, IID_IMediaFilter);
    EXPECT_EQ(S_OK, mf->GetClassID(&clsid));
    EXPECT_TRUE(IsEqualCLSID(CLSID_FilterGraph, clsid));
    mf->Release();
    identity->Release();
    EXPECT_EQ(0u, graph->Release());
}

TEST_F(GraphBuildTest, AddFilterNamesAndReferences)
{
    IGraphBuilder* graph = NewGraph();
    auto* a = new CGraphTestFilter("a", &m_log, 0, 1);
    auto* b = new CGraphTestFilter("b", &m_log, 1, 0);
    auto* c = new CGraphTestFilter("c", &m_log, 1, 0);
    auto* d = new CGraphTestFilter("d", &m_log, 1, 0);

    EXPECT_EQ(E_POINTER, graph->AddFilter(nullptr, L"x"));
    EXPECT_EQ(S_OK, graph->AddFilter(a, L"Render"));
    EXPECT_EQ(2, a->Refs()); // the graph holds one
    EXPECT_EQ(L"Render", a->GraphName());
    EXPECT_TRUE(SameObject(graph, a->Graph()));
    EXPECT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(b, L"Render"));
    EXPECT_EQ(L"Render 0001", b->GraphName());
    EXPECT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(c, L"Render"));
    EXPECT_EQ(L"Render 0002", c->GraphName());
    EXPECT_EQ(S_OK, graph->AddFilter(d, nullptr));
    EXPECT_EQ(L"0001", d->GraphName());
    EXPECT_EQ(L"Render 0001", NameOf(b));
    // The same filter twice would have two names.
    EXPECT_EQ(E_INVALIDARG, graph->AddFilter(a, L"Other"));
    EXPECT_EQ(L"Render", a->GraphName());

    IBaseFilter* found = nullptr;
    EXPECT_EQ(S_OK, graph->FindFilterByName(L"Render 0002", &found));
    EXPECT_EQ(static_cast<IBaseFilter*>(c), found);
    found->Release();
    found = reinterpret_cast<IBaseFilter*>(1);
    EXPECT_EQ(VFW_E_NOT_FOUND, graph->FindFilterByName(L"Render 0003", &found));
    EXPECT_EQ(nullptr, found);
    EXPECT_EQ(E_POINTER, graph->FindFilterByName(L"Render", nullptr));

    // Once "Render" is free again it is given as asked.
    EXPECT_EQ(S_OK, graph->RemoveFilter(a));
    EXPECT_EQ(1, a->Refs());
    EXPECT_EQ(nullptr, a->Graph());
    EXPECT_EQ(S_OK, graph->AddFilter(a, L"Render"));
    EXPECT_EQ(L"Render", a->GraphName());

    graph->Release();
    for (CGraphTestFilter* f : {a, b, c, d}) {
        EXPECT_EQ(nullptr, f->Graph());
        EXPECT_EQ(1, f->Refs());
        f->Release();
    }
}

TEST_F(GraphBuildTest, LongNamesAreCutToFit)
{
    IGraphBuilder* graph = NewGraph();
    auto* a = new CGraphTestFilter("a", &m_log, 0, 0);
    auto* b = new CGraphTestFilter("b", &m_log, 0, 0);
    const std::wstring longName(300, L'x');
    EXPECT_EQ(S_OK, graph->AddFilter(a, longName.c_str()));
    EXPECT_EQ(std::wstring(MAX_FILTER_NAME - 1, L'x'), a->GraphName());
    EXPECT_EQ(VFW_S_DUPLICATE_NAME, graph->AddFilter(b, longName.c_str()));
    EXPECT_EQ(std::wstring(MAX_FILTER_NAME - 6, L'x') + L" 0001", b->GraphName());
    graph->Release();
    a->Release();
    b->Release();
}

TEST_F(GraphBuildTest, FailedJoinLeavesTheFilterOut)
{
    IGraphBuilder* graph = NewGraph();
    auto* a = new CGraphTestFilter("a", &m_log, 0, 0);
    a->m_joinResult = E_OUTOFMEMORY;
    EXPECT_EQ(E_OUTOFMEMORY, graph->AddFilter(a, L"A"));
    EXPECT_EQ(1, a->Refs());
    IBaseFilter* found = nullptr;
    EXPECT_EQ(VFW_E_NOT_FOUND, graph->FindFilterByName(L"A", &found));
    graph->Release();
    a->Release();
}

TEST_F(GraphBuildTest, EnumFiltersNewestFirstAndOutOfSync)
{
    IGraphBuilder* graph = NewGraph();
    auto* a = new CGraphTestFilter("a", &m_log, 0, 0);
    auto* b = new CGraphTestFilter("b", &m_log, 0, 0);
    auto* c = new CGraphTestFilter("c", &m_log, 0, 0);
    graph->AddFilter(a, L"A");
    graph->AddFilter(b, L"B");

    IEnumFilters* e = nullptr;
    ASSERT_EQ(S_OK, graph->EnumFilters(&e));
    IBaseFilter* got[3] = {};
    ULONG fetched = 0;
    EXPECT_EQ(S_FALSE, e->Next(3, got, &fetched));
    ASSERT_EQ(2u, fetched);
    EXPECT_EQ(static_cast<IBaseFilter*>(b), got[0]);
    EXPECT_EQ(static_cast<IBaseFilter*>(a), got[1]);
    got[0]->Release();
    got[1]->Release();
    EXPECT_EQ(E_POINTER, e->Next(2, got, nullptr));

    IEnumFilters* clone = nullptr;
    EXPECT_EQ(S_OK, e->Reset());
    EXPECT_EQ(S_OK, e->Skip(1));
    EXPECT_EQ(S_OK, e->Clone(&clone));
    EXPECT_EQ(S_OK, clone->Next(1, got, nullptr));
    EXPECT_EQ(static_cast<IBaseFilter*>(a), got[0]);
    got[0]->Release();
    EXPECT_EQ(S_FALSE, clone->Skip(1));

    graph->AddFilter(c, L"C");
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, e->Next(1, got, &fetched));
    EXPECT_EQ(0u, fetched);
    EXPECT_EQ(VFW_E_ENUM_OUT_OF_SYNC, e->Skip(1));
    EXPECT_EQ(S_OK, e->Reset());
    EXPECT_EQ(S_OK, e->Next(1, got, &fetched));
    EXPECT_EQ(static_cast<IBaseFilter*>(c), got[0]);
    got[0]->Release();

    // Enumerators keep the graph alive.
    EXPECT_NE(0u, graph->Release());
    e->Release();
    clone->Release();
    for (CGraphTestFilter* f : {a, b, c}) {
        EXPECT_EQ(nullptr, f->Graph());
        f->Release();
    }
}

TEST_F(GraphBuildTest, ConnectDirectChecksPinsAndState)
{
    IGraphBuilder* graph = NewGraph();
    auto* src = new CGraphTestFilter("src", &m_log, 0, 1);
    auto* sink = new CGraphTestFilter("sink", &m_log, 1, 0);
    auto* outsider = new CGraphTestFilter("outsider", &m_log, 1, 0);
    auto* audioSink = new CGraphTestFilter("audio", &m_log, 1, 0, MEDIATYPE_Audio);
    graph->AddFilter(src, L"Source");
    graph->AddFilter(sink, L"Sink");
    graph->AddFilter(audioSink, L"Audio");

    EXPECT_EQ(E_POINTER, graph->ConnectDirect(src->Output(0), nullptr, nullptr));
    EXPECT_EQ(VFW_E_INVALID_DIRECTION,
              graph->ConnectDirect(sink->Input(0), src->Output(0), nullptr));
    EXPECT_EQ(VFW_E_NOT_IN_GRAPH,
              graph->ConnectDirect(src->Output(0), outsider->Input(0), nullptr));
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED,
              graph->ConnectDirect(src->Output(0), audioSink->Input(0), nullptr));
    AM_MEDIA_TYPE audio{};
    audio.majortype = MEDIATYPE_Audio;
    EXPECT_EQ(VFW_E_TYPE_NOT_ACCEPTED,
              graph->ConnectDirect(src->Output(0), sink->Input(0), &audio));
    EXPECT_FALSE(src->Output(0)->Connected());

    EXPECT_EQ(S_OK, graph->ConnectDirect(src->Output(0), sink->Input(0), nullptr));
    EXPECT_EQ(static_cast<IPin*>(sink->Input(0)), src->Output(0)->Peer());
    EXPECT_EQ(static_cast<IPin*>(src->Output(0)), sink->Input(0)->Peer());
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED,
              graph->ConnectDirect(src->Output(0), sink->Input(0), nullptr));

    // Not while the graph plays.
    IMediaControl* control = Query<IMediaControl>(graph, IID_IMediaControl);
    EXPECT_EQ(S_OK, control->Pause());
    EXPECT_EQ(VFW_E_NOT_STOPPED,
              graph->ConnectDirect(src->Output(0), audioSink->Input(0), nullptr));
    EXPECT_EQ(VFW_E_NOT_STOPPED, graph->Reconnect(src->Output(0)));
    EXPECT_EQ(S_OK, control->Stop());

    // Reconnect breaks both ends and joins them again.
    m_log.Take();
    EXPECT_EQ(S_OK, graph->Reconnect(sink->Input(0)));
    EXPECT_EQ((std::vector<std::string>{"src:DisconnectOut", "sink:DisconnectIn", "src:Connect"}),
              m_log.Take());
    EXPECT_EQ(VFW_E_NOT_CONNECTED, graph->Reconnect(audioSink->Input(0)));

    // Disconnect acts on the one pin given.
    EXPECT_EQ(S_OK, graph->Disconnect(src->Output(0)));
    EXPECT_FALSE(src->Output(0)->Connected());
    EXPECT_TRUE(sink->Input(0)->Connected());
    EXPECT_EQ(S_OK, graph->Disconnect(sink->Input(0)));
    EXPECT_EQ(S_FALSE, graph->Disconnect(sink->Input(0)));

    control->Release();
    graph->Release();
    for (CGraphTestFilter* f : {src, sink, outsider, audioSink})
        f->Release();
}

TEST_F(GraphBuildTest, RemoveFilterBreaksItsConnections)
{
    IGraphBuilder* graph = NewGraph();
    auto* src = new CGraphTestFilter("src", &m_log, 0, 1);
    auto* mid = new CGraphTestFilter("mid", &m_log, 1, 1);
    auto* sink = new CGraphTestFilter("sink", &m_log, 1, 0);
    graph->AddFilter(src, L"Source");
    graph->AddFilter(mid, L"Middle");
    graph->AddFilter(sink, L"Sink");
    ASSERT_EQ(S_OK, graph->ConnectDirect(src->Output(0), mid->Input(0), nullptr));
    ASSERT_EQ(S_OK, graph->ConnectDirect(mid->Output(0), sink->Input(0), nullptr));

    auto* loose = new CGraphTestFilter("loose", &m_log, 0, 0);
    graph->AddFilter(loose, L"Loose");
    IMediaControl* control = Query<IMediaControl>(graph, IID_IMediaControl);
    ASSERT_EQ(S_OK, control->Run());
    m_log.Take();
    // A connected filter stays while the graph plays: its neighbours would not
    // let go.
    EXPECT_EQ(VFW_E_NOT_STOPPED, graph->RemoveFilter(mid));
    EXPECT_TRUE(m_log.Take().empty());
    EXPECT_EQ(State_Running, mid->State());
    EXPECT_EQ(mid->Input(0), src->Output(0)->Peer());
    // One without connections leaves, stopped.
    EXPECT_EQ(S_OK, graph->RemoveFilter(loose));
    EXPECT_EQ((std::vector<std::string>{"loose:Stop", "loose:SetSyncSource", "loose:Leave"}),
              m_log.Take());
    EXPECT_EQ(State_Stopped, loose->State());
    EXPECT_EQ(1, loose->Refs());
    loose->Release();

    ASSERT_EQ(S_OK, control->Stop());
    m_log.Take();
    EXPECT_EQ(S_OK, graph->RemoveFilter(mid));
    const std::vector<std::string> calls = m_log.Take();
    const std::vector<std::string> expected = {"mid:SetSyncSource", "src:DisconnectOut",
                                               "mid:DisconnectIn",  "mid:DisconnectOut",
                                               "sink:DisconnectIn", "mid:Leave"};
    EXPECT_EQ(expected, calls);
    EXPECT_EQ(nullptr, mid->Clock());
    EXPECT_FALSE(src->Output(0)->Connected());
    EXPECT_FALSE(sink->Input(0)->Connected());
    EXPECT_EQ(1, mid->Refs());
    EXPECT_EQ(E_FAIL, graph->RemoveFilter(mid));
    EXPECT_EQ(E_POINTER, graph->RemoveFilter(nullptr));

    control->Release();
    graph->Release();
    for (CGraphTestFilter* f : {src, mid, sink})
        f->Release();
}

TEST_F(GraphBuildTest, ReleasingTheGraphTakesItApart)
{
    IGraphBuilder* graph = NewGraph();
    auto* src = new CGraphTestFilter("src", &m_log, 0, 1);
    auto* sink = new CGraphTestFilter("sink", &m_log, 1, 0);
    graph->AddFilter(src, L"Source");
    graph->AddFilter(sink, L"Sink");
    ASSERT_EQ(S_OK, graph->ConnectDirect(src->Output(0), sink->Input(0), nullptr));
    IMediaControl* control = Query<IMediaControl>(graph, IID_IMediaControl);
    ASSERT_EQ(S_OK, control->Run());
    control->Release();
    m_log.Take();
    EXPECT_EQ(0u, graph->Release());
    EXPECT_EQ(State_Stopped, src->State());
    EXPECT_EQ(State_Stopped, sink->State());
    EXPECT_FALSE(src->Output(0)->Connected());
    EXPECT_FALSE(sink->Input(0)->Connected());
    EXPECT_EQ(nullptr, src->Clock());
    EXPECT_EQ(1, src->Refs());
    EXPECT_EQ(1, sink->Refs());
    src->Release();
    sink->Release();
}

// A stream builder that adds a renderer of its own and connects the pin to it,
// or fails when told to.
class CTestStreamBuilder : public CUnknown, public IStreamBuilder {
public:
    explicit CTestStreamBuilder(CCallLog* log)
        : CUnknown("test stream builder", nullptr), m_log(log)
    {
        NonDelegatingAddRef();
    }
    ~CTestStreamBuilder() override
    {
        if (m_renderer)
            m_renderer->Release();
    }
    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, LPVOID* ppv) override
    {
        if (riid == IID_IStreamBuilder)
            return GetInterface(static_cast<IStreamBuilder*>(this), ppv);
        return CUnknown::NonDelegatingQueryInterface(riid, ppv);
    }
    STDMETHODIMP Render(IPin* ppinOut, IGraphBuilder* pGraph) override
    {
        m_log->Add("builder:Render");
        m_pin = ppinOut;
        m_graph = pGraph;
        if (FAILED(m_result))
            return m_result;
        m_renderer = new CGraphTestFilter("built", m_log, 1, 0);
        HRESULT hr = pGraph->AddFilter(m_renderer, L"Render");
        if (SUCCEEDED(hr))
            hr = pGraph->ConnectDirect(ppinOut, m_renderer->Input(0), nullptr);
        return hr;
    }
    STDMETHODIMP Backout(IPin*, IGraphBuilder*) override
    {
        m_log->Add("builder:Backout");
        return S_OK;
    }

    HRESULT m_result = S_OK;
    IPin* m_pin = nullptr;
    IGraphBuilder* m_graph = nullptr;
    CGraphTestFilter* m_renderer = nullptr;

private:
    CCallLog* const m_log;
};

TEST_F(GraphBuildTest, RenderGoesThroughTheStreamBuilder)
{
    IGraphBuilder* graph = NewGraph();
    auto* src = new CGraphTestFilter("src", &m_log, 0, 2);
    auto* builder = new CTestStreamBuilder(&m_log);
    auto* failing = new CTestStreamBuilder(&m_log);
    failing->m_result = E_OUTOFMEMORY;
    src->Output(0)->SetStreamBuilder(builder);
    src->Output(1)->SetStreamBuilder(failing);
    graph->AddFilter(src, L"Tarvo Splt Filter");

    EXPECT_EQ(S_OK, graph->Render(src->Output(0)));
    EXPECT_EQ(static_cast<IPin*>(src->Output(0)), builder->m_pin);
    EXPECT_EQ(graph, builder->m_graph);
    ASSERT_NE(nullptr, builder->m_renderer);
    EXPECT_EQ(static_cast<IPin*>(builder->m_renderer->Input(0)), src->Output(0)->Peer());
    IBaseFilter* found = nullptr;
    EXPECT_EQ(S_OK, graph->FindFilterByName(L"Render", &found));
    EXPECT_EQ(static_cast<IBaseFilter*>(builder->m_renderer), found);
    found->Release();
    EXPECT_EQ(VFW_E_ALREADY_CONNECTED, graph->Render(src->Output(0)));

    m_log.Take();
    EXPECT_EQ(E_OUTOFMEMORY, graph->Render(src->Output(1)));
    EXPECT_EQ((std::vector<std::string>{"builder:Render", "builder:Backout"}), m_log.Take());
    EXPECT_EQ(E_POINTER, graph->Render(nullptr));

    graph->Release();
    src->Release();
    builder->Release();
    failing->Release();
}

TEST_F(GraphBuildTest, RenderWithoutBuilderUsesFiltersInTheGraph)
{
    IGraphBuilder* graph = NewGraph();
    auto* src = new CGraphTestFilter("src", &m_log, 0, 2);
    auto* audioSrc = new CGraphTestFilter("asrc", &m_log, 0, 1, MEDIATYPE_Audio);
    auto* decoder = new CGraphTestFilter("dec", &m_log, 1, 1);
    auto* sink = new CGraphTestFilter("sink", &m_log, 1, 0);
    graph->AddFilter(src, L"Source");
    graph->AddFilter(audioSrc, L"Audio source");
    graph->AddFilter(sink, L"Sink");
    graph->AddFilter(decoder, L"Decoder");

    // Through the decoder into the sink.
    EXPECT_EQ(S_OK, graph->Render(src->Output(0)));
    EXPECT_EQ(static_cast<IPin*>(decoder->Input(0)), src->Output(0)->Peer());
    EXPECT_EQ(static_cast<IPin*>(sink->Input(0)), decoder->Output(0)->Peer());
    // Nothing free takes the second stream: nothing is left half-built.
    EXPECT_EQ(VFW_E_CANNOT_RENDER, graph->Render(src->Output(1)));
    EXPECT_FALSE(src->Output(1)->Connected());
    EXPECT_EQ(VFW_E_CANNOT_RENDER, graph->Render(audioSrc->Output(0)));
    EXPECT_EQ(VFW_E_INVALID_DIRECTION, graph->Render(sink->Input(0)));

    // Connect puts a free filter in between when the pins do not agree.
    graph->Disconnect(src->Output(0));
    graph->Disconnect(decoder->Input(0));
    graph->Disconnect(decoder->Output(0));
    graph->Disconnect(sink->Input(0));
    auto* audioSink = new CGraphTestFilter("asink", &m_log, 1, 0, MEDIATYPE_Audio);
    auto* audioSink2 = new CGraphTestFilter("asink2", &m_log, 1, 0, MEDIATYPE_Audio);
    auto* converter = new CGraphTestFilter("conv", &m_log, 1, 1, MEDIATYPE_Video, MEDIATYPE_Audio);
    graph->AddFilter(audioSink, L"Audio sink");
    graph->AddFilter(audioSink2, L"Audio sink 2");
    EXPECT_EQ(VFW_E_CANNOT_CONNECT, graph->Connect(src->Output(0), audioSink->Input(0)));
    EXPECT_FALSE(src->Output(0)->Connected());
    EXPECT_FALSE(decoder->Input(0)->Connected());
    EXPECT_FALSE(sink->Input(0)->Connected());
    graph->AddFilter(converter, L"Converter");
    EXPECT_EQ(S_OK, graph->Connect(src->Output(0), audioSink->Input(0)));
    EXPECT_EQ(static_cast<IPin*>(converter->Input(0)), src->Output(0)->Peer());
    EXPECT_EQ(static_cast<IPin*>(audioSink->Input(0)), converter->Output(0)->Peer());
    // The converter is taken now.
    EXPECT_EQ(VFW_E_CANNOT_CONNECT, graph->Connect(src->Output(1), audioSink2->Input(0)));
    EXPECT_EQ(S_OK, graph->Connect(src->Output(1), sink->Input(0)));

    graph->Release();
    for (CGraphTestFilter* f : {src, audioSrc, decoder, sink, audioSink, audioSink2, converter})
        f->Release();
}

TEST_F(GraphBuildTest, AFileThatCannotBeOpenedLeavesNothingBehind)
{
    IGraphBuilder* graph = NewGraph();
    IBaseFilter* source = reinterpret_cast<IBaseFilter*>(1);
    EXPECT_TRUE(
        FAILED(graph->AddSourceFilter(L"/nonexistent/folder/record.tvx", nullptr, &source)));
    EXPECT_EQ(nullptr, source);
    EXPECT_TRUE(FAILED(graph->RenderFile(L"/nonexistent/folder/record.tvx", nullptr)));
    IMediaControl* control = Query<IMediaControl>(graph, IID_IMediaControl);
    wchar_t name[] = L"/nonexistent/folder/record.tvx";
    EXPECT_TRUE(FAILED(control->RenderFile(name)));
    control->Release();
    IEnumFilters* e = nullptr;
    graph->EnumFilters(&e);
    IBaseFilter* any = nullptr;
    EXPECT_EQ(S_FALSE, e->Next(1, &any, nullptr));
    e->Release();
    graph->Release();
}

TEST_F(GraphBuildTest, AbortAndLogFile)
{
    IGraphBuilder* graph = NewGraph();
    EXPECT_EQ(S_OK, graph->ShouldOperationContinue());
    EXPECT_EQ(S_OK, graph->Abort());
    EXPECT_EQ(S_FALSE, graph->ShouldOperationContinue());
    auto* src = new CGraphTestFilter("src", &m_log, 0, 1);
    auto* sink = new CGraphTestFilter("sink", &m_log, 1, 0);
    graph->AddFilter(src, L"Source");
    graph->AddFilter(sink, L"Sink");
    // A new operation starts afresh.
    EXPECT_EQ(S_OK, graph->Connect(src->Output(0), sink->Input(0)));
    EXPECT_EQ(S_OK, graph->ShouldOperationContinue());

    char path[] = "/tmp/tvquartz-log-XXXXXX";
    const int fd = mkstemp(path);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(S_OK, graph->SetLogFile(static_cast<DWORD_PTR>(fd)));
    graph->Disconnect(sink->Input(0));
    EXPECT_EQ(S_OK, graph->SetLogFile(0));
    graph->Disconnect(src->Output(0));
    char text[256] = {};
    const ssize_t n = pread(fd, text, sizeof(text) - 1, 0);
    close(fd);
    unlink(path);
    ASSERT_GT(n, 0);
    const std::string logged(text, static_cast<size_t>(n));
    EXPECT_EQ(0u, logged.find("Disconnect "));
    EXPECT_EQ(1u, static_cast<size_t>(std::count(logged.begin(), logged.end(), '\n')));

    graph->Release();
    src->Release();
    sink->Release();
}

} // namespace
