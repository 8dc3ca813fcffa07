#include "Jp2kInfoPin.h"

#include "Jp2kFieldPair.h"
#include "TransformParts.h"

#include <uuids.h>

#include <cstring>

CJp2kInfoPin::CJp2kInfoPin(CBaseFilter* filter, CCritSec* lock, HRESULT* phr)
    : CBaseOutputPin("jp2k info pin", filter, lock, phr, L"Info")
{
}

HRESULT CJp2kInfoPin::CheckMediaType(const CMediaType* mt)
{
    CheckPointer(mt, E_POINTER);
    return IsEqualGUID(mt->majortype, MEDIATYPE_Text) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CJp2kInfoPin::GetMediaType(int position, CMediaType* mt)
{
    CheckPointer(mt, E_POINTER);
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    mt->InitMediaType();
    mt->SetType(&MEDIATYPE_Text);
    mt->SetSubtype(&GUID_NULL);
    mt->SetFormatType(&FORMAT_None);
    mt->SetSampleSize(kJp2kInfoPacketSize);
    return S_OK;
}

HRESULT CJp2kInfoPin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request)
{
    CheckPointer(allocator, E_POINTER);
    CheckPointer(request, E_POINTER);
    return SetAllocatorFor(allocator, *request, 4, static_cast<LONG>(kJp2kInfoPacketSize));
}

HRESULT CJp2kInfoPin::DeliverPacket(std::span<const uint8_t> packet)
{
    if (!IsConnected() || packet.size() != kJp2kInfoPacketSize)
        return S_OK;
    IMediaSample* sample = nullptr;
    HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr))
        return hr;
    BYTE* dst = nullptr;
    if (SUCCEEDED(sample->GetPointer(&dst)) && sample->GetSize() >= (LONG)packet.size()) {
        std::memcpy(dst, packet.data(), packet.size());
        sample->SetActualDataLength(static_cast<LONG>(packet.size()));
        sample->SetTime(nullptr, nullptr);
        hr = Deliver(sample);
    }
    sample->Release();
    return hr;
}
