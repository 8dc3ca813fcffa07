// Test media for the outside filters: the simulator's streams cut into the
// samples the splitter's "Video Out" delivers live (its own cutting rules from
// tvparsers), the media types it offers for them, and comparisons of decoded
// pictures with the simulator's drawing of a frame.
#pragma once

#include "CodecKind.h"
#include "LiveCutter.h"
#include "SequenceHeader.h"
#include "TSParser.h"
#include "TarvoMediaTypes.h"
#include "TestPattern.h"
#include "tvdevsim/StreamGenerator.h"

#include <dvdmedia.h>
#include <mtype.h>
#include <uuids.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace outsidetest {

using tvdevsim::SimKind;

struct SplitterVideo {
    std::vector<std::vector<uint8_t>> samples;
    std::vector<uint8_t> sequenceHeader; // as the splitter extracts it (may be empty)
    int width = 0;                       // the simulator's picture size
    int height = 0;
};

// The whole stream of `frames` video frames (audio left out), as sent.
inline std::vector<uint8_t> SimulatorStream(SimKind kind, int frames, int gop, int width = 0,
                                            int height = 0, int* outWidth = nullptr,
                                            int* outHeight = nullptr)
{
    tvdevsim::GeneratorConfig config;
    config.kind = kind;
    config.width = width;
    config.height = height;
    config.gop = gop;
    config.audio = false;
    tvdevsim::CStreamGenerator generator;
    std::vector<uint8_t> stream;
    if (!generator.Open(config)) {
        ADD_FAILURE() << generator.Error();
        return stream;
    }
    if (outWidth)
        *outWidth = generator.Width();
    if (outHeight)
        *outHeight = generator.Height();
    tvdevsim::StreamUnit unit;
    while (generator.Next(unit)) {
        if (!unit.video)
            continue;
        if (unit.frameIndex >= frames)
            break;
        stream.insert(stream.end(), unit.bytes.begin(), unit.bytes.end());
    }
    return stream;
}

inline int32_t CodecKindOf(SimKind kind)
{
    switch (kind) {
    case SimKind::EsMpeg2:
    case SimKind::TsMpeg2:
        return 1;
    case SimKind::EsMpeg4:
    case SimKind::TsMpeg4:
        return 2;
    case SimKind::Jp2kFields:
        return 4;
    case SimKind::QBoxH264:
    case SimKind::Ts192H264:
        return 6;
    default:
        return 0;
    }
}

inline int32_t ContainerKindOf(SimKind kind)
{
    switch (kind) {
    case SimKind::TsMpeg2:
    case SimKind::TsMpeg4:
    case SimKind::Ts192H264:
        return 2;
    case SimKind::QBoxH264:
        return 3;
    default:
        return 0;
    }
}

