// CBaseInputPin: IMemInputPin, the receive checks and flushing.
#include "amfilter.h"
#include "dshowtrace.h"
#include "evcode.h"

CBaseInputPin::CBaseInputPin(LPCTSTR pObjectName, CBaseFilter* pFilter, CCritSec* pLock,
                             HRESULT* phr, LPCWSTR pName)
    : CBasePin(pObjectName, pFilter, pLock, phr, pName, PINDIR_INPUT)
{
}

CBaseInputPin::~CBaseInputPin()
{
    if (m_pAllocator) {
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
}

STDMETHODIMP CBaseInputPin::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    CheckPointer(ppv, E_POINTER);
    if (riid == IID_IMemInputPin)
        return GetInterface(static_cast<IMemInputPin*>(this), ppv);
    return CBasePin::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP CBaseInputPin::GetAllocator(IMemAllocator** ppAllocator)
{
    CheckPointer(ppAllocator, E_POINTER);
    *ppAllocator = nullptr;
    CAutoLock lock(m_pLock);
    if (!m_pAllocator) {
        const HRESULT hr = CreateMemoryAllocator(&m_pAllocator);
        if (FAILED(hr))
            return hr;
    }
    m_pAllocator->AddRef();
    *ppAllocator = m_pAllocator;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::NotifyAllocator(IMemAllocator* pAllocator, BOOL bReadOnly)
{
    CheckPointer(pAllocator, E_POINTER);
    CAutoLock lock(m_pLock);
    pAllocator->AddRef();
    if (m_pAllocator)
        m_pAllocator->Release();
    m_pAllocator = pAllocator;
    m_bReadOnly = bReadOnly;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES* /*pProps*/)
{
    return E_NOTIMPL;
}

HRESULT CBaseInputPin::CheckStreaming()
{
    if (!IsConnected())
        return VFW_E_NOT_CONNECTED;
    if (IsStopped())
        return VFW_E_WRONG_STATE;
    if (m_bFlushing)
        return S_FALSE;
    if (m_bRunTimeError)
        return VFW_E_RUNTIME_ERROR;
    return S_OK;
}

STDMETHODIMP CBaseInputPin::Receive(IMediaSample* pSample)
{
    CheckPointer(pSample, E_POINTER);
    HRESULT hr = CheckStreaming();
    if (hr != S_OK)
        return hr;

    m_sampleType.InitMediaType();
    IMediaSample2* sample2 = nullptr;
    if (SUCCEEDED(pSample->QueryInterface(IID_IMediaSample2, reinterpret_cast<void**>(&sample2))) &&
        sample2) {
        hr = sample2->GetProperties(sizeof(m_SampleProps), reinterpret_cast<BYTE*>(&m_SampleProps));
        sample2->Release();
        if (FAILED(hr))
            return hr;
    } else {
        m_SampleProps = AM_SAMPLE2_PROPERTIES{};
        m_SampleProps.cbData = sizeof(m_SampleProps);
        m_SampleProps.dwStreamId = AM_STREAM_MEDIA;
        if (pSample->IsDiscontinuity() == S_OK)
            m_SampleProps.dwSampleFlags |= AM_SAMPLE_DATADISCONTINUITY;
        if (pSample->IsPreroll() == S_OK)
            m_SampleProps.dwSampleFlags |= AM_SAMPLE_PREROLL;
        if (pSample->IsSyncPoint() == S_OK)
            m_SampleProps.dwSampleFlags |= AM_SAMPLE_SPLICEPOINT;
        const HRESULT hrTime = pSample->GetTime(&m_SampleProps.tStart, &m_SampleProps.tStop);
        if (SUCCEEDED(hrTime)) {
            m_SampleProps.dwSampleFlags |= AM_SAMPLE_TIMEVALID;
            if (hrTime == S_OK)
                m_SampleProps.dwSampleFlags |= AM_SAMPLE_STOPVALID;
        }
        AM_MEDIA_TYPE* type = nullptr;
        if (pSample->GetMediaType(&type) == S_OK && type) {
            // Kept as a copy we own for the duration of the receive.
            m_sampleType.Set(*type);
            DeleteMediaType(type);
            m_SampleProps.dwSampleFlags |= AM_SAMPLE_TYPECHANGED;
            m_SampleProps.pMediaType = &m_sampleType;
        }
        pSample->GetPointer(&m_SampleProps.pbBuffer);
        m_SampleProps.lActual = pSample->GetActualDataLength();
        m_SampleProps.cbBuffer = pSample->GetSize();
    }

    if (!(m_SampleProps.dwSampleFlags & AM_SAMPLE_TYPECHANGED))
        return S_OK;
    const CMediaType* type = static_cast<const CMediaType*>(m_SampleProps.pMediaType);
    if (type && CheckMediaType(type) == S_OK)
        return S_OK;

    // A type change we cannot follow ends the stream with an error.
    m_bRunTimeError = true;
    EndOfStream();
    m_pFilter->NotifyEvent(EC_ERRORABORT, VFW_E_TYPE_NOT_ACCEPTED, 0);
    DSHOW_TRACE("pin %p \"%s\": Receive refused a type change", (void*)this,
                TvDshowTraceName(m_pName).c_str());
    return VFW_E_INVALIDMEDIATYPE;
}

STDMETHODIMP CBaseInputPin::ReceiveMultiple(IMediaSample** pSamples, LONG nSamples,
                                            LONG* nSamplesProcessed)
{
    CheckPointer(nSamplesProcessed, E_POINTER);
    *nSamplesProcessed = 0;
    if (nSamples > 0)
        CheckPointer(pSamples, E_POINTER);
    HRESULT hr = S_OK;
    for (LONG i = 0; i < nSamples; ++i) {
        hr = Receive(pSamples[i]);
        if (hr != S_OK)
            break;
        ++*nSamplesProcessed;
    }
    return hr;
}

STDMETHODIMP CBaseInputPin::ReceiveCanBlock()
{
    const int count = m_pFilter->GetPinCount();
    int outputs = 0;
    for (int i = 0; i < count; ++i) {
        CBasePin* pin = m_pFilter->GetPin(i);
        PIN_DIRECTION dir;
        if (!pin || FAILED(pin->QueryDirection(&dir)) || dir != PINDIR_OUTPUT)
            continue;
        ++outputs;
        IPin* connected = nullptr;
        if (FAILED(pin->ConnectedTo(&connected)) || !connected) {
            // An unconnected output may mean we render or hold the data here.
            return S_OK;
        }
        IMemInputPin* input = nullptr;
        HRESULT hr = connected->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input));
        connected->Release();
        if (FAILED(hr) || !input)
            return S_OK;
        hr = input->ReceiveCanBlock();
        input->Release();
        if (hr != S_FALSE)
            return S_OK;
    }
    return outputs == 0 ? S_OK : S_FALSE;
}

