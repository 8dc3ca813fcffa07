// The subtypes "Video Out" of the splitter offers per CodecKind; the decoders
// of the chain accept them. The FOURCC forms are {fourcc-0000-0010-8000-00AA00389B71}.
#pragma once

#include <objbase.h>

// CodecKind 2: the FOURCC "divx" (lower case).
// {78766964-0000-0010-8000-00AA00389B71}
DEFINE_GUID(MEDIASUBTYPE_TarvoDivx, 0x78766964, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38,
            0x9b, 0x71);

// CodecKinds 3, 256 and 512: device H.264.
// {8D2D71CB-243F-45E3-B2D8-5FD7967EC09B}
DEFINE_GUID(MEDIASUBTYPE_TarvoH264, 0x8d2d71cb, 0x243f, 0x45e3, 0xb2, 0xd8, 0x5f, 0xd7, 0x96, 0x7e,
            0xc0, 0x9b);

// CodecKind 4: JPEG 2000 field pairs with their 144-byte headers.
// {7FF65E6C-88A6-4C42-AB5A-ED489736C780}
DEFINE_GUID(MEDIASUBTYPE_TarvoJpeg2000, 0x7ff65e6c, 0x88a6, 0x4c42, 0xab, 0x5a, 0xed, 0x48, 0x97,
            0x36, 0xc7, 0x80);

// CodecKind 6: the FOURCC "AVC1".
// {31435641-0000-0010-8000-00AA00389B71}
DEFINE_GUID(MEDIASUBTYPE_TarvoAvc1, 0x31435641, 0x0000, 0x0010, 0x80, 0x00, 0x00, 0xaa, 0x00, 0x38,
            0x9b, 0x71);

// CodecKind 7: Motion JPEG (biCompression MJPF when interlaced, else MJPG).
// {46DCD110-6072-4601-BF99-9C2F6987BEFF}
DEFINE_GUID(MEDIASUBTYPE_TarvoMjpeg, 0x46dcd110, 0x6072, 0x4601, 0xbf, 0x99, 0x9c, 0x2f, 0x69, 0x87,
            0xbe, 0xff);
