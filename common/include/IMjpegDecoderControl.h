// IMjpegDecoderControl: the private interface of the Motion JPEG decoder filter
// ("Tarvo M-Jpeg Decoder"). One method after the three IUnknown slots; the slot
// order is binding. Any thread.
#pragma once

#include <objbase.h>

#include "win32/types.h"

// {7247346B-2714-4928-A7DD-FC41C325E4CB}
DEFINE_GUID(IID_IMjpegDecoderControl, 0x7247346b, 0x2714, 0x4928, 0xa7, 0xdd, 0xfc, 0x41, 0xc3,
            0x25, 0xe4, 0xcb);

struct IMjpegDecoderControl : public IUnknown {
    // Slot 3. Accepted for callers that set it; the decoder has nothing to
    // change by it. S_OK.
    virtual HRESULT SetOption(LONG value) = 0;
};
