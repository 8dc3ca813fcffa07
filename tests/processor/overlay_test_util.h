// YUY2 test frames and a layout source for the overlay tests.
#pragma once

#include "OverlayBlend.h"

#include "wingdi.h"

#include <cstdio>
#include <cstring>
#include <vector>

// A YUY2 frame (stride = width x 2) with guard bytes before and after, so a
// write outside the picture shows.
class TestFrame {
public:
    static constexpr size_t kGuard = 4096;
    static constexpr BYTE kGuardByte = 0xA5;

    TestFrame(LONG width, LONG height, bool upright = true, BYTE y = 100, BYTE u = 128,
              BYTE v = 128)
        : m_width(width), m_height(height), m_upright(upright),
          m_buf(kGuard + size_t(width) * 2 * height + kGuard, kGuardByte)
    {
        for (LONG r = 0; r < height; ++r)
            for (LONG c = 0; c + 1 < width; c += 2) {
                BYTE* p = Pixel(c, r);
                p[0] = y;
                p[1] = u;
                p[2] = y;
                p[3] = v;
            }
    }

    BYTE* Data() { return m_buf.data() + kGuard; }
    size_t Bytes() const { return size_t(m_width) * 2 * m_height; }
    LONG Width() const { return m_width; }
    LONG Height() const { return m_height; }

    OverlayFrameLayout Layout() const
    {
        OverlayFrameLayout l;
        l.format = OVERLAY_FORMAT_YUY2;
        l.width = m_width;
        l.height = m_height;
        l.stride = m_width * 2;
        l.upright = m_upright ? 1 : 0;
        return l;
    }
    OverlayFrame Frame()
    {
        OverlayFrame f;
        f.Init(Data(), Bytes(), Layout());
        return f;
    }

    // The bytes of the pair holding pixel (x, visibleRow), x even: Y0 U Y1 V.
    BYTE* Pixel(LONG x, LONG visibleRow)
    {
        LONG memRow = m_upright ? m_height - 1 - visibleRow : visibleRow;
        return Data() + size_t(memRow) * m_width * 2 + size_t(x) * 2;
    }
    BYTE Y(LONG x, LONG row) { return Pixel(x & ~1, row)[(x & 1) ? 2 : 0]; }

    bool GuardsIntact() const
    {
        for (size_t i = 0; i < kGuard; ++i)
            if (m_buf[i] != kGuardByte || m_buf[m_buf.size() - 1 - i] != kGuardByte)
                return false;
        return true;
    }
    std::vector<BYTE> Picture() const
    {
        return std::vector<BYTE>(m_buf.begin() + kGuard, m_buf.end() - kGuard);
    }

private:
    LONG m_width, m_height;
    bool m_upright;
    std::vector<BYTE> m_buf;
};

class TestLayoutSource : public IOverlayLayoutSource {
public:
    explicit TestLayoutSource(const OverlayFrameLayout& layout, bool ok = true)
        : m_layout(layout), m_ok(ok)
    {
    }
    bool QueryOverlayLayout(OverlayFrameLayout* layout) override
    {
        ++queries;
        if (m_ok)
            *layout = m_layout;
        return m_ok;
    }
    int queries = 0;

private:
    OverlayFrameLayout m_layout;
    bool m_ok;
};

// A bottom-up 1-bit mask from rows given top row first, '#' drawn.
inline OverlayImage MaskFromRows(const std::vector<const char*>& rowsTopDown)
{
    OverlayImage img;
    img.height = LONG(rowsTopDown.size());
    img.width = LONG(std::strlen(rowsTopDown[0]));
    img.stride = OverlayImage::MaskStride(img.width);
    img.bits.assign(size_t(img.stride) * img.height, 0xFF);
    for (LONG r = 0; r < img.height; ++r) {
        BYTE* row = img.bits.data() + size_t(img.height - 1 - r) * img.stride;
        for (LONG c = 0; c < img.width; ++c)
            if (rowsTopDown[r][c] == '#')
                row[c / 8] &= BYTE(~(0x80 >> (c % 8)));
    }
    return img;
}

inline LOGFONTA Arial(LONG height)
{
    LOGFONTA lf{};
    lf.lfHeight = height;
    lf.lfWeight = FW_NORMAL;
    std::strcpy(lf.lfFaceName, "Arial");
    return lf;
}

// A BMP file: 24-bit unless bitCount says otherwise; pixel rows as given
// (bottom row first), padded to 4 bytes.
inline std::vector<BYTE> MakeBmp(LONG width, LONG height, const std::vector<BYTE>& bgrRowsBottomUp,
                                 WORD bitCount = 24)
{
    const size_t bpp = bitCount / 8;
    const size_t stride = ((bpp * size_t(width) + 3) / 4) * 4;
    const size_t rows = size_t(height < 0 ? -height : height);
    std::vector<BYTE> f(54 + stride * rows, 0);
    auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); };
    auto put16 = [&](size_t at, uint16_t v) { std::memcpy(&f[at], &v, 2); };
    f[0] = 'B';
    f[1] = 'M';
    put32(2, uint32_t(f.size()));
    put32(10, 54);
    put32(14, 40);
    put32(18, uint32_t(width));
    put32(22, uint32_t(height));
    put16(26, 1);
    put16(28, bitCount);
    for (size_t r = 0; r < rows; ++r)
        for (size_t i = 0; i < bpp * size_t(width); ++i) {
            size_t src = r * bpp * size_t(width) + i;
            f[54 + r * stride + i] = src < bgrRowsBottomUp.size() ? bgrRowsBottomUp[src] : 0;
        }
    return f;
}

class TempFile {
public:
    explicit TempFile(const std::vector<BYTE>& bytes)
    {
        m_file = std::tmpfile();
        if (!bytes.empty())
            std::fwrite(bytes.data(), 1, bytes.size(), m_file);
        std::fflush(m_file);
    }
    ~TempFile() { std::fclose(m_file); }
    int Fd() const { return fileno(m_file); }

private:
    FILE* m_file;
};
