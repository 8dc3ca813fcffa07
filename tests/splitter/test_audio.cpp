// The splitter's sound in a running graph: the network source fed by the
// device simulator over UDP on 127.0.0.1, the splitter, and on "Audio Out"
// either a recording sink or the DirectSound renderer, playing through its
// null sink or into a private PulseAudio server (CTestPulseServer). Device
// streams carry voice frames in each codec, QBox H.264 carries AAC; what comes
// out is the simulator's tone as 16-bit PCM at the rate the pin announces.
#include "CTestPulseServer.h"
#include "CodecKind.h"
#include "DeviceFrameHeader.h"
#include "HiVoiceDec.h"
#include "ITarvoSplt.h"
#include "QBox.h"
#include "SplitterGraphFixture.h"
#include "ToneCheck.h"

#include <mmreg.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace tvdevsim;

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kClipFrames = 100; // 4 s at 25 frames a second
constexpr int kToneHz = 440;
constexpr LONG_PTR kFirstAudioEvent = 10010;

struct AudioCase {
    const char* name;
    SimKind kind;
    VoiceCodec codec;
    DWORD rate;
    WORD channels;
};

const AudioCase kAudioCases[] = {
    {"device40_mulaw", SimKind::Device40, VoiceCodec::MuLaw, 8000, 1},
    {"device36_alaw", SimKind::Device36, VoiceCodec::ALaw, 8000, 1},
    {"device40_ima_adpcm", SimKind::Device40, VoiceCodec::ImaAdpcm, 8000, 1},
    {"qbox_aac", SimKind::QBoxH264, VoiceCodec::MuLaw, 48000, 2},
};

// What the record file's audio is: the PCM of its voice frames decoded one by
// one (device streams), or the number of AAC frames (QBox).
struct RecordedAudio {
    Bytes pcm;
    size_t aacFrames = 0;
    size_t videoFrames = 0;
};

RecordedAudio ReadRecord(SimKind kind, const Bytes& file)
{
    RecordedAudio r;
    if (kind == SimKind::QBoxH264) {
        QBoxWalker walker(file);
        QBoxRef box;
        while (walker.Next(box)) {
            Bytes adts;
            if (!box.complete)
                continue;
            if (AppendQBoxAacAsAdts(box, adts))
                ++r.aacFrames;
            else if (IsQBoxH264Stream(box.header.streamType))
                ++r.videoFrames;
        }
        return r;
    }
    HI_VOICE_DEC_STATE state;
    HI_VOICE_DecReset(&state, HI_VOICE_RESET_DECODE);
    size_t at = 0;
    DeviceFrameHeader h;
    while (ReadDeviceFrameHeader(std::span(file).subspan(at), h) && h.PayloadLength() >= 0 &&
           at + h.totalLength <= file.size()) {
        if (h.voice) {
            int16_t pcm[HI_VOICE_MAX_FRAME_SAMPLES];
            uint32_t count = HI_VOICE_MAX_FRAME_SAMPLES;
            const uint8_t* payload = file.data() + at + h.HeaderSize();
            if (HI_VOICE_DecodeFrame(&state, payload, h.totalLength - h.HeaderSize(), pcm,
                                     &count) == HI_VOICE_OK) {
                const auto* bytes = reinterpret_cast<const uint8_t*>(pcm);
                r.pcm.insert(r.pcm.end(), bytes, bytes + (count & 0xFFFF) * 2);
            }
        } else {
            ++r.videoFrames;
        }
        at += h.totalLength;
    }
    return r;
}

CTestPulseServer g_pulse;