STDMETHODIMP CBaseInputPin::BeginFlush()
{
    CAutoLock lock(m_pLock);
    m_bFlushing = true;
    DSHOW_TRACE("pin %p \"%s\": BeginFlush", (void*)this, TvDshowTraceName(m_pName).c_str());
    return S_OK;
}

STDMETHODIMP CBaseInputPin::EndFlush()
{
    CAutoLock lock(m_pLock);
    m_bFlushing = false;
    m_bRunTimeError = false;
    DSHOW_TRACE("pin %p \"%s\": EndFlush", (void*)this, TvDshowTraceName(m_pName).c_str());
    return S_OK;
}

STDMETHODIMP CBaseInputPin::Notify(IBaseFilter* pSender, Quality q)
{
    CheckPointer(pSender, E_POINTER);
    // Quality messages come on the downstream streaming thread: no filter
    // lock here. The sink and the connection do not change while streaming.
    if (IQualityControl* sink = m_pQSink)
        return sink->Notify(m_pFilter, q);
    IPin* upstream = m_Connected;
    if (!upstream)
        return VFW_E_NOT_FOUND;
    IQualityControl* qc = nullptr;
    if (FAILED(upstream->QueryInterface(IID_IQualityControl, reinterpret_cast<void**>(&qc))) || !qc)
        return VFW_E_NOT_FOUND;
    const HRESULT hr = qc->Notify(m_pFilter, q);
    qc->Release();
    return hr;
}

HRESULT CBaseInputPin::BreakConnect()
{
    if (m_pAllocator) {
        m_pAllocator->Decommit();
        m_pAllocator->Release();
        m_pAllocator = nullptr;
    }
    return S_OK;
}

HRESULT CBaseInputPin::Inactive()
{
    m_bRunTimeError = false;
    if (!m_pAllocator)
        return VFW_E_NO_ALLOCATOR;
    m_bFlushing = false;
    return m_pAllocator->Decommit();
}
