// CGraphPlayer: a player that owns a DirectShow filter graph with the stream
// splitter in it. Never instantiated alone: CFilePlayer and CStreamPlayer add the
// source filter. A player whose graph could not be built stays usable as an
// object; its operations report the missing graph.
//
// Threads: the operations run on application threads, possibly several at
// once; each holds m_lock for its whole length. The platform's dispatcher
// thread runs a stream player's format poll (CStreamPlayer), which holds m_lock
// too but only tries for it, so an application thread that holds the lock
// while it waits for the poll to end (KillTimer in Close) never waits for it
// in vain. m_lock is recursive: operations run other operations (Stop, Play,
// AttachWindow), and a derived Close runs its base's.
#pragma once

#include <dshow.h>
#include <windows.h>

#include <mutex>
#include <vector>

#include "ITarvoSplt.h"
#include "CPlayerBase.h"

// Messages the player's window receives.
#define TP_WM_RENDER_FAILED (WM_USER + 1) // wParam: the failing HRESULT
#define TP_WM_GRAPH_NOTIFY (WM_USER + 2)  // the graph queued an event (IMediaEventEx)

class CGraphPlayer : public CPlayerBase {
public:
    ~CGraphPlayer() override;

    // Application thread (and the destructor). Stop, then release every
    // interface and take the splitter out of the graph, under m_lock. Leaves
    // the player without a graph; may be called again. Returns 0.
    int Close() override;
    // Application thread. The graph's event interface, not add-referenced.
    IMediaEventEx* GetEventSink() override;

    // Slot 68. Application thread (the constructor). The common graph: filter
    // graph manager, its IFilterGraph and IMediaEventEx (notifying the window
    // with TP_WM_GRAPH_NOTIFY), the splitter with ITarvoSplt, its two output
    // pins with their IStreamBuilders and the first pin's media-type
    // enumerator. 0 or the error code of the first step that failed. Runs
    // under m_lock.
    virtual int BuildGraph();

    // Application thread.
    bool HasGraph() const { return m_pGraph != nullptr; }

    // ---- Playback control and picture adjustment (CGraphPlayerControl.cpp) ----
    // Any application thread; each takes m_lock. A player without a graph
    // answers TP_ERR_INVALID_HANDLE unless the operation says otherwise.
    int Pause() override;
    int Play() override;
    // Stop, then SetPosition(0) (a stream player has no position).
    int Stop() override;
    int GetState(int* state) override;
    int SetRate(double rate) override;
    int GetRate(double* rate) override;
    int StepForward() override;
    int StepBackward() override;
    int SetReduceLevel(int spatialLevel, int frameLevel) override;
    int GetReduceLevel(int* spatialLevel, int* frameLevel) override;
    // Stops, takes the chain below the splitter away, sets the processor's cut
    // rectangle and renders again; closes the player when that fails.
    int SetVideoCut(int left, int right, int top, int bottom) override;
    int GetVideoCut(int* left, int* right, int* top, int* bottom) override;
    int SetSourceRect(int left, int top, int width, int height) override;
    int GetSourceRect(int* left, int* top, int* width, int* height) override;
    int GetVideoSize(int* width, int* height) override;
    // Volume 0-100 on IBasicAudio: v <= 0 silences (-10000), else 30 v - 3000.
    int SetVolume(int volume) override;
    int GetVolume(int* volume) override;
    int SetColor(int brightness, int contrast, int saturation, int hue) override;
    int GetColor(int* brightness, int* contrast, int* saturation, int* hue) override;
    // Goes full screen only from a running graph; back from any state.
    int SetFullScreenMode(BYTE full) override;
    int GetFullScreenMode(int* full) override;
    // Places the renderer's window over the whole client area again.
    int ReSize(int width, int height) override;
    // "After Decoder--..." and "Render--..." lines into buffer (size bytes);
    // TP_ERR_OUT_OF_MEMORY when a line does not fit (earlier lines stay).
    int GetStatistics(char* buffer, int size) override;

    // ---- Overlays (CGraphPlayerOverlay.cpp) ----
    // Application thread. Each call is one or two calls on the frame
    // processor's IProcesserOverlay; the player keeps no overlay state. No
    // graph: TP_ERR_INVALID_HANDLE; no frame processor yet (before the first
    // render): TP_ERR_NO_PROCESSOR_OVERLAY; the processor lacks the interface
    // or refuses an item: TP_ERR_OVERLAY_REFUSED. The "-1" operations store
    // these in the last error. Text and system time are always drawn white.
    int AddTextOverlay(int x, int y, const char* text, int color, void* font, int startTime,
                       int duration) override;
    int AddSysTimeOverlay(int x, int y, int color, void* font, int startTime,
                          int duration) override;
    int AddBitmapOverlay(int x, int y, int bitmap, int maskColor, int startTime,
                         int duration) override;
    int AddRectangleOverlay(const POINT* topLeft, const POINT* bottomRight, int color,
                            int startTime, int duration) override;
    int AddCircleOverlay(const POINT* center, int radius, int color, int startTime,
                         int duration) override;
    int AddEllipseOverlay(const POINT* topLeft, const POINT* bottomRight, int color, int startTime,
                          int duration) override;
    int AddPolygonOverlay(const POINT* points, int count, int color, int startTime,
                          int duration) override;
    int SetFlickerTime(int index, int flickerTime) override;
    int GetItemsByIndex(int index, BYTE* data, int* dataSize, int* count) override;
    int AddOverlaysFromFile(const char* path, int* count) override;
    int AddOverlaysFromByte(const BYTE* data, int length, int* count) override;
    // 0 whatever the processor answered (an unknown index included).
    int RemoveOverlay(int index) override;
    int RemoveAllOverlay() override;