class SplitterAudioTest : public SplitterGraphFixture,
                          public ::testing::WithParamInterface<AudioCase> {
protected:
    static void TearDownTestSuite() { g_pulse.Shutdown(); }

    void SetUp() override
    {
        // The renderer plays through its clocked null sink whatever the
        // machine has (the PulseAudio cases start their own server).
        setenv("TARVO_AUDIO", "null", 1);
        SplitterGraphFixture::SetUp();
        m_video = Own(CTestSink::Create(), L"Video Sink");
    }

    void TearDown() override
    {
        SplitterGraphFixture::TearDown();
        unsetenv("TARVO_AUDIO");
    }

    // The private server running and the renderer's sink pointed at it (the
    // set-up chose the null sink); why not, when it cannot be.
    std::string StartPulse()
    {
        std::string why = g_pulse.Start();
        unsetenv("TARVO_AUDIO");
        return why;
    }

    tvdevsim::SimConfig Clip(const AudioCase& c, int frames)
    {
        tvdevsim::SimConfig config = SplitterGraphFixture::Clip(c.kind, frames);
        config.stream.voiceCodec = c.codec;
        config.stream.toneHz = kToneHz;
        return config;
    }

    // The stream known, "Video Out" on a sink, the graph stopped.
    void LearnTheStream(const AudioCase& c)
    {
        SplitterGraphFixture::LearnTheStream(Clip(c, 0));
        ASSERT_EQ(m_graph.Connect(m_splitter, L"Video Out", m_video, nullptr), S_OK);
    }

    // The wave format "Audio Out" is connected with.
    WAVEFORMATEX ConnectedFormat()
    {
        WAVEFORMATEX wfx{};
        IPin* audio = FindPin(m_splitter, PINDIR_OUTPUT, L"Audio Out");
        AM_MEDIA_TYPE mt{};
        if (audio && audio->ConnectionMediaType(&mt) == S_OK) {
            if (mt.formattype == FORMAT_WaveFormatEx && mt.cbFormat >= sizeof(WAVEFORMATEX))
                std::memcpy(&wfx, mt.pbFormat, sizeof wfx);
            FreeMediaType(mt);
        }
        if (audio)
            audio->Release();
        return wfx;
    }

    // "Audio Out" builds its own chain (IStreamBuilder): the renderer it put
    // into the graph, referenced, or null.
    IBaseFilter* RenderAudioOut()
    {
        IPin* audio = FindPin(m_splitter, PINDIR_OUTPUT, L"Audio Out");
        IStreamBuilder* builder = Query<IStreamBuilder>(audio, IID_IStreamBuilder);
        IBaseFilter* renderer = nullptr;
        if (builder) {
            EXPECT_EQ(builder->Render(audio, m_graph.Builder()), S_OK);
            builder->Release();
            m_graph.Builder()->FindFilterByName(L"DirectSound Device", &renderer);
        }
        if (audio)
            audio->Release();
        return renderer;
    }

    // Sound flows out of "Audio Out" (bytes delivered within half a second).
    bool AudioFlows()
    {
        ITarvoSplt* splt = Query<ITarvoSplt>(m_splitter, IID_ITarvoSplt);
        int videoBytes = 0, audioBytes = 0;
        const bool flows =
            splt && nwtest::WaitFor([&] {
                return splt->GetReceiveRates(500, &videoBytes, &audioBytes) == S_OK &&
                       audioBytes > 0;
            });
        if (splt)
            splt->Release();
        return flows;
    }

    CTestSink* m_video = nullptr;
    CTestSink* m_audio = nullptr;
};

std::string CaseName(const ::testing::TestParamInfo<AudioCase>& info)
{
    return info.param.name;
}

} // namespace

