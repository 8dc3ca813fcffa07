// CTransformFilter, CTransformInputPin and CTransformOutputPin.
#include "transfrm.h"

#include <cstddef>
#include <cwchar>
#include <new>

#include "dshowtrace.h"
#include "evcode.h"
#include "posthru.h"
#include "vfwmsgs.h"

// ---- the filter ----

CTransformFilter::CTransformFilter(LPCTSTR pName, LPUNKNOWN pUnk, REFCLSID clsid)
    : CBaseFilter(pName, pUnk, &m_csFilter, clsid)
{
}

CTransformFilter::~CTransformFilter()
{
    delete m_pInput;
    delete m_pOutput;
}

int CTransformFilter::GetPinCount()
{
    return 2;
}

bool CTransformFilter::CreateTransformPins(LPCWSTR inputName, LPCWSTR outputName)
{
    if (m_pInput)
        return true;
    HRESULT hr = S_OK;
    m_pInput = new (std::nothrow) CTransformInputPin("Transform input pin", this, &hr, inputName);
    if (!m_pInput)
        return false;
    if (SUCCEEDED(hr))
        m_pOutput =
            new (std::nothrow) CTransformOutputPin("Transform output pin", this, &hr, outputName);
    if (!m_pOutput || FAILED(hr)) {
        delete m_pOutput;
        m_pOutput = nullptr;
        delete m_pInput;
        m_pInput = nullptr;
        return false;
    }
    return true;
}

CBasePin* CTransformFilter::GetPin(int n)
{
    if (!CreateTransformPins(L"XForm In", L"XForm Out"))
        return nullptr;
    if (n == 0)
        return m_pInput;
    if (n == 1)
        return m_pOutput;
    return nullptr;
}

STDMETHODIMP CTransformFilter::FindPin(LPCWSTR Id, IPin** ppPin)
{
    if (!ppPin)
        return E_POINTER;
    *ppPin = nullptr;
    if (!Id)
        return E_POINTER;
    CBasePin* pin = nullptr;
    if (wcscmp(Id, L"In") == 0)
        pin = GetPin(0);
    else if (wcscmp(Id, L"Out") == 0)
        pin = GetPin(1);
    if (!pin)
        return CBaseFilter::FindPin(Id, ppPin);
    *ppPin = pin;
    pin->AddRef();
    return S_OK;
}

STDMETHODIMP CTransformFilter::Stop()
{
    CAutoLock filterLock(&m_csFilter);
    if (m_State == State_Stopped)
        return S_OK;

    if (!m_pInput || !m_pInput->IsConnected() || !m_pOutput->IsConnected()) {
        m_State = State_Stopped;
        m_bEOSDelivered = FALSE;
        return S_OK;
    }

    // Both allocators are decommitted before the receive lock is taken: a
    // Receive blocked in the output's GetBuffer (or an upstream thread blocked
    // in the input's) wakes with an error and lets the lock go. New samples
    // are refused from here on because the input pin no longer streams.
    m_pInput->Inactive();
    m_pOutput->Inactive();

    CAutoLock receiveLock(&m_csReceive);
    const HRESULT hr = StopStreaming();
    if (SUCCEEDED(hr)) {
        m_State = State_Stopped;
        m_bEOSDelivered = FALSE;
    }
    DSHOW_TRACE("transform %p: Stop -> 0x%08x", (void*)this, (unsigned)hr);
    return hr;
}

STDMETHODIMP CTransformFilter::Pause()
{
    CAutoLock filterLock(&m_csFilter);
    HRESULT hr = S_OK;

    if (m_State == State_Paused) {
        // Nothing to do.
    } else if (!m_pInput || !m_pInput->IsConnected()) {
        // No input will ever come: say so downstream once, so that a graph
        // whose other branches play can still complete.
        if (m_pOutput && !m_bEOSDelivered) {
            m_pOutput->DeliverEndOfStream();
            m_bEOSDelivered = TRUE;
        }
        m_State = State_Paused;
    } else if (!m_pOutput->IsConnected()) {
        m_State = State_Paused;
    } else {
        if (m_State == State_Stopped) {
            CAutoLock receiveLock(&m_csReceive);
            hr = StartStreaming();
        }
        if (SUCCEEDED(hr))
            hr = CBaseFilter::Pause();
    }

    m_bSampleSkipped = FALSE;
    m_bQualityChanged = FALSE;
    DSHOW_TRACE("transform %p: Pause -> 0x%08x", (void*)this, (unsigned)hr);
    return hr;
}

HRESULT CTransformFilter::Transform(IMediaSample*, IMediaSample*)
{
    return E_UNEXPECTED;
}

HRESULT CTransformFilter::AlterQuality(Quality)
{
    return S_FALSE;
}

