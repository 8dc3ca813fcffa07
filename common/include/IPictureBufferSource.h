// IPictureBufferSource: a filter that would copy every YUY2 picture it receives
// into a buffer of its own lends that buffer upstream instead. The filter
// upstream writes the picture there and hands the same sample to Receive,
// which then works on it where it lies: one pass over the picture's bytes
// fewer. Anything else it receives goes the usual way.
//
// The slot order after the three IUnknown slots is binding. Called on the
// upstream streaming thread, the one that calls Receive.
#pragma once

#include <objbase.h>
#include <strmif.h>

#include "win32/types.h"

// {6F0C2B9E-5D41-4A7B-9C3E-2E8B71D4A605}
DEFINE_GUID(IID_IPictureBufferSource, 0x6f0c2b9e, 0x5d41, 0x4a7b, 0x9c, 0x3e, 0x2e, 0x8b, 0x71,
            0xd4, 0xa6, 0x05);

struct IPictureBufferSource : public IUnknown {
    // Slot 3. A buffer for one width x height YUY2 picture (width * 2 bytes a
    // row, rows one after another), or S_FALSE and null when none can be lent
    // now (another picture size, a cut that is not the whole picture, the
    // output not connected or flushing): the picture then goes the usual way.
    // The caller owns the sample's reference; it passes the sample to Receive
    // and releases it, or releases it unused. E_POINTER for a null pointer.
    virtual HRESULT GetPictureBuffer(LONG width, LONG height, IMediaSample** sample) = 0;
};

// The lender behind a connected input pin (its filter), or null when that
// filter lends nothing. Not add-referenced: the connection holds the filter.
inline IPictureBufferSource* PictureBufferSourceOf(IPin* connected)
{
    IPictureBufferSource* lender = nullptr;
    PIN_INFO info{};
    if (!connected || FAILED(connected->QueryPinInfo(&info)) || !info.pFilter)
        return nullptr;
    if (SUCCEEDED(info.pFilter->QueryInterface(IID_IPictureBufferSource,
                                               reinterpret_cast<void**>(&lender))) &&
        lender)
        lender->Release();
    else
        lender = nullptr;
    info.pFilter->Release();
    return lender;
}

// A buffer the lender lends now for a width x height picture of `bytes` bytes,
// with the caller's reference; null when it lends none (or one too small, which
// goes back at once): the picture then goes the usual way.
inline IMediaSample* BorrowPictureBuffer(IPictureBufferSource* lender, LONG width, LONG height,
                                         LONG bytes)
{
    IMediaSample* lent = nullptr;
    if (!lender || lender->GetPictureBuffer(width, height, &lent) != S_OK || !lent)
        return nullptr;
    if (lent->GetSize() >= bytes)
        return lent;
    lent->Release();
    return nullptr;
}
