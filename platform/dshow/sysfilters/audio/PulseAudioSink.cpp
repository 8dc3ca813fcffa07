// PulseAudio output through the asynchronous API on a threaded main loop. No
// call of the sink ever waits on the server: the server pulls what it wants
// from the sink's ring buffer (the stream's write callback, on the main loop's
// thread), and the streaming thread only waits for room in that ring, which
// the server or, failing it, the clock makes. A server that stops answering
// (frozen, or a stream that stopped pulling) for kStallMs while sound waits,
// or one that goes away, turns the sink into a clocked drain: the queued bytes
// "play" at the format's rate and are counted as dropped, so the renderer keeps
// its pace and its played count stays true to the wall clock. A frozen server
// that comes back and pulls again gets the sound again.
//
// Locks: the main loop's lock (libpulse's, taken by its thread around every
// callback) before m_lock, never the other way round; nothing waits on a
// condition while holding the main loop's lock.
#include <pulse/context.h>
#include <pulse/error.h>
#include <pulse/stream.h>
#include <pulse/thread-mainloop.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/AudioSink.h"

namespace {

using Clock = std::chrono::steady_clock;

// How long queued sound may wait for a server that pulls nothing before the
// sink drops it on the clock instead.
constexpr auto kStallMs = std::chrono::milliseconds(1000);
// How long making the sink may wait for the server to accept the connection
// and the stream.
constexpr auto kConnectMs = std::chrono::milliseconds(2000);
// How often a waiting writer looks at the clock and hands the server more.
constexpr auto kPollMs = std::chrono::milliseconds(20);
// The most of the server's latency that Drain waits out.
constexpr uint64_t kMaxLatencyUs = 2000000;

// The threaded main loop, a context and a playback stream: made and torn down
// under the loop's lock.
struct PulseConnection {
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;
    pa_stream* stream = nullptr;

    ~PulseConnection() { Close(); }

    void Close()
    {
        if (!loop)
            return;
        pa_threaded_mainloop_lock(loop);
        if (stream) {
            pa_stream_set_write_callback(stream, nullptr, nullptr);
            pa_stream_set_state_callback(stream, nullptr, nullptr);
            pa_stream_disconnect(stream);
            pa_stream_unref(stream);
        }
        if (context) {
            pa_context_set_state_callback(context, nullptr, nullptr);
            pa_context_disconnect(context);
            pa_context_unref(context);
        }
        pa_threaded_mainloop_unlock(loop);
        // The loop's thread only polls: stopping it never waits on the server.
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
        loop = nullptr;
        context = nullptr;
        stream = nullptr;
    }
};

class CPulseAudioSink final : public CAudioSink {
public:
    CPulseAudioSink(const PcmFormat& format)
        : m_format(format), m_ring(size_t(format.BytesPerSecond()) / 4 /
                                   size_t(format.BlockAlign()) * size_t(format.BlockAlign()))
    {
    }

    ~CPulseAudioSink() override
    {
        // The connection goes first, so no callback runs into a sink half
        // gone; m_pulse keeps pointing at it meanwhile, since a callback that
        // holds the loop's lock while this waits for it still reads m_pulse.
        if (m_pulse)
            m_pulse->Close();
    }

    // Connects within kConnectMs; false when no server takes the stream.
    bool Open(const char* name)
    {
        m_pulse = std::make_unique<PulseConnection>();
        PulseConnection& p = *m_pulse;
        p.loop = pa_threaded_mainloop_new();
        if (!p.loop)
            return false;
        if (pa_threaded_mainloop_start(p.loop) < 0) {
            pa_threaded_mainloop_free(p.loop);
            p.loop = nullptr;
            return false;
        }
        pa_threaded_mainloop_lock(p.loop);
        bool ok = Connect(p, name);
        pa_threaded_mainloop_unlock(p.loop);
        return ok;
    }

    const char* Kind() const override { return "pulse"; }

    HRESULT Write(const uint8_t* data, size_t bytes) override
    {
        for (;;) {
            {
                std::unique_lock<std::mutex> lock(m_lock);
                if (m_interrupted)
                    return S_FALSE;
                Advance(lock);
                size_t room = m_ring.size() - m_fill;
                size_t take = std::min(room, bytes);
                if (take > 0) {
                    if (m_fill == 0)
                        m_lastPull = Clock::now(); // a new burst: the server owes nothing yet
                    size_t tail = (m_head + m_fill) % m_ring.size();
                    size_t first = std::min(take, m_ring.size() - tail);
                    std::memcpy(m_ring.data() + tail, data, first);
                    std::memcpy(m_ring.data(), data + first, take - first);
                    m_fill += take;
                    data += take;
                    bytes -= take;
                } else {
                    m_wake.wait_for(lock, kPollMs);
                }
            }
            Push();
            if (bytes == 0)
                return S_OK;
        }
    }

