// CGraphPlayer: a player that owns a DirectShow filter graph with the stream
// splitter in it. Never instantiated alone: CFilePlayer and CStreamPlayer add the
// source filter. A player whose graph could not be built stays usable as an
// object; its operations report the missing graph.
#pragma once

#include <dshow.h>
#include <windows.h>

#include "ITarvoSplt.h"
#include "CPlayerBase.h"

// Messages the player's window receives.
#define TP_WM_RENDER_FAILED (WM_USER + 1) // wParam: the failing HRESULT
#define TP_WM_GRAPH_NOTIFY (WM_USER + 2)  // the graph queued an event (IMediaEventEx)

class CGraphPlayer : public CPlayerBase {
public:
    ~CGraphPlayer() override;

    // Stop, then release every interface and take the splitter out of the graph.
    // Leaves the player without a graph; may be called again. Returns 0.
    int Close() override;
    IMediaEventEx* GetEventSink() override;

    // Slot 68. The common graph: filter graph manager, its IFilterGraph and
    // IMediaEventEx (notifying the window with TP_WM_GRAPH_NOTIFY), the splitter
    // with ITarvoSplt, its two output pins with their IStreamBuilders and the
    // first pin's media-type enumerator. 0 or the error code of the first step
    // that failed. Runs inside the player's lock.
    virtual int BuildGraph();

    bool HasGraph() const { return m_pGraph != nullptr; }

protected:
    explicit CGraphPlayer(HWND hWnd);

    // After a successful render: finds the frame processor, lets the picture fill
    // the window, attaches the renderer's window to ours over the client area and
    // hands on a frame callback kept until now. Returns SetWindowPosition's result
    // (TP_ERR_NO_VIDEO_WINDOW without IVideoWindow).
    int AttachWindow();

    // Owned references, null when absent.
    IGraphBuilder* m_pGraph;
    IFilterGraph* m_pFilterGraph;
    IMediaEventEx* m_pMediaEvent;
    IVideoWindow* m_pVideoWindow; // obtained after rendering
    IBaseFilter* m_pSplitter;
    IStreamBuilder* m_pVideoBuilder; // of the splitter's first output pin
    IStreamBuilder* m_pAudioBuilder; // of the splitter's second output pin
    IBaseFilter* m_pProcessor;       // "Tarvo Processer Filter", found after rendering
    ITarvoSplt* m_pTarvoSplt;
    IPin* m_pVideoPin;              // the splitter's first output pin
    IPin* m_pAudioPin;              // the splitter's second output pin
    IEnumMediaTypes* m_pVideoTypes; // media types of the first output pin
    // Serialises BuildGraph, the statistics and the format poll of a stream player.
    CRITICAL_SECTION m_lock;
    // A frame callback set before the frame processor existed, handed on by the
    // next AttachWindow.
    TP_YUVFrameCallBack m_pendingFrameCallback;
    void* m_pendingFrameUser;
};

// Enters a critical section for the life of the guard.
class CTpAutoLock {
public:
    explicit CTpAutoLock(CRITICAL_SECTION* cs) : m_cs(cs) { EnterCriticalSection(m_cs); }
    ~CTpAutoLock() { LeaveCriticalSection(m_cs); }
    CTpAutoLock(const CTpAutoLock&) = delete;
    CTpAutoLock& operator=(const CTpAutoLock&) = delete;

private:
    CRITICAL_SECTION* m_cs;
};
