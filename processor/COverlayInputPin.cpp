#include "COverlayInputPin.h"

#include "OverlayInfoPacket.h"

COverlayInputPin::COverlayInputPin(CBaseFilter* filter, CCritSec* lock,
                                   CPictureProcessor* processor, HRESULT* phr)
    : CBaseInputPin("Overlay input pin", filter, lock, phr, L"Overlay Input"),
      m_processor(processor)
{
}

HRESULT OnlyMediaTypePosition(int iPosition, const CMediaType* pMediaType)
{
    if (iPosition < 0)
        return E_INVALIDARG;
    if (iPosition > 0)
        return VFW_S_NO_MORE_ITEMS;
    return pMediaType ? S_OK : E_POINTER;
}

HRESULT COverlayInputPin::CheckMediaType(const CMediaType* pmt)
{
    if (!pmt)
        return E_POINTER;
    return pmt->majortype == MEDIATYPE_Text ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT COverlayInputPin::GetMediaType(int iPosition, CMediaType* pMediaType)
{
    const HRESULT hr = OnlyMediaTypePosition(iPosition, pMediaType);
    if (hr != S_OK)
        return hr;
    pMediaType->InitMediaType();
    pMediaType->SetType(&MEDIATYPE_Text);
    return S_OK;
}

STDMETHODIMP COverlayInputPin::Receive(IMediaSample* pSample)
{
    if (CBaseInputPin::Receive(pSample) != S_OK ||
        pSample->GetActualDataLength() != LONG(kOverlayInfoPacketBytes))
        return S_OK;
    const ProcesserCut cut = m_processor->Cut();
    if (cut.outWidth == 0 || cut.outHeight == 0)
        return E_FAIL;
    BYTE* data = nullptr;
    OverlayInfoPacket packet;
    if (FAILED(pSample->GetPointer(&data)) ||
        !ParseOverlayInfoPacket(data, kOverlayInfoPacketBytes, &packet))
        return S_OK;
    ApplyOverlayInfo(m_processor->Overlays(), packet,
                     OverlayInfoLayoutFor(cut.outWidth, cut.outHeight));
    return S_OK;
}