HRESULT CTransformFilter::SetMediaType(PIN_DIRECTION, const CMediaType*)
{
    return S_OK;
}

HRESULT CTransformFilter::CheckConnect(PIN_DIRECTION, IPin*)
{
    return S_OK;
}

HRESULT CTransformFilter::BreakConnect(PIN_DIRECTION)
{
    return S_OK;
}

HRESULT CTransformFilter::CompleteConnect(PIN_DIRECTION, IPin*)
{
    return S_OK;
}

HRESULT CTransformFilter::InitializeOutputSample(IMediaSample* pSample, IMediaSample** ppOutSample)
{
    *ppOutSample = nullptr;
    AM_SAMPLE2_PROPERTIES* const props = m_pInput->SampleProps();

    // Tell the allocator what kind of buffer this is: after a dropped sample,
    // and whether it starts a key frame (a renderer-owned allocator may
    // choose its surface by these).
    DWORD flags = m_bSampleSkipped ? AM_GBF_PREVFRAMESKIPPED : 0;
    if (!(props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT))
        flags |= AM_GBF_NOTASYNCPOINT;

    IMemAllocator* allocator = m_pOutput->m_pAllocator;
    if (!allocator)
        return VFW_E_NO_ALLOCATOR;
    REFERENCE_TIME start = props->tStart;
    REFERENCE_TIME stop = props->tStop;
    IMediaSample* out = nullptr;
    HRESULT hr =
        allocator->GetBuffer(&out, (props->dwSampleFlags & AM_SAMPLE_TIMEVALID) ? &start : nullptr,
                             (props->dwSampleFlags & AM_SAMPLE_STOPVALID) ? &stop : nullptr, flags);
    if (FAILED(hr))
        return hr;
    if (!out)
        return E_UNEXPECTED;

    IMediaSample2* out2 = nullptr;
    if (SUCCEEDED(out->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&out2))) &&
        out2) {
        // Everything at once: the input's flags (the output keeps its own
        // type-change flag: the output type is the output pin's business),
        // type-specific flags and times.
        AM_SAMPLE2_PROPERTIES outProps{};
        hr = out2->GetProperties(offsetof(AM_SAMPLE2_PROPERTIES, tStart),
                                 reinterpret_cast<BYTE*>(&outProps));
        if (SUCCEEDED(hr)) {
            outProps.dwTypeSpecificFlags = props->dwTypeSpecificFlags;
            outProps.dwSampleFlags =
                (outProps.dwSampleFlags & AM_SAMPLE_TYPECHANGED) |
                (props->dwSampleFlags & ~static_cast<DWORD>(AM_SAMPLE_TYPECHANGED));
            outProps.tStart = props->tStart;
            outProps.tStop = props->tStop;
            outProps.cbData = offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId);
            hr = out2->SetProperties(offsetof(AM_SAMPLE2_PROPERTIES, dwStreamId),
                                     reinterpret_cast<const BYTE*>(&outProps));
        }
        out2->Release();
        if (FAILED(hr)) {
            out->Release();
            return hr;
        }
    } else {
        if (props->dwSampleFlags & AM_SAMPLE_TIMEVALID)
            out->SetTime(&start, (props->dwSampleFlags & AM_SAMPLE_STOPVALID) ? &stop : nullptr);
        if (props->dwSampleFlags & AM_SAMPLE_SPLICEPOINT)
            out->SetSyncPoint(TRUE);
        if (props->dwSampleFlags & AM_SAMPLE_PREROLL)
            out->SetPreroll(TRUE);
        if (props->dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY)
            out->SetDiscontinuity(TRUE);
    }
    if (props->dwSampleFlags & AM_SAMPLE_DATADISCONTINUITY)
        m_bSampleSkipped = FALSE;

    LONGLONG mediaStart = 0;
    LONGLONG mediaEnd = 0;
    if (pSample->GetMediaTime(&mediaStart, &mediaEnd) == S_OK)
        out->SetMediaTime(&mediaStart, &mediaEnd);

    *ppOutSample = out;
    return S_OK;
}

HRESULT CTransformFilter::Receive(IMediaSample* pSample)
{
    AM_SAMPLE2_PROPERTIES* const props = m_pInput->SampleProps();
    // Stream-control samples are not media: they go on untouched.
    if (props->dwStreamId != AM_STREAM_MEDIA)
        return m_pOutput->Deliver(pSample);

    IMediaSample* out = nullptr;
    HRESULT hr = InitializeOutputSample(pSample, &out);
    if (FAILED(hr))
        return hr;

    hr = Transform(pSample, out);
    if (hr == S_OK) {
        hr = m_pOutput->Deliver(out);
        m_bSampleSkipped = FALSE;
    } else if (hr == S_FALSE) {
        // Dropped on purpose (a decoder skipping a frame to catch up): the
        // next buffer says so, and the graph hears of it once per run.
        m_bSampleSkipped = TRUE;
        if (!m_bQualityChanged) {
            DSHOW_TRACE("transform %p: Transform dropped a sample", (void*)this);
            NotifyEvent(EC_QUALITY_CHANGE, 0, 0);
            m_bQualityChanged = TRUE;
        }
        hr = S_OK;
    }
    out->Release();
    return hr;
}

