// CStreamPlayer: plays a live device stream received by the network source filter
// ("Tarvo NWSource") feeding the splitter.
//
// The graph runs with only the source and the splitter until the splitter knows
// the stream's video media type; a 50 ms timer on the player's window polls for
// it and then renders the decoding chain. The poll runs on the platform's
// dispatcher thread: it takes the player's lock, and Close kills the timer (which
// waits for a running poll) before it dismantles anything.
#pragma once

#include <atomic>

#include "CGraphPlayer.h"
#include "INWSource.h"

class CStreamPlayer : public CGraphPlayer {
public:
    // Application thread. Builds and runs the partial graph at once; when that
    // fails the player is closed and stays without a graph.
    CStreamPlayer(HWND hWnd, int playMode, int formatType);
    ~CStreamPlayer() override;

    // Application thread (and the destructor). Kills the format poll (waiting
    // for a running one), then, under m_lock, takes the network source out
    // and closes the rest.
    int Close() override;
    // Application thread (the constructor). The common graph (any failure:
    // TP_ERR_INVALID_HANDLE), the network source with INWSource, the stream
    // type and play mode given to the splitter, source connected to the
    // splitter, Play, and the format poll started.
    int BuildGraph() override;

    // Application thread. Gives the network source its connection and runs.
    int OpenStream(const char* address, int port, int connectType, int channel) override;
    // A live stream cannot be held: pausing stops it.
    int Pause() override;
    // The network source's line, then the graph's lines in the space left.
    int GetStatistics(char* buffer, int size) override;

    // Any thread.
    int FormatType() const { return m_formatType; }
    int PlayMode() const { return m_playMode; }
    bool IsPolling() const { return m_pollTimer.load() != 0; }

protected:
    // One step of the format poll: dispatcher thread, under m_lock.
    void PollFormat();

    // Owned references, null when absent. Application thread only: written
    // by BuildGraph before the format poll starts and by Close under m_lock.
    IBaseFilter* m_pNWSource;
    INWSource* m_pNWSourceItf;
    // Identifier of the format-poll timer, 0 when none. Atomic, read and
    // cleared by either thread: whoever stops the poll first (the poll itself,
    // or Close) takes it.
    std::atomic<UINT_PTR> m_pollTimer;
    // Constant after construction.
    int m_formatType; // CodecKind given to TP_Initialize
    int m_playMode;   // play mode given to TP_Initialize

private:
    // Dispatcher thread.
    static void FormatPollProc(HWND hWnd, UINT msg, UINT_PTR id, DWORD time);
};
