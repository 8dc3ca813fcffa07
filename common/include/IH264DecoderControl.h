// IH264DecoderControl: the private interface of the H.264 decoder filter
// ("Tarvo H264 Decoder Filter"). The slot order after the three IUnknown slots
// is binding; every method returns S_OK. Any thread.
#pragma once

#include <objbase.h>

#include "win32/types.h"

// {1E5CB816-C4E9-409D-9EC5-D7ADC6E08DBE}
DEFINE_GUID(IID_IH264DecoderControl, 0x1e5cb816, 0xc4e9, 0x409d, 0x9e, 0xc5, 0xd7, 0xad, 0xc6, 0xe0,
            0x8d, 0xbe);

struct IH264DecoderControl : public IUnknown {
    // Slot 3. Two values kept by the filter; they change nothing.
    virtual HRESULT SetParameters(LONG first, LONG second) = 0;
    // Slot 4. The output picture size (each taken as unsigned 16-bit), with the
    // field-size corrections: a height below 300 at a width above 700, or below
    // 150 at a width above 320, is doubled; then a height above 500 at a width
    // below 400 is halved.
    virtual HRESULT SetPictureSize(LONG width, LONG height) = 0;
    // Slot 5. Pictures are decoded but not delivered until the next intra-coded
    // one.
    virtual HRESULT ResetDecodeStart() = 0;
    // Slot 6. Closes the decoder and the deinterlacer once no picture is being
    // decoded; the next sample opens a new decoder, and delivery resumes at the
    // next intra-coded picture. The filter object itself lives on until its
    // last reference is released.
    virtual HRESULT ReleaseDecoder() = 0;
    // Slot 7. A value kept by the input pin; it changes nothing.
    virtual HRESULT SetInputParameter(LONG value) = 0;
};
