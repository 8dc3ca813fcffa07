// The DirectSound renderer's PulseAudio path against a private server that the
// test starts for itself (the kit's CTestPulseServer): a pulseaudio daemon
// whose only output is a null sink ("tvtest") and whose only socket is in a
// temporary folder. No sound card and no session server are involved. Without
// the pulseaudio binary, or when the server cannot start, every case is
// skipped.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "CTestPulseServer.h"
#include "RendererTest.h"
#include "audio/AudioSink.h"
#include "TvPictures.h"

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// One server for the program; restarted when a case killed it.
CTestPulseServer g_server;

// A client tool of the server (pactl, parec) run to completion; its output.
std::string Pactl(const std::string& args)
{
    std::string out = g_server.Dir() + "/pactl.out";
    std::vector<std::string> argv{TvFindOnPath("pactl")};
    std::stringstream split(args);
    for (std::string a; split >> a;)
        argv.push_back(a);
    if (argv[0].empty())
        return {};
    pid_t pid = TvSpawn(argv, TvCurrentEnvironment(), out, "/dev/null");
    if (pid <= 0)
        return {};
    waitpid(pid, nullptr, 0);
    return TvReadFile(out);
}

// The playback streams on the server, one "<sample spec> <media name>" each.
std::vector<std::string> PlaybackStreams()
{
    std::vector<std::string> streams;
    std::stringstream lines(Pactl("list sink-inputs"));
    std::string spec;
    for (std::string line; std::getline(lines, line);) {
        // pactl's "Sample Spec...: s16le 2ch 48000Hz" line.
        static const std::string kSampleLine = "Sample Spec";
        auto at = line.find(kSampleLine);
        const auto colon = at == std::string::npos ? at : line.find(": ", at);
        if (colon != std::string::npos)
            spec = line.substr(colon + 2);
        at = line.find("media.name = \"");
        if (at != std::string::npos)
            streams.push_back(spec + " " + line.substr(at + 14, line.size() - at - 15));
    }
    return streams;
}

CMediaType PcmType(DWORD rate, WORD channels, ULONG sampleSize)
{
    return TvMakePcmType(rate, channels, 16, WAVE_FORMAT_PCM, sampleSize);
}

// Constant 16-bit samples: `left` and `right` (or `left` alone in mono).
std::vector<uint8_t> Pcm(size_t frames, int channels, int16_t left, int16_t right)
{
    std::vector<uint8_t> bytes(frames * size_t(channels) * 2);
    for (size_t i = 0; i < frames * size_t(channels); ++i) {
        int16_t v = (channels == 2 && (i & 1)) ? right : left;
        std::memcpy(bytes.data() + i * 2, &v, 2);
    }
    return bytes;
}

class PulseRendererTest : public RendererTest {
protected:
    static void TearDownTestSuite() { g_server.Shutdown(); }

    void SetUp() override
    {
        RendererTest::SetUp();
        std::string why = g_server.Start();
        if (!why.empty())
            GTEST_SKIP() << "no private PulseAudio server: " << why;
        WrapRenderer(CLSID_DSoundRender, L"DirectSound Device");
    }
    void TearDown() override
    {
        g_server.Freeze(false);
        RendererTest::TearDown();
        unsetenv("TARVO_AUDIO");
    }
    void SetVolume(LONG volume, LONG balance = 0)
    {
        IBasicAudio* audio = Query<IBasicAudio>(m_renderer, IID_IBasicAudio);
        ASSERT_NE(audio, nullptr);
        EXPECT_EQ(audio->put_Volume(volume), S_OK);
        EXPECT_EQ(audio->put_Balance(balance), S_OK);
        audio->Release();
    }
};

struct Format {
    DWORD rate;
    WORD channels;
};

} // namespace

