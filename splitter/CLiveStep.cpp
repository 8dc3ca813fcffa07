#include "CLiveStep.h"

#include "ByteOrder.h"
#include "ByteSearch.h"
#include "CodecKind.h"
#include "ContainerKind.h"
#include "DeviceFrameHeader.h"

#include <algorithm>
#include <cstring>

namespace {

using Kind = LiveStepResult::Kind;

LiveStepResult Wait(uint32_t ms)
{
    LiveStepResult r;
    r.sleepMs = ms;
    return r;
}

LiveStepResult Dropped(uint32_t ms = 0)
{
    LiveStepResult r;
    r.kind = Kind::Dropped;
    r.sleepMs = ms;
    return r;
}

LiveStepResult Video(size_t length, uint32_t ms = 0)
{
    LiveStepResult r;
    r.kind = Kind::Video;
    r.sampleLength = length;
    r.sleepMs = ms;
    return r;
}

// A magic split by the end of the buffered bytes must stay for the next turn.
constexpr size_t kMagicTail = sizeof(kDeviceFrameMagic) - 1;

// Drops what lies before the last bytes that may begin a magic.
LiveStepResult DropAllButMagicTail(CReceiveRing& ring, uint32_t ms)
{
    size_t b = ring.Buffered();
    if (b > kMagicTail)
        ring.Skip(b - kMagicTail);
    return Dropped(ms);
}

} // namespace

void CLiveStep::Configure(int32_t codecKind, int32_t containerKind, int32_t videoPid)
{
    m_codecKind = codecKind;
    m_containerKind = containerKind;
    m_videoPid = videoPid;
    m_framing = DeviceFraming::Undecided;
    Reset();
}

void CLiveStep::Reset()
{
    m_qbox.Reset();
    m_prebuffer = true;
}

void CLiveStep::SetPrebufferLevels(const PrebufferLevels& levels)
{
    m_levels = levels;
    m_threshold = m_firstFillDone ? levels.refill : levels.initial;
}

bool CLiveStep::HasDeviceFrameHeader(std::span<const uint8_t> bytes)
{
    size_t from = 0;
    while (from < bytes.size()) {
        ptrdiff_t hit = FindPattern(bytes.subspan(from), kDeviceFrameMagic);
        if (hit < 0)
            return false;
        size_t at = from + static_cast<size_t>(hit);
        if (IsDeviceFrameHeader(bytes.subspan(at)))
            return true;
        from = at + 1;
    }
    return false;
}

LiveStepResult CLiveStep::Step(CReceiveRing& ring, std::span<uint8_t> sample,
                               std::vector<uint8_t>& audio)
{
    audio.clear();
    if (ring.Buffered() < m_minBuffered || ring.Buffered() == 0)
        return Wait(1);
    if (m_codecKind == CodecDeviceH264Clocked)
        return StepClocked(ring, sample);
    if (m_codecKind == CodecJP2K)
        return StepJP2K(ring, sample);
    if (m_codecKind == CodecDeviceH264) {
        if (m_framing == DeviceFraming::Undecided)
            m_framing = HasDeviceFrameHeader(ring.Unread()) ? DeviceFraming::Device
                                                            : DeviceFraming::Elementary;
        if (m_framing == DeviceFraming::Device)
            return StepDevice(ring, sample, audio);
    }
    switch (m_containerKind) {
    case ContainerUnknown:
    case ContainerRaw:
        return StepElementary(ring, sample);
    case ContainerTransport:
        return StepTransport(ring, sample);
    case ContainerQBox:
        return StepQBox(ring, sample, audio);
    default:
        return Wait(2);
    }
}

