// The splitter filter on the test kit: its private interface through the raw
// vtable, pins and registration, the media types, the input probe, push-mode
// Receive into the ring, the configuration file, the frame queue path, Stop
// while the delivery thread waits, file playback through a parser (a fake one
// standing in for the record-file parsers) and IMediaPosition.
#include "CTarvoSplitterF.h"
#include "CTarvoSplitterInputPin.h"
#include "CodecKind.h"
#include "ContainerKind.h"
#include "DeviceFrameHeader.h"
#include "NWTestUtil.h"
#include "SplitterMediaTypes.h"
#include "StreamBuilders.h"
#include "TarvoGuids.h"
#include "TarvoMediaTypes.h"
#include "TestKit.h"

#include <dvdmedia.h>
#include <mmreg.h>

#include "win32/registry.h"
#include "win32/trace.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <future>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Filler(size_t n, uint8_t seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = static_cast<uint8_t>(0x80 | (seed + i * 3)); // no start codes, no '>'
    return b;
}

// A frame's payload: SPS, PPS and a key slice (every frame is a key frame, so
// that two frames are enough for detection, which wants two SPS).
Bytes H264Payload(int index, size_t size)
{
    Bytes p = BuildSps(SpsFields{});
    Append(p, {0, 0, 1, 0x68, 0xCE, 0x38, 0x80});
    Append(p, {0, 0, 1, 0x65});
    Append(p, Filler(size, static_cast<uint8_t>(index)));
    return p;
}

struct DeviceClip {
    Bytes bytes;
    std::vector<Bytes> frames;   // each frame whole, header included
    std::vector<Bytes> payloads; // its video payload
};

// Device frames whose capture times start at firstUs and step by stepUs.
DeviceClip DeviceFrames(DeviceHeaderLayout layout, int count, size_t size, int64_t firstUs = 0,
                        int64_t stepUs = 40000)
{
    DeviceClip clip;
    for (int i = 0; i < count; ++i) {
        DeviceFrameFields f;
        f.layout = layout;
        f.width = 704;
        f.height = 576;
        f.frameType = layout == DeviceHeaderLayout::Header36 ? (i == 0 ? 1 : 2) : 0;
        const int64_t t = firstUs + i * stepUs;
        f.captureTimeUs = t;
        f.captureSeconds = static_cast<uint32_t>(t / 1000000);
        f.captureMicros = static_cast<uint32_t>(t % 1000000);
        Bytes frame;
        Bytes payload = H264Payload(i, size);
        EXPECT_TRUE(AppendDeviceFrame(frame, f, payload));
        Append(clip.bytes, frame);
        clip.frames.push_back(frame);
        clip.payloads.push_back(payload);
    }
    return clip;
}

// A splitter created in the test's own image (to reach its C++ side), with a
// reference the fixture releases.
CTarvoSplitterF* NewSplitter()
{
    HRESULT hr = S_OK;
    auto* splitter =
        static_cast<CTarvoSplitterF*>(CreateComInstance<CTarvoSplitterF>(nullptr, &hr));
    EXPECT_EQ(hr, S_OK);
    if (splitter)
        splitter->NonDelegatingAddRef();
    return splitter;
}

// ---- the private interface ----

using SplitterTest = TvComTest;

TEST_F(SplitterTest, PrivateInterfaceThroughTheVtable)
{
    IBaseFilter* filter = CreateInstance<IBaseFilter>(CLSID_TarvoSplitterF, IID_IBaseFilter);
    ASSERT_NE(filter, nullptr);
    ITarvoSplt* splt = Query<ITarvoSplt>(filter, IID_ITarvoSplt);
    ASSERT_NE(splt, nullptr);
    void** vtable = *reinterpret_cast<void***>(splt);
    using FnInt = HRESULT (*)(ITarvoSplt*, int);
    using FnVoid = HRESULT (*)(ITarvoSplt*);
    using FnRates = HRESULT (*)(ITarvoSplt*, UINT, int*, int*);
    using FnRange = HRESULT (*)(ITarvoSplt*, int*);
    using FnSetRange = HRESULT (*)(ITarvoSplt*, int, int);
    using FnCallback = HRESULT (*)(ITarvoSplt*, VodRequestCallback, int);
    auto slot = [&](int n) { return vtable[n]; };

    int video = -1, audio = -1, range[2] = {-1, -1};
    EXPECT_EQ(reinterpret_cast<FnVoid>(slot(4))(splt), E_FAIL); // RemoveDownstream
    struct RateCase {
        UINT ms;
        bool outputs;
        HRESULT result;
    };
    for (RateCase c : {RateCase{0, true, E_INVALIDARG}, RateCase{10001, true, E_INVALIDARG},
                       RateCase{1, false, E_POINTER}, RateCase{1, true, S_OK},
                       RateCase{10000, false, E_POINTER}}) {
        EXPECT_EQ(reinterpret_cast<FnRates>(slot(5))(splt, c.ms, c.outputs ? &video : nullptr,
                                                     c.outputs ? &audio : nullptr),
                  c.result)
            << c.ms;
    }
    EXPECT_EQ(video, 0); // nothing delivered in that millisecond
    EXPECT_EQ(audio, 0);
    EXPECT_EQ(reinterpret_cast<FnInt>(slot(6))(splt, 1), S_OK);  // SetNoWait
    EXPECT_EQ(reinterpret_cast<FnInt>(slot(11))(splt, 2), S_OK); // SetPlayMode
    // The VOD methods need the frame queue of CodecKind 512.
    EXPECT_EQ(reinterpret_cast<FnRange>(slot(7))(splt, range), E_FAIL);
    EXPECT_EQ(reinterpret_cast<FnSetRange>(slot(8))(splt, 1, 2), E_FAIL);
    EXPECT_EQ(reinterpret_cast<FnCallback>(slot(9))(splt, nullptr, 0), E_FAIL);
    EXPECT_EQ(reinterpret_cast<FnInt>(slot(10))(splt, 0), E_FAIL);
    EXPECT_EQ(reinterpret_cast<FnInt>(slot(3))(splt, CodecFrameQueue), S_OK); // SetStreamType
    EXPECT_EQ(reinterpret_cast<FnSetRange>(slot(8))(splt, 5, 9), S_OK);
    EXPECT_EQ(reinterpret_cast<FnRange>(slot(7))(splt, range), S_OK);
    EXPECT_EQ(range[0], 5);
    EXPECT_EQ(range[1], 9);
    EXPECT_EQ(reinterpret_cast<FnCallback>(slot(9))(splt, nullptr, 0), -1);
    EXPECT_EQ(reinterpret_cast<FnInt>(slot(10))(splt, 0), S_OK);
    splt->Release();
    EXPECT_EQ(filter->Release(), 0u);
}

