#include "RecordFrameScan.h"

#include "ByteOrder.h"
#include "ByteSearch.h"
#include "DeviceFrameHeader.h"
#include "JP2KFieldHeader.h"
#include "QBox.h"
#include "QBoxHeader.h"

#include <algorithm>

namespace {

// Bytes of an SPS the scanner hands to the SPS reader: more than any SPS of
// these encoders, less than a scaling matrix could make it.
constexpr size_t kSpsBytes = 256;
// Bytes that certainly hold the fields of a slice header the scanner reads.
constexpr size_t kSliceStartBytes = 32;
// How far back a start code is checked for a device header or voice payload.
constexpr size_t kDeviceLookBack = 2048;

FrameScanStatus Exhausted(const RecordWindow& window)
{
    return window.reachesEnd ? FrameScanStatus::End : FrameScanStatus::NeedMore;
}

enum class StartCodeStep { Found, Stop, NeedMore };

// The next start code at or after `from` whose header byte the window holds:
// Found (p at its first byte, from moved past it), Stop (no further one) or
// NeedMore (the window ends inside it and the file goes on).
StartCodeStep NextStartCode(const RecordWindow& window, size_t& from, size_t& p)
{
    const ptrdiff_t hit = FindStartCode(window.bytes.subspan(from));
    if (hit < 0)
        return StartCodeStep::Stop;
    p = from + static_cast<size_t>(hit);
    from = p + 3;
    if (window.bytes.size() - p < 4)
        return window.reachesEnd ? StartCodeStep::Stop : StartCodeStep::NeedMore;
    return StartCodeStep::Found;
}

// The frame [start, end) of the window.
FrameScanStatus FoundFrame(size_t start, size_t end, int32_t frameType, ScannedFrame& out)
{
    out = ScannedFrame{};
    out.offset = start;
    out.length = end - start;
    out.frameType = frameType;
    return FrameScanStatus::Found;
}

// The window ran out before a unit ended the frame (open: one was started at
// frameStart): a frame still open at the end of the file ends there; otherwise
// more bytes decide.
FrameScanStatus WindowRanOut(const RecordWindow& window, bool open, size_t frameStart,
                             int32_t frameType, ScannedFrame& out)
{
    if (!open)
        return Exhausted(window);
    if (!window.reachesEnd)
        return FrameScanStatus::NeedMore;
    return FoundFrame(frameStart, window.bytes.size(), frameType, out);
}

// Where a unit whose start code 00 00 01 is at p begins: at the transport
// packet holding it, or (byte streams) at the zero byte in front of it. -1
// when a transport stream has no packet start for it.
ptrdiff_t UnitStart(const RecordWindow& window, size_t p, size_t tsPacketSize, bool zeroByte,
                    size_t floor)
{
    const std::span<const uint8_t> w = window.bytes;
    if (tsPacketSize != 0)
        return TsPacketStartBefore(w, p, tsPacketSize, window.reachesEnd);
    if (zeroByte && p > floor && w[p - 1] == 0)
        return static_cast<ptrdiff_t>(p - 1);
    return static_cast<ptrdiff_t>(p);
}

// ---- H.264 ----

enum class NalClass { None, Sps, Slice };

struct PictureStart {
    int32_t cls = 0; // 1 I, 2 P, 3 B
    H264SliceStart slice;
};

// The frame under construction.
enum class H264Phase { Searching, OpenedBySps, InPicture, SecondField };

} // namespace

ptrdiff_t TsPacketStartBefore(std::span<const uint8_t> bytes, size_t at, size_t packetSize,
                              bool reachesEnd)
{
    if (packetSize == 0 || at >= bytes.size())
        return -1;
    size_t from = at >= packetSize - 1 ? at - (packetSize - 1) : 0;
    for (size_t s = from; s <= at; ++s) {
        if (bytes[s] != 0x47)
            continue;
        bool before = s >= packetSize;
        bool after = bytes.size() - s > packetSize;
        if (before && bytes[s - packetSize] != 0x47)
            continue;
        // The packet after would have a say: without it the answer could
        // change once the window grows.
        if (!after && !reachesEnd)
            return kTsPacketUndecided;
        if (after && bytes[s + packetSize] != 0x47)
            continue;
        if (!before && !after)
            continue; // nothing confirms it
        return static_cast<ptrdiff_t>(s);
    }
    return -1;
}