LiveStepResult CLiveStep::StepClocked(CReceiveRing& ring, std::span<uint8_t> sample)
{
    size_t b = ring.Buffered();
    if (m_prebuffer) {
        // A threshold as large as the ring could only be met by a push that
        // fills it to the last byte; the next one would overflow and empty it.
        size_t reach = std::min(m_threshold, ring.Size() - ring.Size() / 8);
        if (b < reach)
            return Wait(200);
        m_prebuffer = false;
        m_firstFillDone = true;
        m_threshold = m_levels.refill;
    }
    if (b < m_levels.low) {
        m_prebuffer = true;
        return Wait(200);
    }
    ptrdiff_t hit = FindPattern(ring.Unread(), kDeviceFrameMagic);
    if (hit < 0)
        return DropAllButMagicTail(ring, 2);
    ring.Skip(static_cast<size_t>(hit));
    std::span<const uint8_t> data = ring.Unread();
    if (data.size() < kDeviceHeader40Size) {
        m_prebuffer = true;
        return Wait(20);
    }
    // Each layout keeps its total length and capture time in its own place.
    const uint8_t* h = data.data();
    bool layout36 = DeviceHeaderLayoutOf(h[5]) == DeviceHeaderLayout::Header36;
    int64_t headerSize = layout36 ? kDeviceHeader36Size : kDeviceHeader40Size;
    int64_t total = layout36 ? int64_t{static_cast<int32_t>(ReadLE32(h + 20))} : ReadLE16(h + 14);
    int64_t time = layout36 ? int64_t{ReadLE32(h + 28)} * 1000000 + ReadLE32(h + 32)
                            : static_cast<int64_t>(ReadLE64(h + 32));
    // A length shorter than its own header would never move the read position.
    if (total < headerSize) {
        ring.Skip(static_cast<size_t>(headerSize));
        return Dropped();
    }
    if (total > kMaxClockedFrame) {
        ring.Skip(sizeof(kDeviceFrameMagic));
        return Dropped();
    }
    size_t length = static_cast<size_t>(total);
    // A frame that came short (a datagram lost) holds the next frame's header:
    // reading its full length would take the next frame with it.
    const InnerDeviceHeader inner = FindInnerDeviceHeader(data, length);
    if (inner.result == LiveCut::Drop) {
        ring.Skip(inner.offset);
        return Dropped();
    }
    if (inner.result == LiveCut::NeedMore) {
        m_prebuffer = true;
        return Wait(20);
    }
    if (length > sample.size()) {
        ring.Skip(length);
        return Dropped(200);
    }
    if (ring.Read(sample.data(), length) == 0) {
        m_prebuffer = true;
        return Wait(20);
    }
    LiveStepResult r = Video(length);
    r.clocked = true;
    r.captureTimeUs = time;
    return r;
}

LiveStepResult CLiveStep::StepJP2K(CReceiveRing& ring, std::span<uint8_t> sample)
{
    std::span<const uint8_t> data = ring.Unread();
    std::span<const uint8_t> window = data.first(std::min(sample.size(), data.size()));
    JP2KFrameCut cut = CutJP2KFrame(window);
    if (cut.result == LiveCut::Video) {
        std::memcpy(sample.data(), window.data() + cut.frameOffset, cut.frameLength);
        ring.Skip(cut.consumed);
        return Video(cut.frameLength);
    }
    ring.Skip(cut.consumed);
    return cut.consumed > 0 ? Dropped(2) : Wait(2);
}

LiveStepResult CLiveStep::StepDevice(CReceiveRing& ring, std::span<uint8_t> sample,
                                     std::vector<uint8_t>& audio)
{
    std::span<const uint8_t> data = ring.Unread();
    DeviceFrameCut cut = CutDeviceFrame(data);
    switch (cut.result) {
    case LiveCut::NotFound:
        // Between frames of a framed stream: nothing here belongs to a frame.
        return DropAllButMagicTail(ring, 2);
    case LiveCut::Voice: {
        audio.assign(data.begin() + static_cast<ptrdiff_t>(cut.payloadOffset),
                     data.begin() + static_cast<ptrdiff_t>(cut.payloadOffset + cut.payloadLength));
        ring.Skip(cut.consumed);
        LiveStepResult r;
        r.kind = Kind::Voice;
        return r;
    }
    case LiveCut::Video:
        return StepDevicePicture(ring, sample, cut);
    case LiveCut::Drop:
        ring.Skip(cut.consumed);
        return Dropped();
    default:
        ring.Skip(cut.consumed);
        return Wait(2);
    }
}