// Every ITarvoSplt call goes to the "splitter" channel with its arguments, its
// result and what it gives back.
TEST_F(SplitterTest, PrivateInterfaceCallsAreTraced)
{
    IBaseFilter* filter = CreateInstance<IBaseFilter>(CLSID_TarvoSplitterF, IID_IBaseFilter);
    ASSERT_NE(filter, nullptr);
    ITarvoSplt* splt = Query<ITarvoSplt>(filter, IID_ITarvoSplt);
    ASSERT_NE(splt, nullptr);
    int range[2] = {};
    auto calls = [&] {
        splt->GetVodRange(range);
        splt->SetStreamType(CodecFrameQueue);
        splt->SetVodRange(3, 8);
        splt->GetVodRange(range);
        splt->SetPlayMode(1);
    };
    // The frame queue reports on the same channel; its lines are its own.
    std::vector<std::string> lines;
    for (const std::string& line : TvTraceCapture("splitter", calls)) {
        if (line.find("CFrameQueue::") == std::string::npos)
            lines.push_back(line);
    }
    ASSERT_EQ(lines.size(), 5u) << testing::PrintToString(lines);
    EXPECT_EQ(lines[0].rfind("splitter: GetVodRange(0x", 0), 0u) << lines[0];
    EXPECT_NE(lines[0].find(") -> -2147467259 (0x80004005)"), std::string::npos) << lines[0];
    EXPECT_EQ(lines[1], "splitter: SetStreamType(512) -> 0 (0x00000000)");
    EXPECT_EQ(lines[2], "splitter: SetVodRange(3, 8) -> 0 (0x00000000)");
    EXPECT_NE(lines[3].find(") -> 0 (0x00000000): 3, 8"), std::string::npos) << lines[3];
    EXPECT_EQ(lines[4], "splitter: SetPlayMode(1) -> 0 (0x00000000)");
    EXPECT_TRUE(TvTraceCapture("nwsource,dshow", calls).empty());
    splt->Release();
    EXPECT_EQ(filter->Release(), 0u);
}

TEST_F(SplitterTest, PinsAndRegistration)
{
    IBaseFilter* filter = CreateInstance<IBaseFilter>(CLSID_TarvoSplitterF, IID_IBaseFilter);
    ASSERT_NE(filter, nullptr);
    struct PinCase {
        const wchar_t* name;
        PIN_DIRECTION direction;
    };
    for (PinCase c : {PinCase{L"Input", PINDIR_INPUT}, PinCase{L"Video Out", PINDIR_OUTPUT},
                      PinCase{L"Audio Out", PINDIR_OUTPUT}}) {
        IPin* pin = FindPin(filter, c.direction, c.name);
        EXPECT_NE(pin, nullptr) << c.name;
        if (pin)
            pin->Release();
    }
    IEnumPins* pins = nullptr;
    ASSERT_EQ(filter->EnumPins(&pins), S_OK);
    IPin* all[4] = {};
    ULONG fetched = 0;
    EXPECT_EQ(pins->Next(4, all, &fetched), S_FALSE);
    EXPECT_EQ(fetched, 3u);
    for (ULONG i = 0; i < fetched; ++i)
        all[i]->Release();
    pins->Release();
    EXPECT_EQ(filter->Release(), 0u);

    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "CLSID\\{3548D896-AA82-4997-8A90-E011207E1DC5}", 0,
                            KEY_READ, &key),
              ERROR_SUCCESS);
    DWORD merit = 0, size = sizeof(merit), type = 0;
    EXPECT_EQ(
        RegQueryValueExA(key, "Merit", nullptr, &type, reinterpret_cast<BYTE*>(&merit), &size),
        ERROR_SUCCESS);
    EXPECT_EQ(merit, 0x80000300u);
    RegCloseKey(key);
}

// ---- media types ----