// The samples the splitter cuts live from `frames` frames of the stream, and
// its sequence header. The splitter keeps the stream's last bytes until more
// arrive; here they are the last sample.
inline SplitterVideo SplitterSamples(SimKind kind, int frames, int gop, int width = 0,
                                     int height = 0)
{
    SplitterVideo v;
    // JPEG 2000 pairs are cut once the next header is there: one frame more.
    const int extra = kind == SimKind::Jp2kFields ? 1 : 0;
    const std::vector<uint8_t> stream =
        SimulatorStream(kind, frames + extra, gop, width, height, &v.width, &v.height);
    std::vector<uint8_t> header(kSequenceHeaderCapacity);
    const size_t headerLength =
        ExtractSequenceHeader(stream, CodecKindOf(kind), ContainerKindOf(kind), header);
    if (headerLength && CodecKindOf(kind) != 7)
        v.sequenceHeader.assign(header.begin(), header.begin() + headerLength);
    const std::span<const uint8_t> all(stream);
    size_t at = 0;
    switch (kind) {
    case SimKind::EsMpeg2:
    case SimKind::EsMpeg4:
    case SimKind::EsH264:
        while (at < stream.size()) {
            size_t n = CutElementaryUnit(all.subspan(at));
            if (n == 0 || at + n + 2 >= stream.size())
                n = stream.size() - at;
            v.samples.emplace_back(stream.begin() + at, stream.begin() + at + n);
            at += n;
        }
        break;
    case SimKind::TsMpeg2:
    case SimKind::TsMpeg4:
    case SimKind::Ts192H264: {
        TSParser ts;
        ts.InitParser(stream.data(), stream.size());
        if (!ts.FindProgram()) {
            ADD_FAILURE() << "no program in the transport stream";
            break;
        }
        // The cutter finds its sync over four packets: null packets behind the
        // stream stand for the data that would follow it.
        std::vector<uint8_t> padded = stream;
        for (int i = 0; i < 4; ++i) {
            padded.insert(padded.end(), ts.PacketSize() - 188, 0);
            const uint8_t nullHeader[4] = {0x47, 0x1F, 0xFF, 0x10};
            padded.insert(padded.end(), nullHeader, nullHeader + 4);
            padded.insert(padded.end(), 184, 0xFF);
        }
        const std::span<const uint8_t> cuttable(padded);
        while (at < stream.size()) {
            const TsPacketCut cut =
                CutTransportPacket(cuttable.subspan(at), ts.PacketSize(), ts.VideoPid());
            if (cut.consumed == 0)
                break;
            if (cut.result == LiveCut::Video)
                v.samples.emplace_back(stream.begin() + at + cut.payload.offset,
                                       stream.begin() + at + cut.payload.offset +
                                           cut.payload.length);
            at += cut.consumed;
        }
        break;
    }
    case SimKind::QBoxH264: {
        QBoxLiveCutter cutter;
        std::vector<uint8_t> sample(0x100000), audio;
        while (at < stream.size()) {
            const QBoxCut cut = cutter.Step(all.subspan(at), sample, audio);
            if (cut.result == LiveCut::Video && cut.h264)
                v.samples.emplace_back(sample.begin(), sample.begin() + cut.sampleLength);
            if (cut.consumed == 0)
                break;
            at += cut.consumed;
        }
        break;
    }
    case SimKind::Jp2kFields:
        while (at < stream.size()) {
            const JP2KFrameCut cut = CutJP2KFrame(all.subspan(at));
            if (cut.result == LiveCut::Video)
                v.samples.emplace_back(stream.begin() + at + cut.frameOffset,
                                       stream.begin() + at + cut.frameOffset + cut.frameLength);
            if (cut.consumed == 0)
                break;
            at += cut.consumed;
        }
        break;
    default:
        ADD_FAILURE() << "no splitter rule for this kind here";
    }
    return v;
}

// The indices of the samples that begin a picture (an MPEG-2 picture header,
// an MPEG-4 VOP, the first slice of an H.264 picture), so that a test can
// start a stream at a given frame.
inline std::vector<size_t> PictureStarts(SimKind kind, const SplitterVideo& v)
{
    std::vector<size_t> starts;
    for (size_t i = 0; i < v.samples.size(); ++i) {
        const std::vector<uint8_t>& b = v.samples[i];
        for (size_t k = 0; k + 4 < b.size(); ++k) {
            if (b[k] != 0 || b[k + 1] != 0 || b[k + 2] != 1)
                continue;
            const uint8_t code = b[k + 3];
            bool picture = false;
            switch (CodecKindOf(kind)) {
            case 1:
                picture = code == 0x00;
                break;
            case 2:
                picture = code == 0xB6;
                break;
            default: // a slice (type 1 or 5) whose first_mb_in_slice is 0
                picture = ((code & 0x1F) == 1 || (code & 0x1F) == 5) && (b[k + 4] & 0x80);
                break;
            }
            if (picture) {
                starts.push_back(i);
                break;
            }
        }
    }
    return starts;
}

// ---- The media types "Video Out" offers ----

inline CMediaType VideoInfoType(const GUID& subtype, int width, int height, DWORD compression,
                                REFERENCE_TIME avg)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_VideoInfo);
    auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormatBuffer(sizeof(VIDEOINFOHEADER)));
    *vih = VIDEOINFOHEADER{};
    vih->rcSource = vih->rcTarget = RECT{0, 0, width, height};
    vih->AvgTimePerFrame = avg;
    vih->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih->bmiHeader.biWidth = width;
    vih->bmiHeader.biHeight = height;
    vih->bmiHeader.biPlanes = 1;
    vih->bmiHeader.biBitCount = 24;
    vih->bmiHeader.biCompression = compression;
    return mt;
}

