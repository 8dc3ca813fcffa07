// IProcesserColor: the frame processor's colour settings. The player library's
// colour functions and the "Adjuster" property page set brightness, contrast,
// hue and saturation; the processor applies them to every output frame.
//
// The slot order after the three IUnknown slots is binding (note getter before
// setter for contrast and brightness, setter before getter for hue and
// saturation). Each setting is 0 to 128, 64 neutral (the default). Setters use
// only the low 8 bits of their value; getters write one byte (0 to 128); reset
// sets 64. Every method returns S_OK, except a getter given a null pointer,
// which returns E_POINTER. Any thread; a frame in progress keeps the settings
// it started with.
#pragma once

#include <objbase.h>

#include "win32/types.h"

// {35981961-C9A7-42EF-A4CE-957A7D0FF087}
DEFINE_GUID(IID_IProcesserColor, 0x35981961, 0xc9a7, 0x42ef, 0xa4, 0xce, 0x95, 0x7a, 0x7d, 0x0f,
            0xf0, 0x87);

struct IProcesserColor : public IUnknown {
    // Slot 3.
    virtual HRESULT GetContrast(BYTE* value) = 0;
    // Slot 4.
    virtual HRESULT SetContrast(LONG value) = 0;
    // Slot 5.
    virtual HRESULT ResetContrast() = 0;
    // Slot 6.
    virtual HRESULT GetBrightness(BYTE* value) = 0;
    // Slot 7.
    virtual HRESULT SetBrightness(LONG value) = 0;
    // Slot 8.
    virtual HRESULT ResetBrightness() = 0;
    // Slot 9.
    virtual HRESULT SetHue(LONG value) = 0;
    // Slot 10.
    virtual HRESULT GetHue(BYTE* value) = 0;
    // Slot 11.
    virtual HRESULT ResetHue() = 0;
    // Slot 12.
    virtual HRESULT SetSaturation(LONG value) = 0;
    // Slot 13.
    virtual HRESULT GetSaturation(BYTE* value) = 0;
    // Slot 14.
    virtual HRESULT ResetSaturation() = 0;
};