TEST(SplitterMediaTypes, VideoTypePerKind)
{
    StreamFormat f;
    f.width = 720;
    f.height = 576;
    f.frameDuration = 400000;
    f.displayWidth = 600;
    const Bytes header = {0, 0, 1, 0xB3, 1, 2, 3, 4, 5, 6, 7, 8};
    struct Case {
        int32_t kind;
        GUID subtype;
        GUID format;
        DWORD compression;       // VIDEOINFOHEADER kinds
        REFERENCE_TIME perFrame; // AvgTimePerFrame
        RECT target;
    };
    const Case cases[] = {
        {CodecMpeg2, MEDIASUBTYPE_MPEG2_VIDEO, FORMAT_MPEG2Video, 0, 400000, {0, 0, 720, 576}},
        {CodecMpeg4,
         MEDIASUBTYPE_TarvoDivx,
         FORMAT_VideoInfo,
         0x20424752,
         333667,
         {0, 0, 720, 576}},
        {CodecDeviceH264,
         MEDIASUBTYPE_TarvoH264,
         FORMAT_VideoInfo,
         0x34363248,
         333667,
         {0, 0, 720, 576}},
        {CodecDeviceH264Clocked,
         MEDIASUBTYPE_TarvoH264,
         FORMAT_VideoInfo,
         0x34363248,
         333667,
         {0, 0, 720, 576}},
        {CodecFrameQueue,
         MEDIASUBTYPE_TarvoH264,
         FORMAT_VideoInfo,
         0x34363248,
         333667,
         {0, 0, 720, 576}},
        {CodecJP2K,
         MEDIASUBTYPE_TarvoJpeg2000,
         FORMAT_VideoInfo,
         0x4B32504A,
         333667,
         {60, 0, 600, 576}},
        {CodecHDH264, MEDIASUBTYPE_TarvoAvc1, FORMAT_MPEG2Video, 0, 400000, {0, 0, 1920, 1080}},
        {CodecMjpeg,
         MEDIASUBTYPE_TarvoMjpeg,
         FORMAT_VideoInfo,
         0x46504A4D,
         400000,
         {60, 0, 600, 576}},
    };
    for (const Case& c : cases) {
        CMediaType mt;
        ASSERT_EQ(BuildVideoMediaType(c.kind, f, 1, header, &mt), S_OK) << c.kind;
        EXPECT_EQ(*mt.Type(), MEDIATYPE_Video) << c.kind;
        EXPECT_EQ(*mt.Subtype(), c.subtype) << c.kind;
        EXPECT_EQ(*mt.FormatType(), c.format) << c.kind;
        if (c.format == FORMAT_VideoInfo) {
            ASSERT_EQ(mt.FormatLength(), sizeof(VIDEOINFOHEADER));
            const auto* vi = reinterpret_cast<const VIDEOINFOHEADER*>(mt.Format());
            EXPECT_EQ(vi->bmiHeader.biCompression, c.compression) << c.kind;
            EXPECT_EQ(vi->bmiHeader.biBitCount, 24) << c.kind;
            EXPECT_EQ(vi->bmiHeader.biPlanes, 1) << c.kind;
            EXPECT_EQ(vi->AvgTimePerFrame, c.perFrame) << c.kind;
            EXPECT_EQ(vi->rcTarget.left, c.target.left) << c.kind;
            EXPECT_EQ(vi->rcTarget.right, c.target.right) << c.kind;
            EXPECT_EQ(vi->rcSource.right, 720) << c.kind;
            continue;
        }
        ASSERT_EQ(mt.FormatLength(), offsetof(MPEG2VIDEOINFO, dwSequenceHeader) + header.size());
        const auto* m2 = reinterpret_cast<const MPEG2VIDEOINFO*>(mt.Format());
        EXPECT_EQ(m2->hdr.AvgTimePerFrame, c.perFrame) << c.kind;
        EXPECT_EQ(m2->hdr.rcSource.right, c.target.right) << c.kind;
        EXPECT_EQ(m2->hdr.bmiHeader.biHeight, c.target.bottom) << c.kind;
        EXPECT_EQ(m2->hdr.bmiHeader.biXPelsPerMeter, 2868) << c.kind;
        EXPECT_EQ(m2->cbSequenceHeader, header.size()) << c.kind;
        EXPECT_EQ(0, std::memcmp(MPEG2_SEQUENCE_INFO(m2), header.data(), header.size()));
        const bool hd = c.kind == CodecHDH264;
        EXPECT_EQ(m2->hdr.dwPictAspectRatioX, hd ? 30u : 4u) << c.kind;
        EXPECT_EQ(m2->hdr.dwPictAspectRatioY, hd ? 17u : 3u) << c.kind;
        EXPECT_EQ(m2->dwProfile, hd ? 100u : 0u) << c.kind;
        EXPECT_EQ(m2->dwLevel, hd ? 40u : 0u) << c.kind;
        EXPECT_EQ(m2->hdr.dwInterlaceFlags, 1u) << c.kind;
    }
    // Progressive Motion JPEG is MJPG; HD H.264 carries the interlaced flag.
    CMediaType mjpg, avc;
    ASSERT_EQ(BuildVideoMediaType(CodecMjpeg, f, 0, header, &mjpg), S_OK);
    EXPECT_EQ(reinterpret_cast<const VIDEOINFOHEADER*>(mjpg.Format())->bmiHeader.biCompression,
              0x47504A4Du);
    ASSERT_EQ(BuildVideoMediaType(CodecHDH264, f, 0, header, &avc), S_OK);
    EXPECT_EQ(reinterpret_cast<const MPEG2VIDEOINFO*>(avc.Format())->hdr.dwInterlaceFlags, 0u);
    // No sequence header yet, or a kind without a type: an empty type.
    for (int32_t kind : {int32_t{CodecDeviceH264}, int32_t{CodecUnknown}, int32_t{CodecNone}, 9}) {
        CMediaType empty;
        EXPECT_EQ(
            BuildVideoMediaType(kind, f, 1, kind == CodecDeviceH264 ? Bytes{} : header, &empty),
            S_OK);
        EXPECT_EQ(*empty.Type(), GUID_NULL) << kind;
        EXPECT_EQ(*empty.Subtype(), GUID_NULL) << kind;
        EXPECT_EQ(*empty.FormatType(), GUID_NULL) << kind;
    }
}

