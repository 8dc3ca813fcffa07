// IJp2kDecoderControl: the private interface of the JPEG 2000 decoder ("Tarvo
// Jp2k Decoder"). The player sets and reads the spatial reduce level through
// it. The slot order after the three IUnknown slots is binding. Any thread.
#pragma once

#include <objbase.h>

// {1BBD15E2-E3A7-4667-A46D-99BE4EA2557E}
DEFINE_GUID(IID_IJp2kDecoderControl, 0x1bbd15e2, 0xe3a7, 0x4667, 0xa4, 0x6d, 0x99, 0xbe, 0x4e, 0xa2,
            0x55, 0x7e);

struct IJp2kDecoderControl : public IUnknown {
    // Slot 3. Each level halves the decoded picture in both directions (the
    // codestream's wavelet levels are left out): 0 is full size, at most
    // kJp2kMaxReduceLevel. A stream with fewer levels is decoded at its
    // smallest. E_INVALIDARG outside 0..kJp2kMaxReduceLevel. The new size
    // takes effect with the next picture (a new output type when downstream
    // takes it; otherwise at the next connection).
    virtual HRESULT SetReduceLevel(int level) = 0;
    // Slot 4. E_POINTER for a null pointer.
    virtual HRESULT GetReduceLevel(int* level) = 0;
};

inline constexpr int kJp2kMaxReduceLevel = 5;
