#include "CFilePlayer.h"

#include "GraphHelpers.h"
#include "win32/text.h"

namespace {

constexpr const wchar_t* kFileReaderName = L"File Async Reader";

} // namespace

CFilePlayer::CFilePlayer(HWND hWnd) : CGraphPlayer(hWnd), m_pFileReader(nullptr)
{
    if (BuildGraph() != 0)
        Close();
}

CFilePlayer::~CFilePlayer()
{
    CFilePlayer::Close();
}

int CFilePlayer::BuildGraph()
{
    if (CGraphPlayer::BuildGraph() != 0)
        return TP_ERR_INVALID_HANDLE;
    if (AddFilterByClsid(m_pFilterGraph, &m_pFileReader, kFileReaderName, CLSID_AsyncReader) != 0)
        return TP_ERR_ADD_FILE_READER;
    return 0;
}

int CFilePlayer::Close()
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    Stop();
    if (m_pFileReader) {
        if (m_pGraph)
            m_pGraph->RemoveFilter(m_pFileReader);
        SafeRelease(m_pFileReader);
    }
    return CGraphPlayer::Close();
}

int CFilePlayer::OpenLocalFile(const char* path)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    if (!m_pGraph || !m_pFileReader || !m_pSplitter)
        return TP_ERR_INVALID_HANDLE;
    IFileSourceFilter* source = TpQuery<IFileSourceFilter>(m_pFileReader, IID_IFileSourceFilter);
    if (!source)
        return TP_ERR_NO_FILE_SOURCE;
    // The reader takes at most MAX_PATH characters, its terminating zero
    // included; a longer path is cut there, as the wide copy always was.
    std::wstring wide = TvUtf8ToWide(path ? path : "");
    if (wide.size() >= MAX_PATH)
        wide.resize(MAX_PATH - 1);
    HRESULT hr = source->Load(wide.c_str(), nullptr);
    source->Release();
    if (FAILED(hr))
        return TP_ERR_FILE_ACCESS;
    if (FAILED(ConnectFilters(m_pFilterGraph, m_pFileReader, 0, m_pSplitter, 0)))
        return TP_ERR_CONNECT_FILE_READER;

    hr = E_FAIL;
    if (m_pVideoBuilder) {
        if (!m_pVideoPin)
            return TP_ERR_NO_SPLITTER_PIN;
        hr = m_pVideoBuilder->Render(m_pVideoPin, m_pGraph);
        if (m_pAudioBuilder) {
            if (!m_pAudioPin)
                return TP_ERR_NO_SPLITTER_PIN;
            m_pAudioBuilder->Render(m_pAudioPin, m_pGraph);
        }
        if (SUCCEEDED(hr)) {
            AttachWindow();
            Play();
            return 0;
        }
    }
    IPin* input = nullptr;
    GetPin(m_pSplitter, PINDIR_INPUT, 0, &input);
    if (input) {
        m_pFilterGraph->Disconnect(input);
        input->Release();
    }
    return hr;
}

int CFilePlayer::GetDuration(int* milliseconds)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    IMediaPosition* position = nullptr;
    if (int error = VideoPosition(&position))
        return error;
    REFTIME seconds = 0;
    HRESULT hr = position->get_Duration(&seconds);
    position->Release();
    if (SUCCEEDED(hr) && milliseconds)
        *milliseconds = TpSecondsToMs(seconds);
    return hr;
}

int CFilePlayer::GetPosition(int* milliseconds)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    IMediaPosition* position = nullptr;
    if (int error = VideoPosition(&position))
        return error;
    REFTIME seconds = 0;
    HRESULT hr = position->get_CurrentPosition(&seconds);
    position->Release();
    if (SUCCEEDED(hr) && milliseconds)
        *milliseconds = TpSecondsToMs(seconds);
    return hr;
}

int CFilePlayer::SetPosition(int milliseconds)
{
    std::lock_guard<std::recursive_mutex> lock(m_lock);
    IMediaPosition* position = nullptr;
    if (int error = VideoPosition(&position))
        return error;
    // Whole seconds: the integer division is the seek granularity.
    HRESULT hr = position->put_CurrentPosition(static_cast<REFTIME>(milliseconds / 1000));
    position->Release();
    return hr;
}