inline CMediaType Mpeg2VideoInfoType(const GUID& subtype, int width, int height,
                                     const std::vector<uint8_t>& header, DWORD profile, DWORD level,
                                     DWORD flags = 0)
{
    CMediaType mt;
    mt.SetType(&MEDIATYPE_Video);
    mt.SetSubtype(&subtype);
    mt.SetFormatType(&FORMAT_MPEG2Video);
    const size_t size = offsetof(MPEG2VIDEOINFO, dwSequenceHeader) + header.size();
    auto* m = reinterpret_cast<MPEG2VIDEOINFO*>(mt.AllocFormatBuffer(static_cast<ULONG>(size)));
    std::memset(m, 0, size);
    m->hdr.rcSource = m->hdr.rcTarget = RECT{0, 0, width, height};
    m->hdr.AvgTimePerFrame = 400000;
    m->hdr.dwInterlaceFlags = 1;
    m->hdr.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    m->hdr.bmiHeader.biWidth = width;
    m->hdr.bmiHeader.biHeight = height;
    m->cbSequenceHeader = static_cast<DWORD>(header.size());
    m->dwProfile = profile;
    m->dwLevel = level;
    m->dwFlags = flags;
    if (!header.empty())
        std::memcpy(reinterpret_cast<BYTE*>(m) + offsetof(MPEG2VIDEOINFO, dwSequenceHeader),
                    header.data(), header.size());
    return mt;
}

// The type of "Video Out" for the kind, sized as the splitter would read it.
inline CMediaType SplitterType(SimKind kind, const SplitterVideo& v)
{
    switch (CodecKindOf(kind)) {
    case 1:
        return Mpeg2VideoInfoType(MEDIASUBTYPE_MPEG2_VIDEO, v.width, v.height, v.sequenceHeader, 0,
                                  0);
    case 2:
        return VideoInfoType(MEDIASUBTYPE_TarvoDivx, v.width, v.height, 0x20424752, 333667);
    case 4: // the field size, from the first field's codestream
        return VideoInfoType(MEDIASUBTYPE_TarvoJpeg2000, v.width, v.height / 2, 0x4B32504A, 333667);
    case 6: // always announced as 1920 x 1080
        return Mpeg2VideoInfoType(MEDIASUBTYPE_TarvoAvc1, 1920, 1080, v.sequenceHeader, 100, 40);
    default:
        ADD_FAILURE() << "no type for this kind";
        return CMediaType();
    }
}

// ---- Pictures ----

// The simulator's drawing of a frame.
inline tvdevsim::YuvPicture Drawing(int width, int height, int64_t frame)
{
    tvdevsim::YuvPicture p;
    tvdevsim::DrawTestPattern(p, width, height, frame, false);
    return p;
}

// PSNR in dB of the luma of a YUY2 picture (rows `stride` apart) against the
// drawing's luma over the frame-number plate; `scale` 2 compares a picture of
// half the drawing's size with the drawing's 2 x 2 means.
inline double PlatePsnr(const uint8_t* yuy2, ptrdiff_t stride, const tvdevsim::YuvPicture& want,
                        int scale = 1)
{
    const tvdevsim::PatternRect plate = tvdevsim::FrameNumberPlate(want.width, want.height);
    double se = 0;
    int n = 0;
    for (int y = plate.y / scale; y < (plate.y + plate.height) / scale; ++y)
        for (int x = plate.x / scale; x < (plate.x + plate.width) / scale; ++x) {
            double w = 0;
            for (int dy = 0; dy < scale; ++dy)
                for (int dx = 0; dx < scale; ++dx)
                    w += want.y[static_cast<size_t>(y * scale + dy) * want.width + x * scale + dx];
            w /= scale * scale;
            const double d = yuy2[y * stride + 2 * x] - w;
            se += d * d;
            ++n;
        }
    const double mse = n ? se / n : 0;
    return 10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-9));
}

// The picture shows frame `frame`'s number: close to its drawing, and closer
// than to the drawings of the frames around it. A reduced picture is compared
// with 2 x 2 means, which the wavelet's low band only approximates.
inline void ExpectShowsFrame(const uint8_t* yuy2, ptrdiff_t stride, int width, int height,
                             int64_t frame, int scale = 1)
{
    const double own = PlatePsnr(yuy2, stride, Drawing(width, height, frame), scale);
    EXPECT_GT(own, scale == 1 ? 26.0 : 20.0) << "frame " << frame;
    for (int64_t other : {frame - 1, frame + 1}) {
        if (other < 0)
            continue;
        EXPECT_GT(own, PlatePsnr(yuy2, stride, Drawing(width, height, other), scale) + 3.0)
            << "frame " << frame << " against " << other;
    }
}

} // namespace outsidetest
