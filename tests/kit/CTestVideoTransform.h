// CTestVideoTransform: the frame of a test's transform filter on
// CTransformFilter. It takes video, offers its input's type on its output
// (position 0 only), accepts an output type of the input's major type and
// subtype, and asks the output allocator for outputBuffers buffers of
// outputBufferSize bytes; the test's filter adds Transform (and whatever it
// observes).
//
// Threads and ownership as for any CTransformFilter: the settings are changed
// while the filter is stopped; the creator holds the first reference.
#pragma once

#include <streams.h>

class CTestVideoTransform : public CTransformFilter {
public:
    // Set while stopped.
    LONG outputBuffers = 2;
    LONG outputBufferSize = 4096;

    HRESULT CheckInputType(const CMediaType* mt) override;
    HRESULT CheckTransform(const CMediaType* in, const CMediaType* out) override;
    HRESULT GetMediaType(int position, CMediaType* mt) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;

protected:
    explicit CTestVideoTransform(LPCTSTR name);
};
