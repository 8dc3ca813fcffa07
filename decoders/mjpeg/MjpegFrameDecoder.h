// CMjpegFrameDecoder: one Motion JPEG frame into one top-down 24-bit picture
// (bytes B G R per pixel, the renderer's order), on libjpeg-turbo. The frame is
// read in place through an in-memory source of our own; libjpeg-turbo converts
// straight to B G R and writes each row into its place in the output, so the
// picture is touched once.
//
// A frame is dropped (Decode returns false) when its header cannot be read,
// when its size is not the agreed one, or on any fatal libjpeg error: the
// error handler abandons the frame instead of ending the process, and the
// decompression object is destroyed. Input that runs out early is completed
// with an end-of-image marker (the library warns "Premature end of JPEG
// file"), so a truncated frame still gives a picture; empty input is the
// library's "Empty input file" error. Warnings and fatal errors go to the
// "mjpegdec" trace channel.
//
// Not thread-safe: the filter calls it on the upstream streaming thread under
// its receive lock. It has no threads of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <csetjmp>
#include <span>

#include <cstdio> // jpeglib.h needs FILE
#include <jpeglib.h>

class CMjpegFrameDecoder {
public:
    // Progressive frames with more scans than this are dropped: each scan
    // costs a pass over the whole picture, so a small hostile frame could
    // otherwise hold the stream for seconds.
    static constexpr int kMaxScans = 256;

    CMjpegFrameDecoder();
    ~CMjpegFrameDecoder();
    CMjpegFrameDecoder(const CMjpegFrameDecoder&) = delete;
    CMjpegFrameDecoder& operator=(const CMjpegFrameDecoder&) = delete;

    // Decodes frame when its picture is width x height: row r goes to
    // out + r * stride (stride >= width * 3). Rows that do not fit into out
    // are left out. An interlaced frame is two JPEGs one after the other, the
    // top field and the bottom field, each width x half the height: they are
    // woven into one picture, and a top field alone is line-doubled. True
    // with *written = rows written x stride; false when the frame is dropped
    // (out may then hold part of a picture).
    bool Decode(std::span<const uint8_t> frame, int width, int height, size_t stride,
                std::span<uint8_t> out, size_t* written);

    // The reason of the last drop, for tracing ("" after a success).
    const char* LastError() const { return m_lastError; }

    // The source manager's parts, for libjpeg's callbacks.
    struct Source {
        jpeg_source_mgr pub;
        const JOCTET* data;
        bool startOfFile;
        size_t length;
    };
    struct ErrorManager {
        jpeg_error_mgr pub;
        std::jmp_buf jump;
        CMjpegFrameDecoder* owner;
    };

private:
    enum class Placement {
        FrameOrTopField, // a whole picture, or the top field into the even rows
        BottomField,     // the bottom field into the odd rows
    };
    // What one JPEG gave: rows written (field rows for a field), whether it
    // was a field, and the frame's bytes up to the end of that JPEG.
    struct Image {
        size_t rows = 0;
        bool field = false;
        size_t consumed = 0;
    };
    // One JPEG of the frame into out; false when it is dropped.
    bool DecodeImage(std::span<const uint8_t> frame, int width, int height, size_t stride,
                     std::span<uint8_t> out, Placement placement, Image* image);
    // The body of DecodeImage between the jump target and the object's end.
    // Only trivially destructible objects live here: a fatal error jumps out.
    bool DecodeRows(std::span<const uint8_t> frame, int width, int height, size_t stride,
                    std::span<uint8_t> out, Placement placement, Image* image);
    // The first start-of-image marker at or after from; frame.size() if none.
    static size_t FindStartOfImage(std::span<const uint8_t> frame, size_t from);
    void Drop(const char* reason);
    static void ErrorExit(j_common_ptr cinfo);
    static void OutputMessage(j_common_ptr cinfo);
    static void Progress(j_common_ptr cinfo);

    jpeg_decompress_struct m_cinfo{};
    ErrorManager m_error{};
    jpeg_progress_mgr m_progress{};
    char m_lastError[JMSG_LENGTH_MAX] = "";
};
