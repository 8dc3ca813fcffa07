// Class identifiers of the system's COM classes: the filters and their property
// pages. Each in-process server registers its classes under these; the player
// library and the splitter create them by these identifiers.
#pragma once

#include <objbase.h>

// Splitter filter, "New Tarvo Splitter Filter" (added to graphs as "Tarvo Splt Filter").
// {3548D896-AA82-4997-8A90-E011207E1DC5}
DEFINE_GUID(CLSID_TarvoSplitterF, 0x3548d896, 0xaa82, 0x4997, 0x8a, 0x90, 0xe0, 0x11, 0x20, 0x7e,
            0x1d, 0xc5);

// Network source filter, "Tarvo NWSource".
// {A1AD7A40-0DDE-4F6C-9608-94C0DADAB3B4}
DEFINE_GUID(CLSID_TarvoNWSource, 0xa1ad7a40, 0x0dde, 0x4f6c, 0x96, 0x08, 0x94, 0xc0, 0xda, 0xda,
            0xb3, 0xb4);

// Property page of the network source, "Tarvo NWSource Properties".
// {12CB0D5D-F4FE-4622-ADA8-A73D61D50F99}
DEFINE_GUID(CLSID_NWSourceProp, 0x12cb0d5d, 0xf4fe, 0x4622, 0xad, 0xa8, 0xa7, 0x3d, 0x61, 0xd5,
            0x0f, 0x99);

// Frame processor filter, "TarvoProcesser".
// {2F815A6E-2E6C-4E6C-B295-27B2D1BC9493}
DEFINE_GUID(CLSID_TarvoProcesser, 0x2f815a6e, 0x2e6c, 0x4e6c, 0xb2, 0x95, 0x27, 0xb2, 0xd1, 0xbc,
            0x94, 0x93);

// Colour property page of the frame processor, "Adjuster Property Page".
// {217E479A-2B6F-4725-9D1F-1A51680BA6CF}
DEFINE_GUID(CLSID_AdjusterPropertyPage, 0x217e479a, 0x2b6f, 0x4725, 0x9d, 0x1f, 0x1a, 0x51, 0x68,
            0x0b, 0xa6, 0xcf);

// H.264 decoder filter, "Tarvo H264 Decoder Filter".
// {DAFFE8B3-02EF-462C-8CD6-E3C49383265D}
DEFINE_GUID(CLSID_TarvoH264Decoder, 0xdaffe8b3, 0x02ef, 0x462c, 0x8c, 0xd6, 0xe3, 0xc4, 0x93, 0x83,
            0x26, 0x5d);

// Property page of the H.264 decoder, "Tarvo H264 Decoder Filter Properties".
// {AF1092D5-E4E0-495A-B57E-33BB0F7D9E59}
DEFINE_GUID(CLSID_TarvoH264DecoderProp, 0xaf1092d5, 0xe4e0, 0x495a, 0xb5, 0x7e, 0x33, 0xbb, 0x0f,
            0x7d, 0x9e, 0x59);
// The name the decoder's module registers it under.
#define CLSID_H264DecoderPropertyPage CLSID_TarvoH264DecoderProp

// Motion JPEG decoder filter, "Tarvo M-Jpeg Decoder".
// {7FF6FF7C-A0E5-4047-A276-BCCD88F60BC3}
DEFINE_GUID(CLSID_TarvoMjpegDecoder, 0x7ff6ff7c, 0xa0e5, 0x4047, 0xa2, 0x76, 0xbc, 0xcd, 0x88, 0xf6,
            0x0b, 0xc3);
