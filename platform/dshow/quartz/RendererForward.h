// The interfaces the graph manager passes on to its renderers: IVideoWindow,
// IBasicVideo, IBasicAudio and IVideoFrameStep.
//
// The graph always answers QueryInterface for them, as DirectShow does; each
// call goes to the first filter that offers the interface, renderers first
// (downstream-first order). When no filter in the graph offers it, the call
// fails with E_NOINTERFACE and changes nothing (out values untouched). A
// player therefore sees a graph without renderer as one whose calls fail, not
// as one without the interface.
//
// The target is looked up under the graph lock for each call and called
// without it (a renderer's window calls may wait for the window thread).
// Application threads.
#pragma once

#include <condition_variable>
#include <mutex>
#include <thread>

#include "GraphPart.h"
#include "InterfacePtr.h"

// What the forwarding parts share: the graph and the look-up.
class CForwardBase {
protected:
    explicit CForwardBase(CFilterGraph& graph) : m_graph(graph) {}
    IUnknown* Owner() const;
    // The first filter's interface iid, add-referenced, or empty.
    CInterfacePtr<IUnknown> FindTarget(REFIID iid) const;

    CFilterGraph& m_graph;
};

// The forwarding part for interface I (IID iid): IUnknown goes to the graph,
// Call to the first filter that offers I.
template <class I, IID iid>
class CRendererForward : public CGraphInterface<I>, protected CForwardBase {
public:
    using Target = I;
    explicit CRendererForward(CFilterGraph& graph) : CForwardBase(graph) {}

protected:
    template <class F> HRESULT Call(F call)
    {
        CInterfacePtr<IUnknown> target = FindTarget(iid);
        if (!target)
            return E_NOINTERFACE;
        return call(reinterpret_cast<I*>(target.Get()));
    }

public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        return Owner()->QueryInterface(riid, ppv);
    }
    STDMETHODIMP_(ULONG) AddRef() override { return Owner()->AddRef(); }
    STDMETHODIMP_(ULONG) Release() override { return Owner()->Release(); }
};

#define TV_FORWARD(Method, Params, Args)                                                           \
    STDMETHODIMP Method Params override                                                            \
    {                                                                                              \
        return Call([&](Target* target) { return target->Method Args; });                          \
    }

