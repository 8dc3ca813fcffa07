// The device H.264 decoder library: a C interface that decodes an Annex B byte
// stream (start codes) into planar 4:2:0 pictures, one picture per call.
//
//   Hi264DecCreate   opens a decoder for one stream (one decoding thread).
//   Hi264DecFrame    feeds bytes and hands out the pictures they complete: the
//                    first with result 0; further pictures come from calls
//                    with no data (data null, length 0) until one returns -1.
//   Hi264DecDestroy  closes it.
//
// A call may start with a device frame header (">>>>", 40 or 36 bytes), which
// is skipped; a 40-byte header whose 16-bit total length is full marks a piece
// of a larger picture, gathered until the shorter last piece. Other bytes in
// front of the first start code are skipped too. Otherwise the bytes of one
// call are taken as whole NAL units; pictures are cut at their first slice.
// A call whose bytes do not begin with a start code continues the bytes
// before it: from then on the decoder takes its input as one byte run (a
// stream that arrives in transport packets or arbitrary pieces) and decodes a
// picture once the next one has begun.
// Field-coded pictures come out as two fields, top (structure 1) then bottom
// (structure 2), after both fields are decoded. After a bitstream error the
// decoder hands out nothing until the next intra-coded picture.
//
// Threads: one decoder is used by one thread at a time; different decoders are
// independent. The plane pointers of a picture stay valid until the next call
// on the same decoder.
#pragma once

#include <cstdint>

extern "C" {

typedef void* HI264_HANDLE;

// Creation record: eight 32-bit words.
struct Hi264DecAttr {
    uint32_t reserved0;
    uint32_t reserved1;
    uint32_t maxWidthMbs;    // largest picture expected, in 16 x 16 macroblocks
    uint32_t maxHeightMbs;   // (a sizing hint: larger pictures still decode)
    uint32_t pictureBuffers; // at least 1
    uint32_t reserved5;
    uint32_t userData; // no pointer fits a 32-bit word here: unused, 0
    uint32_t reserved7;
};
static_assert(sizeof(Hi264DecAttr) == 32, "eight 32-bit words");

// The decoded-picture record, 88 bytes. The plane pointers are 64-bit on this
// platform, so width, height and strides follow them at 24..36; structure and
// the intra word keep their offsets 48 and 56.
struct Hi264DecPicture {
    uint8_t* y;        // 0
    uint8_t* u;        // 8
    uint8_t* v;        // 16
    uint32_t width;    // 24, pixels
    uint32_t height;   // 28, rows (a field's own height for a field)
    uint32_t yStride;  // 32, bytes
    uint32_t uvStride; // 36, bytes
    uint32_t reserved40[2];
    uint32_t structure; // 48: 0 frame, 1 top field, 2 bottom field
    uint32_t reserved52;
    uint32_t notIntra; // 56: 0 when the picture is intra-coded
    uint32_t reserved60[7];
};
static_assert(sizeof(Hi264DecPicture) == 88, "the 88-byte picture record");

// Results of Hi264DecFrame.
#define HI264DEC_OK 0            // a picture is in the record
#define HI264DEC_NEED_MORE (-1)  // the data is used up; no (further) picture
#define HI264DEC_NO_PICTURE (-2) // the data is used up but was refused or broken
#define HI264DEC_ERR_ARG (-3)    // no decoder or no record: nothing was done

// Bytes one call may carry (the decoder's input buffer); a larger call is
// refused with HI264DEC_NO_PICTURE.
#define HI264DEC_INPUT_BUFFER_SIZE (2 * 1024 * 1024)

// Null when the record is missing or unusable (no macroblocks, no picture
// buffers) or the decoder cannot be opened.
HI264_HANDLE Hi264DecCreate(const Hi264DecAttr* attr);

// data/length: the bytes of this call (null and 0 to ask for the next held
// picture). pts is kept for the caller's bookkeeping and not interpreted;
// flags: 0.
int32_t Hi264DecFrame(HI264_HANDLE handle, const uint8_t* data, uint32_t length, uint64_t pts,
                      Hi264DecPicture* picture, uint32_t flags);

// Null is allowed.
void Hi264DecDestroy(HI264_HANDLE handle);

} // extern "C"
