// CTestVideoTransform: a video transform's connection and allocator rules.
#include "CTestVideoTransform.h"

CTestVideoTransform::CTestVideoTransform(LPCTSTR name) : CTransformFilter(name, nullptr, GUID_NULL)
{
}

HRESULT CTestVideoTransform::CheckInputType(const CMediaType* mt)
{
    return *mt->Type() == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CTestVideoTransform::CheckTransform(const CMediaType* in, const CMediaType* out)
{
    return *in->Type() == *out->Type() && *in->Subtype() == *out->Subtype()
               ? S_OK
               : VFW_E_TYPE_NOT_ACCEPTED;
}

HRESULT CTestVideoTransform::GetMediaType(int position, CMediaType* mt)
{
    if (position < 0)
        return E_INVALIDARG;
    if (position > 0)
        return VFW_S_NO_MORE_ITEMS;
    *mt = m_pInput->CurrentMediaType();
    return S_OK;
}

HRESULT CTestVideoTransform::DecideBufferSize(IMemAllocator* allocator,
                                              ALLOCATOR_PROPERTIES* request)
{
    request->cBuffers = outputBuffers;
    request->cbBuffer = outputBufferSize;
    if (request->cbAlign < 1)
        request->cbAlign = 1;
    ALLOCATOR_PROPERTIES actual{};
    return allocator->SetProperties(request, &actual);
}
