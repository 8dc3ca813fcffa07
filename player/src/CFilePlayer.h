// CFilePlayer: plays a local record file through the asynchronous file reader
// ("File Async Reader") feeding the splitter.
#pragma once

#include "CGraphPlayer.h"

class CFilePlayer : public CGraphPlayer {
public:
    // Application thread. Builds the graph at once; when that fails the player
    // is closed and stays without a graph.
    explicit CFilePlayer(HWND hWnd);
    ~CFilePlayer() override;

    // Application thread (and the destructor). Also takes the file reader out
    // of the graph, under m_lock.
    int Close() override;
    // Application thread (the constructor). The common graph (any failure:
    // TP_ERR_INVALID_HANDLE), then the file reader (TP_ERR_ADD_FILE_READER).
    int BuildGraph() override;

    // Application thread. Loads the file into the reader, connects it to the
    // splitter, renders the video (and audio) chain, attaches the window and
    // plays. On a render failure the splitter's input is disconnected again.
    int OpenLocalFile(const char* path) override;
    // Position and duration in whole milliseconds from the splitter's video
    // pin; the out value is written only on success.
    int GetDuration(int* milliseconds) override;
    int GetPosition(int* milliseconds) override;
    // Seeks to whole seconds: 1999 ms seeks to 1 s.
    int SetPosition(int milliseconds) override;

protected:
    // Owned, null when absent. Application thread only (a file player has no
    // format poll).
    IBaseFilter* m_pFileReader;
};
