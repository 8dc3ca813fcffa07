// Class identifiers and graph names of the filters of the decoding chain that
// stand in for components of other products (they live in outside/). The
// splitter creates them by these identifiers and adds them under these names;
// the player finds the JPEG 2000 decoder by its name.
#pragma once

#include <objbase.h>

// JPEG 2000 decoder: field pairs in, YUY2 frames on its first output and the
// 128-byte frame information packets on its second.
// {252FF58D-7F79-45FB-B743-49936A88ABB2}
DEFINE_GUID(CLSID_TarvoJp2kDecoder, 0x252ff58d, 0x7f79, 0x45fb, 0xb7, 0x43, 0x49, 0x93, 0x6a, 0x88,
            0xab, 0xb2);
#define TARVO_JP2K_DECODER_NAME L"Tarvo Jp2k Decoder"

// MPEG-2 decoder.
// {BC4EB321-771F-4E9F-AF67-37C631ECA106}
DEFINE_GUID(CLSID_TarvoMpeg2Decoder, 0xbc4eb321, 0x771f, 0x4e9f, 0xaf, 0x67, 0x37, 0xc6, 0x31, 0xec,
            0xa1, 0x06);
#define TARVO_MPEG2_DECODER_NAME L"Tarvo Mpeg2 Decoder"

// MPEG-4 decoder.
// {FC86AD6C-894A-44E9-A283-4B5A9DD6CA65}
DEFINE_GUID(CLSID_TarvoMpeg4Decoder, 0xfc86ad6c, 0x894a, 0x44e9, 0xa2, 0x83, 0x4b, 0x5a, 0x9d, 0xd6,
            0xca, 0x65);
#define TARVO_MPEG4_DECODER_NAME L"Tarvo Mpeg4 Decoder"

// HD H.264 decoder (the AVC1 type of the QBox and 192-byte transport streams).
// {09571A4B-F1FE-4C60-9760-DE6D310C7C31}
DEFINE_GUID(CLSID_CoraAvcH264Decoder, 0x09571a4b, 0xf1fe, 0x4c60, 0x97, 0x60, 0xde, 0x6d, 0x31,
            0x0c, 0x7c, 0x31);
#define CORAAVC_H264_DECODER_NAME L"CoraAVC H264 Decoder Filter"

// Colour-space converter; a chain may hold two instances, the second added to
// the graph as "Tarvo Color Space2".
// {272D77A0-A852-4851-ADA4-9091FEAD4C86}
DEFINE_GUID(CLSID_TarvoColorSpace, 0x272d77a0, 0xa852, 0x4851, 0xad, 0xa4, 0x90, 0x91, 0xfe, 0xad,
            0x4c, 0x86);
#define TARVO_COLOR_SPACE_NAME L"Tarvo Color Space"
#define TARVO_COLOR_SPACE2_NAME L"Tarvo Color Space2"

// Deinterlacer of interlaced Motion JPEG pictures.
// {335D166F-BDCF-4B7E-B360-6A59617C8036}
DEFINE_GUID(CLSID_DeInterLaceFilter, 0x335d166f, 0xbdcf, 0x4b7e, 0xb3, 0x60, 0x6a, 0x59, 0x61, 0x7c,
            0x80, 0x36);
#define DEINTERLACE_FILTER_NAME L"DeInterLace Filter"