    HRESULT Drain() override
    {
        // Everything handed on (to the server, or dropped on the clock)...
        for (;;) {
            Push();
            std::unique_lock<std::mutex> lock(m_lock);
            if (m_interrupted)
                return S_FALSE;
            Advance(lock);
            if (m_fill == 0)
                break;
            m_wake.wait_for(lock, kPollMs);
        }
        // ...then the server's latency played out.
        std::unique_lock<std::mutex> lock(m_lock);
        auto until = Clock::now() + std::chrono::microseconds(std::min(m_latencyUs, kMaxLatencyUs));
        m_wake.wait_until(lock, until, [this] { return m_interrupted; });
        if (m_interrupted)
            return S_FALSE;
        m_latencyUs = 0;
        return S_OK;
    }

    void Interrupt(bool on) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_interrupted = on;
        m_wake.notify_all();
    }

    void SetRunning(bool running) override
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_running = running;
            m_lastPull = Clock::now();
            m_clockFrom = m_lastPull;
            m_wake.notify_all();
        }
        if (running)
            Push();
    }

    void Flush() override
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_fill = 0;
            m_head = 0;
            m_wake.notify_all();
        }
        PulseConnection& p = *m_pulse;
        pa_threaded_mainloop_lock(p.loop);
        if (StreamUsable(p))
            if (pa_operation* op = pa_stream_flush(p.stream, nullptr, nullptr))
                pa_operation_unref(op);
        pa_threaded_mainloop_unlock(p.loop);
    }

    uint64_t BytesPlayed() override
    {
        std::unique_lock<std::mutex> lock(m_lock);
        Advance(lock);
        uint64_t latency = m_latencyUs * uint64_t(m_format.BytesPerSecond()) / 1000000ull;
        uint64_t played = m_handed > latency ? m_handed - latency : 0;
        // The server's latency estimate wobbles; what has played never un-plays.
        m_played = std::max(m_played, std::min(played, m_handed));
        return m_played;
    }

    uint64_t BytesDropped() override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_dropped;
    }

