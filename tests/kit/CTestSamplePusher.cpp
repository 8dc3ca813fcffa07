#include "CTestSamplePusher.h"

#include <cstring>

CTestSamplePusher::CTestSamplePusher(IPin* input, LONG bufferSize)
{
    if (!input ||
        FAILED(input->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&m_input))))
        return;
    if (FAILED(CreateMemoryAllocator(&m_allocator)))
        return;
    ALLOCATOR_PROPERTIES want{1, bufferSize, 1, 0}, got{};
    if (SUCCEEDED(m_allocator->SetProperties(&want, &got)) && SUCCEEDED(m_allocator->Commit()))
        m_bufferSize = got.cbBuffer;
}

CTestSamplePusher::~CTestSamplePusher()
{
    if (m_allocator) {
        m_allocator->Decommit();
        m_allocator->Release();
    }
    if (m_input)
        m_input->Release();
}

HRESULT CTestSamplePusher::Push(std::span<const uint8_t> bytes)
{
    if (!m_input || m_bufferSize == 0)
        return E_FAIL;
    if (bytes.size() > static_cast<size_t>(m_bufferSize))
        return E_INVALIDARG;
    IMediaSample* sample = nullptr;
    if (FAILED(m_allocator->GetBuffer(&sample, nullptr, nullptr, 0)))
        return E_FAIL;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    if (!bytes.empty())
        std::memcpy(data, bytes.data(), bytes.size());
    sample->SetActualDataLength(static_cast<LONG>(bytes.size()));
    const HRESULT hr = m_input->Receive(sample);
    sample->Release();
    return hr;
}
