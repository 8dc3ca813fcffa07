// TvFilterGraph: the graph manager through the registry.
#include "TvFilterGraph.h"

#include "TvInterfaces.h"

TvFilterGraph::~TvFilterGraph()
{
    Close();
}

HRESULT TvFilterGraph::Create()
{
    Close();
    HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IGraphBuilder, reinterpret_cast<void**>(&m_builder));
    if (FAILED(hr))
        return hr;
    hr = m_builder->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&m_control));
    if (SUCCEEDED(hr))
        hr = m_builder->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&m_events));
    if (SUCCEEDED(hr))
        hr = m_builder->QueryInterface(IID_IMediaFilter, reinterpret_cast<void**>(&m_mediaFilter));
    return hr;
}

HRESULT TvFilterGraph::Add(IBaseFilter* filter, const wchar_t* name)
{
    return m_builder ? m_builder->AddFilter(filter, name) : E_UNEXPECTED;
}

HRESULT TvFilterGraph::Connect(IBaseFilter* from, const wchar_t* outPin, IBaseFilter* to,
                               const wchar_t* inPin, const AM_MEDIA_TYPE* type)
{
    if (!m_builder)
        return E_UNEXPECTED;
    IPin* out = FindPin(from, PINDIR_OUTPUT, outPin);
    IPin* in = FindPin(to, PINDIR_INPUT, inPin);
    const HRESULT hr = out && in ? m_builder->ConnectDirect(out, in, type) : VFW_E_NOT_FOUND;
    if (out)
        out->Release();
    if (in)
        in->Release();
    return hr;
}

LONG TvFilterGraph::NextEvent(DWORD timeoutMs, LONG_PTR* param1, LONG_PTR* param2)
{
    LONG code = 0;
    LONG_PTR p1 = 0;
    LONG_PTR p2 = 0;
    if (!m_events || m_events->GetEvent(&code, &p1, &p2, timeoutMs) != S_OK)
        return 0;
    if (param1)
        *param1 = p1;
    if (param2)
        *param2 = p2;
    EXPECT_EQ(S_OK, m_events->FreeEventParams(code, p1, p2));
    return code;
}

ULONG TvFilterGraph::Close()
{
    if (m_mediaFilter)
        m_mediaFilter->Release();
    if (m_events)
        m_events->Release();
    if (m_control)
        m_control->Release();
    const ULONG left = m_builder ? m_builder->Release() : 0;
    m_mediaFilter = nullptr;
    m_events = nullptr;
    m_control = nullptr;
    m_builder = nullptr;
    return left;
}
