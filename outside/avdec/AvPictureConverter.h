// CAvPictureConverter: a decoded libavcodec picture into a YUY2 buffer.
// Planar 4:2:0 (what MPEG-2, MPEG-4 and H.264 streams of the encoders carry)
// takes the SSE2 conversion the H.264 decoder filter uses; any other layout
// goes through libswscale, whose context is kept while the layout and size
// stay the same.
//
// Not thread-safe: the owning filter calls it under its receive lock.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

struct AVFrame;
struct SwsContext;

class CAvPictureConverter {
public:
    CAvPictureConverter() = default;
    ~CAvPictureConverter();
    CAvPictureConverter(const CAvPictureConverter&) = delete;
    CAvPictureConverter& operator=(const CAvPictureConverter&) = delete;

    // Writes picture.height rows of 2 x picture.width bytes at dst, rows
    // dstStride bytes apart (at least 2 x width). False when the layout
    // cannot be converted.
    bool WriteYuy2(const AVFrame& picture, uint8_t* dst, ptrdiff_t dstStride);

private:
    static constexpr size_t kScratchPadding = 256;

    SwsContext* m_sws = nullptr;
    std::vector<uint8_t> m_scratch; // libswscale's output
};
