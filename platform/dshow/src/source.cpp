// CSource and CSourceStream.
#include "source.h"

#include <cstdlib>
#include <cwchar>
#include <new>
#include <string>

#include "dshowtrace.h"
#include "evcode.h"
#include "vfwmsgs.h"

// ---- the filter ----

CSource::CSource(LPCTSTR pName, LPUNKNOWN lpunk, CLSID clsid, HRESULT* phr)
    : CBaseFilter(pName, lpunk, &m_cStateLock, clsid, phr)
{
}

CSource::CSource(LPCTSTR pName, LPUNKNOWN lpunk, CLSID clsid)
    : CBaseFilter(pName, lpunk, &m_cStateLock, clsid)
{
}

CSource::~CSource()
{
    // A filter released while paused or running: end the streaming threads
    // while the pins are still whole objects (their FillBuffer is virtual).
    for (int i = 0; i < m_iPins; ++i) {
        CSourceStream* pin = m_paStreams[i];
        if (pin && pin->ThreadExists()) {
            CAutoLock lock(&m_cStateLock);
            pin->Inactive();
        }
    }
    // Each pin removes itself from the array as it goes.
    while (m_iPins > 0) {
        CSourceStream* pin = m_paStreams[m_iPins - 1];
        if (!pin) {
            --m_iPins;
            continue;
        }
        delete pin;
    }
    delete[] m_paStreams;
    m_paStreams = nullptr;
}

int CSource::GetPinCount()
{
    CAutoLock lock(&m_cStateLock);
    return m_iPins;
}

CBasePin* CSource::GetPin(int n)
{
    CAutoLock lock(&m_cStateLock);
    if (n < 0 || n >= m_iPins)
        return nullptr;
    return m_paStreams[n];
}

HRESULT CSource::AddPin(CSourceStream* pStream)
{
    CAutoLock lock(&m_cStateLock);
    CSourceStream** streams = new (std::nothrow) CSourceStream*[m_iPins + 1];
    if (!streams)
        return E_OUTOFMEMORY;
    for (int i = 0; i < m_iPins; ++i)
        streams[i] = m_paStreams[i];
    streams[m_iPins] = pStream;
    // The old array goes in every case: a filter that allocated an array of
    // its own before constructing its first pin would otherwise lose it.
    delete[] m_paStreams;
    m_paStreams = streams;
    ++m_iPins;
    IncrementPinVersion();
    return S_OK;
}

HRESULT CSource::RemovePin(CSourceStream* pStream)
{
    CAutoLock lock(&m_cStateLock);
    for (int i = 0; i < m_iPins; ++i) {
        if (m_paStreams[i] != pStream)
            continue;
        for (int j = i; j + 1 < m_iPins; ++j)
            m_paStreams[j] = m_paStreams[j + 1];
        --m_iPins;
        if (m_iPins == 0) {
            delete[] m_paStreams;
            m_paStreams = nullptr;
        }
        IncrementPinVersion();
        return S_OK;
    }
    return S_FALSE;
}

STDMETHODIMP CSource::FindPin(LPCWSTR Id, IPin** ppPin)
{
    if (!ppPin)
        return E_POINTER;
    *ppPin = nullptr;
    if (!Id)
        return E_POINTER;

    // A number from 1: the id QueryId gives.
    wchar_t* end = nullptr;
    const long number = std::wcstol(Id, &end, 10);
    if (end != Id && *end == L'\0' && number >= 1) {
        CAutoLock lock(&m_cStateLock);
        if (number <= m_iPins) {
            CBasePin* pin = m_paStreams[number - 1];
            *ppPin = pin;
            pin->AddRef();
            return S_OK;
        }
    }
    return CBaseFilter::FindPin(Id, ppPin);
}

int CSource::FindPinNumber(IPin* iPin)
{
    CAutoLock lock(&m_cStateLock);
    for (int i = 0; i < m_iPins; ++i) {
        if (static_cast<IPin*>(m_paStreams[i]) == iPin)
            return i;
    }
    return -1;
}

// ---- the pin ----

CSourceStream::CSourceStream(LPCTSTR pObjectName, HRESULT* phr, CSource* pms, LPCWSTR pName)
    : CAMThread(phr), CBaseOutputPin(pObjectName, pms, pms->pStateLock(), phr, pName),
      m_pFilter(pms)
{
    const HRESULT hr = m_pFilter->AddPin(this);
    if (FAILED(hr) && phr)
        *phr = hr;
}

CSourceStream::~CSourceStream()
{
    // The derived pin is gone already: a thread still running here could only
    // be ended, not served. CSource stops its pins before deleting them.
    if (ThreadExists()) {
        Stop();
        Exit();
        Close();
    }
    m_pFilter->RemovePin(this);
}

HRESULT CSourceStream::Active()
{
    CAutoLock lock(m_pFilter->pStateLock());
    if (m_pFilter->IsActive())
        return S_FALSE; // already streaming
    if (!IsConnected())
        return S_OK;

    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr))
        return hr;
    if (ThreadExists())
        return E_UNEXPECTED;
    if (!Create()) {
        CBaseOutputPin::Inactive();
        return E_FAIL;
    }
    hr = Init();
    if (FAILED(hr)) {
        // OnThreadCreate failed and the thread has ended.
        DSHOW_TRACE("source pin %p: thread set-up failed: 0x%08x", (void*)this, (unsigned)hr);
        Close();
        CBaseOutputPin::Inactive();
        return hr;
    }
    hr = Pause();
    DSHOW_TRACE("source pin %p: streaming thread started -> 0x%08x", (void*)this, (unsigned)hr);
    return hr;
}