TEST(SplitterMediaTypes, AudioPcmPerKind)
{
    for (int32_t kind : {CodecDeviceH264, CodecHDH264, CodecMjpeg, CodecFrameQueue}) {
        CMediaType mt;
        ASSERT_EQ(BuildAudioMediaType(kind, &mt), S_OK);
        EXPECT_EQ(*mt.Type(), MEDIATYPE_Audio);
        EXPECT_EQ(*mt.FormatType(), FORMAT_WaveFormatEx);
        const auto* wfx = reinterpret_cast<const WAVEFORMATEX*>(mt.Format());
        const bool stereo = kind == CodecHDH264 || kind == CodecMjpeg;
        EXPECT_EQ(wfx->wFormatTag, WAVE_FORMAT_PCM);
        EXPECT_EQ(wfx->wBitsPerSample, 16);
        EXPECT_EQ(wfx->nChannels, stereo ? 2 : 1) << kind;
        EXPECT_EQ(wfx->nSamplesPerSec, stereo ? 48000u : 8000u) << kind;
        EXPECT_EQ(wfx->nBlockAlign, stereo ? 4 : 2) << kind;
        EXPECT_EQ(wfx->nAvgBytesPerSec, stereo ? 192000u : 16000u) << kind;
    }
}

TEST(SplitterInput, RecordFileExtensions)
{
    struct Case {
        const char* name;
        bool accepted;
    };
    for (Case c : {Case{"C:\\rec\\a.tvx", true}, Case{"a.tvx2", true}, Case{"a.tvx4", true},
                   Case{"/x/y.t264", true}, Case{"a.tmj2", true}, Case{"a.tavc", true},
                   Case{"a.b.tvx", true}, Case{"a.tvx.avi", false}, Case{"a.avi", false},
                   Case{"tvx", false}, Case{"a.TVX", false}, Case{"a.tv", false}})
        EXPECT_EQ(CTarvoSplitterInputPin::IsRecordFileName(c.name), c.accepted) << c.name;
}

// ---- push mode ----

TEST_F(SplitterTest, RingOverflowKeepsOnlyTheNewSampleAndRingSizedSamplesAreRefused)
{
    CTarvoSplitterF* splitter = NewSplitter();
    ASSERT_NE(splitter, nullptr);
    {
        CTestSamplePusher pusher(splitter->GetPin(0));
        const Bytes junk(0x400000 - 1000, 0x11);
        const DeviceClip clip = DeviceFrames(DeviceHeaderLayout::Header40, 3, 2000);

        // A sample as large as the ring is not stored: the stream in it stays unknown.
        Bytes whole = clip.bytes;
        whole.resize(CTarvoSplitterF::kRingSize, 0x22);
        testing::internal::CaptureStdout();
        EXPECT_EQ(pusher.Push(whole), S_OK);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
        EXPECT_EQ(splitter->GetStreamState().codecKind, CodecUnknown);

        // Junk nearly filling the ring, then the stream: it overflows, the ring
        // keeps only the stream, and detection finds it from the ring's start.
        EXPECT_EQ(pusher.Push(junk), S_OK);
        testing::internal::CaptureStdout();
        EXPECT_EQ(pusher.Push(clip.bytes), S_OK);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "warning: buffer overflow.\n");
        const SplitterStreamState state = splitter->GetStreamState();
        EXPECT_EQ(state.codecKind, CodecDeviceH264);
        EXPECT_GT(state.sequenceHeaderLength, 0);
        EXPECT_EQ(state.format.width, 704);
        EXPECT_EQ(state.format.height, 576);
    }
    EXPECT_EQ(splitter->NonDelegatingRelease(), 0u);
}

// ---- configuration ----

TEST_F(SplitterTest, ConfigurationFileGivesThePrebufferThreshold)
{
    struct Case {
        const char* text; // null: no file
        size_t threshold;
    };
    const Case cases[] = {{"<KVR prebuffer=512/>", 524288},
                          {"<KVR prebuffer=0/>", 102400},
                          {"<KVR prebuffer=10000/>", 0x400000},
                          {"<KVR/>", 256000},
                          {nullptr, 256000}};
    nwtest::TempDir drive;
    setenv("TARVO_DRIVE_C", drive.Path().c_str(), 1);
    for (const Case& c : cases) {
        std::remove((drive / "KVRConfig.xml").c_str());
        if (c.text)
            std::ofstream(drive / "KVRConfig.xml") << c.text;
        CTarvoSplitterF* splitter = NewSplitter();
        ASSERT_NE(splitter, nullptr);
        EXPECT_EQ(splitter->PrebufferThreshold(), c.threshold) << (c.text ? c.text : "no file");
        EXPECT_EQ(splitter->NonDelegatingRelease(), 0u);
    }
    unsetenv("TARVO_DRIVE_C");
}

// ---- in a graph: the network source upstream, a sink on "Video Out" ----

class SplitterGraphFixture : public TvComTest {
protected:
    void SetUp() override
    {
        TvComTest::SetUp();
        ASSERT_EQ(m_graph.Create(), S_OK);
        m_source = CreateInstance<IBaseFilter>(CLSID_TarvoNWSource, IID_IBaseFilter);
        m_splitter = NewSplitter();
        ASSERT_TRUE(m_source && m_splitter);
        m_video = CTestSink::Create();
        m_video->SetKeepBytes(SIZE_MAX);
        ASSERT_EQ(m_graph.Add(m_source, L"Tarvo NWSource"), S_OK);
        ASSERT_EQ(m_graph.Add(m_splitter, L"Tarvo Splt Filter"), S_OK);
        ASSERT_EQ(m_graph.Add(m_video, L"Video sink"), S_OK);
        // The network source is connected but receives nothing: the test
        // pushes into the splitter's input itself.
        ASSERT_EQ(m_graph.Connect(m_source, nullptr, m_splitter, L"Input"), S_OK);
        m_pusher = std::make_unique<CTestSamplePusher>(m_splitter->GetPin(0));
    }