private:
    // Under the loop's lock.
    bool Connect(PulseConnection& p, const char* name)
    {
        p.context = pa_context_new(pa_threaded_mainloop_get_api(p.loop), "Tarvo");
        if (!p.context || pa_context_connect(p.context, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0)
            return false;
        if (!WaitFor(p, [&] {
                pa_context_state_t s = pa_context_get_state(p.context);
                return s == PA_CONTEXT_READY ? 1 : PA_CONTEXT_IS_GOOD(s) ? 0 : -1;
            }))
            return false;

        pa_sample_spec spec{};
        spec.format = PA_SAMPLE_S16LE;
        spec.rate = uint32_t(m_format.rate);
        spec.channels = uint8_t(m_format.channels);
        p.stream = pa_stream_new(p.context, name ? name : "playback", &spec, nullptr);
        if (!p.stream)
            return false;
        // About 100 ms in the server: enough against scheduling hiccups, short
        // enough that pause and seek are heard promptly.
        pa_buffer_attr attr;
        attr.maxlength = uint32_t(-1);
        attr.tlength = uint32_t(m_format.BytesPerSecond() / 10);
        attr.prebuf = uint32_t(-1);
        attr.minreq = uint32_t(-1);
        attr.fragsize = uint32_t(-1);
        pa_stream_set_write_callback(p.stream, &CPulseAudioSink::OnWritable, this);
        auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_AUTO_TIMING_UPDATE |
                                       PA_STREAM_ADJUST_LATENCY);
        if (pa_stream_connect_playback(p.stream, nullptr, &attr, flags, nullptr, nullptr) < 0)
            return false;
        return WaitFor(p, [&] {
            pa_stream_state_t s = pa_stream_get_state(p.stream);
            return s == PA_STREAM_READY ? 1 : PA_STREAM_IS_GOOD(s) ? 0 : -1;
        });
    }

    // Under the loop's lock: lets the loop run until state() is 1 (true) or
    // -1 (false), or kConnectMs passed (false). A frozen server never answers.
    template <class State> static bool WaitFor(PulseConnection& p, State state)
    {
        auto until = Clock::now() + kConnectMs;
        for (;;) {
            int s = state();
            if (s != 0)
                return s > 0;
            if (Clock::now() >= until)
                return false;
            pa_threaded_mainloop_unlock(p.loop);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            pa_threaded_mainloop_lock(p.loop);
        }
    }

    // Under the loop's lock.
    static bool StreamUsable(PulseConnection& p)
    {
        return p.stream && pa_context_get_state(p.context) == PA_CONTEXT_READY &&
               pa_stream_get_state(p.stream) == PA_STREAM_READY;
    }

    static void OnWritable(pa_stream*, size_t, void* self)
    {
        static_cast<CPulseAudioSink*>(self)->Feed();
    }

    // Any thread but the loop's: hands the server what it has room for.
    void Push()
    {
        PulseConnection& p = *m_pulse;
        pa_threaded_mainloop_lock(p.loop);
        Feed();
        pa_threaded_mainloop_unlock(p.loop);
    }

    // Under the loop's lock: moves min(what the server wants, what is queued)
    // into the stream, while running. A stream that failed turns the sink into
    // the clocked drain for good.
    void Feed()
    {
        PulseConnection& p = *m_pulse;
        bool usable = StreamUsable(p);
        size_t writable = usable ? pa_stream_writable_size(p.stream) : 0;
        if (writable == size_t(-1))
            writable = 0;
        pa_usec_t latency = 0;
        int negative = 0;
        bool haveLatency = usable && pa_stream_get_latency(p.stream, &latency, &negative) == 0;

        bool gone = !PA_CONTEXT_IS_GOOD(pa_context_get_state(p.context)) ||
                    !PA_STREAM_IS_GOOD(pa_stream_get_state(p.stream));

        std::lock_guard<std::mutex> guard(m_lock);
        if (gone && !m_failed) {
            m_failed = true;
            m_clockFrom = Clock::now();
        }
        if (haveLatency && !m_stalled)
            m_latencyUs = negative ? 0 : uint64_t(latency);
        if (!usable || m_failed || !m_running)
            return;
        size_t align = size_t(m_format.BlockAlign());
        size_t take = std::min(writable, m_fill) / align * align;
        if (take == 0)
            return;
        size_t first = std::min(take, m_ring.size() - m_head);
        if (pa_stream_write(p.stream, m_ring.data() + m_head, first, nullptr, 0, PA_SEEK_RELATIVE) <
                0 ||
            (take > first && pa_stream_write(p.stream, m_ring.data(), take - first, nullptr, 0,
                                             PA_SEEK_RELATIVE) < 0))
            return;
        m_head = (m_head + take) % m_ring.size();
        m_fill -= take;
        m_handed += take;
        m_lastPull = Clock::now();
        m_stalled = false;
        m_wake.notify_all();
    }

    // Under m_lock: notices a server that stopped pulling, and while it is
    // stalled or gone lets the clock take what is due.
    void Advance(std::unique_lock<std::mutex>&)
    {
        if (!m_running)
            return;
        auto now = Clock::now();
        if (!m_failed && !m_stalled && m_fill > 0 && now - m_lastPull > kStallMs) {
            m_stalled = true;
            m_clockFrom = now;
        }
        if (!m_failed && !m_stalled)
            return;
        if (m_fill == 0) {
            m_clockFrom = now; // the clock banks nothing while there is nothing to play
            return;
        }
        size_t align = size_t(m_format.BlockAlign());
        uint64_t due =
            uint64_t(
                std::chrono::duration_cast<std::chrono::nanoseconds>(now - m_clockFrom).count()) *
            uint64_t(m_format.BytesPerSecond()) / 1000000000ull;
        size_t take = size_t(std::min<uint64_t>(due, m_fill)) / align * align;
        if (take == 0)
            return;
        m_clockFrom += std::chrono::nanoseconds(uint64_t(take) * 1000000000ull /
                                                uint64_t(m_format.BytesPerSecond()));
        m_head = (m_head + take) % m_ring.size();
        m_fill -= take;
        m_handed += take;
        m_dropped += take;
        m_wake.notify_all();
    }

    const PcmFormat m_format;
    std::unique_ptr<PulseConnection> m_pulse;
    std::mutex m_lock;
    std::condition_variable m_wake;
    // guarded by m_lock
    std::vector<uint8_t> m_ring;
    size_t m_head = 0;
    size_t m_fill = 0;
    uint64_t m_handed = 0;  // to the server, or dropped on the clock
    uint64_t m_dropped = 0; // of m_handed, what the clock took
    uint64_t m_played = 0;  // the last BytesPlayed
    uint64_t m_latencyUs = 0;
    bool m_running = false;
    bool m_interrupted = false;
    bool m_stalled = false; // the server stopped pulling; the clock drains
    bool m_failed = false;  // the stream or the server is gone; the clock drains
    Clock::time_point m_lastPull = Clock::now();
    Clock::time_point m_clockFrom = Clock::now();
};

} // namespace

std::unique_ptr<CAudioSink> CreatePulseAudioSink(const PcmFormat& format, const char* name)
{
    if (!format.IsValid())
        return nullptr;
    if (const char* force = std::getenv("TARVO_AUDIO"); force && std::strcmp(force, "null") == 0)
        return nullptr;
    auto sink = std::make_unique<CPulseAudioSink>(format);
    if (!sink->Open(name))
        return nullptr;
    return sink;
}

std::unique_ptr<CAudioSink> CreateAudioSink(const PcmFormat& format, const char* name)
{
    if (auto pulse = CreatePulseAudioSink(format, name))
        return pulse;
    return CreateNullAudioSink(format);
}
