#include "TarvoH264DecoderFilter.h"

#include "H264DecTrace.h"
#include "H264DecoderInputPin.h"
#include "H264DecoderOutputPin.h"
#include "TarvoGuids.h"

#include <dllsetup.h>
#include <dvdmedia.h>
#include <uuids.h>

#include <new>

// Registration data: two pins of any type.
namespace {

const AMOVIESETUP_MEDIATYPE sudAnyType = {&GUID_NULL, &GUID_NULL};

const AMOVIESETUP_PIN sudPins[] = {
    {L"Input", FALSE /*rendered*/, FALSE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 1, &sudAnyType},
    {L"Output", FALSE /*rendered*/, TRUE /*output*/, FALSE /*zero*/, FALSE /*many*/, &CLSID_NULL,
     nullptr, 1, &sudAnyType},
};

} // namespace

// Merit 0x200000: only ever created by class identifier by the chain builder.
const AMOVIESETUP_FILTER sudTarvoH264Decoder = {
    &CLSID_TarvoH264Decoder, L"Tarvo H264 Decoder Filter", MERIT_DO_NOT_USE, 2, sudPins};

const H264DecoderLibrary& DeviceH264Library()
{
    static const H264DecoderLibrary library = {Hi264DecCreate, Hi264DecFrame, Hi264DecDestroy};
    return library;
}

CUnknown* TarvoH264DecoderFilter::CreateInstance(LPUNKNOWN pUnk, HRESULT* phr)
{
    HRESULT hr = S_OK;
    auto* filter = new (std::nothrow) TarvoH264DecoderFilter(pUnk, DeviceH264Library(), &hr);
    if (!filter || FAILED(hr)) {
        delete filter;
        if (phr)
            *phr = filter ? hr : E_OUTOFMEMORY;
        return nullptr;
    }
    return filter;
}

TarvoH264DecoderFilter* TarvoH264DecoderFilter::CreateWithLibrary(const H264DecoderLibrary& library,
                                                                  HRESULT* phr)
{
    HRESULT hr = S_OK;
    auto* filter = new (std::nothrow) TarvoH264DecoderFilter(nullptr, library, &hr);
    if (!filter || FAILED(hr)) {
        delete filter;
        if (phr)
            *phr = filter ? hr : E_OUTOFMEMORY;
        return nullptr;
    }
    return filter;
}

TarvoH264DecoderFilter::TarvoH264DecoderFilter(LPUNKNOWN pUnk, const H264DecoderLibrary& library,
                                               HRESULT* phr)
    : CBaseFilter("Tarvo H264 Decoder Filter", pUnk, &m_filterLock, CLSID_TarvoH264Decoder),
      m_library(library)
{
    m_pInput = new (std::nothrow) H264DecoderInputPin(this, phr);
    m_pOutput = new (std::nothrow) H264DecoderOutputPin(this, phr);
    if ((!m_pInput || !m_pOutput) && phr)
        *phr = E_OUTOFMEMORY;
}

TarvoH264DecoderFilter::~TarvoH264DecoderFilter()
{
    delete m_pOutput;
    delete m_pInput;
    if (m_pUpstreamAllocator)
        m_pUpstreamAllocator->Release();
}

STDMETHODIMP TarvoH264DecoderFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IH264DecoderControl)
        return GetInterface(static_cast<IH264DecoderControl*>(this), ppv);
    if (riid == IID_ISpecifyPropertyPages)
        return GetInterface(static_cast<ISpecifyPropertyPages*>(this), ppv);
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

STDMETHODIMP TarvoH264DecoderFilter::GetPages(CAUUID* pPages)
{
    return AMGetSinglePropertyPage(pPages, CLSID_H264DecoderPropertyPage);
}

CBasePin* TarvoH264DecoderFilter::GetPin(int n)
{
    if (n == 0)
        return m_pInput;
    if (n == 1)
        return m_pOutput;
    return nullptr;
}

STDMETHODIMP TarvoH264DecoderFilter::Stop()
{
    CAutoLock lock(&m_filterLock);
    HRESULT hr = S_OK;
    if (m_State != State_Stopped && m_pInput->IsConnected())
        hr = m_pInput->Inactive();
    // A picture being decoded finishes before the output pin goes inactive
    // (and its queue away); Receive sees the stopped state after that.
    CAutoLock receive(&m_receiveLock);
    if (m_State != State_Stopped && m_pOutput->IsConnected()) {
        const HRESULT hrOut = m_pOutput->Inactive();
        if (SUCCEEDED(hr))
            hr = hrOut;
    }
    m_State = State_Stopped;
    return hr;
}

