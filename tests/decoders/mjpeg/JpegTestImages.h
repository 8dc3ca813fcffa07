// JPEG pictures for the Motion JPEG decoder's tests and benchmark, encoded with
// libjpeg-turbo: a pattern of coloured bars over a gradient (so rows and
// columns can be told apart), in colour, grey or CMYK, baseline or progressive.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

enum class JpegKind { Colour, Grey, Cmyk, Progressive };

// The pattern's R G B at (x, y): eight vertical bars of pure colours in the top
// half, a horizontal gradient below.
inline void PatternRgb(int x, int y, int width, int height, uint8_t rgb[3])
{
    static const uint8_t kBars[8][3] = {{255, 255, 255}, {255, 255, 0}, {0, 255, 255}, {0, 255, 0},
                                        {255, 0, 255},   {255, 0, 0},   {0, 0, 255},   {0, 0, 0}};
    if (y < height / 2) {
        const uint8_t* c = kBars[(x * 8) / width];
        rgb[0] = c[0];
        rgb[1] = c[1];
        rgb[2] = c[2];
    } else {
        const auto v = static_cast<uint8_t>((x * 255) / (width > 1 ? width - 1 : 1));
        rgb[0] = v;
        rgb[1] = static_cast<uint8_t>(255 - v);
        rgb[2] = static_cast<uint8_t>((y * 255) / height);
    }
}

inline std::vector<uint8_t> EncodeJpeg(int width, int height, JpegKind kind = JpegKind::Colour,
                                       int quality = 90)
{
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = kind == JpegKind::Grey ? 1 : kind == JpegKind::Cmyk ? 4 : 3;
    cinfo.in_color_space = kind == JpegKind::Grey   ? JCS_GRAYSCALE
                           : kind == JpegKind::Cmyk ? JCS_CMYK
                                                    : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (kind == JpegKind::Progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(width) * cinfo.input_components);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            uint8_t rgb[3];
            PatternRgb(x, y, width, height, rgb);
            uint8_t* p = row.data() + static_cast<size_t>(x) * cinfo.input_components;
            if (kind == JpegKind::Grey) {
                p[0] = static_cast<uint8_t>((rgb[0] * 3 + rgb[1] * 6 + rgb[2]) / 10);
            } else if (kind == JpegKind::Cmyk) {
                p[0] = static_cast<uint8_t>(255 - rgb[0]);
                p[1] = static_cast<uint8_t>(255 - rgb[1]);
                p[2] = static_cast<uint8_t>(255 - rgb[2]);
                p[3] = 0;
            } else {
                p[0] = rgb[0];
                p[1] = rgb[1];
                p[2] = rgb[2];
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

// libjpeg-turbo's own decode of a colour JPEG into packed R G B rows in out
// (resized to the picture; reused across calls without a new allocation):
// the reference the decoder's pictures are compared with, and what the
// benchmark measures against.
inline void ReferenceDecodeRgbInto(const std::vector<uint8_t>& jpeg, std::vector<uint8_t>& out,
                                   int* width = nullptr, int* height = nullptr)
{
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_RGB;
    jpeg_start_decompress(&cinfo);
    const size_t stride = static_cast<size_t>(cinfo.output_width) * 3;
    out.resize(stride * cinfo.output_height);
    // As many rows a call as the library's row group holds: its fastest way.
    JSAMPROW rows[16];
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION left = cinfo.output_height - cinfo.output_scanline;
        JDIMENSION n = cinfo.rec_outbuf_height < 16 ? cinfo.rec_outbuf_height : 16;
        n = n < left ? n : left;
        for (JDIMENSION i = 0; i < n; ++i)
            rows[i] = out.data() + (cinfo.output_scanline + i) * stride;
        jpeg_read_scanlines(&cinfo, rows, n);
    }
    if (width)
        *width = static_cast<int>(cinfo.output_width);
    if (height)
        *height = static_cast<int>(cinfo.output_height);
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
}

inline std::vector<uint8_t> ReferenceDecodeRgb(const std::vector<uint8_t>& jpeg,
                                               int* width = nullptr, int* height = nullptr)
{
    std::vector<uint8_t> out;
    ReferenceDecodeRgbInto(jpeg, out, width, height);
    return out;
}

// Bytes per row of the decoder's pictures: width x 3, padded to 4.
inline size_t Stride(int width)
{
    return (static_cast<size_t>(width) * 3 + 3) & ~size_t{3};
}

// The reference's R G B rows, reversed per pixel and laid out at the stride.
inline std::vector<uint8_t> ReferenceBgr(const std::vector<uint8_t>& jpeg, int width, int height)
{
    const std::vector<uint8_t> rgb = ReferenceDecodeRgb(jpeg);
    const size_t stride = Stride(width);
    std::vector<uint8_t> out(stride * static_cast<size_t>(height), 0xCD);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const uint8_t* s = rgb.data() + (static_cast<size_t>(y) * width + x) * 3;
            uint8_t* d = out.data() + static_cast<size_t>(y) * stride + static_cast<size_t>(x) * 3;
            d[0] = s[2];
            d[1] = s[1];
            d[2] = s[0];
        }
    }
    return out;
}
