// CJp2kPictureDecoder: the two fields of a JPEG 2000 frame into one YUY2
// picture, over OpenJPEG.
//
// Each field's codestream is decoded at the reduce level (0 to
// kJp2kMaxReduceLevel; OpenJPEG's resolution factor: each level halves the
// field in both directions; a codestream with fewer wavelet levels is decoded
// at its smallest). The
// picture is the first field's width and twice its height: first-field rows
// on the even rows, second-field rows on the odd rows. A missing second field,
// one that does not decode or one of another width, leaves each first-field
// row doubled instead.
//
// Components: one (grey), or three: luma and two chroma components at any
// subsampling (read at the chroma position of each pixel pair), or RGB when
// the three have full size and the codestream does not say YCbCr; samples of
// any precision up to 16 bits, signed or not, scaled to 8 bits.
//
// Fields larger than kMaxFieldSide in either direction, or with more than
// four components, are refused before OpenJPEG allocates anything for them.
//
// Not thread-safe: the owning filter calls it under its receive lock.
#pragma once

#include "IJp2kDecoderControl.h"
#include "Jp2kFieldPair.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>

struct opj_image;

class CJp2kPictureDecoder {
public:
    static constexpr uint32_t kMaxFieldSide = 4096;

    CJp2kPictureDecoder();
    ~CJp2kPictureDecoder();
    CJp2kPictureDecoder(const CJp2kPictureDecoder&) = delete;
    CJp2kPictureDecoder& operator=(const CJp2kPictureDecoder&) = delete;

    // Decodes both fields; false when the first field does not decode.
    // Width() and Height() then give the picture's size.
    bool Decode(const Jp2kFieldPair& pair, int reduceLevel);
    int Width() const { return m_width; }
    int Height() const { return m_height; }
    // Whether the last picture has its second field (else its rows are doubled).
    bool Woven() const { return m_second != nullptr; }
    // The first field's size in the codestream (before the reduce level).
    int FieldWidth() const { return m_fieldWidth; }
    int FieldHeight() const { return m_fieldHeight; }

    // Writes the last decoded picture: Height() rows of 2 x Width() bytes
    // (an odd width writes its last pixel pair whole), rows dstStride apart.
    void WriteYuy2(uint8_t* dst, ptrdiff_t dstStride) const;

    // The size of the picture a first field of fieldWidth x fieldHeight makes
    // at a reduce level, as OpenJPEG rounds (up).
    static void ReducedPictureSize(int fieldWidth, int fieldHeight, int reduceLevel, int* width,
                                   int* height);

private:
    struct ImageDeleter {
        void operator()(opj_image* image) const;
    };
    using Image = std::unique_ptr<opj_image, ImageDeleter>;

    static Image DecodeField(std::span<const uint8_t> codestream, int reduceLevel);
    static bool Usable(const opj_image* image);

    Image m_first;
    Image m_second;
    int m_width = 0;
    int m_height = 0;
    int m_fieldWidth = 0;
    int m_fieldHeight = 0;
};