    void TearDown() override
    {
        if (m_graph.Control())
            m_graph.Control()->Stop();
        m_pusher.reset();
        m_graph.Close();
        if (m_source) {
            EXPECT_EQ(m_source->Release(), 0u);
        }
        if (m_splitter) {
            EXPECT_EQ(m_splitter->NonDelegatingRelease(), 0u);
        }
        if (m_video) {
            EXPECT_EQ(m_video->Release(), 0u);
        }
        TvComTest::TearDown();
    }

    ITarvoSplt* Splt() { return static_cast<ITarvoSplt*>(m_splitter); }

    // The stream's first bytes let "Video Out" offer its type; then the sink
    // is connected and the graph runs.
    void ConnectVideoAndRun(const Bytes& firstBytes)
    {
        ASSERT_EQ(m_pusher->Push(firstBytes), S_OK);
        ASSERT_GT(m_splitter->GetStreamState().sequenceHeaderLength, 0);
        ASSERT_EQ(m_graph.Connect(m_splitter, L"Video Out", m_video, nullptr), S_OK);
        ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));
    }

    TvFilterGraph m_graph;
    IBaseFilter* m_source = nullptr;
    CTarvoSplitterF* m_splitter = nullptr;
    CTestSink* m_video = nullptr;
    std::unique_ptr<CTestSamplePusher> m_pusher;
};

TEST_F(SplitterGraphFixture, SetStreamTypeAfterConnectionFailsAndChangesNothing)
{
    ASSERT_EQ(Splt()->SetStreamType(CodecDeviceH264), S_OK);
    ConnectVideoAndRun(DeviceFrames(DeviceHeaderLayout::Header40, 2, 300).bytes);
    EXPECT_EQ(Splt()->SetStreamType(CodecJP2K), E_FAIL);
    EXPECT_EQ(Splt()->SetStreamType(CodecFrameQueue), E_FAIL);
    EXPECT_EQ(m_splitter->GetStreamState().codecKind, CodecDeviceH264);
    EXPECT_EQ(m_splitter->FrameQueue(), nullptr);
}

// Device frames come out one payload per sample, untimed, in order: those that
// arrived before the graph ran (nothing stopped it since) and those after; the
// graph hears of the first one.
TEST_F(SplitterGraphFixture, DeviceFramesComeOutOnePayloadPerSample)
{
    const DeviceClip before = DeviceFrames(DeviceHeaderLayout::Header40, 6, 3000);
    ConnectVideoAndRun(before.bytes);
    const DeviceClip after = DeviceFrames(DeviceHeaderLayout::Header40, 6, 1000, 240000);
    for (const Bytes& frame : after.frames)
        ASSERT_EQ(m_pusher->Push(frame), S_OK);
    std::vector<Bytes> expected = before.payloads;
    expected.insert(expected.end(), after.payloads.begin(), after.payloads.end());
    ASSERT_TRUE(m_video->WaitForSamples(expected.size()));
    const std::vector<TvStreamEvent> samples = m_video->Samples();
    ASSERT_EQ(samples.size(), expected.size());
    for (size_t i = 0; i < samples.size(); ++i) {
        EXPECT_EQ(samples[i].bytes, expected[i]) << i;
        EXPECT_EQ(samples[i].timeResult, VFW_E_SAMPLE_TIME_NOT_SET);
    }
    LONG_PTR param = 0;
    EXPECT_EQ(m_graph.NextEvent(5000, &param), EC_USER);
    EXPECT_EQ(param, kSplitterEventFirstVideo);
}

// The player learns the stream with the graph running and "Video Out" not yet
// connected, then stops the graph, builds the chain and runs it again. The
// stop empties the ring, so the first bytes the delivery thread looks at may
// lie inside a frame (here its last 1000 bytes, no header among them). The
// detection saw the stream's frame headers: the frames after that come out
// whole, not cut as a bare H.264 stream.
TEST_F(SplitterGraphFixture, AStreamLearntBeforeAStopKeepsItsFramesWhenItResumesMidFrame)
{
    const DeviceClip start = DeviceFrames(DeviceHeaderLayout::Header40, 2, 300);
    ASSERT_EQ(m_pusher->Push(start.bytes), S_OK);
    ASSERT_GT(m_splitter->GetStreamState().sequenceHeaderLength, 0);
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));
    ASSERT_EQ(m_graph.Control()->Stop(), S_OK);
    ASSERT_EQ(m_graph.Connect(m_splitter, L"Video Out", m_video, nullptr), S_OK);
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));

    const DeviceClip cut = DeviceFrames(DeviceHeaderLayout::Header40, 1, 3000, 80000);
    ASSERT_EQ(m_pusher->Push(Bytes(cut.frames[0].end() - 1000, cut.frames[0].end())), S_OK);
    const DeviceClip after = DeviceFrames(DeviceHeaderLayout::Header40, 4, 3000, 120000);
    for (const Bytes& frame : after.frames)
        ASSERT_EQ(m_pusher->Push(frame), S_OK);
    ASSERT_TRUE(m_video->WaitForSamples(after.payloads.size()));
    const std::vector<TvStreamEvent> samples = m_video->Samples();
    ASSERT_EQ(samples.size(), after.payloads.size());
    for (size_t i = 0; i < samples.size(); ++i)
        EXPECT_EQ(samples[i].bytes, after.payloads[i]) << i;
}

