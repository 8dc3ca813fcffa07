#include "RecordTestKit.h"

#include "ByteOrder.h"
#include "CodecKind.h"
#include "ContainerKind.h"
#include "DeviceFrameHeader.h"
#include "SequenceHeader.h"
#include "StreamBuilders.h"
#include "StreamDetect.h"
#include "StreamInfo.h"
#include "TSParser.h"
#include "VoiceDecoder.h"
#include "VoiceFrame.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <unistd.h>

namespace rectest {

using tvdevsim::SimKind;

const RecordKind kRecordKinds[14] = {
    {SimKind::Device40, ".tvx", CodecDeviceH264, ContainerRaw},
    {SimKind::Device36, ".tvx", CodecDeviceH264, ContainerRaw},
    {SimKind::DeviceFieldD1, ".tvx", CodecDeviceH264, ContainerRaw},
    {SimKind::Jp2kFields, ".tmj2", CodecJP2K, ContainerRaw},
    {SimKind::QBoxH264, ".tavc", CodecHDH264, ContainerQBox},
    {SimKind::QBoxMjpeg, ".tvx", CodecMjpeg, ContainerQBox},
    {SimKind::QBoxMjpegInterlaced, ".tvx", CodecMjpeg, ContainerQBox},
    {SimKind::TsMpeg2, ".tvx2", CodecMpeg2, ContainerTransport},
    {SimKind::TsMpeg4, ".tvx4", CodecMpeg4, ContainerTransport},
    {SimKind::TsH264, ".t264", CodecDeviceH264, ContainerTransport},
    {SimKind::Ts192H264, ".tavc", CodecHDH264, ContainerTransport},
    {SimKind::EsMpeg2, ".tvx2", CodecMpeg2, ContainerRaw},
    {SimKind::EsMpeg4, ".tvx4", CodecMpeg4, ContainerRaw},
    {SimKind::EsH264, ".t264", CodecDeviceH264, ContainerRaw},
};

std::string RecordKindName(const testing::TestParamInfo<RecordKind>& info)
{
    std::string name = tvdevsim::KindName(info.param.kind);
    for (char& ch : name)
        ch = isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
    return name;
}

namespace {

bool IsDevice(SimKind k)
{
    return k == SimKind::Device40 || k == SimKind::Device36 || k == SimKind::DeviceFieldD1;
}

bool IsTs(SimKind k)
{
    return k == SimKind::TsMpeg2 || k == SimKind::TsMpeg4 || k == SimKind::TsH264 ||
           k == SimKind::Ts192H264;
}

bool IsQBox(SimKind k)
{
    return k == SimKind::QBoxH264 || k == SimKind::QBoxMjpeg || k == SimKind::QBoxMjpegInterlaced;
}

// The payloads of the device frames in a unit, video and voice apart.
void SplitDeviceUnit(const std::vector<uint8_t>& bytes, std::vector<uint8_t>& video,
                     std::vector<std::vector<uint8_t>>& voice)
{
    size_t at = 0;
    while (bytes.size() - at >= kDeviceHeader36Size) {
        DeviceFrameHeader h;
        if (!ReadDeviceFrameHeader(std::span<const uint8_t>(bytes).subspan(at), h))
            break;
        const size_t start = at + h.HeaderSize();
        const size_t end = at + static_cast<size_t>(h.totalLength);
        if (h.voice)
            voice.emplace_back(bytes.begin() + start, bytes.begin() + end);
        else
            video.insert(video.end(), bytes.begin() + start, bytes.begin() + end);
        at = end;
    }
}

// The PES payloads of every non-PSI packet in a unit (one PES per unit).
std::vector<uint8_t> DepacketizeUnit(const std::vector<uint8_t>& bytes, size_t packetSize)
{
    std::vector<uint8_t> es;
    const size_t lead = packetSize == 192 ? 4 : 0;
    for (size_t at = 0; at + packetSize <= bytes.size(); at += packetSize) {
        const uint8_t* p = bytes.data() + at + lead;
        const int pid = ((p[1] & 0x1F) << 8) | p[2];
        if (pid == 0 || pid == 0x1000)
            continue;
        size_t offset = 4;
        if ((p[3] & 0x30) == 0x30)
            offset = 5 + p[4];
        if (p[1] & 0x40)
            offset += 9 + p[offset + 8];
        es.insert(es.end(), p + offset, p + 188);
    }
    return es;
}

// The box of a unit (after the encoder's format header, when there is one).
size_t BoxStart(const std::vector<uint8_t>& bytes)
{
    for (size_t i = 4; i + 4 <= bytes.size(); ++i) {
        if (std::memcmp(bytes.data() + i, "qbox", 4) == 0)
            return i - 4;
    }
    return bytes.size();
}

std::vector<uint8_t> LengthPrefixedToStartCodes(std::span<const uint8_t> payload)
{
    std::vector<uint8_t> out;
    size_t at = 0;
    while (payload.size() - at >= 4) {
        const uint32_t n = ReadBE32(payload.data() + at);
        out.insert(out.end(), {0, 0, 0, 1});
        out.insert(out.end(), payload.begin() + at + 4, payload.begin() + at + 4 + n);
        at += 4 + n;
    }
    return out;
}

int TestDecReset(void*, int)
{
    return 0;
}

int TestDecodeFrame(void*, const uint8_t* frame, size_t frameLength, int16_t* out, uint32_t* count)
{
    VoiceFrameInfo info;
    if (!ReadVoiceFrame({frame, frameLength}, info) || info.samples > *count)
        return -1;
    for (uint32_t i = 0; i < info.samples; ++i)
        out[i] = static_cast<int16_t>(info.sequence);
    *count = info.samples;
    return 0;
}

const VoiceDecoderCalls kTestVoiceDecoder = {16, TestDecReset, TestDecodeFrame};

} // namespace

RecordedStream Record(SimKind kind, int frames, int gop, bool audio)
{
    tvdevsim::GeneratorConfig config;
    config.kind = kind;
    config.gop = gop;
    config.audio = audio;
    if (kind != SimKind::DeviceFieldD1) {
        config.width =
            kind == SimKind::Jp2kFields || kind == SimKind::QBoxMjpegInterlaced ? 176 : 160;
        config.height = 128;
    }
    tvdevsim::CStreamGenerator gen;
    RecordedStream r;
    if (!gen.Open(config)) {
        ADD_FAILURE() << gen.Error();
        return r;
    }
    tvdevsim::StreamUnit unit;
    int video = 0;
    while (video < frames && gen.Next(unit)) {
        r.bytes.insert(r.bytes.end(), unit.bytes.begin(), unit.bytes.end());
        if (IsDevice(kind)) {
            std::vector<uint8_t> v;
            SplitDeviceUnit(unit.bytes, v, r.audioFrames);
            r.audioAfterFrame.resize(r.audioFrames.size(), video - 1);
            if (unit.video) {
                r.frames.push_back(std::move(v));
                r.keys.push_back(unit.key);
            }
            video += unit.video ? 1 : 0;
            continue;
        }
        if (!unit.video) {
            // AAC box: the raw frame behind its "qmed" header.
            const size_t box = BoxStart(unit.bytes);
            std::span<const uint8_t> payload =
                std::span<const uint8_t>(unit.bytes).subspan(box + 28);
            const uint32_t header = ReadBE32(payload.data());
            r.audioFrames.emplace_back(payload.begin() + header, payload.end());
            r.audioAfterFrame.push_back(video - 1);
            continue;
        }
        ++video;
        r.keys.push_back(unit.key);
        if (IsTs(kind)) {
            r.frames.push_back(DepacketizeUnit(unit.bytes, kind == SimKind::Ts192H264 ? 192 : 188));
        } else if (IsQBox(kind)) {
            const size_t box = BoxStart(unit.bytes);
            std::span<const uint8_t> payload =
                std::span<const uint8_t>(unit.bytes).subspan(box + 28);
            r.frames.push_back(kind == SimKind::QBoxH264
                                   ? LengthPrefixedToStartCodes(payload)
                                   : std::vector<uint8_t>(payload.begin(), payload.end()));
        } else {
            r.frames.push_back(unit.bytes);
        }
    }
    return r;
}

std::vector<uint8_t> BuildMpeg2Stream(const std::vector<int>& types, size_t pictureBytes,
                                      std::vector<int64_t>* frameStarts, int bigPicture,
                                      size_t bigPictureBytes)
{
    std::vector<uint8_t> s;
    for (size_t i = 0; i < types.size(); ++i) {
        if (frameStarts)
            frameStarts->push_back(static_cast<int64_t>(s.size()));
        if (types[i] == 1) {
            Append(s, BuildMpeg2SequenceHeader(160, 128, 3));
            Append(s, BuildMpeg2SequenceExtension());
            // GOP header: time code 0 with its marker bit, closed GOP.
            Append(s, {0, 0, 1, 0xB8, 0x00, 0x08, 0x00, 0x40});
        }
        const int tr = static_cast<int>(i % 1024);
        Append(s, {0, 0, 1, 0x00, static_cast<uint8_t>(tr >> 2),
                   static_cast<uint8_t>(((tr & 3) << 6) | (types[i] << 3) | 0x07), 0xFF, 0xF8});
        Append(s, {0, 0, 1, 0x01});
        const size_t body = static_cast<int>(i) == bigPicture ? bigPictureBytes : pictureBytes;
        s.insert(s.end(), body, 0x55);
    }
    return s;
}

std::vector<int> IbbpTypes(int gops)
{
    std::vector<int> types;
    for (int g = 0; g < gops; ++g) {
        types.push_back(1);
        for (int k = 0; k < 8; ++k)
            types.insert(types.end(), {2, 3, 3});
    }
    return types;
}

TempDir::TempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tvrec-XXXXXX").string();
    if (mkdtemp(pattern.data()))
        m_path = pattern;
}