HRESULT CTransformFilter::EndOfStream()
{
    if (!m_pOutput)
        return S_OK;
    return m_pOutput->DeliverEndOfStream();
}

HRESULT CTransformFilter::BeginFlush()
{
    if (!m_pOutput)
        return S_OK;
    return m_pOutput->DeliverBeginFlush();
}

HRESULT CTransformFilter::EndFlush()
{
    if (!m_pOutput)
        return S_OK;
    return m_pOutput->DeliverEndFlush();
}

HRESULT CTransformFilter::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop, double dRate)
{
    if (!m_pOutput)
        return S_OK;
    return m_pOutput->DeliverNewSegment(tStart, tStop, dRate);
}

// ---- the input pin ----

CTransformInputPin::CTransformInputPin(LPCTSTR pObjectName, CTransformFilter* pTransformFilter,
                                       HRESULT* phr, LPCWSTR pName)
    : CBaseInputPin(pObjectName, pTransformFilter, &pTransformFilter->m_csFilter, phr, pName),
      m_pTransformFilter(pTransformFilter)
{
}

STDMETHODIMP CTransformInputPin::QueryId(LPWSTR* Id)
{
    return AMGetWideString(L"In", Id);
}

HRESULT CTransformInputPin::CheckConnect(IPin* pPin)
{
    const HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_INPUT, pPin);
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::CheckConnect(pPin);
}

HRESULT CTransformInputPin::BreakConnect()
{
    m_pTransformFilter->BreakConnect(PINDIR_INPUT);
    return CBaseInputPin::BreakConnect();
}

HRESULT CTransformInputPin::CompleteConnect(IPin* pReceivePin)
{
    const HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_INPUT, pReceivePin);
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::CompleteConnect(pReceivePin);
}

HRESULT CTransformInputPin::CheckMediaType(const CMediaType* mtIn)
{
    HRESULT hr = m_pTransformFilter->CheckInputType(mtIn);
    if (hr != S_OK)
        return hr;
    CTransformOutputPin* output = m_pTransformFilter->m_pOutput;
    if (output && output->IsConnected())
        return m_pTransformFilter->CheckTransform(mtIn, &output->CurrentMediaType());
    return hr;
}

HRESULT CTransformInputPin::SetMediaType(const CMediaType* mt)
{
    const HRESULT hr = CBaseInputPin::SetMediaType(mt);
    if (FAILED(hr))
        return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_INPUT, mt);
}

STDMETHODIMP CTransformInputPin::Receive(IMediaSample* pSample)
{
    CAutoLock receiveLock(&m_pTransformFilter->m_csReceive);
    HRESULT hr = CBaseInputPin::Receive(pSample);
    if (hr == S_OK)
        hr = m_pTransformFilter->Receive(pSample);
    return hr;
}

STDMETHODIMP CTransformInputPin::EndOfStream()
{
    CAutoLock receiveLock(&m_pTransformFilter->m_csReceive);
    HRESULT hr = CheckStreaming();
    if (hr == S_OK)
        hr = m_pTransformFilter->EndOfStream();
    return hr;
}

STDMETHODIMP CTransformInputPin::BeginFlush()
{
    CAutoLock filterLock(&m_pTransformFilter->m_csFilter);
    if (!IsConnected() || !m_pTransformFilter->m_pOutput ||
        !m_pTransformFilter->m_pOutput->IsConnected())
        return VFW_E_NOT_CONNECTED;
    DSHOW_TRACE("transform %p: BeginFlush", (void*)m_pTransformFilter);
    const HRESULT hr = CBaseInputPin::BeginFlush();
    if (FAILED(hr))
        return hr;
    return m_pTransformFilter->BeginFlush();
}

STDMETHODIMP CTransformInputPin::EndFlush()
{
    CAutoLock filterLock(&m_pTransformFilter->m_csFilter);
    if (!IsConnected() || !m_pTransformFilter->m_pOutput ||
        !m_pTransformFilter->m_pOutput->IsConnected())
        return VFW_E_NOT_CONNECTED;
    DSHOW_TRACE("transform %p: EndFlush", (void*)m_pTransformFilter);
    const HRESULT hr = m_pTransformFilter->EndFlush();
    if (FAILED(hr))
        return hr;
    return CBaseInputPin::EndFlush();
}

