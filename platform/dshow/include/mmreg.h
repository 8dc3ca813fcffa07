// Audio format block of FORMAT_WaveFormatEx. WAVEFORMATEX is byte-packed as on
// Windows (18 bytes); cbSize bytes of codec data may follow it.
#pragma once

#include "win32/types.h"

#define WAVE_FORMAT_UNKNOWN 0x0000
#define WAVE_FORMAT_PCM 0x0001
#define WAVE_FORMAT_ADPCM 0x0002
#define WAVE_FORMAT_IEEE_FLOAT 0x0003
#define WAVE_FORMAT_ALAW 0x0006
#define WAVE_FORMAT_MULAW 0x0007
#define WAVE_FORMAT_RAW_AAC1 0x00FF
#define WAVE_FORMAT_MPEG_HEAAC 0x1610
#define WAVE_FORMAT_EXTENSIBLE 0xFFFE

#pragma pack(push, 1)
typedef struct tWAVEFORMATEX {
    WORD wFormatTag;
    WORD nChannels;
    DWORD nSamplesPerSec;
    DWORD nAvgBytesPerSec;
    WORD nBlockAlign; // bytes per sample frame (all channels)
    WORD wBitsPerSample;
    WORD cbSize; // bytes of extra format data after this record
} WAVEFORMATEX, *PWAVEFORMATEX, *LPWAVEFORMATEX;
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18, "WAVEFORMATEX keeps the Windows layout");
typedef const WAVEFORMATEX* LPCWAVEFORMATEX;
