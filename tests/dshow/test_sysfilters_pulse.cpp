// The DirectSound renderer's PulseAudio path against a private server that the
// test starts for itself: a pulseaudio daemon whose only output is a null sink
// ("tvtest") and whose only socket is in a temporary folder. No sound card and
// no session server are involved. Without the pulseaudio binary, or when the
// server cannot start, every case is skipped.
//
// The server runs with the test's own uid. As root, user mode only warns
// ("not intended to be run as root"), so the same command serves CI (root)
// and developers (ordinary users); autospawn is off for the client side, so
// nothing else is ever started.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "RendererTest.h"
#include "audio/AudioSink.h"
#include "TvPictures.h"

extern char** environ;

#if defined(__SANITIZE_THREAD__)
// libpulse is not instrumented: its threads hand objects over through its own
// atomics, which the race detector cannot see. Reports whose stacks run
// through libpulse are about libpulse, not about this program.
extern "C" const char* __tsan_default_suppressions()
{
    return "race:libpulsecommon\nrace:libpulse.so\nrace:libpulse-simple.so\n";
}
#endif

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

std::string FindOnPath(const char* name)
{
    const char* path = std::getenv("PATH");
    std::stringstream dirs(path ? path : "/usr/bin:/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
        std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0)
            return candidate;
    }
    return {};
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// Starts a program with stdin from /dev/null and stdout/stderr to files;
// the pid, or -1.
pid_t Spawn(const std::vector<std::string>& args, const std::vector<std::string>& env,
            const std::string& out, const std::string& err)
{
    std::vector<char*> argv, envp;
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    for (const auto& e : env)
        envp.push_back(const_cast<char*>(e.c_str()));
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0].c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

std::vector<std::string> CurrentEnvironment()
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    return env;
}