class CVideoWindowForward : public CRendererForward<IVideoWindow, IID_IVideoWindow> {
public:
    using CRendererForward::CRendererForward;
    TV_FORWARD(put_Caption, (BSTR strCaption), (strCaption))
    TV_FORWARD(get_Caption, (BSTR * strCaption), (strCaption))
    TV_FORWARD(put_WindowStyle, (LONG WindowStyle), (WindowStyle))
    TV_FORWARD(get_WindowStyle, (LONG * WindowStyle), (WindowStyle))
    TV_FORWARD(put_WindowStyleEx, (LONG WindowStyleEx), (WindowStyleEx))
    TV_FORWARD(get_WindowStyleEx, (LONG * WindowStyleEx), (WindowStyleEx))
    TV_FORWARD(put_AutoShow, (LONG AutoShow), (AutoShow))
    TV_FORWARD(get_AutoShow, (LONG * AutoShow), (AutoShow))
    TV_FORWARD(put_WindowState, (LONG WindowState), (WindowState))
    TV_FORWARD(get_WindowState, (LONG * WindowState), (WindowState))
    TV_FORWARD(put_BackgroundPalette, (LONG BackgroundPalette), (BackgroundPalette))
    TV_FORWARD(get_BackgroundPalette, (LONG * pBackgroundPalette), (pBackgroundPalette))
    TV_FORWARD(put_Visible, (LONG Visible), (Visible))
    TV_FORWARD(get_Visible, (LONG * pVisible), (pVisible))
    TV_FORWARD(put_Left, (LONG Left), (Left))
    TV_FORWARD(get_Left, (LONG * pLeft), (pLeft))
    TV_FORWARD(put_Width, (LONG Width), (Width))
    TV_FORWARD(get_Width, (LONG * pWidth), (pWidth))
    TV_FORWARD(put_Top, (LONG Top), (Top))
    TV_FORWARD(get_Top, (LONG * pTop), (pTop))
    TV_FORWARD(put_Height, (LONG Height), (Height))
    TV_FORWARD(get_Height, (LONG * pHeight), (pHeight))
    TV_FORWARD(put_Owner, (OAHWND Owner), (Owner))
    TV_FORWARD(get_Owner, (OAHWND * Owner), (Owner))
    TV_FORWARD(put_MessageDrain, (OAHWND Drain), (Drain))
    TV_FORWARD(get_MessageDrain, (OAHWND * Drain), (Drain))
    TV_FORWARD(get_BorderColor, (LONG * Color), (Color))
    TV_FORWARD(put_BorderColor, (LONG Color), (Color))
    TV_FORWARD(get_FullScreenMode, (LONG * FullScreenMode), (FullScreenMode))
    TV_FORWARD(put_FullScreenMode, (LONG FullScreenMode), (FullScreenMode))
    TV_FORWARD(SetWindowForeground, (LONG Focus), (Focus))
    TV_FORWARD(NotifyOwnerMessage, (OAHWND hwnd, LONG uMsg, LONG_PTR wParam, LONG_PTR lParam),
               (hwnd, uMsg, wParam, lParam))
    TV_FORWARD(SetWindowPosition, (LONG Left, LONG Top, LONG Width, LONG Height),
               (Left, Top, Width, Height))
    TV_FORWARD(GetWindowPosition, (LONG * pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight),
               (pLeft, pTop, pWidth, pHeight))
    TV_FORWARD(GetMinIdealImageSize, (LONG * pWidth, LONG* pHeight), (pWidth, pHeight))
    TV_FORWARD(GetMaxIdealImageSize, (LONG * pWidth, LONG* pHeight), (pWidth, pHeight))
    TV_FORWARD(GetRestorePosition, (LONG * pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight),
               (pLeft, pTop, pWidth, pHeight))
    TV_FORWARD(HideCursor, (LONG HideCursor), (HideCursor))
    TV_FORWARD(IsCursorHidden, (LONG * CursorHidden), (CursorHidden))
};