TempDir::~TempDir()
{
    std::error_code ec;
    if (!m_path.empty())
        std::filesystem::remove_all(m_path, ec);
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

bool AppendToFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::app);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// ---- the reader ----

CTestFileReader* CTestFileReader::Open(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return nullptr;
    auto* reader = new CTestFileReader;
    reader->m_fd = fd;
    reader->m_length = static_cast<LONGLONG>(::lseek(fd, 0, SEEK_END));
    return reader;
}

CTestFileReader::~CTestFileReader()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

STDMETHODIMP CTestFileReader::QueryInterface(REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IAsyncReader) {
        *ppv = static_cast<IAsyncReader*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

STDMETHODIMP_(ULONG) CTestFileReader::AddRef()
{
    return static_cast<ULONG>(++m_refs);
}

STDMETHODIMP_(ULONG) CTestFileReader::Release()
{
    const LONG n = --m_refs;
    if (n == 0)
        delete this;
    return static_cast<ULONG>(n);
}

STDMETHODIMP CTestFileReader::RequestAllocator(IMemAllocator*, ALLOCATOR_PROPERTIES*,
                                               IMemAllocator**)
{
    return E_NOTIMPL;
}

STDMETHODIMP CTestFileReader::Request(IMediaSample*, DWORD_PTR)
{
    return E_NOTIMPL;
}

STDMETHODIMP CTestFileReader::WaitForNext(DWORD, IMediaSample**, DWORD_PTR*)
{
    return E_NOTIMPL;
}

STDMETHODIMP CTestFileReader::SyncReadAligned(IMediaSample*)
{
    return E_NOTIMPL;
}

void CTestFileReader::CloseGate(LONG minLength, int pass)
{
    std::lock_guard<std::mutex> lock(m_gateLock);
    m_gateClosed = true;
    m_gateMin = minLength;
    m_gatePass = pass;
}

void CTestFileReader::OpenGate()
{
    std::lock_guard<std::mutex> lock(m_gateLock);
    m_gateClosed = false;
    m_gateChanged.notify_all();
}

int CTestFileReader::Waiting()
{
    std::lock_guard<std::mutex> lock(m_gateLock);
    return m_waiting;
}

STDMETHODIMP CTestFileReader::SyncRead(LONGLONG position, LONG length, BYTE* buffer)
{
    {
        std::unique_lock<std::mutex> lock(m_gateLock);
        if (m_gateClosed && length >= m_gateMin && m_gatePass-- <= 0) {
            ++m_waiting;
            m_gateChanged.notify_all();
            m_gateChanged.wait(lock, [this] { return !m_gateClosed; });
            --m_waiting;
        }
    }
    const int64_t n = m_reads++;
    if (m_failAfter >= 0 && n >= m_failAfter)
        return E_FAIL;
    if (position < 0 || length < 0)
        return E_INVALIDARG;
    const LONGLONG end = std::min<LONGLONG>(position + length, m_length);
    LONGLONG done = 0;
    while (position + done < end) {
        ssize_t got = ::pread(m_fd, buffer + done, static_cast<size_t>(end - position - done),
                              static_cast<off_t>(position + done));
        if (got <= 0)
            break;
        done += got;
    }
    return done == length ? S_OK : S_FALSE;
}

STDMETHODIMP CTestFileReader::Length(LONGLONG* total, LONGLONG* available)
{
    *total = *available = m_length;
    return S_OK;
}

STDMETHODIMP CTestFileReader::BeginFlush()
{
    return S_OK;
}

STDMETHODIMP CTestFileReader::EndFlush()
{
    return S_OK;
}

// ---- parsers ----

std::unique_ptr<CBaseParser> OpenParser(const std::string& path, CTestFileReader*& reader,
                                        const std::function<void(CTestFileReader&)>& prepare)
{
    reader = nullptr;
    ParserStreamSetup setup;
    std::vector<uint8_t> header;
    const std::vector<uint8_t> bytes = ReadWholeFile(path);
    if (!DescribeRecordStart(bytes, setup, header))
        return nullptr;
    std::unique_ptr<CBaseParser> parser = CreateFileParser(setup);
    reader = CTestFileReader::Open(path);
    if (reader && prepare)
        prepare(*reader);
    if (!parser || !reader || parser->SetFileName(path.c_str()) != 0 || parser->Open(reader) != 0)
        return nullptr;
    return parser;
}

void WaitForIndex(CBaseParser& parser)
{
    while (parser.IsIndexing())
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

ReadFrames ReadAll(CBaseParser& parser, bool forward)
{
    ReadFrames r;
    for (;;) {
        ParsedFrame* f = forward ? parser.ReadNextFrame() : parser.ReadPrevKeyFrame();
        if (!f)
            break;
        r.video.emplace_back(f->data, f->data + f->videoLength);
        r.audio.emplace_back(f->audioData, f->audioData + f->audioLength);
        r.types.push_back(f->frameType);
        r.timestamps.push_back(f->timestamp);
    }
    return r;
}

ScopedTestVoiceDecoder::ScopedTestVoiceDecoder()
{
    InstallVoiceDecoder(&kTestVoiceDecoder);
}

ScopedTestVoiceDecoder::~ScopedTestVoiceDecoder()
{
    InstallVoiceDecoder(nullptr);
}

std::vector<uint8_t> TestVoicePcm(const std::vector<uint8_t>& payload)
{
    VoiceFrameInfo info;
    std::vector<uint8_t> pcm;
    if (!ReadVoiceFrame(payload, info))
        return pcm;
    for (uint32_t i = 0; i < info.samples; ++i) {
        pcm.push_back(static_cast<uint8_t>(info.sequence));
        pcm.push_back(static_cast<uint8_t>(info.sequence >> 8));
    }
    return pcm;
}

} // namespace rectest