// The renderer opens a stream on the server for every accepted format and
// plays it at the format's rate: a second of sound delivered in tenths cannot
// all be taken before the sink's buffers (a quarter second in the sink, a tenth
// in the server) let it, and the end of the stream is reported only when all of
// it has played.
TEST_F(PulseRendererTest, PlaysEveryFormatThroughTheServerAtItsRate)
{
    for (Format f : {Format{8000, 1}, Format{8000, 2}, Format{48000, 1}, Format{48000, 2}}) {
        SCOPED_TRACE(std::to_string(f.rate) + " Hz, " + std::to_string(f.channels) + " channels");
        size_t tenth = f.rate / 10;
        Connect(PcmType(f.rate, f.channels, ULONG(tenth * f.channels * 2)));
        Play();
        auto start = Clock::now();
        ASSERT_EQ(m_source->Deliver(Pcm(tenth, f.channels, 1000, -1000)), S_OK);
        std::vector<std::string> streams = PlaybackStreams();
        std::string want = "s16le " + std::to_string(f.channels) + "ch " + std::to_string(f.rate) +
                           "Hz Tarvo playback";
        ASSERT_EQ(streams.size(), 1u) << "one playback stream on the server, not the null sink";
        EXPECT_EQ(streams[0], want);
        for (int i = 1; i < 10; ++i)
            ASSERT_EQ(m_source->Deliver(Pcm(tenth, f.channels, 1000, -1000)), S_OK);
        double delivered = SecondsSince(start);
        ASSERT_EQ(m_source->DeliverEndOfStream(), S_OK);
        ASSERT_TRUE(m_graph->WaitForEvent(EC_COMPLETE, 20000));
        double complete = SecondsSince(start);
        EXPECT_GE(delivered, 0.5) << "the sink took a second of sound faster than it plays";
        EXPECT_GE(complete, 0.95) << "complete before the sound was heard";
        EXPECT_LT(complete, 10.0) << "playing stalled";

        ASSERT_EQ(m_renderer->Stop(), S_OK);
        m_harness->DisconnectInput();
        m_source = nullptr;
        EXPECT_TRUE(PlaybackStreams().empty()) << "the stream closes with the connection";
        m_graph->ClearEvents();
    }
}

// The observation above means something: forced to the null sink, the same
// renderer opens nothing on the server.
TEST_F(PulseRendererTest, TheNullSinkOpensNoStream)
{
    setenv("TARVO_AUDIO", "null", 1);
    Connect(PcmType(8000, 1, 1600));
    Play();
    ASSERT_EQ(m_source->Deliver(Pcm(800, 1, 1000, 1000)), S_OK);
    EXPECT_TRUE(PlaybackStreams().empty());
}

// What the server's null sink received, recorded from its monitor: the
// samples at the volume and balance set when they were delivered.
TEST_F(PulseRendererTest, SamplesReachTheServerWithVolumeAndBalance)
{
    std::string file = g_server.Recording();
    if (file.empty())
        GTEST_SKIP() << "parec is not installed";
    size_t from = TvReadFile(file).size() / 4 * 4;
    constexpr int16_t kLevel = 16000;
    Connect(PcmType(48000, 2, 4800 * 4));
    Play();
    auto deliver = [&](LONG volume, LONG balance) {
        SetVolume(volume, balance);
        for (int i = 0; i < 6; ++i)
            ASSERT_EQ(m_source->Deliver(Pcm(4800, 2, kLevel, kLevel)), S_OK);
    };
    deliver(0, 0);        // full
    deliver(-600, 0);     // -6 dB: about half
    deliver(-600, 10000); // right only
    deliver(-10000, 0);   // silence
    ASSERT_EQ(m_source->DeliverEndOfStream(), S_OK);
    ASSERT_TRUE(m_graph->WaitForEvent(EC_COMPLETE, 20000));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));

    std::string raw = TvReadFile(file).substr(from);
    size_t frames = raw.size() / 4;
    const double half = kLevel * std::pow(10.0, -0.3);
    auto near = [](int v, double want) { return std::abs(v - want) <= 0.03 * kLevel; };
    size_t full = 0, halved = 0, rightOnly = 0, loudest = 0;
    for (size_t i = 0; i < frames; ++i) {
        int16_t l, r;
        std::memcpy(&l, raw.data() + i * 4, 2);
        std::memcpy(&r, raw.data() + i * 4 + 2, 2);
        full += near(l, kLevel) && near(r, kLevel);
        halved += near(l, half) && near(r, half);
        rightOnly += near(l, 0) && near(r, half);
        loudest = std::max<size_t>(loudest, size_t(std::max(std::abs(int(l)), std::abs(int(r)))));
    }
    // Each stretch was 0.6 s (4800 recorded frames); resampling and buffering
    // blur the edges only.
    EXPECT_GE(full, 3000u);
    EXPECT_GE(halved, 3000u);
    EXPECT_GE(rightOnly, 3000u);
    // The resampler rings a little at each step; a gain above one would not.
    EXPECT_LE(loudest, size_t(kLevel * 1.2)) << "louder than delivered";
}

