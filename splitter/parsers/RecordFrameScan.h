// Frame boundaries and frame types in record files, as the frame index needs
// them: one scanner per stream family, each looking at a window of the file
// that starts where the previous frame ended.
//
// A scanner answers Found (the first frame in the window: where it starts,
// how long it is, its type), NeedMore (the window ends before the frame does,
// or before any frame starts: give a longer window from the same position),
// End (the window reaches the end of the file and holds no further frame) or
// Oversize (a QBox box larger than the read buffers: the index stops there).
// The same window always gives the same answer, so a caller may grow the
// window and ask again.
//
// Frame types: 1 key, 2 P, 3 B.
//
// Pure functions over caller-owned bytes; any thread. The H.264 scanner keeps
// the last sequence parameter set it met in the caller's H264Sps, which tells
// it how to read slice headers.
#pragma once

#include "H264Syntax.h"

#include <cstddef>
#include <cstdint>
#include <span>

enum class FrameScanStatus { Found, NeedMore, End, Oversize };

struct ScannedFrame {
    size_t offset = 0; // frame start in the window
    size_t length = 0; // bytes of the file the frame takes
    int32_t frameType = 0;
    int64_t timestamp = 0; // QBox: 100-ns units; JPEG 2000: capture time in microseconds
    int32_t frameNumber = 0;
    int32_t frameRate = 0; // JPEG 2000: bits 0-4 of header byte 6
};

struct RecordWindow {
    std::span<const uint8_t> bytes;
    bool reachesEnd = false; // the window's last byte is the file's last byte
};

// ---- H.264 (device streams, elementary streams, transport streams) ----

struct H264ScanOptions {
    // 188 or 192 for a transport stream: frame starts and ends move back to the
    // start of their packet. 0 for a byte stream.
    size_t tsPacketSize = 0;
    // A device stream: start codes inside DeviceFrameHeaders and voice payloads
    // are not NAL units.
    bool deviceHeaders = false;
};

// A frame opens at an SPS with non-zero nal_ref_idc (a key frame) or at the
// first slice (first_mb_in_slice 0) of a picture; the first slice after an
// opening SPS belongs to it. When the picture's slice is a field, the next
// slice that is the opposite field with the same frame_num is its second
// field. The next SPS or picture slice after that ends the frame. A frame
// starts with its start code's leading zero byte when it has one; a frame
// still open at the end of the file ends there.
FrameScanStatus ScanH264Frame(const RecordWindow& window, const H264ScanOptions& options,
                              H264Sps& sps, ScannedFrame& out);

// ---- MPEG-2 and MPEG-4 video ----

struct MpegScanOptions {
    int32_t codecKind = 1; // 1 MPEG-2, 2 MPEG-4
    size_t tsPacketSize = 0;
};

// A frame is its headers (MPEG-2: sequence header 00 00 01 B3; MPEG-4: visual
// object sequence B0 or video object layer 20), which make it a key frame,
// and one picture (MPEG-2: 00 00 01 00 with picture_coding_type 1 I, 2 P, 3 B;
// MPEG-4: 00 00 01 B6 with vop_coding_type 0 I, 1 P, 2 B). Pictures of other
// types are passed over. An intra picture without headers is a key frame of
// its own.
FrameScanStatus ScanMpegFrame(const RecordWindow& window, const MpegScanOptions& options,
                              ScannedFrame& out);

// ---- QBox ----

struct QBoxScanOptions {
    bool motionJpeg = false;      // frames are JPEG boxes (else H.264 boxes)
    size_t maxBoxSize = 0x100000; // a larger box is Oversize
};

// Boxes are found by their "qbox" type from window offset 4 on (a box starts 4
// bytes before it); after each box the search goes on where the next box's
// type is expected, so padding and stray bytes are passed over. The first
// video box is the frame (its own size; what follows it until the next video
// box belongs to the frame when it is read). JPEG boxes are key frames; an
// H.264 box takes its type from its first NAL unit that tells: SPS or IDR
// slice key, SEI P, other slices by slice_type. The timestamp is the box's.
FrameScanStatus ScanQBoxFrame(const RecordWindow& window, const QBoxScanOptions& options,
                              ScannedFrame& out);

// ---- JPEG 2000 fields ----

inline constexpr size_t kJP2KMaxFrameLength = 512000;

// A frame is a first field (byte 6 bit 5 clear) followed directly (at 144 +
// its codestream length) by the second field with the same frame number,
// 512000 bytes at most; anything else starts the pairing again at the next
// field header. Every frame is a key frame carrying the first field's capture
// time, frame number and rate.
FrameScanStatus ScanJP2KFrame(const RecordWindow& window, ScannedFrame& out);

// ---- helpers shared with the read step ----

// The start of the transport packet that holds the byte at `at`: a sync byte
// at most packetSize - 1 bytes before it, confirmed by the sync bytes one
// packet before or after where the bytes hold them. -1 when there is none;
// kTsPacketUndecided when the bytes end before the packet after a candidate
// and reachesEnd is false (more bytes could overturn the answer).
inline constexpr ptrdiff_t kTsPacketUndecided = -2;
ptrdiff_t TsPacketStartBefore(std::span<const uint8_t> bytes, size_t at, size_t packetSize,
                              bool reachesEnd = true);

// Whether the byte at `at` lies inside a DeviceFrameHeader or a voice frame's
// payload (looking back over at most one header and one voice frame).
bool InsideDeviceFrameOverhead(std::span<const uint8_t> bytes, size_t at);