// The private server. One per test program; restarted when a case killed it.
class CPulseServer {
public:
    // Empty when the server answers, else why it does not.
    std::string Start()
    {
        if (m_pid > 0 && Alive())
            return {};
        Reap();
        std::string binary = FindOnPath("pulseaudio");
        if (binary.empty())
            return "the pulseaudio binary is not installed";
        if (m_dir.empty()) {
            char tmpl[] = "/tmp/tvpulse.XXXXXX";
            if (!mkdtemp(tmpl))
                return "no temporary folder";
            m_dir = tmpl;
            std::ofstream(m_dir + "/server.pa")
                << "load-module module-null-sink sink_name=tvtest rate=48000 channels=2\n"
                << "load-module module-native-protocol-unix socket=" << Socket()
                << " auth-anonymous=1\n"
                << "set-default-sink tvtest\n";
            std::ofstream(m_dir + "/client.conf") << "autospawn = no\n";
        }
        unlink(Socket().c_str());
        // The server's files all live in the folder; the client side of this
        // process (the renderer, pactl, parec) finds the socket by PULSE_SERVER.
        std::vector<std::string> env;
        for (const auto& e : CurrentEnvironment()) {
            if (e.rfind("HOME=", 0) && e.rfind("XDG_", 0) && e.rfind("PULSE_", 0))
                env.push_back(e);
        }
        env.push_back("HOME=" + m_dir);
        env.push_back("XDG_RUNTIME_DIR=" + m_dir);
        env.push_back("XDG_CONFIG_HOME=" + m_dir + "/config");
        env.push_back("PULSE_RUNTIME_PATH=" + m_dir + "/runtime");
        env.push_back("PULSE_STATE_PATH=" + m_dir + "/state");
        m_pid = Spawn({binary, "-n", "--daemonize=no", "--system=no", "--exit-idle-time=-1",
                       "--disallow-exit", "--use-pid-file=no", "--realtime=no",
                       "--high-priority=no", "--log-target=stderr", "-F", m_dir + "/server.pa"},
                      env, "/dev/null", Log());
        if (m_pid <= 0)
            return "pulseaudio could not be started";
        setenv("PULSE_SERVER", ("unix:" + Socket()).c_str(), 1);
        setenv("PULSE_CLIENTCONFIG", (m_dir + "/client.conf").c_str(), 1);
        unsetenv("TARVO_AUDIO");
        // Ready when a playback stream can be opened (the sink's own probe).
        auto start = Clock::now();
        while (SecondsSince(start) < 20) {
            if (!Alive()) {
                Reap();
                return "pulseaudio exited at start: " + ReadFile(Log());
            }
            struct stat st {};
            if (stat(Socket().c_str(), &st) == 0 &&
                CreatePulseAudioSink(PcmFormat{8000, 1, 16}, "probe")) {
                StartRecorder();
                return {};
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        Kill();
        return "pulseaudio did not answer: " + ReadFile(Log());
    }

    bool Alive() { return m_pid > 0 && waitpid(m_pid, nullptr, WNOHANG) == 0; }
    void Kill()
    {
        StopRecorder();
        if (m_pid > 0) {
            kill(m_pid, SIGCONT);
            kill(m_pid, SIGKILL);
        }
        Reap();
    }
    // SIGSTOP / SIGCONT: a server that stops answering, and answers again.
    void Freeze(bool on)
    {
        if (m_pid > 0)
            kill(m_pid, on ? SIGSTOP : SIGCONT);
    }
    void Shutdown()
    {
        Kill();
        if (!m_dir.empty()) {
            std::string cmd = "rm -rf '" + m_dir + "'";
            (void)!std::system(cmd.c_str());
            m_dir.clear();
        }
    }
    std::string Dir() const { return m_dir; }
    std::string Log() const { return m_dir + "/server.log"; }
    // What the null sink played, as 8000 Hz stereo from its monitor, while
    // the server runs; empty without parec.
    std::string Recording() const
    {
        return m_recorder > 0 ? m_dir + "/monitor.raw" : std::string();
    }

private:
    std::string Socket() const { return m_dir + "/native"; }
    // A recorder on the null sink's monitor, for the whole run. Besides
    // keeping the record, its short latency keeps the null sink's timer short:
    // idle, the sink renders two seconds ahead and a new stream would wait out
    // that much silence before its first byte is taken.
    void StartRecorder()
    {
        std::string parec = FindOnPath("parec");
        if (parec.empty())
            return;
        m_recorder = Spawn({parec, "--device=tvtest.monitor", "--format=s16le", "--rate=8000",
                            "--channels=2", "--raw", "--latency-msec=20"},
                           CurrentEnvironment(), m_dir + "/monitor.raw", Log());
        // Attached once the first bytes arrive.
        for (int i = 0; i < 200 && m_recorder > 0; ++i) {
            struct stat st {};
            if (stat((m_dir + "/monitor.raw").c_str(), &st) == 0 && st.st_size > 0)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(25));
        }
    }
    void StopRecorder()
    {
        if (m_recorder > 0) {
            kill(m_recorder, SIGTERM);
            waitpid(m_recorder, nullptr, 0);
        }
        m_recorder = -1;
    }
    void Reap()
    {
        if (m_pid > 0)
            waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

    pid_t m_pid = -1;
    pid_t m_recorder = -1;
    std::string m_dir;
};

CPulseServer g_server;

// A client tool of the server (pactl, parec) run to completion; its output.
std::string Pactl(const std::string& args)
{
    std::string out = g_server.Dir() + "/pactl.out";
    std::vector<std::string> argv{FindOnPath("pactl")};
    std::stringstream split(args);
    for (std::string a; split >> a;)
        argv.push_back(a);
    if (argv[0].empty())
        return {};
    pid_t pid = Spawn(argv, CurrentEnvironment(), out, "/dev/null");
    if (pid <= 0)
        return {};
    waitpid(pid, nullptr, 0);
    return ReadFile(out);
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
    size_t from = ReadFile(file).size() / 4 * 4;
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

    std::string raw = ReadFile(file).substr(from);
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