bool InsideDeviceFrameOverhead(std::span<const uint8_t> bytes, size_t at)
{
    if (at >= bytes.size())
        return false;
    size_t floor = at > kDeviceLookBack ? at - kDeviceLookBack : 0;
    // The nearest valid header at or before `at` decides.
    size_t q = at + 1;
    while (q > floor) {
        --q;
        if (bytes[q] != 0x3E || bytes.size() - q < kDeviceHeader36Size ||
            !HasDeviceFrameMagic(bytes.subspan(q)))
            continue;
        DeviceFrameHeader header;
        if (!ReadDeviceFrameHeader(bytes.subspan(q), header))
            continue;
        size_t headerSize = header.HeaderSize();
        if (at < q + headerSize)
            return true;
        if (header.voice && header.totalLength > 0 &&
            static_cast<uint64_t>(at - q) < static_cast<uint64_t>(header.totalLength))
            return true;
        return false;
    }
    return false;
}

FrameScanStatus ScanH264Frame(const RecordWindow& window, const H264ScanOptions& options,
                              H264Sps& sps, ScannedFrame& out)
{
    const std::span<const uint8_t> w = window.bytes;
    const size_t n = w.size();
    H264Phase phase = H264Phase::Searching;
    size_t frameStart = 0;
    int32_t frameType = 0;
    PictureStart picture;
    size_t from = 0;
    for (size_t p = 0;;) {
        const StartCodeStep step = NextStartCode(window, from, p);
        if (step == StartCodeStep::NeedMore)
            return FrameScanStatus::NeedMore;
        if (step == StartCodeStep::Stop)
            break;
        const uint8_t header = w[p + 3];
        if (header & 0x80)
            continue;
        const uint8_t type = header & 0x1F;
        NalClass cls = NalClass::None;
        PictureStart slice;
        if (type == kNalSps && (header >> 5) != 0) {
            if (n - (p + 4) < kSpsBytes && !window.reachesEnd)
                return FrameScanStatus::NeedMore;
            H264Sps parsed;
            if (ParseH264Sps(w.subspan(p + 4, std::min(kSpsBytes, n - (p + 4))), parsed))
                sps = parsed;
            cls = NalClass::Sps;
        } else if (type == kNalSliceNonIdr || type == kNalSliceIdr) {
            if (n - (p + 4) < kSliceStartBytes && !window.reachesEnd)
                return FrameScanStatus::NeedMore;
            const auto bytes = w.subspan(p + 4, std::min(kSliceStartBytes, n - (p + 4)));
            if (ReadH264SliceStart(bytes, &sps, slice.slice) && slice.slice.firstMb == 0) {
                slice.cls = H264SliceClass(slice.slice.sliceType);
                if (slice.cls != 0)
                    cls = NalClass::Slice;
            }
        }
        if (cls == NalClass::None)
            continue;
        if (options.deviceHeaders && InsideDeviceFrameOverhead(w, p))
            continue;
        const ptrdiff_t start = UnitStart(window, p, options.tsPacketSize, true,
                                          phase == H264Phase::Searching ? 0 : frameStart);
        if (start == kTsPacketUndecided)
            return FrameScanStatus::NeedMore;
        if (start < 0)
            continue;
        const size_t unit = static_cast<size_t>(start);

        bool ends = false;
        switch (phase) {
        case H264Phase::Searching:
            frameStart = unit;
            if (cls == NalClass::Sps) {
                phase = H264Phase::OpenedBySps;
                frameType = 1;
            } else {
                phase = H264Phase::InPicture;
                picture = slice;
                frameType = slice.cls;
            }
            break;
        case H264Phase::OpenedBySps:
            if (cls == NalClass::Slice) {
                phase = H264Phase::InPicture;
                picture = slice;
            } else {
                ends = true;
            }
            break;
        case H264Phase::InPicture:
            if (cls == NalClass::Slice && picture.slice.fieldPic && slice.slice.fieldPic &&
                slice.slice.bottomField != picture.slice.bottomField &&
                slice.slice.frameNum == picture.slice.frameNum) {
                phase = H264Phase::SecondField;
            } else {
                ends = true;
            }
            break;
        case H264Phase::SecondField:
            ends = true;
            break;
        }
        // A packet that holds the end of one frame and the start of the next
        // cannot be cut: the next frame starts in a later packet.
        if (ends && unit > frameStart)
            return FoundFrame(frameStart, unit, frameType, out);
    }
    return WindowRanOut(window, phase != H264Phase::Searching, frameStart, frameType, out);
}

// ---- MPEG-2 / MPEG-4 ----

