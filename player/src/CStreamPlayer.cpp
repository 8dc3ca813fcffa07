#include "CStreamPlayer.h"

#include <cinttypes>
#include <cstdio>

#include "GraphHelpers.h"
#include "TarvoGuids.h"

namespace {

constexpr const wchar_t* kNWSourceName = L"Tarvo NWSource";
constexpr const wchar_t* kSampPropName = L"Tarvo SampProp TIP Filter";
constexpr UINT kFormatPollMs = 50;

// The sample-property interface of the outside "Tarvo SampProp TIP Filter".
// {43D849C0-2FE8-11CF-BCB1-444553540000}
DEFINE_GUID(IID_ITarvoSampProp, 0x43d849c0, 0x2fe8, 0x11cf, 0xbc, 0xb1, 0x44, 0x45, 0x53, 0x54,
            0x00, 0x00);
struct ITarvoSampProp : public IUnknown {
    virtual HRESULT SetFlag(int flag) = 0; // slot 3
};

} // namespace

CStreamPlayer::CStreamPlayer(HWND hWnd, int playMode, int formatType)
    : CGraphPlayer(hWnd), m_pNWSource(nullptr), m_pNWSourceItf(nullptr), m_pollTimer(0),
      m_formatType(formatType), m_playMode(playMode)
{
    if (BuildGraph() != 0)
        Close();
}

CStreamPlayer::~CStreamPlayer()
{
    CStreamPlayer::Close();
}

int CStreamPlayer::BuildGraph()
{
    if (CGraphPlayer::BuildGraph() != 0)
        return TP_ERR_INVALID_HANDLE;
    if (AddFilterByClsid(m_pFilterGraph, &m_pNWSource, kNWSourceName, CLSID_TarvoNWSource) != 0)
        return TP_ERR_ADD_NWSOURCE;
    if (FAILED(
            m_pNWSource->QueryInterface(IID_INWSource, reinterpret_cast<void**>(&m_pNWSourceItf))))
        return TP_ERR_NO_NWSOURCE_INTERFACE;
    if (FAILED(m_pTarvoSplt->SetStreamType(m_formatType)))
        return TP_ERR_STREAM_TYPE_REFUSED;
    if (FAILED(m_pTarvoSplt->SetPlayMode(m_playMode)))
        return E_FAIL;
    if (FAILED(ConnectFilters(m_pFilterGraph, m_pNWSource, 0, m_pSplitter, 0)))
        return TP_ERR_CONNECT_NWSOURCE;

    // Running with only the source and the splitter lets the splitter learn the
    // stream's format; the poll renders the rest once it is known.
    Play();

    if (!m_pVideoPin || !m_pVideoTypes)
        return E_FAIL;
    // The poll finds its player through the timer's identifier. Only a window
    // timer keeps the identifier it is given (a timer without window gets a new
    // one), so a player without window gets no poll.
    const UINT_PTR self = reinterpret_cast<UINT_PTR>(this);
    if (!m_hWnd)
        return E_FAIL;
    UINT_PTR id = SetTimer(m_hWnd, self, kFormatPollMs, FormatPollProc);
    if (id != self) {
        if (id != 0)
            KillTimer(m_hWnd, id);
        return E_FAIL;
    }
    m_pollTimer.store(id);
    return 0;
}

int CStreamPlayer::Close()
{
    // First, so that no poll runs (KillTimer waits for a running one) while the
    // graph is taken apart.
    UINT_PTR id = m_pollTimer.exchange(0);
    if (id != 0)
        KillTimer(m_hWnd, id);
    // A poll that stopped its own timer may still be rendering: wait for it.
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    Stop();
    SafeRelease(m_pVideoTypes);
    SafeRelease(m_pNWSourceItf);
    if (m_pNWSource) {
        if (m_pGraph)
            m_pGraph->RemoveFilter(m_pNWSource);
        SafeRelease(m_pNWSource);
    }
    return CGraphPlayer::Close();
}

