#include "CGraphPlayer.h"

#include "GraphHelpers.h"
#include "TarvoGuids.h"

#ifndef WS_CHILD
#define WS_CHILD 0x40000000L
#endif
#ifndef WS_CLIPSIBLINGS
#define WS_CLIPSIBLINGS 0x04000000L
#endif
#ifndef WS_CLIPCHILDREN
#define WS_CLIPCHILDREN 0x02000000L
#endif

namespace {

constexpr const wchar_t* kSplitterName = L"Tarvo Splt Filter";
constexpr const wchar_t* kProcessorName = L"Tarvo Processer Filter";
constexpr const wchar_t* kRendererName = L"Render";

} // namespace

CGraphPlayer::CGraphPlayer(HWND hWnd)
    : CPlayerBase(hWnd), m_pGraph(nullptr), m_pFilterGraph(nullptr), m_pMediaEvent(nullptr),
      m_pSplitter(nullptr), m_pTarvoSplt(nullptr), m_pVideoPin(nullptr), m_pAudioPin(nullptr),
      m_pVideoBuilder(nullptr), m_pAudioBuilder(nullptr), m_pVideoTypes(nullptr),
      m_pVideoWindow(nullptr), m_pProcessor(nullptr), m_pendingFrameCallback(nullptr),
      m_pendingFrameUser(nullptr)
{
}

CGraphPlayer::~CGraphPlayer()
{
    CGraphPlayer::Close();
}

int CGraphPlayer::BuildGraph()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);

    if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&m_pGraph))) ||
        !m_pGraph) {
        m_pGraph = nullptr;
        return TP_ERR_NO_PLAYER;
    }
    if (FAILED(
            m_pGraph->QueryInterface(IID_IFilterGraph, reinterpret_cast<void**>(&m_pFilterGraph))))
        return TP_ERR_NO_FILTER_GRAPH;
    if (FAILED(
            m_pGraph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&m_pMediaEvent))))
        return TP_ERR_NO_MEDIA_EVENT;
    if (FAILED(m_pMediaEvent->SetNotifyWindow(reinterpret_cast<OAHWND>(m_hWnd), TP_WM_GRAPH_NOTIFY,
                                              0)))
        return E_FAIL;

    if (AddFilterByClsid(m_pFilterGraph, &m_pSplitter, kSplitterName, CLSID_TarvoSplitterF) != 0)
        return TP_ERR_ADD_SPLITTER;
    if (FAILED(
            m_pSplitter->QueryInterface(IID_ITarvoSplt, reinterpret_cast<void**>(&m_pTarvoSplt))))
        return TP_ERR_NO_SPLITTER_INTERFACE;

    GetPin(m_pSplitter, PINDIR_OUTPUT, 0, &m_pVideoPin);
    GetPin(m_pSplitter, PINDIR_OUTPUT, 1, &m_pAudioPin);
    if (m_pVideoPin && FAILED(m_pVideoPin->EnumMediaTypes(&m_pVideoTypes)))
        m_pVideoTypes = nullptr;

    if (!m_pVideoPin)
        return TP_ERR_NO_SPLITTER_PIN;
    if (FAILED(m_pVideoPin->QueryInterface(IID_IStreamBuilder,
                                           reinterpret_cast<void**>(&m_pVideoBuilder))))
        return TP_ERR_NO_STREAM_BUILDER;
    if (!m_pAudioPin)
        return TP_ERR_NO_SPLITTER_PIN;
    if (FAILED(m_pAudioPin->QueryInterface(IID_IStreamBuilder,
                                           reinterpret_cast<void**>(&m_pAudioBuilder))))
        return TP_ERR_NO_STREAM_BUILDER;
    return 0;
}

int CGraphPlayer::Close()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    Stop();
    SafeRelease(m_pVideoTypes);
    SafeRelease(m_pVideoBuilder);
    SafeRelease(m_pAudioBuilder);
    SafeRelease(m_pTarvoSplt);
    SafeRelease(m_pFilterGraph);
    SafeRelease(m_pMediaEvent);
    SafeRelease(m_pVideoWindow);
    SafeRelease(m_pProcessor);
    // The pins hold the splitter alive; a graph rebuilt later must not keep the
    // old splitter (and its threads) around.
    SafeRelease(m_pVideoPin);
    SafeRelease(m_pAudioPin);
    if (m_pSplitter) {
        if (m_pGraph)
            m_pGraph->RemoveFilter(m_pSplitter);
        SafeRelease(m_pSplitter);
    }
    SafeRelease(m_pGraph);
    return 0;
}

RECT CGraphPlayer::VideoWindowRect(LONG width, LONG height) const
{
    return RECT{0, 0, width, height};
}

IMediaEventEx* CGraphPlayer::GetEventSink()
{
    return m_pMediaEvent;
}

int CGraphPlayer::TakeFilterGraph(IFilterGraph** graph)
{
    *graph = nullptr;
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pFilterGraph)
        return TP_ERR_INVALID_HANDLE;
    m_pFilterGraph->AddRef();
    *graph = m_pFilterGraph;
    return 0;
}

int CGraphPlayer::AttachWindow()
{
    SafeRelease(m_pProcessor);
    SetVolume(50);
    if (!m_pGraph)
        return TP_ERR_INVALID_HANDLE;

    if (FAILED(m_pGraph->FindFilterByName(kProcessorName, &m_pProcessor)))
        m_pProcessor = nullptr;

    IBaseFilter* renderer = nullptr;
    if (SUCCEEDED(m_pGraph->FindFilterByName(kRendererName, &renderer)) && renderer) {
        IVMRAspectRatioControl* aspect = nullptr;
        if (SUCCEEDED(renderer->QueryInterface(IID_IVMRAspectRatioControl,
                                               reinterpret_cast<void**>(&aspect))) &&
            aspect) {
            aspect->SetAspectRatioMode(VMR_ARMODE_NONE);
            aspect->Release();
        }
        renderer->Release();
    }

    SafeRelease(m_pVideoWindow);
    if (FAILED(m_pGraph->QueryInterface(IID_IVideoWindow,
                                        reinterpret_cast<void**>(&m_pVideoWindow))) ||
        !m_pVideoWindow) {
        m_pVideoWindow = nullptr;
        return TP_ERR_NO_VIDEO_WINDOW;
    }
    OAHWND owner = reinterpret_cast<OAHWND>(m_hWnd);
    m_pVideoWindow->put_Owner(owner);
    m_pVideoWindow->put_WindowStyle(WS_CHILD | WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    m_pVideoWindow->put_MessageDrain(owner);
    m_pVideoWindow->put_BorderColor(0);
    RECT client = {0, 0, 0, 0};
    GetClientRect(m_hWnd, &client);
    const RECT place = VideoWindowRect(client.right - client.left, client.bottom - client.top);
    HRESULT hr = m_pVideoWindow->SetWindowPosition(place.left, place.top, place.right - place.left,
                                                   place.bottom - place.top);

    if (m_pendingFrameCallback) {
        TP_YUVFrameCallBack callback = m_pendingFrameCallback;
        void* user = m_pendingFrameUser;
        m_pendingFrameCallback = nullptr;
        m_pendingFrameUser = nullptr;
        SetYUVFrameCallBack(callback, user);
    }
    return hr;
}