// A server that stops answering: the sink's writer is stuck in the server's
// write, yet flushing and Stop release the streaming thread at once.
TEST_F(PulseRendererTest, StopAndFlushDoNotWaitForAStalledServer)
{
    Connect(PcmType(8000, 1, 16000 * 30));
    Play();
    auto writing = m_source->DeliverAsync(std::vector<uint8_t>(16000 * 30, 0));
    EXPECT_TRUE(StillBlocked(writing, 500));
    g_server.Freeze(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    m_source->DeliverBeginFlush();
    EXPECT_EQ(Result(writing, E_FAIL), S_OK) << "flushing cut the write short";
    m_source->DeliverEndFlush();

    writing = m_source->DeliverAsync(std::vector<uint8_t>(16000 * 30, 0));
    EXPECT_TRUE(StillBlocked(writing, 300));
    auto stopping = std::async(std::launch::async, [this] { return m_renderer->Stop(); });
    EXPECT_EQ(Result(stopping, E_FAIL), S_OK);
    Result(writing, E_FAIL);
    g_server.Freeze(false);
}

// The sink's own account: bytes played never run ahead of the clock and never
// go back, and after Drain everything written has played.
TEST_F(PulseRendererTest, SinkCountsPlayedBytesAtTheRealRate)
{
    PcmFormat format{48000, 2, 16};
    auto sink = CreatePulseAudioSink(format, "count");
    ASSERT_NE(sink, nullptr);
    EXPECT_STREQ(sink->Kind(), "pulse");
    sink->SetRunning(true);
    const double rate = format.BytesPerSecond();
    std::vector<uint8_t> second(size_t(rate), 0);
    auto start = Clock::now();
    auto writer = std::async(std::launch::async, [&] {
        HRESULT hr = sink->Write(second.data(), second.size());
        return SUCCEEDED(hr) ? sink->Drain() : hr;
    });
    uint64_t last = 0;
    while (writer.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready) {
        uint64_t played = sink->BytesPlayed();
        // The server holds at most a tenth before it plays; allow as much again.
        EXPECT_LE(double(played), (SecondsSince(start) + 0.2) * rate);
        EXPECT_GE(played, last) << "played bytes went back";
        last = std::max(last, played);
    }
    EXPECT_EQ(writer.get(), S_OK);
    EXPECT_GE(SecondsSince(start), 0.95);
    EXPECT_EQ(sink->BytesPlayed(), uint64_t(rate));
}

// The server going away mid-stream: the sink can no longer hand anything on,
// but the renderer still takes the sound at the rate it plays, ends the stream
// and stops.
TEST_F(PulseRendererTest, KeepsThePaceWhenTheServerGoesAway)
{
    Connect(PcmType(8000, 1, 1600));
    Play();
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(m_source->Deliver(Pcm(800, 1, 1000, 1000)), S_OK);
    g_server.Kill();
    auto start = Clock::now();
    for (int i = 0; i < 15; ++i)
        ASSERT_EQ(m_source->Deliver(Pcm(800, 1, 1000, 1000)), S_OK);
    double delivered = SecondsSince(start);
    EXPECT_GE(delivered, 1.0) << "a second and a half of sound taken at once";
    ASSERT_EQ(m_source->DeliverEndOfStream(), S_OK);
    EXPECT_TRUE(m_graph->WaitForEvent(EC_COMPLETE, 20000));
    EXPECT_GE(SecondsSince(start), 1.45);
    EXPECT_EQ(m_renderer->Stop(), S_OK);
}

// A server frozen while the renderer plays: the streaming thread keeps its
// pace, Stop returns, and releasing the renderer (its sink and its connection
// to the server) returns too, all while the server still does not answer.
TEST_F(PulseRendererTest, ReleasingTheRendererDoesNotWaitForAFrozenServer)
{
    Connect(PcmType(8000, 1, 1600));
    Play();
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(m_source->Deliver(Pcm(800, 1, 1000, 1000)), S_OK);
    g_server.Freeze(true);
    auto writing = m_source->DeliverAsync(Pcm(8000 * 3, 1, 1000, 1000));
    EXPECT_TRUE(StillBlocked(writing, 300)) << "three seconds of sound taken at once";
    auto stopping = std::async(std::launch::async, [this] { return m_renderer->Stop(); });
    EXPECT_EQ(Result(stopping, E_FAIL), S_OK);
    Result(writing, E_FAIL);

    auto releasing = std::async(std::launch::async, [this] {
        m_harness.reset();
        return true;
    });
    // A bound against a hang only: the release itself waits on nothing.
    bool released = releasing.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    EXPECT_TRUE(released) << "releasing the renderer waits for the frozen server";
    g_server.Freeze(false);
    releasing.get();
}

// The sink on its own: while the server is frozen it drops the sound on the
// clock (counted) rather than block for ever, its played count follows the
// wall clock, and once the server answers again the sound goes to it again.
TEST_F(PulseRendererTest, AFrozenServerMakesTheSinkDropOnTheClock)
{
    PcmFormat format{8000, 1, 16};
    auto sink = CreatePulseAudioSink(format, "frozen");
    ASSERT_NE(sink, nullptr);
    sink->SetRunning(true);
    const size_t rate = size_t(format.BytesPerSecond());
    std::vector<uint8_t> second(rate, 0);
    ASSERT_EQ(sink->Write(second.data(), rate / 2), S_OK);

    g_server.Freeze(true);
    auto start = Clock::now();
    auto writer = std::async(std::launch::async, [&] {
        HRESULT hr = S_OK;
        for (int i = 0; i < 3 && hr == S_OK; ++i)
            hr = sink->Write(second.data(), second.size());
        return hr;
    });
    uint64_t last = 0;
    while (writer.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready &&
           SecondsSince(start) < 30) {
        uint64_t played = sink->BytesPlayed();
        EXPECT_LE(double(played), (SecondsSince(start) + 0.5 + 0.2) * double(rate))
            << "played faster than the clock";
        EXPECT_GE(played, last) << "played bytes went back";
        last = std::max(last, played);
    }
    ASSERT_EQ(writer.wait_for(std::chrono::seconds(0)), std::future_status::ready)
        << "writing to a frozen server never returned";
    EXPECT_EQ(writer.get(), S_OK);
    uint64_t dropped = sink->BytesDropped();
    EXPECT_GT(dropped, rate) << "three seconds written to a frozen server, little dropped";
    EXPECT_LE(dropped, 3 * rate + rate / 2);

    g_server.Freeze(false);
    ASSERT_EQ(sink->Write(second.data(), second.size()), S_OK);
    ASSERT_EQ(sink->Write(second.data(), second.size()), S_OK);
    EXPECT_EQ(sink->Drain(), S_OK);
    EXPECT_LT(sink->BytesDropped() - dropped, rate)
        << "the server answers again, yet the sound still goes nowhere";
    EXPECT_EQ(sink->BytesPlayed(), 5 * rate + rate / 2);
}