// Every voice frame and AAC frame the simulator sends comes out of "Audio Out"
// as PCM: a voice stream exactly as its frames decode, an AAC stream a frame
// of 1024 samples per AAC frame (but the one that primes the decoder). Either
// way the bytes per second of stream are those the pin announces, and the
// strongest frequency is the simulator's tone.
TEST_P(SplitterAudioTest, PlaysTheSimulatorsToneAtTheAnnouncedRate)
{
    const AudioCase& c = GetParam();
    LearnTheStream(c);
    m_audio = Own(CTestSink::Create(), L"Audio Sink");
    m_audio->SetKeepBytes(SIZE_MAX);
    ASSERT_EQ(m_graph.Connect(m_splitter, L"Audio Out", m_audio, nullptr), S_OK);
    const WAVEFORMATEX wfx = ConnectedFormat();
    EXPECT_EQ(wfx.wFormatTag, WAVE_FORMAT_PCM);
    EXPECT_EQ(wfx.nSamplesPerSec, c.rate);
    EXPECT_EQ(wfx.nChannels, c.channels);
    EXPECT_EQ(wfx.wBitsPerSample, 16);
    ASSERT_EQ(wfx.nAvgBytesPerSec, c.rate * c.channels * 2);
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));

    const RecordedAudio record = ReadRecord(c.kind, SendClip(Clip(c, kClipFrames)));
    ASSERT_GE(record.videoFrames, static_cast<size_t>(kClipFrames));

    size_t want = record.pcm.size();
    if (c.kind == SimKind::QBoxH264) {
        ASSERT_GT(record.aacFrames, 1u);
        want = (record.aacFrames - 1) * 1024 * c.channels * 2;
    }
    ASSERT_GT(want, 0u);
    ASSERT_TRUE(nwtest::WaitFor([&] { return m_audio->ByteCount() >= want; }))
        << m_audio->ByteCount() << " of " << want;
    // Untimed, and sound but for the one empty sample of the pause that
    // began the run: no empty samples between blocks.
    size_t empty = 0;
    for (const TvStreamEvent& e : m_audio->Samples()) {
        empty += e.length == 0 ? 1 : 0;
        EXPECT_EQ(e.timeResult, VFW_E_SAMPLE_TIME_NOT_SET);
    }
    EXPECT_LE(empty, 1u);
    const std::string got = m_audio->Bytes();
    if (c.kind == SimKind::QBoxH264)
        EXPECT_LE(got.size(), want + 1024 * c.channels * 2);
    else
        EXPECT_EQ(Bytes(got.begin(), got.end()), record.pcm);

    const double seconds = static_cast<double>(kClipFrames) / 25.0;
    EXPECT_NEAR(static_cast<double>(got.size()) / seconds, wfx.nAvgBytesPerSec,
                0.05 * wfx.nAvgBytesPerSec);

    std::vector<int16_t> all(got.size() / 2);
    std::memcpy(all.data(), got.data(), all.size() * 2);
    const std::vector<int16_t> left = OneChannel(all, c.channels, 0);
    EXPECT_NEAR(StrongestFrequency(left, c.rate, 100, 3000, 5), kToneHz, 5);
    EXPECT_TRUE(EventArrived(EC_USER, kFirstAudioEvent)) << "the first audio sample told the graph";
    // The pictures went on beside the sound.
    EXPECT_GE(m_video->SampleCount(), static_cast<size_t>(kClipFrames) / 2);
}

// A stream without sound: the pictures go through while "Audio Out" sends
// only the one empty sample that completes the renderer's pause (its thread
// sleeps until sound is buffered).
TEST_P(SplitterAudioTest, SendsNothingButThePausesSampleForAStreamWithoutSound)
{
    const AudioCase& c = GetParam();
    LearnTheStream(c);
    m_audio = Own(CTestSink::Create(), L"Audio Sink");
    ASSERT_EQ(m_graph.Connect(m_splitter, L"Audio Out", m_audio, nullptr), S_OK);
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));
    tvdevsim::SimConfig silent = Clip(c, kClipFrames / 2);
    silent.stream.audio = false;
    const RecordedAudio record = ReadRecord(c.kind, SendClip(silent));
    ASSERT_GE(record.videoFrames, static_cast<size_t>(kClipFrames / 2));
    ASSERT_TRUE(record.pcm.empty() && record.aacFrames == 0);
    ASSERT_TRUE(nwtest::WaitFor(
        [&] { return m_video->SampleCount() >= static_cast<size_t>(kClipFrames / 2) - 1; }));
    const std::vector<TvStreamEvent> samples = m_audio->Samples();
    ASSERT_EQ(samples.size(), 1u);
    EXPECT_EQ(samples.front().length, 0);
}

// A paused renderer completes its pause on a sample: with no sound in the
// stream, pausing from Stopped and from Running still completes.
TEST_P(SplitterAudioTest, PausesCompleteWithoutSound)
{
    const AudioCase& c = GetParam();
    LearnTheStream(c);
    IBaseFilter* renderer = RenderAudioOut();
    ASSERT_NE(renderer, nullptr);
    renderer->Release();
    tvdevsim::SimConfig silent = Clip(c, 0);
    silent.stream.audio = false;
    CDeviceSimulator sim;
    ASSERT_TRUE(sim.Start(silent)) << sim.Error();
    OAFilterState state = State_Stopped;
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Pause()));
    EXPECT_EQ(m_graph.Control()->GetState(10000, &state), S_OK) << "from Stopped";
    EXPECT_EQ(state, State_Paused);
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));
    ASSERT_TRUE(nwtest::WaitFor([&] { return m_video->SampleCount() >= 3; }));
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Pause()));
    EXPECT_EQ(m_graph.Control()->GetState(10000, &state), S_OK) << "from Running";
    EXPECT_EQ(state, State_Paused);
    EXPECT_EQ(m_graph.Control()->Stop(), S_OK);
    sim.Stop();
}

