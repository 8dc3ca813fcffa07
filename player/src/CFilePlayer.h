// CFilePlayer: plays a local record file through the asynchronous file reader
// ("File Async Reader") feeding the splitter.
#pragma once

#include "CGraphPlayer.h"

class CFilePlayer : public CGraphPlayer {
public:
    // Builds the graph at once; when that fails the player is closed and stays
    // without a graph.
    explicit CFilePlayer(HWND hWnd);
    ~CFilePlayer() override;

    // Also takes the file reader out of the graph.
    int Close() override;
    // The common graph (any failure: TP_ERR_INVALID_HANDLE), then the file reader
    // (TP_ERR_ADD_FILE_READER).
    int BuildGraph() override;

protected:
    IBaseFilter* m_pFileReader;
};
