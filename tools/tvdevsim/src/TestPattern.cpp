#include "TestPattern.h"

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace tvdevsim {

namespace {

struct Yuv {
    uint8_t y, u, v;
};

// The classic bars: white, yellow, cyan, green, magenta, red, blue, black (75%).
constexpr Yuv kBars[8] = {
    {180, 128, 128}, {162, 44, 142}, {131, 156, 44}, {112, 72, 58},
    {84, 184, 198},  {65, 100, 212}, {35, 212, 114}, {16, 128, 128},
};
constexpr Yuv kWhite = {235, 128, 128};
constexpr Yuv kBlack = {16, 128, 128};
constexpr Yuv kGrey = {128, 128, 128};
constexpr Yuv kBox = {210, 16, 146}; // a bright cyan-ish that shows on every bar

// Seven-segment digits: bit 0 top, 1 top right, 2 bottom right, 3 bottom,
// 4 bottom left, 5 top left, 6 middle.
constexpr uint8_t kSegments[10] = {0x3F, 0x06, 0x5B, 0x4F, 0x66, 0x6D, 0x7D, 0x07, 0x7F, 0x6F};

void FillRect(YuvPicture& p, int x0, int y0, int w, int h, Yuv c)
{
    int x1 = std::min(p.width, x0 + w), y1 = std::min(p.height, y0 + h);
    x0 = std::max(0, x0);
    y0 = std::max(0, y0);
    // Wholly outside (the frame number's later digits on the smallest pictures).
    if (x0 >= x1 || y0 >= y1)
        return;
    for (int y = y0; y < y1; ++y)
        std::fill(p.y.begin() + y * p.width + x0, p.y.begin() + y * p.width + x1, c.y);
    // Chroma of every 2x2 block the rectangle touches.
    const int cw = p.ChromaWidth();
    for (int y = y0 / 2; y < (y1 + 1) / 2 && y < p.ChromaHeight(); ++y) {
        for (int x = x0 / 2; x < (x1 + 1) / 2 && x < cw; ++x) {
            p.u[y * cw + x] = c.u;
            p.v[y * cw + x] = c.v;
        }
    }
}

void DrawDigit(YuvPicture& p, int x, int y, int s, int digit, Yuv c)
{
    // A digit is 4s wide and 7s high, segments s thick.
    const uint8_t seg = kSegments[digit % 10];
    if (seg & 0x01)
        FillRect(p, x, y, 4 * s, s, c);
    if (seg & 0x02)
        FillRect(p, x + 3 * s, y, s, 4 * s, c);
    if (seg & 0x04)
        FillRect(p, x + 3 * s, y + 3 * s, s, 4 * s, c);
    if (seg & 0x08)
        FillRect(p, x, y + 6 * s, 4 * s, s, c);
    if (seg & 0x10)
        FillRect(p, x, y + 3 * s, s, 4 * s, c);
    if (seg & 0x20)
        FillRect(p, x, y, s, 4 * s, c);
    if (seg & 0x40)
        FillRect(p, x, y + 3 * s, 4 * s, s, c);
}

} // namespace

void DrawTestPattern(YuvPicture& p, int width, int height, int64_t frameNumber, bool sparse)
{
    p.width = width;
    p.height = height;
    p.y.assign(static_cast<size_t>(width) * height, kGrey.y);
    p.u.assign(static_cast<size_t>(p.ChromaWidth()) * p.ChromaHeight(), kGrey.u);
    p.v.assign(p.u.size(), kGrey.v);

    if (!sparse) {
        const int barWidth = std::max(2, width / 8) & ~1;
        const int shift = static_cast<int>((frameNumber * 4) % (barWidth * 8));
        for (int x = 0; x < width; x += 2) {
            const Yuv c = kBars[((x + shift) / barWidth) % 8];
            FillRect(p, x, 0, 2, height, c);
        }
        // A strip of sensor-like noise along the bottom gives the encoders detail
        // to spend bits on, as a camera picture would; it changes every frame.
        uint32_t state = static_cast<uint32_t>(frameNumber) * 2654435761u + 1;
        for (int y = height - height / 8; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                state = state * 1664525u + 1013904223u;
                p.y[static_cast<size_t>(y) * width + x] =
                    static_cast<uint8_t>(16 + (state >> 24) * 219 / 255);
            }
    }

    // The box bounces horizontally across the middle of the picture.
    const int box = std::max(8, height / 6) & ~1;
    const int travel = std::max(1, width - box);
    int pos = static_cast<int>((frameNumber * 8) % (2 * travel));
    if (pos > travel)
        pos = 2 * travel - pos;
    FillRect(p, pos & ~1, (height - box) / 2 & ~1, box, box, kBox);

    // The frame number, six digits, on a white plate.
    const PatternRect plate = FrameNumberPlate(width, height);
    const int s = std::max(1, height / 72);
    const int digitW = 4 * s, gap = 2 * s, digits = 6;
    FillRect(p, plate.x, plate.y, plate.width, plate.height, kWhite);
    char text[16];
    std::snprintf(text, sizeof text, "%06lld", static_cast<long long>(frameNumber % 1000000));
    for (int i = 0; i < digits; ++i)
        DrawDigit(p, plate.x + gap + i * (digitW + gap), plate.y + gap, s, text[i] - '0', kBlack);
}

PatternRect FrameNumberPlate(int width, int height)
{
    const int s = std::max(1, height / 72);
    const int digitW = 4 * s, gap = 2 * s, digits = 6;
    PatternRect r;
    r.x = r.y = 2 * s & ~1;
    // As much of it as the picture holds.
    r.width = std::max(0, std::min(digits * (digitW + gap) + gap, width - r.x));
    r.height = std::max(0, std::min(7 * s + 2 * gap, height - r.y));
    return r;
}

int64_t ReadFrameNumber(int width, int height, const std::function<int(int x, int y)>& luma)
{
    const PatternRect plate = FrameNumberPlate(width, height);
    const int s = std::max(1, height / 72);
    const int digitW = 4 * s, gap = 2 * s, digits = 6;
    if (plate.width < digits * (digitW + gap) + gap || plate.height < 7 * s + 2 * gap)
        return -1;
    // The middle of each segment, in half segment widths from the digit's
    // corner, in the order of the segment bits.
    constexpr int kMiddles[7][2] = {{4, 1}, {7, 4}, {7, 10}, {4, 13}, {1, 10}, {1, 4}, {4, 7}};
    int64_t number = 0;
    for (int i = 0; i < digits; ++i) {
        const int x = plate.x + gap + i * (digitW + gap), y = plate.y + gap;
        uint8_t seen = 0;
        for (int bit = 0; bit < 7; ++bit)
            if (luma(x + kMiddles[bit][0] * s / 2, y + kMiddles[bit][1] * s / 2) < 128)
                seen |= uint8_t(1u << bit);
        const uint8_t* digit = std::find(std::begin(kSegments), std::end(kSegments), seen);
        if (digit == std::end(kSegments))
            return -1;
        number = number * 10 + (digit - std::begin(kSegments));
    }
    return number;
}

YuvPicture ExtractField(const YuvPicture& frame, int bottom)
{
    YuvPicture f;
    f.width = frame.width;
    f.height = frame.height / 2;
    f.y.resize(static_cast<size_t>(f.width) * f.height);
    for (int y = 0; y < f.height; ++y)
        std::copy_n(frame.y.begin() + (2 * y + bottom) * frame.width, frame.width,
                    f.y.begin() + y * f.width);
    // 4:2:0 chroma of a field: every second chroma row of the frame.
    const int cw = frame.ChromaWidth();
    f.u.resize(static_cast<size_t>(cw) * f.ChromaHeight());
    f.v.resize(f.u.size());
    for (int y = 0; y < f.ChromaHeight(); ++y) {
        const int src = std::min(frame.ChromaHeight() - 1, 2 * y + bottom);
        std::copy_n(frame.u.begin() + src * cw, cw, f.u.begin() + y * cw);
        std::copy_n(frame.v.begin() + src * cw, cw, f.v.begin() + y * cw);
    }
    return f;
}

} // namespace tvdevsim
