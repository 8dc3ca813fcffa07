// Reading and making the video media types of the outside filters: the
// picture a VIDEOINFOHEADER, VIDEOINFOHEADER2 or MPEG2VIDEOINFO describes, the
// sequence header an MPEG2VIDEOINFO carries, the YUY2 type every decoder of
// the chain offers (the frame processor takes FORMAT_VideoInfo2 only), and
// the row layout of packed pictures.
//
// Pure functions; any thread.
#pragma once

#include <amvideo.h>
#include <mtype.h>

#include <cstddef>
#include <cstdint>
#include <span>

struct VideoFormat {
    BITMAPINFOHEADER bmi{};
    REFERENCE_TIME avgTimePerFrame = 0;
    // The codec configuration the format block carries: the sequence header
    // of an MPEG2VIDEOINFO, or the bytes behind a VIDEOINFOHEADER(2) (where
    // an MPEG-4 type may put its video object layer header); empty when there
    // is none. Points into the media type's format block.
    std::span<const uint8_t> sequenceHeader;
    // MPEG2VIDEOINFO::dwFlags (for AVC1: the size of the NAL length fields).
    DWORD mpeg2Flags = 0;

    int Width() const { return bmi.biWidth; }
    int Height() const { return bmi.biHeight < 0 ? -bmi.biHeight : bmi.biHeight; }
};

// False unless the major type is video and the format block is a complete
// VIDEOINFOHEADER, VIDEOINFOHEADER2 or MPEG2VIDEOINFO (with its whole sequence
// header inside the block).
bool ReadVideoFormat(const AM_MEDIA_TYPE& mt, VideoFormat* out);

// Bytes per row of a YUY2 picture: a DIB row, padded to 4 bytes.
inline int Yuy2Stride(int width)
{
    return (width * 2 + 3) / 4 * 4;
}

// The YUY2 type of a width x height picture: FORMAT_VideoInfo2, top-down,
// rows of Yuy2Stride bytes. False when the block cannot be allocated.
bool MakeYuy2Type(CMediaType* mt, int width, int height, REFERENCE_TIME avgTimePerFrame);

// Width and height of a YUY2 type (FORMAT_VideoInfo or FORMAT_VideoInfo2);
// false for another type or a size below 1.
bool Yuy2TypeSize(const AM_MEDIA_TYPE& mt, int* width, int* height);

// The rows of a packed picture (RGB or YUY2) as a sample holds them. A DIB
// pads each row to 4 bytes, but some decoders write the rows packed; the
// sample's length tells which: rows are padded when the sample holds `height`
// padded rows, else packed. `rows` is the number of whole rows the sample
// holds (at most height).
struct PackedRows {
    int rowBytes = 0; // bytes of pixels per row (width x bytes per pixel)
    int stride = 0;   // bytes from one row to the next
    int rows = 0;
};
PackedRows LayoutPackedRows(int width, int height, int bytesPerPixel, long actualLength);
