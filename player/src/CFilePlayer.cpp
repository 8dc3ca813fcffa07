#include "CFilePlayer.h"

#include "GraphHelpers.h"

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
