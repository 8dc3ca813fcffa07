// PulseAudio output through the simple API. pa_simple_write blocks until the
// server has room, with no way to cancel it, so the streaming thread never calls
// it: Write fills a ring buffer and a writer thread of the sink feeds the server
// in small chunks. Interrupt, Flush and Stop therefore never wait on the server.
// When the server goes away mid-stream every write fails at once; from then on
// the writer lets each chunk "play" on the clock instead, so the stream keeps
// its pace as the null sink would.
#include <pulse/error.h>
#include <pulse/simple.h>

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

class CPulseAudioSink final : public CAudioSink {
public:
    CPulseAudioSink(pa_simple* stream, const PcmFormat& format)
        : m_stream(stream), m_format(format),
          m_ring(size_t(format.BytesPerSecond()) / 4 / size_t(format.BlockAlign()) *
                 size_t(format.BlockAlign())),
          m_chunk(std::max<size_t>(size_t(format.BlockAlign()),
                                   size_t(format.BytesPerSecond()) / 50 /
                                       size_t(format.BlockAlign()) * size_t(format.BlockAlign())))
    {
        m_writer = std::thread([this] { WriterLoop(); });
    }

    ~CPulseAudioSink() override
    {
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_quit = true;
            m_wake.notify_all();
        }
        m_writer.join();
        pa_simple_free(m_stream);
    }

    const char* Kind() const override { return "pulse"; }

    HRESULT Write(const uint8_t* data, size_t bytes) override
    {
        std::unique_lock<std::mutex> lock(m_lock);
        while (bytes > 0) {
            if (m_interrupted)
                return S_FALSE;
            size_t room = m_ring.size() - m_fill;
            if (room == 0) {
                m_wake.wait(lock);
                continue;
            }
            size_t take = std::min(room, bytes);
            size_t tail = (m_head + m_fill) % m_ring.size();
            size_t first = std::min(take, m_ring.size() - tail);
            std::memcpy(m_ring.data() + tail, data, first);
            std::memcpy(m_ring.data(), data + first, take - first);
            m_fill += take;
            data += take;
            bytes -= take;
            m_wake.notify_all();
        }
        return S_OK;
    }

    HRESULT Drain() override
    {
        std::unique_lock<std::mutex> lock(m_lock);
        // Everything handed to the server, then its latency played out.
        while (!m_interrupted && (m_fill > 0 || m_inFlight))
            m_wake.wait(lock);
        while (!m_interrupted && m_serverLatencyUs > 0) {
            uint64_t us = m_serverLatencyUs;
            m_serverLatencyUs = 0;
            m_wake.wait_for(lock, std::chrono::microseconds(us));
        }
        return m_interrupted ? S_FALSE : S_OK;
    }

    void Interrupt(bool on) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_interrupted = on;
        m_wake.notify_all();
    }

    void SetRunning(bool running) override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_running = running;
        m_wake.notify_all();
    }

    void Flush() override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_fill = 0;
        m_head = 0;
        m_flushServer = true;
        m_wake.notify_all();
    }

    uint64_t BytesPlayed() override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        uint64_t latency = m_serverLatencyUs * uint64_t(m_format.BytesPerSecond()) / 1000000ull;
        return m_handed > latency ? m_handed - latency : 0;
    }

private:
    void WriterLoop()
    {
        std::vector<uint8_t> chunk(m_chunk);
        std::unique_lock<std::mutex> lock(m_lock);
        for (;;) {
            if (m_quit)
                return;
            if (m_flushServer) {
                m_flushServer = false;
                if (m_failed)
                    continue;
                lock.unlock();
                int error = 0;
                pa_simple_flush(m_stream, &error);
                lock.lock();
                continue;
            }
            if (!m_running || m_fill == 0) {
                m_wake.wait(lock);
                continue;
            }
            size_t take = std::min(m_fill, chunk.size());
            size_t first = std::min(take, m_ring.size() - m_head);
            std::memcpy(chunk.data(), m_ring.data() + m_head, first);
            std::memcpy(chunk.data() + first, m_ring.data(), take - first);
            m_head = (m_head + take) % m_ring.size();
            m_fill -= take;
            m_inFlight = true;
            m_wake.notify_all();
            if (m_failed) {
                PlayOnTheClock(lock, take);
                continue;
            }
            lock.unlock();
            int error = 0;
            bool ok = pa_simple_write(m_stream, chunk.data(), take, &error) == 0;
            pa_usec_t latency = pa_simple_get_latency(m_stream, &error);
            lock.lock();
            if (!ok) {
                m_failed = true;
                m_serverLatencyUs = 0;
                PlayOnTheClock(lock, take);
                continue;
            }
            m_inFlight = false;
            m_handed += take;
            m_serverLatencyUs = latency == pa_usec_t(-1) ? 0 : uint64_t(latency);
            m_wake.notify_all();
        }
    }

    // The server is gone: the chunk takes as long as it would have played
    // (cut short by a flush or by quitting).
    void PlayOnTheClock(std::unique_lock<std::mutex>& lock, size_t bytes)
    {
        auto now = std::chrono::steady_clock::now();
        if (m_clockPlayed < now)
            m_clockPlayed = now;
        m_clockPlayed += std::chrono::nanoseconds(uint64_t(bytes) * 1000000000ull /
                                                  uint64_t(m_format.BytesPerSecond()));
        m_wake.wait_until(lock, m_clockPlayed, [this] { return m_quit || m_flushServer; });
        m_inFlight = false;
        m_handed += bytes;
        m_wake.notify_all();
    }

    pa_simple* const m_stream;
    const PcmFormat m_format;
    std::mutex m_lock;
    std::condition_variable m_wake;
    // guarded by m_lock
    std::vector<uint8_t> m_ring;
    size_t m_head = 0;
    size_t m_fill = 0;
    uint64_t m_handed = 0;
    uint64_t m_serverLatencyUs = 0;
    bool m_inFlight = false;
    bool m_running = false;
    bool m_interrupted = false;
    bool m_flushServer = false;
    bool m_quit = false;
    bool m_failed = false; // the server is gone; chunks play on the clock
    std::chrono::steady_clock::time_point m_clockPlayed;
    const size_t m_chunk;
    std::thread m_writer; // last: starts once the rest is built
};

} // namespace

std::unique_ptr<CAudioSink> CreatePulseAudioSink(const PcmFormat& format, const char* name)
{
    if (!format.IsValid())
        return nullptr;
    if (const char* force = std::getenv("TARVO_AUDIO"); force && std::strcmp(force, "null") == 0)
        return nullptr;
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_S16LE;
    spec.rate = uint32_t(format.rate);
    spec.channels = uint8_t(format.channels);
    // About 100 ms in the server: enough against scheduling hiccups, short
    // enough that pause and seek are heard promptly.
    pa_buffer_attr attr;
    attr.maxlength = uint32_t(-1);
    attr.tlength = uint32_t(format.BytesPerSecond() / 10);
    attr.prebuf = uint32_t(-1);
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(-1);
    int error = 0;
    pa_simple* stream = pa_simple_new(nullptr, "Tarvo", PA_STREAM_PLAYBACK, nullptr,
                                      name ? name : "playback", &spec, nullptr, &attr, &error);
    if (!stream)
        return nullptr;
    return std::make_unique<CPulseAudioSink>(stream, format);
}

std::unique_ptr<CAudioSink> CreateAudioSink(const PcmFormat& format, const char* name)
{
    if (auto pulse = CreatePulseAudioSink(format, name))
        return pulse;
    return CreateNullAudioSink(format);
}
