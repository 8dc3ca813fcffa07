// CAacDecoder: the audio pin's AAC decoder, faad2 configured for ADTS input
// (AAC LC by default, 16-bit PCM out, no down-matrixing), taking one ADTS frame
// per step. The decoder opens in the constructor and is initialised from the
// first frame it is given (which reports the sample rate and the channel count);
// when that fails, "Error initializing decoder library." is printed, the decoder
// is closed, and from then on nothing is decoded: every step drops its input.
//
// A step never stalls the stream on bad input: bytes before a sync word, a
// header whose length lies (shorter than a header, or running past the bytes
// given) and a frame the library refuses ("Error: <reason>" printed) are
// reported as consumed with nothing produced, so the caller moves past them.
//
// Not thread-safe: the audio pin calls it on its audio thread under its audio
// lock. Virtual so that tests can stand in a decoder of their own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

class CAacDecoder {
public:
    struct Step {
        size_t produced = 0; // PCM bytes written to the output
        size_t consumed = 0; // input bytes the caller may drop
    };

    CAacDecoder();
    virtual ~CAacDecoder();
    CAacDecoder(const CAacDecoder&) = delete;
    CAacDecoder& operator=(const CAacDecoder&) = delete;

    // Decodes the ADTS frame at the start of in into out: its samples (sample
    // count x 2 bytes) when they fit out, else nothing.
    virtual Step Decode(std::span<const uint8_t> in, std::span<uint8_t> out);

    // 0 until initialised.
    unsigned long SampleRate() const { return m_sampleRate; }
    unsigned Channels() const { return m_channels; }
    // The initialisation failed: the decoder is closed for good.
    bool Closed() const { return m_handle == nullptr; }

private:
    void Close();

    void* m_handle = nullptr; // NeAACDecHandle
    bool m_initialised = false;
    unsigned long m_sampleRate = 0;
    unsigned m_channels = 0;
    // One frame copied with zero padding behind it: the library's bit reader
    // may look a few bytes past the end of what it is given.
    std::vector<uint8_t> m_frame;
};