void CStreamPlayer::FormatPollProc(HWND, UINT, UINT_PTR id, DWORD)
{
    // The timer's identifier is the player: Close kills the timer before the
    // player goes away.
    reinterpret_cast<CStreamPlayer*>(id)->PollFormat();
}

void CStreamPlayer::PollFormat()
{
    // An application thread that holds the lock may be closing the player and
    // waiting in KillTimer for this very poll: never wait for the lock here,
    // look again on the next tick.
    std::unique_lock<std::recursive_mutex> lock(m_lock, std::try_to_lock);
    if (!lock.owns_lock())
        return;
    if (m_pollTimer.load() == 0 || !m_pVideoTypes)
        return;

    if (m_pVideoTypes->Reset() != S_OK)
        return;
    AM_MEDIA_TYPE* mediaType = nullptr;
    ULONG fetched = 0;
    if (m_pVideoTypes->Next(1, &mediaType, &fetched) != S_OK || !mediaType) {
        TpDeleteMediaType(mediaType);
        return;
    }
    bool known = mediaType->majortype == MEDIATYPE_Video && mediaType->subtype != GUID_NULL;
    TpDeleteMediaType(mediaType);
    if (!known)
        return;

    UINT_PTR id = m_pollTimer.exchange(0);
    if (id == 0)
        return; // Close got there first
    KillTimer(m_hWnd, id);

    Stop();
    HRESULT hr = m_pVideoBuilder ? m_pVideoBuilder->Render(m_pVideoPin, m_pGraph) : E_FAIL;
    if (m_pAudioBuilder)
        m_pAudioBuilder->Render(m_pAudioPin, m_pGraph);

    if (FAILED(hr)) {
        if (m_hWnd)
            PostMessageA(m_hWnd, TP_WM_RENDER_FAILED, static_cast<WPARAM>(static_cast<ULONG>(hr)),
                         0);
        Play();
        return;
    }

    AttachWindow();
    IBaseFilter* sampProp = nullptr;
    if (m_pGraph && SUCCEEDED(m_pGraph->FindFilterByName(kSampPropName, &sampProp)) && sampProp) {
        ITarvoSampProp* flag = nullptr;
        if (SUCCEEDED(
                sampProp->QueryInterface(IID_ITarvoSampProp, reinterpret_cast<void**>(&flag))) &&
            flag) {
            flag->SetFlag(m_playMode == 0 ? 1 : 0);
            flag->Release();
        }
        sampProp->Release();
    }
    Play();
}

int CStreamPlayer::OpenStream(const char* address, int port, int connectType, int /*channel*/)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph)
        return TP_ERR_NO_PLAYER;
    if (!m_pNWSourceItf)
        return TP_ERR_NO_NWSOURCE_INTERFACE;
    HRESULT hr = m_pNWSourceItf->SetConnectParam(connectType, address, port);
    if (hr != 0)
        return hr;
    return Play();
}

int CStreamPlayer::Pause()
{
    return Stop();
}

int CStreamPlayer::GetStatistics(char* buffer, int size)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph || !m_pFilterGraph || !m_pNWSourceItf)
        return TP_ERR_INVALID_HANDLE;
    LONGLONG packets = 0, received = 0, samples = 0, delivered = 0;
    m_pNWSourceItf->GetStatistics(&packets, &received, &samples, &delivered);
    char line[200];
    std::snprintf(line, sizeof line,
                  "NWSource--RecvPackets:%" PRId64 ",RecvLength:%" PRId64 ",DeliverSamples:%" PRId64
                  ",DeliverLength:%" PRId64 "\r\n",
                  static_cast<int64_t>(packets), static_cast<int64_t>(received),
                  static_cast<int64_t>(samples), static_cast<int64_t>(delivered));
    int used = 0;
    if (int error = TpAppendLine(buffer, size, used, line))
        return error;
    return AppendGraphStatistics(buffer, size, used);
}
