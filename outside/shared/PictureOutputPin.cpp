#include "PictureOutputPin.h"

#include "VideoFormat.h"

#include <dvdmedia.h>

CPictureOutputPin::CPictureOutputPin(CTransformFilter* filter, HRESULT* phr, LPCWSTR name)
    : CTransformOutputPin("picture output pin", filter, phr, name)
{
}

HRESULT CPictureOutputPin::SetMediaType(const CMediaType* mt)
{
    const HRESULT hr = CTransformOutputPin::SetMediaType(mt);
    if (FAILED(hr))
        return hr;
    VideoFormat f;
    int width = 0, height = 0;
    if (!ReadVideoFormat(*mt, &f) || !Yuy2TypeSize(*mt, &width, &height))
        return VFW_E_TYPE_NOT_ACCEPTED;
    CAutoLock lock(&m_sizeLock);
    m_width = width;
    m_height = height;
    m_avgTimePerFrame = f.avgTimePerFrame;
    return hr;
}

HRESULT CPictureOutputPin::CompleteConnect(IPin* pReceivePin)
{
    const HRESULT hr = CTransformOutputPin::CompleteConnect(pReceivePin);
    if (FAILED(hr))
        return hr;
    IPictureBufferSource* lender = PictureBufferSourceOf(pReceivePin);
    CAutoLock lock(&m_sizeLock);
    m_pLender = lender;
    return hr;
}

HRESULT CPictureOutputPin::BreakConnect()
{
    {
        CAutoLock lock(&m_sizeLock);
        m_width = m_height = 0;
        m_pLender = nullptr;
    }
    return CTransformOutputPin::BreakConnect();
}

void CPictureOutputPin::AgreedSize(int* width, int* height)
{
    CAutoLock lock(&m_sizeLock);
    *width = m_width;
    *height = m_height;
}

HRESULT CPictureOutputPin::GetPictureSample(int width, int height, IMediaSample** ppSample)
{
    *ppSample = nullptr;
    if (!m_pAllocator || !m_pInputPin)
        return VFW_E_NOT_CONNECTED;
    if (width < 1 || height < 1 || width > 16384 || height > 16384)
        return S_FALSE;
    const LONG bytes = static_cast<LONG>(Yuy2Stride(width)) * height;

    int agreedWidth = 0, agreedHeight = 0;
    REFERENCE_TIME avg = 0;
    IPictureBufferSource* lender = nullptr;
    {
        CAutoLock lock(&m_sizeLock);
        agreedWidth = m_width;
        agreedHeight = m_height;
        avg = m_avgTimePerFrame;
        lender = m_pLender;
    }
    CMediaType mt;
    const bool change = width != agreedWidth || height != agreedHeight;
    // A picture that brings a new type goes in a buffer of this pin's, which
    // carries the type; a lent one carries none.
    if (IMediaSample* lent = change ? nullptr : BorrowPictureBuffer(lender, width, height, bytes)) {
        lent->SetActualDataLength(bytes);
        *ppSample = lent;
        return S_OK;
    }
    if (change) {
        IPin* connected = GetConnected();
        if (!connected || !MakeYuy2Type(&mt, width, height, avg))
            return S_FALSE;
        if (connected->QueryAccept(&mt) != S_OK)
            return S_FALSE;
        ALLOCATOR_PROPERTIES props{};
        HRESULT hr = m_pAllocator->GetProperties(&props);
        if (FAILED(hr))
            return hr;
        if (props.cbBuffer < bytes) {
            // Every buffer must be back for the size to change; downstream
            // returns them when it is done with them.
            m_pAllocator->Decommit();
            ALLOCATOR_PROPERTIES want = props, actual{};
            want.cbBuffer = bytes;
            const HRESULT hrSet = m_pAllocator->SetProperties(&want, &actual);
            hr = m_pAllocator->Commit();
            if (FAILED(hr))
                return hr;
            if (FAILED(hrSet) || actual.cbBuffer < bytes)
                return S_FALSE;
        }
    }

    IMediaSample* sample = nullptr;
    HRESULT hr = GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr))
        return hr;
    if (!sample)
        return E_UNEXPECTED;
    if (sample->GetSize() < bytes) {
        sample->Release();
        return S_FALSE;
    }
    if (change) {
        hr = sample->SetMediaType(&mt);
        if (FAILED(hr)) {
            sample->Release();
            return S_FALSE;
        }
        CAutoLock lock(&m_sizeLock);
        m_width = width;
        m_height = height;
    }
    sample->SetActualDataLength(bytes);
    *ppSample = sample;
    return S_OK;
}

void CPictureOutputPin::EndStreaming()
{
    if (m_pAllocator)
        m_pAllocator->Decommit();
}