HRESULT CSourceStream::Inactive()
{
    CAutoLock lock(m_pFilter->pStateLock());
    if (!IsConnected())
        return S_OK;

    // Decommit first: a thread blocked in GetDeliveryBuffer wakes with an
    // error and reaches its request check.
    HRESULT hr = CBaseOutputPin::Inactive();
    if (FAILED(hr))
        return hr;

    if (ThreadExists()) {
        hr = Stop();
        if (FAILED(hr))
            return hr;
        hr = Exit();
        if (FAILED(hr))
            return hr;
        Close();
        DSHOW_TRACE("source pin %p: streaming thread ended", (void*)this);
    }
    return S_OK;
}

DWORD CSourceStream::ThreadProc()
{
    // Nothing but CMD_INIT is served before the thread is set up.
    Command command;
    do {
        command = GetRequest();
        if (command != CMD_INIT)
            Reply(static_cast<DWORD>(E_UNEXPECTED));
    } while (command != CMD_INIT);

    HRESULT hr = OnThreadCreate();
    if (FAILED(hr)) {
        OnThreadDestroy();
        Reply(static_cast<DWORD>(hr));
        return 1;
    }
    Reply(static_cast<DWORD>(S_OK));

    m_bExitRequested = false;
    while (!m_bExitRequested) {
        command = GetRequest();
        switch (command) {
        case CMD_EXIT:
            m_bExitRequested = true;
            Reply(static_cast<DWORD>(S_OK));
            break;
        case CMD_STOP:
            Reply(static_cast<DWORD>(S_OK));
            break;
        case CMD_RUN:
        case CMD_PAUSE:
            // Streaming goes on in both states; the renderer does the waiting.
            Reply(static_cast<DWORD>(S_OK));
            DoBufferProcessingLoop();
            break;
        default:
            Reply(static_cast<DWORD>(E_NOTIMPL));
            break;
        }
    }

    hr = OnThreadDestroy();
    return FAILED(hr) ? 1 : 0;
}

HRESULT CSourceStream::DoBufferProcessingLoop()
{
    OnThreadStartPlay();
    for (;;) {
        Command command = CMD_STOP;
        while (!CheckRequest(&command)) {
            IMediaSample* sample = nullptr;
            HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
            if (FAILED(hr) || !sample) {
                // Decommitted (the filter is stopping): the request is on
                // its way.
                Sleep(1);
                continue;
            }

            hr = FillBuffer(sample);
            if (hr == S_OK) {
                hr = Deliver(sample);
                sample->Release();
                if (hr != S_OK) {
                    // Downstream refuses (flushing, stopping, or failed): stop
                    // pushing until told again.
                    DSHOW_TRACE("source pin %p: Deliver -> 0x%08x, streaming ends", (void*)this,
                                (unsigned)hr);
                    return S_OK;
                }
            } else if (hr == S_FALSE) {
                sample->Release();
                DSHOW_TRACE("source pin %p: end of stream", (void*)this);
                DeliverEndOfStream();
                return S_OK;
            } else {
                sample->Release();
                DSHOW_TRACE("source pin %p: FillBuffer -> 0x%08x", (void*)this, (unsigned)hr);
                DeliverEndOfStream();
                m_pFilter->NotifyEvent(EC_ERRORABORT, hr, 0);
                return hr;
            }
        }
        // CheckRequest took the request: it is answered here, whatever it is.
        switch (command) {
        case CMD_RUN:
        case CMD_PAUSE:
            Reply(static_cast<DWORD>(S_OK));
            break;
        case CMD_STOP:
            Reply(static_cast<DWORD>(S_OK));
            return S_FALSE;
        case CMD_EXIT:
            m_bExitRequested = true;
            Reply(static_cast<DWORD>(S_OK));
            return S_FALSE;
        default:
            Reply(static_cast<DWORD>(E_UNEXPECTED));
            break;
        }
    }
}

HRESULT CSourceStream::CheckMediaType(const CMediaType* pMediaType)
{
    if (!pMediaType)
        return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    CMediaType mine;
    const HRESULT hr = GetMediaType(&mine);
    if (FAILED(hr))
        return hr;
    return mine == *pMediaType ? S_OK : E_FAIL;
}

HRESULT CSourceStream::GetMediaType(int iPosition, CMediaType* pMediaType)
{
    if (!pMediaType)
        return E_POINTER;
    CAutoLock lock(m_pFilter->pStateLock());
    if (iPosition < 0)
        return E_INVALIDARG;
    if (iPosition > 0)
        return VFW_S_NO_MORE_ITEMS;
    return GetMediaType(pMediaType);
}

HRESULT CSourceStream::GetMediaType(CMediaType*)
{
    return E_UNEXPECTED;
}

STDMETHODIMP CSourceStream::QueryId(LPWSTR* Id)
{
    if (!Id)
        return E_POINTER;
    const int number = m_pFilter->FindPinNumber(this) + 1;
    if (number < 1)
        return E_FAIL;
    return AMGetWideString(std::to_wstring(number).c_str(), Id);
}