namespace {

enum class MpegUnit { None, Headers, Picture };

// Classifies the start code at p (n - p >= 4). For pictures, type gets 1, 2 or 3.
MpegUnit ClassifyMpeg(std::span<const uint8_t> w, size_t p, int32_t codecKind, int32_t& type,
                      bool& needMore)
{
    const uint8_t code = w[p + 3];
    needMore = false;
    if (codecKind == 1) {
        if (code == 0xB3)
            return MpegUnit::Headers;
        if (code != 0x00)
            return MpegUnit::None;
        if (w.size() - p < 6) {
            needMore = true;
            return MpegUnit::None;
        }
        type = (w[p + 5] >> 3) & 7;
        return type >= 1 && type <= 3 ? MpegUnit::Picture : MpegUnit::None;
    }
    if (code == 0xB0 || code == 0x20)
        return MpegUnit::Headers;
    if (code != 0xB6)
        return MpegUnit::None;
    if (w.size() - p < 5) {
        needMore = true;
        return MpegUnit::None;
    }
    switch (w[p + 4] >> 6) {
    case 0:
        type = 1;
        return MpegUnit::Picture;
    case 1:
        type = 2;
        return MpegUnit::Picture;
    case 2:
        type = 3;
        return MpegUnit::Picture;
    default:
        return MpegUnit::None; // sprite VOPs
    }
}

enum class MpegPhase { Searching, InHeaders, InPicture };

} // namespace

FrameScanStatus ScanMpegFrame(const RecordWindow& window, const MpegScanOptions& options,
                              ScannedFrame& out)
{
    const std::span<const uint8_t> w = window.bytes;
    MpegPhase phase = MpegPhase::Searching;
    size_t frameStart = 0;
    int32_t frameType = 0;
    size_t from = 0;
    for (size_t p = 0;;) {
        const StartCodeStep step = NextStartCode(window, from, p);
        if (step == StartCodeStep::NeedMore)
            return FrameScanStatus::NeedMore;
        if (step == StartCodeStep::Stop)
            break;
        int32_t pictureType = 0;
        bool needMore = false;
        MpegUnit unit = ClassifyMpeg(w, p, options.codecKind, pictureType, needMore);
        if (needMore && !window.reachesEnd)
            return FrameScanStatus::NeedMore;
        if (unit == MpegUnit::None)
            continue;
        const ptrdiff_t start = UnitStart(window, p, options.tsPacketSize, false, 0);
        if (start == kTsPacketUndecided)
            return FrameScanStatus::NeedMore;
        if (start < 0)
            continue;
        const size_t at = static_cast<size_t>(start);
        bool ends = false;
        switch (phase) {
        case MpegPhase::Searching:
            frameStart = at;
            frameType = unit == MpegUnit::Headers ? 1 : pictureType;
            phase = unit == MpegUnit::Headers ? MpegPhase::InHeaders : MpegPhase::InPicture;
            break;
        case MpegPhase::InHeaders:
            if (unit == MpegUnit::Picture)
                phase = MpegPhase::InPicture;
            break;
        case MpegPhase::InPicture:
            ends = true;
            break;
        }
        if (ends && at > frameStart)
            return FoundFrame(frameStart, at, frameType, out);
    }
    return WindowRanOut(window, phase != MpegPhase::Searching, frameStart, frameType, out);
}

// ---- QBox ----

namespace {

// The type of an H.264 box from its first NAL unit that tells; 0 when none does.
int32_t QBoxH264FrameType(std::span<const uint8_t> box, const QBoxHeader& header)
{
    size_t offset = 0, length = 0;
    if (!LocateQBoxH264Media(header, box, offset, length))
        return 0;
    std::span<const uint8_t> media = box.subspan(offset, length);
    size_t at = 0;
    while (media.size() - at > 4) {
        uint32_t nalLength = ReadBE32(media.data() + at);
        if (nalLength == 0 || (nalLength & 0x80000000u) || nalLength > media.size() - at - 4)
            return 0;
        std::span<const uint8_t> nal = media.subspan(at + 4, nalLength);
        at += 4 + nalLength;
        if (nal[0] & 0x80)
            continue;
        switch (nal[0] & 0x1F) {
        case kNalSps:
        case kNalSliceIdr:
            return 1;
        case kNalSei:
            return 2;
        case kNalSliceNonIdr: {
            H264SliceStart slice;
            int32_t cls = ReadH264SliceStart(nal.subspan(1), nullptr, slice)
                              ? H264SliceClass(slice.sliceType)
                              : 0;
            return cls == 3 ? 3 : 2;
        }
        default:
            break;
        }
    }
    return 0;
}

} // namespace