class CBasicVideoForward : public CRendererForward<IBasicVideo, IID_IBasicVideo> {
public:
    using CRendererForward::CRendererForward;
    TV_FORWARD(get_AvgTimePerFrame, (REFTIME * pAvgTimePerFrame), (pAvgTimePerFrame))
    TV_FORWARD(get_BitRate, (LONG * pBitRate), (pBitRate))
    TV_FORWARD(get_BitErrorRate, (LONG * pBitErrorRate), (pBitErrorRate))
    TV_FORWARD(get_VideoWidth, (LONG * pVideoWidth), (pVideoWidth))
    TV_FORWARD(get_VideoHeight, (LONG * pVideoHeight), (pVideoHeight))
    TV_FORWARD(put_SourceLeft, (LONG SourceLeft), (SourceLeft))
    TV_FORWARD(get_SourceLeft, (LONG * pSourceLeft), (pSourceLeft))
    TV_FORWARD(put_SourceWidth, (LONG SourceWidth), (SourceWidth))
    TV_FORWARD(get_SourceWidth, (LONG * pSourceWidth), (pSourceWidth))
    TV_FORWARD(put_SourceTop, (LONG SourceTop), (SourceTop))
    TV_FORWARD(get_SourceTop, (LONG * pSourceTop), (pSourceTop))
    TV_FORWARD(put_SourceHeight, (LONG SourceHeight), (SourceHeight))
    TV_FORWARD(get_SourceHeight, (LONG * pSourceHeight), (pSourceHeight))
    TV_FORWARD(put_DestinationLeft, (LONG DestinationLeft), (DestinationLeft))
    TV_FORWARD(get_DestinationLeft, (LONG * pDestinationLeft), (pDestinationLeft))
    TV_FORWARD(put_DestinationWidth, (LONG DestinationWidth), (DestinationWidth))
    TV_FORWARD(get_DestinationWidth, (LONG * pDestinationWidth), (pDestinationWidth))
    TV_FORWARD(put_DestinationTop, (LONG DestinationTop), (DestinationTop))
    TV_FORWARD(get_DestinationTop, (LONG * pDestinationTop), (pDestinationTop))
    TV_FORWARD(put_DestinationHeight, (LONG DestinationHeight), (DestinationHeight))
    TV_FORWARD(get_DestinationHeight, (LONG * pDestinationHeight), (pDestinationHeight))
    TV_FORWARD(SetSourcePosition, (LONG Left, LONG Top, LONG Width, LONG Height),
               (Left, Top, Width, Height))
    TV_FORWARD(GetSourcePosition, (LONG * pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight),
               (pLeft, pTop, pWidth, pHeight))
    TV_FORWARD(SetDefaultSourcePosition, (), ())
    TV_FORWARD(SetDestinationPosition, (LONG Left, LONG Top, LONG Width, LONG Height),
               (Left, Top, Width, Height))
    TV_FORWARD(GetDestinationPosition, (LONG * pLeft, LONG* pTop, LONG* pWidth, LONG* pHeight),
               (pLeft, pTop, pWidth, pHeight))
    TV_FORWARD(SetDefaultDestinationPosition, (), ())
    TV_FORWARD(GetVideoSize, (LONG * pWidth, LONG* pHeight), (pWidth, pHeight))
    TV_FORWARD(GetVideoPaletteEntries,
               (LONG StartIndex, LONG Entries, LONG* pRetrieved, LONG* pPalette),
               (StartIndex, Entries, pRetrieved, pPalette))
    TV_FORWARD(GetCurrentImage, (LONG * pBufferSize, LONG* pDIBImage), (pBufferSize, pDIBImage))
    TV_FORWARD(IsUsingDefaultSource, (), ())
    TV_FORWARD(IsUsingDefaultDestination, (), ())
};

class CBasicAudioForward : public CRendererForward<IBasicAudio, IID_IBasicAudio> {
public:
    using CRendererForward::CRendererForward;
    TV_FORWARD(put_Volume, (LONG lVolume), (lVolume))
    TV_FORWARD(get_Volume, (LONG * plVolume), (plVolume))
    TV_FORWARD(put_Balance, (LONG lBalance), (lBalance))
    TV_FORWARD(get_Balance, (LONG * plBalance), (plBalance))
};

#undef TV_FORWARD

// Frame stepping, as DirectShow does it: Step goes to the renderer, and the
// graph runs so that the renderer receives the frames; the renderer presents
// them, holds the last one and reports EC_STEP_COMPLETE, upon which the graph
// pauses and then passes the event on to the application. A step asked while
// the graph is stopped is refused by the graph with VFW_E_WRONG_STATE.
//
// The pause after a step is made by a worker thread of the graph (started by
// the first step): the event arrives on the renderer's streaming thread, which
// must not change the graph's state itself.
class CFrameStepForward : public CRendererForward<IVideoFrameStep, IID_IVideoFrameStep> {
public:
    using CRendererForward::CRendererForward;
    ~CFrameStepForward();

    STDMETHODIMP Step(DWORD dwFrames, IUnknown* pStepObject) override;
    STDMETHODIMP CanStep(LONG bMultiple, IUnknown* pStepObject) override;
    // Forwarded; a graph running for a step pauses.
    STDMETHODIMP CancelStep() override;

    // Events part, any thread: a renderer reported EC_STEP_COMPLETE. True when
    // the step was the graph's: the event is then queued once the graph has
    // paused. False: queue it as it is.
    bool StepCompleted(LONG_PTR param1, LONG_PTR param2);
    // Stops the worker (the graph is going away); not under the graph lock.
    void Shutdown();

private:
    void Worker();

    // guarded by m_lock
    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stepping = false; // the graph runs for a step
    bool m_pausePending = false;
    LONG_PTR m_completeParam1 = 0;
    LONG_PTR m_completeParam2 = 0;
    bool m_quit = false;
    std::thread m_worker;
};
