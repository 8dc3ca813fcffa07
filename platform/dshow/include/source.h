// CSource and CSourceStream: a source filter whose output pins each push
// samples from a streaming thread of their own.
//
// CSource is the filter: it owns the state lock (pStateLock) and the array of
// its pins. A pin adds itself to the filter when it is constructed (AddPin)
// and removes itself when it is destroyed (RemovePin); the filter deletes its
// remaining pins when it is destroyed. A derived filter usually constructs its
// pins in its own constructor, either simply with new (the pin registers
// itself) or, as older filters do, by allocating m_paStreams itself and
// storing the new pin into it: AddPin then replaces (and frees) that array, so
// both ways are sound.
//
// CSourceStream is an output pin with a CAMThread. When the filter leaves the
// stopped state the pin goes Active: it commits its allocator, starts the
// thread and sends it CMD_INIT (OnThreadCreate runs on the thread) and then
// CMD_PAUSE, on which the thread enters DoBufferProcessingLoop: OnThreadStartPlay,
// then until a request arrives: GetDeliveryBuffer, FillBuffer, Deliver.
// FillBuffer returning S_FALSE ends the stream (EndOfStream downstream), a
// failure ends it too and reports EC_ERRORABORT to the graph, and a Deliver
// result other than S_OK (downstream flushing or stopping) ends the loop; in
// each case the thread then waits for the next request. When the filter
// stops, the pin goes Inactive: it decommits the allocator first (a thread
// blocked in GetBuffer wakes with an error, so Stop never deadlocks against
// it), then sends CMD_STOP and CMD_EXIT (OnThreadDestroy runs on the thread)
// and waits for the thread to end.
//
// Threads and locks. Active and Inactive run on the application thread with
// the state lock held; they wait for the streaming thread's replies, so
// OnThreadCreate, OnThreadDestroy, OnThreadStartPlay and FillBuffer must never
// take the state lock (GetMediaType and CheckMediaType, which take it, run on
// the application thread only). FillBuffer runs on the streaming thread.
#pragma once

#include "amfilter.h"
#include "mtype.h"
#include "wxutil.h"

class CSourceStream;

class CSource : public CBaseFilter {
public:
    CSource(LPCTSTR pName, LPUNKNOWN lpunk, CLSID clsid, HRESULT* phr);
    CSource(LPCTSTR pName, LPUNKNOWN lpunk, CLSID clsid);
    // Stops the threads of the pins that are left (while they are whole
    // objects) and deletes the pins.
    ~CSource() override;

    int GetPinCount() override;
    CBasePin* GetPin(int n) override;

    // The filter's state lock (also its CBaseFilter lock).
    CCritSec* pStateLock() { return &m_cStateLock; }

    // Called by CSourceStream's constructor and destructor. E_OUTOFMEMORY;
    // RemovePin gives S_FALSE for a pin the filter does not have.
    HRESULT AddPin(CSourceStream* pStream);
    HRESULT RemovePin(CSourceStream* pStream);

    // Ids are the pins' numbers from 1 ("1", "2", ...); a pin's name is
    // found as well.
    STDMETHODIMP FindPin(LPCWSTR Id, IPin** ppPin) override;
    // The pin's index, or -1.
    int FindPinNumber(IPin* iPin);

protected:
    // Guarded by m_cStateLock.
    int m_iPins = 0;
    CSourceStream** m_paStreams = nullptr; // new[] array of m_iPins pins

    CCritSec m_cStateLock;
};

class CSourceStream : public CAMThread, public CBaseOutputPin {
public:
    // Registers the pin with pms (AddPin); a failure there is reported in *phr.
    CSourceStream(LPCTSTR pObjectName, HRESULT* phr, CSource* pms, LPCWSTR pName);
    // Stops the thread if it still runs and removes the pin from the filter.
    ~CSourceStream() override;

    // The thread's requests. Sent by Active/Inactive (and by a derived class
    // that wants to pause or resume its thread).
    enum Command { CMD_INIT, CMD_PAUSE, CMD_RUN, CMD_STOP, CMD_EXIT };
    HRESULT Init() { return static_cast<HRESULT>(CallWorker(CMD_INIT)); }
    HRESULT Exit() { return static_cast<HRESULT>(CallWorker(CMD_EXIT)); }
    // The pin's own Run(tStart) stays reachable beside the thread request.
    using CBaseOutputPin::Run;
    HRESULT Run() { return static_cast<HRESULT>(CallWorker(CMD_RUN)); }
    HRESULT Pause() { return static_cast<HRESULT>(CallWorker(CMD_PAUSE)); }
    HRESULT Stop() { return static_cast<HRESULT>(CallWorker(CMD_STOP)); }

protected:
    // Fills one sample: S_OK delivers it, S_FALSE ends the stream, a failure
    // ends it with EC_ERRORABORT. Streaming thread.
    virtual HRESULT FillBuffer(IMediaSample* pSample) = 0;

    // Streaming thread: once after the thread starts (a failure ends the
    // thread and fails Active), once before it ends, and each time the
    // processing loop starts.
    virtual HRESULT OnThreadCreate() { return S_OK; }
    virtual HRESULT OnThreadDestroy() { return S_OK; }
    virtual HRESULT OnThreadStartPlay() { return S_OK; }

    // Application thread, state lock taken (see the header comment). Nothing
    // happens for an unconnected pin.
    HRESULT Active() override;
    HRESULT Inactive() override;

    // The request protocol on the streaming thread.
    Command GetRequest() { return static_cast<Command>(CAMThread::GetRequest()); }
    BOOL CheckRequest(Command* pCom)
    {
        DWORD request = 0;
        const BOOL waiting = CAMThread::CheckRequest(&request);
        if (waiting && pCom)
            *pCom = static_cast<Command>(request);
        return waiting;
    }
    DWORD ThreadProc() override;
    // Streams until a request comes, the stream ends or downstream refuses.
    // Every request the loop takes with CheckRequest is answered (Reply) by
    // the loop itself: CMD_RUN and CMD_PAUSE keep it streaming, CMD_STOP and
    // CMD_EXIT end it (S_FALSE; CMD_EXIT also ends the thread). S_OK when the
    // stream ended or delivery was refused; a failure from FillBuffer.
    virtual HRESULT DoBufferProcessingLoop();

    // One media type: the one GetMediaType(CMediaType*) gives. Application
    // thread, state lock taken.
    HRESULT CheckMediaType(const CMediaType* pMediaType) override;
    HRESULT GetMediaType(int iPosition, CMediaType* pMediaType) override;
    // The pin's single type. The base has none (E_UNEXPECTED); a pin with
    // several types overrides GetMediaType(int, CMediaType*) and
    // CheckMediaType instead.
    virtual HRESULT GetMediaType(CMediaType* pMediaType);

public:
    // The pin's number from 1 ("1", "2", ...).
    STDMETHODIMP QueryId(LPWSTR* Id) override;

protected:
    friend class CSource; // stops a pin's thread before deleting the pin

    CSource* m_pFilter;
    // Streaming thread only: CMD_EXIT was answered.
    bool m_bExitRequested = false;
};