    // ---- Capture and frame callback (CGraphPlayerCapture.cpp) ----
    // Application thread. The picture the frame processor shows next, as a
    // 24-bit BMP file at path (rows bottom-up, not padded). No graph:
    // TP_ERR_INVALID_HANDLE; no frame processor: TP_ERR_NO_VIDEO_WINDOW; a
    // processor without frame grab: 0 and no file; a picture that is not
    // YUY2, cannot be grabbed or written: E_INVALIDARG.
    int GrabPicture(const char* path) override;
    // Any thread (the format poll's AttachWindow too). The callback is kept:
    // set before the frame processor exists, AttachWindow hands it on, and
    // again to the new processor of every re-render.
    int SetYUVFrameCallBack(TP_YUVFrameCallBack callback, void* user) override;
    // Application thread; sleeps for the given time, outside m_lock
    // (ITarvoSplt::GetReceiveRates).
    int QueryDataDelivered(int milliseconds, int* videoBytes, int* audioBytes) override;
    // Always E_FAIL: decoded pictures reach applications through the YUV
    // frame callback.
    int SetDecCB(void* function, void* user) override;

    // Application thread. The frame processor, add-referenced, in *processor
    // (taken under m_lock, which the format poll's AttachWindow writes it
    // under). 0; TP_ERR_INVALID_HANDLE without graph; noProcessor without
    // frame processor.
    int TakeProcessor(int noProcessor, IBaseFilter** processor);
    // Any application thread. The graph's IFilterGraph, add-referenced, in
    // *graph (null on failure): 0, or TP_ERR_INVALID_HANDLE without a graph.
    // The graph outlives a later Close for as long as the caller holds it.
    int TakeFilterGraph(IFilterGraph** graph);

protected:
    explicit CGraphPlayer(HWND hWnd);

    // After a successful render, under m_lock (the format poll, or the
    // application thread): finds the frame processor, lets the picture fill the
    // window, attaches the renderer's window to ours over the client area and
    // hands on a frame callback kept until now. Returns SetWindowPosition's
    // result (TP_ERR_NO_VIDEO_WINDOW without IVideoWindow).
    int AttachWindow();
    // Where AttachWindow places the renderer's window in a client area of
    // width x height (left, top, right, bottom): the whole area here.
    virtual RECT VideoWindowRect(LONG width, LONG height) const;
    // GrabPicture's step between grabbing the YUY2 picture (width x 2 bytes
    // a row, top row first) and writing it: a player may replace the picture
    // and its size. Nothing here. Application thread, outside m_lock.
    virtual HRESULT ScaleCapturedPicture(std::vector<BYTE>& yuy2, int& width, int& height);

    // Under m_lock. Renders the splitter's video pin again after its chain was
    // taken away (video cut, reduce level): attaches the window and plays on
    // success, closes the player on failure.
    int RenderVideoAgain();
    // Under m_lock. The IMediaPosition of the splitter's video pin (owned
    // reference) or the error code: TP_ERR_INVALID_HANDLE without splitter or
    // pin, TP_ERR_NO_MEDIA_POSITION without the interface.
    int VideoPosition(IMediaPosition** position);
    // The graph's IMediaControl, add-referenced: 0, TP_ERR_INVALID_HANDLE
    // without a graph or TP_ERR_NO_MEDIA_CONTROL. Under m_lock.
    int GraphControl(IMediaControl** control);
    // Under m_lock. Sets the rate when it differs from the asked one, then
    // steps one frame.
    int StepAtRate(double rate);
    // Under m_lock. Appends the graph's statistics lines at buffer + used.
    int AppendGraphStatistics(char* buffer, int size, int& used);

    // Serialises BuildGraph, Close, the statistics and the format poll of a
    // stream player.
    std::recursive_mutex m_lock;

    // The graph: owned references, null when absent. guarded by m_lock
    // (written by BuildGraph and Close, read by every operation and the poll).
    IGraphBuilder* m_pGraph;
    IFilterGraph* m_pFilterGraph;
    IMediaEventEx* m_pMediaEvent;
    IBaseFilter* m_pSplitter;
    ITarvoSplt* m_pTarvoSplt;
    IPin* m_pVideoPin;               // the splitter's first output pin
    IPin* m_pAudioPin;               // the splitter's second output pin
    IStreamBuilder* m_pVideoBuilder; // of the splitter's first output pin
    IStreamBuilder* m_pAudioBuilder; // of the splitter's second output pin
    IEnumMediaTypes* m_pVideoTypes;  // media types of the first output pin

    // guarded by m_lock: written by AttachWindow, which the format poll runs.
    IVideoWindow* m_pVideoWindow; // owned; obtained after rendering
    IBaseFilter* m_pProcessor;    // owned; "Tarvo Processer Filter", found after rendering
    // The application's frame callback (null: none). Kept for the player's
    // life: AttachWindow hands it to every frame processor a render builds.
    TP_YUVFrameCallBack m_pendingFrameCallback;
    void* m_pendingFrameUser;
};