// Half a frame in the ring: the delivery thread waits for the rest rather than
// looking again every millisecond (a turn at most every kWaitForBytesMs while
// nothing comes), and the frame goes out once the rest arrives.
TEST_F(SplitterGraphFixture, HalfAFrameWaitsForTheRestWithoutPolling)
{
    ConnectVideoAndRun(DeviceFrames(DeviceHeaderLayout::Header40, 2, 300).bytes);
    ASSERT_TRUE(m_video->WaitForSamples(2));
    const DeviceClip next = DeviceFrames(DeviceHeaderLayout::Header40, 1, 3000, 80000);
    const Bytes& frame = next.frames[0];
    const size_t half = frame.size() / 2;
    ASSERT_EQ(m_pusher->Push(Bytes(frame.begin(), frame.begin() + ptrdiff_t(half))), S_OK);
    const LONGLONG before = m_splitter->LiveSteps();
    const DWORD quietMs = 400;
    Sleep(quietMs);
    const LONGLONG turns = m_splitter->LiveSteps() - before;
    // One turn per wait and a few for the bytes just pushed; looking again
    // after each 1 ms sleep would take hundreds.
    EXPECT_LE(turns, LONGLONG(quietMs / CTarvoSplitterF::kWaitForBytesMs + 4));
    EXPECT_EQ(m_video->Samples().size(), 2u);
    ASSERT_EQ(m_pusher->Push(Bytes(frame.begin() + ptrdiff_t(half), frame.end())), S_OK);
    ASSERT_TRUE(m_video->WaitForSamples(3));
    EXPECT_EQ(m_video->Samples()[2].bytes, next.payloads[0]);
}

// CodecKind 512: one Receive holding two complete device frames becomes two
// elements of the frame queue and two samples, each the whole frame.
TEST_F(SplitterGraphFixture, TwoFramesInOneReceiveBecomeTwoSamples)
{
    ASSERT_EQ(Splt()->SetStreamType(CodecFrameQueue), S_OK);
    ASSERT_NE(m_splitter->FrameQueue(), nullptr);
    const DeviceClip first = DeviceFrames(DeviceHeaderLayout::Header36, 2, 400);
    ConnectVideoAndRun(first.bytes);
    const DeviceClip two = DeviceFrames(DeviceHeaderLayout::Header36, 2, 700, 5000000);
    ASSERT_EQ(m_pusher->Push(two.bytes), S_OK);
    ASSERT_TRUE(m_video->WaitForSamples(2));
    const std::vector<TvStreamEvent> samples = m_video->Samples();
    ASSERT_EQ(samples.size(), 2u);
    EXPECT_EQ(samples[0].bytes, two.frames[0]);
    EXPECT_EQ(samples[1].bytes, two.frames[1]);
}

// Stop from another thread while the delivery thread waits: in the pacing of
// CodecKind 256 (a new anchor waits half a second), in its prebuffer, or for
// a buffer that a blocked downstream pin holds. Stop returns, and the graph
// runs again afterwards.
TEST_F(SplitterGraphFixture, StopWhileTheDeliveryThreadWaits)
{
    ASSERT_EQ(Splt()->SetStreamType(CodecDeviceH264Clocked), S_OK);
    const DeviceClip clip = DeviceFrames(DeviceHeaderLayout::Header40, 4, 40000, 1000000);
    ConnectVideoAndRun(clip.bytes);
    for (int round = 0; round < 3; ++round) {
        // Enough for the prebuffer: the first frame's new anchor waits 500 ms.
        const DeviceClip live =
            DeviceFrames(DeviceHeaderLayout::Header40, 10, 40000, 2000000 + round * 10000000);
        if (round == 2)
            m_video->SetBlockInReceive(true);
        ASSERT_EQ(m_pusher->Push(live.bytes), S_OK);
        if (round == 2) {
            ASSERT_TRUE(m_video->WaitUntilBlocked());
        }
        std::future<HRESULT> stop =
            std::async(std::launch::async, [&] { return m_graph.Control()->Stop(); });
        EXPECT_EQ(stop.get(), S_OK) << round;
        m_video->SetBlockInReceive(false);
        m_video->ClearEvents();
        ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));
    }
    // After all that, frames still flow.
    const DeviceClip last = DeviceFrames(DeviceHeaderLayout::Header40, 10, 40000, 90000000);
    ASSERT_EQ(m_pusher->Push(last.bytes), S_OK);
    ASSERT_TRUE(m_video->WaitForSamples(1));
    EXPECT_EQ(m_video->Samples()[0].bytes, last.frames[0]);
}

TEST_F(SplitterGraphFixture, RemoveDownstreamTakesTheChainOut)
{
    ConnectVideoAndRun(DeviceFrames(DeviceHeaderLayout::Header40, 2, 300).bytes);
    ASSERT_EQ(m_graph.Control()->Stop(), S_OK);
    EXPECT_EQ(Splt()->RemoveDownstream(), E_FAIL);
    IBaseFilter* found = nullptr;
    EXPECT_EQ(m_graph.Builder()->FindFilterByName(L"Video sink", &found), VFW_E_NOT_FOUND);
    IPin* video = FindPin(m_splitter, PINDIR_OUTPUT, L"Video Out");
    IPin* to = nullptr;
    EXPECT_EQ(video->ConnectedTo(&to), VFW_E_NOT_CONNECTED);
    video->Release();
}

