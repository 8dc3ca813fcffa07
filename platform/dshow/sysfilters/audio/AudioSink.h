// Where the audio renderer's PCM goes: a sound server, or a clock that consumes
// the bytes at the rate they would play (so a machine without sound still plays
// at pace). A sink owns a bounded buffer; Write blocks while it is full.
//
// Threads: Write and Drain run on the renderer's streaming thread; Interrupt,
// SetRunning, Flush and BytesPlayed on application threads. Interrupt is how the
// renderer makes sure Stop and flushing never wait on a blocked writer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "win32/types.h"

struct PcmFormat {
    int rate = 0;     // frames per second, 8000..48000
    int channels = 0; // 1 or 2
    int bits = 0;     // 16

    int BlockAlign() const { return channels * bits / 8; }
    int BytesPerSecond() const { return rate * BlockAlign(); }
    bool IsValid() const
    {
        return bits == 16 && (channels == 1 || channels == 2) && rate >= 8000 && rate <= 48000;
    }
};

class CAudioSink {
public:
    virtual ~CAudioSink() = default;

    // "pulse" or "null".
    virtual const char* Kind() const = 0;

    // Streaming thread. Queues the bytes; blocks while the buffer is full and
    // consumption runs. S_OK when all were queued, S_FALSE when Interrupt cut it
    // short.
    virtual HRESULT Write(const uint8_t* data, size_t bytes) = 0;
    // Streaming thread. Waits until everything queued has played. S_OK, or S_FALSE
    // when interrupted.
    virtual HRESULT Drain() = 0;
    // Any thread. While set, Write and Drain return at once (S_FALSE) and blocked
    // ones wake up.
    virtual void Interrupt(bool on) = 0;
    // Any thread. Consumption runs only while running (the filter's Run state).
    virtual void SetRunning(bool running) = 0;
    // Any thread. Drops what is queued and not yet played.
    virtual void Flush() = 0;
    // Any thread. Bytes that have played since the sink was made.
    virtual uint64_t BytesPlayed() = 0;
    // Any thread. Of those, the bytes no device heard: a sound server that
    // stopped answering or went away, so the sink let them pass on the clock.
    virtual uint64_t BytesDropped() = 0;
};

// A sink that plays through the PulseAudio server, or null when there is none
// (or TARVO_AUDIO is "null"). name is the stream's name on the server.
std::unique_ptr<CAudioSink> CreatePulseAudioSink(const PcmFormat& format, const char* name);
// The clocked null sink: consumes at format's byte rate while running, keeping
// at most bufferMs of audio queued.
std::unique_ptr<CAudioSink> CreateNullAudioSink(const PcmFormat& format, int bufferMs = 200);
// PulseAudio when a server answers, else the null sink.
std::unique_ptr<CAudioSink> CreateAudioSink(const PcmFormat& format, const char* name);
