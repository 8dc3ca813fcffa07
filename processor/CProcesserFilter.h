// CProcesserFilter: the frame processor ("TarvoProcesser"). Sits between the
// video decoder and the renderer: takes decoded YUY2 pictures on "Input",
// crops or re-arranges them, adjusts their colour, draws the overlays, hands
// them to the application's frame callback and to a one-picture grab, and
// queues them for its own delivery thread, which stamps them by time control
// and sends them out on "Output". "Overlay Input" takes the frame information
// packets that turn into the caption and the time line.
//
// Interfaces besides CTransformFilter's: IProcesserCut, IProcesserColor,
// IProcesserOverlay, ISampleGrabber (the frame grab only) and
// ISpecifyPropertyPages (the "Adjuster" page).
//
// Threads:
//   - Application threads: state changes and connections (filter lock), the
//     private interfaces and ISampleGrabber (no filter lock, except the
//     connection checks of SetCutRect/SetCutMode and GetConnectedMediaType).
//   - The upstream streaming thread: Receive and Transform under the receive
//     lock (copy, colour, overlays, callback, grab), then the append to the
//     delivery queue; EndOfStream, which waits until the queue is delivered. It blocks in
//     GetDeliveryBuffer while every output buffer is queued or downstream: that is how the decoder
//     is held back.
//   - The delivery thread (CProcesserDelivery), from construction to
//     destruction: stamps and delivers the queued pictures.
//   - The "Overlay Input" pin's upstream streaming thread: the packets.
// Locks, outermost first: the filter lock m_csFilter, the receive lock
// m_csReceive (both CTransformFilter's), then the innermost ones that guard
// their own data only: the picture settings (CPictureProcessor), the overlay
// list, the colour settings, the delivery queue, the send log. The streaming
// and delivery threads never take the filter lock.
//
// Members by guard:
//   - m_inputFormat: the filter lock (written when the input type is agreed,
//     read when the output type is offered).
//   - m_receiveLog, m_lastReceiveTick, m_receiveCounter: the input streaming
//     thread only.
//   - m_processor, m_delivery: their own locks.
//   - m_pOverlayPin: made with the other pins in the constructor, deleted
//     with the filter.
#pragma once

#include "COverlayInputPin.h"
#include "CPictureProcessor.h"
#include "CProcesserDelivery.h"
#include "IProcesserColor.h"
#include "IProcesserCut.h"
#include "IPictureBufferSource.h"
#include "IProcesserOverlay.h"

#include <qedit.h>
#include <streams.h>

#include <atomic>
#include <cstdio>

extern const AMOVIESETUP_FILTER sudProcesser;

