#include "TransformParts.h"

#include <new>

HRESULT SetAllocatorFor(IMemAllocator* allocator, const ALLOCATOR_PROPERTIES& request, LONG buffers,
                        LONG bytes)
{
    CheckPointer(allocator, E_POINTER);
    ALLOCATOR_PROPERTIES want = request;
    if (want.cBuffers < buffers)
        want.cBuffers = buffers;
    if (want.cbBuffer < bytes)
        want.cbBuffer = bytes;
    if (want.cbAlign < 1)
        want.cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    const HRESULT hr = allocator->SetProperties(&want, &actual);
    if (FAILED(hr))
        return hr;
    return actual.cbBuffer >= bytes && actual.cBuffers >= 1 ? S_OK : E_FAIL;
}

CBasePin* CInOutTransformFilter::GetPin(int n)
{
    if (!m_pInput) {
        HRESULT hr = S_OK;
        m_pInput =
            new (std::nothrow) CTransformInputPin("transform input pin", this, &hr, L"Input");
        if (m_pInput && SUCCEEDED(hr))
            m_pOutput = new (std::nothrow)
                CTransformOutputPin("transform output pin", this, &hr, L"Output");
        if (!m_pInput || !m_pOutput || FAILED(hr)) {
            delete m_pOutput;
            m_pOutput = nullptr;
            delete m_pInput;
            m_pInput = nullptr;
            return nullptr;
        }
    }
    return n == 0 ? static_cast<CBasePin*>(m_pInput) : n == 1 ? m_pOutput : nullptr;
}
