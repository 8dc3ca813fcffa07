// The clocked null sink. Nothing is stored: the sink counts the bytes written
// and lets them "play" on the monotonic clock at the format's byte rate.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "audio/AudioSink.h"

namespace {

using Clock = std::chrono::steady_clock;

class CNullAudioSink final : public CAudioSink {
public:
    CNullAudioSink(const PcmFormat& format, int bufferMs)
        : m_bytesPerSecond(uint64_t(format.BytesPerSecond())),
          m_capacity(std::max<uint64_t>(uint64_t(format.BlockAlign()),
                                        m_bytesPerSecond * uint64_t(bufferMs) / 1000))
    {
    }

    const char* Kind() const override { return "null"; }

    HRESULT Write(const uint8_t* data, size_t bytes) override
    {
        (void)data;
        std::unique_lock<std::mutex> lock(m_lock);
        while (bytes > 0) {
            if (m_interrupted)
                return S_FALSE;
            auto now = Clock::now();
            SettleLocked(now);
            uint64_t queued = m_written - PlayedLocked(now);
            uint64_t room = queued < m_capacity ? m_capacity - queued : 0;
            if (room > 0) {
                uint64_t take = std::min<uint64_t>(room, bytes);
                m_written += take;
                bytes -= size_t(take);
                continue;
            }
            WaitForPlayLocked(lock, std::min<uint64_t>(bytes, m_capacity));
        }
        return S_OK;
    }

    HRESULT Drain() override
    {
        std::unique_lock<std::mutex> lock(m_lock);
        while (!m_interrupted && PlayedLocked(Clock::now()) < m_written)
            WaitForPlayLocked(lock, m_capacity);
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
        if (running == m_running)
            return;
        auto now = Clock::now();
        m_playedBase = PlayedLocked(now);
        m_anchor = now;
        m_running = running;
        m_wake.notify_all();
    }

    void Flush() override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        auto now = Clock::now();
        m_playedBase = PlayedLocked(now);
        m_anchor = now;
        m_written = m_playedBase; // the queued rest is dropped
        m_wake.notify_all();
    }

    uint64_t BytesPlayed() override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return PlayedLocked(Clock::now());
    }

    // Nothing was meant for a device.
    uint64_t BytesDropped() override { return 0; }

private:
    uint64_t PlayedLocked(Clock::time_point now) const
    {
        if (!m_running)
            return m_playedBase;
        auto elapsed = std::chrono::duration_cast<std::chrono::nanoseconds>(now - m_anchor).count();
        uint64_t played = m_playedBase + uint64_t(elapsed) * m_bytesPerSecond / 1000000000ull;
        return std::min(played, m_written);
    }

    // After an underrun the clock would run on ahead of the data: what comes next
    // starts playing now, not when the queue ran dry.
    void SettleLocked(Clock::time_point now)
    {
        if (m_running && PlayedLocked(now) >= m_written) {
            m_playedBase = m_written;
            m_anchor = now;
        }
    }

    // Sleeps until about `bytes` more have played (or something changes). While
    // paused only a state change or an interrupt ends the wait.
    void WaitForPlayLocked(std::unique_lock<std::mutex>& lock, uint64_t bytes)
    {
        if (!m_running) {
            m_wake.wait(lock);
            return;
        }
        auto ns = std::max<uint64_t>(1000000, bytes * 1000000000ull / m_bytesPerSecond);
        m_wake.wait_for(lock, std::chrono::nanoseconds(std::min<uint64_t>(ns, 50000000)));
    }

    const uint64_t m_bytesPerSecond;
    const uint64_t m_capacity;
    std::mutex m_lock;
    std::condition_variable m_wake;
    // guarded by m_lock
    bool m_running = false;
    bool m_interrupted = false;
    uint64_t m_written = 0;
    uint64_t m_playedBase = 0; // played up to m_anchor
    Clock::time_point m_anchor = Clock::now();
};

} // namespace

std::unique_ptr<CAudioSink> CreateNullAudioSink(const PcmFormat& format, int bufferMs)
{
    if (!format.IsValid() || bufferMs <= 0)
        return nullptr;
    return std::make_unique<CNullAudioSink>(format, bufferMs);
}