class CProcesserFilter : public CTransformFilter,
                         public IProcesserCut,
                         public IProcesserColor,
                         public IProcesserOverlay,
                         public ISampleGrabber,
                         public ISpecifyPropertyPages,
                         public IOverlayLayoutSource,
                         public IProcesserDeliveryTarget,
                         public IPictureBufferSource {
public:
    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    LPAMOVIESETUP_FILTER GetSetupData() override { return &sudProcesser; }

    // ---- pins: "Input", "Output", "Overlay Input" ----
    int GetPinCount() override { return 3; }
    CBasePin* GetPin(int n) override;

    // ---- CTransformFilter ----
    HRESULT CheckInputType(const CMediaType* mtIn) override;
    HRESULT CheckTransform(const CMediaType* mtIn, const CMediaType* mtOut) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    HRESULT DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp) override;
    HRESULT SetMediaType(PIN_DIRECTION direction, const CMediaType* pmt) override;
    HRESULT Receive(IMediaSample* pSample) override;
    HRESULT Transform(IMediaSample* pIn, IMediaSample* pOut) override;
    HRESULT AlterQuality(Quality q) override;
    HRESULT EndOfStream() override;
    HRESULT BeginFlush() override;
    HRESULT EndFlush() override;
    STDMETHODIMP Stop() override;

    // ---- IProcesserCut ----
    STDMETHODIMP SetCutRect(LONG x, LONG y, LONG width, LONG height) override;
    STDMETHODIMP GetCutRect(LONG* x, LONG* y, LONG* width, LONG* height) override;
    STDMETHODIMP GetProcessStatistics(LONGLONG* samples, LONGLONG* bytes) override;
    STDMETHODIMP SetCutMode(LONG width, LONG height, LONG mode) override;
    STDMETHODIMP SetFrameCallback(ProcesserFrameCallback callback, void* user) override;

    // ---- IProcesserColor ----
    STDMETHODIMP GetContrast(BYTE* value) override;
    STDMETHODIMP SetContrast(LONG value) override;
    STDMETHODIMP ResetContrast() override;
    STDMETHODIMP GetBrightness(BYTE* value) override;
    STDMETHODIMP SetBrightness(LONG value) override;
    STDMETHODIMP ResetBrightness() override;
    STDMETHODIMP SetHue(LONG value) override;
    STDMETHODIMP GetHue(BYTE* value) override;
    STDMETHODIMP ResetHue() override;
    STDMETHODIMP SetSaturation(LONG value) override;
    STDMETHODIMP GetSaturation(BYTE* value) override;
    STDMETHODIMP ResetSaturation() override;

    // ---- IProcesserOverlay ----
    STDMETHODIMP RemoveOverlay(LONG id) override;
    STDMETHODIMP RemoveAllOverlay() override;
    STDMETHODIMP AddTextOverlay(const char* text, LONG length, BYTE r, BYTE g, BYTE b,
                                LOGFONTA font, LONG x, LONG y, LONG* id) override;
    STDMETHODIMP AddSysTimeOverlay(BYTE r, BYTE g, BYTE b, LOGFONTA font, LONG x, LONG y,
                                   LONG* id) override;
    STDMETHODIMP AddBitmapOverlay(HANDLE file, LONG x, LONG y, DWORD transparent,
                                  LONG* id) override;
    STDMETHODIMP AddRectangleOverlay(BYTE r, BYTE g, BYTE b, LONG left, LONG top, LONG right,
                                     LONG bottom, LONG* id) override;
    STDMETHODIMP AddCircleOverlay(BYTE r, BYTE g, BYTE b, LONG cx, LONG cy, LONG radius,
                                  LONG* id) override;
    STDMETHODIMP AddEllipseOverlay(BYTE r, BYTE g, BYTE b, LONG x0, LONG y0, LONG x1, LONG y1,
                                   LONG* id) override;
    STDMETHODIMP AddPolygonOverlay(BYTE r, BYTE g, BYTE b, const POINT* points, LONG count,
                                   LONG* id) override;
    STDMETHODIMP SetShowTime(LONG id, LONGLONG start, LONG duration, LONG reserved) override;
    STDMETHODIMP SetTimeRange(LONG id, LONGLONG start, LONGLONG end) override;
    STDMETHODIMP SetFlickerTime(LONG id, DWORD flicker) override;
    STDMETHODIMP NewOverlayID(LONG* id) override;
    STDMETHODIMP GetItemsByIndex(LONG id, BYTE* buffer, LONG* size, LONG* count) override;
    STDMETHODIMP GetItems(BYTE* buffer, LONG* size, LONG* count, LONGLONG start,
                          LONGLONG end) override;
    STDMETHODIMP AddOverlaysFromFile(const char* path, LONG* count) override;
    STDMETHODIMP AddOverlaysFromByte(const BYTE* data, LONG length, LONG* count) override;
    STDMETHODIMP AddTextOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r,
                                  BYTE g, BYTE b, LONG x, LONG y, const LOGFONTA* font,
                                  LONG textLength, const char* text, LONG extraLength,
                                  const BYTE* extra) override;
    STDMETHODIMP AddSysTimeOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r,
                                     BYTE g, BYTE b, LONG x, LONG y, const LOGFONTA* font,
                                     LONG extraLength, const BYTE* extra) override;
    STDMETHODIMP AddEllipseOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r,
                                     BYTE g, BYTE b, LONG x0, LONG y0, LONG x1, LONG y1,
                                     LONG extraLength, const BYTE* extra) override;
    STDMETHODIMP AddPolygonOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r,
                                     BYTE g, BYTE b, LONG count, const POINT* points,
                                     LONG extraLength, const BYTE* extra) override;
    STDMETHODIMP AddBitmapOverlayEx(LONG* id, LONGLONG start, LONGLONG end, DWORD flicker, BYTE r,
                                    BYTE g, BYTE b, LONG x, LONG y, HANDLE file, LONG extraLength,
                                    const BYTE* extra) override;

    // ---- ISampleGrabber ----
    STDMETHODIMP SetOneShot(BOOL OneShot) override;
    STDMETHODIMP SetMediaType(const AM_MEDIA_TYPE* pType) override;
    STDMETHODIMP GetConnectedMediaType(AM_MEDIA_TYPE* pType) override;
    STDMETHODIMP SetBufferSamples(BOOL BufferThem) override;
    STDMETHODIMP GetCurrentBuffer(LONG* pBufferSize, LONG* pBuffer) override;
    STDMETHODIMP GetCurrentSample(IMediaSample** ppSample) override;
    STDMETHODIMP SetCallback(ISampleGrabberCB* pCallback, LONG WhichMethodToCallback) override;

    // ---- ISpecifyPropertyPages ----
    STDMETHODIMP GetPages(CAUUID* pPages) override;

    // ---- IOverlayLayoutSource: the output pin's agreed type ----
    bool QueryOverlayLayout(OverlayFrameLayout* layout) override;

    // ---- IProcesserDeliveryTarget ----
    HRESULT DeliverQueued(IMediaSample* sample) override;
    REFERENCE_TIME QueueStreamTime() override;

    // ---- IPictureBufferSource: an output buffer, for a picture of the
    // agreed input size while the whole input is the output ----
    STDMETHODIMP GetPictureBuffer(LONG width, LONG height, IMediaSample** sample) override;

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    CProcesserFilter(LPUNKNOWN pUnk, HRESULT* phr);
    ~CProcesserFilter() override;

    CPictureProcessor m_processor;
    CProcesserDelivery m_delivery;
    COverlayInputPin* m_pOverlayPin = nullptr;

    VIDEOINFOHEADER2 m_inputFormat{}; // the filter lock

    FILE* m_receiveLog = nullptr; // input streaming thread
    DWORD m_lastReceiveTick = 0;
    LONG m_receiveCounter = 0;
    // The output buffer last lent upstream, until a Receive (input streaming
    // thread; atomic for a queue between the two filters). Only compared,
    // never dereferenced: the lender's reference is the caller's.
    std::atomic<IMediaSample*> m_lent{nullptr};
};
