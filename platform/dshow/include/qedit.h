// ISampleGrabber: the sample grabber interface of DirectShow's editing
// services. A filter that offers it lets an application take a copy of the
// pictures (or samples) that pass through it. Slot order as DirectShow's.
#pragma once

#include "strmif.h"

// {0579154A-2B53-4994-B0D0-E773148EFF85}
DEFINE_GUID(IID_ISampleGrabberCB, 0x0579154a, 0x2b53, 0x4994, 0xb0, 0xd0, 0xe7, 0x73, 0x14, 0x8e,
            0xff, 0x85);

// What the grabber calls for each sample (SetCallback chooses the method).
struct ISampleGrabberCB : public IUnknown {
    virtual HRESULT SampleCB(double SampleTime, IMediaSample* pSample) = 0;
    virtual HRESULT BufferCB(double SampleTime, BYTE* pBuffer, LONG BufferLen) = 0;
};

// {6B652FFF-11FE-4FCE-92AD-0266B5D7C78F}
DEFINE_GUID(IID_ISampleGrabber, 0x6b652fff, 0x11fe, 0x4fce, 0x92, 0xad, 0x02, 0x66, 0xb5, 0xd7,
            0xc7, 0x8f);

struct ISampleGrabber : public IUnknown {
    // Slot 3. TRUE: stop the graph after the first sample.
    virtual HRESULT SetOneShot(BOOL OneShot) = 0;
    // Slot 4. The type the grabber's input is to accept.
    virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* pType) = 0;
    // Slot 5. A copy of the connected type; the caller frees it (FreeMediaType).
    virtual HRESULT GetConnectedMediaType(AM_MEDIA_TYPE* pType) = 0;
    // Slot 6. TRUE: keep a copy of each sample for GetCurrentBuffer.
    virtual HRESULT SetBufferSamples(BOOL BufferThem) = 0;
    // Slot 7. *pBufferSize: the buffer's size in bytes on entry, the
    // sample's on return; a null pBuffer asks only for the size.
    virtual HRESULT GetCurrentBuffer(LONG* pBufferSize, LONG* pBuffer) = 0;
    // Slot 8.
    virtual HRESULT GetCurrentSample(IMediaSample** ppSample) = 0;
    // Slot 9. WhichMethodToCallback: 0 SampleCB, 1 BufferCB.
    virtual HRESULT SetCallback(ISampleGrabberCB* pCallback, LONG WhichMethodToCallback) = 0;
};
