// Media types for tests.
#pragma once

#include <streams.h>

// MEDIATYPE_Video, the given subtype, FORMAT_VideoInfo with a VIDEOINFOHEADER:
// width x height, bitCount bits, biCompression (BI_RGB or a FOURCC),
// biSizeImage = GetBitmapSize, AvgTimePerFrame avgTimePerFrame; fixed-size
// samples of biSizeImage.
CMediaType TvMakeVideoType(const GUID& subtype, LONG width, LONG height, WORD bitCount,
                           DWORD compression, REFERENCE_TIME avgTimePerFrame = 400000);
// The same with FORMAT_VideoInfo2 and a VIDEOINFOHEADER2.
CMediaType TvMakeVideoType2(const GUID& subtype, LONG width, LONG height, WORD bitCount,
                            DWORD compression, REFERENCE_TIME avgTimePerFrame = 400000);
// YUY2 pictures of width x height (16 bits a pixel).
CMediaType TvMakeYuy2Type(LONG width, LONG height);
// MEDIATYPE_Audio with a WAVEFORMATEX: the format tag, rate, channels and
// bits a sample (block align and byte rate follow from them); sampleSize
// replaces the sample size when not 0.
CMediaType TvMakePcmType(DWORD rate, WORD channels, WORD bits = 16, WORD tag = WAVE_FORMAT_PCM,
                         ULONG sampleSize = 0);