// "Audio Out" builds its own chain: the DirectSound renderer, playing through
// its null sink at the sound's pace, with its volume set through IBasicAudio
// while it plays; sound keeps flowing and Stop returns.
TEST_P(SplitterAudioTest, RendersIntoTheDirectSoundRenderer)
{
    const AudioCase& c = GetParam();
    LearnTheStream(c);
    IBaseFilter* renderer = RenderAudioOut();
    ASSERT_NE(renderer, nullptr);
    const WAVEFORMATEX wfx = ConnectedFormat();
    EXPECT_EQ(wfx.nSamplesPerSec, c.rate);
    EXPECT_EQ(wfx.nChannels, c.channels);
    IBasicAudio* volume = Query<IBasicAudio>(renderer, IID_IBasicAudio);
    renderer->Release();
    ASSERT_NE(volume, nullptr);
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));

    CDeviceSimulator sim;
    ASSERT_TRUE(sim.Start(Clip(c, 0))) << sim.Error();
    EXPECT_TRUE(EventArrived(EC_USER, kFirstAudioEvent)) << "the first audio sample told the graph";
    EXPECT_EQ(volume->put_Volume(-600), S_OK);
    LONG now = 0;
    EXPECT_EQ(volume->get_Volume(&now), S_OK);
    EXPECT_EQ(now, -600);
    volume->Release();
    EXPECT_TRUE(AudioFlows()) << "sound flows into the renderer";
    EXPECT_EQ(m_graph.Control()->Stop(), S_OK);
    sim.Stop();
}

// Into the private PulseAudio server: what its null sink played (recorded
// from its monitor at 8000 Hz) is the simulator's tone.
TEST_P(SplitterAudioTest, PlaysTheToneIntoAPulseAudioServer)
{
    const AudioCase& c = GetParam();
    const std::string why = StartPulse();
    if (!why.empty())
        GTEST_SKIP() << "no private PulseAudio server: " << why;
    const std::string file = g_pulse.Recording();
    if (file.empty())
        GTEST_SKIP() << "parec is not installed";
    LearnTheStream(c);
    IBaseFilter* renderer = RenderAudioOut();
    ASSERT_NE(renderer, nullptr);
    renderer->Release();
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));
    const size_t from = TvReadFile(file).size() / 4 * 4;

    SendClip(Clip(c, kClipFrames));
    // What is still in the renderer's and the server's buffers plays out.
    Sleep(500);
    EXPECT_EQ(m_graph.Control()->Stop(), S_OK);

    const std::vector<int16_t> left = OneChannelOfBytes(TvReadFile(file).substr(from), 2, 0);
    ASSERT_GE(left.size(), 8000u * 2) << "the recorder ran for the clip";
    EXPECT_NEAR(StrongestFrequency(left, 8000, 100, 3000, 5), kToneHz, 5);
    EXPECT_GT(GoertzelPower(left, kToneHz, 8000), 100 * GoertzelPower(left, 1500, 8000));
}

// The server going away mid-stream: no crash and no hang; the pictures go on,
// the renderer keeps taking the sound at its pace, and the graph stops.
TEST_P(SplitterAudioTest, TheStreamGoesOnWhenThePulseAudioServerGoesAway)
{
    const AudioCase& c = GetParam();
    const std::string why = StartPulse();
    if (!why.empty())
        GTEST_SKIP() << "no private PulseAudio server: " << why;
    LearnTheStream(c);
    IBaseFilter* renderer = RenderAudioOut();
    ASSERT_NE(renderer, nullptr);
    renderer->Release();
    ASSERT_TRUE(SUCCEEDED(m_graph.Control()->Run()));
    CDeviceSimulator sim;
    ASSERT_TRUE(sim.Start(Clip(c, 0))) << sim.Error();
    EXPECT_TRUE(EventArrived(EC_USER, kFirstAudioEvent)) << "the first audio sample told the graph";
    g_pulse.Kill();
    const size_t before = m_video->SampleCount();
    EXPECT_TRUE(nwtest::WaitFor([&] { return m_video->SampleCount() >= before + 25; }))
        << "the pictures stopped with the sound server";
    EXPECT_TRUE(AudioFlows()) << "the sound stopped with the sound server";
    EXPECT_EQ(m_graph.Control()->Stop(), S_OK);
    sim.Stop();
}

INSTANTIATE_TEST_SUITE_P(EveryAudioKind, SplitterAudioTest, ::testing::ValuesIn(kAudioCases),
                         CaseName);
