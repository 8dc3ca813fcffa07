// What the outside filters' pins and transforms share beyond the media types:
//
//   SetAllocatorFor      the allocator negotiation of every output pin: at
//                        least `buffers` buffers of `bytes` bytes, what the
//                        downstream request asks beyond that kept;
//   CInOutTransformFilter a CTransformFilter whose two pins are named "Input"
//                        and "Output", made when first asked for.
//
// Both run where CTransformFilter's connection code runs: the application
// thread, with the filter lock held.
#pragma once

#include <streams.h>

// S_OK when the allocator granted at least one buffer of at least `bytes`;
// the allocator's failure, or E_FAIL when it granted less.
HRESULT SetAllocatorFor(IMemAllocator* allocator, const ALLOCATOR_PROPERTIES& request, LONG buffers,
                        LONG bytes);

class CInOutTransformFilter : public CTransformFilter {
public:
    CBasePin* GetPin(int n) override;

protected:
    CInOutTransformFilter(const char* objectName, LPUNKNOWN pUnk, REFCLSID clsid)
        : CTransformFilter(objectName, pUnk, clsid)
    {
    }
};
