#include "tvdevsim/StreamGenerator.h"

#include "AudioEncoder.h"
#include "FieldH264Writer.h"
#include "Jp2kEncoder.h"
#include "TestPattern.h"
#include "VideoEncoder.h"

#include "DeviceFrameHeader.h"
#include "JP2KFieldHeader.h"
#include "QBox.h"
#include "QBoxHeader.h"
#include "TsWriter.h"

#include <chrono>
#include <cstring>

namespace tvdevsim {

namespace {

struct KindInfo {
    SimKind kind;
    const char* name;
    const char* description;
    const char* extension;
    int width, height;
};

constexpr KindInfo kKinds[] = {
    {SimKind::Device40, "dev40", "device H.264 with 40-byte frame headers and voice frames", ".tvx",
     704, 576},
    {SimKind::Device36, "dev36", "device H.264 with 36-byte frame headers and voice frames", ".tvx",
     704, 576},
    {SimKind::DeviceFieldD1, "dev-d1",
     "device H.264 field-coded at D1 (704x288 fields), 36-byte headers, voice frames", ".tvx", 704,
     576},
    {SimKind::Jp2kFields, "jp2k", "JPEG 2000 field pairs behind 144-byte headers", ".tmj2", 704,
     576},
    {SimKind::QBoxH264, "qbox-h264", "QBox HD H.264 (High profile) with AAC audio boxes", ".tavc",
     1280, 720},
    {SimKind::QBoxMjpeg, "qbox-mjpeg", "QBox Motion JPEG, progressive pictures", ".tvx", 1280, 720},
    {SimKind::QBoxMjpegInterlaced, "qbox-mjpeg-i",
     "QBox Motion JPEG, interlaced: two field JPEGs per box", ".tvx", 1280, 720},
    {SimKind::TsMpeg2, "ts-mpeg2", "transport stream, 188-byte packets, MPEG-2 video", ".tvx2", 704,
     576},
    {SimKind::TsMpeg4, "ts-mpeg4", "transport stream, 188-byte packets, MPEG-4 video", ".tvx4", 704,
     576},
    {SimKind::TsH264, "ts-h264", "transport stream, 188-byte packets, H.264", ".t264", 704, 576},
    {SimKind::Ts192H264, "ts192-h264", "transport stream, 192-byte packets, HD H.264", ".tavc",
     1280, 720},
    {SimKind::EsMpeg2, "es-mpeg2", "elementary MPEG-2 video", ".tvx2", 704, 576},
    {SimKind::EsMpeg4, "es-mpeg4", "elementary MPEG-4 video", ".tvx4", 704, 576},
    {SimKind::EsH264, "es-h264", "elementary H.264", ".t264", 704, 576},
};

const KindInfo& Info(SimKind kind)
{
    for (const KindInfo& k : kKinds)
        if (k.kind == kind)
            return k;
    return kKinds[0];
}

// Recorded (not live) streams start at 2024-01-01 00:00:00 UTC.
constexpr int64_t kFixedEpochUs = 1704067200LL * 1000000;
constexpr uint16_t kTsVideoPid = 0x100;
constexpr uint16_t kTsPmtPid = 0x1000;
// A 40-byte header's total length is 16 bits wide; longer pictures go out in pieces.
constexpr size_t kMax40Payload = 0xFFFF - kDeviceHeader40Size;

bool IsDeviceKind(SimKind k)
{
    return k == SimKind::Device40 || k == SimKind::Device36 || k == SimKind::DeviceFieldD1;
}
bool IsQBoxKind(SimKind k)
{
    return k == SimKind::QBoxH264 || k == SimKind::QBoxMjpeg || k == SimKind::QBoxMjpegInterlaced;
}
bool IsTsKind(SimKind k)
{
    return k == SimKind::TsMpeg2 || k == SimKind::TsMpeg4 || k == SimKind::TsH264 ||
           k == SimKind::Ts192H264;
}

// Annex B byte stream to NAL units behind 4-byte big-endian lengths.
std::vector<uint8_t> AnnexBToLengthPrefixed(const std::vector<uint8_t>& in)
{
    std::vector<size_t> starts, ends;
    size_t i = 0;
    while (i + 3 <= in.size()) {
        if (in[i] == 0 && in[i + 1] == 0 && in[i + 2] == 1) {
            if (!starts.empty()) {
                size_t e = i;
                while (e > starts.back() && in[e - 1] == 0)
                    --e;
                ends.push_back(e);
            }
            starts.push_back(i + 3);
            i += 3;
        } else {
            ++i;
        }
    }
    if (!starts.empty())
        ends.push_back(in.size());
    std::vector<uint8_t> out;
    for (size_t n = 0; n < starts.size(); ++n) {
        const size_t len = ends[n] - starts[n];
        if (len == 0)
            continue;
        const uint8_t l[4] = {static_cast<uint8_t>(len >> 24), static_cast<uint8_t>(len >> 16),
                              static_cast<uint8_t>(len >> 8), static_cast<uint8_t>(len)};
        out.insert(out.end(), l, l + 4);
        out.insert(out.end(), in.begin() + starts[n], in.begin() + ends[n]);
    }
    return out;
}

int64_t WallClockUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace

const char* KindName(SimKind kind)
{
    return Info(kind).name;
}
const char* KindDescription(SimKind kind)
{
    return Info(kind).description;
}
const char* RecordExtension(SimKind kind)
{
    return Info(kind).extension;
}

bool ParseKind(const std::string& name, SimKind& kind)
{
    for (const KindInfo& k : kKinds) {
        if (name == k.name) {
            kind = k.kind;
            return true;
        }
    }
    return false;
}

void DefaultPictureSize(SimKind kind, int& width, int& height)
{
    width = Info(kind).width;
    height = Info(kind).height;
}

bool KindHasTimestamps(SimKind kind)
{
    return IsDeviceKind(kind) || IsQBoxKind(kind) || kind == SimKind::Jp2kFields;
}

struct CStreamGenerator::Impl {
    YuvPicture picture;
    CVideoEncoder video;
    CVideoEncoder fieldJpeg; // interlaced MJPEG: one encoder for both field pictures
    CFieldH264Writer fieldH264;
    CToneEncoder audio;
    bool hasAudio = false;
    TsWriter ts{188};
    uint32_t jp2kFrameNumber = 0;
};

CStreamGenerator::CStreamGenerator() = default;
CStreamGenerator::~CStreamGenerator() = default;

bool CStreamGenerator::Open(const GeneratorConfig& config)
{
    m_config = config;
    m_impl = std::make_unique<Impl>();
    m_videoIndex = 0;
    m_audioSamples = 0;
    m_pendingVideo.clear();
    m_error.clear();
    if (m_config.frameRate < 1 || m_config.frameRate > 30) {
        m_error = "the frame rate must be 1..30 (the device headers hold 5 bits)";
        return false;
    }
    if (m_config.gop < 1)
        m_config.gop = 1;
    const SimKind kind = m_config.kind;
    m_width = m_config.width > 0 ? m_config.width : Info(kind).width;
    m_height = m_config.height > 0 ? m_config.height : Info(kind).height;
    if (kind == SimKind::DeviceFieldD1) {
        m_width = CFieldH264Writer::kWidth;
        m_height = 2 * CFieldH264Writer::kFieldHeight;
    }
    // 4:2:0 pictures, and field pictures of 4:2:0 for the interlaced kinds.
    const int step = (kind == SimKind::QBoxMjpegInterlaced || kind == SimKind::Jp2kFields) ? 4 : 2;
    m_width &= ~1;
    m_height -= m_height % step;
    if (m_width < 16 || m_height < 16 || m_width > 4096 || m_height > 4096) {
        m_error = "the picture size must be 16..4096 in each direction";
        return false;
    }
    m_liveBaseUs = WallClockUs();

    VideoEncoderSettings vs;
    vs.width = m_width;
    vs.height = m_height;
    vs.frameRate = m_config.frameRate;
    vs.gop = m_config.gop;
    vs.bitrateKbps = m_config.bitrateKbps;
    switch (kind) {
    case SimKind::Device40:
    case SimKind::Device36:
    case SimKind::TsH264:
    case SimKind::EsH264:
        vs.codec = "libx264";
        vs.profile = "baseline";
        break;
    case SimKind::QBoxH264:
    case SimKind::Ts192H264:
        vs.codec = "libx264";
        vs.profile = "high";
        break;
    case SimKind::QBoxMjpeg:
        vs.codec = "mjpeg";
        break;
    case SimKind::QBoxMjpegInterlaced:
        vs.codec = "mjpeg";
        vs.height = m_height / 2;
        break;
    case SimKind::TsMpeg2:
    case SimKind::EsMpeg2:
        vs.codec = "mpeg2video";
        break;
    case SimKind::TsMpeg4:
    case SimKind::EsMpeg4:
        vs.codec = "mpeg4";
        break;
    case SimKind::DeviceFieldD1:
    case SimKind::Jp2kFields:
        break;
    }
    if (!vs.codec.empty() && !m_impl->video.Open(vs, m_error))
        return false;
    if (IsTsKind(kind))
        m_impl->ts = TsWriter(kind == SimKind::Ts192H264 ? 192 : 188);

    if (m_config.audio && IsDeviceKind(kind)) {
        if (!m_impl->audio.OpenVoice(m_config.voiceCodec, m_config.toneHz, m_error))
            return false;
        m_impl->hasAudio = true;
    } else if (m_config.audio && kind == SimKind::QBoxH264) {
        if (!m_impl->audio.OpenAac(m_config.toneHz, m_error))
            return false;
        m_impl->hasAudio = true;
    }
    return true;
}

int64_t CStreamGenerator::StampUs(int64_t streamTimeUs) const
{
    const int64_t t = (m_config.live ? m_liveBaseUs : kFixedEpochUs) + streamTimeUs + m_tsOffsetUs;
    return t < 0 ? 0 : t;
}

uint64_t CStreamGenerator::QBoxTime(int64_t stampUs) const
{
    // 90 kHz; recorded streams count from their start, live ones from the epoch.
    const int64_t us = stampUs - (m_config.live ? 0 : kFixedEpochUs);
    return us > 0 ? static_cast<uint64_t>(us) * 9 / 100 : 0;
}

void CStreamGenerator::RestartLiveClock(int64_t streamTimeUs)
{
    m_liveBaseUs = WallClockUs() - streamTimeUs;
}

bool CStreamGenerator::Next(StreamUnit& unit)
{
    if (!m_impl)
        return false;
    if (!m_pendingVideo.empty()) {
        unit = std::move(m_pendingVideo.front());
        m_pendingVideo.erase(m_pendingVideo.begin());
        return true;
    }
    const int64_t videoTime = m_videoIndex * 1000000 / m_config.frameRate;
    if (m_impl->hasAudio) {
        const int64_t audioTime = m_audioSamples * 1000000 / m_impl->audio.SampleRate();
        if (audioTime < videoTime)
            return NextAudio(unit);
    }
    return NextVideo(unit);
}

bool CStreamGenerator::NextAudio(StreamUnit& unit)
{
    const int64_t t = m_audioSamples * 1000000 / m_impl->audio.SampleRate();
    std::vector<uint8_t> coded;
    if (!m_impl->audio.Next(coded)) {
        m_error = "the audio encoder failed";
        return false;
    }
    m_audioSamples += m_impl->audio.FrameSamples();
    unit = StreamUnit{};
    unit.video = false;
    unit.streamTimeUs = t;
    const int64_t stamp = StampUs(t);
    if (m_config.kind == SimKind::QBoxH264) {
        std::vector<uint8_t> payload;
        // 48000 Hz is sampling-frequency index 3.
        if (!AppendQmedPayload(payload, 3, 2, coded)) {
            m_error = "cannot build the qmed header";
            return false;
        }
        QBoxFields f;
        f.streamType = kQBoxStreamAac;
        f.streamId = 1;
        f.sampleFlags = kQBoxSampleFlagQmed;
        f.compositionTime = QBoxTime(stamp);
        return AppendQBox(unit.bytes, f, payload);
    }
    DeviceFrameFields f;
    f.layout = m_config.kind == SimKind::Device40 ? DeviceHeaderLayout::Header40
                                                  : DeviceHeaderLayout::Header36;
    f.frameRate = m_config.frameRate;
    f.resolutionCode = 3;
    f.progressive = m_config.kind != SimKind::DeviceFieldD1;
    f.width = static_cast<int16_t>(m_width);
    f.height = static_cast<int16_t>(m_height);
    f.captureTimeUs = stamp;
    f.captureSeconds = static_cast<uint32_t>(stamp / 1000000);
    f.captureMicros = static_cast<uint32_t>(stamp % 1000000);
    if (!AppendVoiceFrame(unit.bytes, f, coded)) {
        m_error = "cannot write a voice frame header";
        return false;
    }
    return true;
}

bool CStreamGenerator::NextVideo(StreamUnit& unit)
{
    const SimKind kind = m_config.kind;
    const int64_t index = m_videoIndex++;
    const bool wantKey = index % m_config.gop == 0;
    const int64_t t = index * 1000000 / m_config.frameRate;
    const int64_t stamp = StampUs(t);
    Impl& im = *m_impl;
    DrawTestPattern(im.picture, m_width, m_height, index, kind == SimKind::DeviceFieldD1);

    std::vector<uint8_t> coded;
    bool key = wantKey;
    switch (kind) {
    case SimKind::DeviceFieldD1:
        coded = im.fieldH264.EncodeFrame(im.picture, wantKey);
        break;
    case SimKind::Jp2kFields:
    case SimKind::QBoxMjpegInterlaced:
        break;
    default:
        if (!im.video.Encode(im.picture, wantKey, coded, key)) {
            m_error = "the video encoder failed";
            return false;
        }
        break;
    }

    unit = StreamUnit{};
    unit.video = true;
    unit.key = key;
    unit.frameIndex = index;
    unit.streamTimeUs = t;
    std::vector<uint8_t>& out = unit.bytes;

    switch (kind) {
    case SimKind::Device40:
    case SimKind::Device36:
    case SimKind::DeviceFieldD1: {
        DeviceFrameFields f;
        f.layout =
            kind == SimKind::Device40 ? DeviceHeaderLayout::Header40 : DeviceHeaderLayout::Header36;
        f.frameRate = m_config.frameRate;
        f.resolutionCode = 3; // progressive SD
        f.progressive = kind != SimKind::DeviceFieldD1;
        f.width = static_cast<int16_t>(m_width);
        f.height = static_cast<int16_t>(m_height);
        if (m_config.frameTypesInHeader && f.layout == DeviceHeaderLayout::Header36)
            f.frameType = key ? 1 : 2;
        f.captureTimeUs = stamp;
        f.captureSeconds = static_cast<uint32_t>(stamp / 1000000);
        f.captureMicros = static_cast<uint32_t>(stamp % 1000000);
        if (f.layout == DeviceHeaderLayout::Header40 && coded.size() > kMax40Payload) {
            // The picture goes out in consecutive frames; the decoder sees one byte stream.
            for (size_t at = 0; at < coded.size(); at += kMax40Payload) {
                const size_t n = std::min(kMax40Payload, coded.size() - at);
                if (!AppendDeviceFrame(out, f, std::span<const uint8_t>(coded).subspan(at, n)))
                    return false;
            }
        } else if (!AppendDeviceFrame(out, f, coded)) {
            m_error = "a picture does not fit its device frame header";
            return false;
        }
        break;
    }
    case SimKind::Jp2kFields: {
        std::vector<uint8_t> first, second;
        const int ratio = 20;
        if (!EncodeJp2kCodestream(ExtractField(im.picture, 0), ratio, first, m_error) ||
            !EncodeJp2kCodestream(ExtractField(im.picture, 1), ratio, second, m_error))
            return false;
        JP2KFieldFields f;
        f.frameRate = m_config.frameRate;
        f.captureSeconds = static_cast<uint32_t>(stamp / 1000000);
        f.captureMicros = static_cast<uint32_t>(stamp % 1000000);
        f.frameNumber = im.jp2kFrameNumber++;
        if (!AppendJP2KFrame(out, f, first, second)) {
            m_error = "a JPEG 2000 field exceeds 307200 bytes; use a smaller picture";
            return false;
        }
        unit.key = true;
        break;
    }
    case SimKind::QBoxH264:
    case SimKind::QBoxMjpeg:
    case SimKind::QBoxMjpegInterlaced: {
        std::vector<uint8_t> payload;
        if (kind == SimKind::QBoxH264) {
            payload = AnnexBToLengthPrefixed(coded);
        } else if (kind == SimKind::QBoxMjpeg) {
            payload = coded;
            unit.key = true;
        } else {
            for (int field = 0; field < 2; ++field) {
                bool k = false;
                if (!im.video.Encode(ExtractField(im.picture, field), true, coded, k)) {
                    m_error = "the video encoder failed";
                    return false;
                }
                payload.insert(payload.end(), coded.begin(), coded.end());
            }
            unit.key = true;
        }
        if (unit.key || index == 0) {
            // The encoder announces its picture format in a device header without
            // payload; the splitter takes the geometry of QBox streams from it.
            DeviceFrameFields g;
            g.layout = DeviceHeaderLayout::Header40;
            g.frameRate = m_config.frameRate;
            g.resolutionCode = kind == SimKind::QBoxMjpegInterlaced ? 0 : 3;
            g.width = static_cast<int16_t>(m_width);
            g.height = static_cast<int16_t>(m_height);
            g.captureTimeUs = stamp;
            if (!AppendDeviceFrame(out, g, {}))
                return false;
        }
        QBoxFields f;
        f.streamType = kind == SimKind::QBoxH264 ? kQBoxStreamH264 : kQBoxStreamJpeg;
        f.compositionTime = QBoxTime(stamp);
        if (!AppendQBox(out, f, payload))
            return false;
        break;
    }
    case SimKind::TsMpeg2:
    case SimKind::TsMpeg4:
    case SimKind::TsH264:
    case SimKind::Ts192H264: {
        if (key || index == 0) {
            const TsProgram program{1, kTsPmtPid};
            const uint8_t type = kind == SimKind::TsMpeg2 ? 2 : kind == SimKind::TsMpeg4 ? 16 : 27;
            const TsElementaryStream es{type, kTsVideoPid};
            im.ts.AppendSection(out, 0, BuildPatSection({&program, 1}));
            im.ts.AppendSection(out, kTsPmtPid, BuildPmtSection(1, kTsVideoPid, {&es, 1}));
        }
        im.ts.AppendPes(out, kTsVideoPid, coded);
        break;
    }
    case SimKind::EsMpeg2:
    case SimKind::EsMpeg4:
    case SimKind::EsH264:
        out = std::move(coded);
        break;
    }
    return true;
}

} // namespace tvdevsim
