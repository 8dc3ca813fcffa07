// Format blocks of FORMAT_VideoInfo2 (VIDEOINFOHEADER2, 112 bytes, bitmap header
// at offset 72) and FORMAT_MPEG2Video (MPEG2VIDEOINFO, the sequence header
// appended), with their flag values.
#pragma once

#include <cstddef>

#include "amvideo.h"

// VIDEOINFOHEADER2::dwInterlaceFlags.
#define AMINTERLACE_IsInterlaced 0x00000001
#define AMINTERLACE_1FieldPerSample 0x00000002
#define AMINTERLACE_Field1First 0x00000004
#define AMINTERLACE_UNUSED 0x00000008
#define AMINTERLACE_FieldPatternMask 0x00000030
#define AMINTERLACE_FieldPatField1Only 0x00000000
#define AMINTERLACE_FieldPatField2Only 0x00000010
#define AMINTERLACE_FieldPatBothRegular 0x00000020
#define AMINTERLACE_FieldPatBothIrregular 0x00000030
#define AMINTERLACE_DisplayModeMask 0x000000c0
#define AMINTERLACE_DisplayModeBobOnly 0x00000000
#define AMINTERLACE_DisplayModeWeaveOnly 0x00000040
#define AMINTERLACE_DisplayModeBobOrWeave 0x00000080

// VIDEOINFOHEADER2::dwControlFlags.
#define AMCONTROL_USED 0x00000001
#define AMCONTROL_PAD_TO_4x3 0x00000002
#define AMCONTROL_PAD_TO_16x9 0x00000004
#define AMCONTROL_COLORINFO_PRESENT 0x00000080

typedef struct tagVIDEOINFOHEADER2 {
    RECT rcSource;
    RECT rcTarget;
    DWORD dwBitRate;
    DWORD dwBitErrorRate;
    REFERENCE_TIME AvgTimePerFrame;
    DWORD dwInterlaceFlags;
    DWORD dwCopyProtectFlags;
    DWORD dwPictAspectRatioX;
    DWORD dwPictAspectRatioY;
    union {
        DWORD dwControlFlags;
        DWORD dwReserved1;
    };
    DWORD dwReserved2;
    BITMAPINFOHEADER bmiHeader;
} VIDEOINFOHEADER2;
static_assert(sizeof(VIDEOINFOHEADER2) == 112, "VIDEOINFOHEADER2 keeps the Windows layout");
static_assert(offsetof(VIDEOINFOHEADER2, AvgTimePerFrame) == 40, "VIDEOINFOHEADER2 layout");
static_assert(offsetof(VIDEOINFOHEADER2, bmiHeader) == 72, "VIDEOINFOHEADER2 layout");

// MPEG2VIDEOINFO::dwFlags.
#define AMMPEG2_DoPanScan 0x00000001
#define AMMPEG2_DVDLine21Field1 0x00000002
#define AMMPEG2_DVDLine21Field2 0x00000004
#define AMMPEG2_SourceIsLetterboxed 0x00000008
#define AMMPEG2_FilmCameraMode 0x00000010
#define AMMPEG2_LetterboxAnalogOut 0x00000020
#define AMMPEG2_DSS_UserData 0x00000040
#define AMMPEG2_DVB_UserData 0x00000080
#define AMMPEG2_27MhzTimebase 0x00000100
#define AMMPEG2_WidescreenAnalogOut 0x00000200

// cbSequenceHeader bytes of sequence header follow from dwSequenceHeader on; the
// format block is SIZE_MPEG2VIDEOINFO bytes long.
typedef struct tagMPEG2VIDEOINFO {
    VIDEOINFOHEADER2 hdr;
    DWORD dwStartTimeCode;
    DWORD cbSequenceHeader;
    DWORD dwProfile;
    DWORD dwLevel;
    DWORD dwFlags;
    DWORD dwSequenceHeader[1];
} MPEG2VIDEOINFO;
static_assert(offsetof(MPEG2VIDEOINFO, dwSequenceHeader) == 132, "MPEG2VIDEOINFO layout");

#define SIZE_MPEG2VIDEOINFO(pv)                                                                    \
    (offsetof(MPEG2VIDEOINFO, dwSequenceHeader[0]) + (pv)->cbSequenceHeader)
#define MPEG2_SEQUENCE_INFO(pv) ((const BYTE*)(pv)->dwSequenceHeader)