// Without a record file the position answers are empty; with a frame queue the
// rate goes to the queue.
TEST_F(SplitterGraphFixture, PositionWithoutAFile)
{
    IPin* video = FindPin(m_splitter, PINDIR_OUTPUT, L"Video Out");
    IMediaPosition* position = Query<IMediaPosition>(video, IID_IMediaPosition);
    ASSERT_NE(position, nullptr);
    REFTIME t = -1;
    double rate = 0;
    EXPECT_EQ(position->get_Duration(&t), S_OK);
    EXPECT_EQ(t, 0);
    EXPECT_EQ(position->get_CurrentPosition(&t), S_OK);
    EXPECT_EQ(t, 0);
    EXPECT_EQ(position->put_CurrentPosition(3), E_NOTIMPL);
    EXPECT_EQ(position->put_Rate(2), E_NOTIMPL);
    EXPECT_EQ(position->get_Rate(&rate), S_OK);
    EXPECT_EQ(rate, 1.0);
    ASSERT_EQ(Splt()->SetStreamType(CodecFrameQueue), S_OK);
    EXPECT_EQ(position->put_Rate(4), S_OK);
    EXPECT_EQ(m_splitter->FrameQueue()->GetRate(), 4.0);
    EXPECT_EQ(position->get_Rate(&rate), S_OK);
    EXPECT_EQ(rate, 4.0);
    position->Release();
    video->Release();
}

// ---- pull mode: a record file through the file reader and a parser ----

// Stands in for the record-file parsers: frames 40 ms apart (100-ns
// timestamps), each with a PCM block, played forward or from the end.
class CFakeParser : public CBaseParser {
public:
    struct Log {
        std::atomic<int64_t> seekedTo{-1};
        std::atomic<int> reverseReads{0};
        bool failSeeks = false;
    };

    CFakeParser(const ParserStreamSetup& setup, Log* log) : CBaseParser(setup), m_log(log)
    {
        for (int i = 0; i < 8; ++i) {
            m_video.push_back(Filler(1000 + i, static_cast<uint8_t>(i)));
            m_audio.push_back(Bytes(320, static_cast<uint8_t>(i)));
        }
    }
    ParsedFrame* ReadNextFrame() override { return Frame(m_next < 8 ? m_next++ : -1); }
    ParsedFrame* ReadPrevKeyFrame() override
    {
        ++m_log->reverseReads;
        return Frame(m_next > 0 ? --m_next : -1);
    }
    ParsedFrame* GetCurrentFrame() override { return &m_frame; }
    int SeekTime(int64_t us) override
    {
        m_log->seekedTo = us;
        return m_log->failSeeks ? -1 : 0;
    }
    int64_t GetPosition() override { return m_next * 400000LL; }
    int64_t GetDuration() override { return 12345678; }
    void Reset() override {}
    bool IsIndexing() override { return false; }

    static const Bytes& VideoOf(int i)
    {
        static std::vector<Bytes> v = [] {
            std::vector<Bytes> all;
            for (int k = 0; k < 8; ++k)
                all.push_back(Filler(1000 + k, static_cast<uint8_t>(k)));
            return all;
        }();
        return v[static_cast<size_t>(i)];
    }

private:
    ParsedFrame* Frame(int i)
    {
        if (i < 0)
            return nullptr;
        m_frame.data = m_video[static_cast<size_t>(i)].data();
        m_frame.videoLength = static_cast<int32_t>(m_video[static_cast<size_t>(i)].size());
        m_frame.audioData = m_audio[static_cast<size_t>(i)].data();
        m_frame.audioLength = 320;
        m_frame.timestamp = i * 400000LL;
        m_frame.codecKind = m_codecKind;
        return &m_frame;
    }

    Log* m_log;
    int m_next = 0;
    ParsedFrame m_frame;
    std::vector<Bytes> m_video, m_audio;
};

class SplitterFileFixture : public TvComTest {
protected:
    void SetUp() override
    {
        TvComTest::SetUp();
        ASSERT_EQ(m_graph.Create(), S_OK);
        m_reader = CreateInstance<IBaseFilter>(CLSID_AsyncReader, IID_IBaseFilter);
        m_splitter = NewSplitter();
        ASSERT_TRUE(m_reader && m_splitter);
        m_splitter->SetParserFactory([this](const ParserStreamSetup& setup) {
            m_setups.push_back(setup.codecKind);
            return m_noParser ? nullptr : std::make_unique<CFakeParser>(setup, &m_log);
        });
        m_video = CTestSink::Create();
        m_video->SetKeepBytes(SIZE_MAX);
        m_audio = CTestSink::Create(MEDIATYPE_Audio);
        ASSERT_EQ(m_graph.Add(m_reader, L"File Async Reader"), S_OK);
        ASSERT_EQ(m_graph.Add(m_splitter, L"Tarvo Splt Filter"), S_OK);
        ASSERT_EQ(m_graph.Add(m_video, L"Video sink"), S_OK);
        ASSERT_EQ(m_graph.Add(m_audio, L"Audio sink"), S_OK);
    }

    void TearDown() override
    {
        if (m_graph.Control())
            m_graph.Control()->Stop();
        m_graph.Close();
        // The splitter's input pin holds the reader until the pin goes.
        if (m_splitter) {
            EXPECT_EQ(m_splitter->NonDelegatingRelease(), 0u);
        }
        for (IUnknown* u : {static_cast<IUnknown*>(m_reader), static_cast<IUnknown*>(m_video),
                            static_cast<IUnknown*>(m_audio)}) {
            if (u) {
                EXPECT_EQ(u->Release(), 0u);
            }
        }
        TvComTest::TearDown();
    }

