// CNWSourceFilter: the network source filter ("Tarvo NWSource"). A CSource with
// one output pin (CNWSourceStream), the private interface INWSource for the
// player library and the property page, and ISpecifyPropertyPages.
//
// INWSource methods may be called from any thread; they go to the pin's
// receiver (connection, recording, ring log, statistics) and take no filter
// lock. Each call is logged with its arguments and result on the "nwsource"
// debug channel (TARVO_TRACE=nwsource).
#pragma once

#include "CNWSourceStream.h"
#include "INWSource.h"

#include <source.h>

extern const AMOVIESETUP_FILTER sudNWSource;

class CNWSourceFilter : public CSource,
                        public INWSource,
                        public ISpecifyPropertyPages,
                        public CRingLogClock {
public:
    DECLARE_IUNKNOWN
    STDMETHODIMP NonDelegatingQueryInterface(REFIID riid, void** ppv) override;

    // INWSource (slot order as declared there).
    STDMETHODIMP SetConnectParam(NWConnectType type, const char* address, LONG port) override;
    STDMETHODIMP GetConnectParam(NWConnectType* type, char* address, USHORT* port) override;
    STDMETHODIMP StartRecord(const char* path) override;
    STDMETHODIMP StopRecord() override;
    STDMETHODIMP GetRecordPath(char* path) override;
    STDMETHODIMP ReservedMethod(void* reserved) override;
    STDMETHODIMP SetLogPath(const char* path) override;
    STDMETHODIMP GetLogPath(char* path) override;
    STDMETHODIMP InputData(const BYTE* data, LONG length) override;
    STDMETHODIMP GetStatistics(LONGLONG* recvPackets, LONGLONG* recvLength,
                               LONGLONG* deliverSamples, LONGLONG* deliverLength) override;

    // ISpecifyPropertyPages: the "Connect Parameter" page.
    STDMETHODIMP GetPages(CAUUID* pPages) override;

    // IMediaFilter: also keep the ring log's view of the clock up to date.
    STDMETHODIMP Run(REFERENCE_TIME tStart) override;
    STDMETHODIMP SetSyncSource(IReferenceClock* pClock) override;

    LPAMOVIESETUP_FILTER GetSetupData() override { return &sudNWSource; }

    // CRingLogClock: the stream time from a snapshot of the clock and the
    // start time, so the ring (locked by the streaming thread) never waits
    // for the filter lock.
    LONG RingLogStreamTime() override;

private:
    template <class T, auto... Args> friend CUnknown* CreateComInstance(LPUNKNOWN, HRESULT*);
    CNWSourceFilter(LPUNKNOWN pUnk, HRESULT* phr);
    ~CNWSourceFilter() override;

    CNWSourceStream* Stream();
    CNetReceiver* Receiver();

    CCritSec m_logClockLock; // innermost: guards the two below
    IReferenceClock* m_pLogClock = nullptr;
    REFERENCE_TIME m_logStart = 0;
};