FrameScanStatus ScanQBoxFrame(const RecordWindow& window, const QBoxScanOptions& options,
                              ScannedFrame& out)
{
    const std::span<const uint8_t> w = window.bytes;
    const size_t n = w.size();
    size_t search = 4;
    while (search < n) {
        ptrdiff_t hit = FindPattern(w.subspan(search), kQBoxType);
        if (hit < 0)
            break;
        const size_t type = search + static_cast<size_t>(hit);
        const size_t start = type - 4;
        if (n - start < kQBoxHeaderSize)
            return Exhausted(window);
        const uint32_t size = ReadBE32(w.data() + start);
        QBoxHeader header;
        if (size < kQBoxHeaderSize || !ReadQBoxHeader(w.subspan(start), header)) {
            // Not a box after all (or a damaged one): look further.
            search = type + 1;
            continue;
        }
        if (size > options.maxBoxSize)
            return FrameScanStatus::Oversize;
        if (n - start < size)
            return Exhausted(window);
        const bool video = options.motionJpeg ? header.streamType == kQBoxStreamJpeg
                                              : IsQBoxH264Stream(header.streamType);
        // A box whose size is not a multiple of 4 may have its units up to 3
        // bytes on (the writer padded before them): its type is read from the
        // padded span only, and only once the window holds all of it, so
        // that where a read happens to end cannot change the frame's type.
        const size_t typedSpan = std::min<size_t>(size + (4 - size % 4) % 4, n - start);
        if (video && !options.motionJpeg && typedSpan < size + (4 - size % 4) % 4 &&
            !window.reachesEnd)
            return FrameScanStatus::NeedMore;
        if (video) {
            out = ScannedFrame{};
            out.offset = start;
            out.length = size;
            out.timestamp = QBoxTimeTo100ns(header.compositionTime);
            out.frameType =
                options.motionJpeg ? 1 : QBoxH264FrameType(w.subspan(start, typedSpan), header);
            // A box none of whose units tells its type (only a PPS, damaged
            // lengths) is still a picture's bytes: played in order as a
            // P frame, never chosen to start from. Type 0 would mark the end
            // of the index and make the saved index unreadable.
            if (out.frameType == 0)
                out.frameType = 2;
            return FrameScanStatus::Found;
        }
        search = type + size;
    }
    return Exhausted(window);
}

// ---- JPEG 2000 ----

namespace {

// The next field header at or after `from`: ">>>>" with the marker 128 bytes on.
// -1 when none starts before the last 144 bytes of the window.
ptrdiff_t FindJP2KFieldHeader(std::span<const uint8_t> w, size_t from)
{
    while (from < w.size()) {
        ptrdiff_t hit = FindPattern(w.subspan(from), kDeviceFrameMagic);
        if (hit < 0)
            return -1;
        size_t at = from + static_cast<size_t>(hit);
        if (w.size() - at < kJP2KFieldHeaderSize)
            return -1;
        if (HasJP2KFieldMarkers(w.subspan(at)))
            return static_cast<ptrdiff_t>(at);
        from = at + 1;
    }
    return -1;
}

} // namespace

FrameScanStatus ScanJP2KFrame(const RecordWindow& window, ScannedFrame& out)
{
    const std::span<const uint8_t> w = window.bytes;
    const size_t n = w.size();
    ptrdiff_t found = FindJP2KFieldHeader(w, 0);
    while (found >= 0) {
        const size_t first = static_cast<size_t>(found);
        JP2KFieldHeader h1;
        if (!ReadJP2KFieldHeader(w.subspan(first), h1) || h1.secondField) {
            found = FindJP2KFieldHeader(w, first + 1);
            continue;
        }
        const size_t second = first + kJP2KFieldHeaderSize + h1.codestreamLength;
        if (second > n || n - second < kJP2KFieldHeaderSize)
            return Exhausted(window);
        JP2KFieldHeader h2;
        if (ReadJP2KFieldHeader(w.subspan(second), h2) && h2.secondField &&
            h2.frameNumber == h1.frameNumber) {
            const size_t end = second + kJP2KFieldHeaderSize + h2.codestreamLength;
            if (end - first <= kJP2KMaxFrameLength) {
                if (end > n)
                    return Exhausted(window);
                out = ScannedFrame{};
                out.offset = first;
                out.length = end - first;
                out.frameType = 1;
                out.timestamp = h1.CaptureTimeUs();
                out.frameNumber = static_cast<int32_t>(h1.frameNumber);
                out.frameRate = h1.frameRate;
                return FrameScanStatus::Found;
            }
        }
        // No pair: the field found where the second was expected may open the
        // next frame; otherwise search on.
        found = HasJP2KFieldMarkers(w.subspan(second)) ? static_cast<ptrdiff_t>(second)
                                                       : FindJP2KFieldHeader(w, first + 1);
    }
    return Exhausted(window);
}