LiveStepResult CLiveStep::StepDevicePicture(CReceiveRing& ring, std::span<uint8_t> sample,
                                            const DeviceFrameCut& first)
{
    // A picture longer than the 40-byte header's length field goes out in
    // consecutive frames, all but the last with the length full. The header
    // that says so stays here, so the pieces leave as one sample once the last
    // one is buffered: a decoder handed the first piece alone would decode a
    // truncated picture, and lose every picture up to the next key picture
    // when that one is split.
    std::span<const uint8_t> data = ring.Unread();
    DeviceFrameCut pieces[kMaxDevicePieces];
    size_t count = 0;
    size_t consumed = 0, length = 0;
    for (DeviceFrameCut piece = first;;) {
        pieces[count++] = piece;
        length += piece.payloadLength;
        consumed += piece.consumed;
        if (!piece.continues || count == kMaxDevicePieces)
            break;
        const DeviceFrameCut next = CutDeviceFrame(data.subspan(consumed));
        if (next.result == LiveCut::NeedMore ||
            (next.result == LiveCut::NotFound && next.consumed == 0))
            return Wait(2); // the next piece is on its way: nothing is consumed yet
        // Anything but a video frame straight behind ends the picture as it is.
        if (next.result != LiveCut::Video || next.payloadOffset != kDeviceHeader40Size)
            break;
        piece = next;
        piece.payloadOffset += consumed;
    }
    // Payloads are at most 0x100000 bytes, the video pin's buffer; a smaller
    // buffer drops what does not fit.
    if (length > sample.size()) {
        ring.Skip(consumed);
        return Dropped();
    }
    size_t filled = 0;
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(sample.data() + filled, data.data() + pieces[i].payloadOffset,
                    pieces[i].payloadLength);
        filled += pieces[i].payloadLength;
    }
    ring.Skip(consumed);
    return Video(length);
}

LiveStepResult CLiveStep::StepElementary(CReceiveRing& ring, std::span<uint8_t> sample)
{
    size_t n = CutElementaryUnit(ring.Unread());
    if (n == 0)
        return Wait(2);
    // A unit longer than the buffer goes out in pieces rather than blocking the
    // stream for good.
    n = std::min(n, sample.size());
    ring.Read(sample.data(), n);
    LiveStepResult r = Video(n);
    r.piece = true;
    return r;
}

LiveStepResult CLiveStep::StepTransport(CReceiveRing& ring, std::span<uint8_t> sample)
{
    size_t packetSize =
        m_codecKind == CodecHDH264 ? TSParser::kTimestampedPacketSize : TSParser::kPacketSize;
    std::span<const uint8_t> data = ring.Unread();
    TsPacketCut cut = CutTransportPacket(data, packetSize, m_videoPid);
    if (cut.result == LiveCut::Video && cut.payload.length <= sample.size()) {
        std::memcpy(sample.data(), data.data() + cut.payload.offset, cut.payload.length);
        ring.Skip(cut.consumed);
        return Video(cut.payload.length);
    }
    ring.Skip(cut.consumed);
    if (cut.result == LiveCut::NotFound || cut.result == LiveCut::NeedMore)
        return cut.consumed > 0 ? Dropped(5) : Wait(5);
    return Dropped();
}

LiveStepResult CLiveStep::StepQBox(CReceiveRing& ring, std::span<uint8_t> sample,
                                   std::vector<uint8_t>& audio)
{
    QBoxCut cut = m_qbox.Step(ring.Unread(), sample, audio);
    ring.Skip(cut.consumed);
    switch (cut.result) {
    case LiveCut::Video: {
        LiveStepResult r = Video(cut.sampleLength, cut.h264 ? 0 : 2);
        r.piece = cut.h264;
        return r;
    }
    case LiveCut::Audio: {
        LiveStepResult r;
        r.kind = Kind::Aac;
        r.sleepMs = 2;
        return r;
    }
    case LiveCut::Drop:
        return Dropped(2);
    default:
        return Wait(2);
    }
}
