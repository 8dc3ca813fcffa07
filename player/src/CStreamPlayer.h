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
    // Builds and runs the partial graph at once; when that fails the player is
    // closed and stays without a graph.
    CStreamPlayer(HWND hWnd, int playMode, int formatType);
    ~CStreamPlayer() override;

    // Kills the format poll, takes the network source out, then closes the rest.
    int Close() override;
    // The common graph (any failure: TP_ERR_INVALID_HANDLE), the network source
    // with INWSource, the stream type and play mode given to the splitter, source
    // connected to the splitter, Play, and the format poll started.
    int BuildGraph() override;

    int FormatType() const { return m_formatType; }
    int PlayMode() const { return m_playMode; }
    bool IsPolling() const { return m_pollTimer.load() != 0; }

protected:
    // One step of the format poll (dispatcher thread).
    void PollFormat();

    IBaseFilter* m_pNWSource;
    INWSource* m_pNWSourceItf;
    // Identifier of the format-poll timer, 0 when none. Cleared by whoever stops
    // the poll first (the poll itself, or Close).
    std::atomic<UINT_PTR> m_pollTimer;
    int m_formatType; // CodecKind given to TP_Initialize
    int m_playMode;   // play mode given to TP_Initialize

private:
    static void FormatPollProc(HWND hWnd, UINT msg, UINT_PTR id, DWORD time);
};
