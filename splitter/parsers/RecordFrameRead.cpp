#include "RecordFrameRead.h"

#include "ByteSearch.h"
#include "DeviceFrameHeader.h"
#include "JP2KFieldHeader.h"
#include "QBox.h"
#include "QBoxHeader.h"

#include <cstring>

namespace {

// A header is read only when more than a 40-byte header is left.
constexpr size_t kMinHeaderRoom = 41;
// The walk goes on after a payload only while this much is left.
constexpr size_t kMinWalkRoom = 4;

} // namespace

size_t WalkDeviceFrame(std::span<uint8_t> span, const VoicePayloadFn& onVoice)
{
    const size_t n = span.size();
    uint8_t* base = span.data();
    size_t out = 0;
    size_t at = 0;
    auto keep = [&](size_t from, size_t count) {
        if (count > 0 && out != from)
            std::memmove(base + out, base + from, count);
        out += count;
    };
    while (at < n) {
        ptrdiff_t hit = FindPattern(span.subspan(at), kDeviceFrameMagic);
        if (hit < 0) {
            keep(at, n - at);
            break;
        }
        const size_t header = at + static_cast<size_t>(hit);
        keep(at, header - at);
        if (n - header < kMinHeaderRoom)
            break;
        DeviceFrameHeader h;
        if (!ReadDeviceFrameHeader(span.subspan(header), h)) {
            // Magic bytes inside the video: they are video.
            keep(header, 1);
            at = header + 1;
            continue;
        }
        const int64_t payload = h.PayloadLength();
        if (payload < 0 || payload > kDeviceMaxPayload)
            return out > 0 ? out : n;
        const size_t start = header + h.HeaderSize();
        const size_t take = std::min<size_t>(static_cast<size_t>(payload), n - start);
        if (h.voice) {
            if (onVoice && take > 0)
                onVoice(span.subspan(start, take));
        } else {
            keep(start, take);
        }
        at = start + take;
        if (n - at < kMinWalkRoom)
            break;
    }
    return out;
}

namespace {

// An AAC box as an ADTS frame behind audio, kept only whole and while audio
// stays within maxAudio bytes.
void AppendAdtsWithin(const QBoxRef& box, std::vector<uint8_t>& audio, size_t maxAudio)
{
    const size_t before = audio.size();
    if (!AppendQBoxAacAsAdts(box, audio) || audio.size() > maxAudio)
        audio.resize(before);
}

} // namespace

QBoxSpanContents UnpackQBoxH264Span(std::span<const uint8_t> span, std::vector<uint8_t>& video,
                                    std::vector<uint8_t>& audio, size_t maxAudio)
{
    QBoxSpanContents contents;
    QBoxWalker walker(span);
    QBoxRef box;
    while (walker.Next(box)) {
        if (!box.complete)
            continue;
        if (IsQBoxH264Stream(box.header.streamType)) {
            size_t offset = 0, length = 0;
            if (!LocateQBoxH264Media(box.header, span.subspan(box.offset), offset, length))
                continue;
            AppendNalUnitsAsStartCodes(span.subspan(box.offset + offset, length), video);
            contents.timestamp = QBoxTimeTo100ns(box.header.compositionTime);
            ++contents.videoBoxes;
        } else if (box.header.streamType == kQBoxStreamAac) {
            AppendAdtsWithin(box, audio, maxAudio);
        }
    }
    return contents;
}

QBoxSpanContents UnpackQBoxMjpegSpan(std::span<const uint8_t> span, size_t& jpegOffset,
                                     size_t& jpegLength, std::vector<uint8_t>& audio,
                                     size_t maxAudio)
{
    QBoxSpanContents contents;
    jpegOffset = 0;
    jpegLength = 0;
    QBoxWalker walker(span);
    QBoxRef box;
    while (walker.Next(box)) {
        if (!box.complete)
            continue;
        if (box.header.streamType == kQBoxStreamJpeg) {
            size_t offset = 0, length = 0;
            if (jpegLength > 0 || !LocateQBoxMedia(box.header, box.bytes, offset, length) ||
                length < 4)
                continue;
            jpegOffset = box.offset + offset;
            jpegLength = length;
            contents.timestamp = QBoxTimeTo100ns(box.header.compositionTime);
            ++contents.videoBoxes;
        } else if (box.header.HasQmedHeader()) {
            AppendAdtsWithin(box, audio, maxAudio);
        }
    }
    return contents;
}

size_t JP2KFrameExtent(std::span<const uint8_t> span, int64_t& timeUs)
{
    timeUs = 0;
    if (!HasDeviceFrameMagic(span))
        return 0;
    JP2KFieldHeader first, second;
    if (!ReadJP2KFieldHeader(span, first))
        return span.size();
    timeUs = first.CaptureTimeUs();
    const size_t at = kJP2KFieldHeaderSize + first.codestreamLength;
    if (at > span.size() || !ReadJP2KFieldHeader(span.subspan(at), second) || !second.secondField ||
        second.frameNumber != first.frameNumber || first.secondField)
        return span.size();
    const size_t end = at + kJP2KFieldHeaderSize + second.codestreamLength;
    return end <= span.size() ? end : span.size();
}