STDMETHODIMP CTransformInputPin::NewSegment(REFERENCE_TIME tStart, REFERENCE_TIME tStop,
                                            double dRate)
{
    CBasePin::NewSegment(tStart, tStop, dRate);
    return m_pTransformFilter->NewSegment(tStart, tStop, dRate);
}

// ---- the output pin ----

CTransformOutputPin::CTransformOutputPin(LPCTSTR pObjectName, CTransformFilter* pTransformFilter,
                                         HRESULT* phr, LPCWSTR pName)
    : CBaseOutputPin(pObjectName, pTransformFilter, &pTransformFilter->m_csFilter, phr, pName),
      m_pTransformFilter(pTransformFilter)
{
}

CTransformOutputPin::~CTransformOutputPin()
{
    if (m_pPosition)
        m_pPosition->Release();
}

STDMETHODIMP CTransformOutputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IMediaPosition || riid == IID_IMediaSeeking) {
        {
            CAutoLock positionLock(&m_positionLock);
            if (!m_pPosition) {
                // Aggregated in this pin: the pass-through's interfaces count
                // on the pin (and so on the filter).
                const HRESULT hr = CreatePosPassThru(
                    GetOwner(), FALSE, static_cast<IPin*>(m_pTransformFilter->m_pInput),
                    &m_pPosition);
                if (FAILED(hr)) {
                    *ppv = nullptr;
                    return hr;
                }
            }
        }
        return m_pPosition->QueryInterface(riid, ppv);
    }
    return CBaseOutputPin::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CTransformOutputPin::QueryId(LPWSTR* Id)
{
    return AMGetWideString(L"Out", Id);
}

HRESULT CTransformOutputPin::CheckConnect(IPin* pPin)
{
    // The output type is derived from the input type: nothing to offer first.
    if (!m_pTransformFilter->m_pInput || !m_pTransformFilter->m_pInput->IsConnected())
        return E_UNEXPECTED;
    const HRESULT hr = m_pTransformFilter->CheckConnect(PINDIR_OUTPUT, pPin);
    if (FAILED(hr))
        return hr;
    return CBaseOutputPin::CheckConnect(pPin);
}

HRESULT CTransformOutputPin::BreakConnect()
{
    m_pTransformFilter->BreakConnect(PINDIR_OUTPUT);
    return CBaseOutputPin::BreakConnect();
}

HRESULT CTransformOutputPin::CompleteConnect(IPin* pReceivePin)
{
    const HRESULT hr = m_pTransformFilter->CompleteConnect(PINDIR_OUTPUT, pReceivePin);
    if (FAILED(hr))
        return hr;
    return CBaseOutputPin::CompleteConnect(pReceivePin);
}

HRESULT CTransformOutputPin::CheckMediaType(const CMediaType* mtOut)
{
    CTransformInputPin* input = m_pTransformFilter->m_pInput;
    if (!input || !input->IsConnected())
        return E_INVALIDARG;
    return m_pTransformFilter->CheckTransform(&input->CurrentMediaType(), mtOut);
}

HRESULT CTransformOutputPin::SetMediaType(const CMediaType* pmt)
{
    CTransformInputPin* input = m_pTransformFilter->m_pInput;
    if (!input || !input->IsConnected())
        return VFW_E_NOT_CONNECTED;
    const HRESULT hr = CBaseOutputPin::SetMediaType(pmt);
    if (FAILED(hr))
        return hr;
    return m_pTransformFilter->SetMediaType(PINDIR_OUTPUT, pmt);
}

HRESULT CTransformOutputPin::DecideBufferSize(IMemAllocator* pAlloc, ALLOCATOR_PROPERTIES* pProp)
{
    return m_pTransformFilter->DecideBufferSize(pAlloc, pProp);
}

HRESULT CTransformOutputPin::GetMediaType(int iPosition, CMediaType* pMediaType)
{
    CTransformInputPin* input = m_pTransformFilter->m_pInput;
    if (input && input->IsConnected())
        return m_pTransformFilter->GetMediaType(iPosition, pMediaType);
    return VFW_S_NO_MORE_ITEMS;
}

STDMETHODIMP CTransformOutputPin::Notify(IBaseFilter*, Quality q)
{
    const HRESULT hr = m_pTransformFilter->AlterQuality(q);
    if (hr != S_FALSE)
        return hr;
    // Not handled here: upstream may do something about it. The message now
    // comes from this filter.
    return m_pTransformFilter->m_pInput->Notify(static_cast<IBaseFilter*>(m_pTransformFilter), q);
}
