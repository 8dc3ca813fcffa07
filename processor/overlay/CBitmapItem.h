// CBitmapItem: a 24-bit bottom-up BMP file drawn with one colour transparent.
// The file is read afresh through the item's file handle whenever the item
// renders. An item made with ownsFd closes the descriptor when it is
// destroyed (the overlay list gives each item a descriptor of its own).
#pragma once

#include "COverlayItem.h"

#include <vector>

class CBitmapItem : public COverlayItem {
public:
    // fd: the descriptor of the item's file handle. (x, y): the lower-left
    // corner (x made even). (r, g, b): the transparent colour. ownsFd: the
    // item closes fd when it is destroyed.
    CBitmapItem(int fd, LONG x, LONG y, BYTE r, BYTE g, BYTE b, bool ownsFd = false);
    ~CBitmapItem() override;

    int Fd() const { return m_fd; }

    // The whole file, read from its start without moving the handle's file
    // position. False when it cannot be read whole or is larger than
    // kMaxFileBytes.
    bool ReadFileBytes(std::vector<BYTE>* out) const;

    static constexpr size_t kMaxFileBytes = size_t(256) << 20;

    // Checks a BMP file and gives its image: "BM", 24 bits per pixel, a
    // positive width and height (bottom-up), bfSize within the file and
    // (bfSize - bfOffBits) / height equal to the padded row size. The pixel
    // rows become the image.
    static bool ParseBmp(const std::vector<BYTE>& file, OverlayImage* image);

protected:
    bool Render() override;
    void Blend(const OverlayFrame& frame) override;

private:
    int m_fd;
    bool m_ownsFd;
    std::vector<OverlayPixel> m_pixels; // the image converted, for blending
};