    // Writes a device H.264 clip under the name and connects the reader to it.
    HRESULT Open(const std::string& name)
    {
        const std::string path = m_dir / name;
        const Bytes clip = DeviceFrames(DeviceHeaderLayout::Header40, 5, 5000).bytes;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(clip.data()),
                   static_cast<std::streamsize>(clip.size()));
        IFileSourceFilter* file = Query<IFileSourceFilter>(m_reader, IID_IFileSourceFilter);
        const std::wstring wide(path.begin(), path.end());
        HRESULT hr = file->Load(wide.c_str(), nullptr);
        file->Release();
        if (FAILED(hr))
            return hr;
        return m_graph.Connect(m_reader, nullptr, m_splitter, L"Input");
    }

    IMediaPosition* VideoPosition()
    {
        IPin* video = FindPin(m_splitter, PINDIR_OUTPUT, L"Video Out");
        IMediaPosition* position = Query<IMediaPosition>(video, IID_IMediaPosition);
        video->Release();
        return position;
    }

    nwtest::TempDir m_dir;
    TvFilterGraph m_graph;
    IBaseFilter* m_reader = nullptr;
    CTarvoSplitterF* m_splitter = nullptr;
    CTestSink* m_video = nullptr;
    CTestSink* m_audio = nullptr;
    CFakeParser::Log m_log;
    std::vector<int32_t> m_setups;
    bool m_noParser = false;
};

TEST_F(SplitterFileFixture, OnlyRecordFilesWithAParserConnect)
{
    EXPECT_NE(Open("clip.avi"), S_OK);
    EXPECT_TRUE(m_setups.empty()); // refused before the file was read
    m_noParser = true;
    EXPECT_NE(Open("clip.tvx"), S_OK); // no parser for the stream
    ASSERT_EQ(m_setups.size(), 1u);
    m_noParser = false;
    EXPECT_EQ(Open("clip.tvx2"), S_OK);
    ASSERT_EQ(m_setups.size(), 2u);
    EXPECT_EQ(m_setups[1], CodecDeviceH264); // found by the windowed detection
    EXPECT_TRUE(m_splitter->HasFileParser());
}

// A test push source is neither the network source nor the file reader.
TEST_F(SplitterFileFixture, OtherUpstreamFiltersAreRefused)
{
    CTestPushSource* source = CTestPushSource::Create(
        {TvMakeVideoType(MEDIASUBTYPE_YUY2, 16, 16, 16, MAKEFOURCC('Y', 'U', 'Y', '2'))});
    ASSERT_EQ(m_graph.Add(source, L"Push source"), S_OK);
    EXPECT_NE(m_graph.Connect(source, nullptr, m_splitter, L"Input"), S_OK);
    source->Release();
}

TEST_F(SplitterFileFixture, PositionAndPlaybackThroughTheParser)
{
    ASSERT_EQ(Open("clip.tvx"), S_OK);
    IMediaPosition* position = VideoPosition();
    ASSERT_NE(position, nullptr);
    REFTIME t = 0;
    EXPECT_EQ(position->get_Duration(&t), S_OK);
    EXPECT_DOUBLE_EQ(t, 12.345);
    EXPECT_EQ(position->get_StopTime(&t), S_OK);
    EXPECT_DOUBLE_EQ(t, 12.0);
    EXPECT_EQ(position->put_CurrentPosition(3.7), S_OK);
    EXPECT_EQ(m_log.seekedTo, 3000000); // whole seconds
    m_log.failSeeks = true;
    EXPECT_EQ(position->put_CurrentPosition(5), S_FALSE);
    m_log.failSeeks = false;

    ASSERT_EQ(m_graph.Connect(m_splitter, L"Video Out", m_video, nullptr), S_OK);
    ASSERT_EQ(m_graph.Connect(m_splitter, L"Audio Out", m_audio, nullptr), S_OK);
    ASSERT_EQ(static_cast<ITarvoSplt*>(m_splitter)->SetNoWait(1), S_OK);
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));
    ASSERT_TRUE(m_video->WaitForSamples(8));
    const std::vector<TvStreamEvent> samples = m_video->Samples();
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(samples[static_cast<size_t>(i)].bytes, CFakeParser::VideoOf(i)) << i;
    EXPECT_EQ(position->get_CurrentPosition(&t), S_OK);
    EXPECT_DOUBLE_EQ(t, 0.32); // 8 frames of 40 ms

    // Past the end the graph hears of it; the voice PCM reached "Audio Out".
    bool endOfFile = false, firstAudio = false;
    LONG_PTR param = 0;
    for (LONG code; (code = m_graph.NextEvent(5000, &param)) != 0 && !(endOfFile && firstAudio);) {
        endOfFile |= code == EC_USER && param == kSplitterEventEndOfFile;
        firstAudio |= code == EC_USER && param == kSplitterEventFirstAudio;
    }
    EXPECT_TRUE(endOfFile);
    EXPECT_TRUE(firstAudio);
    EXPECT_TRUE(m_audio->WaitForSamples(1));

    // A negative rate plays key frames backwards.
    EXPECT_EQ(position->put_Rate(-1), S_OK);
    double rate = 0;
    EXPECT_EQ(position->get_Rate(&rate), S_OK);
    EXPECT_EQ(rate, -1.0);
    EXPECT_TRUE(nwtest::WaitFor([&] { return m_log.reverseReads > 0; }));

    // The audio pin answers as the video pin does.
    IPin* audio = FindPin(m_splitter, PINDIR_OUTPUT, L"Audio Out");
    IMediaPosition* audioPosition = Query<IMediaPosition>(audio, IID_IMediaPosition);
    EXPECT_EQ(audioPosition->get_Duration(&t), S_OK);
    EXPECT_DOUBLE_EQ(t, 12.345);
    EXPECT_EQ(audioPosition->put_Rate(3), S_OK);
    EXPECT_EQ(audioPosition->get_Rate(&rate), S_OK);
    EXPECT_EQ(rate, -1.0); // the audio pin's setter has no effect
    audioPosition->Release();
    audio->Release();
    position->Release();
}

} // namespace