STDMETHODIMP TarvoH264DecoderFilter::Pause()
{
    CAutoLock lock(&m_filterLock);
    const HRESULT hr = CBaseFilter::Pause();
    if (SUCCEEDED(hr) && !m_pInput->IsConnected())
        m_pInput->EndOfStream();
    return hr;
}

STDMETHODIMP TarvoH264DecoderFilter::Run(REFERENCE_TIME tStart)
{
    CAutoLock lock(&m_filterLock);
    const HRESULT hr = CBaseFilter::Run(tStart);
    if (SUCCEEDED(hr) && !m_pInput->IsConnected())
        m_pInput->EndOfStream();
    return hr;
}

STDMETHODIMP TarvoH264DecoderFilter::SetParameters(LONG first, LONG second)
{
    H264DEC_TRACE("SetParameters(%d, %d)", (int)first, (int)second);
    CAutoLock lock(&m_filterLock);
    m_parameters[0] = first;
    m_parameters[1] = second;
    return S_OK;
}

STDMETHODIMP TarvoH264DecoderFilter::SetPictureSize(LONG width, LONG height)
{
    H264DEC_TRACE("SetPictureSize(%d, %d)", (int)width, (int)height);
    const UINT w = static_cast<uint16_t>(width);
    UINT h = static_cast<uint16_t>(height);
    // Sizes of one field (704 x 288, 352 x 144) stand for the whole frame;
    // a 352-wide picture of full height is taken as CIF.
    if ((w > 700 && h < 300) || (w > 320 && h < 150))
        h *= 2;
    if (w < 400 && h > 500)
        h /= 2;
    CAutoLock lock(&m_sizeLock);
    m_width = w;
    m_height = h;
    return S_OK;
}

STDMETHODIMP TarvoH264DecoderFilter::ResetDecodeStart()
{
    H264DEC_TRACE("ResetDecodeStart()");
    m_pInput->ResetDecodeStart();
    return S_OK;
}

STDMETHODIMP TarvoH264DecoderFilter::ReleaseDecoder()
{
    H264DEC_TRACE("ReleaseDecoder()");
    // Waits for a sample being decoded: its decoder and deinterlacer are not
    // pulled from under it.
    CAutoLock receive(&m_receiveLock);
    m_pInput->ReleaseDecoder();
    return S_OK;
}

STDMETHODIMP TarvoH264DecoderFilter::SetInputParameter(LONG value)
{
    H264DEC_TRACE("SetInputParameter(%d)", (int)value);
    m_pInput->SetInputParameter(value);
    return S_OK;
}

void TarvoH264DecoderFilter::PictureSize(UINT* width, UINT* height)
{
    CAutoLock lock(&m_sizeLock);
    *width = m_width;
    *height = m_height;
}

void TarvoH264DecoderFilter::SetDecodedSize(UINT width, UINT height)
{
    CAutoLock lock(&m_sizeLock);
    m_width = width;
    m_height = height;
}

void TarvoH264DecoderFilter::SetUpstreamAllocator(IMemAllocator* allocator)
{
    if (allocator)
        allocator->AddRef();
    if (m_pUpstreamAllocator)
        m_pUpstreamAllocator->Release();
    m_pUpstreamAllocator = allocator;
}

void TarvoH264DecoderFilter::MakeOutputType(CMediaType* mt, UINT width, UINT height)
{
    mt->InitMediaType();
    mt->SetType(&MEDIATYPE_Video);
    mt->SetSubtype(&MEDIASUBTYPE_YUY2);
    mt->SetFormatType(&FORMAT_VideoInfo2);
    mt->SetTemporalCompression(FALSE);
    mt->SetSampleSize(width * height * 2);
    auto* vih =
        reinterpret_cast<VIDEOINFOHEADER2*>(mt->AllocFormatBuffer(sizeof(VIDEOINFOHEADER2)));
    if (!vih)
        return;
    *vih = VIDEOINFOHEADER2{};
    vih->rcSource = RECT{0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    vih->rcTarget = vih->rcSource;
    vih->AvgTimePerFrame = 400000;
    vih->dwInterlaceFlags = AMINTERLACE_IsInterlaced | AMINTERLACE_FieldPatBothRegular |
                            AMINTERLACE_DisplayModeWeaveOnly;
    vih->dwPictAspectRatioX = 4;
    vih->dwPictAspectRatioY = 3;
    vih->bmiHeader.biSize = 40;
    vih->bmiHeader.biWidth = static_cast<LONG>(width);
    vih->bmiHeader.biHeight = static_cast<LONG>(height);
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 16;
    vih->bmiHeader.biCompression = MAKEFOURCC('Y', 'U', 'Y', '2');
    vih->bmiHeader.biSizeImage = width * height * 2;
}
