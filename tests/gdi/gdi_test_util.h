// Reads a 1-bit bitmap back through GetDIBits for pixel checks.
#pragma once

#include "wingdi.h"

#include <vector>

struct MonoImage {
    int width = 0;
    int height = 0;
    std::vector<BYTE> rows; // top-down, 1 byte per pixel: 1 white, 0 black

    bool White(int x, int y) const { return rows[size_t(y) * width + x] != 0; }
    int CountBlack(int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1) const
    {
        if (x1 < 0)
            x1 = width;
        if (y1 < 0)
            y1 = height;
        int n = 0;
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x)
                n += !White(x, y);
        return n;
    }
};

struct DibWithPalette {
    BITMAPINFOHEADER header;
    RGBQUAD colors[2];
};

// Reads the whole bitmap as a bottom-up DIB, as the overlay code does.
inline bool ReadMono(HDC dc, HBITMAP bmp, int width, int height, MonoImage* out)
{
    DibWithPalette info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biPlanes = 1;
    info.header.biBitCount = 1;
    info.header.biCompression = BI_RGB;
    const size_t stride = size_t((width + 31) / 32) * 4;
    std::vector<BYTE> bits(stride * height, 0xAA);
    if (GetDIBits(dc, bmp, 0, UINT(height), bits.data(), reinterpret_cast<BITMAPINFO*>(&info),
                  DIB_RGB_COLORS) != height)
        return false;
    out->width = width;
    out->height = height;
    out->rows.assign(size_t(width) * height, 0);
    for (int y = 0; y < height; ++y) {
        const BYTE* row = bits.data() + stride * size_t(height - 1 - y);
        for (int x = 0; x < width; ++x)
            out->rows[size_t(y) * width + x] = (row[x / 8] >> (7 - x % 8)) & 1;
    }
    return true;
}

// A memory DC with a white 1-bit bitmap selected, released on scope exit.
class MaskCanvas {
public:
    MaskCanvas(int width, int height) : m_width(width), m_height(height)
    {
        m_dc = CreateCompatibleDC(nullptr);
        m_bmp = CreateCompatibleBitmap(m_dc, width, height);
        m_oldBmp = SelectObject(m_dc, reinterpret_cast<HGDIOBJ>(m_bmp));
        m_oldPen = SelectObject(m_dc, GetStockObject(WHITE_PEN));
        Rectangle(m_dc, 0, 0, width, height);
    }
    ~MaskCanvas()
    {
        SelectObject(m_dc, m_oldPen);
        SelectObject(m_dc, m_oldBmp);
        DeleteObject(reinterpret_cast<HGDIOBJ>(m_bmp));
        DeleteDC(m_dc);
    }
    HDC dc() const { return m_dc; }
    HBITMAP bitmap() const { return m_bmp; }
    MonoImage Read() const
    {
        MonoImage img;
        ReadMono(m_dc, m_bmp, m_width, m_height, &img);
        return img;
    }

private:
    int m_width, m_height;
    HDC m_dc;
    HBITMAP m_bmp;
    HGDIOBJ m_oldBmp, m_oldPen;
};
